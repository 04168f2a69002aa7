#include "src/ai/export/ExportedNetwork.h"

#include "host/ai/modules/Module.h"
#include "host/ai/modules/ModuleType.h"
#include "host/ai/modules/NeuralNetworkDescription.h"
#include "host/ai/tensor/TensorScalingTransform.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/UnitConverter.h"
#include "src/ai/definition/AIModelChoice.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/model/AttributePath.h"
#include "src/model/Entity.h"
#include "src/model/builders/EntityTreeBuilder.h"
#include "src/project/CurrentProject.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <type_traits>
#include <variant>

using namespace EntityModel;

namespace Conflux
{
namespace
{
constexpr double ZeroCelsius = 273.15;
// As the AI library's balance: the ideal-gas law never sees less than this many kelvin.
constexpr double MinimumAbsoluteTemperature = 1.0;

std::string modelText(const Entity* aiModel)
{
    return "AI model '" + aiModel->getName() + "'";
}

std::string columnText(bool isInput, std::size_t index)
{
    return std::string(isInput ? "input " : "output ") + std::to_string(index + 1);
}

/// Where the AI library leaves the network and the solver's record takes over: the per-column
/// transforms of the model's units and scaling.
struct Transforms
{
    std::vector<double> inputFactors, inputOffsets, outputFactors, outputOffsets;
};

void assignTransform(const std::optional<AISystem::TensorScalingTransform>& transform, std::size_t count,
                     std::vector<double>& factors, std::vector<double>& offsets)
{
    factors.assign(count, 1.0);
    offsets.assign(count, 0.0);
    if (!transform)
        return;
    factors = transform->getFactors();
    offsets = transform->getOffsets();
}

/// The exchange model of the project, for the paths the solver knows the bound values by.
class ExchangePaths
{
public:
    explicit ExchangePaths(Entity* root)
    {
        if (root == nullptr)
            return;
        const bool forceDouble =
            getBoolValue(EntityFetcher::getSolutionControl(root),
                         AttributePath("Conflux Control.Force Double Attributes"), false);
        m_tree = Model::EntityTreeBuilder::create(root, TesseraSDK::AccessType::ReadWrite, true, forceDouble);
    }

