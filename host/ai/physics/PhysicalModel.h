#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/physics/PhysicalModelFluid.h"
#include "host/ai/physics/PhysicalModelValue.h"
#include "host/ai/tensor/Tensor.h"

#include <optional>
#include <string>
#include <vector>

namespace AISystem
{
/// One opening of a fluid stream: its area in m² (0 when none is given), its temperature in °C and
/// its volume flow in m³/s. The sign of a flow value is ignored: whether the entry is an inflow or
/// an outflow gives the direction.
struct PhysicalModelFlow
{
    double area = 0.0;
    std::optional<PhysicalModelValue> temperature;
    std::optional<PhysicalModelValue> flow;

    bool operator==(const PhysicalModelFlow&) const = default;
};

/// A fluid passing through the equipment: its inflows and outflows. When the flows of one side are
/// not all known, the mass flow of the other side is shared among them in proportion to their
/// areas (evenly when no area is given), so that the stream conserves mass.
class PhysicalModelStream
{
public:
    explicit PhysicalModelStream(PhysicalModelFluid fluid);

    void addInflow(double area, std::optional<PhysicalModelValue> temperature, std::optional<PhysicalModelValue> flow);
    void addOutflow(double area, std::optional<PhysicalModelValue> temperature, std::optional<PhysicalModelValue> flow);

    const PhysicalModelFluid& getFluid() const { return m_fluid; }
    const std::vector<PhysicalModelFlow>& getInflows() const { return m_inflows; }
    const std::vector<PhysicalModelFlow>& getOutflows() const { return m_outflows; }

    bool operator==(const PhysicalModelStream&) const = default;

private:
    PhysicalModelFluid m_fluid;
    std::vector<PhysicalModelFlow> m_inflows;
    std::vector<PhysicalModelFlow> m_outflows;
};

/// The energy and mass balance of a piece of equipment, written in terms of the columns of a
/// network's inputs and outputs: heat sources (W) and fluid streams. For one case
///   energy imbalance = Σ heat sources + Σ inflow ṁ·h(T) − Σ outflow ṁ·h(T)   (W)
///   mass imbalance   = Σ inflow ṁ − Σ outflow ṁ                              (kg/s)
/// with ṁ = density(T)·|flow| and h the fluid's specific enthalpy from 0 °C. A balanced case gives 0.
class PhysicalModel
{
public:
    void addHeatSource(const PhysicalModelValue& power);
    void addStream(const PhysicalModelStream& stream);

    const std::vector<PhysicalModelValue>& getHeatSources() const { return m_heatSources; }
    const std::vector<PhysicalModelStream>& getStreams() const { return m_streams; }

    /// Checks that the model can be evaluated for a network of these sizes: every column exists,
    /// every stream entry has a temperature, and in every stream all inflows or all outflows have a
    /// flow. Throws std::invalid_argument naming the stream, the entry and the column.
    void validate(int inputCount, int outputCount) const;
    /// Whether some stream entry takes its temperature from an output column.
    bool hasOutputTemperature() const;

    /// Energy and mass imbalance of each case (row) of inputs and outputs. Throws
    /// std::invalid_argument when the tensors do not fit the model.
    std::vector<ImbalanceResult> calcImbalances(const Tensor& inputs, const Tensor& outputs) const;

    /// A line-based text form, read back by fromText.
    std::string toText() const;
    /// Throws std::runtime_error naming the line that cannot be read.
    static PhysicalModel fromText(const std::string& text);

    bool operator==(const PhysicalModel&) const = default;

private:
    std::vector<PhysicalModelValue> m_heatSources;
    std::vector<PhysicalModelStream> m_streams;
};
} // namespace AISystem
