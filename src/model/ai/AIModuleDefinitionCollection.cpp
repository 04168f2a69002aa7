#include "src/model/ai/AIModuleDefinitionCollection.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <algorithm>

namespace Conflux
{
AIModuleDefinitionCollection::AIModuleDefinitionCollection(const AIModuleDefinitionCollection& other)
{
    *this = other;
}

AIModuleDefinitionCollection& AIModuleDefinitionCollection::operator=(const AIModuleDefinitionCollection& other)
{
    if (this == &other)
        return *this;
    std::vector<std::unique_ptr<AIModuleDefinition>> copies;
    copies.reserve(other.m_definitions.size());
    for (const auto& definition : other.m_definitions)
        copies.push_back(std::make_unique<AIModuleDefinition>(*definition));
    m_definitions = std::move(copies);
    return *this;
}

AIModuleDefinitionCollection::~AIModuleDefinitionCollection() = default;

std::pair<AIModuleDefinition*, bool> AIModuleDefinitionCollection::insertDefinition(
    std::unique_ptr<AIModuleDefinition>&& definition)
{
    if (!definition)
        return {nullptr, false};
    if (AIModuleDefinition* held = find(*definition))
        return {held, false};
    m_definitions.push_back(std::move(definition));
    return {m_definitions.back().get(), true};
}

AIModuleDefinition* AIModuleDefinitionCollection::find(const AIModuleDefinition& definition) const
{
    for (const auto& held : m_definitions)
        if (*held == definition)
            return held.get();
    return nullptr;
}

std::optional<std::size_t> AIModuleDefinitionCollection::indexOf(const AIModuleDefinition* definition) const
{
    for (std::size_t i = 0; i < m_definitions.size(); ++i)
        if (m_definitions[i].get() == definition)
            return i;
    return std::nullopt;
}

bool AIModuleDefinitionCollection::hasPython() const
{
    return std::any_of(m_definitions.begin(), m_definitions.end(),
                       [](const auto& d) { return d->getType() == AISystem::ModuleType::Python; });
}

void AIModuleDefinitionCollection::write(FileSystem::DataOStream& stream) const
{
    stream.openTag("AIModuleDefinitionCollection");
    stream.field("Definitions", static_cast<std::uint64_t>(m_definitions.size()));
    for (const auto& definition : m_definitions)
        definition->write(stream);
    stream.closeTag("AIModuleDefinitionCollection");
}

void AIModuleDefinitionCollection::read(FileSystem::DataIStream& stream)
{
    m_definitions.clear();
    stream.openTag("AIModuleDefinitionCollection");
    std::uint64_t count = 0;
    stream.field("Definitions", count);
    // A definition takes at least its tags, its type and the length of its data.
    if (!stream.checkCount(count, 20))
        return;
    std::vector<std::unique_ptr<AIModuleDefinition>> definitions;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
    {
        auto definition = std::make_unique<AIModuleDefinition>();
        definition->read(stream);
        definitions.push_back(std::move(definition));
    }
    stream.closeTag("AIModuleDefinitionCollection");
    if (stream.good())
        m_definitions = std::move(definitions);
}

bool AIModuleDefinitionCollection::operator==(const AIModuleDefinitionCollection& other) const
{
    return std::equal(m_definitions.begin(), m_definitions.end(), other.m_definitions.begin(),
                      other.m_definitions.end(), [](const auto& a, const auto& b) { return *a == *b; });
}
} // namespace Conflux
