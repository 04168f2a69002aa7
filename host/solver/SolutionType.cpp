#include "host/solver/SolutionType.h"

namespace CFDSolver
{
bool isTimeVarying(SolutionType type)
{
    switch (type)
    {
    case SolutionType::Transient:
    case SolutionType::TransientFailure:
        return true;
    case SolutionType::SteadyState:
    case SolutionType::SteadyStateFlowOnly:
    case SolutionType::SteadyStateThermalOnly:
        return false;
    }
    return false;
}

std::string solutionTypeToString(SolutionType type)
{
    switch (type)
    {
    case SolutionType::SteadyState:
        return "SteadyState";
    case SolutionType::Transient:
        return "Transient";
    case SolutionType::SteadyStateFlowOnly:
        return "SteadyStateFlowOnly";
    case SolutionType::SteadyStateThermalOnly:
        return "SteadyStateThermalOnly";
    case SolutionType::TransientFailure:
        return "TransientFailure";
    }
    return "Unknown" + std::to_string(static_cast<int>(type));
}

std::optional<SolutionType> solutionTypeFromInt(int value)
{
    if (value < static_cast<int>(SolutionType::SteadyState) ||
        value > static_cast<int>(SolutionType::TransientFailure))
        return std::nullopt;
    return static_cast<SolutionType>(value);
}
} // namespace CFDSolver
