#include "src/model/LogManager.h"

namespace Conflux
{
namespace
{
std::uint64_t sum(const WriteRecord::Count* begin, const WriteRecord::Count* end)
{
    std::uint64_t writes = 0;
    for (; begin != end; ++begin)
        writes += begin->writes;
    return writes;
}
} // namespace

WriteRecord::~WriteRecord()
{
    if (m_generation != 0)
        LogManager::instance().leave(*this);
}

void LogManager::beginGeneration()
{
    std::lock_guard lock(m_mutex);
    m_generation.fetch_add(1, std::memory_order_relaxed);
    m_records.clear();
    m_departedWrites = 0;
}

WriteRecord& LogManager::enter(std::unique_ptr<WriteRecord>& record, const Model::Attribute* attribute)
{
    if (!record)
        record = std::make_unique<WriteRecord>();
    std::lock_guard lock(m_mutex);
    record->m_generation = m_generation.load(std::memory_order_relaxed);
    record->m_owner = attribute;
    record->m_counts.clear();
    m_records[attribute] = record.get();
    return *record;
}

void LogManager::leave(const WriteRecord& record)
{
    std::lock_guard lock(m_mutex);
    if (record.m_generation != m_generation.load(std::memory_order_relaxed))
        return;
    m_departedWrites += sum(record.m_counts.data(), record.m_counts.data() + record.m_counts.size());
    m_records.erase(record.m_owner);
}

const WriteRecord* LogManager::find(const Model::Attribute* attribute) const
{
    auto it = m_records.find(attribute);
    return it == m_records.end() ? nullptr : it->second;
}

std::uint64_t LogManager::writeCount(const Model::Attribute* attribute,
                                     TesseraSDK::Chronology chronology) const
{
    std::lock_guard lock(m_mutex);
    if (const WriteRecord* record = find(attribute))
        for (const WriteRecord::Count& count : record->m_counts)
            if (count.chronology == chronology)
                return count.writes;
    return 0;
}

std::uint64_t LogManager::writeCount(const Model::Attribute* attribute) const
{
    std::lock_guard lock(m_mutex);
    const WriteRecord* record = find(attribute);
    return record == nullptr
               ? 0
               : sum(record->m_counts.data(), record->m_counts.data() + record->m_counts.size());
}

std::uint64_t LogManager::totalWrites() const
{
    std::lock_guard lock(m_mutex);
    std::uint64_t writes = m_departedWrites;
    for (const auto& [attribute, record] : m_records)
        writes += sum(record->m_counts.data(), record->m_counts.data() + record->m_counts.size());
    return writes;
}

std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> LogManager::writes() const
{
    std::lock_guard lock(m_mutex);
    std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> result;
    for (const auto& [attribute, record] : m_records)
        for (const WriteRecord::Count& count : record->m_counts)
            result[{attribute, count.chronology}] = count.writes;
    return result;
}
} // namespace Conflux
