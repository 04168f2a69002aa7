#include "host/ai/training/NeuralNetworkTrainer.h"

#include "host/ai/dense/DenseKernel.h"
#include "host/ai/modules/NeuralNetwork.h"
#include "host/ai/modules/NeuralNetworkModuleImpl.h"
#include "host/ai/physics/PhysicalModelBalance.h"
#include "host/services/ToolProgress.h"

#include <torch/torch.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>

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

// The weighted mean square of a generic network and its gradient, from the dense kernel, written
// straight into the parameters' gradients: a whole forward and backward pass without libtorch's
// per-operation overhead, over inputs and targets scaled once per training run.
template <typename Scalar> class DenseLoss
{
public:
    DenseLoss(const detail::NeuralNetwork& network, const torch::Tensor& inputs, const torch::Tensor& targets,
              const torch::Tensor& outputWeights)
        : m_parameters(network.parameters()), m_kernel(detail::DenseKernel::best()), m_rows(inputs.size(0))
    {
        torch::NoGradGuard noGrad;
        m_inputs = ((inputs - network.inputOffset()) / network.inputScale()).contiguous();
        m_targets = ((targets - network.outputOffset()) / network.outputScale()).contiguous();
        m_errorWeights = (outputWeights / (outputWeights.sum() * static_cast<double>(m_rows))).contiguous();
        for (size_t i = 0; i + 1 < m_parameters.size(); i += 2)
            m_layers.push_back({nullptr, nullptr, nullptr, nullptr, static_cast<int>(m_parameters[i].size(1)),
                                static_cast<int>(m_parameters[i].size(0))});
        m_scratch.resize(static_cast<size_t>(
            detail::trainingScratchSize(m_layers.data(), static_cast<int>(m_layers.size()))));
    }

    /// The mean square; with gradients, they replace the parameters' gradients.
    double operator()(bool gradients)
    {
        for (size_t l = 0; l < m_layers.size(); ++l)
        {
            auto& weights = m_parameters[2 * l];
            auto& bias = m_parameters[2 * l + 1];
            for (auto* parameter : {&weights, &bias})
                if (gradients && !parameter->grad().defined())
                    parameter->mutable_grad() = torch::zeros_like(*parameter);
            m_layers[l].weights = weights.data_ptr<Scalar>();
            m_layers[l].bias = bias.data_ptr<Scalar>();
            m_layers[l].weightGradient = gradients ? weights.grad().data_ptr<Scalar>() : nullptr;
            m_layers[l].biasGradient = gradients ? bias.grad().data_ptr<Scalar>() : nullptr;
        }
        const int count = static_cast<int>(m_layers.size());
        const Scalar* inputs = m_inputs.data_ptr<Scalar>();
        const Scalar* targets = m_targets.data_ptr<Scalar>();
        const Scalar* weights = m_errorWeights.data_ptr<Scalar>();
        if constexpr (std::is_same_v<Scalar, double>)
            return m_kernel.lossDouble(m_layers.data(), count, inputs, targets, weights, m_rows, gradients,
                                       m_scratch.data());
        else
            return m_kernel.lossFloat(m_layers.data(), count, inputs, targets, weights, m_rows, gradients,
                                      m_scratch.data());
    }

private:
    std::vector<torch::Tensor> m_parameters;
    const detail::DenseKernel& m_kernel;
    std::int64_t m_rows;
    torch::Tensor m_inputs;
    torch::Tensor m_targets;
    torch::Tensor m_errorWeights;
    std::vector<detail::DenseTrainingLayer<Scalar>> m_layers;
    std::vector<Scalar> m_scratch;
};

// The weighted mean square of a generic network as training computes it; empty for the other kinds.
std::optional<double> denseMeanSquare(const detail::NeuralNetwork& network, const torch::Tensor& inputs,
                                      const torch::Tensor& targets, const torch::Tensor& outputWeights)
{
    if (network.getLayout().networkType != NeuralNetworkType::Generic)
        return std::nullopt;
    if (network.scalarType() == torch::kFloat64)
        return DenseLoss<double>(network, inputs, targets, outputWeights)(false);
    return DenseLoss<float>(network, inputs, targets, outputWeights)(false);
}

// The mean square error and the loss at the parameters' current values; the gradient of the loss
// is left in the parameters' gradients.
struct Evaluation
{
    double meanSquare = 0.0;
    double loss = 0.0;
};

