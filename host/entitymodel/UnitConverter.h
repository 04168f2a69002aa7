#pragma once
#include "host/entitymodel/TypeRef.h"
#include "host/filesystem/LinearTransform.h"

#include <map>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

namespace EntityModel
{
/// A unit of a quantity: standard value = toStandard(value in this unit).
struct Unit
{
    std::string label;
    Utilities::LinearTransform<double> toStandard;
};

/// The quantities the model knows, each with its standard unit first and the user units after it.
/// Quantities are named by TypeRefs ("Temperature", "Power", "Volume Flow", "Mass Flow", "Density",
/// "Specific Heat", "Length", "Area", "Time", "Pressure", "Molar Mass", "Dimensionless").
/// The table is process-wide and may be read and extended from any thread.
class UnitConverter
{
public:
    static UnitConverter& instance();

    /// The standard unit's label of a quantity ("°C" for Temperature); empty for an unknown quantity.
    std::string getSIType(TypeRef quantity) const;
    bool hasQuantity(TypeRef quantity) const;
    std::vector<TypeRef> quantities() const;
    /// The units of a quantity, the standard one first; empty for an unknown quantity.
    std::vector<Unit> units(TypeRef quantity) const;
    /// The transform from a unit to the standard unit; an empty unit label is the standard unit.
    std::optional<Utilities::LinearTransform<double>> transform(TypeRef quantity,
                                                                const std::string& unit) const;

    /// Conversions; throw std::runtime_error naming the quantity and unit when the unit is unknown.
    double toStandard(TypeRef quantity, const std::string& unit, double value) const;
    double fromStandard(TypeRef quantity, const std::string& unit, double standardValue) const;

    /// Adds a user unit to a quantity (a new quantity when unknown; its first unit is the standard).
    void addUnit(TypeRef quantity, Unit unit);

private:
    UnitConverter();
    mutable std::shared_mutex mutex_;
    std::map<TypeRef, std::vector<Unit>> units_;
};
} // namespace EntityModel
