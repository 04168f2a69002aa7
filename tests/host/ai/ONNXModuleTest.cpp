// The ONNX module on models as exporters write them (tests/crosscheck/models, made by
// make_models.py) and on models built here node by node: the numbers ONNX Runtime gives, or a
// refusal at load naming the node, operator, attribute and reason.
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/TensorWithHeaders.h"

#include <gtest/gtest.h>
#include <onnx/onnx_pb.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <sstream>

using namespace AISystem;
namespace fs = std::filesystem;

namespace
{
const fs::path models = fs::path(CONFLUX_EXAMPLES_DIR).parent_path() / "tests" / "crosscheck" / "models";

Utilities::bytearray readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    EXPECT_TRUE(file.good()) << path;
    return Utilities::toByteArray(content.str());
}

Module load(const std::string& name)
{
    return Module::fromByteArray(ModuleType::ONNX, readBytes(models / (name + ".onnx")));
}

std::vector<std::vector<double>> rowsOf(const Tensor& tensor)
{
    const Tensor values = tensor.toElementType(TensorElementType::Double);
    std::vector<std::vector<double>> rows;
    for (std::int64_t r = 0; r < values.getDimensionSize(0); ++r)
    {
        rows.emplace_back();
        for (std::int64_t c = 0; c < values.getDimensionSize(1); ++c)
            rows.back().push_back(values.data<double>()[r * values.getDimensionSize(1) + c]);
    }
    return rows;
}

