#pragma once
#include "host/ai/modules/Module.h"
#include "host/ai/training/ModuleTrainer.h"
#include "host/ai/training/NeuralNetworkTrainerOptions.h"
#include "host/ai/modules/NeuralNetworkType.h"
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/tensor/TensorElementType.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace AISystem
{
/// A feed-forward neural network being trained, and the module it is so far (a NeuralNetwork
/// module that evaluates, computes imbalances with a physical model, and saves to bytes that
/// Module::fromByteArray(ModuleType::NeuralNetwork, ...) loads).
///
/// Training: inputs and outputs scaled by the mean and standard deviation of the first training
/// data, tanh hidden layers, full-batch L-BFGS or Adam (see NeuralNetworkTrainerOptions) on the
/// weighted mean squared error, its gradient from a dense kernel for a generic network and from
/// libtorch's autograd for the physics-aware kinds. A
/// physics-informed network adds the squared energy and mass imbalance to the loss, each relative to
/// the imbalance that an output error of one standard deviation would cause and weighted ten times
/// an output error of that size; a physics-conserved network corrects its output
/// temperatures so that the energy balance closes. Later train calls continue from the trained
/// weights, keep the first scaling and continue the optimiser's state, so that training in chunks
/// is the training of one run (a different optimiser or a failed run starts the state afresh).
class NeuralNetworkTrainer : public Module, public ModuleTrainer
{
public:
    /// Element type None means double. Throws std::invalid_argument when the sizes, the element type
    /// or the network type cannot make a network, or the physical model does not fit its columns.
    /// Initial weights come from the generator that setManualSeed seeds.
    NeuralNetworkTrainer(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                         TensorElementType elementType, const std::optional<PhysicalModel>& physicalModel,
                         NeuralNetworkType networkType);
    ~NeuralNetworkTrainer() override;
    NeuralNetworkTrainer(const NeuralNetworkTrainer&) = delete;
    NeuralNetworkTrainer& operator=(const NeuralNetworkTrainer&) = delete;

    /// Seeds the process-wide generator of initial weights: networks created after it, in the same
    /// order, start from the same weights.
    static void setManualSeed(std::uint64_t seed);

    /// A network to train further, read from the bytes of toByteArray(): its layout, weights and scaling;
    /// it has no last training result. Throws std::runtime_error when the bytes hold no network.
    static std::unique_ptr<NeuralNetworkTrainer> fromByteArray(const Utilities::bytearray& bytes);

    /// Whether this network is the one these arguments would create, so that training can go on.
    bool canContinue(int inputs, int outputs, const std::vector<size_t>& hiddenLayers,
                     TensorElementType elementType, const std::optional<PhysicalModel>& physicalModel,
                     NeuralNetworkType networkType) const;

    /// Makes the network take and give the values that per-column linear maps x -> a x + b turned
    /// into its inputs (inputs[i] = {a, b}) and made of its outputs (outputs[j]), so that the maps
    /// can go: training on continues in those values. Throws std::invalid_argument, naming the
    /// column, for a count that differs from the network's or a factor that is not finite and positive.
    void foldValueTransforms(const std::vector<std::pair<double, double>>& inputs,
                             const std::vector<std::pair<double, double>>& outputs);

    /// Options for the next train calls.
    void setOptions(const NeuralNetworkTrainerOptions& options);
    const NeuralNetworkTrainerOptions& getOptions() const;

    NeuralNetworkType getNetworkType() const;
    int getInputCount() const;
    int getOutputCount() const;
    const std::vector<size_t>& getHiddenLayers() const;
    TensorElementType getElementType() const;
    const std::optional<PhysicalModel>& getPhysicalModel() const;

    ModuleTrainerResult train(const Example& training, const Example& testing, double targetRMSError,
                              int maximumIterations, double learningRate,
                              const std::optional<Tensor>& weights, Tools::ToolProgress* progress) override;
    ModuleTestResult test(const Example& example, const std::optional<Tensor>& weights,
                          Tools::ToolProgress* progress) const override;
    std::optional<ModuleTrainerResult> getLastTrainResult() const override;
    Utilities::bytearray toByteArray() const override;
    bool toFile(const std::string& path) const override;

private:
    struct State;
    explicit NeuralNetworkTrainer(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};
} // namespace AISystem
