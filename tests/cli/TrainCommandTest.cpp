// confluxtool train, run as the program it is: statuses, messages, files and the trained project.
#include "src/ai/definition/AIModuleGenerator.h"

#include "host/ai/modules/Module.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>

namespace
{
const QString sample = CONFLUX_EXAMPLES_DIR "/sample-datacentre.json";
const QString serverTraining = CONFLUX_EXAMPLES_DIR "/data/server-training.csv";
const QString serverTesting = CONFLUX_EXAMPLES_DIR "/data/server-testing.csv";

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

Outcome confluxtool(const QStringList& arguments)
{
    QProcess process;
    process.start(CONFLUXTOOL_PROGRAM, arguments);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

/// Brief, seeded training settings that the tests share.
QStringList brief(int iterations = 40)
{
    return {"--iterations", QString::number(iterations), "--hidden", "8", "--seed", "3", "--target-rms", "0"};
}

std::string readText(const QString& file)
{
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const QString& file, const std::string& text)
{
    std::ofstream(file.toStdString(), std::ios::binary) << text;
}

/// A copy of the sample in a temporary folder (with the controller script the project names).
QString copySample(const QTemporaryDir& dir)
{
    const QString copy = dir.filePath("sample.json");
    QFile::copy(sample, copy);
    QFile::copy(CONFLUX_EXAMPLES_DIR "/controller.py", dir.filePath("controller.py"));
    return copy;
}

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "ConfluxCliTests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

/// A trained project's AI model as the solver gets it, plain (without scaling).
struct Trained
{
    explicit Trained(const QString& file, const std::string& model = "Server A01-1 Surrogate")
        : project(EntityModel::ProjectFile::load(file))
    {
        std::vector<EntityModel::Entity*> found;
        project->getRootEntity()->getOwnedChildEntities(
            found, true, true, [&model](EntityModel::Entity* e) { return e->getName() == model; });
        if (found.empty())
            throw std::runtime_error("no AI model " + model);
        entity = found.front();
    }
    AISystem::Module module() const { return Conflux::AIModuleGenerator::generate(entity); }
    std::unique_ptr<EntityModel::Project> project;
    EntityModel::Entity* entity = nullptr;
};

/// The size of the energy imbalance (W) of a module's physical model over the cases of a file, taking the
/// outputs from the network, or from the file's targets.
double energyImbalance(const AISystem::Module& withPhysics, const QString& file, int inputs,
                       const AISystem::Module* network)
{
    const auto cases = AISystem::TensorWithHeaders::fromCSVFile(file.toStdString(),
                                                                AISystem::TensorElementType::Double, true);
    const AISystem::Tensor& table = cases.getTensor();
    const AISystem::Tensor in = table.slice(1, 0, inputs, 1);
    const AISystem::Tensor out =
        network ? network->eval(in) : table.slice(1, inputs, table.getDimensionSize(1) - inputs, 1);
    const auto imbalance = withPhysics.calcImbalanceResults(in, out);
    return imbalance ? std::abs(imbalance->energy) : NAN;
}
} // namespace

TEST(TrainCommand, BadInputIsRefusedWithStatusTwoAndTheProjectUntouched)
{
    QTemporaryDir dir;
    const QString project = copySample(dir);
    const std::string before = readText(project);
    const std::string header =
        "Input: Server A01-1:Power.Power Definition.Typical Power (W),Input: Server A01-1 "
        "Inlet:Simulation Results.Temperature Net.Mean Temperature Net (°C),Target: Server "
        "A01-1 Exhaust:Temperature (°C),Target: Server A01-1 Exhaust:Flow Rate (m³/s)\n";
    writeText(dir.filePath("word.csv"), header + "650,24,40,0.05\n650,warm,40,0.05\n");
    writeText(dir.filePath("nan.csv"), header + "650,24,40,0.05\n650,nan,40,0.05\n");
    writeText(dir.filePath("short.csv"), header + "650,24,40,0.05\n650,24,40\n");
    writeText(dir.filePath("empty.csv"), header);
    writeText(dir.filePath("unbound.csv"), "power,inlet\n650,24\n");
    writeText(dir.filePath("nobody.csv"),
              "Input: Server Z9:Power.Power Definition.Typical Power,Target: Server A01-1 "
              "Exhaust:Temperature\n650,40\n");
    writeText(dir.filePath("fewer.csv"),
              "Input: Server A01-1:Power.Power Definition.Typical Power (W),Target: "
              "Server A01-1 Exhaust:Temperature (°C)\n650,40\n");
    struct Row
    {
        QStringList arguments;
        std::string message;
    };
    const QString equipment = "Server A01-1";
    const Row rows[] = {
        {{"--equipment", "Nope", "--data", serverTraining},
         "the project has no IT equipment or CDU named 'Nope'"},
        {{"--equipment", "Rack A01", "--data", serverTraining},
         "the project has no IT equipment or CDU named 'Rack A01'"},
        {{"--equipment", equipment, "--data", dir.filePath("word.csv")}, "line 3"},
        {{"--equipment", equipment, "--data", dir.filePath("nan.csv")},
         dir.filePath("nan.csv").toStdString() +
             ", line 3, column 2 ('Input: Server A01-1 Inlet:Simulation "
             "Results.Temperature Net.Mean Temperature Net (°C)'): the value is "
             "not finite"},
        {{"--equipment", equipment, "--data", dir.filePath("short.csv")}, "line 3"},
        {{"--equipment", equipment, "--data", dir.filePath("empty.csv")},
         dir.filePath("empty.csv").toStdString() + ": no cases"},
        {{"--equipment", equipment, "--data", dir.filePath("unbound.csv")}, "the headers bind nothing"},
        {{"--equipment", equipment, "--data", dir.filePath("nobody.csv")},
         "column 'Input: Server Z9:Power.Power Definition.Typical Power' binds nothing: the project has no "
         "entity "
         "named 'Server Z9'"},
        {{"--equipment", equipment, "--data", serverTraining, "--test", dir.filePath("fewer.csv")},
         "its input and target columns differ from"},
        {{"--equipment", equipment, "--data", serverTraining, "--weights", "1,2,3"},
         "--weights gives 3 weights for 2 outputs"},
        {{"--equipment", equipment, "--data", serverTraining, "--type", "informed", "--hidden", "0"},
         "--hidden takes a list of whole numbers above 0"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Outcome run = confluxtool(QStringList{"train", project} + brief(2) + row.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_TRUE(readText(project) == before) << "the project file changed";
    }
}

TEST(TrainCommand, ASeededRunGivesTheSameNetworkTwice)
{
    QTemporaryDir dir;
    for (const char* out : {"first.json", "second.json"})
    {
        const Outcome run = confluxtool(QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                    serverTraining, "-o", dir.filePath(out)} +
                                        brief());
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("Network Type : PhysicsInformed"), std::string::npos) << run.out;
    }
    EXPECT_EQ(readText(dir.filePath("first.json")), readText(dir.filePath("second.json")));
    EXPECT_NE(readText(dir.filePath("first.json")), readText(sample));
}

TEST(TrainCommand, PhysicsInformedTrainingKeepsTheEnergyBalanceBetterThanGeneric)
{
    app();
    QTemporaryDir dir;
    for (const char* type : {"informed", "generic"})
    {
        const Outcome run =
            confluxtool(QStringList{"train", sample, "--equipment", "Server A01-1", "--data", serverTraining,
                                    "--type", type, "-o", dir.filePath(QString(type) + ".json")} +
                        brief(150));
        ASSERT_EQ(run.status, 0) << run.err;
    }
    const Trained informed(dir.filePath("informed.json"));
    const Trained generic(dir.filePath("generic.json"));
    const AISystem::Module physics = informed.module();
    ASSERT_TRUE(physics.canCalcImbalanceResults());
    const AISystem::Module genericNetwork = generic.module();
    EXPECT_LT(energyImbalance(physics, serverTesting, 2, &physics),
              energyImbalance(physics, serverTesting, 2, &genericNetwork));
    // The bundled cases themselves keep the balance that the trainer's physical model states.
    EXPECT_LT(energyImbalance(physics, serverTesting, 2, nullptr), 0.01);
}

TEST(TrainCommand, CtrlCKeepsTheNetworkTrainedSoFar)
{
    app();
    QTemporaryDir dir;
    QProcess process;
    process.start(CONFLUXTOOL_PROGRAM, QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                   serverTraining, "-o", dir.filePath("stopped.json")} +
                                           brief(1000000));
    ASSERT_TRUE(process.waitForStarted());
    std::string out;
    while (out.find("Iteration 0 RMS Error") == std::string::npos && process.waitForReadyRead(60000))
        out += process.readAllStandardOutput().toStdString();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(120000));
    out += process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_NE(out.find("Cancelled after "), std::string::npos) << out;
    const Trained stopped(dir.filePath("stopped.json"));
    const AISystem::Tensor answer = stopped.module().eval(AISystem::Tensor::fromRows({{650.0, 24.0}}));
    EXPECT_TRUE(std::isfinite(answer.getDouble(0)) && std::isfinite(answer.getDouble(1)));
}

