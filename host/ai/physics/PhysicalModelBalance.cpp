#include "host/ai/physics/PhysicalModelBalance.h"

#include <torch/torch.h>

#include <stdexcept>
#include <string>

namespace AISystem::detail
{
namespace
{
constexpr double ZeroCelsius = 273.15;
// Temperatures are kept above this many kelvin in the ideal-gas law, so that an untrained
// network's wild outputs cannot divide by zero.
constexpr double MinimumAbsoluteTemperature = 1.0;

torch::Tensor valueOf(const PhysicalModelValue& value, const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    switch (value.getType())
    {
    case PhysicalModelValueType::Fixed:
        return torch::full({inputs.size(0)}, value.getFactor() * value.getValue(), inputs.options());
    case PhysicalModelValueType::Input:
        return inputs.select(1, value.getIndex()) * value.getFactor();
    case PhysicalModelValueType::Output:
        return outputs.select(1, value.getIndex()) * value.getFactor();
    }
    throw std::logic_error("Unknown physical model value type");
}

torch::Tensor densityOf(const PhysicalModelFluid& fluid, const torch::Tensor& temperature)
{
    return std::visit(
        [&temperature](const auto& model) -> torch::Tensor {
            using T = std::decay_t<decltype(model)>;
            if constexpr (std::is_same_v<T, PhysicalModelFluidDensityConstant>)
                return torch::full_like(temperature, model.getDensity());
            else
            {
                const auto absolute = torch::clamp_min(temperature + ZeroCelsius, MinimumAbsoluteTemperature);
                return model.getAbsolutePressure() * model.getMolecularWeight() /
                       (PhysicalModelFluidDensityIdealGas::GasConstant * absolute);
            }
        },
        fluid.getDensityModel());
}

torch::Tensor specificHeatOf(const PhysicalModelFluid& fluid, const torch::Tensor& temperature)
{
    return std::visit(
        [&temperature](const auto& model) -> torch::Tensor {
            using T = std::decay_t<decltype(model)>;
            if constexpr (std::is_same_v<T, PhysicalModelFluidSpecificHeatConstant>)
                return torch::full_like(temperature, model.getSpecificHeat());
            else
            {
                const auto& points = model.getPoints();
                if (points.empty())
                    throw std::runtime_error("Specific heat temperature curve has no points");
                auto result = torch::full_like(temperature, points.front().second);
                for (size_t k = 0; k + 1 < points.size(); ++k)
                {
                    const auto& [x0, y0] = points[k];
                    const auto& [x1, y1] = points[k + 1];
                    result = result + (y1 - y0) / (x1 - x0) * (torch::clamp(temperature, x0, x1) - x0);
                }
                return result;
            }
        },
        fluid.getSpecificHeatModel());
}

// The integral of a piecewise-linear curve (constant beyond its ends) from its first point.
torch::Tensor curveIntegral(const std::vector<std::pair<double, double>>& points, const torch::Tensor& temperature)
{
    const double first = points.front().first;
    auto result = points.front().second * (temperature - first);
    for (size_t k = 0; k + 1 < points.size(); ++k)
    {
        const auto& [x0, y0] = points[k];
        const auto& [x1, y1] = points[k + 1];
        const double width = x1 - x0;
        const auto u = torch::clamp(temperature, x0, x1) - x0;
        result = result + (y1 - y0) / width * (0.5 * u * u + width * torch::relu(temperature - x1));
    }
    return result;
}

torch::Tensor enthalpyOf(const PhysicalModelFluid& fluid, const torch::Tensor& temperature)
{
    return std::visit(
        [&temperature](const auto& model) -> torch::Tensor {
            using T = std::decay_t<decltype(model)>;
            if constexpr (std::is_same_v<T, PhysicalModelFluidSpecificHeatConstant>)
                return model.getSpecificHeat() * temperature;
            else
            {
                const auto& points = model.getPoints();
                if (points.empty())
                    throw std::runtime_error("Specific heat temperature curve has no points");
                return curveIntegral(points, temperature) - curveIntegral(points, torch::zeros_like(temperature));
            }
        },
        fluid.getSpecificHeatModel());
}

// One opening of a stream, evaluated for the batch: its mass flow is known or shared out later.
struct EntryState
{
    const PhysicalModelFlow* flow;
    torch::Tensor temperature;
    torch::Tensor mass;
};

std::vector<EntryState> evaluateSide(const PhysicalModelStream& stream, const std::vector<PhysicalModelFlow>& flows,
                                     const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    std::vector<EntryState> states;
    for (const auto& flow : flows)
    {
        if (!flow.temperature)
            throw std::invalid_argument("Physical model: a stream entry has no temperature");
        EntryState state{&flow, valueOf(*flow.temperature, inputs, outputs), {}};
        if (flow.flow)
            state.mass = densityOf(stream.getFluid(), state.temperature) *
                         torch::abs(valueOf(*flow.flow, inputs, outputs));
        states.push_back(std::move(state));
    }
    return states;
}

bool allKnown(const std::vector<EntryState>& states)
{
    for (const auto& state : states)
        if (!state.mass.defined())
            return false;
    return true;
}

torch::Tensor totalMass(const std::vector<EntryState>& states, const torch::Tensor& zero)
{
    auto total = zero;
    for (const auto& state : states)
        total = total + state.mass;
    return total;
}

void shareOut(std::vector<EntryState>& states, const torch::Tensor& total)
{
    double areas = 0.0;
    for (const auto& state : states)
        areas += state.flow->area;
    for (auto& state : states)
    {
        const double share = areas > 0.0 ? state.flow->area / areas : 1.0 / static_cast<double>(states.size());
        state.mass = total * share;
    }
}

struct StreamState
{
    const PhysicalModelStream* stream;
    std::vector<EntryState> inflows;
    std::vector<EntryState> outflows;
};

std::vector<StreamState> evaluateStreams(const PhysicalModel& model, const torch::Tensor& inputs,
                                         const torch::Tensor& outputs, BatchBalance& balance)
{
    const auto zero = torch::zeros({inputs.size(0)}, inputs.options());
    std::vector<StreamState> streams;
    for (size_t s = 0; s < model.getStreams().size(); ++s)
    {
        const auto& stream = model.getStreams()[s];
        StreamState state{&stream, evaluateSide(stream, stream.getInflows(), inputs, outputs),
                          evaluateSide(stream, stream.getOutflows(), inputs, outputs)};
        const bool inKnown = allKnown(state.inflows);
        const bool outKnown = allKnown(state.outflows);
        if (inKnown && outKnown)
        {
            const auto in = totalMass(state.inflows, zero);
            const auto out = totalMass(state.outflows, zero);
            balance.mass = balance.mass + in - out;
            balance.massFlow = balance.massFlow + torch::maximum(in, out);
        }
        else if (inKnown)
        {
            const auto in = totalMass(state.inflows, zero);
            shareOut(state.outflows, in);
            balance.massFlow = balance.massFlow + in;
        }
        else if (outKnown)
        {
            const auto out = totalMass(state.outflows, zero);
            shareOut(state.inflows, out);
            balance.massFlow = balance.massFlow + out;
        }
        else
            throw std::invalid_argument("Physical model: stream " + std::to_string(s + 1) +
                                        " needs a flow on all its inflows or on all its outflows");
        streams.push_back(std::move(state));
    }
    return streams;
}
} // namespace

BatchBalance computeBalance(const PhysicalModel& model, const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    const auto zero = torch::zeros({inputs.size(0)}, inputs.options());
    BatchBalance balance{zero, zero, zero, zero};
    for (const auto& source : model.getHeatSources())
    {
        const auto power = valueOf(source, inputs, outputs);
        balance.energy = balance.energy + power;
        balance.throughput = balance.throughput + torch::abs(power);
    }
    for (const auto& stream : evaluateStreams(model, inputs, outputs, balance))
    {
        auto carried = zero;
        for (const auto& entry : stream.inflows)
            carried = carried + entry.mass * enthalpyOf(stream.stream->getFluid(), entry.temperature);
        for (const auto& entry : stream.outflows)
            carried = carried - entry.mass * enthalpyOf(stream.stream->getFluid(), entry.temperature);
        balance.energy = balance.energy + carried;
        balance.throughput = balance.throughput + 0.5 * torch::abs(carried);
    }
    return balance;
}

torch::Tensor conserveEnergy(const PhysicalModel& model, const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    // A few Newton steps on the output temperatures; one suffices when density and specific heat
    // are constant, the others absorb their dependence on temperature.
    constexpr int Steps = 4;
    auto corrected = outputs;
    for (int step = 0; step < Steps; ++step)
    {
        const auto zero = torch::zeros({inputs.size(0)}, inputs.options());
        BatchBalance balance{zero, zero, zero, zero};
        const auto streams = evaluateStreams(model, inputs, corrected, balance);
        auto energy = zero;
        for (const auto& source : model.getHeatSources())
            energy = energy + valueOf(source, inputs, corrected);
        auto gradient = torch::zeros_like(corrected);
        for (const auto& stream : streams)
        {
            const auto& fluid = stream.stream->getFluid();
            for (const auto& [entries, sign] : {std::pair{&stream.inflows, 1.0}, {&stream.outflows, -1.0}})
                for (const auto& entry : *entries)
                {
                    energy = energy + sign * entry.mass * enthalpyOf(fluid, entry.temperature);
                    const auto& temperature = *entry.flow->temperature;
                    if (temperature.getType() != PhysicalModelValueType::Output)
                        continue;
                    const auto slope =
                        sign * temperature.getFactor() * entry.mass * specificHeatOf(fluid, entry.temperature);
                    auto column = torch::zeros_like(corrected);
                    column.select(1, temperature.getIndex()).fill_(1.0);
                    gradient = gradient + column * slope.unsqueeze(1);
                }
        }
        const auto norm = (gradient * gradient).sum(1);
        const auto safe = torch::where(norm > 0, norm, torch::ones_like(norm));
        const auto move = torch::where(norm > 0, energy / safe, torch::zeros_like(energy));
        corrected = corrected - gradient * move.unsqueeze(1);
    }
    return corrected;
}
} // namespace AISystem::detail

