#pragma once
#include "src/model/data/ValueEx.h"
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Conflux::Model::Data
{
/// One value per chronology, ordered by chronology.
///
/// Reading a chronology gives the entry with the greatest chronology not above it. The mutable
/// lookup of a missing chronology 1 to 4 makes it from a copy of its predecessor (made the same
/// way, down to chronology 0); any other missing chronology is out of range.
template <class T>
class ChronologicalValue final : public ValueEx<T, ChronologicalValue<T>, ValueType::Chronological>
{
public:
    using Chronology = TesseraSDK::Chronology;

    /// Sets every stored entry; an empty value gets the entry for chronology 0.
    void setValue(const T& value) override
    {
        if (m_values.empty())
            m_values.emplace_back(0, value);
        for (auto& entry : m_values)
            entry.second = value;
    }

    bool hasValue(Chronology chronology) const override
    {
        auto it = lowerBound(chronology);
        return it != m_values.end() && it->first == chronology;
    }

    void setValue(const T& value, Chronology chronology) override
    {
        // The solver mostly writes its latest chronology, the last entry.
        if (!m_values.empty() && m_values.back().first == chronology)
        {
            m_values.back().second = value;
            return;
        }
        auto it = lowerBound(chronology);
        if (it != m_values.end() && it->first == chronology)
            it->second = value;
        else
            m_values.emplace(it, chronology, value);
    }

    T getValue(Chronology chronology) const override { return value(chronology); }

    const T& value(Chronology chronology) const override
    {
        // Few chronologies are stored (the solver's 0 to 4), so the entries are searched from the end.
        for (auto it = m_values.rbegin(); it != m_values.rend(); ++it)
            if (it->first <= chronology)
                return it->second;
        throw std::out_of_range("Chronology Out Of Range");
    }

    T& value(Chronology chronology) override
    {
        auto it = lowerBound(chronology);
        if (it != m_values.end() && it->first == chronology)
            return it->second;
        if (chronology < 1 || chronology > 4)
            throw std::out_of_range("Chronology Out Of Range");
        T copy = value(chronology - 1);
        // The predecessor may have been inserted just now, so the place is looked up again.
        return m_values.emplace(lowerBound(chronology), chronology, std::move(copy))->second;
    }

    /// Equal when both hold the same chronologies with equal values (a NaN equals nothing).
    bool equals(const ValueAbstract<T>& other) const override
    {
        const auto* same = dynamic_cast<const ChronologicalValue<T>*>(&other);
        return same != nullptr && same->m_values == m_values;
    }

    /// The entries by chronology.
    std::map<Chronology, T> entries() const
    {
        return std::map<Chronology, T>(m_values.begin(), m_values.end());
    }

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
                    setValue(value, chronology);
            }
        }
        stream.closeTag("ChronologicalValue");
        stream.closeTag(tag);
    }

private:
    using Entries = std::vector<std::pair<Chronology, T>>;

    typename Entries::iterator lowerBound(Chronology chronology)
    {
        return std::lower_bound(m_values.begin(), m_values.end(), chronology,
                                [](const auto& entry, Chronology key) { return entry.first < key; });
    }
    typename Entries::const_iterator lowerBound(Chronology chronology) const
    {
        return std::lower_bound(m_values.begin(), m_values.end(), chronology,
                                [](const auto& entry, Chronology key) { return entry.first < key; });
    }

    /// Ordered by chronology; a sorted vector, since a value holds a handful of chronologies.
    Entries m_values;
};
} // namespace Conflux::Model::Data
