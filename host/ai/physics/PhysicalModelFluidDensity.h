#pragma once
// Density models of the fluids in a physical model.
#include <variant>

namespace AISystem
{
/// A fluid whose density does not change with temperature (liquids, or air treated as incompressible).
class PhysicalModelFluidDensityConstant
{
public:
    /// Density in kg/m³; throws std::invalid_argument unless finite and positive.
    explicit PhysicalModelFluidDensityConstant(double density);

    double getDensity() const { return m_density; }
    /// Density in kg/m³ at a temperature in °C.
    double density(double temperature) const;

    bool operator==(const PhysicalModelFluidDensityConstant&) const = default;

private:
    double m_density;
};

/// An ideal gas: density = pressure × molecular weight / (gas constant × absolute temperature).
class PhysicalModelFluidDensityIdealGas
{
public:
    /// Universal gas constant in J/(kmol·K).
    static constexpr double GasConstant = 8314.462618;
    /// Standard atmosphere in Pa, added to the reference pressure when it is a gauge pressure.
    static constexpr double StandardAtmosphere = 101325.0;

    /// Molecular weight in kg/kmol and reference pressure in Pa; with gaugePressure the reference
    /// pressure is relative to the standard atmosphere. Throws std::invalid_argument unless the
    /// molecular weight and the absolute pressure are finite and positive.
    PhysicalModelFluidDensityIdealGas(double molecularWeight, double referencePressure, bool gaugePressure);

    double getMolecularWeight() const { return m_molecularWeight; }
    double getReferencePressure() const { return m_referencePressure; }
    bool isGaugePressure() const { return m_gaugePressure; }
    /// Absolute pressure in Pa.
    double getAbsolutePressure() const;
    /// Density in kg/m³ at a temperature in °C; throws std::domain_error at or below absolute zero.
    double density(double temperature) const;

    bool operator==(const PhysicalModelFluidDensityIdealGas&) const = default;

private:
    double m_molecularWeight;
    double m_referencePressure;
    bool m_gaugePressure;
};

/// Any of the density models.
using PhysicalModelFluidDensity = std::variant<PhysicalModelFluidDensityConstant, PhysicalModelFluidDensityIdealGas>;
} // namespace AISystem
