#include "host/entitymodel/EntityReading.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/entitymodel/ValueAttribute.h"

#include <charconv>

namespace EntityModel
{
namespace
{
// The attribute at the path with shortcuts followed, or null.
const Attribute* find(const CompositeAttribute* owner, const AttributePath& path)
{
    return owner ? getShortcutTarget(owner, path) : nullptr;
}
} // namespace

std::string getStringValue(const CompositeAttribute* owner, const AttributePath& path,
                           const std::string& defaultValue)
{
    const Attribute* a = find(owner, path);
    if (!a || (a->isCompositeAttribute() && !a->isCountedCompositeAttribute()))
        return defaultValue;
    return a->getValue();
}

bool getBoolValue(const CompositeAttribute* owner, const AttributePath& path, bool defaultValue)
{
    const Attribute* a = find(owner, path);
    if (!a)
        return defaultValue;
    if (a->isBoolAttribute() || a->isTypeAttribute() || a->isIntegerAttribute())
        return a->boolVal();
    if (a->isStringAttribute())
        return BoolAttribute::parse(a->getValue()).value_or(defaultValue);
    return defaultValue;
}

int getIntValue(const CompositeAttribute* owner, const AttributePath& path, int defaultValue)
{
    const Attribute* a = find(owner, path);
    if (!a)
        return defaultValue;
    if (a->isIntegerAttribute() || a->isBoolAttribute() || a->isCountedCompositeAttribute() ||
        a->isLinkAttribute() || a->isDoubleAttribute())
        return a->intVal();
    if (a->isStringAttribute())
    {
        std::string text = a->getValue();
        int value = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        return !text.empty() && ec == std::errc() && end == text.data() + text.size() ? value : defaultValue;
    }
    return defaultValue;
}

double getDoubleValue(const CompositeAttribute* owner, const AttributePath& path, const std::string& unit,
                      double defaultValue)
{
    const Attribute* a = find(owner, path);
    if (!a)
        return defaultValue;
    if (unit.empty())
        return getStandardDoubleValue(owner, path, defaultValue);
    const UnitTypeAttribute* unitAttribute = nullptr;
    if (a->isDoubleAttribute())
        unitAttribute = static_cast<const DoubleAttribute*>(a)->getUnitAttribute();
    else if (a->isCurveAttribute())
        unitAttribute = static_cast<const CurveAttribute*>(a)->getYUnit();
    if (!unitAttribute)
        return defaultValue;
    auto transform = UnitConverter::instance().transform(unitAttribute->getQuantity(), unit);
    return transform ? transform->inverse()(a->standardVal()) : defaultValue;
}

double getDoubleValue(const CompositeAttribute* owner, const AttributePath& path, double defaultValue)
{
    return getStandardDoubleValue(owner, path, defaultValue);
}

double getStandardDoubleValue(const CompositeAttribute* owner, const AttributePath& path, double defaultValue)
{
    const Attribute* a = find(owner, path);
    if (!a)
        return defaultValue;
    if (a->isDoubleAttribute() || a->isCurveAttribute() || a->isIntegerAttribute() || a->isBoolAttribute())
        return a->standardVal();
    return defaultValue;
}

TypeRef getTypeValue(const CompositeAttribute* owner, const AttributePath& path, TypeRef defaultValue)
{
    const Attribute* a = find(owner, path);
    return a && a->isTypeAttribute() ? a->typeVal() : defaultValue;
}

Utilities::bytearray getByteArrayValue(const CompositeAttribute* owner, const AttributePath& path,
                                       const Utilities::bytearray& defaultValue)
{
    const Attribute* a = find(owner, path);
    return a && (a->isByteArrayAttribute() || a->isStringAttribute()) ? a->byteArrayVal() : defaultValue;
}

bool hasAttributeSetTo(const CompositeAttribute* owner, const AttributePath& path, TypeRef value)
{
    const Attribute* a = find(owner, path);
    return a && a->isTypeAttribute() && *a == value;
}

Entity* getLinkedEntity(const CompositeAttribute* owner, const AttributePath& path)
{
    const Attribute* a = find(owner, path);
    return a && a->isLinkAttribute() ? static_cast<const LinkAttribute*>(a)->getTarget() : nullptr;
}

std::vector<Entity*> getLinkedEntities(const CompositeAttribute* owner, const AttributePath& path)
{
    const Attribute* a = find(owner, path);
    return a && a->isLinkAttribute() ? static_cast<const LinkAttribute*>(a)->getTargets()
                                     : std::vector<Entity*>();
}

Attribute* getShortcutTarget(const CompositeAttribute* owner, const AttributePath& path)
{
    return owner ? getShortcutTarget(owner->findAttribute(path)) : nullptr;
}

Attribute* getShortcutTarget(Attribute* attribute)
{
    if (attribute && attribute->isShortcutAttribute())
        return static_cast<ShortcutAttribute*>(attribute)->getTarget();
    return attribute;
}
} // namespace EntityModel
