#pragma once
#include "src/model/sdk/Types.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace Conflux
{
namespace Model
{
class Attribute;
}

/// The process-wide log of the writes that controllers made (checked writes). It counts writes
/// per attribute and chronology, so its size is bounded by the model's, however long a run
/// lasts. Attributes are identities here: the log never dereferences them. Safe to use from
/// several threads.
class LogManager
{
public:
    static LogManager& instance();

    void recordAttributeSetValue(Model::Attribute* attribute, TesseraSDK::Chronology chronology);

    /// How many writes were recorded for the attribute at the chronology.
    std::uint64_t writeCount(const Model::Attribute* attribute, TesseraSDK::Chronology chronology) const;
    /// How many writes were recorded for the attribute, all chronologies together.
    std::uint64_t writeCount(const Model::Attribute* attribute) const;
    std::uint64_t totalWrites() const;
    /// The counts, by attribute and chronology.
    std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> writes() const;
    void clear();

private:
    LogManager() = default;

    mutable std::mutex m_mutex;
    std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> m_writes;
    std::uint64_t m_total = 0;
};
} // namespace Conflux
