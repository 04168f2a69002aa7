#include "host/cabinet/FluidDetails.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

#include <cmath>

namespace CabinetConstructor
{
double FluidDetails::pressureAtAltitude(double altitude)
{
    // Standard atmosphere, troposphere formula; the base is kept non-negative far above it.
    double base = 1.0 - 2.25577e-5 * altitude;
    return base <= 0.0 ? 0.0 : standardPressure * std::pow(base, 5.25588);
}

double FluidDetails::getReferencePressure(EntityModel::Entity* fluid)
{
    using namespace EntityModel;
    double base = fluid && fluid->findAttribute(Reference_Pressure_t)
                      ? getStandardDoubleValue(fluid, Reference_Pressure_t, standardPressure)
                      : standardPressure;
    // Without the switch, an altitude on its own means the fluid is at that altitude.
    bool altitudeBased = fluid && fluid->findAttribute(Density_t / Altitude_Based_t)
                             ? getBoolValue(fluid, Density_t / Altitude_Based_t, false)
                             : fluid && fluid->findAttribute(Density_t / Altitude_t);
    if (!altitudeBased)
        return base;
    return base * pressureAtAltitude(getStandardDoubleValue(fluid, Density_t / Altitude_t, 0.0)) /
           standardPressure;
}

double FluidDetails::getDensityForAltitude(EntityModel::Entity* fluid)
{
    using namespace EntityModel;
    double nominal = fluid && fluid->findAttribute(Density_t / Nominal_Value_t)
                         ? getStandardDoubleValue(fluid, Density_t / Nominal_Value_t, 0.0)
                         : getStandardDoubleValue(fluid, Density_t / Value_t, 0.0);
    double altitude = getStandardDoubleValue(fluid, Density_t / Altitude_t, 0.0);
    return nominal * pressureAtAltitude(altitude) / standardPressure;
}
} // namespace CabinetConstructor
