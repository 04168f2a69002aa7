#include "host/ai/physics/PhysicalModelFluidSpecificHeat.h"

#include <algorithm>
#include <cmath>
#include <execinfo.h>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace AISystem
{
namespace
{
// The curve's own failure text ends with a stack trace, so that a bad point found deep inside a
// fluid conversion can be traced to its caller.
std::string stackTrace()
{
    void* frames[32];
    const int count = backtrace(frames, 32);
    std::unique_ptr<char*, decltype(&std::free)> symbols(backtrace_symbols(frames, count), &std::free);
    std::string trace;
    for (int i = 0; symbols && i < count; ++i)
        trace += std::string(symbols.get()[i]) + "\n";
    return trace;
}
} // namespace

PhysicalModelFluidSpecificHeatConstant::PhysicalModelFluidSpecificHeatConstant(double specificHeat)
    : m_specificHeat(specificHeat)
{
    if (!std::isfinite(specificHeat) || specificHeat <= 0.0)
        throw std::invalid_argument("Fluid specific heat must be finite and positive, not " +
                                    std::to_string(specificHeat));
}

double PhysicalModelFluidSpecificHeatConstant::specificHeat(double) const { return m_specificHeat; }

double PhysicalModelFluidSpecificHeatConstant::enthalpy(double temperature) const
{
    return m_specificHeat * temperature;
}

PhysicalModelFluidSpecificHeatTemperatureCurve::PhysicalModelFluidSpecificHeatTemperatureCurve(
    const std::vector<std::pair<double, double>>& points)
{
    for (const auto& [temperature, specificHeat] : points)
        addPoint(temperature, specificHeat);
}

void PhysicalModelFluidSpecificHeatTemperatureCurve::addPoint(double temperature, double specificHeat)
{
    if (!std::isfinite(temperature) || !std::isfinite(specificHeat))
    {
        std::ostringstream text;
        text << "Attempt to add non-finite values (" << temperature << ", " << specificHeat << ") to Curve object\n"
             << stackTrace();
        throw std::runtime_error(text.str());
    }
    if (!m_points.empty() && !(temperature > m_points.back().first))
        throw std::runtime_error("CFDSolver: Invalid ordering in Curve object");
    m_points.emplace_back(temperature, specificHeat);
}

double PhysicalModelFluidSpecificHeatTemperatureCurve::specificHeat(double temperature) const
{
    if (m_points.empty())
        throw std::runtime_error("Specific heat temperature curve has no points");
    if (temperature <= m_points.front().first)
        return m_points.front().second;
    if (temperature >= m_points.back().first)
        return m_points.back().second;
    const auto upper = std::upper_bound(m_points.begin(), m_points.end(), temperature,
                                        [](double t, const std::pair<double, double>& p) { return t < p.first; });
    const auto lower = upper - 1;
    const double share = (temperature - lower->first) / (upper->first - lower->first);
    return lower->second + share * (upper->second - lower->second);
}

double PhysicalModelFluidSpecificHeatTemperatureCurve::integralFromFirstPoint(double temperature) const
{
    const auto& first = m_points.front();
    if (temperature <= first.first)
        return first.second * (temperature - first.first);
    double sum = 0.0;
    for (size_t i = 0; i + 1 < m_points.size(); ++i)
    {
        const auto& [x0, y0] = m_points[i];
        const auto& [x1, y1] = m_points[i + 1];
        const double u = std::min(temperature, x1) - x0;
        if (u <= 0.0)
            break;
        const double slope = (y1 - y0) / (x1 - x0);
        sum += y0 * u + 0.5 * slope * u * u;
    }
    const auto& last = m_points.back();
    if (temperature > last.first)
        sum += last.second * (temperature - last.first);
    return sum;
}

double PhysicalModelFluidSpecificHeatTemperatureCurve::enthalpy(double temperature) const
{
    if (m_points.empty())
        throw std::runtime_error("Specific heat temperature curve has no points");
    return integralFromFirstPoint(temperature) - integralFromFirstPoint(0.0);
}
} // namespace AISystem
