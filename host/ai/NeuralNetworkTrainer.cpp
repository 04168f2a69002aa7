#include "host/ai/NeuralNetworkTrainer.h"

#include "host/ai/NeuralNetwork.h"
#include "host/ai/NeuralNetworkModuleImpl.h"
#include "host/ai/PhysicalModelBalance.h"
#include "host/services/ToolProgress.h"

#include <torch/torch.h>

#include <cmath>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

namespace AISystem
{
namespace
{
// Weight of the squared relative imbalance against the mean squared scaled error in the loss of a
// physics-informed network. Simulated training data obey the balance, so where data and balance
// disagree (noise, too few cases) the balance is trusted more.
constexpr double PhysicsWeight = 10.0;
// Progress lines per training run, besides the last.
constexpr int ProgressLines = 20;

std::mutex seedMutex;
std::optional<std::mt19937_64> seedGenerator;

std::uint64_t nextSeed()
{
    std::lock_guard lock(seedMutex);
    if (!seedGenerator)
        seedGenerator.emplace(std::random_device{}());
    return (*seedGenerator)();
}

detail::NeuralNetworkLayout makeLayout(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                                       TensorElementType elementType,
                                       const std::optional<PhysicalModel>& physicalModel,
                                       NeuralNetworkType networkType)
{
    return {inputs,       outputs,
            hiddenLayers, elementType == TensorElementType::None ? TensorElementType::Double : elementType,
            networkType,  physicalModel};
}

std::string number(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

// Checks one table of an example and returns its row count.
std::int64_t checkTable(const Tensor& table, int columns, const std::string& name, const std::string& unit)
{
    if (table.getDimensionCount() != 2)
        throw std::invalid_argument(name + " must be a table {cases, " + std::to_string(columns) + "}, not " +
                                    table.getTensorShape().toString());
    if (table.getDimensionSize(1) != columns)
        throw std::invalid_argument(name + " have " + std::to_string(table.getDimensionSize(1)) +
                                    " columns, the network has " + std::to_string(columns) + " " + unit);
    const auto values = table.toDoubleVector();
    for (size_t i = 0; i < values.size(); ++i)
        if (!std::isfinite(values[i]))
            throw std::invalid_argument(name + " hold the non-finite value " + number(values[i]) +
                                        " at row " + std::to_string(i / static_cast<size_t>(columns)) +
                                        ", column " + std::to_string(i % static_cast<size_t>(columns)));
    return table.getDimensionSize(0);
}

// Checks an example against the network and returns its case count; an example without tables
// (a default Example) has no cases.
std::int64_t checkExample(const Example& example, const detail::NeuralNetworkLayout& layout,
                          const std::string& name, bool mayBeEmpty)
{
    const bool noTables =
        example.getInputs().getDimensionCount() == 0 && example.getOutputs().getDimensionCount() == 0;
    if (noTables && mayBeEmpty)
        return 0;
    const auto inputRows = checkTable(example.getInputs(), layout.inputs, name + " inputs", "inputs");
    const auto outputRows = checkTable(example.getOutputs(), layout.outputs, name + " outputs", "outputs");
    if (inputRows != outputRows)
        throw std::invalid_argument(name + " example has " + std::to_string(inputRows) + " input rows and " +
                                    std::to_string(outputRows) + " output rows");
    if (inputRows == 0 && !mayBeEmpty)
        throw std::invalid_argument(name + " example has no cases");
    return inputRows;
}

torch::Tensor weightTensor(const std::optional<Tensor>& weights, int outputs, torch::ScalarType type)
{
    if (!weights)
        return torch::ones({outputs}, torch::TensorOptions().dtype(type));
    if (weights->getElementCount() != outputs)
        throw std::invalid_argument("Output weights " + weights->getTensorShape().toString() + " hold " +
                                    std::to_string(weights->getElementCount()) + " values, the network has " +
                                    std::to_string(outputs) + " outputs");
    const auto values = weights->toDoubleVector();
    double sum = 0.0;
    for (size_t i = 0; i < values.size(); ++i)
    {
        if (!std::isfinite(values[i]) || values[i] < 0.0)
            throw std::invalid_argument("Output weight " + std::to_string(i) + " is " + number(values[i]) +
                                        ": weights must be finite and not negative");
        sum += values[i];
    }
    if (!(sum > 0.0))
        throw std::invalid_argument("Output weights are all zero");
    return torch::tensor(values, torch::TensorOptions().dtype(torch::kFloat64)).to(type);
}

// Mean over the outputs, weighted, of the mean squared error scaled by the outputs' spread.
torch::Tensor weightedMeanSquare(const torch::Tensor& predicted, const torch::Tensor& target,
                                 const torch::Tensor& scale, const torch::Tensor& weights)
{
    const auto scaled = (predicted - target) / scale;
    return (scaled.pow(2).mean(0) * weights).sum() / weights.sum();
}

std::optional<ImbalanceResult> rmsImbalance(const detail::NeuralNetworkLayout& layout,
                                            const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    if (!layout.physicalModel)
        return std::nullopt;
    const auto balance = detail::computeBalance(*layout.physicalModel, inputs, outputs);
    return ImbalanceResult{std::sqrt(balance.energy.to(torch::kFloat64).pow(2).mean().item<double>()),
                           std::sqrt(balance.mass.to(torch::kFloat64).pow(2).mean().item<double>())};
}

// The imbalance that a change of every output by its spread in the training data would cause, as a
// root mean square over the cases: dividing by it makes an imbalance count in the loss like an
// output error of the same size. Falls back on the fallback scale (then on 1) when that is zero.
std::pair<double, double> imbalanceScales(const PhysicalModel& model, const torch::Tensor& inputs,
                                          const torch::Tensor& targets, const torch::Tensor& spread)
{
    const auto rootMeanSquare = [](const torch::Tensor& values)
    { return std::sqrt(values.detach().to(torch::kFloat64).pow(2).mean().item<double>()); };
    const auto usable = [](double value) { return std::isfinite(value) && value > 0.0; };
    const auto outputs = targets.detach().clone().set_requires_grad(true);
    const auto balance = detail::computeBalance(model, inputs, outputs);
    std::pair<double, double> scales{1.0, 1.0};
    for (auto [total, fallback, scale] : {std::tuple{balance.energy, balance.throughput, &scales.first},
                                          std::tuple{balance.mass, balance.massFlow, &scales.second}})
    {
        double sensitivity = 0.0;
        if (total.requires_grad())
        {
            const auto gradient = torch::autograd::grad({total.sum()}, {outputs}, {}, true, false, true)[0];
            if (gradient.defined())
                sensitivity = rootMeanSquare((gradient * spread).pow(2).sum(1).sqrt());
        }
        if (usable(sensitivity))
            *scale = sensitivity;
        else if (usable(rootMeanSquare(fallback)))
            *scale = rootMeanSquare(fallback);
    }
    return scales;
}

std::shared_ptr<const ModuleImpl> snapshotImpl(const detail::NeuralNetwork& network)
{
    return std::make_shared<const detail::NeuralNetworkModuleImpl>(network.snapshot());
}
} // namespace

struct NeuralNetworkTrainer::State
{
    detail::NeuralNetwork network;
    std::optional<ModuleTrainerResult> lastResult;
};

NeuralNetworkTrainer::NeuralNetworkTrainer(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                                           TensorElementType elementType,
                                           const std::optional<PhysicalModel>& physicalModel,
                                           NeuralNetworkType networkType)
    : NeuralNetworkTrainer(std::make_unique<State>(State{
          detail::NeuralNetwork(
              makeLayout(inputs, outputs, hiddenLayers, elementType, physicalModel, networkType), nextSeed()),
          std::nullopt}))
{
}

NeuralNetworkTrainer::NeuralNetworkTrainer(std::unique_ptr<State> state)
    : Module(snapshotImpl(state->network)), m_state(std::move(state))
{
}

NeuralNetworkTrainer::~NeuralNetworkTrainer() = default;

std::unique_ptr<NeuralNetworkTrainer> NeuralNetworkTrainer::fromByteArray(const Utilities::bytearray& bytes)
{
    // A read network records no gradients: its values go into a trainable network of the same layout.
    const auto stored = detail::NeuralNetwork::fromByteArray(bytes);
    detail::NeuralNetwork network(stored.getLayout(), 0);
    network.restore(stored);
    return std::unique_ptr<NeuralNetworkTrainer>(
        new NeuralNetworkTrainer(std::make_unique<State>(State{std::move(network), std::nullopt})));
}

void NeuralNetworkTrainer::setManualSeed(std::uint64_t seed)
{
    std::lock_guard lock(seedMutex);
    seedGenerator.emplace(seed);
}

bool NeuralNetworkTrainer::canContinue(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                                       TensorElementType elementType,
                                       const std::optional<PhysicalModel>& physicalModel,
                                       NeuralNetworkType networkType) const
{
    return makeLayout(inputs, outputs, hiddenLayers, elementType, physicalModel, networkType) ==
           m_state->network.getLayout();
}

NeuralNetworkType NeuralNetworkTrainer::getNetworkType() const
{
    return m_state->network.getLayout().networkType;
}
int NeuralNetworkTrainer::getInputCount() const
{
    return m_state->network.getLayout().inputs;
}
int NeuralNetworkTrainer::getOutputCount() const
{
    return m_state->network.getLayout().outputs;
}
const std::vector<size_t>& NeuralNetworkTrainer::getHiddenLayers() const
{
    return m_state->network.getLayout().hiddenLayers;
}
TensorElementType NeuralNetworkTrainer::getElementType() const
{
    return m_state->network.getLayout().elementType;
}
const std::optional<PhysicalModel>& NeuralNetworkTrainer::getPhysicalModel() const
{
    return m_state->network.getLayout().physicalModel;
}

ModuleTrainerResult NeuralNetworkTrainer::train(const Example& training, const Example& testing,
                                                double targetRMSError, int maximumIterations,
                                                double learningRate, const std::optional<Tensor>& weights,
                                                Tools::ToolProgress* progress)
{
    auto& network = m_state->network;
    const auto& layout = network.getLayout();
    if (!std::isfinite(targetRMSError) || targetRMSError < 0.0)
        throw std::invalid_argument("The target RMS error must be finite and not negative, not " +
                                    number(targetRMSError));
    if (maximumIterations < 0)
        throw std::invalid_argument("The maximum number of iterations must not be negative, not " +
                                    std::to_string(maximumIterations));
    if (!std::isfinite(learningRate) || learningRate <= 0.0)
        throw std::invalid_argument("The learning rate must be finite and positive, not " +
                                    number(learningRate));
    checkExample(training, layout, "Training", false);
    const auto testingCases = checkExample(testing, layout, "Testing", true);
    const auto type = network.scalarType();
    const auto outputWeights = weightTensor(weights, layout.outputs, type);
    const auto inputs = detail::toTorch(training.getInputs(), type);
    const auto targets = detail::toTorch(training.getOutputs(), type);

    const auto before = network.snapshot();
    if (!network.hasScaling())
        network.setScaling(inputs, targets);
    const auto scale = network.outputScale();

    double energyScale = 1.0;
    double massScale = 1.0;
    const bool informed = layout.networkType == NeuralNetworkType::PhysicsInformed;
    if (informed)
        std::tie(energyScale, massScale) = imbalanceScales(*layout.physicalModel, inputs, targets, scale);

    torch::optim::Adam optimiser(network.parameters(), torch::optim::AdamOptions(learningRate));
    const int reportEvery = std::max(1, maximumIterations / ProgressLines);
    int done = 0;
    bool cancelled = false;
    for (; done < maximumIterations; ++done)
    {
        if (progress && progress->isCancelled())
        {
            cancelled = true;
            break;
        }
        const auto predicted = network.forward(inputs);
        const auto meanSquare = weightedMeanSquare(predicted, targets, scale, outputWeights);
        const double rms = std::sqrt(meanSquare.item<double>());
        if (!std::isfinite(rms))
        {
            network.restore(before);
            throw std::runtime_error("Training diverged at iteration " + std::to_string(done) +
                                     " (the RMS error is not finite); the network is left as it was, try a "
                                     "smaller learning rate");
        }
        if (progress && done % reportEvery == 0)
        {
            progress->message("Iteration " + std::to_string(done) + " RMS Error " + number(rms));
            progress->setProgress(static_cast<int>(100LL * done / maximumIterations));
        }
        if (rms <= targetRMSError)
            break;
        auto loss = meanSquare;
        if (informed)
        {
            const auto balance = detail::computeBalance(*layout.physicalModel, inputs, predicted);
            loss = loss + PhysicsWeight * ((balance.energy / energyScale).pow(2).mean() +
                                           (balance.mass / massScale).pow(2).mean());
        }
        optimiser.zero_grad();
        loss.backward();
        optimiser.step();
    }

    ModuleTrainerResult result;
    {
        torch::NoGradGuard noGrad;
        const auto predicted = network.forward(inputs);
        result.rmsError =
            std::sqrt(weightedMeanSquare(predicted, targets, scale, outputWeights).item<double>());
        result.imbalance = rmsImbalance(layout, inputs, predicted);
    }
    if (!std::isfinite(result.rmsError))
    {
        network.restore(before);
        throw std::runtime_error(
            "Training diverged (the final RMS error is not finite); the network is left as it "
            "was, try a smaller learning rate");
    }
    result.iterations = done;
    result.cancelled = cancelled;
    if (progress)
    {
        progress->message("Iteration " + std::to_string(done) + " RMS Error " + number(result.rmsError));
        progress->setProgress(Tools::ToolProgress::MaximumPosition);
    }
    if (testingCases > 0)
        result.testResult = test(testing, weights, nullptr);
    static_cast<Module&>(*this) = Module(snapshotImpl(network));
    m_state->lastResult = result;
    return result;
}

ModuleTestResult NeuralNetworkTrainer::test(const Example& example, const std::optional<Tensor>& weights,
                                            Tools::ToolProgress* progress) const
{
    const auto& network = m_state->network;
    const auto& layout = network.getLayout();
    checkExample(example, layout, "Testing", false);
    const auto type = network.scalarType();
    const auto outputWeights = weightTensor(weights, layout.outputs, type);
    const auto inputs = detail::toTorch(example.getInputs(), type);
    const auto targets = detail::toTorch(example.getOutputs(), type);
    torch::NoGradGuard noGrad;
    const auto predicted = network.forward(inputs);
    ModuleTestResult result;
    result.rmsError = std::sqrt(
        weightedMeanSquare(predicted, targets, network.outputScale(), outputWeights).item<double>());
    result.imbalance = rmsImbalance(layout, inputs, predicted);
    if (progress)
        progress->message("Testing RMS Error " + number(result.rmsError));
    return result;
}

std::optional<ModuleTrainerResult> NeuralNetworkTrainer::getLastTrainResult() const
{
    return m_state->lastResult;
}

Utilities::bytearray NeuralNetworkTrainer::toByteArray() const
{
    return m_state->network.toByteArray();
}

bool NeuralNetworkTrainer::toFile(const std::string& path) const
{
    const auto bytes = toByteArray();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}
} // namespace AISystem
