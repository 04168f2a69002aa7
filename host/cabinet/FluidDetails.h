#pragma once

namespace EntityModel
{
class Entity;
}

namespace CabinetConstructor
{
/// Reference values of a fluid entity.
class FluidDetails
{
public:
    /// Standard atmospheric pressure at sea level, Pa.
    static constexpr double standardPressure = 101325.0;

    /// The fluid's pressure in Pa: its `Reference_Pressure_t` (else the standard pressure), scaled
    /// by the standard atmosphere's pressure ratio at `Density_t / Altitude_t` (m) when the density
    /// is altitude based (`Density_t / Altitude_Based_t`, or an altitude without that switch).
    static double getReferencePressure(EntityModel::Entity* fluid);
    /// The fluid's nominal density (`Density_t / Nominal_Value_t`, else `Density_t / Value_t`, kg/m³)
    /// scaled by the standard-atmosphere pressure ratio at `Density_t / Altitude_t`.
    static double getDensityForAltitude(EntityModel::Entity* fluid);
    /// Pressure of the standard atmosphere at an altitude in metres (clamped at 0 above 44 km).
    static double pressureAtAltitude(double altitude);
};
} // namespace CabinetConstructor
