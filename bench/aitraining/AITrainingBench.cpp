// Training throughput of NeuralNetworkTrainer against the same network and optimiser in PyTorch
// (Python, run as a child process in the same run), and the latency of Module::eval of a
// NeuralNetwork module against a bare libtorch forward of the same weights. Ratios are printed
// after the runs.
#include "host/ai/Module.h"
#include "host/ai/NeuralNetworkTrainer.h"

#include <benchmark/benchmark.h>
#include <torch/script.h>
#include <torch/torch.h>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

using namespace AISystem;

namespace
{
constexpr int TrainingCases = 10000;
constexpr int IterationsPerCall = 100;

Example trainingData(int cases, int inputs, int outputs)
{
    std::mt19937_64 generator(1);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::vector<std::vector<double>> x(static_cast<size_t>(cases));
    std::vector<std::vector<double>> y(static_cast<size_t>(cases));
    for (int i = 0; i < cases; ++i)
    {
        for (int c = 0; c < inputs; ++c)
            x[i].push_back(unit(generator));
        for (int c = 0; c < outputs; ++c)
            y[i].push_back(std::sin(x[i][c % inputs] + x[i][(c + 1) % inputs]));
    }
    return Example(Tensor::fromRows(x), Tensor::fromRows(y), cases);
}

void BM_TrainLibrary(benchmark::State& state)
{
    NeuralNetworkTrainer::setManualSeed(1);
    NeuralNetworkTrainer network(6, 3, {32, 32}, TensorElementType::Float, std::nullopt, NeuralNetworkType::Generic);
    const Example data = trainingData(TrainingCases, 6, 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(network.train(data, Example(), 0.0, IterationsPerCall, 0.001, std::nullopt, nullptr));
    state.SetItemsProcessed(state.iterations() * TrainingCases * IterationsPerCall);
}
BENCHMARK(BM_TrainLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_TrainPyTorch(benchmark::State& state)
{
    const std::string command = std::string(AITRAINING_PYTHON) + " " + AITRAINING_PYTORCH_SCRIPT + " " +
                                std::to_string(TrainingCases) + " " + std::to_string(IterationsPerCall);
    for (auto _ : state)
    {
        FILE* pipe = popen(command.c_str(), "r");
        double seconds = -1.0;
        if (!pipe || std::fscanf(pipe, "%lf", &seconds) != 1)
        {
            if (pipe)
                pclose(pipe);
            state.SkipWithError("the PyTorch reference did not run");
            return;
        }
        pclose(pipe);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * TrainingCases * IterationsPerCall);
}
BENCHMARK(BM_TrainPyTorch)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A briefly trained network, its NeuralNetwork module loaded from bytes, and the same weights as
// plain libtorch tensors.
struct Network
{
    Module module;
    std::vector<torch::Tensor> weights;
    std::vector<torch::Tensor> biases;
    torch::Tensor inputOffset, inputScale, outputOffset, outputScale;
};

Network makeNetwork(int inputs, int hidden, int outputs)
{
    NeuralNetworkTrainer::setManualSeed(2);
    NeuralNetworkTrainer trainer(inputs, outputs, {static_cast<size_t>(hidden), static_cast<size_t>(hidden)},
                                 TensorElementType::Float, std::nullopt, NeuralNetworkType::Generic);
    trainer.train(trainingData(500, inputs, outputs), Example(), 0.0, 20, 0.01, std::nullopt, nullptr);
    const auto bytes = trainer.toByteArray();
    Network network{Module::fromByteArray(ModuleType::NeuralNetwork, bytes), {}, {}, {}, {}, {}, {}};
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
    return network;
}

Tensor batchOf(int rows, int columns)
{
    std::vector<float> values(static_cast<size_t>(rows * columns));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(std::sin(static_cast<double>(i)));
    return Tensor::fromValues(TensorShape{rows, columns}, std::move(values));
}

void BM_EvalModule(benchmark::State& state)
{
    const auto network = makeNetwork(state.range(0), state.range(1), state.range(2));
    const Tensor inputs = batchOf(state.range(3), state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(network.module.eval(inputs));
}

void BM_EvalBareLibtorch(benchmark::State& state)
{
    const auto network = makeNetwork(state.range(0), state.range(1), state.range(2));
    const Tensor batch = batchOf(state.range(3), state.range(0));
    const auto inputs = torch::from_blob(const_cast<float*>(batch.data<float>()), {state.range(3), state.range(0)});
    torch::NoGradGuard noGrad;
    for (auto _ : state)
    {
        auto h = (inputs - network.inputOffset) / network.inputScale;
        h = torch::tanh(torch::addmm(network.biases[0], h, network.weights[0].t()));
        h = torch::tanh(torch::addmm(network.biases[1], h, network.weights[1].t()));
        benchmark::DoNotOptimize(torch::addmm(network.biases[2], h, network.weights[2].t()) * network.outputScale +
                                 network.outputOffset);
    }
}

// {inputs, hidden nodes, outputs, batch}: the trained 6-32-32-3 network at batch 1, and the
// 4-16-16-2 network that the other runtimes are measured on, at batch 1 and 1000.
void latencyCases(benchmark::internal::Benchmark* benchmark)
{
    benchmark->Args({6, 32, 3, 1})->Args({4, 16, 2, 1})->Args({4, 16, 2, 1000})->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_EvalModule)->Apply(latencyCases);
BENCHMARK(BM_EvalBareLibtorch)->Apply(latencyCases);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (!run.error_occurred)
            {
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
                const auto items = run.counters.find("items_per_second");
                if (items != run.counters.end())
                    throughput[run.benchmark_name()] = items->second.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> throughput;
};
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nRatios (measured in this run)\n";
    const auto library = reporter.throughput.find("BM_TrainLibrary/iterations:5/real_time");
    const auto pytorch = reporter.throughput.find("BM_TrainPyTorch/iterations:3/manual_time");
    if (library != reporter.throughput.end() && pytorch != reporter.throughput.end())
        std::cout << "  training 6-32-32-3 on " << TrainingCases << " cases, cases x iterations/s, library / PyTorch: "
                  << library->second / pytorch->second << "\n";
    for (const char* args : {"6/32/3/1", "4/16/2/1", "4/16/2/1000"})
    {
        const auto module = reporter.times.find(std::string("BM_EvalModule/") + args);
        const auto bare = reporter.times.find(std::string("BM_EvalBareLibtorch/") + args);
        if (module != reporter.times.end() && bare != reporter.times.end())
            std::cout << "  Module::eval / bare libtorch forward, {inputs/hidden/outputs/batch} " << args << ": "
                      << module->second / bare->second << "\n";
    }
    benchmark::Shutdown();
    return 0;
}
