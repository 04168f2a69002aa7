#include "host/ai/modules/ONNXGraph.h"

#include "host/ai/modules/ONNXOperators.h"

#include <onnx/onnx_pb.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace AISystem
{
namespace
{
std::string describe(const onnx::NodeProto& node, std::size_t index)
{
    const std::string op = node.op_type().empty() ? std::string("Unnamed operator") : node.op_type();
    return node.name().empty() ? op + " node #" + std::to_string(index + 1)
                               : op + " node '" + node.name() + "'";
}

ONNXGraph::Port port(const onnx::ValueInfoProto& info, const std::string& what)
{
    ONNXGraph::Port port;
    port.name = info.name();
    if (!info.type().has_tensor_type())
        throw std::runtime_error(what + " '" + info.name() +
                                 "' is not a tensor (sequences, maps and optional values are not supported)");
    const onnx::TypeProto::Tensor& tensor = info.type().tensor_type();
    try
    {
        port.type = ONNXOperators::elementType(tensor.elem_type());
    }
    catch (const std::runtime_error& e)
    {
        throw std::runtime_error(what + " '" + info.name() + "': " + e.what());
    }
    port.hasShape = tensor.has_shape();
    for (const onnx::TensorShapeProto::Dimension& dim : tensor.shape().dim())
        port.shape.push_back(dim.has_dim_value() && dim.dim_value() >= 0 ? dim.dim_value() : -1);
    return port;
}

void requireDefaultDomain(const std::string& domain, const std::string& what)
{
    if (!domain.empty() && domain != "ai.onnx")
        throw std::runtime_error(what + ": the operator domain '" + domain + "' is not supported");
}
} // namespace

std::string toString(ONNXElementType type)
{
    switch (type)
    {
    case ONNXElementType::Float:
        return "float";
    case ONNXElementType::Double:
        return "double";
    case ONNXElementType::Int64:
        return "int64";
    }
    return "unknown";
}

ONNXTensor ONNXTensor::fromProtoBytes(const Utilities::bytearray& bytes)
{
    onnx::TensorProto proto;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX) ||
        !proto.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())))
        throw std::runtime_error("the data is not a serialized ONNX tensor");
    try
    {
        return ONNXOperators::fromProto(proto);
    }
    catch (const std::runtime_error& e)
    {
        throw std::runtime_error("tensor '" + proto.name() + "': " + e.what());
    }
}

struct ONNXGraph::Impl
{
    struct Step
    {
        std::string label;
        ONNXOperators::Kernel kernel;
        /// Slots of the node's inputs; -1 for one it leaves out.
        std::vector<int> inputs;
        /// Slots of the node's outputs, in its order.
        std::vector<int> outputs;
    };

    std::vector<Port> inputs;
    std::vector<Port> outputs;
    std::vector<int> inputSlots;
    std::vector<int> outputSlots;
    /// The initializers, by slot.
    std::vector<std::pair<int, ONNXTensor>> constants;
    /// The steps the outputs depend on, in the graph's order.
    std::vector<Step> steps;
    int slotCount = 0;
};

ONNXGraph::ONNXGraph(std::shared_ptr<const Impl> impl) : m_impl(std::move(impl)) {}