std::string loadError(const Utilities::bytearray& bytes)
{
    try
    {
        Module::fromByteArray(ModuleType::ONNX, bytes);
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no error";
}

std::string evalError(const Module& module, const Tensor& inputs)
{
    try
    {
        module.eval(inputs);
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no error";
}

// Models built here: a graph of one float input "x" {cases, 2} and one output "y".
struct GraphBuilder
{
    onnx::ModelProto model;

    GraphBuilder()
    {
        model.set_ir_version(8);
        model.add_opset_import()->set_version(13);
        declare(*model.mutable_graph()->add_input(), "x", onnx::TensorProto::FLOAT, 2);
        declare(*model.mutable_graph()->add_output(), "y", onnx::TensorProto::FLOAT, -1);
    }

    static void declare(onnx::ValueInfoProto& info, const std::string& name, int type, std::int64_t width)
    {
        info.set_name(name);
        auto* tensor = info.mutable_type()->mutable_tensor_type();
        tensor->set_elem_type(type);
        tensor->mutable_shape()->add_dim()->set_dim_param("cases");
        if (width >= 0)
            tensor->mutable_shape()->add_dim()->set_dim_value(width);
        else
            tensor->mutable_shape()->add_dim()->set_dim_param("outputs");
    }

    onnx::NodeProto& node(const std::string& op, const std::string& name, std::vector<std::string> inputs,
                          const std::string& output = "y")
    {
        onnx::NodeProto& n = *model.mutable_graph()->add_node();
        n.set_op_type(op);
        n.set_name(name);
        for (const std::string& input : inputs)
            n.add_input(input);
        n.add_output(output);
        return n;
    }

    onnx::TensorProto& weights(const std::string& name, std::vector<std::int64_t> dims,
                               std::vector<float> values)
    {
        onnx::TensorProto& t = *model.mutable_graph()->add_initializer();
        t.set_name(name);
        t.set_data_type(onnx::TensorProto::FLOAT);
        for (std::int64_t d : dims)
            t.add_dims(d);
        for (float v : values)
            t.add_float_data(v);
        return t;
    }

    Utilities::bytearray bytes() const { return Utilities::toByteArray(model.SerializeAsString()); }
};

void setFloat(onnx::NodeProto& node, const std::string& name, float value)
{
    onnx::AttributeProto& a = *node.add_attribute();
    a.set_name(name);
    a.set_type(onnx::AttributeProto::FLOAT);
    a.set_f(value);
}

void setInt(onnx::NodeProto& node, const std::string& name, std::int64_t value)
{
    onnx::AttributeProto& a = *node.add_attribute();
    a.set_name(name);
    a.set_type(onnx::AttributeProto::INT);
    a.set_i(value);
}

struct EvaluationCase
{
    std::string model;
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> expected;
};

// Each of these gave other numbers, or failed, before the import evaluated graphs itself.
TEST(ONNXModule, EvaluatesWhatONNXRuntimeGivesForExporterConventions)
{
    const float h0 = std::tanh(-0.4f), h1 = std::tanh(2.0f), h2 = std::tanh(1.65f);
    const std::vector<EvaluationCase> cases{
        // alpha = 2 and beta = 3 are applied.
        {"gemm_alpha_beta", {{500, 20}}, {{1030, 100}}},
        // An absent transB is 0.
        {"gemm_no_transb", {{500, 20}}, {{560, 1080}}},
        // Non-square weights without transB, beta on a broadcast bias.
        {"gemm_nonsquare", {{1, 2, 3}, {0, 0, 0}}, {{-0.5, 4.25}, {0.5, -0.5}}},
        // transA over transposed cases.
        {"gemm_transa", {{1, 2, 3}, {0, 0, 1}}, {{14, 6}, {3, 2}}},
        // The declared output, not the last node's.
        {"output_not_last", {{1, 1}}, {{h0, h1, h2}}},
        // Clip with its bounds as inputs (opset 11 and later).
        {"clip_inputs", {{5, -1}, {0.5, 0.5}}, {{2, -1}, {0.5, 1.5}}},
    };
    for (const EvaluationCase& row : cases)
    {
        SCOPED_TRACE(row.model);
        const Module module = load(row.model);
        for (const TensorElementType type : {TensorElementType::Float, TensorElementType::Double})
        {
            const Tensor outputs = module.eval(Tensor::fromRows(row.inputs, type));
            EXPECT_EQ(outputs.getElementType(), type);
            const auto rows = rowsOf(outputs);
            ASSERT_EQ(rows.size(), row.expected.size());
            for (std::size_t r = 0; r < rows.size(); ++r)
            {
                ASSERT_EQ(rows[r].size(), row.expected[r].size());
                for (std::size_t c = 0; c < rows[r].size(); ++c)
                    EXPECT_NEAR(rows[r][c], row.expected[r][c],
                                1e-5 * std::max(1.0, std::abs(row.expected[r][c])));
            }
        }
    }
}

TEST(ONNXModule, ComputesFloat64ModelsInDoubleFromRawData)
{
    const Module module = load("mlp_float64");
    const auto table = TensorWithHeaders::fromCSVFile((models / "mlp_float64_reference.csv").string(),
                                                      TensorElementType::Double, true);
    const Tensor inputs = table.getTensor().slice(1, 0, 3);
    const auto expected = rowsOf(table.getTensor().slice(1, 3, 2));
    const auto got = rowsOf(module.eval(inputs));
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t r = 0; r < got.size(); ++r)
        for (std::size_t c = 0; c < 2; ++c)
            EXPECT_NEAR(got[r][c], expected[r][c], 1e-12 * std::max(1.0, std::abs(expected[r][c])))
                << "case " << r << " output " << c;
}

TEST(ONNXModule, TakesCasesOneAtATimeWhereTheModelFixesABatchOfOne)
{
    const Module batched = load("torch_tanh");
    const Module single = load("torch_tanh_batch1");
    const Tensor inputs = Tensor::fromRows({{0, 0, 0, 0, 0}, {1, -1, 0.5, 2, -3}, {0.1, 0.2, 0.3, 0.4, 0.5}},
                                           TensorElementType::Float);
    EXPECT_EQ(rowsOf(single.eval(inputs)), rowsOf(batched.eval(inputs)));
    EXPECT_EQ(single.eval(Tensor::createTensor({0, 5}, TensorElementType::Float)).getTensorShape().toString(),
              "{0, 2}");
}

TEST(ONNXModule, EvaluatesOnSeveralThreadsAtOnce)
{
    const Module module = load("torch_activations");
    const Tensor inputs = Tensor::fromRows({{0.5, -1, 2, 0.25}, {1, 1, 1, 1}}, TensorElementType::Float);
    const auto expected = rowsOf(module.eval(inputs));
    std::vector<std::future<bool>> runs;
    for (int t = 0; t < 4; ++t)
        runs.push_back(std::async(std::launch::async,
                                  [&]
                                  {
                                      bool same = true;
                                      for (int i = 0; i < 50; ++i)
                                          same = same && rowsOf(module.eval(inputs)) == expected;
                                      return same;
                                  }));
    for (auto& run : runs)
        EXPECT_TRUE(run.get());
}

TEST(ONNXModule, TellsItsOutputWidthForAnInputWidth)
{
    EXPECT_EQ(load("torch_activations").getOutputWidth(4), 3);
    EXPECT_EQ(load("output_not_last").getOutputWidth(2), 3);
    try
    {
        load("torch_activations").getOutputWidth(3);
        FAIL() << "a width the model does not take";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()),
                  "ONNX model: evaluation of a {1, 3} input failed: graph input 'inputs' has "
                  "the shape {-1, 4} (-1 for any size), not {1, 3}");
    }
}

