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

std::string IAttributeImplBase::getStringValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->getStringValue(chronology, true);
}

void IAttributeImplBase::setStringValue(const std::string& value, const std::string& unit,
                                        TesseraSDK::Chronology chronology)
{
    m_attribute->setStringValue(value, unit, chronology, true);
}

float IAttributeImplBase::getFloatValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->getFloatValue(chronology, true);
}

void IAttributeImplBase::setFloatValue(float value, const std::string& unit, TesseraSDK::Chronology chronology)
{
    m_attribute->setFloatValue(value, unit, chronology, true);
}

double IAttributeImplBase::getDoubleValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->getDoubleValue(chronology, true);
}

void IAttributeImplBase::setDoubleValue(double value, const std::string& unit, TesseraSDK::Chronology chronology)
{
    m_attribute->setDoubleValue(value, unit, chronology, true);
}

int IAttributeImplBase::getIntValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->getIntValue(chronology, true);
}

void IAttributeImplBase::setIntValue(int value, const std::string& unit, TesseraSDK::Chronology chronology)
{
    m_attribute->setIntValue(value, unit, chronology, true);
}

bool IAttributeImplBase::getBoolValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->getBoolValue(chronology, true);
}

void IAttributeImplBase::setBoolValue(bool value, const std::string& unit, TesseraSDK::Chronology chronology)
{
    m_attribute->setBoolValue(value, unit, chronology, true);
}

bool IAttributeImplBase::hasValue(TesseraSDK::Chronology chronology) const
{
    return m_attribute->hasValue(chronology, true);
}

bool IAttributeImplBase::hasUnits() const { return m_attribute->hasUnits(); }

std::string IAttributeImplBase::getUnit() const { return m_attribute->getUnit(); }

TesseraSDK::AccessType IAttributeImplBase::getAccessType() const { return m_attribute->getAccessType(); }
} // namespace Conflux::Model
