#pragma once
// The dense kernels' code, compiled by DenseKernelBaseline.cpp and DenseKernelAvx2.cpp with their
// own instruction sets. Each of them renames the namespace Eigen before including this file, and
// passes the name of its own namespace in CONFLUX_DENSE_ISA: inline functions compiled for AVX2
// must never share a symbol with the baseline's, or the linker could hand AVX2 code to a processor
// without it. Nothing here may instantiate a standard library template that is not inlined.
#include "host/ai/dense/DenseKernel.h"

#include <Eigen/Core>

#include <cmath>

#ifndef CONFLUX_DENSE_ISA
#error "CONFLUX_DENSE_ISA must name the kernel's namespace"
#endif

namespace AISystem::detail::CONFLUX_DENSE_ISA
{
namespace
{
using Eigen::Dynamic;
template <typename Scalar> using Matrix = Eigen::Matrix<Scalar, Dynamic, Dynamic>;
template <typename Scalar> using RowMajorMatrix = Eigen::Matrix<Scalar, Dynamic, Dynamic, Eigen::RowMajor>;
template <typename Scalar> using Vector = Eigen::Matrix<Scalar, Dynamic, 1>;
template <typename Scalar> using Packet = typename Eigen::internal::packet_traits<Scalar>::type;

// Double tanh to about 1 ulp: the rational approximation of the Cephes library below 0.625, where
// 1 - 2 / (exp(2|x|) + 1) would lose digits to cancellation, and that formula above.
inline Packet<double> tanhPacket(const Packet<double>& x)
{
    namespace ei = Eigen::internal;
    using P = Packet<double>;
    const P z = ei::pabs(x);
    const P s = ei::pmul(x, x);
    P p = ei::pset1<P>(-9.64399179425052238628e-1);
    p = ei::pmadd(p, s, ei::pset1<P>(-9.92877231001918586564e1));
    p = ei::pmadd(p, s, ei::pset1<P>(-1.61468768441708447952e3));
    P q = ei::padd(s, ei::pset1<P>(1.12811678491632931402e2));
    q = ei::pmadd(q, s, ei::pset1<P>(2.23548839060100448583e3));
    q = ei::pmadd(q, s, ei::pset1<P>(4.84406305325125486048e3));
    const P small = ei::pmadd(ei::pmul(x, s), ei::pdiv(p, q), x);
    const P one = ei::pset1<P>(1.0);
    // exp overflows to infinity for large |x|, which gives exactly 1, as it should.
    const P e = ei::pexp(ei::padd(z, z));
    P large = ei::psub(one, ei::pdiv(ei::pset1<P>(2.0), ei::padd(e, one)));
    large = ei::pselect(ei::pcmp_lt(x, ei::pzero(x)), ei::pnegate(large), large);
    return ei::pselect(ei::pcmp_lt(z, ei::pset1<P>(0.625)), small, large);
}

// Eigen's float tanh (a rational approximation accurate to a few ulp).
inline Packet<float> tanhPacket(const Packet<float>& x)
{
    return Eigen::internal::ptanh(x);
}

template <typename Scalar> void tanhInPlace(Scalar* values, std::int64_t count)
{
    using P = Packet<Scalar>;
    constexpr std::int64_t width = Eigen::internal::packet_traits<Scalar>::size;
    std::int64_t i = 0;
    for (; i + width <= count; i += width)
        Eigen::internal::pstoreu(values + i, tanhPacket(Eigen::internal::ploadu<P>(values + i)));
    if (i < count)
    {
        // The tail goes through the same packet code, so every value is computed alike.
        Scalar tail[width] = {};
        for (std::int64_t j = i; j < count; ++j)
            tail[j - i] = values[j];
        Eigen::internal::pstoreu(tail, tanhPacket(Eigen::internal::ploadu<P>(tail)));
        for (std::int64_t j = i; j < count; ++j)
            values[j] = tail[j - i];
    }
}

template <typename Scalar>
void forward(const DenseLayer<Scalar>* layers, int layerCount, const Scalar* inputs, std::int64_t rows,
             Scalar* outputs, Scalar* scratch)
{
    std::int64_t widest = 0;
    for (int l = 0; l < layerCount; ++l)
        widest = layers[l].outputs > widest ? layers[l].outputs : widest;
    const std::int64_t block = rows < DenseTrainingBlock ? rows : DenseTrainingBlock;
    Scalar* const buffers[2] = {scratch, scratch + block * widest};
    const int firstInputs = layers[0].inputs;
    const int lastOutputs = layers[layerCount - 1].outputs;
    for (std::int64_t start = 0; start < rows; start += block)
    {
        const std::int64_t n = rows - start < block ? rows - start : block;
        const Scalar* current = inputs + start * firstInputs;
        for (int l = 0; l < layerCount; ++l)
        {
            const DenseLayer<Scalar>& layer = layers[l];
            const bool last = l + 1 == layerCount;
            Scalar* target = last ? outputs + start * lastOutputs : buffers[l % 2];
            const Eigen::Map<const Matrix<Scalar>> weights(layer.weights, layer.outputs, layer.inputs);
            const Eigen::Map<const Vector<Scalar>> bias(layer.bias, layer.outputs);
            if (n == 1)
            {
                Eigen::Map<Vector<Scalar>> y(target, layer.outputs);
                y = bias;
                y.noalias() += weights * Eigen::Map<const Vector<Scalar>>(current, layer.inputs);
            }
            else
            {
                Eigen::Map<Matrix<Scalar>> y(target, layer.outputs, n);
                y.noalias() = weights * Eigen::Map<const Matrix<Scalar>>(current, layer.inputs, n);
                y.colwise() += bias;
            }
            if (!last)
                tanhInPlace(target, n * layer.outputs);
            current = target;
        }
    }
}

template <typename Scalar>
double loss(const DenseTrainingLayer<Scalar>* layers, int layerCount, const Scalar* inputs,
            const Scalar* targets, const Scalar* errorWeights, std::int64_t rows, bool gradients,
            Scalar* scratch)
{
    std::int64_t widest = 0;
    std::int64_t activationValues = 0;
    for (int l = 0; l < layerCount; ++l)
    {
        widest = layers[l].outputs > widest ? layers[l].outputs : widest;
        widest = layers[l].inputs > widest ? layers[l].inputs : widest;
        activationValues += layers[l].outputs;
    }
    // Per block: each layer's outputs one after another, then two buffers for the back-propagated error.
    const auto activation = [&](int layer)
    {
        Scalar* at = scratch;
        for (int l = 0; l < layer; ++l)
            at += DenseTrainingBlock * layers[l].outputs;
        return at;
    };
    Scalar* const deltas[2] = {scratch + DenseTrainingBlock * activationValues,
                               scratch + DenseTrainingBlock * (activationValues + widest)};
    if (gradients)
        for (int l = 0; l < layerCount; ++l)
        {
            Eigen::Map<RowMajorMatrix<Scalar>>(layers[l].weightGradient, layers[l].outputs, layers[l].inputs)
                .setZero();
            Eigen::Map<Vector<Scalar>>(layers[l].biasGradient, layers[l].outputs).setZero();
        }
    const int outputs = layers[layerCount - 1].outputs;
    const Eigen::Map<const Eigen::Array<Scalar, Dynamic, 1>> weightOfError(errorWeights, outputs);
    double total = 0.0;
    for (std::int64_t start = 0; start < rows; start += DenseTrainingBlock)
    {
        const std::int64_t n = rows - start < DenseTrainingBlock ? rows - start : DenseTrainingBlock;
        const Scalar* blockInputs = inputs + start * layers[0].inputs;
        const Scalar* current = blockInputs;
        for (int l = 0; l < layerCount; ++l)
        {
            const DenseTrainingLayer<Scalar>& layer = layers[l];
            Scalar* target = activation(l);
            Eigen::Map<Matrix<Scalar>> y(target, layer.outputs, n);
            y.noalias() =
                Eigen::Map<const RowMajorMatrix<Scalar>>(layer.weights, layer.outputs, layer.inputs) *
                Eigen::Map<const Matrix<Scalar>>(current, layer.inputs, n);
            y.colwise() += Eigen::Map<const Vector<Scalar>>(layer.bias, layer.outputs);
            if (l + 1 < layerCount)
                tanhInPlace(target, n * layer.outputs);
            current = target;
        }
        Eigen::Map<Matrix<Scalar>> error(activation(layerCount - 1), outputs, n);
        error -= Eigen::Map<const Matrix<Scalar>>(targets + start * outputs, outputs, n);
        total += static_cast<double>((error.array().square().colwise() * weightOfError).sum());
        if (!gradients)
            continue;
        // d(sum w e^2)/de = 2 w e, back through the layers; tanh' = 1 - tanh^2.
        error.array().colwise() *= Scalar(2) * weightOfError;
        Scalar* delta = error.data();
        for (int l = layerCount - 1; l >= 0; --l)
        {
            const DenseTrainingLayer<Scalar>& layer = layers[l];
            const Eigen::Map<const Matrix<Scalar>> d(delta, layer.outputs, n);
            const Eigen::Map<const Matrix<Scalar>> below(l == 0 ? blockInputs : activation(l - 1),
                                                         layer.inputs, n);
            Eigen::Map<RowMajorMatrix<Scalar>>(layer.weightGradient, layer.outputs, layer.inputs).noalias() +=
                d * below.transpose();
            Eigen::Map<Vector<Scalar>>(layer.biasGradient, layer.outputs) += d.rowwise().sum();
            if (l == 0)
                break;
            Scalar* next = deltas[l % 2];
            Eigen::Map<Matrix<Scalar>> propagated(next, layer.inputs, n);
            propagated.noalias() =
                Eigen::Map<const RowMajorMatrix<Scalar>>(layer.weights, layer.outputs, layer.inputs)
                    .transpose() *
                d;
            propagated.array() *= Scalar(1) - below.array().square();
            delta = next;
        }
    }
    return total;
}

const DenseKernel kernel{&forward<double>,     &forward<float>,     &loss<double>,         &loss<float>,
                         &tanhInPlace<double>, &tanhInPlace<float>, CONFLUX_DENSE_ISA_NAME};
} // namespace
} // namespace AISystem::detail::CONFLUX_DENSE_ISA
