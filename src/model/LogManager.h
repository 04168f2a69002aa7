#pragma once
#include "src/model/Attribute.h"
#include "src/model/WriteRecord.h"
#include "src/model/sdk/Types.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace Conflux
{
/// The process-wide log of the writes that controllers made (checked writes), one generation at
/// a time: `beginGeneration` (called as each exchange generation starts) drops what was recorded
/// before. The counts live with the attributes (WriteRecord), so that recording costs next to
/// nothing and the record is bounded by the attributes alive and the chronologies written; an
/// attribute that is destroyed takes its counts out of the per-attribute answers (they stay in
/// `totalWrites`).
///
/// Recording is as thread-safe as the write it records: writes to different attributes may come
/// from different threads. Read the log, and begin a generation, while no controller writes.
class LogManager
{
public:
    static LogManager& instance()
    {
        // Never destroyed: attributes that outlive static destruction still leave the log.
        static LogManager* const log = new LogManager;
        return *log;
    }

    void recordAttributeSetValue(Model::Attribute* attribute, TesseraSDK::Chronology chronology)
    {
        WriteRecord* record = attribute->m_writes.get();
        if (record == nullptr || record->m_generation != m_generation.load(std::memory_order_relaxed))
            record = &enter(attribute->m_writes, attribute);
        for (WriteRecord::Count& count : record->m_counts)
            if (count.chronology == chronology)
            {
                ++count.writes;
                return;
            }
        record->m_counts.push_back({chronology, 1});
    }

    /// Starts a new record; the writes recorded so far are forgotten.
    void beginGeneration();
    /// The current generation's number (1 for the first).
    std::uint64_t generation() const { return m_generation.load(std::memory_order_relaxed); }

    /// How many writes were recorded for the attribute at the chronology in this generation.
    std::uint64_t writeCount(const Model::Attribute* attribute, TesseraSDK::Chronology chronology) const;
    /// How many writes were recorded for the attribute in this generation, all chronologies together.
    std::uint64_t writeCount(const Model::Attribute* attribute) const;
    /// Every write of this generation, those to attributes destroyed since included.
    std::uint64_t totalWrites() const;
    /// The counts of the attributes alive, by attribute and chronology.
    std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> writes() const;
    /// The same as beginGeneration.
    void clear() { beginGeneration(); }

private:
    friend class WriteRecord;

    LogManager() = default;

    WriteRecord& enter(std::unique_ptr<WriteRecord>& record, const Model::Attribute* attribute);
    void leave(const WriteRecord& record);
    const WriteRecord* find(const Model::Attribute* attribute) const;

    mutable std::mutex m_mutex;
    std::atomic<std::uint64_t> m_generation{1};
    std::unordered_map<const Model::Attribute*, const WriteRecord*> m_records;
    /// Writes of this generation to attributes destroyed since.
    std::uint64_t m_departedWrites = 0;
};
} // namespace Conflux
