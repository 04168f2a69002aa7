#pragma once
// Specific-heat models of the fluids in a physical model. Enthalpies are measured from 0 °C.
#include <utility>
#include <variant>
#include <vector>

namespace AISystem
{
/// A specific heat that does not change with temperature.
class PhysicalModelFluidSpecificHeatConstant
{
public:
    /// Specific heat in J/(kg·K); throws std::invalid_argument unless finite and positive.
    explicit PhysicalModelFluidSpecificHeatConstant(double specificHeat);

    double getSpecificHeat() const { return m_specificHeat; }
    /// Specific heat in J/(kg·K) at a temperature in °C.
    double specificHeat(double temperature) const;
    /// Specific enthalpy in J/kg at a temperature in °C, relative to 0 °C.
    double enthalpy(double temperature) const;

    bool operator==(const PhysicalModelFluidSpecificHeatConstant&) const = default;

private:
    double m_specificHeat;
};

/// A specific heat given as points (temperature in °C, specific heat in J/(kg·K)) of a curve,
/// linear between points and constant beyond the first and last point.
class PhysicalModelFluidSpecificHeatTemperatureCurve
{
public:
    PhysicalModelFluidSpecificHeatTemperatureCurve() = default;
    /// Adds the points in order, as addPoint does.
    explicit PhysicalModelFluidSpecificHeatTemperatureCurve(const std::vector<std::pair<double, double>>& points);

    /// Appends a point. Throws std::runtime_error when a value is not finite or when the temperature
    /// does not increase on the previous point.
    void addPoint(double temperature, double specificHeat);
    const std::vector<std::pair<double, double>>& getPoints() const { return m_points; }

    /// Specific heat at a temperature; throws std::runtime_error for a curve without points.
    double specificHeat(double temperature) const;
    /// Specific enthalpy in J/kg relative to 0 °C: the integral of the curve from 0 °C.
    double enthalpy(double temperature) const;

    bool operator==(const PhysicalModelFluidSpecificHeatTemperatureCurve&) const = default;

private:
    double integralFromFirstPoint(double temperature) const;

    std::vector<std::pair<double, double>> m_points;
};

/// Any of the specific-heat models.
using PhysicalModelFluidSpecificHeat =
    std::variant<PhysicalModelFluidSpecificHeatConstant, PhysicalModelFluidSpecificHeatTemperatureCurve>;
} // namespace AISystem
