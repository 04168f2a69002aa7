#include "fmu/SurrogateModel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ConfluxFmu
{
namespace
{
constexpr double ZeroCelsius = 273.15;
constexpr double GasConstant = 8314.462618;
// Temperatures stay above this many kelvin in the ideal-gas law, as in training, so that a wild
// output cannot divide by zero.
constexpr double MinimumAbsoluteTemperature = 1.0;

double valueOf(const BalanceValue& value, const Eigen::VectorXd& inputs, const Eigen::VectorXd& outputs)
{
    switch (value.kind)
    {
    case BalanceValue::Kind::Fixed:
        return value.factor * value.value;
    case BalanceValue::Kind::Input:
        return inputs[value.index] * value.factor;
    case BalanceValue::Kind::Output:
        return outputs[value.index] * value.factor;
    }
    return 0.0;
}

double densityOf(const BalanceFluid& fluid, double temperature)
{
    if (!fluid.idealGas)
        return fluid.density;
    const double absolute = std::max(temperature + ZeroCelsius, MinimumAbsoluteTemperature);
    return fluid.absolutePressure * fluid.molecularWeight / (GasConstant * absolute);
}

double specificHeatOf(const BalanceFluid& fluid, double temperature)
{
    const auto& points = fluid.specificHeat;
    double result = points.front().second;
    for (size_t k = 0; k + 1 < points.size(); ++k)
    {
        const auto& [x0, y0] = points[k];
        const auto& [x1, y1] = points[k + 1];
        result = result + (y1 - y0) / (x1 - x0) * (std::clamp(temperature, x0, x1) - x0);
    }
    return result;
}

// The integral of the piecewise-linear curve (constant beyond its ends) from its first point.
double curveIntegral(const std::vector<std::pair<double, double>>& points, double temperature)
{
    const double first = points.front().first;
    double result = points.front().second * (temperature - first);
    for (size_t k = 0; k + 1 < points.size(); ++k)
    {
        const auto& [x0, y0] = points[k];
        const auto& [x1, y1] = points[k + 1];
        const double width = x1 - x0;
        const double u = std::clamp(temperature, x0, x1) - x0;
        result = result + (y1 - y0) / width * (0.5 * u * u + width * std::max(temperature - x1, 0.0));
    }
    return result;
}

double enthalpyOf(const BalanceFluid& fluid, double temperature)
{
    if (fluid.specificHeat.size() == 1 && fluid.specificHeat.front().first == 0.0)
        return fluid.specificHeat.front().second * temperature;
    return curveIntegral(fluid.specificHeat, temperature) - curveIntegral(fluid.specificHeat, 0.0);
}

struct Entry
{
    const BalanceFlow* flow;
    double temperature;
    double mass;
};

// The entries of one stream with their mass flows, those not given shared out so that the stream
// conserves mass; adds the stream's mass imbalance (when both sides are given) to `mass`.
void evaluateStream(const BalanceStream& stream, const Eigen::VectorXd& inputs, const Eigen::VectorXd& outputs,
                    std::vector<Entry>& in, std::vector<Entry>& out, double& mass)
{
    const auto side = [&](const std::vector<BalanceFlow>& flows, std::vector<Entry>& entries) {
        entries.clear();
        bool known = true;
        for (const auto& flow : flows)
        {
            Entry entry{&flow, valueOf(flow.temperature, inputs, outputs), 0.0};
            if (flow.flow)
                entry.mass = densityOf(stream.fluid, entry.temperature) * std::abs(valueOf(*flow.flow, inputs, outputs));
            else
                known = false;
            entries.push_back(entry);
        }
        return known;
    };
    const auto total = [](const std::vector<Entry>& entries) {
        double sum = 0.0;
        for (const auto& entry : entries)
            sum = sum + entry.mass;
        return sum;
    };
    const auto shareOut = [](std::vector<Entry>& entries, double sum) {
        double areas = 0.0;
        for (const auto& entry : entries)
            areas += entry.flow->area;
        for (auto& entry : entries)
            entry.mass = sum * (areas > 0.0 ? entry.flow->area / areas : 1.0 / static_cast<double>(entries.size()));
    };
    const bool inKnown = side(stream.inflows, in);
    const bool outKnown = side(stream.outflows, out);
    if (inKnown && outKnown)
        mass = mass + total(in) - total(out);
    else if (inKnown)
        shareOut(out, total(in));
    else
        shareOut(in, total(out));
}

template <typename Scalar> using Packet = typename Eigen::internal::packet_traits<Scalar>::type;

// Double tanh to about 1 ulp, a packet at a time: the rational approximation of the Cephes library
// below 0.625, where 1 - 2 / (exp(2|x|) + 1) would lose digits to cancellation, and that formula
// above. The project's dense kernels compute it the same way.
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
    // exp overflows to infinity for large |x|, which gives exactly 1.
    const P e = ei::pexp(ei::padd(z, z));
    P large = ei::psub(one, ei::pdiv(ei::pset1<P>(2.0), ei::padd(e, one)));
    large = ei::pselect(ei::pcmp_lt(x, ei::pzero(x)), ei::pnegate(large), large);
    return ei::pselect(ei::pcmp_lt(z, ei::pset1<P>(0.625)), small, large);
}

// Eigen's float tanh, a rational approximation accurate to a few ulp.
inline Packet<float> tanhPacket(const Packet<float>& x) { return Eigen::internal::ptanh(x); }

template <typename Scalar> void applyTanh(Eigen::Matrix<Scalar, Eigen::Dynamic, 1>& values)
{
    using P = Packet<Scalar>;
    constexpr Eigen::Index width = Eigen::internal::packet_traits<Scalar>::size;
    Scalar* data = values.data();
    const Eigen::Index count = values.size();
    Eigen::Index i = 0;
    for (; i + width <= count; i += width)
        Eigen::internal::pstoreu(data + i, tanhPacket(Eigen::internal::ploadu<P>(data + i)));
    if (i < count)
    {
        // The tail goes through the same packet code, so that every value is computed alike.
        Scalar tail[width] = {};
        for (Eigen::Index j = i; j < count; ++j)
            tail[j - i] = data[j];
        Eigen::internal::pstoreu(tail, tanhPacket(Eigen::internal::ploadu<P>(tail)));
        for (Eigen::Index j = i; j < count; ++j)
            data[j] = tail[j - i];
    }
}
} // namespace

