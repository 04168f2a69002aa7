// `confluxtool dry-run` run as a child process, as a user runs it.
#include "tests/dryrun/DryRunTestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace DryRunTest;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
const QString samplePlant = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-plant.py");

struct CliRun
{
    int status = -1;
    bool crashed = false;
    std::string out, err;
};

CliRun confluxtool(const QStringList& arguments)
{
    // The plot's offscreen platform wants a runtime folder of its own, or says so on stderr.
    static const QTemporaryDir runtime;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains("XDG_RUNTIME_DIR"))
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(CONFLUX_CLI), QStringList{"dry-run"} + arguments);
    CliRun run;
    if (!process.waitForFinished(120000))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.status = run.crashed ? -1 : process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

/// The sample copied into `folder` with its Python module's file replaced by `controller`.
QString sampleWithController(const QTemporaryDir& folder, const std::string& controller)
{
    const QString copy = folder.filePath("sample.json");
    QFile::copy(sampleFile, copy);
    std::ofstream(folder.filePath("controller.py").toStdString()) << controller;
    return copy;
}
} // namespace

TEST(DryRunCommand, ThePythonControllerClosesTheLoopOnTheSamplePlantWithAReport)
{
    QTemporaryDir folder;
    const QString report = folder.filePath("report");
    const CliRun run = confluxtool({sampleFile, "--mode", "python", "--iterations", "50", "--plant", samplePlant,
                                    "--report", report, "--plot", QString::fromStdString(rackInlet), "--plot",
                                    QString::fromStdString(crahSupply), "--store", folder.filePath("store")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Iterations run: 50 of 50\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  controller: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Refused writes: none\nFirst failure: none\n"), std::string::npos) << run.out;
    EXPECT_TRUE(QFileInfo(report + "/plot.png").size() > 0);
    EXPECT_TRUE(QFileInfo(report + "/summary.txt").size() > 0);
    const Log log((report + "/log.csv").toStdString());
    ASSERT_EQ(log.rows.size(), 50u);
    EXPECT_NEAR(log.number(49, rackInlet), 24.0, 0.01);
    // The store named on the command line holds the generation's files.
    EXPECT_TRUE(QDir(folder.filePath("store")).exists());
}

TEST(DryRunCommand, BadInputIsNamedWithStatusTwo)
{
    QTemporaryDir folder;
    const QString trace = folder.filePath("trace.csv");
    std::ofstream(trace.toStdString()) << "Data Hall 1.Nowhere\n1\n";
    struct Case
    {
        const char* name;
        QStringList arguments;
        std::string message;
    };
    const std::vector<Case> cases{
        {"unknown mode", {sampleFile, "--mode", "solver"},
         "confluxtool dry-run: --mode takes file-parser, library or python, not 'solver'\n"},
        {"no iterations", {sampleFile, "--iterations", "0"},
         "confluxtool dry-run: --iterations takes a whole number of at least 1, not '0'\n"},
        {"trace and plant", {sampleFile, "--trace", trace, "--plant", samplePlant},
         "confluxtool dry-run: --trace and --plant both give the solver's values: give one\n"},
        {"plot without report", {sampleFile, "--plot", QString::fromStdString(rackInlet)},
         "confluxtool dry-run: --plot draws into the report: give --report DIR\n"},
        {"no project", {}, "confluxtool dry-run: a project file is needed\n"},
        {"missing project", {folder.filePath("none.json")}, "confluxtool dry-run: "},
        {"trace names nothing", {sampleFile, "--mode", "python", "--trace", trace, "--iterations", "1"},
         "confluxtool dry-run: " + trace.toStdString() +
             ": column 'Data Hall 1.Nowhere' names no value of the exchange model\n"},
        {"plot names nothing",
         {sampleFile, "--mode", "python", "--report", folder.filePath("r"), "--plot", "Data Hall 1.Nowhere"},
         "confluxtool dry-run: 'Data Hall 1.Nowhere' is no value of the exchange model\n"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const CliRun run = confluxtool(c.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.substr(0, c.message.size()), c.message) << run.err;
    }
}

TEST(DryRunCommand, AFailingControllerGivesStatusOneAndIsNamedInTheSummary)
{
    QTemporaryDir folder;
    const QString project = sampleWithController(folder, "def on_iteration(values):\n"
                                                         "    return {'" + rackInlet + "': 30.0}\n");
    const CliRun run = confluxtool({project, "--mode", "python", "--iterations", "5"});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.out.find("Iterations run: 0 of 5\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Refused writes:\n  " + rackInlet + ": User has no write access (1 time)\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("First failure: Python handler 'on_iteration' of module 'controller', iteration 0: '" +
                           rackInlet + "': User has no write access\n"),
              std::string::npos)
        << run.out;
}

TEST(DryRunCommand, TheLogSurvivesAControllerThatAbortsTheProcess)
{
    QTemporaryDir folder;
    // The generation event is the first call; iteration 5 is the sixth.
    const QString project = sampleWithController(folder, "import os\n"
                                                         "calls = 0\n"
                                                         "def on_iteration(values):\n"
                                                         "    global calls\n"
                                                         "    calls += 1\n"
                                                         "    if calls == 6:\n"
                                                         "        os.abort()\n"
                                                         "    return {'" + crahSupply + "': 15.0 + calls}\n");
    const QString logFile = folder.filePath("log.csv");
    const CliRun run = confluxtool({project, "--mode", "python", "--iterations", "10", "--log", logFile});
    EXPECT_TRUE(run.crashed);
    const Log log(logFile.toStdString());
    ASSERT_EQ(log.rows.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(log.rows[i].front().toInt(), static_cast<int>(i + 1));
        EXPECT_NEAR(log.number(i, crahSupply), 17.0 + static_cast<double>(i), 1e-6);
    }
}
