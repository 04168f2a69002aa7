#include "src/ai/evaluation/AIModelImbalanceCalculatorRunner.h"

#include <exception>
#include <stdexcept>

namespace Conflux
{
AIModelImbalanceCalculatorRunner::AIModelImbalanceCalculatorRunner(AISystem::Module* module,
                                                                   const AISystem::Tensor& inputs,
                                                                   const AISystem::Tensor& outputs,
                                                                   QObject* context)
    : FutureExRunner(context), m_module(module ? std::optional<AISystem::Module>(*module) : std::nullopt),
      m_inputs(inputs), m_outputs(outputs)
{
}

void AIModelImbalanceCalculatorRunner::start()
{
    try
    {
        if (!m_module)
            throw std::runtime_error(tr("NO module").toStdString());
        setResult(m_module->calcImbalanceResults(m_inputs, m_outputs));
        finishLater();
    }
    catch (...)
    {
        failLater(std::current_exception());
    }
}
} // namespace Conflux
