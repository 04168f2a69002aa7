#include "src/model/ValueAttribute.h"

#include "src/model/AccessException.h"
#include "src/model/ControllerAccessObserver.h"
#include "src/model/LogManager.h"
#include "src/model/ValueConversion.h"

#include <stdexcept>
#include <type_traits>

namespace Conflux::Model
{
namespace
{
/// `value` as To; a value of the stored type passes as it is.
template <class To, class From> To convert(const From& value)
{
    if constexpr (std::is_same_v<To, From>)
        return value;
    else
        return convertValue<To, From>(value);
}

std::string_view unitText(const char* unit)
{
    return unit == nullptr ? std::string_view() : std::string_view(unit);
}

/// Whether a unit a controller names, as C text, is not `mine`; null or empty names none.
/// Compared in place: most units are a few characters, and no length is taken first.
bool otherUnit(const char* unit, const std::string& mine)
{
    if (unit == nullptr || unit[0] == '\0')
        return false;
    const char* own = mine.c_str();
    for (std::size_t i = 0; i < mine.size(); ++i)
        if (unit[i] != own[i] || unit[i] == '\0')
            return true;
    return unit[mine.size()] != '\0';
}

bool otherUnit(std::string_view unit, const std::string& mine)
{
    return !unit.empty() && unit != mine;
}
} // namespace

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
    set<T>(value, std::string_view(unit), chronology, checkAccess);
}

template <class T>
template <class To>
To ValueAttribute<T>::get(Chronology chronology, bool checkAccess) const
{
    if (checkAccess && !TesseraSDK::canRead(this->getAccessType()))
        throw AccessException("User has no read access");
    if (!m_value)
        throwNoValueStored();
    return convert<To>(m_value.valueAt(chronology));
}

template <class T> void ValueAttribute<T>::throwNoValueStored() const
{
    throw std::logic_error("Attribute '" + this->getAttributePath(true).toString() + "' has no value");
}

constinit thread_local ControllerAccessObserver* ControllerAccessObserver::s_current = nullptr;
std::atomic<int> ControllerAccessObserver::s_installed{0};

template <class T> template <class To> To ValueAttribute<T>::checkedGet(Chronology chronology) const
{
    if (ControllerAccessObserver* observer = ControllerAccessObserver::current()) [[unlikely]]
    {
        To value = get<To>(chronology, true);
        observer->read(*this);
        return value;
    }
    return get<To>(chronology, true);
}

template <class T>
template <class From>
void ValueAttribute<T>::checkedSet(const From& value, const char* unit, Chronology chronology)
{
    if (ControllerAccessObserver* observer = ControllerAccessObserver::current()) [[unlikely]]
    {
        try
        {
            if constexpr (std::is_arithmetic_v<From> && !std::is_same_v<From, bool>)
                if (TesseraSDK::canWrite(this->getAccessType()))
                    observer->checkWrite(*this, static_cast<double>(value));
            set(value, unit, chronology, true);
        }
        catch (const std::exception& error)
        {
            observer->refused(*this, error.what());
            throw;
        }
        observer->written(*this);
        return;
    }
    set(value, unit, chronology, true);
}

template <class T>
template <class From, class Unit>
void ValueAttribute<T>::set(const From& value, Unit unit, Chronology chronology, bool checkAccess)
{
    T converted = convert<T>(value);
    if (checkAccess && !TesseraSDK::canWrite(this->getAccessType()))
        throw AccessException("User has no write access");
    if (otherUnit(unit, m_unit))
        throw std::runtime_error("Invalid Unit");
    if (!m_value)
        m_value.create(ValueType::Chronological);
    m_value.setAt(converted, chronology);
    if (checkAccess)
        LogManager::instance().recordAttributeSetValue(this, chronology);
}

template <class T>
void ValueAttribute<T>::do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    set(value, std::string_view(unit), chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    set(value, std::string_view(unit), chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setFloatValue(float value, const std::string& unit, Chronology chronology,
                                         bool checkAccess)
{
    set(value, std::string_view(unit), chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setDoubleValue(double value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    set(value, std::string_view(unit), chronology, checkAccess);
}

template <class T>
void ValueAttribute<T>::do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    set(value, std::string_view(unit), chronology, checkAccess);
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

template <class T> std::string ValueAttribute<T>::do_getStringValue(Chronology chronology, bool checkAccess)
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

// The SDK adapter of a value attribute, defined here so that its calls inline the checked
// read and write.

template <class T>
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::IAttributeImpl(ValueAttribute<T>* attribute)
    : Common(attribute)
{
}

template <class T> ValueAttribute<T>& IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::node() const
{
    return static_cast<ValueAttribute<T>&>(*this->getAttribute());
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::getStringValue(TesseraSDK::IString& value,
                                                                      Chronology chronology) const
{
    return this->call([&] { assign(value, node().template checkedGet<std::string>(chronology)); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::setStringValue(const char* value, const char* unit,
                                                                      Chronology chronology)
{
    return this->call([&] { node().checkedSet(std::string(unitText(value)), unit, chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::getFloatValue(float* value,
                                                                     Chronology chronology) const
{
    return out(value, [&] { *value = node().template checkedGet<float>(chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::setFloatValue(float value, const char* unit,
                                                                     Chronology chronology)
{
    return this->call([&] { node().checkedSet(value, unit, chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::getDoubleValue(double* value,
                                                                      Chronology chronology) const
{
    return out(value, [&] { *value = node().template checkedGet<double>(chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::setDoubleValue(double value, const char* unit,
                                                                      Chronology chronology)
{
    return this->call([&] { node().checkedSet(value, unit, chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::getIntValue(int* value, Chronology chronology) const
{
    return out(value, [&] { *value = node().template checkedGet<int>(chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::setIntValue(int value, const char* unit,
                                                                   Chronology chronology)
{
    return this->call([&] { node().checkedSet(value, unit, chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::getBoolValue(bool* value, Chronology chronology) const
{
    return out(value, [&] { *value = node().template checkedGet<bool>(chronology); });
}

template <class T>
CONFLUX_SDK_HOT_PATH TesseraSDK::Status
IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>::setBoolValue(bool value, const char* unit,
                                                                    Chronology chronology)
{
    return this->call([&] { node().checkedSet(value, unit, chronology); });
}

template class ValueAttribute<int>;
template class ValueAttribute<bool>;
template class ValueAttribute<std::string>;
template class ValueAttribute<float>;
template class ValueAttribute<double>;
template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<int>>;
template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<bool>>;
template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<std::string>>;
template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<float>>;
template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<double>>;
} // namespace Conflux::Model
