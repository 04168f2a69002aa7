#pragma once
#include "host/ai/modules/Module.h"
#include "host/ai/modules/NeuralNetworkType.h"
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/tensor/TensorElementType.h"

#include <optional>
#include <vector>

namespace AISystem
{
/// What a NeuralNetwork module evaluates, for writing it in another format: its layers as the
/// module's evaluator holds them (the network's own input and output scaling folded into the first
/// and last layers, values of the element type widened to double), every layer but the last
/// followed by tanh, the last one linear. A physics-conserved network's outputs are further
/// corrected by its physical model (see PhysicalModel), which the layers do not cover.
struct NeuralNetworkDescription
{
    /// Row-major {outputs, inputs} weights and the bias.
    struct Layer
    {
        int inputs = 0;
        int outputs = 0;
        std::vector<double> weights;
        std::vector<double> bias;
    };

    std::vector<Layer> layers;
    TensorElementType elementType = TensorElementType::Double;
    NeuralNetworkType networkType = NeuralNetworkType::Generic;
    std::optional<PhysicalModel> physicalModel;
    /// False for a network that was never fitted to data (its scaling is the identity).
    bool trained = false;
};

/// The description of a NeuralNetwork module; empty for a module of any other kind (a Transformed
/// module included: describe the module it wraps).
std::optional<NeuralNetworkDescription> describeNeuralNetwork(const Module& module);
} // namespace AISystem