    /// The exchange path of an attribute of `entity` named by its exchange path relative to the
    /// entity; empty when the exchange model does not hold it.
    std::string find(Entity* entity, const std::string& relative) const
    {
        if (!m_tree.first || relative.empty())
            return {};
        const auto found = m_tree.second.find(entity);
        if (found == m_tree.second.end() || found->second == nullptr || !found->second->isEntity())
            return {};
        auto* counterpart = dynamic_cast<Model::Entity*>(found->second);
        Model::Attribute* attribute =
            counterpart == nullptr ? nullptr : counterpart->findAttribute(Model::AttributePath(relative), false);
        return attribute == nullptr ? std::string() : attribute->getAttributePath(true).toString();
    }

private:
    Model::EntityTree m_tree;
};

void describeUnit(Attribute* source, ExportedVariable& variable)
{
    const UnitTypeAttribute* unit = nullptr;
    if (source != nullptr && source->isDoubleAttribute())
        unit = static_cast<DoubleAttribute*>(source)->getUnitAttribute();
    else if (source != nullptr && source->isCurveAttribute())
        unit = static_cast<CurveAttribute*>(source)->getYUnit();
    if (unit == nullptr || unit->getQuantity().empty())
        return;
    variable.quantity = unit->getQuantity().getLabel();
    variable.unit = UnitConverter::instance().getSIType(unit->getQuantity());
    variable.displayUnit = unit->getValue();
    const Utilities::LinearTransform<double> toStandard = unit->getTransform();
    variable.displayFactor = toStandard.a;
    variable.displayOffset = toStandard.b;
}

bool isNumeric(const Attribute& attribute)
{
    return attribute.isDoubleAttribute() || attribute.isCurveAttribute() || attribute.isIntegerAttribute() ||
           attribute.isBoolAttribute();
}

ExportedVariable describeVariable(const Entity* aiModel, CompositeAttribute* entry, bool isInput,
                                  std::size_t index, const ExchangePaths& paths, InputBounds bounds)
{
    Entity* linked = getLinkedEntity(entry, Entity_t);
    const std::string attributeText = getStringValue(entry, Attribute_t);
    if (linked == nullptr || attributeText.empty())
        throw ExportRefusal(modelText(aiModel) + ": " + columnText(isInput, index) +
                            " is bound to no project value; bind it before exporting");
    const std::string hostPath = getStringValue(entry, Selected_Attribute_t / Path_t);
    Attribute* source = hostPath.empty() ? nullptr : linked->findAttribute(AttributePath(hostPath));
    if (source != nullptr)
        if (Attribute* target = getShortcutTarget(source))
            source = target;

    ExportedVariable variable;
    variable.name = paths.find(linked, attributeText);
    if (variable.name.empty())
        variable.name = linked->getFullDisplayName() + "." + attributeText;
    variable.description = linked->getFullDisplayName() + ": " + attributeText;
    describeUnit(source, variable);

    if (getBoolValue(entry, Bounds_t / Has_Min_t))
        variable.min = getStandardDoubleValue(entry, Bounds_t / Min_t);
    if (getBoolValue(entry, Bounds_t / Has_Max_t))
        variable.max = getStandardDoubleValue(entry, Bounds_t / Max_t);
    if (isInput && bounds == InputBounds::Required && (!variable.min || !variable.max))
        throw ExportRefusal(modelText(aiModel) + ": " + columnText(true, index) + " '" + variable.name +
                            "' has no " + (variable.min ? "maximum" : variable.max ? "minimum" : "bounds") +
                            "; the export needs both bounds of every input (Bounds.Min and Bounds.Max)");

    // The start is what the evaluator starts from: the bound value within the bounds.
    std::optional<double> value;
    if (source != nullptr && source->isValid() && isNumeric(*source))
        value = getStandardDoubleValue(source->getOwnerEntity(), source->getAttributePath());
    if (value && variable.min)
        value = std::max(*value, *variable.min);
    if (value && variable.max)
        value = std::min(*value, *variable.max);
    if (!value && variable.min && variable.max)
        value = (*variable.min + *variable.max) * 0.5;
    if (!value)
        value = variable.min ? variable.min : variable.max;
    variable.start = value.value_or(0.0);
    return variable;
}

std::vector<ExportedVariable> describeVariables(const Entity* aiModel, CountedCompositeAttribute* list,
                                                bool isInput, int columns, const ExchangePaths& paths,
                                                InputBounds bounds, const std::vector<double>& factors,
                                                const std::vector<double>& offsets)
{
    const std::size_t count = list == nullptr ? 0 : list->childCount();
    if (count != static_cast<std::size_t>(columns))
        throw ExportRefusal(modelText(aiModel) + " has " + std::to_string(count) +
                            (isInput ? " inputs" : " outputs") + " but its network " +
                            (isInput ? "takes " : "gives ") + std::to_string(columns) +
                            "; train it again for its inputs and outputs");
    std::vector<ExportedVariable> variables;
    for (std::size_t i = 0; i < count; ++i)
    {
        Attribute* child = list->getChild(i);
        if (!child->isCompositeAttribute())
            throw ExportRefusal(modelText(aiModel) + ": " + columnText(isInput, i) + " is not a value entry");
        ExportedVariable variable =
            describeVariable(aiModel, static_cast<CompositeAttribute*>(child), isInput, i, paths, bounds);
        variable.factor = factors[i];
        variable.offset = offsets[i];
        variables.push_back(std::move(variable));
    }
    std::map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < variables.size(); ++i)
        if (const auto [at, fresh] = seen.emplace(variables[i].name, i); !fresh)
            throw ExportRefusal(modelText(aiModel) + ": " + columnText(isInput, at->second) + " and " +
                                columnText(isInput, i) + " are both bound to '" + variables[i].name +
                                "'; an exported network needs a distinct name for each");
    return variables;
}

void refuseModelType(const Entity* aiModel, AISystem::ModuleType type)
{
    const std::string what = modelText(aiModel);
    switch (type)
    {
    case AISystem::ModuleType::NeuralNetwork:
        return;
    case AISystem::ModuleType::None:
        throw ExportRefusal(what + " has no model type; only a neural network trained in the project can be exported");
    case AISystem::ModuleType::ONNX:
        throw ExportRefusal(what + " is an ONNX model; only a neural network trained in the project can be "
                                   "exported (its ONNX data already is one)");
    case AISystem::ModuleType::TorchScript:
        throw ExportRefusal(what + " is a TorchScript model; only a neural network trained in the project can be "
                                   "exported (a TorchScript program has no layers to write)");
    case AISystem::ModuleType::Python:
        throw ExportRefusal(what + " is a Python model; only a neural network trained in the project can be "
                                   "exported (a Python script has no layers to write)");
    case AISystem::ModuleType::Trivial:
    case AISystem::ModuleType::Transformed:
        break;
    }
    throw ExportRefusal(what + " has a model type that cannot be exported");
}

// The physical model's balance for one case, as the AI library computes it for a batch.
double valueOf(const AISystem::PhysicalModelValue& value, const std::vector<double>& inputs,
               const std::vector<double>& outputs)
{
    switch (value.getType())
    {
    case AISystem::PhysicalModelValueType::Fixed:
        return value.getFactor() * value.getValue();
    case AISystem::PhysicalModelValueType::Input:
        return inputs.at(static_cast<std::size_t>(value.getIndex())) * value.getFactor();
    case AISystem::PhysicalModelValueType::Output:
        return outputs.at(static_cast<std::size_t>(value.getIndex())) * value.getFactor();
    }
    throw std::logic_error("Unknown physical model value type");
}

double densityOf(const AISystem::PhysicalModelFluid& fluid, double temperature)
{
    return std::visit(
        [temperature](const auto& model) -> double
        {
            using T = std::decay_t<decltype(model)>;
            if constexpr (std::is_same_v<T, AISystem::PhysicalModelFluidDensityConstant>)
                return model.getDensity();
            else
                return model.getAbsolutePressure() * model.getMolecularWeight() /
                       (AISystem::PhysicalModelFluidDensityIdealGas::GasConstant *
                        std::max(temperature + ZeroCelsius, MinimumAbsoluteTemperature));
        },
        fluid.getDensityModel());
}

double curveIntegral(const std::vector<std::pair<double, double>>& points, double temperature)
{
    const double first = points.front().first;
    double result = points.front().second * (temperature - first);
    for (std::size_t k = 0; k + 1 < points.size(); ++k)
    {
        const auto& [x0, y0] = points[k];
        const auto& [x1, y1] = points[k + 1];
        const double width = x1 - x0;
        const double u = std::clamp(temperature, x0, x1) - x0;
        result = result + (y1 - y0) / width * (0.5 * u * u + width * std::max(temperature - x1, 0.0));
    }
    return result;
}

double enthalpyOf(const AISystem::PhysicalModelFluid& fluid, double temperature)
{
    return std::visit(
        [temperature](const auto& model) -> double
        {
            using T = std::decay_t<decltype(model)>;
            if constexpr (std::is_same_v<T, AISystem::PhysicalModelFluidSpecificHeatConstant>)
                return model.getSpecificHeat() * temperature;
            else
            {
                const auto& points = model.getPoints();
                if (points.empty())
                    throw std::runtime_error("Specific heat temperature curve has no points");
                return curveIntegral(points, temperature) - curveIntegral(points, 0.0);
            }
        },
        fluid.getSpecificHeatModel());
}

struct Entry
{
    const AISystem::PhysicalModelFlow* flow;
    double temperature = 0.0;
    std::optional<double> mass;
};

std::vector<Entry> evaluateSide(const AISystem::PhysicalModelStream& stream,
                                const std::vector<AISystem::PhysicalModelFlow>& flows,
                                const std::vector<double>& inputs, const std::vector<double>& outputs)
{
    std::vector<Entry> entries;
    for (const auto& flow : flows)
    {
        if (!flow.temperature)
            throw std::invalid_argument("Physical model: a stream entry has no temperature");
        Entry entry{&flow, valueOf(*flow.temperature, inputs, outputs), std::nullopt};
        if (flow.flow)
            entry.mass = densityOf(stream.getFluid(), entry.temperature) *
                         std::abs(valueOf(*flow.flow, inputs, outputs));
        entries.push_back(entry);
    }
    return entries;
}

bool allKnown(const std::vector<Entry>& entries)
{
    return std::all_of(entries.begin(), entries.end(), [](const Entry& entry) { return entry.mass.has_value(); });
}

double totalMass(const std::vector<Entry>& entries)
{
    double total = 0.0;
    for (const auto& entry : entries)
        total = total + *entry.mass;
    return total;
}

void shareOut(std::vector<Entry>& entries, double total)
{
    double areas = 0.0;
    for (const auto& entry : entries)
        areas += entry.flow->area;
    for (auto& entry : entries)
        entry.mass = total * (areas > 0.0 ? entry.flow->area / areas : 1.0 / static_cast<double>(entries.size()));
}

AISystem::ImbalanceResult balance(const AISystem::PhysicalModel& model, const std::vector<double>& inputs,
                                  const std::vector<double>& outputs)
{
    AISystem::ImbalanceResult result;
    for (const auto& source : model.getHeatSources())
        result.energy = result.energy + valueOf(source, inputs, outputs);
    for (std::size_t s = 0; s < model.getStreams().size(); ++s)
    {
        const auto& stream = model.getStreams()[s];
        std::vector<Entry> in = evaluateSide(stream, stream.getInflows(), inputs, outputs);
        std::vector<Entry> out = evaluateSide(stream, stream.getOutflows(), inputs, outputs);
        const bool inKnown = allKnown(in);
        const bool outKnown = allKnown(out);
        if (inKnown && outKnown)
            result.mass = result.mass + totalMass(in) - totalMass(out);
        else if (inKnown)
            shareOut(out, totalMass(in));
        else if (outKnown)
            shareOut(in, totalMass(out));
        else
            throw std::invalid_argument("Physical model: stream " + std::to_string(s + 1) +
                                        " needs a flow on all its inflows or on all its outflows");
        double carried = 0.0;
        for (const auto& entry : in)
            carried = carried + *entry.mass * enthalpyOf(stream.getFluid(), entry.temperature);
        for (const auto& entry : out)
            carried = carried - *entry.mass * enthalpyOf(stream.getFluid(), entry.temperature);
        result.energy = result.energy + carried;
    }
    return result;
}

template <typename Scalar>
std::vector<double> forward(const std::vector<ExportedNetwork::Layer>& layers, const std::vector<double>& inputs)
{
    std::vector<Scalar> values(inputs.begin(), inputs.end());
    std::vector<Scalar> next;
    for (const auto& layer : layers)
    {
        next.assign(static_cast<std::size_t>(layer.outputs), Scalar(0));
        for (int o = 0; o < layer.outputs; ++o)
        {
            Scalar sum = static_cast<Scalar>(layer.bias[static_cast<std::size_t>(o)]);
            for (int i = 0; i < layer.inputs; ++i)
                sum += static_cast<Scalar>(layer.weights[static_cast<std::size_t>(o * layer.inputs + i)]) *
                       values[static_cast<std::size_t>(i)];
            switch (layer.activation)
            {
            case ExportedNetwork::Activation::Tanh:
                sum = std::tanh(sum);
                break;
            case ExportedNetwork::Activation::Linear:
                break;
            }
            next[static_cast<std::size_t>(o)] = sum;
        }
        values.swap(next);
    }
    return std::vector<double>(values.begin(), values.end());
}
} // namespace

