#include "host/ai/physics/PhysicalModelFluid.h"

#include <utility>

namespace AISystem
{
PhysicalModelFluid::PhysicalModelFluid(PhysicalModelFluidDensity density, PhysicalModelFluidSpecificHeat specificHeat)
    : m_density(std::move(density)), m_specificHeat(std::move(specificHeat))
{
}

PhysicalModelFluid PhysicalModelFluid::water()
{
    return {PhysicalModelFluidDensityConstant(1000.0), PhysicalModelFluidSpecificHeatConstant(4186.0)};
}

PhysicalModelFluid PhysicalModelFluid::air()
{
    return {PhysicalModelFluidDensityConstant(1.19), PhysicalModelFluidSpecificHeatConstant(1006.0)};
}

double PhysicalModelFluid::density(double temperature) const
{
    return std::visit([temperature](const auto& model) { return model.density(temperature); }, m_density);
}

double PhysicalModelFluid::specificHeat(double temperature) const
{
    return std::visit([temperature](const auto& model) { return model.specificHeat(temperature); }, m_specificHeat);
}

double PhysicalModelFluid::enthalpy(double temperature) const
{
    return std::visit([temperature](const auto& model) { return model.enthalpy(temperature); }, m_specificHeat);
}
} // namespace AISystem