// Inputs "a" {cases} and "b" {cases, 2} joined to (a, b0, b1), multiplied into (a, 2a + b0, -b1) and
// cut by Split into "first" (a) and "rest" (2a + b0, -b1), declared in the order rest, first.
GraphBuilder severalInputsAndOutputs(std::int64_t restWidth = 2)
{
    GraphBuilder g;
    onnx::GraphProto& graph = *g.model.mutable_graph();
    graph.clear_input();
    graph.clear_output();
    onnx::ValueInfoProto& a = *graph.add_input();
    a.set_name("a");
    a.mutable_type()->mutable_tensor_type()->set_elem_type(onnx::TensorProto::FLOAT);
    a.mutable_type()->mutable_tensor_type()->mutable_shape()->add_dim()->set_dim_param("cases");
    GraphBuilder::declare(*graph.add_input(), "b", onnx::TensorProto::FLOAT, 2);
    GraphBuilder::declare(*graph.add_output(), "rest", onnx::TensorProto::FLOAT, restWidth);
    GraphBuilder::declare(*graph.add_output(), "first", onnx::TensorProto::FLOAT, 1);
    for (const auto& [name, values] : {std::pair<std::string, std::vector<std::int64_t>>{"axis1", {1}},
                                       std::pair<std::string, std::vector<std::int64_t>>{"sizes", {1, 2}}})
    {
        onnx::TensorProto& t = *graph.add_initializer();
        t.set_name(name);
        t.set_data_type(onnx::TensorProto::INT64);
        t.add_dims(static_cast<std::int64_t>(values.size()));
        for (std::int64_t v : values)
            t.add_int64_data(v);
    }
    g.weights("W", {3, 3}, {1, 2, 0, 0, 1, 0, 0, 0, -1});
    g.node("Unsqueeze", "column", {"a", "axis1"}, "a1");
    setInt(g.node("Concat", "join", {"a1", "b"}, "x3"), "axis", 1);
    g.node("MatMul", "mix", {"x3", "W"}, "h");
    onnx::NodeProto& split = g.node("Split", "cut", {"h", "sizes"}, "first");
    split.add_output("rest");
    setInt(split, "axis", -1);
    return g;
}