// L-BFGS evaluates the point its line search accepted once more at the start of its next
// iteration, and the trainer reads the error there too: remembering the last few evaluations
// (parameters, results, gradients) saves those repeats.
class EvaluationCache
{
public:
    EvaluationCache(std::vector<torch::Tensor> parameters, std::function<Evaluation()> evaluate)
        : m_parameters(std::move(parameters)), m_evaluate(std::move(evaluate))
    {
    }

    Evaluation operator()()
    {
        for (const auto& entry : m_entries)
            if (matches(entry.parameters))
            {
                torch::NoGradGuard noGrad;
                for (size_t i = 0; i < m_parameters.size(); ++i)
                    m_parameters[i].mutable_grad().copy_(entry.gradients[i]);
                return entry.result;
            }
        Entry entry;
        entry.result = m_evaluate();
        torch::NoGradGuard noGrad;
        for (const auto& parameter : m_parameters)
        {
            entry.parameters.push_back(parameter.detach().clone());
            entry.gradients.push_back(parameter.grad().detach().clone());
        }
        if (m_entries.size() == Size)
            m_entries.erase(m_entries.begin());
        m_entries.push_back(std::move(entry));
        return m_entries.back().result;
    }

private:
    static constexpr size_t Size = 3;
    struct Entry
    {
        std::vector<torch::Tensor> parameters;
        std::vector<torch::Tensor> gradients;
        Evaluation result;
    };

    bool matches(const std::vector<torch::Tensor>& values) const
    {
        for (size_t i = 0; i < m_parameters.size(); ++i)
            if (std::memcmp(values[i].data_ptr(), m_parameters[i].data_ptr(),
                            static_cast<size_t>(values[i].nbytes())) != 0)
                return false;
        return true;
    }

    std::vector<torch::Tensor> m_parameters;
    std::function<Evaluation()> m_evaluate;
    std::vector<Entry> m_entries;
};

// What a user can change when a run of this optimiser diverges: Adam's step is the learning rate,
// L-BFGS chooses its own steps by line search.
std::string divergenceAdvice(NeuralNetworkOptimiser optimiser)
{
    switch (optimiser)
    {
    case NeuralNetworkOptimiser::Adam:
        return "try a smaller learning rate";
    case NeuralNetworkOptimiser::LBFGS:
        return "try Adam with a small learning rate, or scale the data";
    }
    return {};
}

std::shared_ptr<const ModuleImpl> snapshotImpl(const detail::NeuralNetwork& network)
{
    return std::make_shared<const detail::NeuralNetworkModuleImpl>(network.snapshot());
}

// A deep copy of the optimiser's per-parameter state (Adam's moments, L-BFGS's history): steps
// update those tensors in place, so a failed run can only be undone from copies.
using OptimiserState = ska::flat_hash_map<std::string, std::unique_ptr<torch::optim::OptimizerParamState>>;

torch::Tensor deepCopy(const torch::Tensor& tensor)
{
    return tensor.defined() ? tensor.clone() : tensor;
}

std::deque<torch::Tensor> deepCopy(const std::deque<torch::Tensor>& tensors)
{
    std::deque<torch::Tensor> copy;
    for (const auto& tensor : tensors)
        copy.push_back(deepCopy(tensor));
    return copy;
}

std::unique_ptr<torch::optim::OptimizerParamState> deepCopy(const torch::optim::OptimizerParamState& state)
{
    auto copy = state.clone();
    if (auto* adam = dynamic_cast<torch::optim::AdamParamState*>(copy.get()))
    {
        adam->exp_avg(deepCopy(adam->exp_avg()));
        adam->exp_avg_sq(deepCopy(adam->exp_avg_sq()));
        adam->max_exp_avg_sq(deepCopy(adam->max_exp_avg_sq()));
    }
    else if (auto* lbfgs = dynamic_cast<torch::optim::LBFGSParamState*>(copy.get()))
    {
        lbfgs->d(deepCopy(lbfgs->d()));
        lbfgs->H_diag(deepCopy(lbfgs->H_diag()));
        lbfgs->prev_flat_grad(deepCopy(lbfgs->prev_flat_grad()));
        lbfgs->old_dirs(deepCopy(lbfgs->old_dirs()));
        lbfgs->old_stps(deepCopy(lbfgs->old_stps()));
        lbfgs->ro(deepCopy(lbfgs->ro()));
        if (lbfgs->al())
        {
            std::vector<torch::Tensor> al;
            for (const auto& tensor : *lbfgs->al())
                al.push_back(deepCopy(tensor));
            lbfgs->al(std::move(al));
        }
    }
    else
        throw std::logic_error("The trainer cannot copy the state of this optimiser");
    return copy;
}

