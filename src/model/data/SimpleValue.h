#pragma once
#include "src/model/data/ValueEx.h"
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

namespace Conflux::Model::Data
{
/// One value for every chronology.
template <class T> class SimpleValue final : public ValueEx<T, SimpleValue<T>, ValueType::Simple>
{
public:
    using Chronology = TesseraSDK::Chronology;

    SimpleValue() = default;
    explicit SimpleValue(const T& value) : m_value(value) {}

    void setValue(const T& value) override { m_value = value; }
    bool hasValue(Chronology) const override { return true; }
    void setValue(const T& value, Chronology) override { m_value = value; }
    T getValue(Chronology) const override { return m_value; }
    const T& value(Chronology) const override { return m_value; }
    T& value(Chronology) override { return m_value; }
    /// Simple values are equal to any simple value: their contents are not compared.
    bool equals(const ValueAbstract<T>& other) const override { return other.getValueType() == ValueType::Simple; }

    void write(FileSystem::DataOStream& stream) const override
    {
        const std::string tag = "Value:" + valueTypeToString(ValueType::Simple);
        stream.openTag(tag);
        stream.field("Value", m_value);
        stream.closeTag(tag);
    }

    void read(FileSystem::DataIStream& stream) override
    {
        const std::string tag = "Value:" + valueTypeToString(ValueType::Simple);
        stream.openTag(tag);
        stream.field("Value", m_value);
        stream.closeTag(tag);
    }

private:
    T m_value{};
};
} // namespace Conflux::Model::Data
