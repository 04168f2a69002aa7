// ONNX's own node tests (Debian's libonnx-testdata) for every operator a surrogate uses, run through
// ONNXGraph as float32 and again with every float tensor made float64: each test either matches
// ONNX's expected outputs to the backend tests' tolerance or is refused when the graph loads. The
// table of outcomes is docs/onnx-conformance.md; CONFLUX_UPDATE_DOCS=1 rewrites it.
#include "host/ai/modules/ONNXGraph.h"

#include <gtest/gtest.h>
#include <onnx/onnx_pb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

using namespace AISystem;
namespace fs = std::filesystem;

namespace
{
const fs::path nodeTests = "/usr/share/libonnx-testdata/data/node";
const fs::path table = fs::path(CONFLUX_EXAMPLES_DIR).parent_path() / "docs" / "onnx-conformance.md";

const std::set<std::string>& operators()
{
    static const std::set<std::string> ops{"Gemm",      "MatMul",   "Add",       "Sub",       "Mul",
                                           "Div",       "Neg",      "Tanh",      "Relu",      "Sigmoid",
                                           "LeakyRelu", "Elu",      "Selu",      "Softplus",  "HardSigmoid",
                                           "Clip",      "Identity", "Reshape",   "Flatten",   "Concat",
                                           "Constant",  "Cast",     "Transpose", "Unsqueeze", "Squeeze",
                                           "Split"};
    return ops;
}

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

struct NodeTest
{
    std::string name;
    std::string op;
};

/// The node tests whose graph is one node of a listed operator (the "_expanded" variants, which
/// spell an operator out in others, are left out).
std::vector<NodeTest> nodeTestList()
{
    std::vector<NodeTest> tests;
    if (!fs::is_directory(nodeTests))
        return tests;
    for (const fs::directory_entry& entry : fs::directory_iterator(nodeTests))
    {
        const std::string name = entry.path().filename().string();
        onnx::ModelProto model;
        if (name.find("_expanded") != std::string::npos ||
            !model.ParseFromString(readFile(entry.path() / "model.onnx")))
            continue;
        if (model.graph().node_size() == 1 && operators().count(model.graph().node(0).op_type()))
            tests.push_back({name, model.graph().node(0).op_type()});
    }
    std::sort(tests.begin(), tests.end(),
              [](const NodeTest& a, const NodeTest& b) { return a.name < b.name; });
    return tests;
}

// The float64 variant: every float tensor, declared type and Constant of the model made double.
void toDouble(onnx::TensorProto& tensor)
{
    if (tensor.data_type() != onnx::TensorProto::FLOAT)
        return;
    std::vector<double> values;
    if (tensor.has_raw_data())
    {
        const std::string& raw = tensor.raw_data();
        for (std::size_t i = 0; i + 4 <= raw.size(); i += 4)
        {
            float v;
            std::memcpy(&v, raw.data() + i, 4);
            values.push_back(v);
        }
        tensor.clear_raw_data();
    }
    else
        values.assign(tensor.float_data().begin(), tensor.float_data().end());
    tensor.clear_float_data();
    tensor.set_data_type(onnx::TensorProto::DOUBLE);
    for (double v : values)
        tensor.add_double_data(v);
}

void toDouble(onnx::ValueInfoProto& info)
{
    if (info.type().has_tensor_type() && info.type().tensor_type().elem_type() == onnx::TensorProto::FLOAT)
        info.mutable_type()->mutable_tensor_type()->set_elem_type(onnx::TensorProto::DOUBLE);
}

bool hasFloat(const onnx::ModelProto& model)
{
    for (const onnx::ValueInfoProto& info : model.graph().input())
        if (info.type().tensor_type().elem_type() == onnx::TensorProto::FLOAT)
            return true;
    return false;
}

std::string toDoubleModel(onnx::ModelProto model)
{
    onnx::GraphProto& graph = *model.mutable_graph();
    for (onnx::ValueInfoProto& info : *graph.mutable_input())
        toDouble(info);
    for (onnx::ValueInfoProto& info : *graph.mutable_output())
        toDouble(info);
    for (onnx::TensorProto& tensor : *graph.mutable_initializer())
        toDouble(tensor);
    for (onnx::NodeProto& node : *graph.mutable_node())
        for (onnx::AttributeProto& attribute : *node.mutable_attribute())
            if (attribute.has_t())
                toDouble(*attribute.mutable_t());
    return model.SerializeAsString();
}

std::string readTensor(const fs::path& path, bool asDouble)
{
    onnx::TensorProto tensor;
    tensor.ParseFromString(readFile(path));
    if (asDouble)
        toDouble(tensor);
    return tensor.SerializeAsString();
}

enum class Result
{
    Matched,
    Refused,
    Wrong,
};

struct Outcome
{
    Result result = Result::Wrong;
    std::string reason;
};

std::string shapeText(const std::vector<std::int64_t>& shape)
{
    std::string text = "{";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? ", " : "") + std::to_string(shape[i]);
    return text + "}";
}

