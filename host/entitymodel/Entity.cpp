#include "host/entitymodel/Entity.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/LinkAttribute.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace EntityModel
{
namespace
{
std::atomic<int> lastSerial{0};

std::shared_ptr<const AttributeDefinition> makeEntityAttributeDefinition(const EntityDefinition& definition)
{
    auto attribute = std::make_shared<AttributeDefinition>();
    attribute->kind = AttributeKind::Composite;
    attribute->name = definition.type;
    attribute->exchange = definition.exchange;
    return attribute;
}

/// The definition of an entity as an attribute. The schema's entity definitions do not change while
/// registered, so all entities of one share it; others (made in code) get their own.
std::shared_ptr<const AttributeDefinition>
entityAttributeDefinition(const std::shared_ptr<const EntityDefinition>& definition)
{
    if (Schema::instance().find(definition->type) != definition.get())
        return makeEntityAttributeDefinition(*definition);
    static std::mutex mutex;
    // Keyed by address; the weak pointer tells a definition from a later one at the same address.
    static std::unordered_map<const EntityDefinition*, std::pair<std::weak_ptr<const EntityDefinition>,
                                                                 std::shared_ptr<const AttributeDefinition>>>
        shared;
    const std::lock_guard lock(mutex);
    auto& [owner, attribute] = shared[definition.get()];
    if (!attribute || owner.expired())
    {
        attribute = makeEntityAttributeDefinition(*definition);
        owner = definition;
    }
    return attribute;
}
} // namespace

int nextEntitySerial()
{
    return ++lastSerial;
}

void reserveEntitySerial(int serial)
{
    int current = lastSerial.load();
    while (current < serial && !lastSerial.compare_exchange_weak(current, serial))
    {
    }
}

std::string ID::toString() const
{
    return std::to_string(fileId) + ":" + std::to_string(serial);
}

Entity::Entity(std::shared_ptr<const EntityDefinition> definition, std::string name, ID id)
    : CompositeAttribute(entityAttributeDefinition(definition)), entityDefinition_(std::move(definition)),
      name_(std::move(name)), id_(id)
{
}

Entity::~Entity()
{
    // Links elsewhere that refer to this entity forget it before it goes.
    while (!referringLinks_.empty())
        referringLinks_.back()->forgetReference(this);
    removeAllAttributes();
}

void Entity::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}

std::string Entity::getConfluxLabel(const Entity* relativeTo) const
{
    // Below the entity a model is built for, entities of one type are told apart by their names.
    if (relativeTo && relativeTo != this && !name_.empty())
        return name_;
    const std::string& label = entityDefinition_->exchange.label;
    return label.empty() ? getTypeRef().getLabel() : label;
}

std::string Entity::getFullDisplayName() const
{
    std::string result;
    for (const Entity* e = this; e && (e == this || !e->isProject()); e = e->getOwnerEntity())
    {
        std::string name = e->getName().empty() ? e->getTypeRef().getLabel() : e->getName();
        result = result.empty() ? name : name + "/" + result;
    }
    return result;
}

bool Entity::isProject() const
{
    return getTypeRef() == Project_t;
}

Entity* Entity::getRootEntity()
{
    Entity* e = this;
    while (Entity* owner = e->getOwnerEntity())
        e = owner;
    return e;
}

void Entity::clearRuleCaches()
{
    clearAttributeCacheGeneration();
}
} // namespace EntityModel
