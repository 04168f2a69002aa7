#pragma once
#include "host/solver/ExchangeSession.h"

#include "host/scripting/PythonFunction.h"

#include <memory>
#include <string>

namespace CFDSolver
{
class PythonValueMapping;

/// A function of a Python controller module as the solver calls it. At the generation event and
/// at each iteration or time step it is called with one argument, a mapping from the path of every
/// value the controllers may read to its value (PythonValueMapping::lend: read as asked, a dict of
/// its own otherwise); the dict it returns (or None) is written back.
/// A returned path that does not exist, is not writable, or whose value has the wrong kind or is
/// out of range fails the call and nothing of that mapping is written. The call is bound by the
/// interpreter's time limit. The end of the solve does not call it: it cannot tell the events
/// apart, and nothing would use what it wrote.
class PythonModuleHandler : public SolveTimeHandler
{
public:
    PythonModuleHandler(std::string module, ScriptingSystem::PythonFunction function);
    ~PythonModuleHandler() override;

    const std::string& controller() const override { return m_module; }
    void call(TesseraSDK::EventType event, ExchangeSession& session) override;

private:
    std::string m_module;
    ScriptingSystem::PythonFunction m_function;
    /// The readable values of the session's model, made at the first call.
    std::unique_ptr<PythonValueMapping> m_mapping;
    const ExchangeValues* m_mapped = nullptr;
};
} // namespace CFDSolver
