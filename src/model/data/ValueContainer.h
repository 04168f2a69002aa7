#pragma once
#include "src/model/data/ChronologicalValue.h"
#include "src/model/data/SimpleValue.h"

#include <memory>
#include <stdexcept>

namespace Conflux::Model::Data
{
/// Owns at most one value (none until one is created).
template <class T>
class ValueContainer
{
public:
    ValueContainer() = default;
    ValueContainer(const ValueContainer& other) : m_value(other.m_value ? other.m_value->clone() : nullptr) {}
    ValueContainer& operator=(const ValueContainer& other)
    {
        m_value = other.m_value ? other.m_value->clone() : nullptr;
        return *this;
    }
    ValueContainer(ValueContainer&&) noexcept = default;
    ValueContainer& operator=(ValueContainer&&) noexcept = default;

    /// Replaces the value by a new one of `type`; std::logic_error "Invalid type" for any other number.
    ValueAbstract<T>& create(ValueType type)
    {
        switch (type)
        {
        case ValueType::Simple: m_value = std::make_unique<SimpleValue<T>>(); return *m_value;
        case ValueType::Chronological: m_value = std::make_unique<ChronologicalValue<T>>(); return *m_value;
        }
        throw std::logic_error("Invalid type");
    }

    ValueAbstract<T>* get() const { return m_value.get(); }
    ValueAbstract<T>* operator->() const { return m_value.get(); }
    explicit operator bool() const { return m_value != nullptr; }
    void reset() { m_value.reset(); }

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
        m_value.reset();
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
    std::unique_ptr<ValueAbstract<T>> m_value;
};
} // namespace Conflux::Model::Data
