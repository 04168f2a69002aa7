#include "src/model/builders/AttributeBuilder.h"
#include "src/model/builders/GenericAttributeDispatch.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Rule.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/entitymodel/ValueAttribute.h"
#include "src/model/ArrayAttribute.h"
#include "src/model/builders/AttributeInitializer.h"
#include "src/model/AttributeType.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace Conflux::Model
{
namespace
{
using EntityModel::TypeRef;

bool isResultsGroup(TypeRef name)
{
    return name == EntityModel::Simulation_Results_t || name == EntityModel::Campus_Simulation_Results_t ||
           name == EntityModel::Results_t;
}

/// Results hold what the solver computes; whatever they hold before a solve is not a live value.
bool isResult(const EntityModel::Attribute* attribute)
{
    const auto path = attribute->getAttributePath();
    return path.startsWith(EntityModel::Campus_Simulation_Results_t) ||
           path.startsWith(EntityModel::Simulation_Results_t);
}

/// The first attribute of that name below `composite`, depth-first, outside any results group.
const EntityModel::Attribute* findSetting(const EntityModel::CompositeAttribute* composite, TypeRef name)
{
    for (const auto& child : composite->children())
    {
        if (child->isEntity())
            continue;
        if (child->getTypeRef() == name)
            return child.get();
        if (const auto* inner = dynamic_cast<const EntityModel::CompositeAttribute*>(child.get());
            inner && !isResultsGroup(inner->getTypeRef()))
            if (const auto* found = findSetting(inner, name))
                return found;
    }
    return nullptr;
}

/// An initial value that an equipment item's own settings give one of its results: the outlet
/// coolant temperature of a cooling unit starts at its supply temperature, a vent's result starts
/// at the vent's setting of the same name.
std::optional<double> specificInitialValue(const EntityModel::Attribute* attribute)
{
    const EntityModel::Entity* owner = attribute->getOwnerEntity();
    if (!owner)
        return std::nullopt;
    const TypeRef ownerType = owner->getTypeRef();
    const TypeRef type = attribute->getTypeRef();
    const EntityModel::Attribute* source = nullptr;
    if ((ownerType == EntityModel::Air_Cooling_Unit_t || ownerType == EntityModel::Heat_Exchanger_t) &&
        (type == EntityModel::Coolant_Temperature_Out_t || type == EntityModel::Coolant_Temperature_Out_Curve_t))
        source = findSetting(owner, EntityModel::Coolant_Temperature_t);
    else if (ownerType == EntityModel::Vent_t && attribute->getAttributePath().contains(EntityModel::Results_t))
        source = findSetting(owner, type);
    if (!source)
        return std::nullopt;
    return source->standardVal();
}

double clampToBounds(double value, std::optional<double> minimum, std::optional<double> maximum)
{
    if (minimum && value < *minimum)
        return *minimum;
    if (maximum && value > *maximum)
        return *maximum;
    return value;
}

template <class T>
std::unique_ptr<Attribute> makeValue(const std::string& name, AccessType access, CompositeAttribute* parent,
                                     const T& initial, const std::string& unit)
{
    auto node = std::make_unique<ValueAttribute<T>>(name, access, parent);
    node->createValue(ValueType::Chronological).setValue(initial);
    node->setUnit(unit);
    return node;
}
} // namespace

AttributeBuilder::AttributeBuilder(EntityModel::Entity* entity, std::unique_ptr<Attribute>& result, AccessType access,
                                   bool useReadOnlyRule, AttributeInitializer* initializer, bool forceDouble)
    : m_entity(entity), m_result(result), m_access(access), m_useReadOnlyRule(useReadOnlyRule),
      m_initializer(initializer), m_forceDouble(forceDouble)
{
}

std::unique_ptr<Attribute> AttributeBuilder::create(EntityModel::Attribute* attribute, EntityModel::Entity* entity,
                                                    AccessType access, AttributeInitializer* initializer,
                                                    bool useReadOnlyRule, bool forceDouble)
{
    std::unique_ptr<Attribute> result;
    if (!attribute)
        return result;
    AttributeBuilder builder(entity, result, access, useReadOnlyRule, initializer, forceDouble);
    attribute->accept(builder);
    return result;
}

AccessType AttributeBuilder::determineAccessTypeFromAttribute(EntityModel::Attribute* attribute, bool useReadOnlyRule)
{
    if (!attribute)
        return AccessType::None;
    AccessType mask = attribute->isConfluxReadOnly() ? AccessType::ReadOnly : AccessType::ReadWrite;
    if (useReadOnlyRule)
        if (const EntityModel::Rule* rule = attribute->getConfluxReadOnlyRule(true); rule && !rule->getOutcome())
            mask = AccessType::ReadWrite;
    // Composites and links are readable so that the path to a flagged attribute below them can be followed.
    const bool readable =
        attribute->isConflux() || attribute->isCompositeAttribute() || attribute->isLinkAttribute();
    const bool writable = attribute->isConflux() && !attribute->isConfluxReadOnly();
    const auto granted = static_cast<AccessType>((readable ? 1 : 0) | (writable ? 2 : 0));
    return granted & mask;
}

AccessType AttributeBuilder::accessType(EntityModel::Attribute* attribute) const
{
    return m_access & determineAccessTypeFromAttribute(attribute, m_useReadOnlyRule);
}

std::string AttributeBuilder::attributeType(EntityModel::Attribute* attribute, EntityModel::Entity* entity)
{
    return attribute->getConfluxLabel(entity);
}

std::string AttributeBuilder::attributeType(EntityModel::Attribute* attribute) const
{
    return attributeType(attribute, m_entity);
}

std::string AttributeBuilder::retrieveStandardUnit(EntityModel::DoubleAttribute* attribute)
{
    const EntityModel::UnitTypeAttribute* unit = attribute->getUnitAttribute();
    return unit ? EntityModel::UnitConverter::instance().getSIType(unit->getType().getTypeRef()) : std::string();
}

std::string AttributeBuilder::retrieveStandardUnit(EntityModel::CurveAttribute* curve)
{
    const EntityModel::UnitTypeAttribute* unit = curve->getYUnit();
    return unit ? EntityModel::UnitConverter::instance().getSIType(unit->getType().getTypeRef()) : std::string();
}

double AttributeBuilder::initialValue(EntityModel::Attribute* attribute, const EntityModel::Attribute* unit,
                                      bool& clamp) const
{
    clamp = false;
    if (!isResult(attribute) && attribute->hasLiveValue())
        return attribute->standardVal();
    if (!m_initializer)
        return 0.0;
    if (const auto specific = specificInitialValue(attribute))
    {
        clamp = true;
        return *specific;
    }
    if (!unit)
        return 0.0;
    clamp = true;
    const EntityModel::Type quantity = unit->getType();
    if (const auto initial = m_initializer->getInitialValue(quantity.getLabel()))
        return *initial;
    // Before the solver has run, a temperature is best guessed at room temperature.
    return quantity.getTypeRef() == EntityModel::Temperature_t ? 20.0 : 0.0;
}

double AttributeBuilder::retrieveStandardValue(EntityModel::DoubleAttribute* attribute) const
{
    bool clamp = false;
    const double value = initialValue(attribute, attribute->getUnitAttribute(), clamp);
    return clamp ? clampToBounds(value, attribute->getMinimum(), attribute->getMaximum()) : value;
}

double AttributeBuilder::retrieveStandardValue(EntityModel::CurveAttribute* curve) const
{
    bool clamp = false;
    return initialValue(curve, curve->getYUnit(), clamp);
}

void AttributeBuilder::buildReal(EntityModel::Attribute* attribute, AttributeType type, AccessType access,
                                 double value, const std::string& unit)
{
    const bool curve = attribute->isCurveAttribute();
    switch (type)
    {
    case AttributeType::Float:
        // Beyond the single-precision range the conversion has no defined result.
        if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        {
            std::ostringstream message;
            message << "Attribute '" << attributeType(attribute) << "' of entity '"
                    << (attribute->getOwnerEntity() ? attribute->getOwnerEntity()->getName() : "") << "': " << value
                    << " does not fit a single-precision value";
            throw std::runtime_error(message.str());
        }
        m_result = makeValue<float>(attributeType(attribute), access, m_parent, static_cast<float>(value), unit);
        return;
    case AttributeType::Double:
        m_result = makeValue<double>(attributeType(attribute), access, m_parent, value, unit);
        return;
    case AttributeType::Integer:
    case AttributeType::Boolean:
    case AttributeType::String:
    case AttributeType::Composite:
    case AttributeType::Entity:
    case AttributeType::Link:
    case AttributeType::List:
    case AttributeType::Shortcut:
    case AttributeType::Array:
        break;
    }
    throw std::logic_error(curve ? "Unsupported Conflux Attribute for Curve" : "Unsupported Conflux Attribute for Double");
}

void AttributeBuilder::visit(EntityModel::Attribute* attribute)
{
    visitByKind(*this, attribute);
}

void AttributeBuilder::visit(EntityModel::Entity*)
{
    throw std::logic_error("No entities should be constructed");
}

void AttributeBuilder::visit(EntityModel::CompositeAttribute* composite)
{
    if (composite->isEntity())
        visit(static_cast<EntityModel::Entity*>(composite));
    m_result = std::make_unique<CompositeAttribute>(attributeType(composite), accessType(composite), m_parent);
}

void AttributeBuilder::visit(EntityModel::CountedCompositeAttribute* composite)
{
    visit(static_cast<EntityModel::CompositeAttribute*>(composite));
}

void AttributeBuilder::visit(EntityModel::IntAttribute* attribute)
{
    m_result = makeValue<int>(attributeType(attribute), accessType(attribute), m_parent, attribute->intVal(), {});
}

void AttributeBuilder::visit(EntityModel::BoolAttribute* attribute)
{
    m_result = makeValue<bool>(attributeType(attribute), accessType(attribute), m_parent, attribute->boolVal(), {});
}

void AttributeBuilder::visit(EntityModel::TypeAttribute* attribute)
{
    m_result = makeValue<std::string>(attributeType(attribute), accessType(attribute), m_parent,
                                      attribute->getValue(), {});
}

void AttributeBuilder::visit(EntityModel::DoubleAttribute* attribute)
{
    const AttributeType type =
        m_forceDouble ? AttributeType::Double
                      : attributeTypeFromString(attribute->getConfluxAttributeType().get(), AttributeType::Float);
    buildReal(attribute, type, accessType(attribute), retrieveStandardValue(attribute), retrieveStandardUnit(attribute));
}

void AttributeBuilder::visit(EntityModel::CurveAttribute* curve)
{
    // A curve without a declared exchange type has no kind to fall back on.
    const AttributeType type =
        m_forceDouble ? AttributeType::Double
                      : attributeTypeFromString(curve->getConfluxAttributeType().get(), static_cast<AttributeType>(0));
    // The exchange sees a curve's value at one point only; writing it would not change the curve.
    buildReal(curve, type, AccessType::ReadOnly, retrieveStandardValue(curve), retrieveStandardUnit(curve));
}

void AttributeBuilder::visit(EntityModel::LinkAttribute* link)
{
    m_result = std::make_unique<LinkAttribute>(attributeType(link), link->getLinkedType().getLabel(), accessType(link),
                                               link->getLinkFlag(), m_parent);
}

void AttributeBuilder::visit(EntityModel::ListAttribute* list)
{
    m_result = std::make_unique<ListAttribute>(attributeType(list), list->getLinkedType().getLabel(), accessType(list),
                                               list->getLinkFlag(), m_parent);
}

void AttributeBuilder::visit(EntityModel::ArrayAttribute* array)
{
    m_result = std::make_unique<ArrayAttribute>(attributeType(array), array->getLinkedType().getLabel(),
                                                accessType(array), array->getLinkFlag(), m_parent);
}

void AttributeBuilder::visit(EntityModel::ShortcutAttribute* shortcut)
{
    auto node = std::make_unique<ShortcutAttribute>(attributeType(shortcut), accessType(shortcut), m_parent);
    if (node->getAttributeType(false) != AttributeType::Shortcut)
        throw std::logic_error("Invalid cast");
    for (const auto& target : shortcut->getTargetPaths())
        node->addShortcut(AttributePath(target.toString('.')));
    m_result = std::move(node);
}
} // namespace Conflux::Model
