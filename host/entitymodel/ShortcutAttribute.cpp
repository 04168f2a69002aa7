#include "host/entitymodel/ShortcutAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"

#include <set>

namespace EntityModel
{
Attribute* resolveRelativePath(const CompositeAttribute* from, const AttributePath& path)
{
    std::size_t ups = 0;
    while (ups < path.size() && path[ups] == Owner_t)
    {
        from = from ? from->getParent() : nullptr;
        ++ups;
    }
    if (!from)
        return nullptr;
    AttributePath rest = path.withoutFront(ups);
    if (rest.empty())
        return const_cast<CompositeAttribute*>(from);
    return from->findAttribute(rest);
}

// AI model items hold the shortcuts that point into linked entities; naming their registration here
// keeps it in programs linking the static library.
bool aiModelDerivedFunctionsLinked();

ShortcutAttribute::ShortcutAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    static_cast<void>(aiModelDerivedFunctionsLinked());
}

void ShortcutAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

void ShortcutAttribute::setLinkedTarget(AttributePath linkPath, AttributePath attributePath)
{
    linkedTarget_ = LinkedTarget{std::move(linkPath), std::move(attributePath)};
}

void ShortcutAttribute::clearLinkedTarget()
{
    linkedTarget_.reset();
}

Attribute* ShortcutAttribute::getDirectTarget() const
{
    ensureComputed();
    if (linkedTarget_)
    {
        Attribute* link = resolveRelativePath(getParent(), linkedTarget_->linkPath);
        if (!link || !link->isLinkAttribute())
            return nullptr;
        Entity* entity = static_cast<LinkAttribute*>(link)->getTarget();
        if (!entity || linkedTarget_->attributePath.empty())
            return nullptr;
        Attribute* target = entity->findAttribute(linkedTarget_->attributePath);
        return target == this ? nullptr : target;
    }
    for (const AttributePath& path : getTargetPaths())
        if (Attribute* target = resolveRelativePath(getParent(), path); target && target != this)
            return target;
    return nullptr;
}

Attribute* ShortcutAttribute::getTarget() const
{
    std::set<const Attribute*> seen{this};
    Attribute* current = getDirectTarget();
    while (current && current->isShortcutAttribute())
    {
        if (!seen.insert(current).second)
            return nullptr;
        current = static_cast<ShortcutAttribute*>(current)->getDirectTarget();
    }
    return current;
}

bool ShortcutAttribute::operator==(const TypeRef& value) const
{
    const Attribute* target = getTarget();
    return target && *target == value;
}

bool ShortcutAttribute::boolVal() const
{
    const Attribute* target = getTarget();
    return target && target->boolVal();
}

int ShortcutAttribute::intVal() const
{
    const Attribute* target = getTarget();
    return target ? target->intVal() : 0;
}

double ShortcutAttribute::standardVal() const
{
    const Attribute* target = getTarget();
    return target ? target->standardVal() : 0.0;
}

TypeRef ShortcutAttribute::typeVal() const
{
    const Attribute* target = getTarget();
    return target ? target->typeVal() : TypeRef();
}

std::string ShortcutAttribute::getValue() const
{
    const Attribute* target = getTarget();
    return target ? target->getValue() : std::string();
}
} // namespace EntityModel
