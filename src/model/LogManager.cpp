#include "src/model/LogManager.h"

namespace Conflux
{
LogManager& LogManager::instance()
{
    static LogManager log;
    return log;
}

void LogManager::recordAttributeSetValue(Model::Attribute* attribute, TesseraSDK::Chronology chronology)
{
    std::lock_guard lock(m_mutex);
    ++m_writes[{attribute, chronology}];
    ++m_total;
}

std::uint64_t LogManager::writeCount(const Model::Attribute* attribute, TesseraSDK::Chronology chronology) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_writes.find({attribute, chronology});
    return it == m_writes.end() ? 0 : it->second;
}

std::uint64_t LogManager::writeCount(const Model::Attribute* attribute) const
{
    std::lock_guard lock(m_mutex);
    std::uint64_t count = 0;
    for (auto it = m_writes.lower_bound({attribute, INT32_MIN}); it != m_writes.end() && it->first.first == attribute;
         ++it)
        count += it->second;
    return count;
}

std::uint64_t LogManager::totalWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

std::map<std::pair<const Model::Attribute*, TesseraSDK::Chronology>, std::uint64_t> LogManager::writes() const
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

void LogManager::clear()
{
    std::lock_guard lock(m_mutex);
    m_writes.clear();
    m_total = 0;
}
} // namespace Conflux
