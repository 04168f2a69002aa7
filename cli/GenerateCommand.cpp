// confluxtool generate PROJECT: the exchange generation a solve starts with, run as the
// application runs it (on its own thread, reporting through a progress interface).
#include "cli/Command.h"

#include "src/exchange/ConfluxRunner.h"

#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/projectdata/ProjectStore.h"
#include "host/services/ConsoleToolProgress.h"
#include "host/solver/SolutionType.h"
#include "src/project/CurrentProject.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>

#include <unistd.h>

namespace
{
const char* usage = R"(Usage: confluxtool generate PROJECT [--store DIR] [--solution-type N]

Runs the exchange generation of a project file (JSON), as the application does before a solve:
configures the solver project's exchange control from the solution control's exchange settings,
builds the exchange model, writes its XML document and the control into the project store, wires
AI models to their linkers and fires the CFD-generation event.

Options:
  --store DIR          the solver project's store directory (made when missing); by default
                       PROJECT without its extension, followed by ".store"
  --solution-type N    1 steady state (default), 2 transient, 3 steady flow only,
                       4 steady thermal only, 5 transient failure

Progress is shown as plain lines; on a terminal the last line also shows the step under way, its
elapsed time and, while the step reports one, its position as a bar. Ctrl-C asks the run to
cancel. Exit status: 0 "Conflux generation complete"; 1 "Conflux generation failed" or
"Conflux generation cancelled"; 2 when the run reported an error (or the command line is wrong).
)";

/// The console progress of a run, remembering what the exit status depends on. Lines are written
/// as plain lines; on a terminal the last line of stderr shows the step under way with the time
/// it has taken so far, and the bar once the step reports a position, redrawn by `tick`.
class GenerateProgress : public Tools::ConsoleToolProgress
{
public:
    explicit GenerateProgress(bool terminal)
        : ConsoleToolProgress(std::cout, std::cerr, Mode::Plain), m_terminal(terminal)
    {
    }
    ~GenerateProgress() override { finished(true); }

    void message(const std::string& text) override
    {
        if (text == "Conflux generation complete")
            m_complete = true;
        const std::lock_guard lock(m_mutex);
        eraseStatus();
        ConsoleToolProgress::message(text);
        // Each informational line opens a step whose position is not known until it reports one.
        m_step = text;
        m_stepStart = Clock::now();
        m_position = -1;
        drawStatus();
    }
    void error(const std::string& text) override
    {
        m_errors = true;
        const std::lock_guard lock(m_mutex);
        eraseStatus();
        ConsoleToolProgress::error(text);
        drawStatus();
    }
    void setProgress(int position) override
    {
        const std::lock_guard lock(m_mutex);
        m_position = clampPosition(position);
        drawStatus();
    }
    void finished(bool) override
    {
        const std::lock_guard lock(m_mutex);
        eraseStatus();
        m_step.clear();
    }
    /// Redraws the status line, so that the elapsed time moves while a step reports nothing.
    void tick()
    {
        const std::lock_guard lock(m_mutex);
        drawStatus();
    }

    bool postedErrors() const { return m_errors; }
    bool complete() const { return m_complete; }

private:
    using Clock = std::chrono::steady_clock;

    void drawStatus()
    {
        if (!m_terminal || m_step.empty())
            return;
        const double seconds = std::chrono::duration<double>(Clock::now() - m_stepStart).count();
        char elapsed[32];
        std::snprintf(elapsed, sizeof elapsed, "%.1f s", seconds);
        std::cerr << '\r' << m_step << "  "
                  << (m_position >= 0 ? barText(m_position, 30) + "  " : std::string()) << elapsed
                  << "\033[K";
        std::cerr.flush();
        m_shown = true;
    }
    void eraseStatus()
    {
        if (!m_shown)
            return;
        std::cerr << "\r\033[K";
        std::cerr.flush();
        m_shown = false;
    }

    const bool m_terminal;
    std::mutex m_mutex;
    std::string m_step;
    Clock::time_point m_stepStart = Clock::now();
    int m_position = -1;
    bool m_shown = false;
    std::atomic<bool> m_errors{false};
    std::atomic<bool> m_complete{false};
};

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("generate");
    QCommandLineParser parser;
    const QCommandLineOption storeOption("store", "", "value");
    const QCommandLineOption solutionTypeOption("solution-type", "", "value");
    if (const auto status = ConfluxCli::parseArguments(self, parser, {storeOption, solutionTypeOption}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    const QStringList files = parser.positionalArguments();
    const std::string projectFile = files.front().toStdString();
    std::string store = parser.value(storeOption).toStdString();
    int solutionType = 1;
    if (parser.isSet(solutionTypeOption))
    {
        bool isNumber = false;
        solutionType = parser.value(solutionTypeOption).toInt(&isNumber);
        if (!isNumber || !CFDSolver::solutionTypeFromInt(solutionType))
            return ConfluxCli::usageError(self, "--solution-type takes 1 to 5, not '" +
                                                    parser.value(solutionTypeOption).toStdString() + "'");
    }
    if (store.empty())
    {
        const QFileInfo info(QString::fromStdString(projectFile));
        store = (info.path() + "/" + info.completeBaseName() + ".store").toStdString();
    }

    int argc = 1;
    char name[] = "confluxtool";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);

    const auto project = EntityModel::ProjectFile::load(QString::fromStdString(projectFile));
    const Conflux::CurrentProject current(project.get());

    GenerateProgress progress(::isatty(STDERR_FILENO) != 0);
    const Tools::ConsoleToolProgress::InterruptGuard interrupts(progress);
    Conflux::ConfluxRunner runner(
        &progress, store, std::string(),
        QFileInfo(QString::fromStdString(projectFile)).completeBaseName().toStdString(),
        project->getRootEntity(), static_cast<CFDSolver::SolutionType>(solutionType));
    runner.start();
    while (!runner.wait(200))
        progress.tick();

    if (progress.postedErrors())
        return 2;
    if (!progress.complete())
        return 1;
    const ProjectData::ProjectStore written(store);
    std::cout << "Exchange document: " << written.getConfluxDoc() << "\n"
              << "Exchange control:  " << written.getConfluxControlFile() << "\n";
    return 0;
}

const ConfluxCli::CommandRegistration
    registration({"generate", "run the exchange generation and write its files", usage, run});
} // namespace