SurrogateModel::Workspace::Workspace(const SurrogateModel& model)
    : modelInputs(model.inputCount()), modelOutputs(model.outputCount())
{
    const auto& layers = model.m_description.layers;
    if (model.m_description.singlePrecision)
    {
        floats.emplace_back(model.inputCount());
        for (const auto& layer : layers)
            floats.emplace_back(layer.outputs);
    }
    else
    {
        doubles.emplace_back(model.inputCount());
        for (const auto& layer : layers)
            doubles.emplace_back(layer.outputs);
    }
}

SurrogateModel::SurrogateModel(const NetworkDescription& description) : m_description(description)
{
    validateNetworkDescription(m_description);
    // Fold the normalisation into copies of the layers, in the order the project's evaluator does.
    auto layers = m_description.layers;
    auto& first = layers.front();
    for (int o = 0; o < first.outputs; ++o)
        for (int i = 0; i < first.inputs; ++i)
        {
            double& weight = first.weights[static_cast<size_t>(o * first.inputs + i)];
            weight /= m_description.inputs[static_cast<size_t>(i)].normScale;
            first.bias[static_cast<size_t>(o)] -= weight * m_description.inputs[static_cast<size_t>(i)].normOffset;
        }
    auto& last = layers.back();
    for (int o = 0; o < last.outputs; ++o)
    {
        const double scale = m_description.outputs[static_cast<size_t>(o)].normScale;
        for (int i = 0; i < last.inputs; ++i)
            last.weights[static_cast<size_t>(o * last.inputs + i)] *= scale;
        last.bias[static_cast<size_t>(o)] =
            last.bias[static_cast<size_t>(o)] * scale + m_description.outputs[static_cast<size_t>(o)].normOffset;
    }
    const auto pack = [&layers](auto& packed) {
        using Scalar = typename std::decay_t<decltype(packed)>::value_type::Scalar;
        for (const auto& layer : layers)
        {
            Layer<Scalar> dense;
            dense.weights.resize(layer.outputs, layer.inputs);
            dense.bias.resize(layer.outputs);
            for (int o = 0; o < layer.outputs; ++o)
            {
                for (int i = 0; i < layer.inputs; ++i)
                    dense.weights(o, i) = static_cast<Scalar>(layer.weights[static_cast<size_t>(o * layer.inputs + i)]);
                dense.bias[o] = static_cast<Scalar>(layer.bias[static_cast<size_t>(o)]);
            }
            dense.tanh = layer.activation == Activation::Tanh;
            packed.push_back(std::move(dense));
        }
    };
    if (m_description.singlePrecision)
        pack(m_floatLayers);
    else
        pack(m_doubleLayers);
}

