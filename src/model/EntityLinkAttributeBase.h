#pragma once
#include "src/model/Attribute.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux::Model
{
class Entity;

/// The entities that a link, list or array node holds, and the label of their type.
class EntityLink
{
public:
    EntityLink(const std::string& linkedType, bool flag);
    virtual ~EntityLink();

    const std::string& getLinkedType() const { return m_linkedType; }
    /// The project link's flag, passed through unchanged.
    bool getFlag() const { return m_flag; }

    /// Takes ownership of the entity and returns it.
    Entity* addEntity(std::unique_ptr<Entity> entity);
    std::size_t getEntityCount() const { return m_entities.size(); }
    /// The entities held, in order, for walks that must not copy the list.
    const std::vector<std::unique_ptr<Entity>>& heldEntities() const { return m_entities; }

protected:
    /// Entities point back at the node that holds them.
    virtual Attribute* linkNode() = 0;
    void setLink(const std::string& linkedType, bool flag)
    {
        m_linkedType = linkedType;
        m_flag = flag;
    }

    std::vector<std::unique_ptr<Entity>> m_entities;
    /// The first entity of each label, kept once a node holds more than a handful of entities so
    /// that a path step into a long list is not a search through it.
    std::unordered_map<std::string, Entity*> m_byLabel;

private:
    std::string m_linkedType;
    bool m_flag;
};

/// A node that holds entities: the base of LinkAttribute, ListAttribute and ArrayAttribute.
class EntityLinkAttributeBase : public Attribute, public EntityLink
{
public:
    EntityLinkAttributeBase(const std::string& name, const std::string& linkedType, AccessType access,
                            bool flag, CompositeAttribute* parent);
    ~EntityLinkAttributeBase() override;

    /// The entities held; with `checkAccess` set a node without read access throws AccessException.
    std::vector<Entity*> getEntities(bool checkAccess);
    std::vector<const Entity*> getEntities(bool checkAccess) const;
    /// The first entity labelled `label`, or null; a lookup in an index, not a search.
    Entity* findEntity(const std::string& label) const;

protected:
    Attribute* linkNode() override { return this; }
    bool equalsContent(const EntityLinkAttributeBase& other) const;
    void writeContent(FileSystem::DataOStream& stream) const;
    void readContent(FileSystem::DataIStream& stream);
};
} // namespace Conflux::Model
