#include "host/ai/modules/ONNXModule.h"

#include "host/ai/modules/ONNXGraph.h"

#include <map>
#include <numeric>
#include <optional>
#include <stdexcept>

namespace AISystem
{
namespace
{
/// Why a port's width is unknown, for a message.
std::string openWidth(const ONNXGraph::Port& port)
{
    if (!port.hasShape)
        return "declares no shape";
    std::string shape = "{";
    for (std::size_t i = 0; i < port.shape.size(); ++i)
        shape += (i ? ", " : "") + (port.shape[i] < 0 ? std::string("?") : std::to_string(port.shape[i]));
    return "is declared " + shape + "}, its second dimension symbolic or open";
}

/// The columns of the AI model's {cases, columns} tensor a graph input takes, or of its outputs a
/// graph output gives: one for a {cases} tensor, the second dimension of a {cases, columns} one;
/// empty where the model leaves that open.
std::optional<std::int64_t> declaredWidth(const ONNXGraph::Port& port)
{
    if (!port.hasShape || port.shape.empty() || port.shape.size() > 2)
        return std::nullopt;
    if (port.shape.size() == 1)
        return 1;
    if (port.shape[1] < 0)
        return std::nullopt;
    return port.shape[1];
}

/// "'a' 1, 'b' 2"
std::string widthList(const std::vector<ONNXGraph::Port>& ports, const std::vector<std::int64_t>& widths)
{
    std::string text;
    for (std::size_t i = 0; i < ports.size(); ++i)
        text += (i ? ", '" : "'") + ports[i].name + "' " + std::to_string(widths[i]);
    return text;
}

/// Refuses graph inputs (side "input", verb "takes") or outputs ("output", "gives") that an AI
/// model's {cases, columns} tensor cannot be handed to or joined from.
void checkPorts(const std::vector<ONNXGraph::Port>& ports, const std::string& side, const std::string& verb)
{
    for (const ONNXGraph::Port& port : ports)
    {
        if (port.type == ONNXElementType::Int64)
            throw std::runtime_error("'" + port.name +
                                     "' is int64; a model's input and output are float or double");
        if (port.hasShape && port.shape.size() != 2 && port.shape.size() != 1)
            throw std::runtime_error("the " + side + " '" + port.name + "' has " +
                                     std::to_string(port.shape.size()) + " dimensions; a model " + verb +
                                     " {cases, " + side + "s} or {cases} tensors");
        if (ports.size() > 1 && !declaredWidth(port))
            throw std::runtime_error("the " + side + " '" + port.name + "' " + openWidth(port) + "; with " +
                                     std::to_string(ports.size()) + " graph " + side +
                                     "s each must declare how many " + side + " columns it " + verb);
    }
}

/// An ONNX graph as an AI model: the columns of the inputs tensor are handed to the graph inputs in
/// their declared order, each taking as many as it declares (a sole {cases, columns} input takes
/// them all), and the graph outputs are joined side by side in their declared order.
class ONNXModule : public ModuleImpl
{
public:
    explicit ONNXModule(ONNXGraph graph) : m_graph(std::move(graph))
    {
        for (const ONNXGraph::Port& input : m_graph.inputs())
            m_inputWidths.push_back(declaredWidth(input).value_or(-1));
        for (const ONNXGraph::Port& output : m_graph.outputs())
            m_outputWidths.push_back(declaredWidth(output).value_or(-1));
    }

    ModuleType getType() const override { return ModuleType::ONNX; }

