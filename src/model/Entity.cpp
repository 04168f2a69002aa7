#include "src/model/Entity.h"

#include <utility>

namespace Conflux::Model
{
std::string EntityID::toString() const { return std::to_string(first) + "-" + std::to_string(second); }

Entity::Entity(const std::string& label, const std::string& name, AccessType access, CompositeAttribute* parent)
    : EntityEx(label, access, parent), m_entityName(name)
{
}

Entity::~Entity() = default;

std::string Entity::getName(bool qualified) const { return qualified ? getType() + ":" + m_entityName : m_entityName; }

Attribute* Entity::resolveFullPath(const AttributePath& path)
{
    return const_cast<Attribute*>(std::as_const(*this).resolveFullPath(path));
}

const Attribute* Entity::resolveFullPath(const AttributePath& path) const
{
    if (path.empty() || path.front() != getType())
        return nullptr;
    return findAttribute(path.subPath(1), false);
}

AttributePath Entity::do_getAttributePath(bool full) const
{
    if (full)
        return Attribute::do_getAttributePath(true);
    return AttributePath{getType()};
}

bool Entity::equalsContent(const Entity& other) const
{
    return m_entityName == other.m_entityName && m_id == other.m_id && equalChildren(other);
}

void Entity::writeContent(FileSystem::DataOStream& stream) const
{
    stream.field("EntityName", m_entityName);
    stream.field("EntityIDFirst", static_cast<std::int32_t>(m_id.first));
    stream.field("EntityIDSecond", static_cast<std::int32_t>(m_id.second));
    writeChildren(stream);
}

void Entity::readContent(FileSystem::DataIStream& stream)
{
    stream.field("EntityName", m_entityName);
    stream.field("EntityIDFirst", m_id.first);
    stream.field("EntityIDSecond", m_id.second);
    readChildren(stream);
}
} // namespace Conflux::Model
