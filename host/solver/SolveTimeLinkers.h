#pragma once
#include "host/solver/ConfluxEventRecords.h"

#include <memory>
#include <vector>

namespace Conflux
{
class LinkerCollection;
}

namespace CFDSolver
{
class SolveTimeHandler;

/// Loads the controller of every registered event handler, in order, from the linker it names:
/// Python modules (imported once per module, shared by their handlers), the trivial linker (which
/// does nothing). Throws std::runtime_error naming the handler, its controller and the reason
/// when one cannot be started; nothing started is kept then.
std::vector<std::shared_ptr<SolveTimeHandler>> startHandlers(const Conflux::LinkerCollection& linkers,
                                                             const std::vector<ConfluxEventHandler>& handlers);
} // namespace CFDSolver
