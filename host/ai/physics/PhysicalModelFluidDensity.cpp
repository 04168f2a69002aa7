#include "host/ai/physics/PhysicalModelFluidDensity.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace AISystem
{
namespace
{
constexpr double ZeroCelsius = 273.15;
}

PhysicalModelFluidDensityConstant::PhysicalModelFluidDensityConstant(double density) : m_density(density)
{
    if (!std::isfinite(density) || density <= 0.0)
        throw std::invalid_argument("Fluid density must be finite and positive, not " + std::to_string(density));
}

double PhysicalModelFluidDensityConstant::density(double) const { return m_density; }

PhysicalModelFluidDensityIdealGas::PhysicalModelFluidDensityIdealGas(double molecularWeight, double referencePressure,
                                                                     bool gaugePressure)
    : m_molecularWeight(molecularWeight), m_referencePressure(referencePressure), m_gaugePressure(gaugePressure)
{
    if (!std::isfinite(molecularWeight) || molecularWeight <= 0.0)
        throw std::invalid_argument("Ideal gas molecular weight must be finite and positive, not " +
                                    std::to_string(molecularWeight));
    const double pressure = getAbsolutePressure();
    if (!std::isfinite(pressure) || pressure <= 0.0)
        throw std::invalid_argument("Ideal gas absolute pressure must be finite and positive, not " +
                                    std::to_string(pressure));
}

double PhysicalModelFluidDensityIdealGas::getAbsolutePressure() const
{
    return m_gaugePressure ? m_referencePressure + StandardAtmosphere : m_referencePressure;
}

double PhysicalModelFluidDensityIdealGas::density(double temperature) const
{
    const double absolute = temperature + ZeroCelsius;
    if (!(absolute > 0.0))
        throw std::domain_error("Ideal gas density asked for at " + std::to_string(temperature) +
                                " °C, at or below absolute zero");
    return getAbsolutePressure() * m_molecularWeight / (GasConstant * absolute);
}
} // namespace AISystem
