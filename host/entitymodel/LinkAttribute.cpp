#include "host/entitymodel/LinkAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/Entity.h"

#include <algorithm>
#include <limits>

namespace EntityModel
{
namespace
{
template <typename T> void eraseOne(std::vector<T>& v, const T& value)
{
    auto it = std::find(v.begin(), v.end(), value);
    if (it != v.end())
        v.erase(it);
}
} // namespace

LinkAttribute::LinkAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
}

LinkAttribute::~LinkAttribute()
{
    clear();
}

void LinkAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}

std::vector<Attribute*> LinkAttribute::getChildAttributes() const
{
    std::vector<Attribute*> result;
    if (isOwning())
        for (Entity* e : targets_)
            result.push_back(e);
    return result;
}

std::size_t LinkAttribute::capacity() const
{
    switch (kind())
    {
    case AttributeKind::Link:
        return 1;
    case AttributeKind::Array:
        return getDefinition().arraySize > 0 ? static_cast<std::size_t>(getDefinition().arraySize)
                                             : std::numeric_limits<std::size_t>::max();
    case AttributeKind::List:
    case AttributeKind::Composite:
    case AttributeKind::CountedComposite:
    case AttributeKind::Int:
    case AttributeKind::Bool:
    case AttributeKind::Double:
    case AttributeKind::Type:
    case AttributeKind::String:
    case AttributeKind::Filename:
    case AttributeKind::ByteArray:
    case AttributeKind::Curve:
    case AttributeKind::UnitType:
    case AttributeKind::Shortcut:
        return std::numeric_limits<std::size_t>::max();
    }
    return std::numeric_limits<std::size_t>::max();
}

std::string LinkAttribute::getValue() const
{
    std::string text;
    for (Entity* e : targets_)
    {
        if (!text.empty())
            text += ',';
        text += e->getID().toString();
    }
    return text;
}

bool LinkAttribute::accepts(const Entity* entity) const
{
    if (!entity)
        return false;
    const std::vector<TypeRef>& types = getDefinition().linkedTypes;
    return types.empty() || std::find(types.begin(), types.end(), entity->getTypeRef()) != types.end();
}

Entity* LinkAttribute::adopt(std::unique_ptr<Entity>&& entity, int position)
{
    if (!isOwning() || !accepts(entity.get()) || entity->getOwnerLink() != nullptr)
        return nullptr;
    if (targets_.size() >= capacity())
    {
        if (capacity() != 1)
            return nullptr;
        clear();
    }
    Entity* raw = entity.get();
    raw->ownerLink_ = this;
    raw->parent_ = getParent();
    owned_.push_back(std::move(entity));
    if (position < 0 || static_cast<std::size_t>(position) >= targets_.size())
        targets_.push_back(raw);
    else
        targets_.insert(targets_.begin() + position, raw);
    valueChanged();
    return raw;
}

bool LinkAttribute::addReference(Entity* entity)
{
    if (isOwning() || !accepts(entity))
        return false;
    if (std::find(targets_.begin(), targets_.end(), entity) != targets_.end())
        return true;
    if (targets_.size() >= capacity())
    {
        if (capacity() != 1)
            return false;
        clear();
    }
    targets_.push_back(entity);
    entity->referringLinks_.push_back(this);
    valueChanged();
    return true;
}

std::unique_ptr<Entity> LinkAttribute::remove(Entity* entity)
{
    auto it = std::find(targets_.begin(), targets_.end(), entity);
    if (it == targets_.end())
        return nullptr;
    targets_.erase(it);
    valueChanged();
    if (!isOwning())
    {
        eraseOne(entity->referringLinks_, this);
        return nullptr;
    }
    auto owned =
        std::find_if(owned_.begin(), owned_.end(), [entity](const auto& e) { return e.get() == entity; });
    std::unique_ptr<Entity> result = std::move(*owned);
    owned_.erase(owned);
    result->ownerLink_ = nullptr;
    result->parent_ = nullptr;
    return result;
}

void LinkAttribute::clear()
{
    if (isOwning())
    {
        // Deleted last to first, each unhooked from this link before it goes.
        targets_.clear();
        while (!owned_.empty())
        {
            std::unique_ptr<Entity> entity = std::move(owned_.back());
            owned_.pop_back();
            entity->ownerLink_ = nullptr;
            entity->parent_ = nullptr;
        }
    }
    else
    {
        for (Entity* e : targets_)
            eraseOne(e->referringLinks_, this);
        targets_.clear();
    }
    valueChanged();
}

void LinkAttribute::forgetReference(Entity* entity)
{
    std::erase(targets_, entity);
    std::erase(entity->referringLinks_, this);
    valueChanged();
}

void ListAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}

void ArrayAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}
} // namespace EntityModel
