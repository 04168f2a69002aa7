#include "src/ai/export/ONNXNetworkWriter.h"

#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/EntityEditor.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/export/ExportedNetwork.h"
#include "tests/ai/export/ExportTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <onnx/checker.h>
#include <onnx/onnx_pb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

using Conflux::ExportedNetwork;
using Conflux::ONNXExportOptions;
using Conflux::ONNXLayout;
using Conflux::ONNXNetworkWriter;
using ExportTest::Sample;

namespace
{
const std::string server = "Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.";
const std::string powerPath = server + "Power.Power Definition.Typical Power";
const std::string inletPath = server + "Inflows.Server A01-1 Inlet.Simulation Results.Temperature Net.Mean Temperature Net";
const std::string exhaustTemperaturePath = server + "Outflows.Server A01-1 Exhaust.Temperature";
const std::string exhaustFlowPath = server + "Outflows.Server A01-1 Exhaust.Flow Rate";

onnx::ModelProto parse(const std::string& bytes)
{
    onnx::ModelProto model;
    EXPECT_TRUE(model.ParseFromString(bytes));
    return model;
}

std::vector<std::string> opTypes(const onnx::ModelProto& model)
{
    std::vector<std::string> ops;
    for (const auto& node : model.graph().node())
        ops.push_back(node.op_type());
    return ops;
}

std::map<std::string, std::string> properties(const onnx::ModelProto& model)
{
    std::map<std::string, std::string> all;
    for (const auto& entry : model.metadata_props())
        all[entry.key()] = entry.value();
    return all;
}

std::vector<std::int64_t> shapeOf(const onnx::ValueInfoProto& value)
{
    std::vector<std::int64_t> shape;
    for (const auto& dim : value.type().tensor_type().shape().dim())
        shape.push_back(dim.has_dim_value() ? dim.dim_value() : -1);
    return shape;
}

/// Cases within the inputs' bounds, one row per case.
std::vector<std::vector<double>> cases(const ExportedNetwork& network, int count)
{
    std::mt19937_64 random(21);
    std::vector<std::vector<double>> rows;
    for (int c = 0; c < count; ++c)
    {
        std::vector<double> row;
        for (const auto& input : network.inputs)
            row.push_back(std::uniform_real_distribution<double>(*input.min, *input.max)(random));
        rows.push_back(row);
    }
    return rows;
}
} // namespace

TEST(ONNXNetworkWriter, SampleGraphNamesItsColumnsByExchangePathAndFoldsInTheScaling)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    const onnx::ModelProto model = parse(ONNXNetworkWriter::toBytes(network, {}));
    EXPECT_NO_THROW(onnx::checker::check_model(model));

    EXPECT_EQ(model.ir_version(), onnx::IR_VERSION);
    ASSERT_EQ(model.opset_import_size(), 1);
    EXPECT_EQ(model.opset_import(0).domain(), "");
    EXPECT_EQ(model.opset_import(0).version(), 13);
    EXPECT_EQ(model.producer_name(), "ConfluxTool");
    EXPECT_EQ(model.graph().name(), "Server A01-1 Surrogate");

    // The inlet temperature is standardised (Mul, Add); the outputs leave the network unscaled.
    EXPECT_EQ(opTypes(model), (std::vector<std::string>{"Concat", "Mul", "Add", "Gemm", "Tanh", "Gemm", "Tanh",
                                                         "Gemm", "Split"}));
    ASSERT_EQ(model.graph().input_size(), 2);
    EXPECT_EQ(model.graph().input(0).name(), powerPath);
    EXPECT_EQ(model.graph().input(1).name(), inletPath);
    ASSERT_EQ(model.graph().output_size(), 2);
    EXPECT_EQ(model.graph().output(0).name(), exhaustTemperaturePath);
    EXPECT_EQ(model.graph().output(1).name(), exhaustFlowPath);
    for (const auto* values : {&model.graph().input(), &model.graph().output()})
        for (const auto& value : *values)
        {
            SCOPED_TRACE(value.name());
            EXPECT_EQ(value.type().tensor_type().elem_type(), onnx::TensorProto_DataType_DOUBLE);
            EXPECT_EQ(shapeOf(value), (std::vector<std::int64_t>{-1, 1}));
            EXPECT_EQ(value.type().tensor_type().shape().dim(0).dim_param(), "cases");
        }
    EXPECT_EQ(model.graph().input(0).doc_string(),
              "Data Hall 1/Rack A01/Server A01-1: Power.Power Definition.Typical Power [W], bounds 100 to 1000");

    const auto props = properties(model);
    const std::map<std::string, std::string> expected{
        {"ai_model", "Server A01-1 Surrogate"},
        {"input.0.name", powerPath},
        {"input.0.quantity", "Power"},
        {"input.0.unit", "W"},
        {"input.0.min", "100"},
        {"input.0.max", "1000"},
        {"input.1.name", inletPath},
        {"input.1.unit", "°C"},
        {"input.1.start", "15"},
        {"output.0.name", exhaustTemperaturePath},
        {"output.0.unit", "°C"},
        {"output.1.name", exhaustFlowPath},
        {"output.1.unit", "m³/s"},
        {"network_element_type", "double"},
    };
    for (const auto& [key, value] : expected)
    {
        SCOPED_TRACE(key);
        ASSERT_TRUE(props.count(key));
        EXPECT_EQ(props.at(key), value);
    }
    EXPECT_FALSE(props.count("output.0.min"));

    // The scaling constants are those of the AI model, in double.
    std::map<std::string, const onnx::TensorProto*> constants;
    for (const auto& tensor : model.graph().initializer())
        constants[tensor.name()] = &tensor;
    ASSERT_TRUE(constants.count("network/input_factor"));
    const onnx::TensorProto& factor = *constants.at("network/input_factor");
    ASSERT_EQ(factor.double_data_size(), 2);
    EXPECT_EQ(factor.double_data(0), 1.0);
    EXPECT_EQ(factor.double_data(1), network.inputs[1].factor);
    EXPECT_EQ(constants.at("network/layer0_weights")->dims(0), 16);
    EXPECT_EQ(constants.at("network/layer0_weights")->dims(1), 2);
}