template <typename Scalar>
void SurrogateModel::forward(const std::vector<Layer<Scalar>>& layers,
                             std::vector<Eigen::Matrix<Scalar, Eigen::Dynamic, 1>>& work,
                             const Eigen::VectorXd& inputs, Eigen::VectorXd& outputs) const
{
    work[0] = inputs.cast<Scalar>();
    for (size_t l = 0; l < layers.size(); ++l)
    {
        auto& next = work[l + 1];
        next.noalias() = layers[l].weights * work[l];
        next += layers[l].bias;
        if (layers[l].tanh)
            applyTanh(next);
    }
    outputs = work.back().template cast<double>();
}

bool SurrogateModel::evaluate(const double* inputs, double* results, Workspace& workspace) const
{
    const auto& description = m_description;
    for (int i = 0; i < inputCount(); ++i)
    {
        const auto& input = description.inputs[static_cast<size_t>(i)];
        workspace.modelInputs[i] = input.unitFactor * inputs[i] + input.unitOffset;
    }
    if (description.singlePrecision)
        forward(m_floatLayers, workspace.floats, workspace.modelInputs, workspace.modelOutputs);
    else
        forward(m_doubleLayers, workspace.doubles, workspace.modelInputs, workspace.modelOutputs);
    if (description.balance && description.balance->conserve)
        conserveEnergy(workspace.modelInputs, workspace.modelOutputs);
    bool finite = true;
    for (int o = 0; o < outputCount(); ++o)
    {
        const auto& output = description.outputs[static_cast<size_t>(o)];
        results[o] = output.unitFactor * workspace.modelOutputs[o] + output.unitOffset;
        finite = finite && std::isfinite(results[o]);
    }
    if (description.balance)
    {
        // The balance takes the outputs mapped back through the inverse of their transform, as the
        // project's evaluation does.
        for (int o = 0; o < outputCount(); ++o)
        {
            const auto& output = description.outputs[static_cast<size_t>(o)];
            workspace.modelOutputs[o] =
                (1.0 / output.unitFactor) * results[o] + (-output.unitOffset / output.unitFactor);
        }
        imbalance(workspace.modelInputs, workspace.modelOutputs, results[outputCount()], results[outputCount() + 1]);
        finite = finite && std::isfinite(results[outputCount()]) && std::isfinite(results[outputCount() + 1]);
    }
    return finite;
}

void SurrogateModel::imbalance(const Eigen::VectorXd& inputs, const Eigen::VectorXd& outputs, double& energy,
                               double& mass) const
{
    energy = 0.0;
    mass = 0.0;
    for (const auto& source : m_description.balance->heatSources)
        energy = energy + valueOf(source, inputs, outputs);
    std::vector<Entry> in;
    std::vector<Entry> out;
    for (const auto& stream : m_description.balance->streams)
    {
        evaluateStream(stream, inputs, outputs, in, out, mass);
        double carried = 0.0;
        for (const auto& entry : in)
            carried = carried + entry.mass * enthalpyOf(stream.fluid, entry.temperature);
        for (const auto& entry : out)
            carried = carried - entry.mass * enthalpyOf(stream.fluid, entry.temperature);
        energy = energy + carried;
    }
}

void SurrogateModel::conserveEnergy(const Eigen::VectorXd& inputs, Eigen::VectorXd& outputs) const
{
    // A few Newton steps on the output temperatures: one suffices when density and specific heat
    // are constant, the others absorb their dependence on temperature.
    constexpr int Steps = 4;
    std::vector<Entry> in;
    std::vector<Entry> out;
    Eigen::VectorXd gradient(outputs.size());
    for (int step = 0; step < Steps; ++step)
    {
        double energy = 0.0;
        for (const auto& source : m_description.balance->heatSources)
            energy = energy + valueOf(source, inputs, outputs);
        gradient.setZero();
        double ignored = 0.0;
        for (const auto& stream : m_description.balance->streams)
        {
            evaluateStream(stream, inputs, outputs, in, out, ignored);
            for (const auto& [entries, sign] : {std::pair{&in, 1.0}, std::pair{&out, -1.0}})
                for (const auto& entry : *entries)
                {
                    energy = energy + sign * entry.mass * enthalpyOf(stream.fluid, entry.temperature);
                    const auto& temperature = entry.flow->temperature;
                    if (temperature.kind != BalanceValue::Kind::Output)
                        continue;
                    gradient[temperature.index] +=
                        sign * temperature.factor * entry.mass * specificHeatOf(stream.fluid, entry.temperature);
                }
        }
        const double norm = gradient.squaredNorm();
        const double move = norm > 0.0 ? energy / norm : 0.0;
        outputs -= gradient * move;
    }
}
} // namespace ConfluxFmu
