// Training and inference of small networks against their anchors, measured in the same run:
// - training a 6-32-32-3 tanh network on 10,000 cases in float64 with full-batch Adam, in
//   iterations per second, against the same network, data, data type and optimiser in PyTorch (a
//   python3 child process);
// - the time the trainer's default optimiser takes to a target RMS error on those data, against
//   PyTorch's Adam;
// - Module::eval of a NeuralNetwork module (16-64-64-8 tanh) at batch 1 and 1,000 against OpenCV
//   dnn on the same weights and a bare libtorch forward.
// The ratios and their goals are printed after the runs.
#include "host/ai/modules/Module.h"
#include "host/ai/training/NeuralNetworkTrainer.h"

#include <benchmark/benchmark.h>
#include <opencv2/dnn.hpp>
#include <torch/script.h>
#include <torch/torch.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

using namespace AISystem;

namespace
{
constexpr int TrainingCases = 10000;
constexpr int ThroughputIterations = 20;
constexpr double AdamRate = 0.001;
// Time to target: Adam at a rate that suits these data (a fair anchor), until the RMS error is 0.05.
constexpr double TargetRate = 0.01;
constexpr double TargetRMSError = 0.05;
constexpr int TargetIterations = 3000;

// The cases of pytorch_training.py: a Kronecker sequence in [-1, 1]^6 and three smooth functions.
Example trainingData(int cases)
{
    const double primes[6] = {2, 3, 5, 7, 11, 13};
    std::vector<std::vector<double>> x(static_cast<size_t>(cases));
    std::vector<std::vector<double>> y(static_cast<size_t>(cases));
    for (int i = 0; i < cases; ++i)
    {
        for (double prime : primes)
        {
            const double step = static_cast<double>(i + 1) * std::fmod(std::sqrt(prime), 1.0);
            x[i].push_back(2.0 * (step - std::trunc(step)) - 1.0);
        }
        y[i] = {std::sin(x[i][0] + x[i][1]), x[i][2] * x[i][3], std::tanh(x[i][4] - x[i][5])};
    }
    return Example(Tensor::fromRows(x), Tensor::fromRows(y), cases);
}

std::unique_ptr<NeuralNetworkTrainer> trainingNetwork(NeuralNetworkOptimiser optimiser)
{
    NeuralNetworkTrainer::setManualSeed(1);
    auto network =
        std::make_unique<NeuralNetworkTrainer>(6, 3, std::vector<size_t>{32, 32}, TensorElementType::Double,
                                               std::nullopt, NeuralNetworkType::Generic);
    network->setOptions({optimiser});
    return network;
}

// Runs the PyTorch reference; false (and the benchmark skipped) when it cannot run.
bool runPyTorch(benchmark::State& state, const std::string& arguments, double& seconds, int& iterations)
{
    const std::string command =
        std::string(AITRAINING_PYTHON) + " " + AITRAINING_PYTORCH_SCRIPT + " " + arguments + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    double rms = 0.0;
    const bool read = pipe && std::fscanf(pipe, "%lf %d %lf", &seconds, &iterations, &rms) == 3;
    if (pipe)
        pclose(pipe);
    if (!read)
        state.SkipWithError("PyTorch (python3-torch) is not available: no anchor for the training ratios");
    return read;
}

void BM_TrainLibraryAdam(benchmark::State& state)
{
    auto network = trainingNetwork(NeuralNetworkOptimiser::Adam);
    const Example data = trainingData(TrainingCases);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            network->train(data, Example(), 0.0, ThroughputIterations, AdamRate, std::nullopt, nullptr));
    state.counters["iterations_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * ThroughputIterations), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TrainLibraryAdam)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_TrainPyTorchAdam(benchmark::State& state)
{
    const std::string arguments = std::to_string(TrainingCases) + " " + std::to_string(ThroughputIterations) +
                                  " " + std::to_string(AdamRate);
    double total = 0.0;
    for (auto _ : state)
    {
        double seconds = 0.0;
        int iterations = 0;
        if (!runPyTorch(state, arguments, seconds, iterations))
            return;
        state.SetIterationTime(seconds);
        total += iterations;
    }
    state.counters["iterations_per_s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TrainPyTorchAdam)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

void timeToTarget(benchmark::State& state, NeuralNetworkOptimiser optimiser)
{
    const Example data = trainingData(TrainingCases);
    for (auto _ : state)
    {
        auto network = trainingNetwork(optimiser);
        const auto result = network->train(data, Example(), TargetRMSError, TargetIterations, TargetRate,
                                           std::nullopt, nullptr);
        state.counters["iterations"] = result.iterations;
        state.counters["rms"] = result.rmsError;
    }
}
void BM_ToTargetLibraryDefault(benchmark::State& state)
{
    timeToTarget(state, NeuralNetworkTrainerOptions().optimiser);
}
void BM_ToTargetLibraryAdam(benchmark::State& state)
{
    timeToTarget(state, NeuralNetworkOptimiser::Adam);
}
BENCHMARK(BM_ToTargetLibraryDefault)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ToTargetLibraryAdam)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The sample project's network (2-16-16-2 on 400 cases of a server's air side, learning rate 0.01)
// as examples/tools/make-sample-model trains it, to an RMS error of 0.02 that Adam reaches too:
// the data the default optimiser is chosen on.
void sampleToTarget(benchmark::State& state, NeuralNetworkOptimiser optimiser)
{
    std::mt19937_64 generator(3);
    std::uniform_real_distribution<double> power(100.0, 1000.0), inlet(15.0, 35.0);
    std::vector<std::vector<double>> x, y;
    for (int i = 0; i < 400; ++i)
    {
        const double p = power(generator), t = inlet(generator);
        const double flow = 0.015 + 4.5e-5 * p + 8e-4 * std::max(0.0, t - 25.0);
        x.push_back({p, (t - 24.0) / 5.0});
        y.push_back({t + p / (1.2 * 1005.0 * flow), flow});
    }
    const Example data(Tensor::fromRows(x), Tensor::fromRows(y), 400);
    for (auto _ : state)
    {
        NeuralNetworkTrainer::setManualSeed(7);
        NeuralNetworkTrainer network(2, 2, {16, 16}, TensorElementType::Double, std::nullopt,
                                     NeuralNetworkType::Generic);
        network.setOptions({optimiser});
        const auto result = network.train(data, Example(), 0.02, 20000, 0.01, std::nullopt, nullptr);
        state.counters["iterations"] = result.iterations;
        state.counters["rms"] = result.rmsError;
    }
}
void BM_SampleToTargetLBFGS(benchmark::State& state)
{
    sampleToTarget(state, NeuralNetworkOptimiser::LBFGS);
}
void BM_SampleToTargetAdam(benchmark::State& state)
{
    sampleToTarget(state, NeuralNetworkOptimiser::Adam);
}
BENCHMARK(BM_SampleToTargetLBFGS)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SampleToTargetAdam)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ToTargetPyTorchAdam(benchmark::State& state)
{
    const std::string arguments = std::to_string(TrainingCases) + " " + std::to_string(TargetIterations) +
                                  " " + std::to_string(TargetRate) + " " + std::to_string(TargetRMSError);
    for (auto _ : state)
    {
        double seconds = 0.0;
        int iterations = 0;
        if (!runPyTorch(state, arguments, seconds, iterations))
            return;
        state.SetIterationTime(seconds);
        state.counters["iterations"] = iterations;
    }
}
BENCHMARK(BM_ToTargetPyTorchAdam)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A 16-64-64-8 network with trained-looking weights and scaling, as a NeuralNetwork module of
// each element type, and the same weights for libtorch and OpenCV dnn.
struct Network
{
    Module doubleModule;
    Module floatModule;
    std::vector<torch::Tensor> weights, biases;
    torch::Tensor inputOffset, inputScale, outputOffset, outputScale;
    cv::dnn::Net opencv;
};

Network makeNetwork()
{
    constexpr int inputs = 16, hidden = 64, outputs = 8;
    std::vector<std::vector<double>> x, y;
    for (int i = 0; i < 200; ++i)
    {
        x.emplace_back();
        for (int c = 0; c < inputs; ++c)
            x.back().push_back(20.0 + 5.0 * std::sin(0.37 * (i * inputs + c)));
        y.emplace_back();
        for (int c = 0; c < outputs; ++c)
            y.back().push_back(100.0 * std::cos(x.back()[c] + x.back()[c + 1]));
    }
    const Example data(Tensor::fromRows(x), Tensor::fromRows(y), 200);
    Network network;
    for (const auto type : {TensorElementType::Double, TensorElementType::Float})
    {
        NeuralNetworkTrainer::setManualSeed(2);
        NeuralNetworkTrainer trainer(inputs, outputs, {hidden, hidden}, type, std::nullopt,
                                     NeuralNetworkType::Generic);
        trainer.setOptions({NeuralNetworkOptimiser::Adam});
        trainer.train(data, Example(), 0.0, 20, 0.01, std::nullopt, nullptr);
        const auto bytes = trainer.toByteArray();
        (type == TensorElementType::Double ? network.doubleModule : network.floatModule) =
            Module::fromByteArray(ModuleType::NeuralNetwork, bytes);
        if (type == TensorElementType::Float)
            continue;
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        auto archive = torch::jit::load(in);
        for (int i = 0; i < 3; ++i)
        {
            network.weights.push_back(archive.attr("w" + std::to_string(i)).toTensor().detach());
            network.biases.push_back(archive.attr("b" + std::to_string(i)).toTensor().detach());
        }
        network.inputOffset = archive.attr("input_offset").toTensor();
        network.inputScale = archive.attr("input_scale").toTensor();
        network.outputOffset = archive.attr("output_offset").toTensor();
        network.outputScale = archive.attr("output_scale").toTensor();
    }
    // OpenCV dnn gets the scaling folded into its first and last layers, as the module does.
    auto w0 = network.weights[0] / network.inputScale;
    auto b0 = network.biases[0] - torch::mv(w0, network.inputOffset);
    auto w2 = network.weights[2] * network.outputScale.unsqueeze(1);
    auto b2 = network.biases[2] * network.outputScale + network.outputOffset;
    const std::vector<torch::Tensor> weights{w0, network.weights[1], w2}, biases{b0, network.biases[1], b2};
    for (size_t l = 0; l < 3; ++l)
    {
        const auto w = weights[l].to(torch::kFloat32).contiguous();
        const auto b = biases[l].to(torch::kFloat32).contiguous();
        cv::dnn::LayerParams layer;
        layer.type = "InnerProduct";
        layer.name = "dense" + std::to_string(l);
        layer.set("num_output", static_cast<int>(w.size(0)));
        layer.set("bias_term", true);
        layer.blobs.push_back(cv::Mat(static_cast<int>(w.size(0)), static_cast<int>(w.size(1)), CV_32F,
                                      const_cast<float*>(w.data_ptr<float>()))
                                  .clone());
        layer.blobs.push_back(
            cv::Mat(1, static_cast<int>(b.size(0)), CV_32F, const_cast<float*>(b.data_ptr<float>())).clone());
        network.opencv.addLayerToPrev(layer.name, layer.type, layer);
        if (l < 2)
        {
            cv::dnn::LayerParams tanh;
            tanh.type = "TanH";
            tanh.name = "tanh" + std::to_string(l);
            network.opencv.addLayerToPrev(tanh.name, tanh.type, tanh);
        }
    }
    return network;
}

const Network& network()
{
    static const Network built = makeNetwork();
    return built;
}

Tensor batchOf(std::int64_t rows, TensorElementType type)
{
    std::vector<double> values(static_cast<size_t>(rows * 16));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = 20.0 + 5.0 * std::sin(static_cast<double>(i));
    return Tensor::fromValues(TensorShape{rows, 16}, std::move(values)).toElementType(type);
}

void BM_EvalModuleDouble(benchmark::State& state)
{
    const Tensor inputs = batchOf(state.range(0), TensorElementType::Double);
    for (auto _ : state)
        benchmark::DoNotOptimize(network().doubleModule.eval(inputs));
}

void BM_EvalModuleFloat(benchmark::State& state)
{
    const Tensor inputs = batchOf(state.range(0), TensorElementType::Float);
    for (auto _ : state)
        benchmark::DoNotOptimize(network().floatModule.eval(inputs));
}

void BM_EvalOpenCV(benchmark::State& state)
{
    const Tensor inputs = batchOf(state.range(0), TensorElementType::Float);
    cv::dnn::Net net = network().opencv;
    cv::Mat blob(std::vector<int>{static_cast<int>(state.range(0)), 16}, CV_32F,
                 const_cast<float*>(inputs.data<float>()));
    for (auto _ : state)
    {
        net.setInput(blob);
        benchmark::DoNotOptimize(net.forward().clone());
    }
}

void BM_EvalBareLibtorch(benchmark::State& state)
{
    const auto& n = network();
    const Tensor batch = batchOf(state.range(0), TensorElementType::Double);
    const auto inputs =
        torch::from_blob(const_cast<double*>(batch.data<double>()), {state.range(0), 16}, torch::kFloat64);
    torch::NoGradGuard noGrad;
    for (auto _ : state)
    {
        auto h = (inputs - n.inputOffset) / n.inputScale;
        h = torch::tanh(torch::addmm(n.biases[0], h, n.weights[0].t()));
        h = torch::tanh(torch::addmm(n.biases[1], h, n.weights[1].t()));
        benchmark::DoNotOptimize(torch::addmm(n.biases[2], h, n.weights[2].t()) * n.outputScale +
                                 n.outputOffset);
    }
}

BENCHMARK(BM_EvalModuleDouble)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EvalModuleFloat)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EvalOpenCV)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EvalBareLibtorch)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (!run.error_occurred)
            {
                const std::string name =
                    run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
                // Evaluation is timed by the processor time it takes, which a loaded machine's
                // waits for a core do not inflate; training by the clock, as PyTorch's is.
                const bool eval = name.rfind("BM_Eval", 0) == 0;
                seconds[name] = (eval ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime()) /
                                benchmark::GetTimeUnitMultiplier(run.time_unit);
                for (const auto& [counter, value] : run.counters)
                    counters[name + ":" + counter] = value.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    std::map<std::string, double> counters;
};

