#include "host/ai/modules/Module.h"

#include "host/ai/modules/NeuralNetworkModule.h"
#include "host/ai/modules/ONNXModule.h"
#include "host/ai/modules/PythonScriptModule.h"
#include "host/ai/modules/TorchScriptModule.h"
#include "host/ai/modules/TrivialModule.h"

#include <stdexcept>
#include <string>

namespace AISystem
{
Module::Module() : m_impl(std::make_shared<TrivialModule>(ModuleType::None)) {}

Module::Module(std::shared_ptr<const ModuleImpl> impl) : m_impl(std::move(impl))
{
    if (!m_impl)
        throw std::invalid_argument("Module: no implementation");
}

Module Module::fromByteArray(ModuleType type, const Utilities::bytearray& bytes)
{
    switch (type)
    {
    case ModuleType::None:
    case ModuleType::Trivial:
        return Module(std::make_shared<TrivialModule>(type));
    case ModuleType::NeuralNetwork:
        return Module(loadNeuralNetworkModule(bytes));
    case ModuleType::TorchScript:
        return Module(loadTorchScriptModule(bytes));
    case ModuleType::ONNX:
        return Module(loadONNXModule(bytes));
    case ModuleType::Python:
        return Module(loadPythonScriptModule(bytes));
    case ModuleType::Transformed:
        throw std::runtime_error(
            "A Transformed module cannot be loaded from bytes: build it with TranformedModule");
    }
    throw std::runtime_error("Unknown module type " + std::to_string(static_cast<int>(type)));
}

ModuleType Module::getType() const
{
    return m_impl->getType();
}

Tensor Module::eval(const Tensor& inputs) const
{
    if (inputs.getDimensionCount() == 1)
        return m_impl->eval(inputs.reshaped({1, inputs.getDimensionSize(0)}));
    return m_impl->eval(inputs);
}

std::optional<std::int64_t> Module::getOutputWidth(std::int64_t inputs) const
{
    return m_impl->getOutputWidth(inputs);
}

bool Module::canCalcImbalanceResults() const
{
    return m_impl->canCalcImbalanceResults();
}

std::optional<ImbalanceResult> Module::calcImbalanceResults(const Tensor& inputs, const Tensor& outputs) const
{
    return m_impl->calcImbalanceResults(inputs, outputs);
}
} // namespace AISystem