/// Runs a node test: Refused when the graph does not load, Matched when every data set's outputs
/// are within rtol 1e-3 and atol 1e-7 of ONNX's (the backend tests' tolerance), Wrong otherwise.
Outcome runNodeTest(const std::string& name, bool asDouble)
{
    const fs::path dir = nodeTests / name;
    onnx::ModelProto model;
    model.ParseFromString(readFile(dir / "model.onnx"));
    const std::string bytes = asDouble ? toDoubleModel(model) : model.SerializeAsString();
    std::optional<ONNXGraph> graph;
    try
    {
        graph = ONNXGraph::fromBytes(Utilities::toByteArray(bytes));
    }
    catch (const std::runtime_error& e)
    {
        return {Result::Refused, e.what()};
    }
    for (int set = 0; fs::is_directory(dir / ("test_data_set_" + std::to_string(set))); ++set)
    {
        const fs::path data = dir / ("test_data_set_" + std::to_string(set));
        std::map<std::string, ONNXTensor> inputs;
        for (std::size_t i = 0; i < graph->inputs().size(); ++i)
            inputs[graph->inputs()[i].name] = ONNXTensor::fromProtoBytes(
                Utilities::toByteArray(readTensor(data / ("input_" + std::to_string(i) + ".pb"), asDouble)));
        std::vector<ONNXTensor> outputs;
        try
        {
            outputs = graph->run(inputs);
        }
        catch (const std::runtime_error& e)
        {
            return {Result::Wrong, std::string("evaluation failed: ") + e.what()};
        }
        for (std::size_t o = 0; o < outputs.size(); ++o)
        {
            const ONNXTensor expected = ONNXTensor::fromProtoBytes(
                Utilities::toByteArray(readTensor(data / ("output_" + std::to_string(o) + ".pb"), asDouble)));
            if (outputs[o].type != expected.type || outputs[o].shape != expected.shape)
                return {Result::Wrong, "output " + std::to_string(o) + " is " + toString(outputs[o].type) +
                                           " " + shapeText(outputs[o].shape) + ", expected " +
                                           toString(expected.type) + " " + shapeText(expected.shape)};
            for (std::size_t i = 0; i < expected.values.size(); ++i)
            {
                const double got = outputs[o].values[i];
                const double want = expected.values[i];
                if (std::isnan(want) ? !std::isnan(got) : std::abs(got - want) > 1e-7 + 1e-3 * std::abs(want))
                    return {Result::Wrong, "output " + std::to_string(o) + " element " + std::to_string(i) +
                                               " is " + std::to_string(got) + ", expected " +
                                               std::to_string(want)};
            }
        }
    }
    return {Result::Matched, ""};
}

/// One test per operator, over each of its node tests.
class ONNXNodeTests : public ::testing::TestWithParam<std::string>
{
};

TEST_P(ONNXNodeTests, MatchOrAreRefusedAtLoad)
{
    int run = 0;
    for (const NodeTest& test : nodeTestList())
    {
        if (test.op != GetParam())
            continue;
        for (const bool asDouble : {false, true})
        {
            SCOPED_TRACE(test.name + (asDouble ? " (float64 variant)" : ""));
            onnx::ModelProto model;
            model.ParseFromString(readFile(nodeTests / test.name / "model.onnx"));
            if (asDouble && !hasFloat(model))
                continue;
            ++run;
            const Outcome outcome = runNodeTest(test.name, asDouble);
            EXPECT_NE(outcome.result, Result::Wrong) << outcome.reason;
            // A refusal names the node and its operator, or the graph input it cannot take.
            if (outcome.result == Result::Refused)
            {
                EXPECT_TRUE(outcome.reason.rfind(test.op + " node ", 0) == 0 ||
                            outcome.reason.rfind("graph input '", 0) == 0)
                    << outcome.reason;
            }
        }
    }
    if (run == 0)
        GTEST_SKIP() << "no node tests of " << GetParam() << " (is libonnx-testdata installed?)";
}