TEST(ONNXNetworkWriter, FloatAndSingleTensorFormsKeepTheirShapeAndType)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    ONNXExportOptions options;
    options.float32 = true;
    options.layout = ONNXLayout::SingleTensor;
    const onnx::ModelProto model = parse(ONNXNetworkWriter::toBytes(network, options));
    EXPECT_NO_THROW(onnx::checker::check_model(model));
    ASSERT_EQ(model.graph().input_size(), 1);
    ASSERT_EQ(model.graph().output_size(), 1);
    EXPECT_EQ(model.graph().input(0).name(), "inputs");
    EXPECT_EQ(shapeOf(model.graph().input(0)), (std::vector<std::int64_t>{-1, 2}));
    EXPECT_EQ(model.graph().output(0).name(), "outputs");
    EXPECT_EQ(shapeOf(model.graph().output(0)), (std::vector<std::int64_t>{-1, 2}));
    EXPECT_EQ(model.graph().input(0).type().tensor_type().elem_type(), onnx::TensorProto_DataType_FLOAT);
    EXPECT_EQ(opTypes(model), (std::vector<std::string>{"Mul", "Add", "Gemm", "Tanh", "Gemm", "Tanh", "Gemm",
                                                         "Identity"}));
    for (const auto& tensor : model.graph().initializer())
    {
        SCOPED_TRACE(tensor.name());
        EXPECT_EQ(tensor.data_type(), onnx::TensorProto_DataType_FLOAT);
        EXPECT_GT(tensor.float_data_size(), 0);
    }
    // The columns are named in the metadata.
    EXPECT_EQ(properties(model).at("input.0.name"), powerPath);
}

TEST(ONNXNetworkWriter, ReadBackAsAnONNXAIModelItEvaluatesAsEvaluateDoes)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    const auto rows = cases(network, 200);
    const AISystem::Tensor inputs = AISystem::Tensor::fromRows(rows);
    const AISystem::Tensor expected = Conflux::AIModuleGenerator::generateTranformed(sample.model()).eval(inputs);

    struct Row
    {
        ONNXLayout layout;
        bool float32;
        double tolerance; ///< relative to the output's range over the cases
    };
    for (const Row& row : {Row{ONNXLayout::NamedColumns, false, 1e-12}, Row{ONNXLayout::NamedColumns, true, 1e-5},
                           Row{ONNXLayout::SingleTensor, false, 1e-12}, Row{ONNXLayout::SingleTensor, true, 1e-5}})
    {
        SCOPED_TRACE(std::string(row.layout == ONNXLayout::NamedColumns ? "named columns, " : "single tensor, ") +
                     (row.float32 ? "float32" : "float64"));
        ONNXExportOptions options;
        options.layout = row.layout;
        options.float32 = row.float32;
        const std::string bytes = ONNXNetworkWriter::toBytes(network, options);
        const AISystem::Module imported = AISystem::Module::fromByteArray(
            AISystem::ModuleType::ONNX, Utilities::bytearray(bytes.begin(), bytes.end()));
        const AISystem::Tensor got =
            imported
                .eval(inputs.toElementType(row.float32 ? AISystem::TensorElementType::Float
                                                       : AISystem::TensorElementType::Double))
                .toElementType(AISystem::TensorElementType::Double);
        ASSERT_EQ(got.getDimensionSize(0), 200);
        ASSERT_EQ(got.getDimensionSize(1), 2);
        for (std::int64_t o = 0; o < 2; ++o)
        {
            double low = INFINITY, high = -INFINITY;
            for (std::int64_t c = 0; c < 200; ++c)
            {
                low = std::min(low, expected.at(c, o));
                high = std::max(high, expected.at(c, o));
            }
            for (std::int64_t c = 0; c < 200; ++c)
                ASSERT_NEAR(got.at(c, o), expected.at(c, o), row.tolerance * (high - low))
                    << "case " << c << " output " << o;
        }
    }
}

