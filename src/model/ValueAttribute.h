#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/IAttributeImpl.h"
#include "src/model/data/ValueContainer.h"

#include <string>
#include <string_view>

namespace Conflux::Model
{
template <class T>
struct ValueAttributeKind;
template <> struct ValueAttributeKind<int> { static constexpr AttributeType value = AttributeType::Integer; };
template <> struct ValueAttributeKind<bool> { static constexpr AttributeType value = AttributeType::Boolean; };
template <> struct ValueAttributeKind<std::string> { static constexpr AttributeType value = AttributeType::String; };
template <> struct ValueAttributeKind<float> { static constexpr AttributeType value = AttributeType::Float; };
template <> struct ValueAttributeKind<double> { static constexpr AttributeType value = AttributeType::Double; };

template <class T>
class ValueAttribute;
template <class T>
using ValueAttributeEx = AttributeEx<ValueAttribute<T>, ValueAttributeKind<T>::value,
                                     IAttributeImpl<TesseraSDK::Model::IValueAttribute<T>>, Attribute>;

/// A typed value of the exchange model (T is int, bool, std::string, float or double) with its
/// unit. Values are stored in the attribute's unit: a write naming another non-empty unit is
/// refused with std::runtime_error "Invalid Unit", never converted. With `checkAccess` set, reads
/// need read access ("User has no read access"), writes need write access ("User has no write
/// access") and are recorded in LogManager; a refused write changes nothing.
///
/// Made in four steps: construct, `createValue(ValueType)`, `value()->setValue(initial)`, `setUnit`.
/// A write to an attribute without a value first creates a chronological one.
template <class T>
class ValueAttribute : public ValueAttributeEx<T>
{
public:
    ValueAttribute(const std::string& name, AccessType access, CompositeAttribute* parent);
    ~ValueAttribute() override;

    /// Replaces the value by a new one; std::logic_error "Invalid type" for a type other than 1 or 2.
    Data::ValueAbstract<T>& createValue(ValueType type) { return m_value.create(type); }
    Data::ValueAbstract<T>* value() const { return m_value.get(); }
    const Data::ValueContainer<T>& getValueContainer() const { return m_value; }

    /// The stored value at a chronology, unconverted.
    T getValue(Chronology chronology, bool checkAccess) const;
    /// Stores a value of the attribute's own type (checked as the typed setters are).
    void setValue(const T& value, const std::string& unit, Chronology chronology, bool checkAccess);

    /// A controller's read: the typed getters with `checkAccess` set.
    template <class To> To checkedGet(Chronology chronology) const;
    /// A controller's write: the typed setters with `checkAccess` set, the unit as C text (null or
    /// empty: no claim), so that no string is built per call.
    template <class From> void checkedSet(const From& value, const char* unit, Chronology chronology);

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;

    bool equalsContent(const ValueAttribute& other) const;
    void writeContent(FileSystem::DataOStream& stream) const;
    void readContent(FileSystem::DataIStream& stream);

    void do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setFloatValue(float value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setDoubleValue(double value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                           bool checkAccess) override;
    bool do_hasValue(Chronology chronology, bool checkAccess) const override;
    int do_getIntValue(Chronology chronology, bool checkAccess) const override;
    bool do_getBoolValue(Chronology chronology, bool checkAccess) const override;
    float do_getFloatValue(Chronology chronology, bool checkAccess) const override;
    double do_getDoubleValue(Chronology chronology, bool checkAccess) const override;
    std::string do_getStringValue(Chronology chronology, bool checkAccess) override;
    bool do_hasUnits() const override { return !m_unit.empty(); }
    const std::string& do_getUnit() const override { return m_unit; }
    void do_setUnit(const std::string& unit) override { m_unit = unit; }

private:
    template <class To>
    To get(Chronology chronology, bool checkAccess) const;
    /// Unit is std::string_view or C text (null: none).
    template <class From, class Unit>
    void set(const From& value, Unit unit, Chronology chronology, bool checkAccess);
    [[noreturn]] void throwNoValueStored() const;

    Data::ValueContainer<T> m_value;
    std::string m_unit;
};

extern template class ValueAttribute<int>;
extern template class ValueAttribute<bool>;
extern template class ValueAttribute<std::string>;
extern template class ValueAttribute<float>;
extern template class ValueAttribute<double>;
extern template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<int>>;
extern template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<bool>>;
extern template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<std::string>>;
extern template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<float>>;
extern template class IAttributeImpl<TesseraSDK::Model::IValueAttribute<double>>;
} // namespace Conflux::Model
