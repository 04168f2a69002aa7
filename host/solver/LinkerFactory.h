#pragma once
#include "host/solver/LinkerAbstract.h"

#include <functional>
#include <memory>

namespace Conflux
{
/// Makes an empty linker of a given kind, to be filled from a stream when a written control is
/// read. The solver's own kinds (1 to 5) are known; other libraries register theirs (kind 6 is
/// the ConfluxTool library's) before controls holding them are read.
class LinkerFactory
{
public:
    using Creator = std::function<std::unique_ptr<LinkerAbstract>()>;

    /// Registers or replaces the maker of one kind.
    static void registerLinker(LinkerType type, Creator creator);
    /// A new empty linker of `type`, or null when no maker is registered for it.
    static std::unique_ptr<LinkerAbstract> create(LinkerType type);
};
} // namespace Conflux