// The ONNX fuzzer starts from the test fixtures, this export of the sample among them: it must stay
// what the writer writes, and load as an ONNX AI model. CONFLUX_UPDATE_DOCS=1 rewrites it.
TEST(ONNXNetworkWriter, TheSampleExportSeedingTheONNXFuzzerIsWhatTheWriterWrites)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    const std::string bytes = ONNXNetworkWriter::toBytes(network, {});
    const QString seed = CONFLUX_EXAMPLES_DIR "/../tests/host/ai/data/sample_server_columns.onnx";
    const char* update = std::getenv("CONFLUX_UPDATE_DOCS");
    if (update != nullptr && std::string(update) == "1")
        ONNXNetworkWriter::write(network, {}, seed);
    QFile file(seed);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << seed.toStdString();
    const QByteArray stored = file.readAll();
    EXPECT_EQ(stored.toStdString(), bytes) << "the seed is out of date: rerun with CONFLUX_UPDATE_DOCS=1";
    const AISystem::Module imported = AISystem::Module::fromByteArray(
        AISystem::ModuleType::ONNX, Utilities::bytearray(stored.begin(), stored.end()));
    EXPECT_EQ(imported.getOutputWidth(2), 2);
}

TEST(ONNXNetworkWriter, ONNXReferenceEvaluatorGivesTheOutputsOfEvaluate)
{
    // ONNX's own reference evaluator (python3-onnx 1.13 and later); Debian's may not have it.
    QProcess probe;
    probe.start("/usr/bin/python3", {"-c", "import onnx.reference, numpy"});
    probe.waitForFinished(60000);
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "python3-onnx has no reference evaluator (onnx.reference)";

    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    const auto rows = cases(network, 100);
    const AISystem::Tensor expected =
        Conflux::AIModuleGenerator::generateTranformed(sample.model()).eval(AISystem::Tensor::fromRows(rows));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ONNXNetworkWriter::write(network, {}, dir.filePath("sample.onnx"));
    QFile inputs(dir.filePath("inputs.txt"));
    ASSERT_TRUE(inputs.open(QIODevice::WriteOnly));
    for (const auto& row : rows)
        inputs.write((QString::number(row[0], 'g', 17) + " " + QString::number(row[1], 'g', 17) + "\n").toUtf8());
    inputs.close();
    const char* script = R"(
import sys, numpy, onnx, onnx.reference
model = onnx.load(sys.argv[1])
rows = numpy.loadtxt(sys.argv[2], ndmin=2)
feeds = {i.name: rows[:, k:k + 1].astype(numpy.float64) for k, i in enumerate(model.graph.input)}
outputs = onnx.reference.ReferenceEvaluator(model).run(None, feeds)
for r in range(rows.shape[0]):
    print(" ".join(repr(float(o[r, 0])) for o in outputs))
)";
    QProcess python;
    python.start("/usr/bin/python3", {"-c", script, dir.filePath("sample.onnx"), dir.filePath("inputs.txt")});
    ASSERT_TRUE(python.waitForFinished(120000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 100);
    for (int c = 0; c < 100; ++c)
    {
        const QStringList values = lines[c].split(' ');
        ASSERT_EQ(values.size(), 2);
        for (int o = 0; o < 2; ++o)
        {
            const double want = expected.at(c, o);
            EXPECT_NEAR(values[o].toDouble(), want, 1e-12 * std::max(1.0, std::abs(want)));
        }
    }
}

TEST(ONNXNetworkWriter, WritesAtomicallyAndNamesThePathItCannotWrite)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("server.onnx");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ONNXNetworkWriter::write(network, {}, path);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().toStdString(), ONNXNetworkWriter::toBytes(network, {}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"server.onnx"});

    const QString missing = dir.filePath("missing/server.onnx");
    try
    {
        ONNXNetworkWriter::write(network, {}, missing);
        ADD_FAILURE() << "written into a missing folder";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ(std::string(error.what()).rfind("Cannot write '" + missing.toStdString() + "': ", 0), 0u)
            << error.what();
    }
}

TEST(ONNXNetworkWriter, AFloatNetworkIsWrittenInFloat)
{
    Sample sample;
    EntityModel::EntityEditor::setValue(
        sample.model(), EntityModel::NeuralNetwork_Model_Data_t,
        ExportTest::trainedNetwork(AISystem::TensorElementType::Float, std::nullopt,
                                   AISystem::NeuralNetworkType::Generic));
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Optional);
    const onnx::ModelProto model = parse(ONNXNetworkWriter::toBytes(network, {}));
    EXPECT_EQ(model.graph().input(0).type().tensor_type().elem_type(), onnx::TensorProto_DataType_FLOAT);
    EXPECT_EQ(properties(model).at("network_element_type"), "float");
    // Its weights are the float values the network computes with.
    for (const auto& tensor : model.graph().initializer())
    {
        if (tensor.name() != "network/layer0_weights")
            continue;
        ASSERT_EQ(static_cast<std::size_t>(tensor.float_data_size()), network.layers[0].weights.size());
        for (int i = 0; i < tensor.float_data_size(); ++i)
            EXPECT_EQ(static_cast<double>(tensor.float_data(i)), network.layers[0].weights[static_cast<std::size_t>(i)]);
    }
}