namespace AISystem
{
std::vector<ImbalanceResult> PhysicalModel::calcImbalances(const Tensor& inputs, const Tensor& outputs) const
{
    if (inputs.getDimensionCount() != 2 || outputs.getDimensionCount() != 2 ||
        inputs.getDimensionSize(0) != outputs.getDimensionSize(0))
        throw std::invalid_argument("Physical model: inputs " + inputs.getTensorShape().toString() + " and outputs " +
                                    outputs.getTensorShape().toString() + " are not two tables of the same cases");
    validate(static_cast<int>(inputs.getDimensionSize(1)), static_cast<int>(outputs.getDimensionSize(1)));
    const auto rows = inputs.getDimensionSize(0);
    auto toTorch = [](const Tensor& tensor) {
        auto values = tensor.toDoubleVector();
        return torch::from_blob(values.data(), {tensor.getDimensionSize(0), tensor.getDimensionSize(1)},
                                torch::kFloat64)
            .clone();
    };
    torch::NoGradGuard noGrad;
    const auto balance = detail::computeBalance(*this, toTorch(inputs), toTorch(outputs));
    const auto energy = balance.energy.contiguous();
    const auto mass = balance.mass.contiguous();
    std::vector<ImbalanceResult> results(static_cast<size_t>(rows));
    for (std::int64_t i = 0; i < rows; ++i)
        results[static_cast<size_t>(i)] = {energy.data_ptr<double>()[i], mass.data_ptr<double>()[i]};
    return results;
}
} // namespace AISystem
