#include "src/ai/evaluation/AIModelEvaluatorCore.h"

#include "src/ai/evaluation/AIModelEvaluateRunner.h"
#include "src/ai/evaluation/AIModelImbalanceCalculatorRunner.h"
#include "src/ai/evaluation/FutureWait.h"

#include <QThread>
#include <exception>
#include <stdexcept>

namespace Conflux
{

AIModelEvaluatorCore::AIModelEvaluatorCore() = default;

AIModelEvaluatorCore::AIModelEvaluatorCore(QObject* parent) : QObject(parent) {}

AIModelEvaluatorCore::AIModelEvaluatorCore(QObjectPrivate& dd, QObject* parent) : QObject(dd, parent) {}

AIModelEvaluatorCore::~AIModelEvaluatorCore() = default;

QObject* AIModelEvaluatorCore::runnerContext()
{
    return QThread::currentThread() == thread() ? this : nullptr;
}

Futures::FutureEx<AISystem::Tensor> AIModelEvaluatorCore::evaluateAsync(const AISystem::Tensor& inputs)
{
    AISystem::Module* module = getModule();
    if (module == nullptr)
        return Futures::makeFailedFuture<AISystem::Tensor>(
            std::make_exception_ptr(std::runtime_error("No Module")));
    try
    {
        auto* runner = new AIModelEvaluateRunner(module, inputs, runnerContext());
        Futures::FutureEx<AISystem::Tensor> future = runner->future();
        runner->startLater();
        return future;
    }
    catch (...)
    {
        return Futures::makeFailedFuture<AISystem::Tensor>(std::current_exception());
    }
}

AISystem::Tensor AIModelEvaluatorCore::evaluate(const AISystem::Tensor& inputs)
{
    return waitFor<AIModelEvaluatorCore>(evaluateAsync(inputs));
}

bool AIModelEvaluatorCore::canCalcImbalance() const
{
    const AISystem::Module* module = getModule();
    return module != nullptr && module->canCalcImbalanceResults();
}

Futures::FutureEx<std::optional<AISystem::ImbalanceResult>>
AIModelEvaluatorCore::calcImbalanceAsync(const AISystem::Tensor& inputs, const AISystem::Tensor& outputs)
{
    using Result = std::optional<AISystem::ImbalanceResult>;
    AISystem::Module* module = getModule();
    if (module == nullptr)
        return Futures::makeFailedFuture<Result>(std::make_exception_ptr(std::runtime_error("No Module")));
    try
    {
        if (!module->canCalcImbalanceResults())
            return Futures::makeReadyFuture(Result());
        auto* runner = new AIModelImbalanceCalculatorRunner(module, inputs, outputs, runnerContext());
        Futures::FutureEx<Result> future = runner->future();
        runner->startLater();
        return future;
    }
    catch (...)
    {
        return Futures::makeFailedFuture<Result>(std::current_exception());
    }
}

std::optional<AISystem::ImbalanceResult> AIModelEvaluatorCore::calcImbalance(const AISystem::Tensor& inputs,
                                                                             const AISystem::Tensor& outputs)
{
    return waitFor<AIModelEvaluatorCore>(calcImbalanceAsync(inputs, outputs));
}
} // namespace Conflux
