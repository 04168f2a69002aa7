#include "host/ai/modules/ONNXModule.h"

#include "host/ai/modules/ONNXModuleValidator.h"

#include <opencv2/core/utils/logger.hpp>
#include <opencv2/dnn.hpp>

#include <mutex>
#include <regex>
#include <stdexcept>

namespace AISystem
{
namespace
{
/// The runtime's report of a model it cannot build, shortened to what the user can act on.
std::string describeLoadError(const std::string& error)
{
    static const std::regex unsupported(R"re(of type "([^"]+)")re");
    std::smatch match;
    if (std::regex_search(error, match, unsupported))
        return "the operator " + match[1].str() + " is not supported";
    const std::size_t end = error.find_last_not_of("\n >");
    return end == std::string::npos ? error : error.substr(0, end + 1);
}

class ONNXModule : public ModuleImpl
{
public:
    explicit ONNXModule(cv::dnn::Net net) : m_net(std::move(net)) {}

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
            // The runtime cannot run an empty batch: one case tells the output width.
            const Tensor one = eval(Tensor::createTensor({1, columns}, type));
            return Tensor::createTensor({0, one.getDimensionSize(1)}, type);
        }
        cv::Mat blob(std::vector<int>{static_cast<int>(rows), static_cast<int>(columns)}, CV_32F);
        float* cells = blob.ptr<float>();
        if (type == TensorElementType::Float)
            std::copy(inputs.data<float>(), inputs.data<float>() + rows * columns, cells);
        else
            std::transform(inputs.data<double>(), inputs.data<double>() + rows * columns, cells,
                           [](double v) { return static_cast<float>(v); });

        cv::Mat output;
        {
            // A network keeps its blobs between runs: one evaluation at a time.
            std::lock_guard lock(m_mutex);
            try
            {
                m_net.setInput(blob);
                output = m_net.forward().clone();
            }
            catch (const cv::Exception& e)
            {
                throw std::runtime_error("ONNX model: evaluation of a " + inputs.getTensorShape().toString() +
                                         " input failed: " + e.err);
            }
        }
        if (output.dims < 1 || output.size[0] != rows || output.type() != CV_32F)
            throw std::runtime_error("ONNX model: the output does not hold one row per case for " +
                                     std::to_string(rows) + " cases");
        const std::int64_t outputs = static_cast<std::int64_t>(output.total()) / rows;
        const float* values = output.ptr<float>();
        Tensor result =
            Tensor::fromValues({rows, outputs}, std::vector<float>(values, values + rows * outputs));
        return result.toElementType(type);
    }

private:
    mutable std::mutex m_mutex;
    mutable cv::dnn::Net m_net;
};
} // namespace

std::shared_ptr<const ModuleImpl> loadONNXModule(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        throw std::runtime_error("ONNX model could not be loaded: the model data is empty");
    // The runtime's importer trusts the structure it parses (tensor sizes, node arity) and reads
    // out of bounds where it does not hold: model data is untrusted, so it is checked first.
    const std::string invalid = validateONNXModel(bytes);
    if (!invalid.empty())
        throw std::runtime_error(
            "ONNX model could not be loaded: the model data is not a valid ONNX model (" + invalid + ")");
    // Failures are reported by the exceptions below; the runtime's own log lines would only repeat
    // them. The level is process-wide, so it is set once rather than around each load on any thread.
    static std::once_flag silenced;
    std::call_once(silenced, [] { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT); });
    cv::dnn::Net net;
    try
    {
        net = cv::dnn::readNetFromONNX(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    catch (const cv::Exception& e)
    {
        throw std::runtime_error("ONNX model could not be loaded: " + describeLoadError(e.err));
    }
    catch (const std::exception& e)
    {
        // The protobuf parser's own failures (FatalException) and allocation failures.
        throw std::runtime_error("ONNX model could not be loaded: " + std::string(e.what()));
    }
    if (net.empty())
        throw std::runtime_error("ONNX model could not be loaded: the model has no layers");
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return std::make_shared<ONNXModule>(std::move(net));
}
} // namespace AISystem
