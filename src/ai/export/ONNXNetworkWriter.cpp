#include "src/ai/export/ONNXNetworkWriter.h"

#include <QSaveFile>

#include <onnx/checker.h>
#include <onnx/onnx_pb.h>
#include <onnx/shape_inference/implementation.h>

#include <charconv>
#include <set>
#include <stdexcept>

#ifndef CONFLUX_VERSION
#define CONFLUX_VERSION "0"
#endif

namespace Conflux
{
namespace
{
constexpr std::int64_t OpsetVersion = 13;
const char* const CasesDimension = "cases";

std::string number(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

/// Builds the graph node by node, naming the intermediate tensors "network/..." so that they never
/// meet an exchange path (which starts with the project's name and holds no "/").
class GraphBuilder
{
public:
    GraphBuilder(onnx::GraphProto& graph, onnx::TensorProto_DataType type) : m_graph(graph), m_type(type) {}

    /// A constant tensor of the element type.
    std::string constant(const std::string& name, const std::vector<std::int64_t>& shape,
                         const std::vector<double>& values)
    {
        onnx::TensorProto* tensor = m_graph.add_initializer();
        tensor->set_name(name);
        tensor->set_data_type(m_type);
        for (std::int64_t size : shape)
            tensor->add_dims(size);
        for (double value : values)
            if (m_type == onnx::TensorProto_DataType_FLOAT)
                tensor->add_float_data(static_cast<float>(value));
            else
                tensor->add_double_data(value);
        return name;
    }
    std::string integers(const std::string& name, const std::vector<std::int64_t>& values)
    {
        onnx::TensorProto* tensor = m_graph.add_initializer();
        tensor->set_name(name);
        tensor->set_data_type(onnx::TensorProto_DataType_INT64);
        tensor->add_dims(static_cast<std::int64_t>(values.size()));
        for (std::int64_t value : values)
            tensor->add_int64_data(value);
        return name;
    }

    onnx::NodeProto* node(const std::string& op, const std::vector<std::string>& inputs,
                          const std::vector<std::string>& outputs)
    {
        onnx::NodeProto* node = m_graph.add_node();
        node->set_op_type(op);
        node->set_name(outputs.front());
        for (const auto& input : inputs)
            node->add_input(input);
        for (const auto& output : outputs)
            node->add_output(output);
        return node;
    }

    static void intAttribute(onnx::NodeProto* node, const std::string& name, std::int64_t value)
    {
        onnx::AttributeProto* attribute = node->add_attribute();
        attribute->set_name(name);
        attribute->set_type(onnx::AttributeProto_AttributeType_INT);
        attribute->set_i(value);
    }

    /// A graph input or output of shape {cases, columns}.
    void value(onnx::ValueInfoProto* info, const std::string& name, std::int64_t columns, const std::string& doc)
    {
        info->set_name(name);
        if (!doc.empty())
            info->set_doc_string(doc);
        onnx::TypeProto_Tensor* tensor = info->mutable_type()->mutable_tensor_type();
        tensor->set_elem_type(m_type);
        tensor->mutable_shape()->add_dim()->set_dim_param(CasesDimension);
        tensor->mutable_shape()->add_dim()->set_dim_value(columns);
    }
    void input(const std::string& name, std::int64_t columns, const std::string& doc)
    {
        value(m_graph.add_input(), name, columns, doc);
    }
    void output(const std::string& name, std::int64_t columns, const std::string& doc)
    {
        value(m_graph.add_output(), name, columns, doc);
    }

private:
    onnx::GraphProto& m_graph;
    onnx::TensorProto_DataType m_type;
};

/// The column's scaling as Mul and Add nodes (left out where it is the identity).
std::string scale(GraphBuilder& graph, const std::string& from, const std::string& prefix,
                  const std::vector<ExportedVariable>& variables)
{
    std::vector<double> factors, offsets;
    bool unitFactors = true, zeroOffsets = true;
    for (const auto& variable : variables)
    {
        factors.push_back(variable.factor);
        offsets.push_back(variable.offset);
        unitFactors = unitFactors && variable.factor == 1.0;
        zeroOffsets = zeroOffsets && variable.offset == 0.0;
    }
    const auto columns = static_cast<std::int64_t>(variables.size());
    std::string at = from;
    if (!unitFactors)
    {
        const std::string next = prefix + "_scaled";
        graph.node("Mul", {at, graph.constant(prefix + "_factor", {columns}, factors)}, {next});
        at = next;
    }
    if (!zeroOffsets)
    {
        const std::string next = prefix + "_shifted";
        graph.node("Add", {at, graph.constant(prefix + "_offset", {columns}, offsets)}, {next});
        at = next;
    }
    return at;
}

std::string variableDoc(const ExportedVariable& variable)
{
    std::string doc = variable.description;
    if (!variable.unit.empty())
        doc += " [" + variable.unit + "]";
    if (variable.min || variable.max)
        doc += ", bounds " + (variable.min ? number(*variable.min) : std::string("-inf")) + " to " +
               (variable.max ? number(*variable.max) : std::string("inf"));
    return doc;
}

void addProperty(onnx::ModelProto& model, const std::string& key, const std::string& value)
{
    onnx::StringStringEntryProto* entry = model.add_metadata_props();
    entry->set_key(key);
    entry->set_value(value);
}

void addVariableProperties(onnx::ModelProto& model, const std::string& prefix,
                           const std::vector<ExportedVariable>& variables)
{
    for (std::size_t i = 0; i < variables.size(); ++i)
    {
        const ExportedVariable& variable = variables[i];
        const std::string key = prefix + "." + std::to_string(i) + ".";
        addProperty(model, key + "name", variable.name);
        addProperty(model, key + "description", variable.description);
        addProperty(model, key + "quantity", variable.quantity);
        addProperty(model, key + "unit", variable.unit);
        addProperty(model, key + "display_unit", variable.displayUnit);
        addProperty(model, key + "display_factor", number(variable.displayFactor));
        addProperty(model, key + "display_offset", number(variable.displayOffset));
        if (variable.min)
            addProperty(model, key + "min", number(*variable.min));
        if (variable.max)
            addProperty(model, key + "max", number(*variable.max));
        addProperty(model, key + "start", number(variable.start));
    }
}

onnx::ModelProto buildModel(const ExportedNetwork& network, const ONNXExportOptions& options)
{
    const bool useFloat = options.float32 || network.elementType == AISystem::TensorElementType::Float;
    const onnx::TensorProto_DataType type =
        useFloat ? onnx::TensorProto_DataType_FLOAT : onnx::TensorProto_DataType_DOUBLE;
    if (network.layers.empty() || network.inputs.empty() || network.outputs.empty())
        throw std::runtime_error("The network of AI model '" + network.modelName + "' has nothing to export");

    onnx::ModelProto model;
    model.set_ir_version(onnx::IR_VERSION);
    model.set_producer_name("ConfluxTool");
    model.set_producer_version(CONFLUX_VERSION);
    model.set_model_version(1);
    model.set_doc_string(network.description.empty() ? "AI model '" + network.modelName + "'"
                                                     : network.description);
    onnx::OperatorSetIdProto* opset = model.add_opset_import();
    opset->set_domain("");
    opset->set_version(OpsetVersion);

    onnx::GraphProto& graphProto = *model.mutable_graph();
    graphProto.set_name(network.modelName);
    GraphBuilder graph(graphProto, type);
    const auto inputCount = static_cast<std::int64_t>(network.inputs.size());
    const auto outputCount = static_cast<std::int64_t>(network.outputs.size());

    std::set<std::string> names;
    for (const auto* variables : {&network.inputs, &network.outputs})
        for (const auto& variable : *variables)
            if (!names.insert(variable.name).second || variable.name.empty() ||
                variable.name.rfind("network/", 0) == 0)
                throw std::runtime_error("AI model '" + network.modelName + "': the name '" + variable.name +
                                         "' cannot name a column of the ONNX model (empty or used twice)");

    std::string at;
    switch (options.layout)
    {
    case ONNXLayout::NamedColumns:
    {
        std::vector<std::string> columns;
        for (const auto& input : network.inputs)
        {
            graph.input(input.name, 1, variableDoc(input));
            columns.push_back(input.name);
        }
        at = "network/inputs";
        GraphBuilder::intAttribute(graph.node("Concat", columns, {at}), "axis", 1);
        break;
    }
    case ONNXLayout::SingleTensor:
        at = "inputs";
        graph.input(at, inputCount, "the inputs in standard units, one column per model input (see metadata)");
        break;
    }

    at = scale(graph, at, "network/input", network.inputs);
    for (std::size_t l = 0; l < network.layers.size(); ++l)
    {
        const ExportedNetwork::Layer& layer = network.layers[l];
        const std::string prefix = "network/layer" + std::to_string(l);
        const std::string weights = graph.constant(prefix + "_weights", {layer.outputs, layer.inputs}, layer.weights);
        const std::string bias = graph.constant(prefix + "_bias", {layer.outputs}, layer.bias);
        const std::string linear = prefix + "_linear";
        GraphBuilder::intAttribute(graph.node("Gemm", {at, weights, bias}, {linear}), "transB", 1);
        at = linear;
        switch (layer.activation)
        {
        case ExportedNetwork::Activation::Tanh:
            graph.node("Tanh", {at}, {prefix + "_tanh"});
            at = prefix + "_tanh";
            break;
        case ExportedNetwork::Activation::Linear:
            break;
        }
    }
    at = scale(graph, at, "network/output", network.outputs);

    switch (options.layout)
    {
    case ONNXLayout::NamedColumns:
    {
        std::vector<std::string> columns;
        for (const auto& output : network.outputs)
        {
            graph.output(output.name, 1, variableDoc(output));
            columns.push_back(output.name);
        }
        if (columns.size() == 1)
            graph.node("Identity", {at}, columns);
        else
            GraphBuilder::intAttribute(
                graph.node("Split",
                           {at, graph.integers("network/output_split",
                                               std::vector<std::int64_t>(columns.size(), 1))},
                           columns),
                "axis", 1);
        break;
    }
    case ONNXLayout::SingleTensor:
        graph.output("outputs", outputCount, "the outputs in standard units, one column per model output (see metadata)");
        graph.node("Identity", {at}, {"outputs"});
        break;
    }

    addProperty(model, "ai_model", network.modelName);
    if (!network.ownerName.empty())
        addProperty(model, "equipment", network.ownerName);
    addProperty(model, "network_element_type", AISystem::toString(network.elementType));
    addVariableProperties(model, "input", network.inputs);
    addVariableProperties(model, "output", network.outputs);
    return model;
}
} // namespace

std::string ONNXNetworkWriter::toBytes(const ExportedNetwork& network, const ONNXExportOptions& options)
{
    onnx::ModelProto model = buildModel(network, options);
    try
    {
        onnx::checker::check_model(model);
        onnx::ModelProto inferred = model;
        onnx::shape_inference::InferShapes(inferred, onnx::OpSchemaRegistry::Instance(),
                                           onnx::ShapeInferenceOptions(true, 1, false));
    }
    catch (const std::exception& error)
    {
        throw std::runtime_error("The ONNX model of AI model '" + network.modelName +
                                 "' fails ONNX's checks: " + error.what());
    }
    std::string bytes;
    if (!model.SerializeToString(&bytes))
        throw std::runtime_error("The ONNX model of AI model '" + network.modelName + "' cannot be serialised");
    return bytes;
}

void ONNXNetworkWriter::write(const ExportedNetwork& network, const ONNXExportOptions& options, const QString& path)
{
    const std::string bytes = toBytes(network, options);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() + "': " + file.errorString().toStdString());
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
        !file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() + "': " + file.errorString().toStdString());
}
} // namespace Conflux
