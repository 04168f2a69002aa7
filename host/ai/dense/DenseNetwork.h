#pragma once
// Internal to the AI library: the evaluator that a NeuralNetwork module builds when it loads.
#include "host/ai/dense/DenseKernel.h"
#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorElementType.h"

#include <cstdint>
#include <vector>

namespace AISystem::detail
{
/// A tanh network prepared for fast evaluation: weights contiguous and column-major in the
/// network's element type, the input and output scaling folded into the first and last layers,
/// and the kernels of the processor's best instruction set. Evaluation allocates nothing but the
/// result (scratch buffers are kept per thread) and may run on several threads at once.
class DenseNetwork
{
public:
    /// A layer as the trainer holds it: row-major {outputs, inputs} weights and the bias.
    struct Layer
    {
        int inputs = 0;
        int outputs = 0;
        std::vector<double> weights;
        std::vector<double> bias;
    };

    /// Outputs are (last layer) * outputScale + outputOffset of tanh layers over
    /// (inputs - inputOffset) / inputScale. Without a kernel, the best for this processor.
    DenseNetwork(const std::vector<Layer>& layers, const std::vector<double>& inputOffset,
                 const std::vector<double>& inputScale, const std::vector<double>& outputOffset,
                 const std::vector<double>& outputScale, TensorElementType elementType,
                 const DenseKernel* kernel = nullptr);

    int getInputCount() const { return m_inputs; }
    int getOutputCount() const { return m_outputs; }
    TensorElementType getElementType() const { return m_elementType; }
    const DenseKernel& getKernel() const { return *m_kernel; }

    /// The layers as evaluated: scaling folded in, values of the element type (widened to double),
    /// row-major {outputs, inputs} weights; every layer but the last applies tanh.
    std::vector<Layer> getLayers() const;

    /// Outputs {cases, outputs} for inputs {cases, inputs} (checked by the caller), computed in the
    /// network's element type and answered in the inputs' (float stays float, else double).
    Tensor eval(const Tensor& inputs) const;

private:
    template <typename Scalar> void evaluate(const Scalar* inputs, std::int64_t rows, Scalar* outputs) const;
    template <typename Scalar> const std::vector<DenseLayer<Scalar>>& layers() const;

    int m_inputs = 0;
    int m_outputs = 0;
    TensorElementType m_elementType = TensorElementType::Double;
    const DenseKernel* m_kernel = nullptr;
    // The values of the element type in use; the layers point into them.
    std::vector<double> m_doubles;
    std::vector<float> m_floats;
    std::vector<DenseLayer<double>> m_doubleLayers;
    std::vector<DenseLayer<float>> m_floatLayers;
};
} // namespace AISystem::detail