TEST(ONNXModule, HandsColumnsToSeveralGraphInputsAndJoinsSeveralOutputsInDeclaredOrder)
{
    const Module module = Module::fromByteArray(ModuleType::ONNX, severalInputsAndOutputs().bytes());
    for (const TensorElementType type : {TensorElementType::Float, TensorElementType::Double})
    {
        SCOPED_TRACE(toString(type));
        const Tensor outputs = module.eval(Tensor::fromRows({{1, 2, 3}, {-1, 0.5, 4}}, type));
        EXPECT_EQ(outputs.getElementType(), type);
        EXPECT_EQ(rowsOf(outputs), (std::vector<std::vector<double>>{{4, -3, 1}, {-1.5, -4, -1}}));
        const Tensor none = module.eval(Tensor::createTensor({0, 3}, type));
        EXPECT_EQ(none.getDimensionSize(0), 0);
        EXPECT_EQ(none.getDimensionSize(1), 3);
    }
    EXPECT_EQ(module.getOutputWidth(3), 3);
    EXPECT_EQ(evalError(module, Tensor::fromRows({{1, 2, 3, 4}}, TensorElementType::Float)),
              "ONNX model: the graph inputs take 3 columns ('a' 1, 'b' 2), but the input {1, 4} has 4");
    EXPECT_EQ(evalError(module, Tensor::fromRows({{1, 2}}, TensorElementType::Float)),
              "ONNX model: the graph inputs take 3 columns ('a' 1, 'b' 2), but the input {1, 2} has 2");

    // An output that gives other columns than it declares would shift every column after it.
    const Module misdeclared = Module::fromByteArray(ModuleType::ONNX, severalInputsAndOutputs(3).bytes());
    EXPECT_EQ(evalError(misdeclared, Tensor::fromRows({{1, 2, 3}, {4, 5, 6}}, TensorElementType::Float)),
              "ONNX model: the output 'rest' is {2, 2} for 2 cases, but it declares 3 columns");

    // A sole {cases} input takes one column.
    GraphBuilder g;
    g.model.mutable_graph()->mutable_input(0)->mutable_type()->mutable_tensor_type()->mutable_shape()->mutable_dim()
        ->RemoveLast();
    g.node("Relu", "act", {"x"});
    const Module column = Module::fromByteArray(ModuleType::ONNX, g.bytes());
    EXPECT_EQ(rowsOf(column.eval(Tensor::fromRows({{-1}, {2}}, TensorElementType::Float))),
              (std::vector<std::vector<double>>{{0}, {2}}));
    EXPECT_EQ(evalError(column, Tensor::fromRows({{1, 2}}, TensorElementType::Float)),
              "ONNX model: the graph inputs take 1 columns ('x' 1), but the input {1, 2} has 2");
}

