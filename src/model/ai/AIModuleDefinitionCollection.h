#pragma once
#include "src/model/ai/AIModuleDefinition.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Conflux
{
/// Owns the module definitions of the AI functors, each once: two definitions are the same when
/// their type and bytes are equal, so functors whose models serialise alike share one definition.
/// Definitions keep their address while the collection lives (copies get copies).
class AIModuleDefinitionCollection
{
public:
    AIModuleDefinitionCollection() = default;
    AIModuleDefinitionCollection(const AIModuleDefinitionCollection& other);
    AIModuleDefinitionCollection& operator=(const AIModuleDefinitionCollection& other);
    AIModuleDefinitionCollection(AIModuleDefinitionCollection&&) noexcept = default;
    AIModuleDefinitionCollection& operator=(AIModuleDefinitionCollection&&) noexcept = default;
    ~AIModuleDefinitionCollection();

    /// The definition the collection holds for `definition`, and whether `definition` was taken:
    /// an equal one already held is returned and `definition` is left with the caller; otherwise
    /// it is taken. A null definition gives (null, false).
    std::pair<AIModuleDefinition*, bool> insertDefinition(std::unique_ptr<AIModuleDefinition>&& definition);
    /// The held definition equal to `definition`, or null.
    AIModuleDefinition* find(const AIModuleDefinition& definition) const;
    /// The position of a held definition (by address), or nothing.
    std::optional<std::size_t> indexOf(const AIModuleDefinition* definition) const;

    /// True when a definition is of module type Python (48).
    bool hasPython() const;

    std::size_t size() const { return m_definitions.size(); }
    bool empty() const { return m_definitions.empty(); }
    AIModuleDefinition* at(std::size_t index) const { return m_definitions.at(index).get(); }
    void clear() { m_definitions.clear(); }

    /// Section "AIModuleDefinitionCollection": the count and each definition.
    void write(FileSystem::DataOStream& stream) const;
    /// Replaces the content; on a corrupt record it is left empty and the stream failed.
    void read(FileSystem::DataIStream& stream);

    /// The same definitions in the same order.
    bool operator==(const AIModuleDefinitionCollection& other) const;

private:
    std::vector<std::unique_ptr<AIModuleDefinition>> m_definitions;
};
} // namespace Conflux
