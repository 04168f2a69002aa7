#pragma once
#include "src/model/sdk/Types.h"

#include <cstdint>
#include <vector>

namespace Conflux
{
namespace Model
{
class Attribute;
}
class LogManager;

/// One attribute's share of LogManager's record: its checked writes by chronology in the log's
/// current generation. It lives with the attribute, so that recording a write is an increment
/// (no lock and no lookup), and it leaves the log with the attribute, so that a later attribute
/// at the same address starts with no writes.
class WriteRecord
{
public:
    WriteRecord() = default;
    WriteRecord(const WriteRecord&) = delete;
    WriteRecord& operator=(const WriteRecord&) = delete;
    ~WriteRecord();

    struct Count
    {
        TesseraSDK::Chronology chronology;
        std::uint64_t writes;
    };

private:
    friend class LogManager;

    /// The log generation the counts belong to; 0 before the first write.
    std::uint64_t m_generation = 0;
    const Model::Attribute* m_owner = nullptr;
    std::vector<Count> m_counts;
};
} // namespace Conflux
