#pragma once
#include "host/solver/LinkerType.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace EntityModel
{
class Entity;
}

namespace Tools
{
class ToolProgress;
}

namespace Conflux
{
/// What a dry run is asked to do.
struct DryRunOptions
{
    /// The controller to run in place of the one the solution control selects: CSVEventHandler,
    /// UserDefinedDLL or PythonModule; nothing keeps the project's choice.
    std::optional<LinkerType> mode;
    int iterations = 100;
    /// Where the solver's values come from: held at the project's values when both are empty.
    std::string traceFile; ///< one row per iteration, columns "PATH" or "PATH (UNIT)"
    std::string plantFile; ///< a Python file defining plant(iteration, values)
    /// The per-iteration log (comma-separated, one row per iteration, flushed row by row); none when empty.
    std::string logFile;
    /// The solver project's store (made when missing) and the project's name in it.
    std::string storeDirectory;
    std::string projectName;
    /// An outside controller of the file parser, started (with the exchange directory as its last
    /// argument) once the exchange is ready and stopped at the end: the program, then its arguments.
    std::vector<std::string> controllerCommand;
    /// Paths whose values the result keeps for every iteration (for plots).
    std::vector<std::string> recordedPaths;
};

/// Bad input found before the first event: a mode the project cannot run, a trace or plant file
/// that does not fit, a controller that cannot be loaded, a generation that fails.
class DryRunInputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// What a dry run did.
struct DryRunSummary
{
    struct Counts
    {
        std::uint64_t reads = 0;
        std::uint64_t writes = 0;
    };
    int iterationsRun = 0;
    /// Reads and writes per controller ("solver" for the trace's or plant's values).
    std::map<std::string, Counts> controllers;
    /// Refused writes by path and reason, with how often each happened.
    std::map<std::pair<std::string, std::string>, int> refusedWrites;
    /// The first controller failure; empty when every call succeeded.
    std::string firstFailure;
    /// Stopped on request (the progress was cancelled) before the last iteration.
    bool stopped = false;
    /// Wall-clock seconds the iterations took (the solver's values, the events, the log), without
    /// the generation and the controllers' loading.
    double secondsIterating = 0.0;
    /// The values of `DryRunOptions::recordedPaths`, one entry per iteration run.
    std::map<std::string, std::vector<double>> recorded;

    bool succeeded() const { return firstFailure.empty() && !stopped; }
};

/// A dry run of a project's exchange: the generation as a solve starts it, then the controllers
/// driven through the solve's events (the generation event, one per iteration, the end) with a
/// stand-in for the solver's values, as the solver's exchange control runs them. Active AI models
/// take part in every mode.
///
/// The project must be the editor's current one; the run edits nothing of it for good (a chosen
/// mode is put back). A failing controller ends the run after the iteration it failed in.
class DryRun
{
public:
    DryRun(EntityModel::Entity* root, DryRunOptions options);
    ~DryRun();
    DryRun(const DryRun&) = delete;
    DryRun& operator=(const DryRun&) = delete;

    /// Runs; `progress` (may be null) receives the position and is asked at the end of every
    /// iteration whether to stop. Throws DryRunInputError for bad input found before the first
    /// event; controller failures and a stop are in the summary.
    DryRunSummary run(Tools::ToolProgress* progress);

private:
    class Session;
    EntityModel::Entity* m_root;
    DryRunOptions m_options;
};
} // namespace Conflux
