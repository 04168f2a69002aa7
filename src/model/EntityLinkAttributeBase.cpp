#include "src/model/EntityLinkAttributeBase.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"
#include "src/model/AccessException.h"
#include "src/model/Entity.h"

namespace Conflux::Model
{
namespace
{
/// Below this many entities a scan is as quick as the index and spares its memory.
constexpr std::size_t indexFrom = 8;
} // namespace

EntityLink::EntityLink(const std::string& linkedType, bool flag) : m_linkedType(linkedType), m_flag(flag) {}

EntityLink::~EntityLink() = default;

Entity* EntityLink::addEntity(std::unique_ptr<Entity> entity)
{
    if (!entity)
        return nullptr;
    entity->setContainer(linkNode());
    m_entities.push_back(std::move(entity));
    Entity* added = m_entities.back().get();
    if (m_entities.size() == indexFrom)
        for (const auto& held : m_entities)
            m_byLabel.try_emplace(held->getName(), held.get());
    else if (m_entities.size() > indexFrom)
        m_byLabel.try_emplace(added->getName(), added);
    return added;
}

EntityLinkAttributeBase::EntityLinkAttributeBase(const std::string& name, const std::string& linkedType,
                                                 AccessType access, bool flag, CompositeAttribute* parent)
    : Attribute(name, access, parent), EntityLink(linkedType, flag)
{
}

EntityLinkAttributeBase::~EntityLinkAttributeBase() = default;

std::vector<Entity*> EntityLinkAttributeBase::getEntities(bool checkAccess)
{
    if (checkAccess && !TesseraSDK::canRead(getAccessType()))
        throw AccessException("User has no read access");
    std::vector<Entity*> entities;
    entities.reserve(m_entities.size());
    for (const auto& entity : m_entities)
        entities.push_back(entity.get());
    return entities;
}

std::vector<const Entity*> EntityLinkAttributeBase::getEntities(bool checkAccess) const
{
    if (checkAccess && !TesseraSDK::canRead(getAccessType()))
        throw AccessException("User has no read access");
    std::vector<const Entity*> entities;
    entities.reserve(m_entities.size());
    for (const auto& entity : m_entities)
        entities.push_back(entity.get());
    return entities;
}

Entity* EntityLinkAttributeBase::findEntity(const std::string& label) const
{
    if (m_entities.size() >= indexFrom)
    {
        const auto found = m_byLabel.find(label);
        return found == m_byLabel.end() ? nullptr : found->second;
    }
    for (const auto& entity : m_entities)
        if (entity->getName() == label)
            return entity.get();
    return nullptr;
}

bool EntityLinkAttributeBase::equalsContent(const EntityLinkAttributeBase& other) const
{
    if (getLinkedType() != other.getLinkedType() || getFlag() != other.getFlag() ||
        m_entities.size() != other.m_entities.size())
        return false;
    for (std::size_t i = 0; i < m_entities.size(); ++i)
        if (!m_entities[i]->equals(*other.m_entities[i]))
            return false;
    return true;
}

void EntityLinkAttributeBase::writeContent(FileSystem::DataOStream& stream) const
{
    stream.field("LinkedType", getLinkedType());
    stream.field("Flag", getFlag());
    stream.field("Entities", static_cast<std::uint64_t>(m_entities.size()));
    for (const auto& entity : m_entities)
    {
        if (stream.fail())
            return;
        entity->write(stream);
    }
}

void EntityLinkAttributeBase::readContent(FileSystem::DataIStream& stream)
{
    m_entities.clear();
    m_byLabel.clear();
    std::string linkedType;
    bool flag = false;
    stream.field("LinkedType", linkedType);
    stream.field("Flag", flag);
    setLink(linkedType, flag);
    std::uint64_t count = 0;
    stream.field("Entities", count);
    if (!stream.checkCount(count, 8))
        return;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
    {
        auto entity = std::make_unique<Entity>("", "", AccessType::None, nullptr);
        entity->read(stream);
        if (stream.good())
            addEntity(std::move(entity));
    }
}
} // namespace Conflux::Model
