#pragma once
#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerBase.h"

namespace Conflux
{
/// The AI linker for projects whose AI models include a Python model: the solver must start
/// its Python interpreter before the functors run. Otherwise it is an AI linker.
class LinkerAIPythonEventHandler
    : public LinkerBase<LinkerAIPythonEventHandler, LinkerType::AIPythonEventHandler, LinkerAIEventHandler>
{
public:
    explicit LinkerAIPythonEventHandler(const AIEventHandlerOptions& options = {})
        : LinkerBase(options)
    {
    }

    /// Equal to another AI-Python linker with the same options, functors and definitions.
    bool isEqual(const LinkerAIPythonEventHandler& other) const
    {
        return LinkerAIEventHandler::isEqual(other);
    }
};
} // namespace Conflux
