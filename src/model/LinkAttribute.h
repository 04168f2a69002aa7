#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/EntityLinkAttributeBase.h"
#include "src/model/IEntityLinkAttributeBaseImpl.h"

namespace Conflux::Model
{
class LinkAttribute;
using LinkAttributeEx = AttributeEx<LinkAttribute, AttributeType::Link,
                                   IEntityLinkAttributeBaseImpl<TesseraSDK::Model::ILinkAttribute>, EntityLinkAttributeBase>;

/// A link node of the exchange model: it holds the entities the project's link attribute links.
class LinkAttribute : public LinkAttributeEx
{
public:
    LinkAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                  CompositeAttribute* parent);
    ~LinkAttribute() override;

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;
};
} // namespace Conflux::Model
