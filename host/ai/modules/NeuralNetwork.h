#pragma once
// Internal to the AI library: the feed-forward network that NeuralNetworkTrainer trains and the
// NeuralNetwork module runs, with its byte format. Only the library's libtorch sources include this.
#include "host/ai/dense/DenseNetwork.h"
#include "host/ai/modules/NeuralNetworkType.h"
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/tensor/TensorElementType.h"
#include "host/filesystem/ByteArray.h"

#include <torch/types.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace AISystem::detail
{
/// What a network is: its sizes, element type, kind and physical model.
struct NeuralNetworkLayout
{
    int inputs = 0;
    int outputs = 0;
    std::vector<size_t> hiddenLayers;
    TensorElementType elementType = TensorElementType::Double;
    NeuralNetworkType networkType = NeuralNetworkType::Generic;
    std::optional<PhysicalModel> physicalModel;

    /// Throws std::invalid_argument naming the value that cannot make a network.
    void validate() const;
    bool operator==(const NeuralNetworkLayout&) const = default;
};

/// A feed-forward network: inputs scaled by the training data's mean and standard deviation, tanh
/// hidden layers, a linear output layer scaled back to physical units, and for a physics-conserved
/// network the energy correction of its physical model.
///
/// Byte format: a TorchScript archive (loadable by any TorchScript runtime) of a module whose
/// forward(x) maps a {cases, inputs} tensor to the uncorrected {cases, outputs}; parameters w0, b0,
/// ..., wL, bL ({out, in} weights and biases), buffers input_offset, input_scale, output_offset,
/// output_scale; and the extra files "conflux_network.txt" (format line, sizes, element type,
/// network type) and, with a physical model, "conflux_physical_model.txt" (PhysicalModel::toText).
class NeuralNetwork
{
public:
    /// A new network with weights drawn from a generator seeded with `seed` and no scaling.
    NeuralNetwork(NeuralNetworkLayout layout, std::uint64_t seed);

    const NeuralNetworkLayout& getLayout() const { return m_layout; }
    torch::ScalarType scalarType() const;

    /// Weights and biases, for an optimiser.
    std::vector<torch::Tensor> parameters() const;
    /// Sets the input and output scaling from training data ({cases, columns} tensors).
    void setScaling(const torch::Tensor& inputs, const torch::Tensor& outputs);
    bool hasScaling() const { return m_hasScaling; }
    const torch::Tensor& inputOffset() const { return m_inputOffset; }
    const torch::Tensor& inputScale() const { return m_inputScale; }
    const torch::Tensor& outputOffset() const { return m_outputOffset; }
    const torch::Tensor& outputScale() const { return m_outputScale; }

    /// Folds per-column linear maps into the scaling, so that the network takes the values each
    /// inputs[i] used to turn into its input i, and gives what outputs[j] used to make of its output j.
    /// The factors must be positive (a stored scale is).
    void foldTransforms(const std::vector<std::pair<double, double>>& inputs,
                        const std::vector<std::pair<double, double>>& outputs);

    /// Outputs in physical units for inputs in physical units (network's scalar type).
    torch::Tensor forward(const torch::Tensor& inputs) const;

    /// The evaluator of forward's uncorrected outputs (a physics-conserved network's correction is
    /// not part of it). Without a kernel, the best for this processor.
    DenseNetwork toDense(const DenseKernel* kernel = nullptr) const;

    /// A copy that shares nothing with this network and records no gradients.
    NeuralNetwork snapshot() const;
    /// Takes over the weights, biases and scaling of a network of the same layout, in place.
    void restore(const NeuralNetwork& other);

    Utilities::bytearray toByteArray() const;
    /// Throws std::runtime_error saying what is wrong with the bytes.
    static NeuralNetwork fromByteArray(const Utilities::bytearray& bytes);

private:
    NeuralNetwork() = default;

    NeuralNetworkLayout m_layout;
    std::vector<torch::Tensor> m_weights;
    std::vector<torch::Tensor> m_biases;
    torch::Tensor m_inputOffset;
    torch::Tensor m_inputScale;
    torch::Tensor m_outputOffset;
    torch::Tensor m_outputScale;
    bool m_hasScaling = false;
};
} // namespace AISystem::detail
