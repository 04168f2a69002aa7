#pragma once
#include "host/ai/physics/PhysicalModelFluidDensity.h"
#include "host/ai/physics/PhysicalModelFluidSpecificHeat.h"

namespace AISystem
{
/// A fluid of a physical model: a density model and a specific-heat model.
class PhysicalModelFluid
{
public:
    PhysicalModelFluid(PhysicalModelFluidDensity density, PhysicalModelFluidSpecificHeat specificHeat);

    /// Water at constant 1000 kg/m³ and 4186 J/(kg·K).
    static PhysicalModelFluid water();
    /// Air at constant 1.19 kg/m³ and 1006 J/(kg·K).
    static PhysicalModelFluid air();

    const PhysicalModelFluidDensity& getDensityModel() const { return m_density; }
    const PhysicalModelFluidSpecificHeat& getSpecificHeatModel() const { return m_specificHeat; }

    /// Density in kg/m³ at a temperature in °C.
    double density(double temperature) const;
    /// Specific heat in J/(kg·K) at a temperature in °C.
    double specificHeat(double temperature) const;
    /// Specific enthalpy in J/kg relative to 0 °C.
    double enthalpy(double temperature) const;

    bool operator==(const PhysicalModelFluid&) const = default;

private:
    PhysicalModelFluidDensity m_density;
    PhysicalModelFluidSpecificHeat m_specificHeat;
};
} // namespace AISystem