TEST(ONNXModule, RefusesSplitNodesItCannotEvaluate)
{
    const std::string prefix = "ONNX model could not be loaded: Split node 'cut': ";
    struct Row
    {
        std::string label;
        std::function<void(GraphBuilder&, onnx::NodeProto&)> edit;
        std::string message;
    };
    const std::vector<Row> rows{
        {"sizes both as attribute and input",
         [](GraphBuilder&, onnx::NodeProto& split)
         {
             onnx::AttributeProto& a = *split.add_attribute();
             a.set_name("split");
             a.set_type(onnx::AttributeProto::INTS);
             a.add_ints(1);
             a.add_ints(2);
         },
         "it gives its split sizes both as an attribute and as an input"},
        {"num_outputs beside sizes", [](GraphBuilder&, onnx::NodeProto& split) { setInt(split, "num_outputs", 2); },
         "it gives both num_outputs and split sizes"},
        {"num_outputs other than the outputs",
         [](GraphBuilder&, onnx::NodeProto& split)
         {
             split.mutable_input()->RemoveLast();
             setInt(split, "num_outputs", 3);
         },
         "num_outputs = 3 but it has 2 outputs"},
        {"as many attribute sizes as outputs",
         [](GraphBuilder&, onnx::NodeProto& split)
         {
             split.mutable_input()->RemoveLast();
             onnx::AttributeProto& a = *split.add_attribute();
             a.set_name("split");
             a.set_type(onnx::AttributeProto::INTS);
             for (std::int64_t v : {1, 1, 1})
                 a.add_ints(v);
         },
         "split = {1, 1, 1} gives 3 sizes for 2 outputs"},
        {"a negative size",
         [](GraphBuilder&, onnx::NodeProto& split)
         {
             split.mutable_input()->RemoveLast();
             onnx::AttributeProto& a = *split.add_attribute();
             a.set_name("split");
             a.set_type(onnx::AttributeProto::INTS);
             a.add_ints(4);
             a.add_ints(-1);
         },
         "split = {4, -1} has a size out of range"},
        {"float sizes",
         [](GraphBuilder& g, onnx::NodeProto& split)
         {
             g.weights("fsizes", {2}, {1, 2});
             split.set_input(1, "fsizes");
         },
         "the split input is float; it must be int64"},
        {"an output left out", [](GraphBuilder&, onnx::NodeProto& split) { split.set_output(1, ""); },
         "output 2 is left out"},
        {"an attribute Split does not take", [](GraphBuilder&, onnx::NodeProto& split) { setInt(split, "keepdims", 1); },
         "attribute 'keepdims' is not supported (the operator takes axis, num_outputs (since opset 18), split "
         "(before opset 13))"},
        {"three inputs", [](GraphBuilder&, onnx::NodeProto& split) { split.add_input("sizes"); },
         "it has 3 inputs; the operator takes 1 to 2"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        GraphBuilder g = severalInputsAndOutputs();
        onnx::NodeProto* split = nullptr;
        for (onnx::NodeProto& node : *g.model.mutable_graph()->mutable_node())
            if (node.op_type() == "Split")
                split = &node;
        row.edit(g, *split);
        EXPECT_EQ(loadError(g.bytes()), prefix + row.message);
    }

    // Sizes given as an input are known only when the graph runs: the node is named then.
    GraphBuilder g = severalInputsAndOutputs();
    for (onnx::TensorProto& t : *g.model.mutable_graph()->mutable_initializer())
        if (t.name() == "sizes")
            t.set_int64_data(1, 1);
    EXPECT_EQ(evalError(Module::fromByteArray(ModuleType::ONNX, g.bytes()),
                        Tensor::fromRows({{1, 2, 3}}, TensorElementType::Float)),
              "ONNX model: evaluation of a {1, 3} input failed: Split node 'cut': split = {1, 1} adds up to 2, not "
              "to the 3 elements along axis 1 of an input of shape {1, 3}");
}

TEST(ONNXModule, RefusesWhatItCannotEvaluateByNodeOperatorAndAttribute)
{
    const std::string prefix = "ONNX model could not be loaded: ";
    struct Row
    {
        std::string label;
        Utilities::bytearray bytes;
        std::string message;
    };
    std::vector<Row> rows;
    {
        GraphBuilder g;
        g.weights("W", {2, 2}, {1, 0, 0, 1});
        setInt(g.node("Gemm", "fc1", {"x", "W"}), "broadcast", 1);
        rows.push_back(
            {"an attribute the operator does not take", g.bytes(),
             "Gemm node 'fc1': attribute 'broadcast' is not supported (the operator takes alpha, beta, "
             "transA, transB)"});
    }
    {
        GraphBuilder g;
        g.weights("W", {2, 2}, {1, 0, 0, 1});
        setInt(g.node("Gemm", "fc1", {"x", "W"}), "transB", 2);
        rows.push_back(
            {"transB neither 0 nor 1", g.bytes(), "Gemm node 'fc1': transB = 2 is neither 0 nor 1"});
    }
    {
        GraphBuilder g;
        g.weights("W", {2, 2}, {1, 0, 0, 1});
        setFloat(g.node("Gemm", "fc1", {"x", "W"}), "transA", 1);
        rows.push_back({"an attribute of the wrong type", g.bytes(),
                        "Gemm node 'fc1': attribute 'transA' must be INT, not FLOAT"});
    }
    {
        GraphBuilder g;
        g.node("Unique", "", {"x"});
        rows.push_back(
            {"an operator it does not evaluate", g.bytes(),
             "Unique node #1: the operator Unique is not supported (supported: Add, Cast, Clip, Concat, "
             "Constant, Div, Elu, Flatten, Gemm, HardSigmoid, Identity, LeakyRelu, MatMul, Mul, Neg, "
             "Relu, Reshape, Selu, Sigmoid, Softplus, Split, Squeeze, Sub, Tanh, Transpose, Unsqueeze)"});
    }
    {
        GraphBuilder g;
        g.node("Relu", "act", {"x"}).set_domain("com.example");
        rows.push_back({"an operator of another domain", g.bytes(),
                        "Relu node 'act': the operator domain 'com.example' is not supported"});
    }
    {
        GraphBuilder g;
        g.node("Add", "sum", {"x", "bias"});
        rows.push_back({"an input defined nowhere", g.bytes(),
                        "Add node 'sum': input 'bias' is not defined by a graph input, an initializer or an "
                        "earlier node"});
    }
    {
        GraphBuilder g;
        g.weights("W", {2, 2}, {1, 0, 0, 1}).set_data_type(onnx::TensorProto::FLOAT16);
        g.node("MatMul", "mm", {"x", "W"});
        rows.push_back(
            {"a float16 initializer", g.bytes(),
             "initializer 'W': element type float16 is not supported (only float, double and int64 are)"});
    }
    {
        GraphBuilder g;
        onnx::TensorProto& w = g.weights("W", {2, 2}, {});
        w.set_raw_data(std::string(12, '\0'));
        g.node("MatMul", "mm", {"x", "W"});
        rows.push_back(
            {"raw data shorter than the shape", g.bytes(),
             "initializer 'W': it holds 12 bytes of data where its shape {2, 2} of float needs 16"});
    }
    {
        // No elements, but flattened sizes that would overflow.
        GraphBuilder g;
        g.weights("W", {0, std::int64_t(1) << 40, std::int64_t(1) << 40}, {});
        g.node("Flatten", "flat", {"W"});
        rows.push_back({"an empty initializer of enormous dimensions", g.bytes(),
                        "initializer 'W': the shape {0, 1099511627776, 1099511627776} has more than 16777216 "
                        "elements"});
    }
    {
        GraphBuilder g;
        g.weights("W", {2, 2}, {1, 0, 0, 1});
        g.node("MatMul", "mm", {"x", "W"});
        g.node("Cast", "todouble", {"y"}, "z")
            .add_attribute()
            ->CopyFrom(
                []
                {
                    onnx::AttributeProto a;
                    a.set_name("to");
                    a.set_type(onnx::AttributeProto::INT);
                    a.set_i(onnx::TensorProto::FLOAT16);
                    return a;
                }());
        rows.push_back(
            {"a cast to float16", g.bytes(),
             "Cast node 'todouble': to = float16 is not supported (only float, double and int64 are)"});
    }
    {
        GraphBuilder g;
        g.node("Relu", "act", {"x"}, "h");
        g.node("Tanh", "act2", {"h"});
        GraphBuilder::declare(*g.model.mutable_graph()->add_output(), "h", onnx::TensorProto::FLOAT, 2);
        rows.push_back({"two declared outputs, one of open width", g.bytes(),
                        "the output 'y' is declared {?, ?}, its second dimension symbolic or open; with 2 graph "
                        "outputs each must declare how many output columns it gives"});
    }
    {
        GraphBuilder g;
        GraphBuilder::declare(*g.model.mutable_graph()->add_input(), "t", onnx::TensorProto::FLOAT, -1);
        g.node("Add", "sum", {"x", "t"});
        rows.push_back({"two graph inputs, one of open width", g.bytes(),
                        "the input 't' is declared {?, ?}, its second dimension symbolic or open; with 2 graph "
                        "inputs each must declare how many input columns it takes"});
    }
    {
        GraphBuilder g;
        g.model.mutable_graph()->add_input()->CopyFrom(g.model.graph().input(0));
        g.model.mutable_graph()->mutable_input(1)->set_name("t");
        g.model.mutable_graph()->mutable_input(1)->mutable_type()->mutable_tensor_type()->clear_shape();
        g.node("Add", "sum", {"x", "t"});
        rows.push_back({"two graph inputs, one of no shape", g.bytes(),
                        "the input 't' declares no shape; with 2 graph inputs each must declare how many input "
                        "columns it takes"});
    }
    {
        GraphBuilder g;
        g.model.mutable_graph()->mutable_input(0)->mutable_type()->mutable_tensor_type()->mutable_shape()
            ->add_dim()->set_dim_value(1);
        g.node("Relu", "act", {"x"});
        rows.push_back({"an input of three dimensions", g.bytes(),
                        "the input 'x' has 3 dimensions; a model takes {cases, inputs} or {cases} tensors"});
    }
    {
        GraphBuilder g;
        g.node("Relu", "act", {"x"});
        g.model.mutable_graph()->mutable_output(0)->mutable_type()->mutable_tensor_type()->set_elem_type(
            onnx::TensorProto::DOUBLE);
        rows.push_back({"an output declared double but computed as float", g.bytes(),
                        "graph output 'y' is declared double but is computed as float"});
    }
    {
        GraphBuilder g;
        g.model.clear_opset_import();
        g.node("Relu", "act", {"x"});
        rows.push_back(
            {"no opset", g.bytes(), "the model imports no opset of the ONNX operators (opset_import)"});
    }
    rows.push_back({"bytes that are no model", Utilities::toByteArray(std::string("not a model")),
                    "the model data is not a valid ONNX model (it does not parse as one)"});
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(loadError(row.bytes), prefix + row.message);
    }
}

