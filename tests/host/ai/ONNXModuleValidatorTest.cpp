#include "host/ai/modules/ONNXModuleValidator.h"
#include "host/ai/modules/Module.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace AISystem;
using ::testing::HasSubstr;

namespace
{
// A few protobuf wire-format helpers: enough to build small ONNX models field by field.
std::string varint(std::uint64_t value)
{
    std::string out;
    do
    {
        out += static_cast<char>((value & 0x7f) | (value > 0x7f ? 0x80 : 0));
        value >>= 7;
    } while (value);
    return out;
}
std::string bytesField(int number, const std::string& content)
{
    return varint(static_cast<std::uint64_t>(number) << 3 | 2) + varint(content.size()) + content;
}
std::string varintField(int number, std::uint64_t value)
{
    return varint(static_cast<std::uint64_t>(number) << 3) + varint(value);
}

std::string tensor(std::vector<std::int64_t> dims, int type, const std::string& data)
{
    std::string t;
    for (std::int64_t d : dims)
        t += varintField(1, static_cast<std::uint64_t>(d));
    return t + varintField(2, static_cast<std::uint64_t>(type)) + bytesField(8, "W") + data;
}
std::string valueInfo(const std::string& name, std::int64_t dim = 4)
{
    // {1, dim}: one case of `dim` values.
    const std::string shape =
        bytesField(1, varintField(1, 1)) + bytesField(1, varintField(1, static_cast<std::uint64_t>(dim)));
    return bytesField(1, name) + bytesField(2, bytesField(1, varintField(1, 1) + bytesField(2, shape)));
}
std::string node(const std::string& op, std::vector<std::string> inputs, std::vector<std::string> outputs)
{
    std::string n;
    for (const auto& i : inputs)
        n += bytesField(1, i);
    for (const auto& o : outputs)
        n += bytesField(2, o);
    return n + bytesField(4, op);
}
std::string model(const std::string& graph)
{
    return varintField(1, 8) + bytesField(7, graph) + bytesField(8, varintField(2, 13));
}
// x (4) -> MatMul with W (4x2) -> y: the well-formed base every row spoils in one place.
std::string graph(const std::string& weights,
                  const std::string& nodeBytes = node("MatMul", {"x", "W"}, {"y"}))
{
    return bytesField(1, nodeBytes) + bytesField(5, weights) + bytesField(11, valueInfo("x")) +
           bytesField(12, valueInfo("y", 2));
}
const std::string goodWeights = tensor({4, 2}, 1, bytesField(9, std::string(32, '\0')));

Utilities::bytearray bytes(const std::string& text)
{
    return Utilities::toByteArray(text);
}

std::string loadError(const Utilities::bytearray& data)
{
    try
    {
        Module::fromByteArray(ModuleType::ONNX, data);
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST(ONNXModuleValidator, AcceptsAWellFormedModelThatTheRuntimeRuns)
{
    const Utilities::bytearray data = bytes(model(graph(goodWeights)));
    EXPECT_EQ(validateONNXModel(data), "");
    const Module module = Module::fromByteArray(ModuleType::ONNX, data);
    EXPECT_EQ(module.eval(Tensor::fromRows({{1, 2, 3, 4}})).getTensorShape(), TensorShape({1, 2}));
}

TEST(ONNXModuleValidator, RefusesStructureTheRuntimeWouldTrust)
{
    const std::string packedFloats = bytesField(4, std::string(32, '\0'));
    const struct
    {
        const char* name;
        std::string bytes;
        const char* expected;
    } rows[] = {
        {"length past the end", bytesField(7, graph(goodWeights)).substr(0, 40), "model: field 7 claims"},
        {"group wire type", std::string("\x3b", 1), "model: field 7 has wire type 3"},
        {"overlong number", std::string("\x08") + std::string(11, '\xff'),
         "model: a number is longer than ten bytes"},
        {"no graph", varintField(1, 8), "model: no graph"},
        {"graph twice", model(graph(goodWeights)) + bytesField(7, graph(goodWeights)),
         "model: field 7 is given more than once"},
        {"no nodes", model(bytesField(11, valueInfo("x")) + bytesField(12, valueInfo("y"))),
         "graph: the graph has no nodes"},
        {"no inputs", model(bytesField(1, node("Relu", {"x"}, {"y"})) + bytesField(12, valueInfo("y"))),
         "graph: the graph has no inputs"},
        {"raw data too short", model(graph(tensor({4, 2}, 1, bytesField(9, std::string(31, '\0'))))),
         "graph.initializer[0]: raw data of 31 bytes for 8 elements of 4 bytes"},
        {"raw data too long", model(graph(tensor({4, 2}, 1, bytesField(9, std::string(64, '\0'))))),
         "graph.initializer[0]: raw data of 64 bytes for 8 elements of 4 bytes"},
        {"typed data too short", model(graph(tensor({4, 3}, 1, packedFloats))),
         "graph.initializer[0]: 8 values for 12 elements"},
        {"values in the wrong field", model(graph(tensor({1}, 1, varintField(7, 1)))),
         "graph.initializer[0]: data type 1 with values in field 7"},
        {"no data", model(graph(tensor({4, 2}, 1, ""))), "graph.initializer[0]: 0 values for 8 elements"},
        {"unknown data type", model(graph(tensor({1}, 99, bytesField(9, "1234")))),
         "graph.initializer[0]: tensor data type 99 does not exist"},
        {"huge dimensions", model(graph(tensor({1 << 20, 1 << 20}, 1, ""))),
         "graph.initializer[0]: the dimensions hold more than 2147483647 elements"},
        {"negative dimension", model(graph(tensor({-1}, 1, ""))),
         "graph.initializer[0]: the dimensions hold more than"},
        {"external data", model(graph(tensor({1}, 1, varintField(14, 1)))),
         "graph.initializer[0]: tensor data in external files is not supported"},
        {"node without outputs", model(graph(goodWeights, node("MatMul", {"x", "W"}, {}))),
         "graph.node[0]: the MatMul node has no output"},
        {"node missing an input", model(graph(goodWeights, node("MatMul", {"x"}, {"y"}))),
         "graph.node[0]: the MatMul node has 1 inputs, it needs 2"},
        {"node without operator", model(graph(goodWeights, bytesField(1, "x") + bytesField(2, "y"))),
         "graph.node[0]: the node has no operator"},
        {"negative input dimension",
         model(bytesField(1, node("Relu", {"x"}, {"y"})) + bytesField(11, valueInfo("x", -3)) +
               bytesField(12, valueInfo("y"))),
         "graph.input[0].shape.dim: dimension -3"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_THAT(validateONNXModel(bytes(row.bytes)), HasSubstr(row.expected));
        EXPECT_THAT(loadError(bytes(row.bytes)),
                    HasSubstr("ONNX model could not be loaded: the model data is not a valid ONNX model ("));
    }
}

// Inputs the fuzzers found crashing the runtime's importer are kept and must stay clear errors.
TEST(ONNXModuleValidator, FuzzerFindingsAreClearErrors)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CONFLUX_FUZZ_REGRESSIONS "/onnx_model"))
    {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        EXPECT_THAT(loadError(bytes(content.str())), HasSubstr("ONNX model could not be loaded: "));
        ++count;
    }
    EXPECT_GE(count, 3);
}
