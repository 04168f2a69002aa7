#pragma once
#include "src/model/data/ValueEx.h"
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <cstdint>
#include <map>
#include <stdexcept>

namespace Conflux::Model::Data
{
/// One value per chronology, ordered by chronology.
///
/// Reading a chronology gives the entry with the greatest chronology not above it. The mutable
/// lookup of a missing chronology 1 to 4 makes it from a copy of its predecessor (made the same
/// way, down to chronology 0); any other missing chronology is out of range.
template <class T>
class ChronologicalValue : public ValueEx<T, ChronologicalValue<T>, ValueType::Chronological>
{
public:
    using Chronology = TesseraSDK::Chronology;

    /// Sets every stored entry; an empty value gets the entry for chronology 0.
    void setValue(const T& value) override
    {
        if (m_values.empty())
            m_values.emplace(0, value);
        for (auto& entry : m_values)
            entry.second = value;
    }

    bool hasValue(Chronology chronology) const override { return m_values.count(chronology) != 0; }
    void setValue(const T& value, Chronology chronology) override { m_values.insert_or_assign(chronology, value); }
    T getValue(Chronology chronology) const override { return value(chronology); }

    const T& value(Chronology chronology) const override
    {
        auto it = m_values.upper_bound(chronology);
        if (it == m_values.begin())
            throw std::out_of_range("Chronology Out Of Range");
        return std::prev(it)->second;
    }

    T& value(Chronology chronology) override
    {
        auto it = m_values.find(chronology);
        if (it != m_values.end())
            return it->second;
        if (chronology < 1 || chronology > 4)
            throw std::out_of_range("Chronology Out Of Range");
        T copy = value(chronology - 1);
        return m_values.emplace(chronology, std::move(copy)).first->second;
    }

    /// Equal when both hold the same chronologies with equal values (a NaN equals nothing).
    bool equals(const ValueAbstract<T>& other) const override
    {
        const auto* same = dynamic_cast<const ChronologicalValue<T>*>(&other);
        return same != nullptr && same->m_values == m_values;
    }

    const std::map<Chronology, T>& entries() const { return m_values; }

    void write(FileSystem::DataOStream& stream) const override
    {
        const std::string tag = "Value:" + valueTypeToString(ValueType::Chronological);
        stream.openTag(tag);
        stream.openTag("ChronologicalValue");
        stream.field("Entries", static_cast<std::uint64_t>(m_values.size()));
        for (const auto& [chronology, value] : m_values)
        {
            if (stream.fail())
                break;
            stream.field("Chronology", static_cast<std::int32_t>(chronology));
            stream.field("Value", value);
        }
        stream.closeTag("ChronologicalValue");
        stream.closeTag(tag);
    }

    void read(FileSystem::DataIStream& stream) override
    {
        const std::string tag = "Value:" + valueTypeToString(ValueType::Chronological);
        m_values.clear();
        stream.openTag(tag);
        stream.openTag("ChronologicalValue");
        std::uint64_t count = 0;
        stream.field("Entries", count);
        // Each entry holds at least a chronology and one byte of value.
        if (stream.checkCount(count, 5))
        {
            for (std::uint64_t i = 0; i < count && stream.good(); ++i)
            {
                std::int32_t chronology = 0;
                T value{};
                stream.field("Chronology", chronology);
                stream.field("Value", value);
                if (stream.good())
                    m_values.insert_or_assign(chronology, std::move(value));
            }
        }
        stream.closeTag("ChronologicalValue");
        stream.closeTag(tag);
    }

private:
    std::map<Chronology, T> m_values;
};
} // namespace Conflux::Model::Data
