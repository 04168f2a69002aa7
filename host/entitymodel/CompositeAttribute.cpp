#include "host/entitymodel/CompositeAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace EntityModel
{
namespace
{
std::shared_ptr<const AttributeDefinition> compositeDefinition(TypeRef name)
{
    auto definition = std::make_shared<AttributeDefinition>();
    definition->kind = AttributeKind::Composite;
    definition->name = name;
    return definition;
}
} // namespace

CompositeAttribute::CompositeAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
}

CompositeAttribute::CompositeAttribute(TypeRef name) : Attribute(compositeDefinition(name)) {}

CompositeAttribute::~CompositeAttribute()
{
    // Children go first, last to first, while this composite is still whole.
    while (!children_.empty())
        children_.pop_back();
}

void CompositeAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}

std::vector<Attribute*> CompositeAttribute::getChildAttributes() const
{
    std::vector<Attribute*> result;
    result.reserve(children_.size());
    for (const auto& child : children_)
        result.push_back(child.get());
    return result;
}

Attribute* CompositeAttribute::getChild(std::size_t index) const
{
    return index < children_.size() ? children_[index].get() : nullptr;
}

Attribute* CompositeAttribute::addAttribute(std::unique_ptr<Attribute> attribute, const std::string& name)
{
    if (!attribute)
        return nullptr;
    if (!name.empty())
        attribute->setName(TypeRef(name));
    attribute->parent_ = this;
    if (attribute->isLinkAttribute())
        for (Attribute* owned : attribute->getChildAttributes())
            owned->parent_ = this;
    children_.push_back(std::move(attribute));
    valueChanged();
    return children_.back().get();
}

std::unique_ptr<Attribute> CompositeAttribute::removeAttribute(Attribute* child)
{
    auto it =
        std::find_if(children_.begin(), children_.end(), [child](const auto& c) { return c.get() == child; });
    if (it == children_.end())
        return nullptr;
    std::unique_ptr<Attribute> removed = std::move(*it);
    children_.erase(it);
    removed->parent_ = nullptr;
    if (removed->isLinkAttribute())
        for (Attribute* owned : removed->getChildAttributes())
            owned->parent_ = nullptr;
    valueChanged();
    return removed;
}

void CompositeAttribute::removeAllAttributes()
{
    while (!children_.empty())
        children_.pop_back();
    valueChanged();
}

Attribute* CompositeAttribute::findAttribute(const AttributePath& path) const
{
    const CompositeAttribute* current = this;
    Attribute* found = nullptr;
    for (std::size_t i = 0; i < path.size(); ++i)
    {
        if (!current)
            return nullptr;
        found = current->findAttribute(path[i], false);
        if (!found)
            found = current->findInGroupings(path, i);
        if (!found)
            return nullptr;
        current = found->isCompositeAttribute() ? static_cast<const CompositeAttribute*>(found) : nullptr;
    }
    return found;
}

bool CompositeAttribute::isGrouping() const
{
    return getDefinition().grouping;
}

Attribute* CompositeAttribute::findInGroupings(const AttributePath& path, std::size_t step) const
{
    // Callers name "Inputs/Input Values" whether or not the schema puts a heading such as
    // "Specification" above: only headings are skipped, so a namesake deeper down never answers.
    std::vector<Attribute*> matches;
    std::function<void(const CompositeAttribute&)> search = [&](const CompositeAttribute& holder)
    {
        for (const auto& child : holder.children_)
        {
            if (!child->isCompositeAttribute() || child->kind() != AttributeKind::Composite)
                continue;
            const auto& grouping = static_cast<const CompositeAttribute&>(*child);
            if (!grouping.isGrouping())
                continue;
            if (Attribute* found = grouping.findAttribute(path[step], false))
                matches.push_back(found);
            else
                search(grouping);
        }
    };
    search(*this);
    if (matches.size() > 1)
    {
        const Entity* entity = isEntity() ? static_cast<const Entity*>(this) : getOwnerEntity();
        const std::string below =
            isEntity() ? std::string() : " below '" + getAttributePath().toString('.') + "'";
        throw std::runtime_error("attribute path '" + path.toString('.') + "' of entity '" +
                                 (entity ? entity->getName() : std::string()) + "' is ambiguous" + below +
                                 ": step '" + path[step].getLabel() + "' matches both '" +
                                 matches[0]->getAttributePath().toString('.') + "' and '" +
                                 matches[1]->getAttributePath().toString('.') + "'");
    }
    return matches.empty() ? nullptr : matches.front();
}