OptimiserState deepCopy(const OptimiserState& state)
{
    OptimiserState copy;
    for (const auto& [key, value] : state)
        copy.emplace(key, deepCopy(*value));
    return copy;
}
} // namespace

struct NeuralNetworkTrainer::State
{
    explicit State(detail::NeuralNetwork trained) : network(std::move(trained)) {}

    // The optimiser for the next run: the one of the last run (its moments or history continue)
    // unless the options chose another.
    torch::optim::Optimizer& optimiserFor(double learningRate)
    {
        if (optimiser && optimiserKind == options.optimiser)
        {
            if (optimiserKind == NeuralNetworkOptimiser::Adam)
                static_cast<torch::optim::AdamOptions&>(optimiser->param_groups().front().options())
                    .lr(learningRate);
            return *optimiser;
        }
        switch (options.optimiser)
        {
        case NeuralNetworkOptimiser::Adam:
            optimiser = std::make_unique<torch::optim::Adam>(network.parameters(),
                                                             torch::optim::AdamOptions(learningRate));
            break;
        case NeuralNetworkOptimiser::LBFGS:
            // One iteration per step, so that the trainer counts, reports and stops by iterations.
            optimiser = std::make_unique<torch::optim::LBFGS>(
                network.parameters(),
                torch::optim::LBFGSOptions(1.0).max_iter(1).line_search_fn(std::string("strong_wolfe")));
            break;
        }
        optimiserKind = options.optimiser;
        return *optimiser;
    }

    detail::NeuralNetwork network;
    std::optional<ModuleTrainerResult> lastResult;
    NeuralNetworkTrainerOptions options;
    std::unique_ptr<torch::optim::Optimizer> optimiser;
    NeuralNetworkOptimiser optimiserKind = NeuralNetworkOptimiser::Adam;
};

NeuralNetworkTrainer::NeuralNetworkTrainer(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                                           TensorElementType elementType,
                                           const std::optional<PhysicalModel>& physicalModel,
                                           NeuralNetworkType networkType)
    : NeuralNetworkTrainer(std::make_unique<State>(detail::NeuralNetwork(
          makeLayout(inputs, outputs, hiddenLayers, elementType, physicalModel, networkType), nextSeed())))
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
        new NeuralNetworkTrainer(std::make_unique<State>(std::move(network))));
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

void NeuralNetworkTrainer::foldValueTransforms(const std::vector<std::pair<double, double>>& inputs,
                                               const std::vector<std::pair<double, double>>& outputs)
{
    const auto check = [](const std::vector<std::pair<double, double>>& maps, int count, const char* side)
    {
        if (static_cast<int>(maps.size()) != count)
            throw std::invalid_argument(std::to_string(maps.size()) + " " + side + " transforms for a network of " +
                                        std::to_string(count) + " " + side + "s");
        for (size_t i = 0; i < maps.size(); ++i)
            if (!std::isfinite(maps[i].first) || !(maps[i].first > 0.0) || !std::isfinite(maps[i].second))
                throw std::invalid_argument("The transform of " + std::string(side) + " " + std::to_string(i + 1) +
                                            " (" + number(maps[i].first) + " x + " + number(maps[i].second) +
                                            ") cannot be folded into the network: its factor must be finite "
                                            "and positive");
    };
    check(inputs, getInputCount(), "input");
    check(outputs, getOutputCount(), "output");
    m_state->network.foldTransforms(inputs, outputs);
    static_cast<Module&>(*this) = Module(snapshotImpl(m_state->network));
}

void NeuralNetworkTrainer::setOptions(const NeuralNetworkTrainerOptions& options)
{
    m_state->options = options;
}

