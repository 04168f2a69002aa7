#include "src/model/EntityCollection.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

namespace Conflux::Model
{
EntityCollection::EntityCollection() = default;

EntityCollection::EntityCollection(std::unique_ptr<Entity> root) { add(std::move(root)); }

EntityCollection::EntityCollection(EntityCollection&&) noexcept = default;
EntityCollection& EntityCollection::operator=(EntityCollection&&) noexcept = default;
EntityCollection::~EntityCollection() = default;

Entity* EntityCollection::add(std::unique_ptr<Entity> root)
{
    if (!root)
        return nullptr;
    m_entities.push_back(std::move(root));
    return m_entities.back().get();
}

void EntityCollection::clear() { m_entities.clear(); }

Attribute* EntityCollection::resolveFullPath(const AttributePath& path) const
{
    for (const auto& entity : m_entities)
        if (Attribute* found = entity->resolveFullPath(path))
            return found;
    return nullptr;
}

void EntityCollection::write(FileSystem::DataOStream& stream) const
{
    stream.openTag("EntityCollection");
    stream.field("Entities", static_cast<std::uint64_t>(m_entities.size()));
    for (const auto& entity : m_entities)
        entity->write(stream);
    stream.closeTag("EntityCollection");
}

void EntityCollection::read(FileSystem::DataIStream& stream)
{
    m_entities.clear();
    stream.openTag("EntityCollection");
    std::uint64_t count = 0;
    stream.field("Entities", count);
    if (!stream.checkCount(count, 8))
        return;
    std::vector<std::unique_ptr<Entity>> entities;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
    {
        auto entity = std::make_unique<Entity>("", "", AccessType::None, nullptr);
        entity->read(stream);
        entities.push_back(std::move(entity));
    }
    stream.closeTag("EntityCollection");
    if (stream.good())
        m_entities = std::move(entities);
}

bool EntityCollection::operator==(const EntityCollection& other) const
{
    if (m_entities.size() != other.m_entities.size())
        return false;
    for (std::size_t i = 0; i < m_entities.size(); ++i)
        if (!m_entities[i]->equals(*other.m_entities[i]))
            return false;
    return true;
}
} // namespace Conflux::Model