// One line of the summary: the measure, its value and the goal, or why it is missing.
void line(const std::string& measure, std::optional<double> value, const std::string& unit,
          const std::string& goal)
{
    std::cout << "  " << std::left << std::setw(72) << measure;
    if (value)
        std::cout << std::right << std::setw(9) << std::setprecision(3) << *value << unit;
    else
        std::cout << std::right << std::setw(9) << "n/a" << std::string(unit.size(), ' ');
    std::cout << "   goal " << goal << "\n";
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto find = [](const std::map<std::string, double>& values,
                         const std::string& key) -> std::optional<double>
    {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional<double>(found->second);
    };
    const auto ratio = [](std::optional<double> a, std::optional<double> b) -> std::optional<double>
    { return a && b ? std::optional<double>(*a / *b) : std::nullopt; };
    const auto& s = reporter.seconds;
    const auto& c = reporter.counters;
    std::cout << "\nRatios against anchors measured in this run\n";
    line("training 6-32-32-3, 10,000 cases, float64 Adam: iterations/s vs PyTorch",
         ratio(find(c, "BM_TrainLibraryAdam:iterations_per_s"),
               find(c, "BM_TrainPyTorchAdam:iterations_per_s")),
         "x", ">= 1.5x");
    line("time to RMS error 0.05, default optimiser vs PyTorch Adam",
         ratio(find(s, "BM_ToTargetLibraryDefault"), find(s, "BM_ToTargetPyTorchAdam")), "x", "<= 0.25x");
    line("  (the library's Adam to the same target vs PyTorch Adam)",
         ratio(find(s, "BM_ToTargetLibraryAdam"), find(s, "BM_ToTargetPyTorchAdam")), "x", "-");
    line("sample-like data to RMS error 0.02: L-BFGS time / Adam time",
         ratio(find(s, "BM_SampleToTargetLBFGS"), find(s, "BM_SampleToTargetAdam")), "x",
         "< 1x for L-BFGS as default");
    const auto micro = [](std::optional<double> v)
    { return v ? std::optional<double>(*v * 1e6) : std::nullopt; };
    line("Module::eval 16-64-64-8, batch 1, double", micro(find(s, "BM_EvalModuleDouble/1")), " us",
         "<= 1 us");
    line("Module::eval 16-64-64-8, batch 1, float", micro(find(s, "BM_EvalModuleFloat/1")), " us", "<= 1 us");
    for (const char* batch : {"1", "1000"})
    {
        const std::string goal = std::string(batch) == "1" ? "> 1x" : ">= 2x";
        line(std::string("OpenCV dnn time / Module::eval time, batch ") + batch + ", double module",
             ratio(find(s, std::string("BM_EvalOpenCV/") + batch),
                   find(s, std::string("BM_EvalModuleDouble/") + batch)),
             "x", goal);
        line(std::string("OpenCV dnn time / Module::eval time, batch ") + batch + ", float module",
             ratio(find(s, std::string("BM_EvalOpenCV/") + batch),
                   find(s, std::string("BM_EvalModuleFloat/") + batch)),
             "x", goal);
        line(std::string("bare libtorch forward time / Module::eval time, batch ") + batch + ", double",
             ratio(find(s, std::string("BM_EvalBareLibtorch/") + batch),
                   find(s, std::string("BM_EvalModuleDouble/") + batch)),
             "x", "-");
    }
    benchmark::Shutdown();
    return 0;
}
