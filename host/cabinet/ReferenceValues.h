#pragma once

namespace EntityModel
{
class Entity;
}

namespace CabinetConstructor
{
/// Reference values of a project used where no better value is known.
class ReferenceValues
{
public:
    /// The default reference temperature in °C, used when the project gives none.
    static constexpr double defaultReferenceTemperature = 20.0;
    /// The project's reference temperature in °C: the solution control's `Reference_Temperature_t`
    /// (standard units), else 20 °C. The argument may be any entity of the project, or null.
    static double getReferenceTemperature(EntityModel::Entity* root);
};
} // namespace CabinetConstructor
