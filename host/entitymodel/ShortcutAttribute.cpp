#include "host/entitymodel/ShortcutAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/CompositeAttribute.h"

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

ShortcutAttribute::ShortcutAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
}

void ShortcutAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

Attribute* ShortcutAttribute::getDirectTarget() const
{
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
