#include "src/ai/evaluation/AIModelEvaluateRunner.h"

#include <exception>
#include <stdexcept>

namespace Conflux
{
AIModelEvaluateRunner::AIModelEvaluateRunner(AISystem::Module* module, const AISystem::Tensor& inputs,
                                             QObject* context)
    : FutureExRunner(context), m_module(module ? std::optional<AISystem::Module>(*module) : std::nullopt),
      m_inputs(inputs)
{
}

void AIModelEvaluateRunner::start()
{
    try
    {
        if (!m_module)
            throw std::runtime_error(tr("NO module").toStdString());
        setResult(m_module->eval(m_inputs));
        finishLater();
    }
    catch (...)
    {
        failLater(std::current_exception());
    }
}
} // namespace Conflux
