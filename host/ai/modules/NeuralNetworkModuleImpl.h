#pragma once
// Internal to the AI library: the module implementation over a neural network, shared by the
// loader and by NeuralNetworkTrainer (which hands out a snapshot after each training run).
#include "host/ai/modules/ModuleImpl.h"
#include "host/ai/modules/NeuralNetwork.h"

#include <memory>

namespace AISystem::detail
{
/// The NeuralNetwork module: evaluates with a DenseNetwork built at load, keeping the libtorch
/// network for what the evaluator does not cover.
class NeuralNetworkModuleImpl : public ModuleImpl
{
public:
    explicit NeuralNetworkModuleImpl(NeuralNetwork network);

    ModuleType getType() const override { return ModuleType::NeuralNetwork; }
    Tensor eval(const Tensor& inputs) const override;
    bool canCalcImbalanceResults() const override;
    std::optional<ImbalanceResult> calcImbalanceResults(const Tensor& inputs,
                                                        const Tensor& outputs) const override;

    const NeuralNetwork& getNetwork() const { return *m_network; }
    /// The evaluator eval uses; nullptr when eval runs the network through libtorch (a
    /// physics-conserved network, whose correction needs it).
    const DenseNetwork* getDense() const { return m_dense.get(); }

private:
    std::shared_ptr<const NeuralNetwork> m_network;
    std::unique_ptr<const DenseNetwork> m_dense;
};

/// A copy of a tensor as a libtorch tensor of the scalar type; an empty tensor gives zeros.
torch::Tensor toTorch(const Tensor& tensor, torch::ScalarType type);
} // namespace AISystem::detail
