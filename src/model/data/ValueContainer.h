#pragma once
#include "src/model/data/ChronologicalValue.h"
#include "src/model/data/SimpleValue.h"

#include <memory>
#include <stdexcept>
#include <utility>

namespace Conflux::Model::Data
{
/// Owns at most one value (none until one is created).
template <class T>
class ValueContainer
{
public:
    using Chronology = TesseraSDK::Chronology;

    ValueContainer() = default;
    ValueContainer(const ValueContainer& other) { *this = other; }
    ValueContainer& operator=(const ValueContainer& other)
    {
        if (this != &other)
            hold(other.m_value ? other.m_value->clone() : nullptr);
        return *this;
    }
    ValueContainer(ValueContainer&& other) noexcept { *this = std::move(other); }
    ValueContainer& operator=(ValueContainer&& other) noexcept
    {
        m_value = std::move(other.m_value);
        m_chronological = std::exchange(other.m_chronological, nullptr);
        return *this;
    }

    /// Replaces the value by a new one of `type`; std::logic_error "Invalid type" for any other number.
    ValueAbstract<T>& create(ValueType type)
    {
        switch (type)
        {
        case ValueType::Simple:
            hold(std::make_unique<SimpleValue<T>>());
            return *m_value;
        case ValueType::Chronological:
            hold(std::make_unique<ChronologicalValue<T>>());
            return *m_value;
        }
        throw std::logic_error("Invalid type");
    }

    ValueAbstract<T>* get() const { return m_value.get(); }
    ValueAbstract<T>* operator->() const { return m_value.get(); }
    explicit operator bool() const { return m_value != nullptr; }
    void reset() { hold(nullptr); }

    /// The value in force at a chronology (a value must exist). The common chronological value
    /// is reached without a virtual call, since the exchange reads and writes it on every step.
    const T& valueAt(Chronology chronology) const
    {
        // The const lookups: the mutable ones make missing chronologies.
        return m_chronological != nullptr ? std::as_const(*m_chronological).value(chronology)
                                          : std::as_const(*m_value).value(chronology);
    }
    /// Stores a value for a chronology (a value must exist).
    void setAt(const T& value, Chronology chronology)
    {
        if (m_chronological != nullptr)
            m_chronological->setValue(value, chronology);
        else
            m_value->setValue(value, chronology);
    }

    /// Both absent, or both present and equal as values compare.
    bool equals(const ValueContainer& other) const
    {
        if (!m_value || !other.m_value)
            return !m_value && !other.m_value;
        return m_value->equals(*other.m_value);
    }

    void write(FileSystem::DataOStream& stream) const
    {
        stream.openTag("ValueContainer");
        stream.label("ValueType");
        stream << (m_value != nullptr);
        if (m_value)
        {
            stream << static_cast<std::int32_t>(m_value->getValueType());
            stream.label("Value");
            m_value->write(stream);
        }
        stream.closeTag("ValueContainer");
    }

    void read(FileSystem::DataIStream& stream)
    {
        reset();
        stream.openTag("ValueContainer");
        stream.label("ValueType");
        bool present = false;
        stream >> present;
        if (present && stream.good())
        {
            const auto type = static_cast<ValueType>(stream.read<std::int32_t>());
            if (stream.fail())
                return;
            create(type);
            stream.label("Value");
            m_value->read(stream);
        }
        stream.closeTag("ValueContainer");
    }

private:
    void hold(std::unique_ptr<ValueAbstract<T>> value)
    {
        m_value = std::move(value);
        m_chronological = dynamic_cast<ChronologicalValue<T>*>(m_value.get());
    }

    std::unique_ptr<ValueAbstract<T>> m_value;
    /// The value again when it is chronological, else null.
    ChronologicalValue<T>* m_chronological = nullptr;
};
} // namespace Conflux::Model::Data
