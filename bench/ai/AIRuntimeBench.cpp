// Per-call latency of Module::eval on a 4-16-16-2 network against the bare runtime call on the
// same network, measured in the same run. Each benchmark reports module_us, bare_us and
// ratio = module / bare (the cost of the library's conversions and checks).
#include "host/ai/modules/Module.h"
#include "host/scripting/PythonCoreInterpreter.h"

#include <benchmark/benchmark.h>
#include <opencv2/dnn.hpp>
#include <pybind11/embed.h>
#include <pybind11/numpy.h>
#include <torch/script.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace py = pybind11;
using namespace AISystem;

namespace
{
const std::string fixtures = CONFLUX_AI_FIXTURES;

Utilities::bytearray readBytes(const std::string& name)
{
    std::ifstream file(fixtures + "/" + name, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return Utilities::toByteArray(content.str());
}

std::vector<double> randomInputs(std::int64_t batch)
{
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> uniform(-2.0, 2.0);
    std::vector<double> values(static_cast<std::size_t>(batch * 4));
    for (double& value : values)
        value = uniform(generator);
    return values;
}

/// Seconds per call, the best of a few timed rounds of ~50 ms each.
template <typename F> double secondsPerCall(F&& call)
{
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    for (int round = 0; round < 3; ++round)
    {
        std::int64_t calls = 0;
        const auto start = Clock::now();
        auto now = start;
        do
        {
            call();
            ++calls;
            now = Clock::now();
        } while (now - start < std::chrono::milliseconds(50));
        best =
            std::min(best, std::chrono::duration<double>(now - start).count() / static_cast<double>(calls));
    }
    return best;
}

template <typename Bare, typename Eval> void report(benchmark::State& state, Bare&& bare, Eval&& eval)
{
    bare();
    eval();
    for (auto _ : state)
        eval();
    const double bareSeconds = secondsPerCall(bare);
    const double moduleSeconds = secondsPerCall(eval);
    state.counters["bare_us"] = bareSeconds * 1e6;
    state.counters["module_us"] = moduleSeconds * 1e6;
    state.counters["ratio"] = moduleSeconds / bareSeconds;
}

void TorchScript(benchmark::State& state)
{
    const std::int64_t batch = state.range(0);
    const std::vector<double> values = randomInputs(batch);
    const Tensor inputs = Tensor::fromValues({batch, 4}, values).toElementType(TensorElementType::Float);
    const Module module = Module::fromByteArray(ModuleType::TorchScript, readBytes("mlp_4_16_16_2.pt"));

    std::istringstream stream(Utilities::toString(readBytes("mlp_4_16_16_2.pt")));
    torch::jit::Module bareModule = torch::jit::load(stream);
    bareModule.eval();
    std::vector<float> floats(values.begin(), values.end());
    std::vector<float> outputs(static_cast<std::size_t>(batch * 2));
    report(
        state,
        [&]
        {
            torch::InferenceMode inference;
            torch::Tensor input = torch::from_blob(floats.data(), {batch, 4}, torch::kFloat32);
            torch::Tensor output = bareModule.forward({input}).toTensor().contiguous();
            std::copy(output.data_ptr<float>(), output.data_ptr<float>() + output.numel(), outputs.begin());
        },
        [&] { benchmark::DoNotOptimize(module.eval(inputs)); });
}

void ONNX(benchmark::State& state)
{
    const std::int64_t batch = state.range(0);
    const std::vector<double> values = randomInputs(batch);
    const Tensor inputs = Tensor::fromValues({batch, 4}, values).toElementType(TensorElementType::Float);
    const Utilities::bytearray bytes = readBytes("mlp_4_16_16_2.onnx");
    const Module module = Module::fromByteArray(ModuleType::ONNX, bytes);

    cv::dnn::Net net = cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    cv::Mat blob(std::vector<int>{static_cast<int>(batch), 4}, CV_32F);
    std::copy(values.begin(), values.end(), blob.ptr<float>());
    report(
        state,
        [&]
        {
            net.setInput(blob);
            benchmark::DoNotOptimize(net.forward().clone());
        },
        [&] { benchmark::DoNotOptimize(module.eval(inputs)); });
}

void Python(benchmark::State& state)
{
    const std::int64_t batch = state.range(0);
    const std::vector<double> values = randomInputs(batch);
    const Tensor inputs = Tensor::fromValues({batch, 4}, values);
    const Utilities::bytearray bytes = readBytes("mlp_4_16_16_2.py");
    const Module module = Module::fromByteArray(ModuleType::Python, bytes);

    ScriptingSystem::PythonCoreInterpreter interpreter;
    const ScriptingSystem::PythonModule script = interpreter.importCodeModule(
        "bench_mlp", interpreter.compileExec(Utilities::toString(bytes), "bench_mlp.py"));
    const ScriptingSystem::PythonValue evaluate = script.findFunction("evaluate")->getCallable();
    std::vector<double> outputs(static_cast<std::size_t>(batch * 2));
    report(
        state,
        [&]
        {
            py::gil_scoped_acquire lock;
            py::array_t<double> array({batch, std::int64_t{4}}, values.data());
            py::array_t<double> result = py::reinterpret_borrow<py::object>(evaluate.get())(array);
            std::copy(result.data(), result.data() + result.size(), outputs.begin());
        },
        [&] { benchmark::DoNotOptimize(module.eval(inputs)); });
}
} // namespace

BENCHMARK(TorchScript)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ONNX)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Python)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
