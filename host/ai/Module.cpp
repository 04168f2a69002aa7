#include "host/ai/Module.h"

#include "host/ai/TrivialModule.h"

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
    (void)bytes;
    switch (type)
    {
    case ModuleType::None:
    case ModuleType::Trivial:
        return Module(std::make_shared<TrivialModule>(type));
    case ModuleType::NeuralNetwork:
        throw std::runtime_error("NeuralNetwork modules cannot be loaded: this build has no NeuralNetwork runtime");
    case ModuleType::TorchScript:
        throw std::runtime_error("TorchScript modules cannot be loaded: this build has no TorchScript runtime");
    case ModuleType::ONNX:
        throw std::runtime_error("ONNX modules cannot be loaded: this build has no ONNX runtime");
    case ModuleType::Python:
        throw std::runtime_error("Python modules cannot be loaded: this build has no Python runtime");
    case ModuleType::Transformed:
        throw std::runtime_error("A Transformed module cannot be loaded from bytes: build it with TranformedModule");
    }
    throw std::runtime_error("Unknown module type " + std::to_string(static_cast<int>(type)));
}

ModuleType Module::getType() const { return m_impl->getType(); }

Tensor Module::eval(const Tensor& inputs) const
{
    if (inputs.getDimensionCount() == 1)
        return m_impl->eval(inputs.reshaped({1, inputs.getDimensionSize(0)}));
    return m_impl->eval(inputs);
}

bool Module::canCalcImbalanceResults() const { return m_impl->canCalcImbalanceResults(); }

std::optional<ImbalanceResult> Module::calcImbalanceResults(const Tensor& inputs, const Tensor& outputs) const
{
    return m_impl->calcImbalanceResults(inputs, outputs);
}
} // namespace AISystem
