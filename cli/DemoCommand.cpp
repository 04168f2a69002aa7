// confluxtool demo: runs the main jobs, one after the other, on the bundled sample project.
#include "cli/BundledSample.h"
#include "cli/Command.h"

#include <QDir>
#include <QFileInfo>

#include <iostream>

namespace
{
const char* usage = R"(Usage: confluxtool demo [PROJECT]

Runs confluxtool's main jobs one after the other on the bundled sample data-centre project
(examples/sample-datacentre.json), or on PROJECT when one is given, printing what each finds:
  info      the project's entities, exchange and AI settings
  check     configuration errors of the exchange controllers and AI models
  evaluate  the project's AI model, on the project values its inputs are bound to
  generate  the exchange generation, into a store in the temporary directory
            (confluxtool-demo.store), whose files it names at the end
  dry-run   with the plant beside the project (sample-plant.py), 30 iterations of the project's
            Python controller closing the loop on the rack inlet temperature, with its report
            (log, summary, plot) in the temporary directory (confluxtool-demo-dry-run)
  train     with the sample's cases (data/ beside the project), a brief seeded training of the
            server's AI model, into a copy of the project in the temporary directory
            (confluxtool-demo-trained.json) with its report (confluxtool-demo-report)
  evaluate  the trained copy's AI model

Stops at the first job that fails and returns its status; problems that check reports, and an
AI model that evaluate cannot run (or a project with none or several), are shown and the demo
goes on.
)";

/// The jobs the demo runs, in order: each is a registered command given the project file.
const char* const jobs[] = {"info", "check", "evaluate", "generate"};

/// The arguments of a job after the project file: the demo never writes next to the project.
std::vector<std::string> jobArguments(const std::string& job)
{
    if (job == "generate")
        return {"--store", (QDir::tempPath() + "/confluxtool-demo.store").toStdString()};
    return {};
}

/// Runs a registered command with its arguments under a heading; its status, or 1 when this build
/// leaves the command out.
int runJob(const char* job, const std::vector<std::string>& arguments)
{
    const ConfluxCli::Command* command = nullptr;
    for (const auto& candidate : ConfluxCli::commands())
        if (candidate.name == job)
            command = &candidate;
    if (!command)
    {
        std::cerr << "confluxtool demo: the '" << job << "' job is not built into this confluxtool\n";
        return 1;
    }
    std::cout << "== confluxtool " << job;
    for (const std::string& argument : arguments)
        std::cout << " " << (argument.find(' ') == std::string::npos ? argument : "\"" + argument + "\"");
    std::cout << "\n\n" << std::flush;
    return command->run(arguments);
}

/// Runs the project's Python controller for a few iterations on the plant beside the project;
/// nothing when there is none.
int dryRun(const std::string& project)
{
    const QDir folder = QFileInfo(QString::fromStdString(project)).dir();
    if (!folder.exists("sample-plant.py"))
    {
        std::cout << "(no plant beside the project: the demo makes no dry run)\n\n";
        return 0;
    }
    const std::string report = (QDir::tempPath() + "/confluxtool-demo-dry-run").toStdString();
    const int status = runJob("dry-run", {project, "--mode", "python", "--iterations", "30", "--plant",
                                          folder.filePath("sample-plant.py").toStdString(), "--report", report,
                                          "--plot", "Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature",
                                          "--plot", "Data Hall 1.CRAH 1.Supply Temperature"});
    std::cout << "\n";
    return status;
}

/// Trains the sample server's AI model briefly on the cases beside the project, into a copy in the
/// temporary directory, and evaluates the copy; nothing when the project has no cases beside it.
int trainAndEvaluate(const std::string& project)
{
    const QDir data(QFileInfo(QString::fromStdString(project)).dir().filePath("data"));
    if (!data.exists("server-training.csv") || !data.exists("server-testing.csv"))
    {
        std::cout << "(no training cases in " << data.path().toStdString() << ": the demo trains nothing)\n";
        return 0;
    }
    const std::string trained = (QDir::tempPath() + "/confluxtool-demo-trained.json").toStdString();
    const std::string report = (QDir::tempPath() + "/confluxtool-demo-report").toStdString();
    if (const int status = runJob("train", {project, "--equipment", "Server A01-1", "--data",
                                            data.filePath("server-training.csv").toStdString(), "--test",
                                            data.filePath("server-testing.csv").toStdString(), "--iterations",
                                            "300", "--seed", "1", "-o", trained, "--report", report});
        status != 0)
        return status;
    std::cout << "\nThe trained project is " << trained << ", its report (plots, data with results) in "
              << report << "\n\n";
    bool evaluates = false;
    for (const auto& candidate : ConfluxCli::commands())
        evaluates = evaluates || candidate.name == "evaluate";
    if (!evaluates)
        return 0;
    return runJob("evaluate", {trained, "--model", "Server A01-1"});
}

/// Whether the demo goes on after the job ended with this status: check's status 1 reports findings
/// about the project, and evaluate's failures concern one AI model, not the jobs after it.
bool goesOnAfter(const std::string& job, int status)
{
    return (job == "check" && status == 1) || job == "evaluate";
}

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("demo");
    QCommandLineParser parser;
    if (const auto status = ConfluxCli::parseArguments(self, parser, {}, args))
        return *status;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return ConfluxCli::usageError(self, "at most one project file is taken");
    const std::string project = files.isEmpty() ? ConfluxCli::bundledSample() : files.front().toStdString();
    if (project.empty())
    {
        std::cerr << "confluxtool demo: the bundled sample project is not installed beside confluxtool\n";
        return 1;
    }

    for (const char* job : jobs)
    {
        const ConfluxCli::Command* command = nullptr;
        for (const auto& candidate : ConfluxCli::commands())
            if (candidate.name == job)
                command = &candidate;
        if (!command) // a job whose command this build leaves out
        {
            std::cerr << "confluxtool demo: the '" << job << "' job is not built into this confluxtool\n";
            return 1;
        }
        std::vector<std::string> arguments{project};
        for (const std::string& argument : jobArguments(job))
            arguments.push_back(argument);
        std::cout << "== confluxtool " << job;
        for (const std::string& argument : arguments)
            std::cout << " " << argument;
        std::cout << "\n\n" << std::flush;
        if (const int status = command->run(arguments); status != 0)
        {
            if (!goesOnAfter(job, status))
                return status;
            std::cout << "(the demo goes on despite these problems)\n";
        }
        std::cout << "\n";
    }
    if (const int status = dryRun(project); status != 0)
        return status;
    return trainAndEvaluate(project);
}

const ConfluxCli::CommandRegistration registration({"demo", "run the main jobs on the bundled sample project",
                                                    usage, run});
} // namespace