ONNXGraph ONNXGraph::fromBytes(const Utilities::bytearray& bytes)
{
    onnx::ModelProto model;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX) ||
        !model.ParseFromArray(bytes.data(), static_cast<int>(bytes.size())))
        throw std::runtime_error("the model data is not a valid ONNX model (it does not parse as one)");
    if (!model.has_graph())
        throw std::runtime_error("the model has no graph");
    bool hasDefaultOpset = false;
    for (const onnx::OperatorSetIdProto& opset : model.opset_import())
        hasDefaultOpset = hasDefaultOpset || opset.domain().empty() || opset.domain() == "ai.onnx";
    if (!hasDefaultOpset)
        throw std::runtime_error("the model imports no opset of the ONNX operators (opset_import)");
    const onnx::GraphProto& graph = model.graph();
    if (graph.sparse_initializer_size() > 0)
        throw std::runtime_error("sparse initializers are not supported");

    auto impl = std::make_shared<Impl>();
    std::unordered_map<std::string, int> slots;
    std::vector<ONNXElementType> types;
    const auto define = [&](const std::string& name, ONNXElementType type, const std::string& what)
    {
        if (name.empty())
            throw std::runtime_error(what + " has no name");
        if (!slots.emplace(name, impl->slotCount).second)
            throw std::runtime_error(what + " '" + name + "' is defined twice");
        types.push_back(type);
        return impl->slotCount++;
    };

    for (const onnx::TensorProto& initializer : graph.initializer())
    {
        ONNXTensor value;
        try
        {
            value = ONNXOperators::fromProto(initializer);
        }
        catch (const std::runtime_error& e)
        {
            throw std::runtime_error("initializer '" + initializer.name() + "': " + e.what());
        }
        const int slot = define(initializer.name(), value.type, "initializer");
        impl->constants.emplace_back(slot, std::move(value));
    }
    for (const onnx::ValueInfoProto& input : graph.input())
    {
        // An input that an initializer also gives is a constant here, as the runtimes take it.
        if (!input.name().empty() && slots.count(input.name()) != 0)
            continue;
        Port declared = port(input, "graph input");
        impl->inputSlots.push_back(define(declared.name, declared.type, "graph input"));
        impl->inputs.push_back(std::move(declared));
    }

    std::vector<Impl::Step> steps;
    for (std::size_t i = 0; i < static_cast<std::size_t>(graph.node_size()); ++i)
    {
        const onnx::NodeProto& node = graph.node(static_cast<int>(i));
        const std::string label = describe(node, i);
        requireDefaultDomain(node.domain(), label);
        Impl::Step step;
        step.label = label;
        std::vector<std::optional<ONNXElementType>> inputTypes;
        for (const std::string& name : node.input())
        {
            if (name.empty())
            {
                step.inputs.push_back(-1);
                inputTypes.emplace_back();
                continue;
            }
            const auto found = slots.find(name);
            if (found == slots.end())
                throw std::runtime_error(
                    label + ": input '" + name +
                    "' is not defined by a graph input, an initializer or an earlier node");
            step.inputs.push_back(found->second);
            inputTypes.emplace_back(types[static_cast<std::size_t>(found->second)]);
        }
        ONNXOperators::CompiledNode compiled;
        try
        {
            compiled = ONNXOperators::compile(node, inputTypes);
        }
        catch (const std::runtime_error& e)
        {
            std::string reason = e.what();
            if (reason == "the operator is not supported")
            {
                reason = "the operator " + node.op_type() + " is not supported (supported: ";
                for (const std::string& op : ONNXOperators::supportedOperators())
                    reason += (op == ONNXOperators::supportedOperators().front() ? "" : ", ") + op;
                reason += ")";
            }
            throw std::runtime_error(label + ": " + reason);
        }
        step.kernel = std::move(compiled.kernel);
        for (std::size_t o = 0; o < compiled.outputTypes.size(); ++o)
            step.outputs.push_back(
                define(node.output(static_cast<int>(o)), compiled.outputTypes[o], label + ": output"));
        steps.push_back(std::move(step));
    }

    if (graph.output_size() == 0)
        throw std::runtime_error("the graph declares no outputs");
    for (const onnx::ValueInfoProto& output : graph.output())
    {
        const auto found = slots.find(output.name());
        if (found == slots.end())
            throw std::runtime_error("graph output '" + output.name() + "' is given by no node");
        Port declared = port(output, "graph output");
        const ONNXElementType computed = types[static_cast<std::size_t>(found->second)];
        if (declared.type != computed)
            throw std::runtime_error("graph output '" + output.name() + "' is declared " +
                                     toString(declared.type) + " but is computed as " + toString(computed));
        impl->outputSlots.push_back(found->second);
        impl->outputs.push_back(std::move(declared));
    }

    // Only what the declared outputs depend on runs: a node listed after them, or one that computes
    // a value nobody asks for, is checked above but never evaluated.
    std::vector<bool> needed(static_cast<std::size_t>(impl->slotCount), false);
    for (int slot : impl->outputSlots)
        needed[static_cast<std::size_t>(slot)] = true;
    const auto isNeeded = [&needed](const Impl::Step& step)
    {
        return std::any_of(step.outputs.begin(), step.outputs.end(),
                           [&needed](int slot) { return needed[static_cast<std::size_t>(slot)]; });
    };
    for (auto step = steps.rbegin(); step != steps.rend(); ++step)
        if (isNeeded(*step))
            for (int input : step->inputs)
                if (input >= 0)
                    needed[static_cast<std::size_t>(input)] = true;
    for (Impl::Step& step : steps)
        if (isNeeded(step))
            impl->steps.push_back(std::move(step));
    return ONNXGraph(std::move(impl));
}

