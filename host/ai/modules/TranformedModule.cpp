#include "host/ai/modules/TranformedModule.h"

namespace AISystem
{
namespace
{
class TransformedModuleImpl : public ModuleImpl
{
public:
    TransformedModuleImpl(Module module, std::optional<TensorScalingTransform> inputTransform,
                          std::optional<TensorScalingTransform> outputTransform)
        : m_module(std::move(module)), m_inputTransform(std::move(inputTransform)),
          m_outputTransform(std::move(outputTransform))
    {
    }

    ModuleType getType() const override { return ModuleType::Transformed; }

    Tensor eval(const Tensor& inputs) const override
    {
        Tensor outputs = m_module.eval(m_inputTransform ? m_inputTransform->apply(inputs) : inputs);
        return m_outputTransform ? m_outputTransform->apply(outputs) : outputs;
    }

    bool canCalcImbalanceResults() const override { return m_module.canCalcImbalanceResults(); }

    /// The wrapped module balances its own inputs and outputs: both are mapped back to its side.
    std::optional<ImbalanceResult> calcImbalanceResults(const Tensor& inputs,
                                                        const Tensor& outputs) const override
    {
        std::optional<TensorScalingTransform> outputInverse;
        if (m_outputTransform)
        {
            outputInverse = m_outputTransform->inverse();
            if (!outputInverse)
                return std::nullopt;
        }
        return m_module.calcImbalanceResults(m_inputTransform ? m_inputTransform->apply(inputs) : inputs,
                                             outputInverse ? outputInverse->apply(outputs) : outputs);
    }

private:
    Module m_module;
    std::optional<TensorScalingTransform> m_inputTransform;
    std::optional<TensorScalingTransform> m_outputTransform;
};
} // namespace

TranformedModule::TranformedModule(const Module& module,
                                   const std::optional<TensorScalingTransform>& inputTransform,
                                   const std::optional<TensorScalingTransform>& outputTransform)
    : Module(std::make_shared<TransformedModuleImpl>(module, inputTransform, outputTransform))
{
}
} // namespace AISystem
