#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "tests/cli/AIModelEdit.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

using AISystem::Tensor;

namespace
{
const QString sample = CONFLUX_EXAMPLES_DIR "/sample-datacentre.json";
const QString withErrors = CONFLUX_EXAMPLES_DIR "/sample-with-errors.json";
// The sample model's inputs as the trainer's data files name them (values in standard units).
const std::string powerHeader = "Input: Server A01-1:Power.Power Definition.Typical Power (W)";
const std::string inletHeader =
    "Input: Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature Net (°C)";

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

Outcome evaluate(const QStringList& arguments)
{
    QProcess process;
    process.start(CONFLUX_CLI, QStringList{"evaluate"} + arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

void write(const QString& path, const std::string& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

std::string read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

/// The sample's AI model, evaluated in this process on the inputs.
Tensor sampleModuleEval(const Tensor& inputs)
{
    const auto project = EntityModel::ProjectFile::load(sample);
    EntityModel::Entity* model =
        project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
    return Conflux::AIModuleGenerator::generateTranformed(model).eval(inputs);
}

TEST(EvaluateCommand, ShowsTheSampleModelWithInputsSetInAnyUnit)
{
    const Outcome shown = evaluate({sample, "--set", "1=0.65kW", "--set",
                                    "Simulation Results.Temperature Net.Mean Temperature Net=75.2°F"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    for (const char* expected :
         {"AI model 'Server A01-1 Surrogate' of 'Server A01-1' (NeuralNetwork)\nInputs\n",
          "  1  Server A01-1        Power.Power Definition.Typical Power                     650 W  100 W to "
          "1000 W\n",
          "  2  Server A01-1 Inlet  Simulation Results.Temperature Net.Mean Temperature Net  24 °C  15 °C to "
          "35 °C\n",
          "Outputs\n", "Server A01-1 Exhaust", "Imbalance: the model computes none\n"})
        EXPECT_NE(shown.out.find(expected), std::string::npos) << expected << "\n--- in ---\n" << shown.out;
}

TEST(EvaluateCommand, BadInputIsNamedWithStatus2)
{
    QTemporaryDir dir;
    const QString wide = dir.filePath("wide.csv");
    write(wide, "500,24,1\n600,25,1\n");
    const QString ragged = dir.filePath("ragged.csv");
    write(ragged, "500,24\n\n600\n");
    const QString text = dir.filePath("text.csv");
    write(text, powerHeader + "," + inletHeader + "\n500,warm\n");
    const QString unknownHeader = dir.filePath("unknown.csv");
    write(unknownHeader, powerHeader + ",Input: Rack 9:Temperature\n500,24\n");
    const QString badUnit = dir.filePath("unit.csv");
    write(badUnit, "Input: 1 (W),Input: 2 (furlongs)\n500,24\n");
    const QString nanCell = dir.filePath("nan.csv");
    write(nanCell, powerHeader + "," + inletHeader + "\n500,24\nnan,25\n");
    const QString plainInfinity = dir.filePath("plain.csv");
    write(plainInfinity, "500,inf\n");
    // Two items of the same name, each with an AI model.
    const QString twins = dir.filePath("twins.json");
    {
        const auto project = EntityModel::ProjectFile::load(withErrors);
        for (EntityModel::Entity* model :
             project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t))
            if (model->getOwnerEntity()->getTypeRef() == EntityModel::IT_Equipment_t)
                model->getOwnerEntity()->setName("Twin");
        EntityModel::ProjectFile::save(*project, twins);
    }

    struct Row
    {
        QStringList arguments;
        std::string message;
    };
    const std::vector<Row> rows = {
        {{}, "a project file is needed"},
        {{sample, sample}, "only one project file is taken"},
        {{sample, "--bogus"}, "unknown option '--bogus'"},
        {{dir.filePath("missing.json")}, "missing.json"},
        {{sample, "--model", "Nobody"}, "unknown model 'Nobody'; the AI models of"},
        {{withErrors},
         "has 3 AI models; choose one with --model NAME:\n  'Server A01-1 Surrogate' of 'Server A01-1'"},
        {{withErrors, "--model", "Server A01-1"}, "does not load: Empty ONNX Model"},
        {{sample, "--set", "9=1"}, "--set 9=1: there is no input 9; the model has 2 inputs"},
        {{sample, "--set", "Fan Speed=1"},
         "--set Fan Speed=1: unknown input 'Fan Speed'; the inputs are:\n  1  "},
        {{sample, "--set", "1=abc"}, "--set 1=abc: 'abc' is not a number"},
        {{sample, "--set", "1=5 furlongs"}, "--set 1=5 furlongs: unknown unit 'furlongs' (units of Power: W"},
        {{sample, "--inputs", wide}, "wide.csv: line 1 has 3 values; the model takes 2 inputs"},
        {{sample, "--inputs", ragged}, "ragged.csv: line 3 has 1 columns, expected 2"},
        {{sample, "--inputs", text}, "text.csv: line 2, column 2: \"warm\" is not a number"},
        {{sample, "--inputs", unknownHeader}, "unknown.csv: line 1: unknown input 'Rack 9:Temperature'"},
        {{sample, "--inputs", badUnit},
         "unit.csv: line 1: unknown unit 'furlongs' (units of Temperature: °C"},
        {{sample, "--inputs", dir.filePath("none.csv")}, "none.csv: cannot open the file"},
        {{sample, "--set", "1=nan"}, "--set 1=nan: 'nan' is not a finite number"},
        {{sample, "--set", "2=inf °C"}, "--set 2=inf °C: 'inf °C' is not a finite number"},
        {{sample, "--inputs", nanCell},
         "nan.csv: case 2, column 1 ('" + powerHeader + "'): the value is not finite"},
        {{sample, "--inputs", plainInfinity}, "plain.csv: case 1, column 2: the value is not finite"},
        {{twins, "--model", "Twin"},
         "'Twin' names 2 entities; name one by its path or its ID (such as 1-40):\n"
         "  'Data Hall 1/Rack A01/Twin' (IT Equipment 1-40)\n"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const Outcome run = evaluate(row.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

TEST(EvaluateCommand, CasesFromATrainingDataFileGiveModuleEvalToTheLastDigit)
{
    QTemporaryDir dir;
    // As the trainer writes its data: inputs, then targets (skipped here); awkward values on purpose.
    const std::vector<std::vector<double>> rows = {
        {650.0, 24.0}, {123.456789012345678, 1.0 / 3.0}, {999.999999999, 34.9999999}, {100.0, 15.0}};
    std::string csv =
        "\"" + powerHeader + "\",\"" + inletHeader + "\",\"Target: Server A01-1 Exhaust:Temperature (°C)\"\n";
    for (const auto& row : rows)
        csv += std::to_string(row[0]) + "," + std::to_string(row[1]) + ",0\n";
    // std::to_string rounds: the reference is computed from what the file says.
    const QString cases = dir.filePath("cases.csv");
    write(cases, csv);
    const Tensor inputs = AISystem::TensorWithHeaders::fromCSVFile(cases.toStdString(),
                                                                   AISystem::TensorElementType::Double, true)
                              .getTensor()
                              .slice(1, 0, 2);

    const QString results = dir.filePath("results.csv");
    const Outcome run = evaluate({sample, "--inputs", cases, "-o", results});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.empty());
    const auto written = AISystem::TensorWithHeaders::fromCSVFile(results.toStdString(),
                                                                  AISystem::TensorElementType::Double, true);
    EXPECT_EQ(
        written.getHeaders(),
        (std::vector<std::string>{powerHeader, inletHeader, "Result: Server A01-1 Exhaust:Temperature (°C)",
                                  "Result: Server A01-1 Exhaust:Flow Rate (m³/s)"}));
    EXPECT_EQ(written.getTensor().slice(1, 0, 2), inputs);
    EXPECT_EQ(written.getTensor().slice(1, 2, 2), sampleModuleEval(inputs));

    // The written file reads back as cases (its results are skipped), and plain columns read alike.
    const Outcome again = evaluate({sample, "--inputs", results});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, read(results));
    std::string plain;
    for (const auto& row : rows)
        plain += std::to_string(row[0]) + "," + std::to_string(row[1]) + "\n";
    const QString plainCases = dir.filePath("plain.csv");
    write(plainCases, plain);
    const Outcome plainRun = evaluate({sample, "--inputs", plainCases});
    ASSERT_EQ(plainRun.status, 0) << plainRun.err;
    EXPECT_EQ(plainRun.out, read(results));
}
} // namespace

namespace
{
/// The sample with its AI model replaced by an ONNX model of the given bytes, saved to path.
void writeSampleWithOnnxBytes(const QString& path, const QByteArray& bytes)
{
    const auto project = EntityModel::ProjectFile::load(sample);
    EntityModel::Entity* aiModel =
        project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
    EntityModel::EntityEditor::setValue(aiModel, EntityModel::Model_Type_t, EntityModel::TypeRef(EntityModel::ONNX_t));
    EntityModel::EntityEditor::setValue(aiModel, EntityModel::ONNX_Model_Data_t,
                                        std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    EntityModel::ProjectFile::save(*project, path);
}

/// The sample with its AI model replaced by an ONNX model of tests/crosscheck/models, saved to path.
void writeSampleWithOnnxModel(const QString& path, const std::string& model)
{
    QFile file(QString(CONFLUX_EXAMPLES_DIR "/../tests/crosscheck/models/") + QString::fromStdString(model));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    writeSampleWithOnnxBytes(path, file.readAll());
}

TEST(EvaluateCommand, RefusesAnOnnxModelWhoseOutputsPerCaseDifferFromTheModelsOutputs)
{
    QTemporaryDir dir;
    const QString matching = dir.filePath("matching.json");
    const QString wider = dir.filePath("wider.json");
    writeSampleWithOnnxModel(matching, "gemm_alpha_beta.onnx");
    writeSampleWithOnnxModel(wider, "output_not_last.onnx");
    const QString cases = dir.filePath("cases.csv");
    write(cases, "500,24\n600,25\n");

    const Outcome shown = evaluate({matching});
    EXPECT_EQ(shown.status, 0) << shown.err;
    for (const QStringList& arguments : {QStringList{wider}, QStringList{wider, "--inputs", cases}})
    {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Outcome run = evaluate(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("does not load: The model gives 3 outputs per case for the AI model's 2 inputs, but "
                               "the AI model has 2 outputs"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

/// `value` without `keys`, at any depth.
QJsonValue withoutKeys(const QJsonValue& value, const QStringList& keys)
{
    if (value.isArray())
    {
        QJsonArray items;
        for (const QJsonValue& item : value.toArray())
            items.append(withoutKeys(item, keys));
        return items;
    }
    if (!value.isObject())
        return value;
    QJsonObject object = value.toObject();
    for (const QString& key : keys)
        object.remove(key);
    for (auto member = object.begin(); member != object.end(); ++member)
        *member = withoutKeys(*member, keys);
    return object;
}

/// Removes the unit conversions and scalings of the AI model's inputs and outputs in the project at
/// path: an exported ONNX model has them inside, and takes and gives standard units.
void dropTransformations(const QString& path)
{
    const QStringList keys{"To Model Transformation", "From Model Transformation", "Model Unit"};
    ASSERT_TRUE(CliTest::rewriteAIModels(path, path, [&](QJsonObject& attributes)
                                         { attributes = withoutKeys(attributes, keys).toObject(); }))
        << path.toStdString();
}

// What export-onnx writes, in each form, made the sample's AI model: evaluate gives the network's
// outputs (from the ONNX model's graph inputs and outputs, one per exchange path, or its one tensor).
TEST(EvaluateCommand, AnExportedONNXModelEvaluatesAsTheNetworkItWasExportedFrom)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string csv = "\"" + powerHeader + "\",\"" + inletHeader + "\"\n";
    for (const auto& [power, inlet] : std::vector<std::pair<double, double>>{{100, 15}, {432.5, 21.75}, {1000, 35}})
        csv += std::to_string(power) + "," + std::to_string(inlet) + "\n";
    const QString cases = dir.filePath("cases.csv");
    write(cases, csv);
    const Tensor inputs = AISystem::TensorWithHeaders::fromCSVFile(cases.toStdString(),
                                                                   AISystem::TensorElementType::Double, true)
                              .getTensor();
    const Tensor expected = sampleModuleEval(inputs);
    struct Row
    {
        QStringList options;
        double tolerance;
    };
    for (const Row& row : {Row{{}, 1e-12}, Row{{"--float"}, 1e-5}, Row{{"--single-tensor"}, 1e-12}})
    {
        SCOPED_TRACE(row.options.join(' ').toStdString());
        const QString onnxFile = dir.filePath("exported.onnx");
        QProcess exporter;
        exporter.start(CONFLUX_CLI, QStringList{"export-onnx", sample, "-o", onnxFile} + row.options);
        ASSERT_TRUE(exporter.waitForFinished(120000));
        ASSERT_EQ(exporter.exitCode(), 0) << exporter.readAllStandardError().toStdString();
        QFile exported(onnxFile);
        ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
        const QString project = dir.filePath("imported.json");
        writeSampleWithOnnxBytes(project, exported.readAll());
        dropTransformations(project);

        const QString results = dir.filePath("results.csv");
        const Outcome run = evaluate({project, "--inputs", cases, "-o", results});
        ASSERT_EQ(run.status, 0) << run.err;
        const Tensor got = AISystem::TensorWithHeaders::fromCSVFile(results.toStdString(),
                                                                    AISystem::TensorElementType::Double, true)
                               .getTensor()
                               .slice(1, 2, 2);
        ASSERT_EQ(got.getDimensionSize(0), 3);
        ASSERT_EQ(got.getDimensionSize(1), 2);
        for (std::int64_t o = 0; o < 2; ++o)
            for (std::int64_t c = 0; c < 3; ++c)
                EXPECT_NEAR(got.at(c, o), expected.at(c, o), row.tolerance * std::max(1.0, std::abs(expected.at(c, o))))
                    << "case " << c << " output " << o;
    }
}
} // namespace
