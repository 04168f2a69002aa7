#include "host/ai/dense/DenseNetwork.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace AISystem::detail
{
namespace
{
// Folds the scaling into copies of the layers: the first layer takes raw inputs, the last layer
// answers in physical units.
std::vector<DenseNetwork::Layer> foldScaling(std::vector<DenseNetwork::Layer> layers,
                                             const std::vector<double>& inputOffset,
                                             const std::vector<double>& inputScale,
                                             const std::vector<double>& outputOffset,
                                             const std::vector<double>& outputScale)
{
    auto& first = layers.front();
    for (int o = 0; o < first.outputs; ++o)
        for (int i = 0; i < first.inputs; ++i)
        {
            double& weight = first.weights[static_cast<size_t>(o * first.inputs + i)];
            weight /= inputScale[static_cast<size_t>(i)];
            first.bias[static_cast<size_t>(o)] -= weight * inputOffset[static_cast<size_t>(i)];
        }
    auto& last = layers.back();
    for (int o = 0; o < last.outputs; ++o)
    {
        const double scale = outputScale[static_cast<size_t>(o)];
        for (int i = 0; i < last.inputs; ++i)
            last.weights[static_cast<size_t>(o * last.inputs + i)] *= scale;
        last.bias[static_cast<size_t>(o)] =
            last.bias[static_cast<size_t>(o)] * scale + outputOffset[static_cast<size_t>(o)];
    }
    return layers;
}

// Copies the folded layers into one contiguous array of the element type, weights column-major.
template <typename Scalar>
void pack(const std::vector<DenseNetwork::Layer>& layers, std::vector<Scalar>& values,
          std::vector<DenseLayer<Scalar>>& packed)
{
    size_t count = 0;
    for (const auto& layer : layers)
        count += layer.weights.size() + layer.bias.size();
    values.resize(count);
    size_t at = 0;
    std::vector<size_t> starts;
    for (const auto& layer : layers)
    {
        starts.push_back(at);
        for (int i = 0; i < layer.inputs; ++i)
            for (int o = 0; o < layer.outputs; ++o)
                values[at++] = static_cast<Scalar>(layer.weights[static_cast<size_t>(o * layer.inputs + i)]);
        for (double bias : layer.bias)
            values[at++] = static_cast<Scalar>(bias);
    }
    for (size_t l = 0; l < layers.size(); ++l)
    {
        const Scalar* weights = values.data() + starts[l];
        packed.push_back({weights, weights + layers[l].weights.size(), layers[l].inputs, layers[l].outputs});
    }
}

// Per-thread scratch, grown on demand and kept, so evaluation allocates nothing once warm.
template <typename Scalar> Scalar* scratch(std::int64_t size)
{
    thread_local std::vector<Scalar> buffer;
    if (static_cast<std::int64_t>(buffer.size()) < size)
        buffer.resize(static_cast<size_t>(size));
    return buffer.data();
}

template <typename Scalar> Scalar* conversionBuffer(int which, std::int64_t size)
{
    thread_local std::vector<Scalar> buffers[2];
    auto& buffer = buffers[which];
    if (static_cast<std::int64_t>(buffer.size()) < size)
        buffer.resize(static_cast<size_t>(size));
    return buffer.data();
}
} // namespace

DenseNetwork::DenseNetwork(const std::vector<Layer>& layers, const std::vector<double>& inputOffset,
                           const std::vector<double>& inputScale, const std::vector<double>& outputOffset,
                           const std::vector<double>& outputScale, TensorElementType elementType,
                           const DenseKernel* kernel)
    : m_elementType(elementType == TensorElementType::Float ? TensorElementType::Float
                                                            : TensorElementType::Double),
      m_kernel(kernel ? kernel : &DenseKernel::best())
{
    if (layers.empty())
        throw std::invalid_argument("A dense network needs at least one layer");
    for (size_t l = 0; l < layers.size(); ++l)
    {
        const auto& layer = layers[l];
        if (layer.inputs < 1 || layer.outputs < 1 ||
            layer.weights.size() != static_cast<size_t>(layer.inputs) * static_cast<size_t>(layer.outputs) ||
            layer.bias.size() != static_cast<size_t>(layer.outputs) ||
            (l > 0 && layer.inputs != layers[l - 1].outputs))
            throw std::invalid_argument("Dense network layer " + std::to_string(l) +
                                        " does not fit its neighbours");
    }
    m_inputs = layers.front().inputs;
    m_outputs = layers.back().outputs;
    if (inputOffset.size() != static_cast<size_t>(m_inputs) ||
        inputScale.size() != static_cast<size_t>(m_inputs) ||
        outputOffset.size() != static_cast<size_t>(m_outputs) ||
        outputScale.size() != static_cast<size_t>(m_outputs))
        throw std::invalid_argument("Dense network scaling does not fit its " + std::to_string(m_inputs) +
                                    " inputs and " + std::to_string(m_outputs) + " outputs");
    const auto folded = foldScaling(layers, inputOffset, inputScale, outputOffset, outputScale);
    if (m_elementType == TensorElementType::Float)
        pack(folded, m_floats, m_floatLayers);
    else
        pack(folded, m_doubles, m_doubleLayers);
}

template <> const std::vector<DenseLayer<double>>& DenseNetwork::layers<double>() const
{
    return m_doubleLayers;
}
template <> const std::vector<DenseLayer<float>>& DenseNetwork::layers<float>() const
{
    return m_floatLayers;
}

namespace
{
template <typename Scalar> std::vector<DenseNetwork::Layer> unpack(const std::vector<DenseLayer<Scalar>>& packed)
{
    std::vector<DenseNetwork::Layer> layers;
    for (const auto& layer : packed)
    {
        DenseNetwork::Layer row{layer.inputs, layer.outputs, {}, {}};
        row.weights.resize(static_cast<size_t>(layer.inputs) * static_cast<size_t>(layer.outputs));
        for (int i = 0; i < layer.inputs; ++i)
            for (int o = 0; o < layer.outputs; ++o)
                row.weights[static_cast<size_t>(o * layer.inputs + i)] = layer.weights[i * layer.outputs + o];
        row.bias.assign(layer.bias, layer.bias + layer.outputs);
        layers.push_back(std::move(row));
    }
    return layers;
}
} // namespace

std::vector<DenseNetwork::Layer> DenseNetwork::getLayers() const
{
    return m_elementType == TensorElementType::Float ? unpack(m_floatLayers) : unpack(m_doubleLayers);
}

template <typename Scalar>
void DenseNetwork::evaluate(const Scalar* inputs, std::int64_t rows, Scalar* outputs) const
{
    const auto& all = layers<Scalar>();
    const int count = static_cast<int>(all.size());
    Scalar* work = scratch<Scalar>(forwardScratchSize(all.data(), count, rows));
    if constexpr (std::is_same_v<Scalar, double>)
        m_kernel->forwardDouble(all.data(), count, inputs, rows, outputs, work);
    else
        m_kernel->forwardFloat(all.data(), count, inputs, rows, outputs, work);
}

Tensor DenseNetwork::eval(const Tensor& inputs) const
{
    const std::int64_t rows = inputs.getDimensionSize(0);
    const bool floatInputs = inputs.getElementType() == TensorElementType::Float;
    Tensor result = Tensor::createTensor(TensorShape{rows, m_outputs},
                                         floatInputs ? TensorElementType::Float : TensorElementType::Double);
    const bool floatNetwork = m_elementType == TensorElementType::Float;
    if (floatInputs == floatNetwork)
    {
        if (floatNetwork)
            evaluate(inputs.data<float>(), rows, result.data<float>());
        else
            evaluate(inputs.data<double>(), rows, result.data<double>());
        return result;
    }
    // Converted block by block, so that the per-thread buffers stay small whatever the batch.
    const std::int64_t block = DenseTrainingBlock;
    for (std::int64_t start = 0; start < rows; start += block)
    {
        const std::int64_t n = std::min(block, rows - start);
        const std::int64_t in = n * m_inputs;
        const std::int64_t out = n * m_outputs;
        if (floatNetwork)
        {
            float* converted = conversionBuffer<float>(0, in);
            float* answer = conversionBuffer<float>(1, out);
            const double* source = inputs.data<double>() + start * m_inputs;
            for (std::int64_t i = 0; i < in; ++i)
                converted[i] = static_cast<float>(source[i]);
            evaluate(converted, n, answer);
            double* target = result.data<double>() + start * m_outputs;
            for (std::int64_t i = 0; i < out; ++i)
                target[i] = answer[i];
        }
        else
        {
            double* converted = conversionBuffer<double>(0, in);
            double* answer = conversionBuffer<double>(1, out);
            const float* source = inputs.data<float>() + start * m_inputs;
            for (std::int64_t i = 0; i < in; ++i)
                converted[i] = source[i];
            evaluate(converted, n, answer);
            float* target = result.data<float>() + start * m_outputs;
            for (std::int64_t i = 0; i < out; ++i)
                target[i] = static_cast<float>(answer[i]);
        }
    }
    return result;
}
} // namespace AISystem::detail
