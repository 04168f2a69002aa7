#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/EntityLinkAttributeBase.h"
#include "src/model/IEntityLinkAttributeBaseImpl.h"

namespace Conflux::Model
{
class ArrayAttribute;
using ArrayAttributeEx = AttributeEx<ArrayAttribute, AttributeType::Array,
                                   IEntityLinkAttributeBaseImpl<TesseraSDK::Model::IArrayAttribute>, EntityLinkAttributeBase>;

/// A array node of the exchange model: it holds the entities the project's array attribute links.
class ArrayAttribute : public ArrayAttributeEx
{
public:
    ArrayAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                  CompositeAttribute* parent);
    ~ArrayAttribute() override;

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;
};
} // namespace Conflux::Model
