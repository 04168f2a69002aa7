#include "host/entitymodel/DoubleAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/UnitConverter.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <stdexcept>

namespace EntityModel
{
namespace
{
std::shared_ptr<const AttributeDefinition> doubleDefinition(TypeRef name)
{
    auto definition = std::make_shared<AttributeDefinition>();
    definition->kind = AttributeKind::Double;
    definition->name = name;
    return definition;
}

/// The definition of unit attributes of a quantity and unit, one shared by all of them (a project's
/// values would otherwise each carry a copy).
std::shared_ptr<const AttributeDefinition> unitDefinition(TypeRef quantity, const std::string& unit)
{
    static std::mutex mutex;
    static std::map<std::pair<TypeRef, std::string>, std::shared_ptr<const AttributeDefinition>> shared;
    const std::lock_guard lock(mutex);
    auto& slot = shared[{quantity, unit}];
    if (!slot)
    {
        auto definition = std::make_shared<AttributeDefinition>();
        definition->kind = AttributeKind::UnitType;
        definition->name = TypeRef("Unit");
        definition->quantity = quantity;
        definition->unit = unit;
        slot = std::move(definition);
    }
    return slot;
}

std::optional<double> parseDouble(const std::string& text)
{
    double value = 0.0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}
/// A unit label as a unit attribute keeps it: interned, as projects hold one per value.
TypeRef unitLabel(const std::string& unit)
{
    return unit.empty() ? TypeRef() : TypeRef(unit);
}
} // namespace

struct DoubleAttribute::BoundOverrides
{
    std::optional<std::optional<double>> min;
    std::optional<std::optional<double>> max;
};

// Unit types.

UnitTypeAttribute::UnitTypeAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition)), quantity_(getDefinition().quantity),
      unit_(unitLabel(getDefinition().defaultValue.empty() ? getDefinition().unit
                                                           : getDefinition().defaultValue))
{
}

UnitTypeAttribute::UnitTypeAttribute(TypeRef quantity, std::string unit)
    : Attribute(unitDefinition(quantity, unit)), quantity_(quantity), unit_(unitLabel(unit))
{
}

void UnitTypeAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

void UnitTypeAttribute::setQuantity(TypeRef quantity)
{
    if (quantity != quantity_)
        unit_ = TypeRef();
    quantity_ = quantity;
    valueChanged();
}

std::string UnitTypeAttribute::getValue() const
{
    ensureComputed();
    return unit_.empty() ? UnitConverter::instance().getSIType(quantity_) : unit_.getLabel();
}

bool UnitTypeAttribute::setValueFromString(const std::string& unit)
{
    if (!UnitConverter::instance().transform(quantity_, unit))
        return false;
    unit_ = unitLabel(unit);
    valueChanged();
    return true;
}

Utilities::LinearTransform<double> UnitTypeAttribute::getTransform() const
{
    ensureComputed();
    return UnitConverter::instance()
        .transform(quantity_, unit_.getLabel())
        .value_or(Utilities::LinearTransform<double>{});
}

// Doubles.

DoubleAttribute::DoubleAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    value_ = parseDouble(getDefinition().defaultValue).value_or(0.0);
    if (!getDefinition().quantity.empty())
        unit_.emplace(getDefinition().quantity, getDefinition().unit);
}

DoubleAttribute::DoubleAttribute(TypeRef name, double standardValue)
    : Attribute(doubleDefinition(name)), value_(standardValue)
{
}

DoubleAttribute::~DoubleAttribute() = default;

void DoubleAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

int DoubleAttribute::intVal() const
{
    double v = std::trunc(standardVal());
    if (v >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

double DoubleAttribute::standardVal() const
{
    ensureComputed();
    return value_;
}

std::string DoubleAttribute::getValue() const
{
    return format(standardVal());
}

bool DoubleAttribute::setValueFromString(const std::string& text)
{
    auto value = parseDouble(text);
    if (!value)
        return false;
    setStandardVal(*value);
    return true;
}

void DoubleAttribute::setStandardVal(double value)
{
    value_ = value;
    valueChanged();
}

double DoubleAttribute::getValueIn(const std::string& unit) const
{
    if (unit.empty())
        return standardVal();
    if (!unit_)
        throw std::runtime_error("'" + getTypeRef().getLabel() + "' has no unit, so it cannot be read in '" +
                                 unit + "'");
    return UnitConverter::instance().fromStandard(unit_->getQuantity(), unit, standardVal());
}

void DoubleAttribute::setValueIn(const std::string& unit, double value)
{
    if (unit.empty())
    {
        setStandardVal(value);
        return;
    }
    if (!unit_)
        throw std::runtime_error("'" + getTypeRef().getLabel() + "' has no unit, so it cannot be set in '" +
                                 unit + "'");
    setStandardVal(UnitConverter::instance().toStandard(unit_->getQuantity(), unit, value));
}

void DoubleAttribute::setUnit(TypeRef quantity, const std::string& unit)
{
    if (quantity.empty())
        unit_.reset();
    else
        unit_.emplace(quantity, unit);
    valueChanged();
}

std::optional<double> DoubleAttribute::getMinimum() const
{
    return bounds_ && bounds_->min ? *bounds_->min : getDefinition().min;
}

std::optional<double> DoubleAttribute::getMaximum() const
{
    return bounds_ && bounds_->max ? *bounds_->max : getDefinition().max;
}

void DoubleAttribute::setMinimum(std::optional<double> min)
{
    if (!bounds_)
        bounds_ = std::make_unique<BoundOverrides>();
    bounds_->min = min;
}

void DoubleAttribute::setMaximum(std::optional<double> max)
{
    if (!bounds_)
        bounds_ = std::make_unique<BoundOverrides>();
    bounds_->max = max;
}

std::string DoubleAttribute::format(double value)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}
} // namespace EntityModel
