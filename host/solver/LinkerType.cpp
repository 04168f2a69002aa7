#include "host/solver/LinkerType.h"

namespace Conflux
{
std::string linkerTypeToString(LinkerType type)
{
    switch (type)
    {
    case LinkerType::None:
        return "None";
    case LinkerType::TrivialEventHandler:
        return "TrivialEventHandler";
    case LinkerType::CSVEventHandler:
        return "CSVEventHandler";
    case LinkerType::AIEventHandler:
        return "AIEventHandler";
    case LinkerType::UserDefinedDLL:
        return "UserDefinedDLL";
    case LinkerType::PythonModule:
        return "PythonModule";
    case LinkerType::AIPythonEventHandler:
        return "AIPythonEventHandler";
    }
    return "Unknown" + std::to_string(static_cast<int>(type));
}

std::optional<LinkerType> linkerTypeFromInt(int value)
{
    if (value < static_cast<int>(LinkerType::None) ||
        value > static_cast<int>(LinkerType::AIPythonEventHandler))
        return std::nullopt;
    return static_cast<LinkerType>(value);
}
} // namespace Conflux
