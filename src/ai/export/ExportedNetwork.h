#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/tensor/TensorElementType.h"
#include "host/filesystem/ByteArray.h"

#include <QString>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace EntityModel
{
class Entity;
}

namespace Conflux
{
/// Why an AI model cannot leave the project as a network: the text says which model and why.
class ExportRefusal : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// One input or output of an exported network, in the terms the solver exchanges it.
struct ExportedVariable
{
    /// The exchange path of the bound project value ("Project.Rooms.Data Hall 1...."); where the
    /// exchange model does not hold it, the entity's full display name and the attribute, joined by ".".
    std::string name;
    /// "Room/Cabinet/Server: Power.Power Definition.Typical Power": the bound entity and attribute.
    std::string description;
    /// The quantity ("Temperature") and its standard unit ("°C"); both empty for a plain number.
    std::string quantity;
    std::string unit;
    /// The unit the project shows the bound value in, with standard = displayFactor · v + displayOffset
    /// for a value v in it; the standard unit with (1, 0) when the project shows that.
    std::string displayUnit;
    double displayFactor = 1.0;
    double displayOffset = 0.0;
    /// Bounds in standard units, as the AI model gives them.
    std::optional<double> min;
    std::optional<double> max;
    /// An input: the bound project value clamped to the bounds, or the midpoint (the single bound,
    /// 0 without bounds) when it has no value. An output: what the network gives for the inputs' starts.
    double start = 0.0;
    /// The column's transform in the model's unit and scaling: an input enters the network as
    /// factor · x + offset; an output leaves it as factor · y + offset (y the network's output).
    double factor = 1.0;
    double offset = 0.0;
};

/// A trained neural network of an AI model as the solver and `evaluate` run it, in plain numbers
/// for writing it in another format (ONNX, FMU).
///
/// For inputs x in standard units, outputs in standard units are
///   u = inputs' factor · x + offset,  h_0 = u,  h_k = act_k(W_k · h_{k-1} + b_k),
///   outputs = outputs' factor · h_L + offset,
/// every layer tanh but the last, which is linear. A float network computes the layers in float
/// (u rounded to float, h_L widened to double); the transforms are always computed in double.
///
/// Imbalances, where the network has a physical model: per case, on the network's side (u and the
/// outputs mapped back through their inverse transform, both in the model's units), the physical
/// model's heat sources and streams give (energy, mass). What that takes: each value is a fixed
/// number or factor × a network input or output column; each stream has a fluid with a density
/// (constant, or ideal gas p·M / (R·max(T + 273.15, 1 K))) and a specific heat (constant, or a
/// piecewise-linear curve of temperature, constant beyond its ends, integrated from 0 °C for the
/// enthalpy); mass flow = density(T) · |flow|; a side whose flows are not all given shares the
/// other side's total by area (evenly without areas). imbalance() computes exactly that.
struct ExportedNetwork
{
    enum class Activation
    {
        Tanh,
        Linear,
    };
    /// Row-major {outputs, inputs} weights and the bias (values of the element type, as doubles).
    struct Layer
    {
        int inputs = 0;
        int outputs = 0;
        std::vector<double> weights;
        std::vector<double> bias;
        Activation activation = Activation::Tanh;
    };

    /// The AI model's name, and the full display name of the equipment that owns it (may be empty).
    std::string modelName;
    std::string ownerName;
    /// The AI model's own description (may be empty).
    std::string description;
    AISystem::TensorElementType elementType = AISystem::TensorElementType::Double;
    std::vector<Layer> layers;
    std::vector<ExportedVariable> inputs;
    std::vector<ExportedVariable> outputs;
    std::optional<AISystem::PhysicalModel> physicalModel;
    /// The network's model data as the project holds it (a stable identity of the export).
    Utilities::bytearray modelData;

    /// Outputs in standard units of one case of inputs in standard units. Throws
    /// std::invalid_argument when the count of inputs is not the network's.
    std::vector<double> evaluate(const std::vector<double>& standardInputs) const;
    /// The energy (W) and mass (kg/s) imbalance of one case, as `evaluate` reports it; empty
    /// without a physical model or when an output transform cannot be inverted.
    std::optional<AISystem::ImbalanceResult> imbalance(const std::vector<double>& standardInputs,
                                                       const std::vector<double>& standardOutputs) const;
};

/// What the caller of extractNetwork needs beyond the network.
enum class InputBounds
{
    Optional, ///< inputs without bounds are taken as they are
    Required, ///< every input needs a minimum and a maximum
};

/// The network of an AI model entity, as the solver evaluates it. Throws ExportRefusal, saying why,
/// for an entity that is not an AI model, an ONNX, TorchScript or Python model, a model without a
/// trained network, a physics-conserved network (its outputs are corrected by an iterative energy
/// balance), inputs or outputs bound to nothing or not matching the network's columns, and (when
/// required) an input without bounds, naming the input.
ExportedNetwork extractNetwork(EntityModel::Entity* aiModel, InputBounds bounds);

/// The network of the AI model of a project file that chooseAIModel picks by `modelName` (empty:
/// the only one), with the project loaded for the purpose and current only while it is read.
/// Throws what loading the file, chooseAIModel and extractNetwork throw.
ExportedNetwork extractNetwork(const QString& projectFile, const std::string& modelName, InputBounds bounds);
} // namespace Conflux
