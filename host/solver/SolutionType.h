#pragma once
#include <optional>
#include <string>

namespace CFDSolver
{
/// The kind of solve a solver project runs. The time-varying kinds (Transient and
/// TransientFailure) need the project's solution control to be time-varying while the exchange
/// model is built.
enum class SolutionType : int
{
    SteadyState = 1,
    Transient = 2,
    SteadyStateFlowOnly = 3,
    SteadyStateThermalOnly = 4,
    TransientFailure = 5,
};

/// True for the kinds that solve over time (2 and 5).
bool isTimeVarying(SolutionType type);
/// "SteadyState", "Transient", ...; values outside the list give "Unknown" followed by the number.
std::string solutionTypeToString(SolutionType type);
/// The solution type of a number, or nothing for a number outside the list.
std::optional<SolutionType> solutionTypeFromInt(int value);
} // namespace CFDSolver