const std::vector<ONNXGraph::Port>& ONNXGraph::inputs() const
{
    return m_impl->inputs;
}

const std::vector<ONNXGraph::Port>& ONNXGraph::outputs() const
{
    return m_impl->outputs;
}

std::vector<ONNXTensor> ONNXGraph::run(const std::map<std::string, ONNXTensor>& inputs) const
{
    const Impl& impl = *m_impl;
    std::vector<const ONNXTensor*> at(static_cast<std::size_t>(impl.slotCount), nullptr);
    std::vector<ONNXTensor> computed(static_cast<std::size_t>(impl.slotCount));
    for (const auto& [slot, value] : impl.constants)
        at[static_cast<std::size_t>(slot)] = &value;
    for (const auto& [name, value] : inputs)
    {
        bool known = false;
        for (const Port& input : impl.inputs)
            known = known || input.name == name;
        if (!known)
            throw std::runtime_error("the graph has no input named '" + name + "'");
    }
    for (std::size_t i = 0; i < impl.inputs.size(); ++i)
    {
        const Port& declared = impl.inputs[i];
        const auto given = inputs.find(declared.name);
        if (given == inputs.end())
            throw std::runtime_error("graph input '" + declared.name + "' is not given");
        const ONNXTensor& value = given->second;
        if (value.type != declared.type)
            throw std::runtime_error("graph input '" + declared.name + "' is " + toString(declared.type) +
                                     ", not " + toString(value.type));
        bool fits = !declared.hasShape || declared.shape.size() == value.shape.size();
        for (std::size_t d = 0; fits && declared.hasShape && d < declared.shape.size(); ++d)
            fits = declared.shape[d] < 0 || declared.shape[d] == value.shape[d];
        if (!fits)
            throw std::runtime_error("graph input '" + declared.name + "' has the shape " +
                                     ONNXOperators::shapeText(declared.shape) + " (-1 for any size), not " +
                                     ONNXOperators::shapeText(value.shape));
        if (static_cast<std::int64_t>(value.values.size()) != ONNXOperators::elementCount(value.shape))
            throw std::runtime_error("graph input '" + declared.name + "' holds " +
                                     std::to_string(value.values.size()) + " values for the shape " +
                                     ONNXOperators::shapeText(value.shape));
        at[static_cast<std::size_t>(impl.inputSlots[i])] = &value;
    }
    std::vector<const ONNXTensor*> arguments;
    for (const Impl::Step& step : impl.steps)
    {
        arguments.clear();
        for (int input : step.inputs)
            arguments.push_back(input < 0 ? nullptr : at[static_cast<std::size_t>(input)]);
        std::vector<ONNXTensor> results;
        try
        {
            results = step.kernel(arguments);
        }
        catch (const std::runtime_error& e)
        {
            throw std::runtime_error(step.label + ": " + e.what());
        }
        for (std::size_t o = 0; o < step.outputs.size(); ++o)
        {
            const auto slot = static_cast<std::size_t>(step.outputs[o]);
            computed[slot] = std::move(results[o]);
            at[slot] = &computed[slot];
        }
    }
    std::vector<ONNXTensor> outputs;
    for (int slot : impl.outputSlots)
        outputs.push_back(*at[static_cast<std::size_t>(slot)]);
    return outputs;
}
} // namespace AISystem