const NeuralNetworkTrainerOptions& NeuralNetworkTrainer::getOptions() const
{
    return m_state->options;
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

    auto& optimiser = m_state->optimiserFor(learningRate);
    const auto parameters = network.parameters();
    // A failed run leaves the network and the optimiser as they were, so that training on
    // continues from where the last good run stopped.
    OptimiserState optimiserBefore = deepCopy(optimiser.state());
    const auto fail = [&](const std::string& message)
    {
        network.restore(before);
        optimiser.state() = std::move(optimiserBefore);
        throw std::runtime_error(message);
    };

    // A generic network's loss is the mean square alone, which the dense kernel computes with its
    // gradient; the physics-aware kinds need libtorch's autograd.
    std::optional<DenseLoss<double>> denseDouble;
    std::optional<DenseLoss<float>> denseFloat;
    std::function<double(bool)> dense;
    if (layout.networkType == NeuralNetworkType::Generic && type == torch::kFloat64)
    {
        denseDouble.emplace(network, inputs, targets, outputWeights);
        dense = [&](bool gradients) { return (*denseDouble)(gradients); };
    }
    else if (layout.networkType == NeuralNetworkType::Generic)
    {
        denseFloat.emplace(network, inputs, targets, outputWeights);
        dense = [&](bool gradients) { return (*denseFloat)(gradients); };
    }
    const auto evaluate = [&]() -> Evaluation
    {
        if (dense)
        {
            const double meanSquare = dense(true);
            return {meanSquare, meanSquare};
        }
        for (const auto& parameter : parameters)
            if (parameter.grad().defined())
                parameter.grad().zero_();
        const auto predicted = network.forward(inputs);
        const auto meanSquare = weightedMeanSquare(predicted, targets, scale, outputWeights);
        auto loss = meanSquare;
        if (informed)
        {
            const auto balance = detail::computeBalance(*layout.physicalModel, inputs, predicted);
            loss = loss + PhysicsWeight * ((balance.energy / energyScale).pow(2).mean() +
                                           (balance.mass / massScale).pow(2).mean());
        }
        loss.backward();
        return {meanSquare.item<double>(), loss.item<double>()};
    };
    EvaluationCache cached(parameters, evaluate);
    const auto current = [&]
    { return m_state->optimiserKind == NeuralNetworkOptimiser::LBFGS ? cached() : evaluate(); };

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
        const double rms = std::sqrt(current().meanSquare);
        if (!std::isfinite(rms))
            fail("Training diverged at iteration " + std::to_string(done) +
                 " (the RMS error is not finite); the network is left as it was, " +
                 divergenceAdvice(m_state->optimiserKind));
        if (progress && done % reportEvery == 0)
        {
            progress->message("Iteration " + std::to_string(done) + " RMS Error " + number(rms));
            progress->setProgress(static_cast<int>(100LL * done / maximumIterations));
        }
        if (rms <= targetRMSError)
            break;
        switch (m_state->optimiserKind)
        {
        case NeuralNetworkOptimiser::Adam:
            optimiser.step();
            break;
        case NeuralNetworkOptimiser::LBFGS:
            optimiser.step([&] { return torch::tensor(cached().loss, torch::kFloat64); });
            break;
        }
    }

    ModuleTrainerResult result;
    {
        torch::NoGradGuard noGrad;
        if (dense)
            result.rmsError = std::sqrt(dense(false));
        if (!dense || layout.physicalModel)
        {
            const auto predicted = network.forward(inputs);
            if (!dense)
                result.rmsError =
                    std::sqrt(weightedMeanSquare(predicted, targets, scale, outputWeights).item<double>());
            result.imbalance = rmsImbalance(layout, inputs, predicted);
        }
    }
    if (!std::isfinite(result.rmsError))
    {
        fail("Training diverged (the final RMS error is not finite); the network is left as it was, " +
             divergenceAdvice(m_state->optimiserKind));
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
    ModuleTestResult result;
    const auto dense = denseMeanSquare(network, inputs, targets, outputWeights);
    if (dense)
        result.rmsError = std::sqrt(*dense);
    if (!dense || layout.physicalModel)
    {
        const auto predicted = network.forward(inputs);
        if (!dense)
            result.rmsError = std::sqrt(
                weightedMeanSquare(predicted, targets, network.outputScale(), outputWeights).item<double>());
        result.imbalance = rmsImbalance(layout, inputs, predicted);
    }
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