TEST(ONNXModule, ReportsShapesItCannotTakeWhenEvaluatingByNode)
{
    {
        GraphBuilder g;
        onnx::TensorProto& shape = *g.model.mutable_graph()->add_initializer();
        shape.set_name("shape");
        shape.set_data_type(onnx::TensorProto::INT64);
        shape.add_dims(2);
        shape.add_int64_data(std::numeric_limits<std::int64_t>::max());
        shape.add_int64_data(-1);
        g.node("Reshape", "rows", {"x", "shape"});
        EXPECT_EQ(
            evalError(Module::fromByteArray(ModuleType::ONNX, g.bytes()),
                      Tensor::fromRows({{1, 2}}, TensorElementType::Float)),
            "ONNX model: evaluation of a {1, 2} input failed: Reshape node 'rows': the shape input holds "
            "9.22337204e+18, out of range");
    }
    GraphBuilder g;
    g.weights("W", {3, 2}, {1, 0, 0, 1, 1, 1});
    g.node("Gemm", "fc1", {"x", "W"});
    const Module module = Module::fromByteArray(ModuleType::ONNX, g.bytes());
    EXPECT_EQ(
        evalError(module, Tensor::fromRows({{1, 2}}, TensorElementType::Float)),
        "ONNX model: evaluation of a {1, 2} input failed: Gemm node 'fc1': A is {1, 2} (transA = 0) and B is "
        "{3, 2} (transB = 0): their inner sizes 2 and 3 differ");
}

