#pragma once
// Internal to the AI library: the balance of a physical model over a batch of cases, on libtorch
// tensors so that training can differentiate it. Only the library's libtorch sources include this.
#include "host/ai/physics/PhysicalModel.h"

#include <torch/types.h>

namespace AISystem::detail
{
/// Per-case quantities of the balance, each of shape {cases}.
struct BatchBalance
{
    torch::Tensor energy;     ///< energy imbalance, W
    torch::Tensor mass;       ///< mass imbalance, kg/s
    torch::Tensor throughput; ///< heat sources plus half the heat each stream carries, W (a scale)
    torch::Tensor massFlow;   ///< mass flow through the streams, kg/s (a scale)
};

/// The balance of outputs for inputs ({cases, columns} tensors of one floating type).
BatchBalance computeBalance(const PhysicalModel& model, const torch::Tensor& inputs, const torch::Tensor& outputs);

/// Outputs changed as little as possible in the output temperatures of the model, weighted by the
/// heat each carries, so that the energy balance closes; differentiable.
torch::Tensor conserveEnergy(const PhysicalModel& model, const torch::Tensor& inputs, const torch::Tensor& outputs);
} // namespace AISystem::detail
