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
         "--hidden takes a list of whole numbers from 1 to 10000, such as 32,32, not '0'"},
        {{"--equipment", equipment, "--data", serverTraining, "--hidden", "3000000000"},
         "--hidden takes a list of whole numbers from 1 to 10000, such as 32,32, not '3000000000'"},
        {{"--equipment", equipment, "--data", serverTraining, "--weights", "-1,1"},
         "--weights takes a list of finite numbers not below 0, such as 1,2, not '-1,1' ('-1')"},
        {{"--equipment", equipment, "--data", serverTraining, "--weights", "nan,1"},
         "--weights takes a list of finite numbers not below 0, such as 1,2, not 'nan,1' ('nan')"},
        {{"--equipment", equipment, "--data", serverTraining, "--weights", "0,0"},
         "--weights: at least one weight must be above 0, not '0,0'"},
        {{"--equipment", equipment, "--data", serverTraining, "--iterations", "99999999999"},
         "--iterations takes a whole number from 1 to 2147483647, not '99999999999'"},
        {{"--equipment", equipment, "--data", serverTraining, "--learning-rate", "0.5"},
         "--learning-rate is Adam's step size: L-BFGS chooses its steps by its line search; add --optimizer "
         "adam to use it"},
        {{"--equipment", equipment, "--data", serverTraining, "--optimizer", "sgd"},
         "--optimizer takes lbfgs or adam, not 'sgd'"},
        {{"--equipment", equipment, "--data", serverTraining, "--optimizer", "adam", "--learning-rate", "inf"},
         "--learning-rate takes a number above 0, not 'inf'"},
        {{"--equipment", equipment, "--data", serverTraining, "--continue", "--float"},
         "--continue trains the stored network as it is; --hidden asks for another one (train without "
         "--continue for a new network)"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Outcome run = confluxtool(QStringList{"train", project} + brief(2) + row.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_TRUE(readText(project) == before) << "the project file changed";
    }
    // The layer options, which exclude --hidden.
    for (const auto& [arguments, message] :
         {std::pair{QStringList{"--layers", "101"}, std::string("--layers takes a whole number from 0 to 100, not '101'")},
          std::pair{QStringList{"--nodes", "20000"},
                    std::string("--nodes takes a whole number from 1 to 10000, not '20000'")}})
    {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome run = confluxtool(QStringList{"train", project, "--equipment", equipment, "--data",
                                                    serverTraining, "--iterations", "2"} +
                                        arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
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
    const QStringList common{"--equipment", "Server A01-1", "--data", serverTraining};
    ASSERT_EQ(confluxtool(QStringList{"train", sample, "-o", project, "--type", "generic"} + common + brief(20)).status,
              0);
    const double first =
        std::stod(readText(project).substr(readText(project).find("Training RMS Error ") + 19));
    // The stored network's shape and type are kept.
    const Outcome continued = confluxtool(QStringList{"train", project, "--continue", "--iterations", "40", "--seed",
                                                      "3", "--target-rms", "0"} +
                                          common);
    ASSERT_EQ(continued.status, 0) << continued.err;
    const double second =
        std::stod(readText(project).substr(readText(project).find("Training RMS Error ") + 19));
    EXPECT_LT(second, first);

    const std::string before = readText(project);
    const Outcome misfit = confluxtool(QStringList{"train", project, "--continue", "--hidden", "4,4"} +
                                       common + QStringList{"--seed", "1"});
    EXPECT_EQ(misfit.status, 2);
    EXPECT_NE(misfit.err.find("--continue trains the stored network as it is; --hidden asks for another one"),
              std::string::npos)
        << misfit.err;
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

TEST(TrainCommand, TheLearningRateActsOnAdamAndTheOptimiserIsNamed)
{
    QTemporaryDir dir;
    std::vector<std::string> projects;
    for (const char* rate : {"0.01", "0.5"})
    {
        const QString out = dir.filePath(QString("adam-%1.json").arg(rate));
        const Outcome run = confluxtool(QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                    serverTraining, "--optimizer", "adam", "--learning-rate", rate,
                                                    "-o", out} +
                                        brief(10));
        ASSERT_EQ(run.status, 0) << run.err;
        projects.push_back(readText(out));
    }
    EXPECT_NE(projects[0], projects[1]);
    // The default, L-BFGS, is another run again.
    const Outcome lbfgs = confluxtool(QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                  serverTraining, "-o", dir.filePath("lbfgs.json")} +
                                      brief(10));
    ASSERT_EQ(lbfgs.status, 0) << lbfgs.err;
    EXPECT_NE(readText(dir.filePath("lbfgs.json")), projects[0]);
    const Outcome help = confluxtool({"train", "--help"});
    EXPECT_NE(help.out.find("--optimizer NAME       lbfgs (default)"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("--learning-rate X      Adam's step size"), std::string::npos) << help.out;
}

TEST(TrainCommand, ContinuingKeepsWhatTheStoredNetworkTakesAndRefusesOtherColumns)
{
    app();
    QTemporaryDir dir;
    // The sample's network takes (T - 24) / 5 on its second input. One tiny Adam step on from there
    // leaves it answering as the sample's model does.
    const QString project = dir.filePath("continued.json");
    const Outcome run = confluxtool({"train", sample, "--equipment", "Server A01-1", "--data", serverTraining,
                                     "--continue", "--optimizer", "adam", "--learning-rate", "1e-9",
                                     "--iterations", "1", "-o", project});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("input 2 'Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature "
                           "Net': scaling Mean Std Dev removed (folded into the network)"),
              std::string::npos)
        << run.out;
    const Trained before(sample);
    const Trained after(project);
    const AISystem::Tensor cases = AISystem::Tensor::fromRows({{650.0, 24.0}, {300.0, 18.0}, {900.0, 33.0}});
    const AISystem::Tensor expected = Conflux::AIModuleGenerator::generateTranformed(before.entity).eval(cases);
    const AISystem::Tensor answered = Conflux::AIModuleGenerator::generateTranformed(after.entity).eval(cases);
    for (std::int64_t i = 0; i < expected.getElementCount(); ++i)
        EXPECT_NEAR(answered.getDouble(i), expected.getDouble(i), 1e-4 * (1.0 + std::abs(expected.getDouble(i))))
            << i;

    // Columns that bind the inputs in another order are another network's.
    const auto table = AISystem::TensorWithHeaders::fromCSVFile(serverTraining.toStdString(),
                                                                AISystem::TensorElementType::Double, true);
    const auto& headers = table.getHeaders();
    std::string swapped = headers[1] + "," + headers[0];
    for (std::size_t c = 2; c < headers.size(); ++c)
        swapped += "," + headers[c];
    swapped += "\n24,650";
    for (std::size_t c = 2; c < headers.size(); ++c)
        swapped += "," + std::to_string(table.getTensor().at(0, static_cast<std::int64_t>(c)));
    writeText(dir.filePath("swapped.csv"), swapped + "\n");
    const std::string kept = readText(project);
    const Outcome refused = confluxtool({"train", project, "--equipment", "Server A01-1", "--data",
                                         dir.filePath("swapped.csv"), "--continue"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--continue: Unable to continue training: input 1 is bound to 'Server A01-1 "
                               "Inlet:Simulation Results.Temperature Net.Mean Temperature Net', the network "
                               "was trained on 'Server A01-1:Power.Power Definition.Typical Power' (train "
                               "without --continue for a new network)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(readText(project), kept);
}

TEST(TrainCommand, ANonStandardModelUnitIsResetWithALineSayingSo)
{
    app();
    QTemporaryDir dir;
    const QString project = dir.filePath("fahrenheit.json");
    {
        const auto loaded = EntityModel::ProjectFile::load(sample);
        std::vector<EntityModel::Entity*> found;
        loaded->getRootEntity()->getOwnedChildEntities(
            found, true, true, [](EntityModel::Entity* e) { return e->getName() == "Server A01-1 Surrogate"; });
        auto* value = static_cast<EntityModel::CompositeAttribute*>(
            Conflux::AIModuleGenerator::findValueList(found.front(), true)->getChild(1));
        ASSERT_EQ(EntityModel::getStringValue(value, "Model Unit"), "°C");
        ASSERT_TRUE(EntityModel::EntityEditor::setValueNoThrow(value, "Model Unit", std::string("°F")));
        EntityModel::ProjectFile::save(*loaded, project);
    }
    const Outcome run = confluxtool(QStringList{"train", project, "--equipment", "Server A01-1", "--data",
                                                serverTraining} +
                                    brief(5));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("input 2 'Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature "
                           "Net': Model Unit °F reset to the standard unit °C\n"),
              std::string::npos)
        << run.out;
    // The solver's view of the model is the network itself: no conversion is left between them.
    const Trained trained(project);
    const AISystem::Tensor cases = AISystem::Tensor::fromRows({{650.0, 24.0}, {300.0, 18.0}});
    EXPECT_EQ(Conflux::AIModuleGenerator::generateTranformed(trained.entity).eval(cases),
              trained.module().eval(cases));
}

TEST(TrainCommand, AReportThatCannotBeWrittenKeepsTheTrainingAndListsOnlyWhatItWrote)
{
    app();
    QTemporaryDir dir;
    writeText(dir.filePath("occupied"), "a file where the report folder would go");
    const QString out = dir.filePath("kept.json");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    process.setProcessEnvironment(environment);
    process.start(CONFLUXTOOL_PROGRAM, QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                   serverTraining, "-o", out, "--report", dir.filePath("occupied")} +
                                           brief(5));
    ASSERT_TRUE(process.waitForFinished(300000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << err;
    EXPECT_EQ(err, "confluxtool train: warning: the report was not written in full: cannot make the report folder " +
                       dir.filePath("occupied").toStdString() + "; the trained network is saved in " +
                       out.toStdString() + "\n");
    EXPECT_NE(readText(out).find("Training RMS Error"), std::string::npos);

    // Without testing cases there is no testing file, and the report does not name one.
    const Outcome report = confluxtool(QStringList{"train", sample, "--equipment", "Server A01-1", "--data",
                                                   serverTraining, "-o", out, "--report", dir.filePath("report")} +
                                       brief(5));
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("Report: " + dir.filePath("report").toStdString() +
                              " (training.csv, regression-test.json, regression-test.ai, "
                              "regression-test.train.csv, rms-error.png, fit-1.png, fit-2.png)\n"),
              std::string::npos)
        << report.out;
    EXPECT_FALSE(QFile::exists(dir.filePath("report/regression-test.test.csv")));
    EXPECT_EQ(report.err.find("XDG_RUNTIME_DIR"), std::string::npos) << report.err;
}

TEST(TrainCommand, SharedNamesAreRefusedAndAPathOrIDPicksTheEntity)
{
    app();
    QTemporaryDir dir;
    const QString project = dir.filePath("twins.json");
    {
        // The two inlets named alike, and a second item named like the server.
        const auto loaded = EntityModel::ProjectFile::load(sample);
        std::vector<EntityModel::Entity*> all;
        loaded->getRootEntity()->getOwnedChildEntities(all);
        for (EntityModel::Entity* entity : all)
            if (entity->getName() == "Server A01-1 Inlet" || entity->getName() == "GPU Node A02-1 Inlet")
                entity->setName("Inlet");
        EntityModel::ProjectFile::save(*loaded, project);
    }
    const std::string before = readText(project);
    const auto table = AISystem::TensorWithHeaders::fromCSVFile(serverTraining.toStdString(),
                                                                AISystem::TensorElementType::Double, true);
    const auto renamed = [&](const std::string& inlet)
    {
        std::string text;
        for (std::size_t c = 0; c < table.getHeaders().size(); ++c)
        {
            std::string header = table.getHeaders()[c];
            if (const auto at = header.find("Server A01-1 Inlet:"); at != std::string::npos)
                header.replace(at, 18, inlet);
            text += (c ? "," : "") + header;
        }
        text += "\n";
        for (std::int64_t r = 0; r < 20; ++r)
            for (std::int64_t c = 0; c < table.getTensor().getDimensionSize(1); ++c)
                text += (c ? "," : "") + std::to_string(table.getTensor().at(r, c)) +
                        (c + 1 == table.getTensor().getDimensionSize(1) ? "\n" : "");
        return text;
    };
    writeText(dir.filePath("shared.csv"), renamed("Inlet"));
    writeText(dir.filePath("by-id.csv"), renamed("1-41"));
    const Outcome shared = confluxtool(QStringList{"train", project, "--equipment", "Server A01-1", "--data",
                                                   dir.filePath("shared.csv")} +
                                       brief(2));
    EXPECT_EQ(shared.status, 2);
    EXPECT_NE(shared.err.find("binds nothing: 'Inlet' names 2 entities; name one by its path or its ID (such as "
                              "1-41):\n  'Data Hall 1/Rack A01/Server A01-1/Inlet' (Inflow 1-41)\n  'Data Hall "
                              "1/Rack A02/GPU Node A02-1/Inlet' (Inflow 1-46)"),
              std::string::npos)
        << shared.err;
    EXPECT_EQ(readText(project), before);
    const Outcome byId = confluxtool(QStringList{"train", project, "--equipment", "1-40", "--data",
                                                 dir.filePath("by-id.csv"), "-o", dir.filePath("by-id.json")} +
                                     brief(2));
    EXPECT_EQ(byId.status, 0) << byId.err;

    // The equipment by a name two items share.
    {
        const auto loaded = EntityModel::ProjectFile::load(project);
        std::vector<EntityModel::Entity*> all;
        loaded->getRootEntity()->getOwnedChildEntities(all);
        for (EntityModel::Entity* entity : all)
            if (entity->getName() == "GPU Node A02-1")
                entity->setName("Server A01-1");
        EntityModel::ProjectFile::save(*loaded, project);
    }
    const Outcome twoItems = confluxtool(QStringList{"train", project, "--equipment", "Server A01-1", "--data",
                                                     dir.filePath("by-id.csv")} +
                                         brief(2));
    EXPECT_EQ(twoItems.status, 2);
    EXPECT_NE(twoItems.err.find("'Server A01-1' names 2 entities; name one by its path or its ID (such as 1-40)"),
              std::string::npos)
        << twoItems.err;
}
