#include "src/model/IAttributeImplBase.h"

#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"

namespace Conflux::Model
{
IAttributeImplAbstract::~IAttributeImplAbstract() = default;

TesseraSDK::AttributeType IAttributeImplBase::getAttributeType(bool flag) const
{
    return m_attribute->getAttributeType(flag);
}

std::string IAttributeImplBase::getType() const { return m_attribute->getType(); }

TesseraSDK::Model::ICompositeAttribute* IAttributeImplBase::getParent() const
{
    CompositeAttribute* parent = m_attribute->getParent();
    return parent == nullptr ? nullptr
                             : dynamic_cast<TesseraSDK::Model::ICompositeAttribute*>(parent->getSDKInterface());
}

TesseraSDK::Model::IEntity* IAttributeImplBase::getParentEntity() const
{
    Entity* entity = m_attribute->getParentEntity();
    return entity == nullptr ? nullptr : dynamic_cast<TesseraSDK::Model::IEntity*>(entity->getSDKInterface());
}

std::string IAttributeImplBase::getAttributePath(bool full) const
{
    return m_attribute->getAttributePath(full).toString();
}

bool IAttributeImplBase::hasValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->hasValue(chronology, true);
}

bool IAttributeImplBase::hasUnits() const { return m_attribute->hasUnits(); }

std::string IAttributeImplBase::getUnit() const { return m_attribute->getUnit(); }

TesseraSDK::AccessType IAttributeImplBase::getAccessType() const { return m_attribute->getAccessType(); }
} // namespace Conflux::Model
