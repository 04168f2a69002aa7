#pragma once
#include "host/solver/ExchangeSession.h"

#include "src/model/sdk/Controller.h"

#include <QLibrary>

#include <string>

namespace Conflux
{
class LinkerUserDefinedDLL;
}

namespace CFDSolver
{
/// An event handler of a user-defined controller library (see src/model/sdk/Controller.h), loaded
/// with QLibrary from the library's file for this platform and called at every event with the
/// event and the root of the exchange model. The controller's SDK reads and writes are counted,
/// range-checked and their refusals recorded in the session; a non-zero return fails the call.
class UserLibraryHandler : public SolveTimeHandler
{
public:
    /// Loads the library and resolves the handler; throws std::runtime_error naming the file and
    /// the reason (no file for this platform, a file that does not exist or cannot be loaded, one
    /// built for another architecture, a missing handler).
    UserLibraryHandler(const Conflux::LinkerUserDefinedDLL& linker, const std::string& handler);
    ~UserLibraryHandler() override;

    const std::string& controller() const override { return m_name; }
    void call(TesseraSDK::EventType event, ExchangeSession& session) override;

private:
    std::string m_name;
    std::string m_handlerName;
    std::string m_file;
    QLibrary m_library;
    TesseraSDK::ControllerEventHandler m_handler = nullptr;
};
} // namespace CFDSolver