// The fuzzer's findings: model data that crashed the importer the module used before.
TEST(ONNXModule, FuzzerFindingsFailCleanly)
{
    const fs::path findings = CONFLUX_FUZZ_REGRESSIONS "/onnx_model";
    // Both use an input the graph names "h" as "x": the old importer read past its inputs.
    EXPECT_EQ(
        loadError(readBytes(findings / "segv-opencv-importer-1.onnx")),
        "ONNX model could not be loaded: Mul node 'Add_3': input 'x' is not defined by a graph input, an "
        "initializer or an earlier node");
    EXPECT_EQ(
        loadError(readBytes(findings / "segv-opencv-importer-2.onnx")),
        "ONNX model could not be loaded: Mul node 'Mul_3': input 'x' is not defined by a graph input, an "
        "initializer or an earlier node");
    for (const fs::directory_entry& entry : fs::directory_iterator(CONFLUX_FUZZ_REGRESSIONS "/onnx_model"))
    {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string error = loadError(readBytes(entry.path()));
        if (error == "no error")
            EXPECT_NE(evalError(Module::fromByteArray(ModuleType::ONNX, readBytes(entry.path())),
                                Tensor::createTensor({1, 4}, TensorElementType::Float)),
                      "");
        else
            EXPECT_EQ(error.rfind("ONNX model could not be loaded: ", 0), 0u) << error;
    }
}
} // namespace
