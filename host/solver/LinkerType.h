#pragma once
// Conflux::LinkerType: the kinds of exchange linker a solver project's exchange control carries.
#include <optional>
#include <string>

namespace Conflux
{
/// The linker kinds; each linker class reports its value through `getType()`. 0 means that no
/// supported kind is chosen.
enum class LinkerType : int
{
    None = 0,
    TrivialEventHandler = 1,
    CSVEventHandler = 2, ///< the file parser
    AIEventHandler = 3,
    UserDefinedDLL = 4,
    PythonModule = 5,
    AIPythonEventHandler = 6,
};

/// The name of a linker kind as it appears in written controls ("CSVEventHandler", ...); values
/// outside the list give "Unknown" followed by the number.
std::string linkerTypeToString(LinkerType type);

/// The linker kind of a stored number, or nothing for a number outside the list.
std::optional<LinkerType> linkerTypeFromInt(int value);
} // namespace Conflux
