// Split in each of its ONNX forms, run through ONNXGraph: sizes as an attribute (before opset 13) or
// an input (since), equal parts, num_outputs (opset 18) with a smaller last part, negative axes,
// empty parts, and the shapes it cannot split, named by node.
#include "host/ai/modules/ONNXGraph.h"

#include <gtest/gtest.h>
#include <onnx/onnx_pb.h>

#include <optional>
#include <string>
#include <vector>

using namespace AISystem;

namespace
{
struct SplitCase
{
    std::string label;
    int opset;
    ONNXElementType type;
    std::vector<std::int64_t> shape;
    std::int64_t axis; ///< 0 is also the default, which the node then leaves out
    std::optional<std::vector<std::int64_t>> sizesAttribute;
    std::optional<std::vector<std::int64_t>> sizesInput;
    std::optional<std::int64_t> numOutputs;
    std::size_t outputs;
    std::vector<std::vector<std::int64_t>> expectedShapes;
    std::vector<std::vector<double>> expectedValues;
};

int dataType(ONNXElementType type)
{
    switch (type)
    {
    case ONNXElementType::Float:
        return onnx::TensorProto::FLOAT;
    case ONNXElementType::Double:
        return onnx::TensorProto::DOUBLE;
    case ONNXElementType::Int64:
        return onnx::TensorProto::INT64;
    }
    return onnx::TensorProto::UNDEFINED;
}

ONNXGraph splitGraph(const SplitCase& c)
{
    onnx::ModelProto model;
    model.set_ir_version(8);
    model.add_opset_import()->set_version(c.opset);
    onnx::GraphProto& graph = *model.mutable_graph();
    onnx::ValueInfoProto& x = *graph.add_input();
    x.set_name("x");
    x.mutable_type()->mutable_tensor_type()->set_elem_type(dataType(c.type));
    onnx::NodeProto& node = *graph.add_node();
    node.set_op_type("Split");
    node.set_name("cut");
    node.add_input("x");
    if (c.sizesInput)
    {
        onnx::TensorProto& sizes = *graph.add_initializer();
        sizes.set_name("sizes");
        sizes.set_data_type(onnx::TensorProto::INT64);
        sizes.add_dims(static_cast<std::int64_t>(c.sizesInput->size()));
        for (std::int64_t v : *c.sizesInput)
            sizes.add_int64_data(v);
        node.add_input("sizes");
    }
    if (c.axis != 0)
    {
        onnx::AttributeProto& a = *node.add_attribute();
        a.set_name("axis");
        a.set_type(onnx::AttributeProto::INT);
        a.set_i(c.axis);
    }
    if (c.sizesAttribute)
    {
        onnx::AttributeProto& a = *node.add_attribute();
        a.set_name("split");
        a.set_type(onnx::AttributeProto::INTS);
        for (std::int64_t v : *c.sizesAttribute)
            a.add_ints(v);
    }
    if (c.numOutputs)
    {
        onnx::AttributeProto& a = *node.add_attribute();
        a.set_name("num_outputs");
        a.set_type(onnx::AttributeProto::INT);
        a.set_i(*c.numOutputs);
    }
    for (std::size_t o = 0; o < c.outputs; ++o)
    {
        const std::string name = "y" + std::to_string(o);
        node.add_output(name);
        onnx::ValueInfoProto& y = *graph.add_output();
        y.set_name(name);
        y.mutable_type()->mutable_tensor_type()->set_elem_type(dataType(c.type));
    }
    const std::string bytes = model.SerializeAsString();
    return ONNXGraph::fromBytes(Utilities::bytearray(bytes.begin(), bytes.end()));
}

/// 0, 1, 2, ... in the case's shape.
ONNXTensor counting(const SplitCase& c)
{
    ONNXTensor x{c.type, c.shape, {}};
    std::int64_t count = 1;
    for (std::int64_t d : c.shape)
        count *= d;
    for (std::int64_t i = 0; i < count; ++i)
        x.values.push_back(static_cast<double>(i));
    return x;
}

TEST(ONNXGraphSplit, CutsTheInputAsEachFormSays)
{
    const std::vector<SplitCase> cases{
        {"sizes as an attribute", 11, ONNXElementType::Float, {2, 3}, 1, std::vector<std::int64_t>{2, 1}, {}, {}, 2,
         {{2, 2}, {2, 1}}, {{0, 1, 3, 4}, {2, 5}}},
        {"sizes as an input, negative axis", 13, ONNXElementType::Double, {2, 3}, -1, {},
         std::vector<std::int64_t>{1, 2}, {}, 2, {{2, 1}, {2, 2}}, {{0, 3}, {1, 2, 4, 5}}},
        {"equal parts along the first axis", 13, ONNXElementType::Float, {4, 2}, 0, {}, {}, {}, 2,
         {{2, 2}, {2, 2}}, {{0, 1, 2, 3}, {4, 5, 6, 7}}},
        {"num_outputs, a smaller last part", 18, ONNXElementType::Float, {7}, 0, {}, {}, 4, 4,
         {{2}, {2}, {2}, {1}}, {{0, 1}, {2, 3}, {4, 5}, {6}}},
        {"num_outputs along the last of three axes", 18, ONNXElementType::Double, {1, 2, 5}, -1, {}, {}, 2, 2,
         {{1, 2, 3}, {1, 2, 2}}, {{0, 1, 2, 5, 6, 7}, {3, 4, 8, 9}}},
        {"empty parts", 13, ONNXElementType::Float, {3}, 0, {}, std::vector<std::int64_t>{0, 3, 0}, {}, 3,
         {{0}, {3}, {0}}, {{}, {0, 1, 2}, {}}},
        {"an empty input", 13, ONNXElementType::Float, {0, 4}, 1, {}, {}, {}, 2, {{0, 2}, {0, 2}}, {{}, {}}},
        {"int64 values", 13, ONNXElementType::Int64, {3}, 0, {}, std::vector<std::int64_t>{1, 2}, {}, 2,
         {{1}, {2}}, {{0}, {1, 2}}},
    };
    for (const SplitCase& c : cases)
    {
        SCOPED_TRACE(c.label);
        const std::vector<ONNXTensor> outputs = splitGraph(c).run({{"x", counting(c)}});
        ASSERT_EQ(outputs.size(), c.outputs);
        for (std::size_t o = 0; o < outputs.size(); ++o)
        {
            SCOPED_TRACE("output " + std::to_string(o));
            EXPECT_EQ(outputs[o].type, c.type);
            EXPECT_EQ(outputs[o].shape, c.expectedShapes[o]);
            EXPECT_EQ(outputs[o].values, c.expectedValues[o]);
        }
    }
}

TEST(ONNXGraphSplit, NamesTheNodeForShapesItCannotSplit)
{
    struct Row
    {
        SplitCase split;
        std::string message;
    };
    const std::vector<Row> rows{
        {{"unequal parts", 13, ONNXElementType::Float, {5}, 0, {}, {}, {}, 2, {}, {}},
         "Split node 'cut': the 5 elements along axis 0 of an input of shape {5} do not split into 2 equal parts"},
        {{"too few for num_outputs", 18, ONNXElementType::Float, {5}, 0, {}, {}, 4, 4, {}, {}},
         "Split node 'cut': the 5 elements along axis 0 of an input of shape {5} do not make 4 parts of 2"},
        {{"attribute sizes that do not add up", 11, ONNXElementType::Float, {2, 3}, 1,
          std::vector<std::int64_t>{1, 1}, {}, {}, 2, {}, {}},
         "Split node 'cut': split = {1, 1} adds up to 2, not to the 3 elements along axis 1 of an input of shape "
         "{2, 3}"},
        {{"fewer input sizes than outputs", 13, ONNXElementType::Float, {3}, 0, {}, std::vector<std::int64_t>{3}, {},
          2, {}, {}},
         "Split node 'cut': split = {3} gives 1 sizes for 2 outputs"},
        {{"an axis beyond the input", 13, ONNXElementType::Float, {2, 3}, 2, {}, {}, {}, 2, {}, {}},
         "Split node 'cut': axis = 2 is outside [-2, 1] for an input of rank 2"},
        {{"a scalar", 13, ONNXElementType::Float, {}, 0, {}, {}, {}, 1, {}, {}},
         "Split node 'cut': a scalar cannot be split"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.split.label);
        const ONNXGraph graph = splitGraph(row.split);
        try
        {
            graph.run({{"x", counting(row.split)}});
            ADD_FAILURE() << "no error";
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}
} // namespace
