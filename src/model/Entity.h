#pragma once
#include "src/model/CompositeAttribute.h"

#include <string>
#include <utility>

namespace Conflux::Model
{
/// The identifier pair of the project entity that an exchange entity stands for.
struct EntityID
{
    EntityID() = default;
    explicit EntityID(std::pair<int, int> id) : first(id.first), second(id.second) {}
    std::pair<int, int> toPair() const { return {first, second}; }
    /// "first-second", e.g. "12-3" or "-1-0".
    std::string toString() const;
    bool operator==(const EntityID&) const = default;

    int first = -1;
    int second = -1;
};

class Entity;
using EntityEx = AttributeEx<Entity, AttributeType::Entity, IEntityImpl, CompositeAttribute>;

/// An exchange entity: a composite standing for one project entity, under a label (its name in
/// the tree) and with the project entity's name and identifier.
///
/// Its relative attribute path (`getAttributePath(false)`) is its label alone; the attributes below
/// it have paths relative to it.
class Entity : public EntityEx
{
public:
    Entity(const std::string& label, const std::string& name, AccessType access, CompositeAttribute* parent);
    ~Entity() override;

    /// The label (the name in the tree), as for every node.
    using Attribute::getName;
    /// The project entity's name; `qualified` gives "label:name".
    std::string getName(bool qualified) const;
    /// The project entity's name, unqualified, without a copy.
    const std::string& getEntityName() const { return m_entityName; }
    void setName(const std::string& name) { m_entityName = name; }
    const EntityID& getEntityID() const { return m_id; }
    void setEntityID(const EntityID& id) { m_id = id; }

    /// The node at a path as `getAttributePath(true)` gives it (this entity's label first); null
    /// when it does not lead from this entity.
    Attribute* resolveFullPath(const AttributePath& path);
    const Attribute* resolveFullPath(const AttributePath& path) const;

protected:
    template <class, AttributeType, class, class> friend class AttributeEx;

    AttributePath do_getAttributePath(bool full) const override;
    bool equalsContent(const Entity& other) const;
    void writeContent(FileSystem::DataOStream& stream) const;
    void readContent(FileSystem::DataIStream& stream);

private:
    std::string m_entityName;
    EntityID m_id;
};
} // namespace Conflux::Model
