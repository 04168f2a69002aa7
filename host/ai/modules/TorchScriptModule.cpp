#include "host/ai/modules/TorchScriptModule.h"

#include <torch/script.h>

#include <sstream>
#include <stdexcept>

namespace AISystem
{
namespace
{
std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

/// The interpreter's own error is the last line of its report (after the TorchScript traceback).
std::string lastLine(const std::string& text)
{
    const std::size_t end = text.find_last_not_of("\n ");
    if (end == std::string::npos)
        return text;
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end + 1 - (start == std::string::npos ? 0 : start + 1));
}

class TorchScriptModule : public ModuleImpl
{
public:
    TorchScriptModule(torch::jit::Module module, torch::Dtype dtype)
        : m_module(std::move(module)), m_dtype(dtype)
    {
    }

    ModuleType getType() const override { return ModuleType::TorchScript; }

    Tensor eval(const Tensor& inputs) const override
    {
        const TensorElementType type = inputs.getElementType();
        if (inputs.getDimensionCount() != 2 || type == TensorElementType::None)
            throw std::runtime_error(
                "TorchScript model: inputs must be a {cases, inputs} tensor of floats or "
                "doubles, not " +
                inputs.getTensorShape().toString() + " " + toString(type));
        const bool isFloat = type == TensorElementType::Float;
        const std::int64_t rows = inputs.getDimensionSize(0);
        torch::InferenceMode inference;
        torch::Tensor input = isFloat ? torch::from_blob(const_cast<float*>(inputs.data<float>()),
                                                         {rows, inputs.getDimensionSize(1)}, torch::kFloat32)
                                      : torch::from_blob(const_cast<double*>(inputs.data<double>()),
                                                         {rows, inputs.getDimensionSize(1)}, torch::kFloat64);
        // The model may write into its argument; it gets its own copy in its own precision.
        input = input.to(m_dtype, false, true);
        torch::IValue result;
        try
        {
            result = m_module.forward({input});
        }
        catch (const c10::Error& e)
        {
            throw std::runtime_error("TorchScript model: evaluation of a " +
                                     inputs.getTensorShape().toString() +
                                     " input failed: " + lastLine(e.what_without_backtrace()));
        }
        catch (const std::exception& e)
        {
            // The interpreter reports errors inside the model with a TorchScript traceback.
            throw std::runtime_error("TorchScript model: evaluation of a " +
                                     inputs.getTensorShape().toString() +
                                     " input failed: " + lastLine(e.what()));
        }
        if (!result.isTensor())
            throw std::runtime_error(std::string("TorchScript model: forward returned a ") +
                                     result.tagKind() + ", expected one tensor");
        torch::Tensor output = result.toTensor().to(isFloat ? torch::kFloat32 : torch::kFloat64).contiguous();
        if (output.dim() != 2 || output.size(0) != rows)
            throw std::runtime_error("TorchScript model: forward returned a tensor of shape " +
                                     torch::str(output.sizes()) + " for " + std::to_string(rows) +
                                     " cases, expected {cases, outputs}");
        const TensorShape shape{output.size(0), output.size(1)};
        if (isFloat)
            return Tensor::fromValues(shape, std::vector<float>(output.data_ptr<float>(),
                                                                output.data_ptr<float>() + output.numel()));
        return Tensor::fromValues(shape, std::vector<double>(output.data_ptr<double>(),
                                                             output.data_ptr<double>() + output.numel()));
    }

private:
    // forward is not declared const by libtorch, but running an eval-mode module does not change it.
    mutable torch::jit::Module m_module;
    torch::Dtype m_dtype;
};
} // namespace

std::shared_ptr<const ModuleImpl> loadTorchScriptModule(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        throw std::runtime_error("TorchScript model could not be loaded: the model data is empty");
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    torch::jit::Module module;
    try
    {
        module = torch::jit::load(stream, torch::kCPU);
    }
    catch (const c10::Error& e)
    {
        throw std::runtime_error("TorchScript model could not be loaded: " +
                                 firstLine(e.what_without_backtrace()));
    }
    catch (const std::exception& e)
    {
        throw std::runtime_error(std::string("TorchScript model could not be loaded: ") + e.what());
    }
    if (!module.find_method("forward"))
        throw std::runtime_error("TorchScript model could not be loaded: it has no forward method");
    module.eval();
    torch::Dtype dtype = torch::kFloat32;
    for (const torch::Tensor& parameter : module.parameters())
    {
        dtype = parameter.scalar_type();
        break;
    }
    return std::make_shared<TorchScriptModule>(std::move(module), dtype);
}
} // namespace AISystem
