#pragma once
// Quantities with units: doubles (stored in standard units) and the unit-type attributes choosing
// the unit in which a value is shown.
#include "host/entitymodel/Attribute.h"
#include "host/filesystem/LinearTransform.h"

#include <memory>
#include <optional>
#include <string>

namespace EntityModel
{
/// The unit of a quantity chosen for a value: its type is the quantity (Temperature_t, ...), its
/// text value the unit's label ("°C", "K"). Standard value = getTransform()(value in this unit).
class UnitTypeAttribute : public Attribute
{
public:
    explicit UnitTypeAttribute(std::shared_ptr<const AttributeDefinition> definition);
    /// A unit attribute of a quantity, in a unit (empty: the standard unit).
    UnitTypeAttribute(TypeRef quantity, std::string unit);

    AttributeKind kind() const override { return AttributeKind::UnitType; }
    void accept(AttributeVisitor& visitor) override;
    /// The quantity (empty when none is set).
    Type getType() const override { return Type(quantity_); }
    TypeRef getQuantity() const { return quantity_; }
    void setQuantity(TypeRef quantity);
    /// The selected unit's label (the standard unit's label when none was chosen).
    std::string getValue() const override;
    /// Selects a unit of the quantity by label; false for a label the quantity does not have.
    bool setValueFromString(const std::string& unit) override;
    /// (a, b) with standard = a * x + b for a value x in the selected unit.
    Utilities::LinearTransform<double> getTransform() const;

private:
    TypeRef quantity_;
    TypeRef unit_; ///< the chosen unit's label (empty: the standard unit)
};

/// A real value stored in standard units, with a unit attribute (the unit in which it is shown),
/// optional bounds in standard units, and a text form in standard units.
class DoubleAttribute : public Attribute
{
public:
    explicit DoubleAttribute(std::shared_ptr<const AttributeDefinition> definition);
    /// A double made in code, without unit or bounds.
    explicit DoubleAttribute(TypeRef name, double standardValue = 0.0);
    ~DoubleAttribute() override;

    AttributeKind kind() const override { return AttributeKind::Double; }
    void accept(AttributeVisitor& visitor) override;
    bool boolVal() const override { return standardVal() != 0.0; }
    int intVal() const override;
    double standardVal() const override;
    std::string getValue() const override;
    bool setValueFromString(const std::string& text) override;
    void setStandardVal(double value);
    /// The value in a unit of its quantity (empty: standard); throws std::runtime_error for an unknown unit.
    double getValueIn(const std::string& unit) const;
    void setValueIn(const std::string& unit, double value);

    /// The unit attribute (null for a value without a quantity).
    UnitTypeAttribute* getUnitAttribute() const { return unit_ ? &*unit_ : nullptr; }
    /// Gives the value a unit attribute of the quantity and unit (an empty quantity removes it).
    void setUnit(TypeRef quantity, const std::string& unit);

    std::optional<double> getMinimum() const override;
    std::optional<double> getMaximum() const override;
    void setMinimum(std::optional<double> min);
    void setMaximum(std::optional<double> max);

    /// Shortest text that reads back as the same double ("20", "0.1", "1e-05").
    static std::string format(double value);

private:
    struct BoundOverrides;

    double value_ = 0.0;
    // Held in place: projects hold hundreds of thousands of values, nearly all with a unit.
    mutable std::optional<UnitTypeAttribute> unit_;
    std::unique_ptr<BoundOverrides> bounds_; ///< bounds set in code in place of the definition's
};
} // namespace EntityModel
