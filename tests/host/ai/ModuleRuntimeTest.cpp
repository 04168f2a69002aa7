#include "host/ai/modules/Module.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/scripting/PythonTimeLimit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <sstream>

using namespace AISystem;
using ::testing::HasSubstr;

namespace
{
const std::string dataDir = CONFLUX_TEST_DATA;

Utilities::bytearray readBytes(const std::string& name)
{
    std::ifstream file(dataDir + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    EXPECT_TRUE(file.good()) << name;
    return Utilities::toByteArray(content.str());
}

struct Reference
{
    Tensor inputs;
    Tensor outputs;
};

Reference reference()
{
    const auto table = TensorWithHeaders::fromCSVFile(dataDir + "/mlp_4_16_16_2_reference.csv",
                                                      TensorElementType::Double, true);
    return {table.getTensor().slice(1, 0, 4), table.getTensor().slice(1, 4, 2)};
}

std::string loadError(ModuleType type, const Utilities::bytearray& bytes)
{
    try
    {
        Module::fromByteArray(type, bytes);
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

void expectNear(const Tensor& actual, const Tensor& expected, double tolerance)
{
    ASSERT_EQ(actual.getTensorShape(), expected.getTensorShape());
    for (std::int64_t i = 0; i < expected.getElementCount(); ++i)
        EXPECT_NEAR(actual.getDouble(i), expected.getDouble(i), tolerance) << "element " << i;
}

struct Runtime
{
    const char* name;
    ModuleType type;
    const char* file;
    double tolerance; // float32 runtimes round their arithmetic
};

const Runtime runtimes[] = {
    {"TorchScript", ModuleType::TorchScript, "mlp_4_16_16_2.pt", 1e-5},
    {"ONNX", ModuleType::ONNX, "mlp_4_16_16_2.onnx", 1e-5},
    {"Python", ModuleType::Python, "mlp_4_16_16_2.py", 1e-6},
};
} // namespace

TEST(ModuleRuntimes, EvaluateABatchInFloatAndDouble)
{
    const Reference ref = reference();
    for (const Runtime& runtime : runtimes)
    {
        SCOPED_TRACE(runtime.name);
        const Module module = Module::fromByteArray(runtime.type, readBytes(runtime.file));
        EXPECT_EQ(module.getType(), runtime.type);
        EXPECT_FALSE(module.canCalcImbalanceResults());
        EXPECT_FALSE(module.calcImbalanceResults(ref.inputs, ref.outputs).has_value());

        const Tensor doubles = module.eval(ref.inputs);
        EXPECT_EQ(doubles.getElementType(), TensorElementType::Double);
        expectNear(doubles, ref.outputs, runtime.tolerance);

        const Tensor floats = module.eval(ref.inputs.toElementType(TensorElementType::Float));
        EXPECT_EQ(floats.getElementType(), TensorElementType::Float);
        expectNear(floats, ref.outputs, 1e-5);

        // One case at a time gives the same rows as the batch; a one-dimensional input is one case.
        expectNear(module.eval(ref.inputs.slice(0, 3, 1)), ref.outputs.slice(0, 3, 1), runtime.tolerance);
        expectNear(module.eval(ref.inputs.slice(0, 1, 1).reshaped({4})), ref.outputs.slice(0, 1, 1),
                   runtime.tolerance);
        EXPECT_EQ(module.eval(Tensor::createTensor({0, 4}, TensorElementType::Double)).getTensorShape(),
                  TensorShape({0, 2}));
    }
}

TEST(ModuleRuntimes, CopiesShareTheModelAcrossThreads)
{
    const Reference ref = reference();
    for (const Runtime& runtime : runtimes)
    {
        SCOPED_TRACE(runtime.name);
        const Module module = Module::fromByteArray(runtime.type, readBytes(runtime.file));
        std::vector<std::future<Tensor>> results;
        for (int i = 0; i < 3; ++i)
            results.push_back(
                std::async(std::launch::async, [copy = module, &ref] { return copy.eval(ref.inputs); }));
        for (auto& result : results)
            expectNear(result.get(), ref.outputs, runtime.tolerance);
    }
}

TEST(ModuleRuntimes, WrongInputWidthIsAnErrorNamingTheShape)
{
    for (const Runtime& runtime : runtimes)
    {
        SCOPED_TRACE(runtime.name);
        const Module module = Module::fromByteArray(runtime.type, readBytes(runtime.file));
        const std::string message =
            evalError(module, Tensor::createTensor({2, 3}, TensorElementType::Double));
        EXPECT_THAT(message, HasSubstr(std::string(runtime.name) + " model: evaluation"));
        EXPECT_THAT(message, HasSubstr("{2, 3}"));
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        EXPECT_THAT(evalError(module, Tensor()), HasSubstr("{}"));
    }
}

TEST(ModuleRuntimes, UnloadableBytesSayWhatIsWrong)
{
    const Utilities::bytearray garbage = Utilities::toByteArray("\x01\x02not a model at all\xff");
    Utilities::bytearray truncatedTorch = readBytes("mlp_4_16_16_2.pt");
    truncatedTorch.resize(truncatedTorch.size() / 2);
    Utilities::bytearray truncatedOnnx = readBytes("mlp_4_16_16_2.onnx");
    truncatedOnnx.resize(truncatedOnnx.size() / 2);
    struct Row
    {
        const char* name;
        ModuleType type;
        Utilities::bytearray bytes;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"TorchScript empty",
         ModuleType::TorchScript,
         {},
         "TorchScript model could not be loaded: the model data is empty"},
        {"TorchScript garbage", ModuleType::TorchScript, garbage, "TorchScript model could not be loaded: "},
        {"TorchScript truncated", ModuleType::TorchScript, truncatedTorch,
         "TorchScript model could not be loaded: "},
        {"TorchScript given ONNX", ModuleType::TorchScript, readBytes("mlp_4_16_16_2.onnx"),
         "TorchScript model could not be loaded: "},
        {"ONNX empty", ModuleType::ONNX, {}, "ONNX model could not be loaded: the model data is empty"},
        {"ONNX garbage", ModuleType::ONNX, garbage, "ONNX model could not be loaded: "},
        {"ONNX truncated", ModuleType::ONNX, truncatedOnnx, "ONNX model could not be loaded: "},
        {"ONNX given TorchScript", ModuleType::ONNX, readBytes("mlp_4_16_16_2.pt"),
         "ONNX model could not be loaded: "},
        {"ONNX unsupported operator", ModuleType::ONNX, readBytes("unsupported_operator.onnx"),
         "ONNX model could not be loaded: Unique node #1: the operator Unique is not supported (supported: "},
        {"Python empty", ModuleType::Python, {}, "Python model: the script is empty"},
        {"Python binary", ModuleType::Python, garbage, "Python model: "},
        {"Python syntax", ModuleType::Python, Utilities::toByteArray("def evaluate(x:\n    return x\n"),
         "Python model: SyntaxError: "},
        {"Python no evaluate", ModuleType::Python, Utilities::toByteArray("def evaluat(x):\n    return x\n"),
         "Python model: the script defines no function evaluate(inputs)"},
        {"Python evaluate not callable", ModuleType::Python, Utilities::toByteArray("evaluate = 3\n"),
         "Python model: the script defines no function evaluate(inputs)"},
        {"Python raises at load", ModuleType::Python,
         Utilities::toByteArray("x = 1\nraise RuntimeError('no licence')\n"),
         "Python model: RuntimeError: no licence (<python model>, line 2)"},
        {"Transformed", ModuleType::Transformed, garbage,
         "A Transformed module cannot be loaded from bytes: build it with TranformedModule"},
        {"unknown type", static_cast<ModuleType>(7), garbage, "Unknown module type 7"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_THAT(loadError(row.type, row.bytes), HasSubstr(row.expected));
    }
}

TEST(ModuleRuntimes, NoneAndTrivialPassInputsThrough)
{
    const Tensor inputs = Tensor::fromRows({{1, 2}, {3, 4}});
    for (ModuleType type : {ModuleType::None, ModuleType::Trivial})
    {
        SCOPED_TRACE(static_cast<int>(type));
        const Module module = Module::fromByteArray(type, Utilities::toByteArray("anything"));
        EXPECT_EQ(module.getType(), type);
        EXPECT_EQ(module.eval(inputs), inputs);
    }
    EXPECT_EQ(Module().getType(), ModuleType::None);
}

TEST(PythonModel, ContractViolationsAreErrorsWithPythonsMessage)
{
    const Tensor inputs = Tensor::fromRows({{1, 2}, {3, 4}, {5, 6}});
    struct Row
    {
        const char* name;
        const char* script;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"raises", "def evaluate(inputs):\n    x = 1\n    return inputs / undefined\n",
         "Python model: evaluation of a {3, 2} input failed: NameError: name 'undefined' is not defined "
         "(<python model>, line 3)"},
        {"too few rows", "def evaluate(inputs):\n    return [[1.0]]\n",
         "Python model: evaluate returned 1 rows for 3 input rows"},
        {"ragged rows", "def evaluate(inputs):\n    return [[1.0], [2.0, 3.0], [4.0]]\n",
         "Python model: row 1 of evaluate's result has 2 outputs, row 0 has 1"},
        {"flat result", "def evaluate(inputs):\n    return [1.0, 2.0, 3.0]\n",
         "Python model: row 0 of evaluate's result is float, not a sequence of outputs"},
        {"not rows", "def evaluate(inputs):\n    return None\n",
         "Python model: evaluate returned NoneType, expected one row of outputs per input row"},
        {"text cell", "def evaluate(inputs):\n    return [[1.0], ['hot'], [2.0]]\n",
         "Python model: output 0 of row 1 is not a number: 'hot'"},
        {"empty rows", "def evaluate(inputs):\n    return [[], [], []]\n",
         "Python model: row 0 of evaluate's result has no outputs"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const Module module = Module::fromByteArray(ModuleType::Python, Utilities::toByteArray(row.script));
        EXPECT_EQ(evalError(module, inputs), row.expected);
    }
}

TEST(PythonModel, TakesListsAndNumpyResultsAndKeepsItsWidth)
{
    // Plain lists are accepted; module state persists between calls; the fourth call changes width.
    const Module module = Module::fromByteArray(ModuleType::Python, Utilities::toByteArray(R"(
calls = 0

def evaluate(inputs):
    global calls
    calls += 1
    if calls < 3:
        return [[float(sum(row)), float(calls)] for row in inputs]
    if calls == 3:
        return [(1, 2) for row in inputs]
    return [[0.0] for row in inputs]
)"));
    const Tensor inputs = Tensor::fromRows({{1, 2}, {3, 4}});
    EXPECT_EQ(module.eval(inputs), Tensor::fromRows({{3, 1}, {7, 1}}));
    EXPECT_EQ(module.eval(inputs.slice(0, 1, 1)), Tensor::fromRows({{7, 2}}));
    EXPECT_EQ(module.eval(inputs), Tensor::fromRows({{1, 2}, {1, 2}}));
    EXPECT_EQ(evalError(module, inputs),
              "Python model: evaluate returned 1 outputs per row, earlier calls returned 2");
}

TEST(PythonModel, ScriptsRunningPastTheTimeLimitAreStoppedWithAClearError)
{
    const auto saved = ScriptingSystem::PythonTimeLimit::limit();
    ScriptingSystem::PythonTimeLimit::setLimit(std::chrono::milliseconds(250));
    EXPECT_EQ(loadError(ModuleType::Python, Utilities::toByteArray("while True:\n    pass\n")),
              "Python model: the script did not finish within the time limit of 0.25 s");
    const Module looping = Module::fromByteArray(
        ModuleType::Python, Utilities::toByteArray("def evaluate(x):\n    while True:\n        pass\n"));
    EXPECT_EQ(evalError(looping, Tensor::fromRows({{1.0}})),
              "Python model: evaluate did not finish within the time limit of 0.25 s");
    const Module quick =
        Module::fromByteArray(ModuleType::Python, Utilities::toByteArray("def evaluate(x):\n    return x\n"));
    EXPECT_EQ(quick.eval(Tensor::fromRows({{3.0}})), Tensor::fromRows({{3.0}}));
    ScriptingSystem::PythonTimeLimit::setLimit(saved);
}