INSTANTIATE_TEST_SUITE_P(Operator, ONNXNodeTests,
                         ::testing::ValuesIn(std::vector<std::string>(operators().begin(),
                                                                      operators().end())),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

std::string escaped(std::string text)
{
    for (std::size_t at = 0; (at = text.find('|', at)) != std::string::npos; at += 2)
        text.replace(at, 1, "\\|");
    return text;
}

std::string conformanceTable()
{
    struct Row
    {
        int matched = 0;
        int matchedDouble = 0;
        std::vector<std::string> refused;
        std::vector<std::string> wrong;
    };
    std::map<std::string, Row> rows;
    for (const std::string& op : operators())
        rows[op];
    for (const NodeTest& test : nodeTestList())
    {
        Row& row = rows[test.op];
        for (const bool asDouble : {false, true})
        {
            onnx::ModelProto model;
            model.ParseFromString(readFile(nodeTests / test.name / "model.onnx"));
            if (asDouble && !hasFloat(model))
                continue;
            const Outcome outcome = runNodeTest(test.name, asDouble);
            const std::string label = test.name + (asDouble ? " (float64)" : "");
            switch (outcome.result)
            {
            case Result::Matched:
                ++(asDouble ? row.matchedDouble : row.matched);
                break;
            case Result::Refused:
                row.refused.push_back(label + ": " + outcome.reason);
                break;
            case Result::Wrong:
                row.wrong.push_back(label + ": " + outcome.reason);
                break;
            }
        }
    }
    std::ostringstream text;
    text << "# ONNX conformance of the ONNX import\n\n"
         << "ONNX's own node tests (Debian's `libonnx-testdata`, "
            "`/usr/share/libonnx-testdata/data/node/`) of every operator a surrogate uses, run through the\n"
         << "ONNX module's graph evaluator as shipped (float32 and the other types they use) and again with\n"
         << "every float tensor made float64. A test either matches ONNX's expected outputs (rtol 1e-3,\n"
         << "atol 1e-7, the backend tests' tolerance) or is refused when the model loads, with the message\n"
         << "shown. A wrong result fails the build's tests. Generated by `ONNXConformance.TableIsCurrent`\n"
         << "(HostAITests): `CONFLUX_UPDATE_DOCS=1 build/tests/host/ai/HostAITests "
            "--gtest_filter=ONNXConformance.*` rewrites it.\n\n"
         << "| operator | matched (float32 and others) | matched (float64 variant) | refused at load |\n"
         << "|---|---|---|---|\n";
    for (const auto& [op, row] : rows)
    {
        text << "| " << op << " | " << row.matched << " | " << row.matchedDouble << " | "
             << row.refused.size() << " |\n";
    }
    text << "\n## Refused, with the reason the loader gives\n\n";
    for (const auto& [op, row] : rows)
        for (const std::string& refused : row.refused)
            text << "- " << escaped(refused) << "\n";
    bool anyWrong = false;
    for (const auto& [op, row] : rows)
        for (const std::string& wrong : row.wrong)
        {
            if (!anyWrong)
                text << "\n## Wrong results\n\n";
            anyWrong = true;
            text << "- " << escaped(wrong) << "\n";
        }
    return text.str();
}

TEST(ONNXConformance, TableIsCurrent)
{
    if (nodeTestList().empty())
        GTEST_SKIP() << "libonnx-testdata is not installed";
    const std::string current = conformanceTable();
    EXPECT_EQ(current.find("## Wrong results"), std::string::npos) << current;
    const char* update = std::getenv("CONFLUX_UPDATE_DOCS");
    if (update != nullptr && std::string(update) == "1")
    {
        std::ofstream(table, std::ios::binary) << current;
        return;
    }
    EXPECT_EQ(readFile(table), current)
        << "docs/onnx-conformance.md is out of date: rerun with CONFLUX_UPDATE_DOCS=1";
}
} // namespace