Attribute* CompositeAttribute::findAttribute(TypeRef name, bool recursive) const
{
    for (const auto& child : children_)
        if (child->getTypeRef() == name)
            return child.get();
    if (recursive)
        for (const auto& child : children_)
            if (child->isCompositeAttribute())
                if (Attribute* found =
                        static_cast<const CompositeAttribute*>(child.get())->findAttribute(name, true))
                    return found;
    return nullptr;
}

Attribute* CompositeAttribute::findAttribute(const std::string& dottedPath) const
{
    return findAttribute(AttributePath(dottedPath));
}

Attribute* CompositeAttribute::findAttribute(const char* dottedPath) const
{
    return findAttribute(AttributePath(dottedPath));
}

CompositeAttribute* CompositeAttribute::findComposite(const AttributePath& path) const
{
    if (path.empty())
        return const_cast<CompositeAttribute*>(this);
    Attribute* found = findAttribute(path);
    return found && found->isCompositeAttribute() ? static_cast<CompositeAttribute*>(found) : nullptr;
}

void CompositeAttribute::getOwnedChildEntities(std::vector<Entity*>& entities, bool recursive,
                                               bool includeHidden, const std::function<bool(Entity*)>& filter,
                                               bool descendIntoRejected) const
{
    for (const auto& child : children_)
    {
        if (child->isCompositeAttribute())
        {
            static_cast<const CompositeAttribute*>(child.get())
                ->getOwnedChildEntities(entities, recursive, includeHidden, filter, descendIntoRejected);
            continue;
        }
        if (!child->isLinkAttribute())
            continue;
        auto* link = static_cast<const LinkAttribute*>(child.get());
        if (!link->isOwning() || (!includeHidden && link->isHidden()))
            continue;
        for (Entity* entity : std::vector<Entity*>(link->getTargets()))
        {
            bool accepted = !filter || filter(entity);
            if (accepted)
                entities.push_back(entity);
            if (recursive && (accepted || descendIntoRejected))
                entity->getOwnedChildEntities(entities, recursive, includeHidden, filter,
                                              descendIntoRejected);
        }
    }
}

std::vector<Entity*> CompositeAttribute::getOwnedChildEntitiesOfType(TypeRef type, bool recursive) const
{
    std::vector<Entity*> result;
    getOwnedChildEntities(
        result, recursive, true, [type](Entity* e) { return e->getTypeRef() == type; }, true);
    return result;
}

CountedCompositeAttribute::CountedCompositeAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : CompositeAttribute(std::move(definition))
{
}

void CountedCompositeAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
    if (visitor.recurse(this))
        acceptChildren(visitor);
}

bool CountedCompositeAttribute::setValueFromString(const std::string& text)
{
    int count = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (ec != std::errc() || end != text.data() + text.size() || count < 0 || count > maxCount)
        return false;
    setCount(count);
    return true;
}

void CountedCompositeAttribute::setCount(int count)
{
    count = std::clamp(count, 0, maxCount);
    const auto target = static_cast<std::size_t>(count);
    while (childCount() > target)
        removeAttribute(getChild(childCount() - 1));
    const auto& item = getDefinition().item;
    while (childCount() < target)
    {
        std::unique_ptr<Attribute> created;
        if (item)
            created = DataFactory::createAttribute(item);
        else
            created = std::make_unique<CompositeAttribute>(TypeRef("Item"));
        created->setName(itemName(childCount()));
        addAttribute(std::move(created));
    }
    valueChanged();
}

CompositeAttribute* CountedCompositeAttribute::getItem(std::size_t index) const
{
    Attribute* child = getChild(index);
    return child && child->isCompositeAttribute() ? static_cast<CompositeAttribute*>(child) : nullptr;
}

TypeRef CountedCompositeAttribute::itemName(std::size_t index) const
{
    const auto& item = getDefinition().item;
    std::string label = item ? item->name.getLabel() : std::string("Item");
    return TypeRef(label + " " + std::to_string(index + 1));
}
} // namespace EntityModel
