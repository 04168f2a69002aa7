#include "src/model/ValueAttribute.h"

#include "src/model/AccessException.h"
#include "src/model/LogManager.h"
#include "src/model/ValueConversion.h"

#include <stdexcept>

namespace Conflux::Model
{
template <class T>
ValueAttribute<T>::ValueAttribute(const std::string& name, AccessType access, CompositeAttribute* parent)
    : ValueAttributeEx<T>(name, access, parent)
{
}

template <class T>
ValueAttribute<T>::~ValueAttribute() = default;

template <class T>
T ValueAttribute<T>::getValue(Chronology chronology, bool checkAccess) const
{
    return get<T>(chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::setValue(const T& value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    set<T>(value, unit, chronology, checkAccess);
}

template <class T>
template <class To>
To ValueAttribute<T>::get(Chronology chronology, bool checkAccess) const
{
    if (checkAccess && !TesseraSDK::canRead(this->getAccessType()))
        throw AccessException("User has no read access");
    if (!m_value)
        throw std::logic_error("Attribute '" + this->getAttributePath(true).toString() + "' has no value");
    return convertValue<To, T>(m_value->getValue(chronology));
}

template <class T>
template <class From>
void ValueAttribute<T>::set(const From& value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    T converted = convertValue<T, From>(value);
    if (checkAccess && !TesseraSDK::canWrite(this->getAccessType()))
        throw AccessException("User has no write access");
    if (!unit.empty() && unit != m_unit)
        throw std::runtime_error("Invalid Unit");
    if (!m_value)
        m_value.create(ValueType::Chronological);
    m_value->setValue(converted, chronology);
    if (checkAccess)
        LogManager::instance().recordAttributeSetValue(this, chronology);
}

template <class T>
void ValueAttribute<T>::do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    set(value, unit, chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    set(value, unit, chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setFloatValue(float value, const std::string& unit, Chronology chronology,
                                         bool checkAccess)
{
    set(value, unit, chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setDoubleValue(double value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    set(value, unit, chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    set(value, unit, chronology, checkAccess);
}

template <class T>
bool ValueAttribute<T>::do_hasValue(Chronology chronology, bool) const
{
    return m_value && m_value->hasValue(chronology);
}

template <class T>
int ValueAttribute<T>::do_getIntValue(Chronology chronology, bool checkAccess) const
{
    return get<int>(chronology, checkAccess);
}

template <class T>
bool ValueAttribute<T>::do_getBoolValue(Chronology chronology, bool checkAccess) const
{
    return get<bool>(chronology, checkAccess);
}

template <class T>
float ValueAttribute<T>::do_getFloatValue(Chronology chronology, bool checkAccess) const
{
    return get<float>(chronology, checkAccess);
}

template <class T>
double ValueAttribute<T>::do_getDoubleValue(Chronology chronology, bool checkAccess) const
{
    return get<double>(chronology, checkAccess);
}

template <class T>
std::string ValueAttribute<T>::do_getStringValue(Chronology chronology, bool checkAccess) const
{
    return get<std::string>(chronology, checkAccess);
}

template <class T>
bool ValueAttribute<T>::equalsContent(const ValueAttribute& other) const
{
    return m_value.equals(other.m_value) && m_unit == other.m_unit;
}

template <class T>
void ValueAttribute<T>::writeContent(FileSystem::DataOStream& stream) const
{
    stream.label("Value");
    m_value.write(stream);
    stream.field("Unit", m_unit);
}

template <class T>
void ValueAttribute<T>::readContent(FileSystem::DataIStream& stream)
{
    stream.label("Value");
    m_value.read(stream);
    stream.field("Unit", m_unit);
}

template class ValueAttribute<int>;
template class ValueAttribute<bool>;
template class ValueAttribute<std::string>;
template class ValueAttribute<float>;
template class ValueAttribute<double>;
} // namespace Conflux::Model