std::vector<double> ExportedNetwork::evaluate(const std::vector<double>& standardInputs) const
{
    if (standardInputs.size() != inputs.size())
        throw std::invalid_argument("Network of AI model '" + modelName + "': " +
                                    std::to_string(standardInputs.size()) + " inputs given, it takes " +
                                    std::to_string(inputs.size()));
    std::vector<double> network(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        network[i] = inputs[i].factor * standardInputs[i] + inputs[i].offset;
    std::vector<double> result = elementType == AISystem::TensorElementType::Float
                                     ? forward<float>(layers, network)
                                     : forward<double>(layers, network);
    for (std::size_t o = 0; o < outputs.size(); ++o)
        result[o] = outputs[o].factor * result[o] + outputs[o].offset;
    return result;
}

std::optional<AISystem::ImbalanceResult> ExportedNetwork::imbalance(const std::vector<double>& standardInputs,
                                                                    const std::vector<double>& standardOutputs) const
{
    if (!physicalModel || standardInputs.size() != inputs.size() || standardOutputs.size() != outputs.size())
        return std::nullopt;
    std::vector<double> networkInputs(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        networkInputs[i] = inputs[i].factor * standardInputs[i] + inputs[i].offset;
    std::vector<double> networkOutputs(outputs.size());
    for (std::size_t o = 0; o < outputs.size(); ++o)
    {
        // The inverse the AI library forms for the balance: (1/f, -b/f).
        if (outputs[o].factor == 0.0)
            return std::nullopt;
        networkOutputs[o] =
            (1.0 / outputs[o].factor) * standardOutputs[o] + (-outputs[o].offset / outputs[o].factor);
    }
    return balance(*physicalModel, networkInputs, networkOutputs);
}

ExportedNetwork extractNetwork(Entity* aiModel, InputBounds bounds)
{
    if (aiModel == nullptr)
        throw ExportRefusal("No AI model to export");
    if (aiModel->getTypeRef() != AI_Model_t)
        throw ExportRefusal("'" + aiModel->getName() + "' (" + aiModel->getTypeRef().getLabel() +
                            ") is not an AI model");
    const AISystem::ModuleType type = AIModuleGenerator::moduleType(getTypeValue(aiModel, Model_Type_t));
    refuseModelType(aiModel, type);

    ExportedNetwork network;
    network.modelName = aiModel->getName();
    if (const LinkAttribute* link = aiModel->getOwnerLink())
        if (const Entity* owner = link->getOwnerEntity())
            network.ownerName = owner->getFullDisplayName();
    network.description = getStringValue(aiModel, AttributePath("Identification.Description"));
    network.modelData = getByteArrayValue(aiModel, NeuralNetwork_Model_Data_t);
    if (network.modelData.empty())
        throw ExportRefusal(modelText(aiModel) + " has no trained network; train it first");

    std::optional<AISystem::NeuralNetworkDescription> description;
    try
    {
        description = AISystem::describeNeuralNetwork(
            AISystem::Module::fromByteArray(AISystem::ModuleType::NeuralNetwork, network.modelData));
    }
    catch (const std::exception& error)
    {
        throw ExportRefusal(modelText(aiModel) + ": its network does not load: " + error.what());
    }
    if (!description || description->layers.empty())
        throw ExportRefusal(modelText(aiModel) + ": its model data holds no neural network");
    if (!description->trained)
        throw ExportRefusal(modelText(aiModel) + " has a network that was never trained; train it first");
    switch (description->networkType)
    {
    case AISystem::NeuralNetworkType::Generic:
    case AISystem::NeuralNetworkType::PhysicsInformed:
        break;
    case AISystem::NeuralNetworkType::PhysicsConserved:
        throw ExportRefusal(modelText(aiModel) +
                            " is a physics-conserved network: its outputs are corrected by an iterative energy "
                            "balance that only the project's AI library computes; train it as a generic or "
                            "physics-informed network to export it");
    }
    network.elementType = description->elementType;
    network.physicalModel = description->physicalModel;
    for (std::size_t l = 0; l < description->layers.size(); ++l)
    {
        auto& layer = description->layers[l];
        network.layers.push_back({layer.inputs, layer.outputs, std::move(layer.weights), std::move(layer.bias),
                                  l + 1 < description->layers.size() ? ExportedNetwork::Activation::Tanh
                                                                     : ExportedNetwork::Activation::Linear});
    }

    const AISystem::AISolverInfo info = AIModuleGenerator::generateAISolverInfo(aiModel);
    const int inputCount = network.layers.front().inputs;
    const int outputCount = network.layers.back().outputs;
    Transforms transforms;
    assignTransform(info.inputTransform, static_cast<std::size_t>(inputCount), transforms.inputFactors,
                    transforms.inputOffsets);
    assignTransform(info.outputTransform, static_cast<std::size_t>(outputCount), transforms.outputFactors,
                    transforms.outputOffsets);

    Entity* root = aiModel->getRootEntity();
    const ExchangePaths paths(root != aiModel ? root : nullptr);
    network.inputs = describeVariables(aiModel, AIModuleGenerator::findValueList(aiModel, true), true, inputCount,
                                       paths, bounds, transforms.inputFactors, transforms.inputOffsets);
    network.outputs =
        describeVariables(aiModel, AIModuleGenerator::findValueList(aiModel, false), false, outputCount, paths,
                          InputBounds::Optional, transforms.outputFactors, transforms.outputOffsets);

    std::vector<double> starts;
    for (const auto& input : network.inputs)
        starts.push_back(input.start);
    const std::vector<double> outputStarts = network.evaluate(starts);
    for (std::size_t o = 0; o < network.outputs.size(); ++o)
        network.outputs[o].start = outputStarts[o];
    return network;
}

ExportedNetwork extractNetwork(const QString& projectFile, const std::string& modelName, InputBounds bounds)
{
    const std::unique_ptr<Project> project = ProjectFile::load(projectFile);
    // The variables are named by the exchange tree, which is built as for the open project.
    const CurrentProject current(project.get());
    return extractNetwork(chooseAIModel(project->getRootEntity(), modelName, projectFile.toStdString()), bounds);
}
} // namespace Conflux