TEST(TrainCommand, ContinuesTheStoredNetworkOnlyWhenItFits)
{
    app();
    QTemporaryDir dir;
    const QString project = dir.filePath("trained.json");
    const QStringList common{"--equipment", "Server A01-1", "--data", serverTraining, "--type", "generic"};
    ASSERT_EQ(confluxtool(QStringList{"train", sample, "-o", project} + common + brief(20)).status, 0);
    const double first =
        std::stod(readText(project).substr(readText(project).find("Training RMS Error ") + 19));
    const Outcome continued = confluxtool(QStringList{"train", project, "--continue"} + common + brief(40));
    ASSERT_EQ(continued.status, 0) << continued.err;
    const double second =
        std::stod(readText(project).substr(readText(project).find("Training RMS Error ") + 19));
    EXPECT_LT(second, first);

    const std::string before = readText(project);
    const Outcome misfit = confluxtool(QStringList{"train", project, "--continue", "--hidden", "4,4"} +
                                       common + QStringList{"--seed", "1"});
    EXPECT_EQ(misfit.status, 2);
    EXPECT_NE(misfit.err.find("Unable to continue training"), std::string::npos) << misfit.err;
    EXPECT_EQ(readText(project), before);
}

TEST(TrainCommand, ACDUIsSwitchedToAnAIModelBoundToTheColumnsAndReported)
{
    app();
    QTemporaryDir dir;
    const QString project = dir.filePath("cdu.json");
    const Outcome run = confluxtool(QStringList{"train", sample, "--equipment", "CDU 1", "--data",
                                                CONFLUX_EXAMPLES_DIR "/data/cdu-training.csv", "--test",
                                                CONFLUX_EXAMPLES_DIR "/data/cdu-testing.csv", "-o", project,
                                                "--report", dir.filePath("report")} +
                                    brief(20));
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* file : {"training.csv", "testing.csv", "regression-test.json", "regression-test.ai",
                             "regression-test.train.csv", "regression-test.test.csv", "rms-error.png",
                             "fit-1.png", "fit-2.png", "fit-3.png"})
        EXPECT_TRUE(QFile::exists(dir.filePath("report/") + file)) << file;
    const auto project_ = EntityModel::ProjectFile::load(project);
    std::vector<EntityModel::Entity*> cdus;
    project_->getRootEntity()->getOwnedChildEntities(
        cdus, true, true, [](EntityModel::Entity* e) { return e->getName() == "CDU 1"; });
    ASSERT_EQ(cdus.size(), 1u);
    EXPECT_EQ(EntityModel::getTypeValue(cdus[0], "Cooling.Modelling Level").getLabel(), "AI Model");
    EntityModel::Entity* model = EntityModel::getLinkedEntity(cdus[0], "AIModelLink");
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(Conflux::AIModuleGenerator::findValueList(model, true)->childCount(), 4u);
    EXPECT_EQ(Conflux::AIModuleGenerator::findValueList(model, false)->childCount(), 3u);
    EXPECT_NE(run.out.find("Training a physics-informed network for 'CDU 1'"), std::string::npos) << run.out;
    const AISystem::Module physics = Conflux::AIModuleGenerator::generate(model);
    ASSERT_TRUE(physics.canCalcImbalanceResults());
    EXPECT_LT(energyImbalance(physics, CONFLUX_EXAMPLES_DIR "/data/cdu-testing.csv", 4, nullptr), 0.1);
}
