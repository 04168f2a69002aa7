#pragma once
#include "src/model/Entity.h"

#include <memory>
#include <vector>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux::Model
{
/// The exchange models handed to the solver: it owns their root entities.
class EntityCollection
{
public:
    EntityCollection();
    /// A collection holding `root` (nothing when it is null).
    explicit EntityCollection(std::unique_ptr<Entity> root);
    EntityCollection(EntityCollection&&) noexcept;
    EntityCollection& operator=(EntityCollection&&) noexcept;
    virtual ~EntityCollection();

    /// Takes ownership of a root (a null one is ignored) and returns it.
    Entity* add(std::unique_ptr<Entity> root);
    void clear();
    bool empty() const { return m_entities.empty(); }
    std::size_t size() const { return m_entities.size(); }
    /// The first root, or null.
    Entity* root() const { return m_entities.empty() ? nullptr : m_entities.front().get(); }
    Entity* at(std::size_t index) const { return m_entities.at(index).get(); }
    std::vector<std::unique_ptr<Entity>>::const_iterator begin() const { return m_entities.begin(); }
    std::vector<std::unique_ptr<Entity>>::const_iterator end() const { return m_entities.end(); }

    /// The node at a full path (`getAttributePath(true)`) in the first root that has it, or null.
    Attribute* resolveFullPath(const AttributePath& path) const;

    /// Section "EntityCollection": the count, then each root's record.
    void write(FileSystem::DataOStream& stream) const;
    /// Replaces the content by what the stream holds. On a corrupt record the collection is left
    /// empty and the stream failed (a bad value type throws std::logic_error "Invalid type").
    void read(FileSystem::DataIStream& stream);

    /// Same number of roots, pairwise equal trees.
    bool operator==(const EntityCollection& other) const;

private:
    std::vector<std::unique_ptr<Entity>> m_entities;
};
} // namespace Conflux::Model
