#include "host/ai/modules/ONNXModule.h"

#include "host/ai/modules/ONNXGraph.h"

#include <stdexcept>

namespace AISystem
{
namespace
{
std::string portList(const std::vector<ONNXGraph::Port>& ports)
{
    std::string text;
    for (const ONNXGraph::Port& port : ports)
        text += (text.empty() ? "'" : ", '") + port.name + "'";
    return text;
}

class ONNXModule : public ModuleImpl
{
public:
    explicit ONNXModule(ONNXGraph graph) : m_graph(std::move(graph)) {}

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
        if (rows == 0)
        {
            // One case tells the output width, whatever batch size the model declares.
            const Tensor one = eval(Tensor::createTensor({1, columns}, type));
            return Tensor::createTensor({0, one.getDimensionSize(1)}, type);
        }
        const ONNXGraph::Port& input = m_graph.inputs().front();
        std::vector<double> values(static_cast<std::size_t>(rows * columns));
        if (type == TensorElementType::Float)
            std::copy(inputs.data<float>(), inputs.data<float>() + rows * columns, values.begin());
        else
            std::copy(inputs.data<double>(), inputs.data<double>() + rows * columns, values.begin());
        // A model exported for a batch of one takes its cases one at a time.
        const bool oneAtATime = input.hasShape && input.shape[0] == 1 && rows > 1;
        std::vector<double> results;
        std::int64_t width = -1;
        const std::int64_t batch = oneAtATime ? 1 : rows;
        for (std::int64_t first = 0; first < rows; first += batch)
        {
            ONNXTensor cases{input.type, {batch, columns}, {}};
            cases.values.assign(values.begin() + first * columns, values.begin() + (first + batch) * columns);
            if (input.type == ONNXElementType::Float)
                for (double& v : cases.values)
                    v = static_cast<double>(static_cast<float>(v));
            std::vector<ONNXTensor> outputs;
            try
            {
                outputs = m_graph.run({{input.name, std::move(cases)}});
            }
            catch (const std::runtime_error& e)
            {
                throw std::runtime_error("ONNX model: evaluation of a " + inputs.getTensorShape().toString() +
                                         " input failed: " + e.what());
            }
            const ONNXTensor& output = outputs.front();
            const bool fits = (output.shape.size() == 2 && output.shape[0] == batch) ||
                              (output.shape.size() == 1 && output.shape[0] == batch);
            if (!fits)
                throw std::runtime_error("ONNX model: the output '" + m_graph.outputs().front().name +
                                         "' is " + shapeOf(output) + " for " + std::to_string(batch) +
                                         " cases; it must hold one row per case");
            width = output.shape.size() == 2 ? output.shape[1] : 1;
            results.insert(results.end(), output.values.begin(), output.values.end());
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
};
} // namespace

std::shared_ptr<const ModuleImpl> loadONNXModule(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        throw std::runtime_error("ONNX model could not be loaded: the model data is empty");
    try
    {
        ONNXGraph graph = ONNXGraph::fromBytes(bytes);
        if (graph.inputs().size() != 1)
            throw std::runtime_error("the graph has " + std::to_string(graph.inputs().size()) + " inputs (" +
                                     portList(graph.inputs()) +
                                     "); a model takes one {cases, inputs} tensor");
        if (graph.outputs().size() != 1)
            throw std::runtime_error("the graph has " + std::to_string(graph.outputs().size()) +
                                     " outputs (" + portList(graph.outputs()) +
                                     "); a model gives one {cases, outputs} tensor");
        const ONNXGraph::Port& input = graph.inputs().front();
        const ONNXGraph::Port& output = graph.outputs().front();
        for (const ONNXGraph::Port* port : {&input, &output})
            if (port->type == ONNXElementType::Int64)
                throw std::runtime_error("'" + port->name +
                                         "' is int64; a model's input and output are float or double");
        if (input.hasShape && input.shape.size() != 2)
            throw std::runtime_error("the input '" + input.name + "' has " +
                                     std::to_string(input.shape.size()) +
                                     " dimensions; a model takes one {cases, inputs} tensor");
        if (output.hasShape && output.shape.size() != 2 && output.shape.size() != 1)
            throw std::runtime_error("the output '" + output.name + "' has " +
                                     std::to_string(output.shape.size()) +
                                     " dimensions; a model gives one {cases, outputs} tensor");
        return std::make_shared<ONNXModule>(std::move(graph));
    }
    catch (const std::runtime_error& e)
    {
        throw std::runtime_error(std::string("ONNX model could not be loaded: ") + e.what());
    }
}
} // namespace AISystem
