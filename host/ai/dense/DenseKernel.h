#pragma once
// Internal to the AI library: dense kernels for small tanh networks, compiled once for the baseline
// instruction set and once for AVX2 with FMA, and chosen at run time for the processor.
#include <cstdint>

namespace AISystem::detail
{
/// One layer of a network as the evaluator stores it: weights column-major {outputs, inputs} (so a
/// single case is a column-major matrix-vector product), bias {outputs}.
template <typename Scalar> struct DenseLayer
{
    const Scalar* weights = nullptr;
    const Scalar* bias = nullptr;
    int inputs = 0;
    int outputs = 0;
};

/// One layer as the trainer holds it (libtorch's row-major {outputs, inputs} weights), with the
/// gradients that the kernel writes.
template <typename Scalar> struct DenseTrainingLayer
{
    const Scalar* weights = nullptr;
    const Scalar* bias = nullptr;
    Scalar* weightGradient = nullptr;
    Scalar* biasGradient = nullptr;
    int inputs = 0;
    int outputs = 0;
};

/// Cases the training kernel processes at once: small enough that a block's activations stay in
/// the cache, large enough for efficient matrix products.
constexpr std::int64_t DenseTrainingBlock = 256;

/// The kernels of one instruction set. Data are case-major ({cases, columns} row-major, which is
/// column-major {columns, cases}); every layer but the last applies tanh.
struct DenseKernel
{
    /// Outputs of `rows` cases; `scratch` holds forwardScratchSize values.
    void (*forwardDouble)(const DenseLayer<double>* layers, int layerCount, const double* inputs,
                          std::int64_t rows, double* outputs, double* scratch);
    void (*forwardFloat)(const DenseLayer<float>* layers, int layerCount, const float* inputs,
                         std::int64_t rows, float* outputs, float* scratch);
    /// The sum over cases and outputs of errorWeights[j] * (last layer's output - target)^2 for
    /// already scaled inputs and targets; with gradients, also writes the gradient of that sum
    /// (overwriting). `scratch` holds trainingScratchSize values.
    double (*lossDouble)(const DenseTrainingLayer<double>* layers, int layerCount, const double* inputs,
                         const double* targets, const double* errorWeights, std::int64_t rows, bool gradients,
                         double* scratch);
    double (*lossFloat)(const DenseTrainingLayer<float>* layers, int layerCount, const float* inputs,
                        const float* targets, const float* errorWeights, std::int64_t rows, bool gradients,
                        float* scratch);
    /// tanh of `count` values in place, to within a few units in the last place.
    void (*tanhDouble)(double* values, std::int64_t count);
    void (*tanhFloat)(float* values, std::int64_t count);
    const char* name;

    /// The baseline kernels (SSE2 on x86-64).
    static const DenseKernel& baseline();
    /// The AVX2 and FMA kernels, or nullptr when the processor lacks them.
    static const DenseKernel* avx2();
    /// The fastest kernels this processor runs.
    static const DenseKernel& best();
};

/// Scratch values the forward kernel needs for `rows` cases.
template <typename Scalar>
std::int64_t forwardScratchSize(const DenseLayer<Scalar>* layers, int layerCount, std::int64_t rows)
{
    std::int64_t widest = 0;
    for (int i = 0; i < layerCount; ++i)
        widest = layers[i].outputs > widest ? layers[i].outputs : widest;
    return 2 * widest * (rows < DenseTrainingBlock ? rows : DenseTrainingBlock);
}

/// Scratch values the training kernel needs for layers of the given widths.
template <typename Layer> std::int64_t trainingScratchSize(const Layer* layers, int layerCount)
{
    std::int64_t widest = 0;
    std::int64_t activations = 0;
    for (int i = 0; i < layerCount; ++i)
    {
        widest = layers[i].outputs > widest ? layers[i].outputs : widest;
        widest = layers[i].inputs > widest ? layers[i].inputs : widest;
        activations += layers[i].outputs;
    }
    return DenseTrainingBlock * (activations + 2 * widest);
}
} // namespace AISystem::detail
