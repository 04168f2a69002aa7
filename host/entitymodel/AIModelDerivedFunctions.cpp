#include "host/entitymodel/AIModelDerivedFunctions.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DerivedFunctions.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"

namespace EntityModel
{
namespace
{
const TypeRef& attributeListName()
{
    static const TypeRef name("AI Model Attribute List");
    return name;
}

Entity* linkedEntity(const CompositeAttribute& item)
{
    Attribute* link = item.findAttribute(Entity_t, false);
    return link && link->isLinkAttribute() ? static_cast<LinkAttribute*>(link)->getTarget() : nullptr;
}

std::string textOf(const CompositeAttribute& parent, TypeRef name)
{
    const Attribute* attribute = parent.findAttribute(name, false);
    return attribute ? attribute->getValue() : std::string();
}

/// The item holding an attribute that is a direct child of it (Attribute, Value, units).
const CompositeAttribute* itemOf(const Attribute& attribute)
{
    return attribute.getParent();
}

void computeAttribute(Attribute& attribute)
{
    // The candidates are the AI model calculator's; the choice is valid while an entity is linked
    // and the chosen text names one of them.
    const CompositeAttribute* item = itemOf(attribute);
    attribute.setValidFlag(item && linkedEntity(*item) != nullptr &&
                           AIModelDerivedFunctions::chosenCandidate(*item) != nullptr);
}

void computeSelectedAttribute(Attribute& attribute)
{
    const CompositeAttribute* item = itemOf(attribute);
    attribute.setValidFlag(item && AIModelDerivedFunctions::boundAttribute(*item) != nullptr);
    if (attribute.isCompositeAttribute())
        if (Attribute* path = static_cast<CompositeAttribute&>(attribute).findAttribute(Path_t, false))
            path->invalidateDerived(false);
}

void computeSelectedPath(Attribute& attribute)
{
    const CompositeAttribute* selected = attribute.getParent();
    const CompositeAttribute* item = selected ? selected->getParent() : nullptr;
    std::string path;
    if (item && AIModelDerivedFunctions::boundAttribute(*item))
        path = AIModelDerivedFunctions::chosenHostPath(*item).toString('.');
    if (attribute.isStringAttribute())
        static_cast<StringAttribute&>(attribute).setString(path);
    attribute.setValidFlag(!path.empty());
}

void computeValue(Attribute& attribute)
{
    if (!attribute.isShortcutAttribute())
        return;
    auto& shortcut = static_cast<ShortcutAttribute&>(attribute);
    const CompositeAttribute* item = itemOf(attribute);
    // The target is looked up again on every read, so the path is all that is kept here.
    AttributePath path = item ? AIModelDerivedFunctions::chosenHostPath(*item) : AttributePath();
    shortcut.setLinkedTarget(AttributePath(Entity_t), path);
    shortcut.setValidFlag(item && AIModelDerivedFunctions::boundAttribute(*item) != nullptr);
}

void computeUnit(Attribute& attribute)
{
    if (!attribute.isUnitTypeAttribute())
        return;
    auto& unit = static_cast<UnitTypeAttribute&>(attribute);
    const CompositeAttribute* item = itemOf(attribute);
    Attribute* bound = item ? AIModelDerivedFunctions::boundAttribute(*item) : nullptr;
    TypeRef quantity;
    if (bound && bound->isDoubleAttribute())
        if (const UnitTypeAttribute* boundUnit = static_cast<DoubleAttribute*>(bound)->getUnitAttribute())
            quantity = boundUnit->getQuantity();
    // An item not bound (yet) keeps the quantity and unit it was given.
    if (quantity == TypeRef())
    {
        unit.setValidFlag(unit.getQuantity() != TypeRef());
        return;
    }
    // setQuantity keeps the selected unit while the quantity stays the same.
    if (unit.getQuantity() != quantity)
        unit.setQuantity(quantity);
    unit.setValidFlag(quantity != TypeRef());
}

void computeSharedLibraryPath(Attribute& attribute)
{
    const CompositeAttribute* parent = attribute.getParent();
    std::string path = parent ? textOf(*parent, Shared_Object_File_t) : std::string();
    if (attribute.isStringAttribute())
        static_cast<StringAttribute&>(attribute).setString(path);
    attribute.setValidFlag(!path.empty());
}

const DerivedFunctionRegistration registrations[] = {
    {"aiModelAttribute", computeAttribute},
    {"aiModelSelectedAttribute", computeSelectedAttribute},
    {"aiModelSelectedPath", computeSelectedPath},
    {"aiModelValue", computeValue},
    {"aiModelUnit", computeUnit},
    {"sharedLibraryPath", computeSharedLibraryPath},
};
} // namespace

// Referenced by ShortcutAttribute so that a program using the static library keeps the
// registrations above.
bool aiModelDerivedFunctionsLinked()
{
    return true;
}

namespace AIModelDerivedFunctions
{
const Entity* chosenCandidate(const CompositeAttribute& item)
{
    const std::string chosen = textOf(item, Attribute_t);
    if (chosen.empty())
        return nullptr;
    if (const Attribute* list = item.findAttribute(attributeListName(), false);
        list && list->isLinkAttribute())
        for (const Entity* candidate : static_cast<const LinkAttribute*>(list)->getTargets())
            if (candidate && textOf(*candidate, Name_t) == chosen)
                return candidate;
    return nullptr;
}

AttributePath chosenHostPath(const CompositeAttribute& item)
{
    const std::string chosen = textOf(item, Attribute_t);
    if (chosen.empty())
        return {};
    if (const Entity* candidate = chosenCandidate(item))
        if (std::string path = textOf(*candidate, Path_t); !path.empty())
            return AttributePath(path);
    return AttributePath(chosen);
}

Attribute* boundAttribute(const CompositeAttribute& item)
{
    Entity* entity = linkedEntity(item);
    if (!entity)
        return nullptr;
    AttributePath path = chosenHostPath(item);
    return path.empty() ? nullptr : entity->findAttribute(path);
}
} // namespace AIModelDerivedFunctions
} // namespace EntityModel
