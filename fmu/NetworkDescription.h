#pragma once
// The weights file of an exported FMU (resources/network.txt): what the generic runtime evaluates.
// Plain C++ only, so that the runtime and the exporter share one reader and one writer.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ConfluxFmu
{
/// One network input as the FMU shows it. The model takes unitFactor * x + unitOffset (its own
/// unit); the network normalises that to (value - normOffset) / normScale.
struct NetworkInput
{
    std::string name;
    double min = 0.0;
    double max = 0.0;
    double start = 0.0;
    double unitFactor = 1.0;
    double unitOffset = 0.0;
    double normOffset = 0.0;
    double normScale = 1.0;
    bool operator==(const NetworkInput&) const = default;
};

/// One network output: the network's last layer times normScale plus normOffset is the model's
/// value, shown by the FMU as unitFactor * value + unitOffset.
struct NetworkOutput
{
    std::string name;
    double normOffset = 0.0;
    double normScale = 1.0;
    double unitFactor = 1.0;
    double unitOffset = 0.0;
    bool operator==(const NetworkOutput&) const = default;
};

enum class Activation : int
{
    Linear = 0,
    Tanh = 1,
};

/// A dense layer: weights row-major {outputs, inputs}, then the bias.
struct NetworkLayer
{
    int inputs = 0;
    int outputs = 0;
    Activation activation = Activation::Tanh;
    std::vector<double> weights;
    std::vector<double> bias;
    bool operator==(const NetworkLayer&) const = default;
};

/// A quantity of the balance: factor * (a fixed value, or a column of the model's inputs or outputs,
/// in the model's own units: °C, m³/s, W).
struct BalanceValue
{
    enum class Kind : int
    {
        Fixed = 0,
        Input = 1,
        Output = 2,
    };
    Kind kind = Kind::Fixed;
    int index = 0;
    double factor = 1.0;
    double value = 0.0;
    bool operator==(const BalanceValue&) const = default;
};

/// A fluid: constant or ideal-gas density, constant or piecewise-linear specific heat.
struct BalanceFluid
{
    bool idealGas = false;
    double density = 0.0;          ///< kg/m³, constant density
    double molecularWeight = 0.0;  ///< kg/kmol, ideal gas
    double absolutePressure = 0.0; ///< Pa, ideal gas
    std::vector<std::pair<double, double>> specificHeat; ///< (°C, J/(kg·K)); one point when constant
    bool operator==(const BalanceFluid&) const = default;
};

struct BalanceFlow
{
    double area = 0.0;
    BalanceValue temperature;
    std::optional<BalanceValue> flow;
    bool operator==(const BalanceFlow&) const = default;
};

struct BalanceStream
{
    BalanceFluid fluid;
    std::vector<BalanceFlow> inflows;
    std::vector<BalanceFlow> outflows;
    bool operator==(const BalanceStream&) const = default;
};

/// The equipment's energy and mass balance; with `conserve` the output temperatures are corrected
/// so that the energy balance closes.
struct Balance
{
    std::vector<BalanceValue> heatSources;
    std::vector<BalanceStream> streams;
    bool conserve = false;
    bool operator==(const Balance&) const = default;
};

/// Everything the runtime needs to evaluate one exported network.
///
/// Text format, version 1 (UTF-8, one entry per line, numbers in the C locale's shortest exact form):
///
///     conflux-fmu-network 1
///     token TOKEN
///     element double|float
///     inputs N
///     input MIN MAX START UNIT-FACTOR UNIT-OFFSET NORM-OFFSET NORM-SCALE NAME...     (N lines)
///     outputs M
///     output NORM-OFFSET NORM-SCALE UNIT-FACTOR UNIT-OFFSET NAME...                   (M lines)
///     layers L
///     layer IN OUT tanh|linear
///     weights V1 V2 ...          (OUT * IN values, row-major; several lines allowed)
///     bias V1 V2 ...             (OUT values)
///     balance none|imbalance|conserve
///     heat-source VALUE                       (VALUE: fixed FACTOR V | input I FACTOR | output I FACTOR)
///     stream constant DENSITY|ideal-gas MOLECULAR-WEIGHT ABSOLUTE-PRESSURE
///            specific-heat K T1 CP1 ... TK CPK
///     inflow|outflow AREA TEMPERATURE-VALUE FLOW-VALUE|none
///     end
///
/// The reader is strict: every count is bounded, every number finite, every column in range, and
/// nothing may follow `end`.
struct NetworkDescription
{
    std::string token;
    bool singlePrecision = false;
    std::vector<NetworkInput> inputs;
    std::vector<NetworkOutput> outputs;
    std::vector<NetworkLayer> layers;
    std::optional<Balance> balance;
    bool operator==(const NetworkDescription&) const = default;
};

/// Upper bounds that keep a hostile file from exhausting memory.
constexpr std::size_t MaxNetworkFileBytes = 256u << 20;
constexpr int MaxColumns = 100000;
constexpr std::size_t MaxLayerValues = 16u << 20;

/// Reads the text; throws std::runtime_error naming the line and what is wrong with it.
NetworkDescription parseNetworkDescription(std::string_view text);
/// Writes the text that parseNetworkDescription reads back unchanged; throws std::invalid_argument
/// when the description is inconsistent.
std::string writeNetworkDescription(const NetworkDescription& description);
/// Throws std::invalid_argument saying what does not fit (sizes, bounds, columns, non-finite values).
void validateNetworkDescription(const NetworkDescription& description);
} // namespace ConfluxFmu
