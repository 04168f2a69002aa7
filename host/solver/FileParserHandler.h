#pragma once
#include "host/solver/CSVEventHandlerOptions.h"
#include "host/solver/ExchangeSession.h"

#include <string>

namespace CFDSolver
{
/// The file-parser linker at solve time: it trades values with an outside controller through
/// comma-separated files in the exchange directory (the store's "Conflux" folder). At each
/// exchange (the iterations or time steps the sync settings choose):
///
/// 1. it writes `to-controller.csv`: a header "Iteration" and one column per number the
///    controllers may read ("PATH (UNIT)", or "PATH" without unit), then one row with the iteration
///    and the values; then, unless the state file is off, `state.txt` holding "WAITING n" (n the
///    iteration). Both files are replaced whole, never seen half-written.
/// 2. it waits for `from-controller.csv`: a header "Iteration" and one column per value to write
///    (named as above), then one row with the same iteration and the values. The file must appear
///    whole (written aside and renamed into place). It is read, checked (known, writable paths,
///    numbers in range) and removed; nothing of a refused file is written.
/// 3. at the end of the solve `state.txt` holds "END".
///
/// With sequential files (file mode 2) the names carry the iteration: `to-controller-n.csv`,
/// `from-controller-n.csv`. With full entity names the paths run from the root entity. While it
/// waits it rewrites `solver.heartbeat` (the time, ISO 8601) every heartbeat interval when the
/// heartbeat is on. An answer that does not come within the client's grace period (no limit when
/// -1) fails the exchange, naming the file waited for; an answer that cannot be parsed fails it
/// (strict), is passed over (ignore), or is waited for again, as often as the attempts allow
/// (try again).
class FileParserHandler : public SolveTimeHandler
{
public:
    /// Makes the exchange directory; throws std::runtime_error naming it when it cannot.
    explicit FileParserHandler(const Conflux::CSVEventHandlerOptions& options);

    const std::string& controller() const override { return m_name; }
    void call(TesseraSDK::EventType event, ExchangeSession& session) override;

private:
    /// The files of an exchange (n the iteration) in the directory, as the options name them.
    static std::string toControllerFile(const Conflux::CSVEventHandlerOptions& options, int iteration);
    static std::string fromControllerFile(const Conflux::CSVEventHandlerOptions& options, int iteration);
    static std::string stateFile(const Conflux::CSVEventHandlerOptions& options);

    bool exchanges(TesseraSDK::EventType event, int iteration) const;
    std::string pathOf(const ExchangeValues::Value& value) const;
    void writeValues(ExchangeSession& session) const;
    void writeState(const std::string& text) const;
    /// Waits for the answer and writes it; throws std::runtime_error on a failure.
    void readAnswer(ExchangeSession& session) const;

    std::string m_name = "file parser";
    Conflux::CSVEventHandlerOptions m_options;
};
} // namespace CFDSolver
