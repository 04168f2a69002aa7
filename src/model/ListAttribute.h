#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/EntityLinkAttributeBase.h"
#include "src/model/IEntityLinkAttributeBaseImpl.h"

namespace Conflux::Model
{
class ListAttribute;
using ListAttributeEx = AttributeEx<ListAttribute, AttributeType::List,
                                   IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IListAttribute>, EntityLinkAttributeBase>;

/// A list node of the exchange model: it holds the entities the project's list attribute links.
class ListAttribute : public ListAttributeEx
{
public:
    ListAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                  CompositeAttribute* parent);
    ~ListAttribute() override;

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;
};
} // namespace Conflux::Model
