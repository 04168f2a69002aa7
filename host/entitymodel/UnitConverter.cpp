#include "host/entitymodel/UnitConverter.h"

#include <mutex>
#include <stdexcept>

namespace EntityModel
{
UnitConverter::UnitConverter()
{
    auto q = [this](const char* quantity, std::vector<Unit> units)
    { units_[TypeRef(quantity)] = std::move(units); };
    q("Temperature", {{"°C", {1.0, 0.0}}, {"K", {1.0, -273.15}}, {"°F", {5.0 / 9.0, -160.0 / 9.0}}});
    q("Power", {{"W", {1.0, 0.0}}, {"kW", {1e3, 0.0}}, {"MW", {1e6, 0.0}}, {"BTU/h", {0.29307107017, 0.0}}});
    q("Volume Flow", {{"m³/s", {1.0, 0.0}},
                      {"l/s", {1e-3, 0.0}},
                      {"l/min", {1e-3 / 60.0, 0.0}},
                      {"m³/h", {1.0 / 3600.0, 0.0}},
                      {"CFM", {0.00047194745, 0.0}}});
    q("Mass Flow", {{"kg/s", {1.0, 0.0}}, {"g/s", {1e-3, 0.0}}, {"kg/h", {1.0 / 3600.0, 0.0}}});
    q("Density", {{"kg/m³", {1.0, 0.0}}, {"g/cm³", {1e3, 0.0}}, {"lb/ft³", {16.018463, 0.0}}});
    q("Specific Heat", {{"J/(kg·K)", {1.0, 0.0}}, {"kJ/(kg·K)", {1e3, 0.0}}});
    q("Length", {{"m", {1.0, 0.0}},
                 {"mm", {1e-3, 0.0}},
                 {"cm", {1e-2, 0.0}},
                 {"ft", {0.3048, 0.0}},
                 {"in", {0.0254, 0.0}}});
    q("Area", {{"m²", {1.0, 0.0}}, {"mm²", {1e-6, 0.0}}, {"cm²", {1e-4, 0.0}}, {"ft²", {0.09290304, 0.0}}});
    q("Time", {{"s", {1.0, 0.0}}, {"min", {60.0, 0.0}}, {"h", {3600.0, 0.0}}});
    q("Pressure",
      {{"Pa", {1.0, 0.0}}, {"kPa", {1e3, 0.0}}, {"bar", {1e5, 0.0}}, {"psi", {6894.757293, 0.0}}});
    q("Molar Mass", {{"kg/kmol", {1.0, 0.0}}, {"g/mol", {1.0, 0.0}}});
    q("Dimensionless", {{"", {1.0, 0.0}}, {"%", {0.01, 0.0}}});
}

UnitConverter& UnitConverter::instance()
{
    static UnitConverter converter;
    return converter;
}

std::string UnitConverter::getSIType(TypeRef quantity) const
{
    std::shared_lock lock(mutex_);
    auto it = units_.find(quantity);
    return it == units_.end() || it->second.empty() ? std::string() : it->second.front().label;
}

bool UnitConverter::hasQuantity(TypeRef quantity) const
{
    std::shared_lock lock(mutex_);
    return units_.count(quantity) > 0;
}

std::vector<TypeRef> UnitConverter::quantities() const
{
    std::shared_lock lock(mutex_);
    std::vector<TypeRef> result;
    for (const auto& [quantity, units] : units_)
        result.push_back(quantity);
    return result;
}

std::vector<Unit> UnitConverter::units(TypeRef quantity) const
{
    std::shared_lock lock(mutex_);
    auto it = units_.find(quantity);
    return it == units_.end() ? std::vector<Unit>() : it->second;
}

std::optional<Utilities::LinearTransform<double>> UnitConverter::transform(TypeRef quantity,
                                                                           const std::string& unit) const
{
    std::shared_lock lock(mutex_);
    auto it = units_.find(quantity);
    if (it == units_.end())
        return std::nullopt;
    if (unit.empty())
        return Utilities::LinearTransform<double>{};
    for (const Unit& u : it->second)
        if (u.label == unit)
            return u.toStandard;
    return std::nullopt;
}

double UnitConverter::toStandard(TypeRef quantity, const std::string& unit, double value) const
{
    auto t = transform(quantity, unit);
    if (!t)
        throw std::runtime_error("Unknown unit '" + unit + "' of quantity '" + quantity.getLabel() + "'");
    return (*t)(value);
}

double UnitConverter::fromStandard(TypeRef quantity, const std::string& unit, double standardValue) const
{
    auto t = transform(quantity, unit);
    if (!t)
        throw std::runtime_error("Unknown unit '" + unit + "' of quantity '" + quantity.getLabel() + "'");
    return t->inverse()(standardValue);
}

void UnitConverter::addUnit(TypeRef quantity, Unit unit)
{
    if (unit.toStandard.a == 0.0)
        throw std::invalid_argument("Unit '" + unit.label + "' of quantity '" + quantity.getLabel() +
                                    "' has a zero factor");
    std::unique_lock lock(mutex_);
    auto& units = units_[quantity];
    for (Unit& u : units)
        if (u.label == unit.label)
        {
            u = std::move(unit);
            return;
        }
    units.push_back(std::move(unit));
}
} // namespace EntityModel
