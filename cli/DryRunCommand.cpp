// confluxtool dry-run PROJECT: the project's controllers at work through the solve's events, with
// a stand-in for the solver's values, without the solver.
#include "cli/Command.h"
#include "cli/CommandApplication.h"
#include "cli/DryRunPlot.h"
#include "src/project/CurrentProject.h"

#include "src/dryrun/DryRun.h"

#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/services/ConsoleToolProgress.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <unistd.h>

namespace
{
const char* usage = R"usage(Usage: confluxtool dry-run PROJECT [--mode MODE] [--iterations N]
                            [--trace FILE.csv | --plant FILE.py] [--log FILE.csv]
                            [--plot PATH]... [--report DIR] [--store DIR]
                            [--controller COMMAND]

Runs the project's exchange controllers without the solver: generates the exchange as `generate`
does, then drives the controllers through the solve's events (the generation event, one event per
iteration, the end of the solve) as the solver would, with a stand-in for the solver's values.
Active AI models take part in every mode.

Options:
  --mode MODE        the controller to try instead of the one the solution control selects:
                     file-parser, library (the user-defined library) or python (the Python module)
  --iterations N     iterations to run (default 100)
  --trace FILE.csv   the solver's values, one row per iteration; each column is named by an exchange
                     path, optionally followed by its unit in parentheses ("PATH (°C)")
  --plant FILE.py    the solver's values from a Python function plant(iteration, values): given the
                     iteration and every exchange value (a dict from path to value), it returns the
                     solver's values for the iteration as a dict from path to value
                     (without either the project's values are held)
  --log FILE.csv     the per-iteration log: every exchange value controllers read or write, and who
                     wrote it; each row is written as its iteration ends
  --plot PATH        draw this exchange value over the iterations (repeatable) into DIR/plot.png
  --report DIR       write log.csv (unless --log is given), summary.txt and the plot into DIR
  --store DIR        the solver project's store (default: a temporary directory, removed after)
  --controller COMMAND
                     an outside controller of the file parser: started once the exchange is ready,
                     with the exchange directory (the store's Conflux folder) as its last argument,
                     and stopped at the end ("python3 examples/file_controller.py")

Exchange paths are the names of the entities below the project, then the attribute's path inside
its entity, "." between names ("Data Hall 1.CRAH 1.Supply Temperature").

A progress bar is shown on a terminal; Ctrl-C stops the run at the end of the iteration under way
and keeps the log. The summary names the iterations run, the values read and written by each
controller, refused writes by path and reason, and the first failure. A failing controller ends
the run after its iteration.
Exit status: 0 when every call succeeded; 1 when a controller failed or the run was stopped;
2 for bad input (the command line, the project, the trace or plant, a controller that cannot be
loaded).
)usage";

std::string summaryText(const Conflux::DryRunSummary& summary, int iterations)
{
    std::ostringstream text;
    text << "Iterations run: " << summary.iterationsRun << " of " << iterations
         << (summary.stopped ? " (stopped)" : "") << "\n";
    text << "Values read and written per controller:\n";
    if (summary.controllers.empty())
        text << "  (none)\n";
    for (const auto& [controller, counts] : summary.controllers)
        text << "  " << controller << ": " << counts.reads << " read, " << counts.writes << " written\n";
    text << "Refused writes:";
    if (summary.refusedWrites.empty())
        text << " none\n";
    else
    {
        text << "\n";
        for (const auto& [pathAndReason, count] : summary.refusedWrites)
            text << "  " << pathAndReason.first << ": " << pathAndReason.second << " (" << count
                 << (count == 1 ? " time)\n" : " times)\n");
    }
    text << "First failure: " << (summary.firstFailure.empty() ? "none" : summary.firstFailure) << "\n";
    return text.str();
}

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("dry-run");
    QCommandLineParser parser;
    const QCommandLineOption modeOption("mode", "", "mode");
    const QCommandLineOption iterationsOption("iterations", "", "number");
    const QCommandLineOption traceOption("trace", "", "file name");
    const QCommandLineOption plantOption("plant", "", "file name");
    const QCommandLineOption logOption("log", "", "file name");
    const QCommandLineOption plotOption("plot", "", "path");
    const QCommandLineOption reportOption("report", "", "folder");
    const QCommandLineOption storeOption("store", "", "folder");
    const QCommandLineOption controllerOption("controller", "", "command");
    if (const auto status = ConfluxCli::parseArguments(self, parser,
                                                       {modeOption, iterationsOption, traceOption, plantOption,
                                                        logOption, plotOption, reportOption, storeOption,
                                                        controllerOption},
                                                       args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;

    Conflux::DryRunOptions options;
    if (parser.isSet(modeOption))
    {
        const QString mode = parser.value(modeOption);
        if (mode == "file-parser")
            options.mode = Conflux::LinkerType::CSVEventHandler;
        else if (mode == "library")
            options.mode = Conflux::LinkerType::UserDefinedDLL;
        else if (mode == "python")
            options.mode = Conflux::LinkerType::PythonModule;
        else
            return ConfluxCli::usageError(self, "--mode takes file-parser, library or python, not '" +
                                                    mode.toStdString() + "'");
    }
    if (parser.isSet(iterationsOption))
    {
        bool isNumber = false;
        options.iterations = parser.value(iterationsOption).toInt(&isNumber);
        if (!isNumber || options.iterations < 1)
            return ConfluxCli::usageError(self, "--iterations takes a whole number of at least 1, not '" +
                                                    parser.value(iterationsOption).toStdString() + "'");
    }
    if (parser.isSet(traceOption) && parser.isSet(plantOption))
        return ConfluxCli::usageError(self, "--trace and --plant both give the solver's values: give one");
    if (parser.isSet(plotOption) && !parser.isSet(reportOption))
        return ConfluxCli::usageError(self, "--plot draws into the report: give --report DIR");
    options.traceFile = parser.value(traceOption).toStdString();
    options.plantFile = parser.value(plantOption).toStdString();
    if (parser.isSet(controllerOption))
    {
        const QStringList command = QProcess::splitCommand(parser.value(controllerOption));
        if (command.isEmpty())
            return ConfluxCli::usageError(self, "--controller needs a command");
        for (const QString& part : command)
            options.controllerCommand.push_back(part.toStdString());
    }
    for (const QString& path : parser.values(plotOption))
        options.recordedPaths.push_back(path.toStdString());

    const std::string projectFile = parser.positionalArguments().front().toStdString();
    const QString reportDir = parser.value(reportOption);
    if (!reportDir.isEmpty() && !QDir().mkpath(reportDir))
        return ConfluxCli::usageError(self, "cannot make the report folder " + reportDir.toStdString());
    options.logFile = parser.isSet(logOption) ? parser.value(logOption).toStdString()
                      : reportDir.isEmpty()   ? std::string()
                                              : (reportDir + "/log.csv").toStdString();

    const std::unique_ptr<QCoreApplication> application = ConfluxCli::makeCommandApplication(!options.recordedPaths.empty());

    std::unique_ptr<EntityModel::Project> project;
    try
    {
        project = EntityModel::ProjectFile::load(QString::fromStdString(projectFile));
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool dry-run: " << error.what() << "\n";
        return 2;
    }
    const Conflux::CurrentProject current(project.get());

    QTemporaryDir scratch;
    if (parser.isSet(storeOption))
        options.storeDirectory = parser.value(storeOption).toStdString();
    else if (scratch.isValid())
        options.storeDirectory = (scratch.path() + "/dry-run.store").toStdString();
    else
    {
        std::cerr << "confluxtool dry-run: cannot make a temporary store: " << scratch.errorString().toStdString()
                  << "\n";
        return 2;
    }
    options.projectName = QFileInfo(QString::fromStdString(projectFile)).completeBaseName().toStdString();

    Tools::ConsoleToolProgress progress;
    const Tools::ConsoleToolProgress::InterruptGuard interrupts(progress);
    Conflux::DryRunSummary summary;
    try
    {
        summary = Conflux::DryRun(project->getRootEntity(), options).run(&progress);
    }
    catch (const Conflux::DryRunInputError& error)
    {
        progress.finished(false);
        std::cerr << "confluxtool dry-run: " << error.what() << "\n";
        return 2;
    }
    progress.finished(summary.succeeded());

    const std::string text = summaryText(summary, options.iterations);
    std::cout << text;
    if (!reportDir.isEmpty())
    {
        std::ofstream file((reportDir + "/summary.txt").toStdString());
        file << text;
        if (!file)
            std::cerr << "confluxtool dry-run: cannot write " << (reportDir + "/summary.txt").toStdString() << "\n";
        if (!summary.recorded.empty())
            ConfluxCli::plotDryRun(summary.recorded, reportDir + "/plot.png");
        std::cout << "Report: " << reportDir.toStdString() << "\n";
    }
    if (!options.logFile.empty())
        std::cout << "Log: " << options.logFile << "\n";
    return summary.succeeded() ? 0 : 1;
}

const ConfluxCli::CommandRegistration
    registration({"dry-run", "run the exchange controllers through a solve's events without the solver", usage, run});
} // namespace