    Tensor eval(const Tensor& inputs) const override
    {
        const TensorElementType type = inputs.getElementType();
        if (inputs.getDimensionCount() != 2 || type == TensorElementType::None)
            throw std::runtime_error(
                "ONNX model: inputs must be a {cases, inputs} tensor of floats or doubles, not " +
                inputs.getTensorShape().toString() + " " + toString(type));
        const std::int64_t rows = inputs.getDimensionSize(0);
        const std::int64_t columns = inputs.getDimensionSize(1);
        const std::vector<ONNXGraph::Port>& ports = m_graph.inputs();
        // A sole {cases, columns} input (or one of no declared shape) is handed every column: where
        // it declares another width, the graph says so by name.
        std::vector<std::int64_t> widths = m_inputWidths;
        if (ports.size() == 1 && !(ports[0].hasShape && ports[0].shape.size() == 1))
            widths[0] = columns;
        const std::int64_t taken = std::accumulate(widths.begin(), widths.end(), std::int64_t(0));
        if (taken != columns)
            throw std::runtime_error("ONNX model: the graph inputs take " + std::to_string(taken) +
                                     " columns (" + widthList(ports, widths) + "), but the input " +
                                     inputs.getTensorShape().toString() + " has " + std::to_string(columns));
        if (rows == 0)
        {
            // One case tells the output width, whatever batch size the model declares.
            const Tensor one = eval(Tensor::createTensor({1, columns}, type));
            return Tensor::createTensor({0, one.getDimensionSize(1)}, type);
        }
        std::vector<double> values(static_cast<std::size_t>(rows * columns));
        if (type == TensorElementType::Float)
            std::copy(inputs.data<float>(), inputs.data<float>() + rows * columns, values.begin());
        else
            std::copy(inputs.data<double>(), inputs.data<double>() + rows * columns, values.begin());
        // A model exported for a batch of one takes its cases one at a time.
        bool oneAtATime = false;
        for (const ONNXGraph::Port& input : ports)
            oneAtATime =
                oneAtATime || (input.hasShape && !input.shape.empty() && input.shape[0] == 1 && rows > 1);
        std::vector<double> results;
        std::int64_t width = -1;
        const std::int64_t batch = oneAtATime ? 1 : rows;
        for (std::int64_t first = 0; first < rows; first += batch)
        {
            std::map<std::string, ONNXTensor> feeds;
            std::int64_t column = 0;
            for (std::size_t i = 0; i < ports.size(); ++i)
            {
                const ONNXGraph::Port& input = ports[i];
                const std::int64_t w = widths[i];
                ONNXTensor cases{input.type, {batch, w}, {}};
                if (input.hasShape && input.shape.size() == 1)
                    cases.shape = {batch};
                cases.values.reserve(static_cast<std::size_t>(batch * w));
                for (std::int64_t r = first; r < first + batch; ++r)
                {
                    const auto row = values.begin() + r * columns + column;
                    cases.values.insert(cases.values.end(), row, row + w);
                }
                column += w;
                if (input.type == ONNXElementType::Float)
                    for (double& v : cases.values)
                        v = static_cast<double>(static_cast<float>(v));
                feeds.emplace(input.name, std::move(cases));
            }
            std::vector<ONNXTensor> outputs;
            try
            {
                outputs = m_graph.run(feeds);
            }
            catch (const std::runtime_error& e)
            {
                throw std::runtime_error("ONNX model: evaluation of a " + inputs.getTensorShape().toString() +
                                         " input failed: " + e.what());
            }
            std::vector<std::int64_t> given;
            for (std::size_t o = 0; o < outputs.size(); ++o)
            {
                const ONNXTensor& output = outputs[o];
                const std::string& name = m_graph.outputs()[o].name;
                const bool fits = (output.shape.size() == 2 && output.shape[0] == batch) ||
                                  (output.shape.size() == 1 && output.shape[0] == batch);
                if (!fits)
                    throw std::runtime_error("ONNX model: the output '" + name + "' is " + shapeOf(output) +
                                             " for " + std::to_string(batch) +
                                             " cases; it must hold one row per case");
                given.push_back(output.shape.size() == 2 ? output.shape[1] : 1);
                // With several outputs the columns each gives are the ones it declares.
                if (outputs.size() > 1 && given.back() != m_outputWidths[o])
                    throw std::runtime_error("ONNX model: the output '" + name + "' is " + shapeOf(output) +
                                             " for " + std::to_string(batch) + " cases, but it declares " +
                                             std::to_string(m_outputWidths[o]) + " columns");
            }
            width = std::accumulate(given.begin(), given.end(), std::int64_t(0));
            for (std::int64_t r = 0; r < batch; ++r)
                for (std::size_t o = 0; o < outputs.size(); ++o)
                {
                    const auto row = outputs[o].values.begin() + r * given[o];
                    results.insert(results.end(), row, row + given[o]);
                }
        }
        if (type == TensorElementType::Float)
            return Tensor::fromValues({rows, width}, std::vector<float>(results.begin(), results.end()));
        return Tensor::fromValues({rows, width}, std::move(results));
    }

    std::optional<std::int64_t> getOutputWidth(std::int64_t inputs) const override
    {
        const TensorElementType type = m_graph.inputs().front().type == ONNXElementType::Double
                                           ? TensorElementType::Double
                                           : TensorElementType::Float;
        return eval(Tensor::createTensor({1, inputs}, type)).getDimensionSize(1);
    }

private:
    static std::string shapeOf(const ONNXTensor& tensor)
    {
        std::string text = "{";
        for (std::size_t i = 0; i < tensor.shape.size(); ++i)
            text += (i ? ", " : "") + std::to_string(tensor.shape[i]);
        return text + "}";
    }

    ONNXGraph m_graph;
    /// Per graph input and output, the columns it declares; -1 where that is open (only allowed
    /// for a sole input or output).
    std::vector<std::int64_t> m_inputWidths;
    std::vector<std::int64_t> m_outputWidths;
};
} // namespace

std::shared_ptr<const ModuleImpl> loadONNXModule(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        throw std::runtime_error("ONNX model could not be loaded: the model data is empty");
    try
    {
        ONNXGraph graph = ONNXGraph::fromBytes(bytes);
        if (graph.inputs().empty())
            throw std::runtime_error("the graph has no inputs; a model takes one {cases, inputs} tensor or "
                                     "one {cases} or {cases, columns} tensor per group of input columns");
        checkPorts(graph.inputs(), "input", "takes");
        checkPorts(graph.outputs(), "output", "gives");
        return std::make_shared<ONNXModule>(std::move(graph));
    }
    catch (const std::runtime_error& e)
    {
        throw std::runtime_error(std::string("ONNX model could not be loaded: ") + e.what());
    }
}
} // namespace AISystem
