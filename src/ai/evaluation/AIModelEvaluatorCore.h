#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureEx.h"

#include <QObject>
#include <optional>

namespace Conflux
{
/// The common base of everything that holds a runnable AI module and lets callers evaluate it (the AI
/// model evaluator and the trainer). Each request runs in a runner of its own, started and completed by
/// 1 ms single-shot timers in the event loop of the calling thread; the blocking forms wait for it in a
/// local event loop, so that thread needs a QCoreApplication. The core holds no state: concurrent requests
/// share the module that getModule() returns.
class AIModelEvaluatorCore : public QObject
{
    Q_OBJECT
public:
    AIModelEvaluatorCore();
    explicit AIModelEvaluatorCore(QObject* parent);
    ~AIModelEvaluatorCore() override;

    /// The module to evaluate, or null when none is available.
    virtual AISystem::Module* getModule() const = 0;

    /// The module's outputs for the inputs ({cases, inputs}); fails with "No Module" without a module.
    Futures::FutureEx<AISystem::Tensor> evaluateAsync(const AISystem::Tensor& inputs);
    /// Blocking form of evaluateAsync: rethrows its failure.
    AISystem::Tensor evaluate(const AISystem::Tensor& inputs);

    /// Whether there is a module and it can compute imbalances.
    bool canCalcImbalance() const;
    /// The energy and mass imbalance of outputs for inputs; an empty optional (at once) when the module
    /// cannot compute one, a failure "No Module" without a module.
    Futures::FutureEx<std::optional<AISystem::ImbalanceResult>>
    calcImbalanceAsync(const AISystem::Tensor& inputs, const AISystem::Tensor& outputs);
    /// Blocking form of calcImbalanceAsync.
    std::optional<AISystem::ImbalanceResult> calcImbalance(const AISystem::Tensor& inputs,
                                                           const AISystem::Tensor& outputs);

protected:
    AIModelEvaluatorCore(QObjectPrivate& dd, QObject* parent);

private:
    /// The context that runners are made with: this core when the request comes from its own thread, so
    /// that pending requests end (as abandoned) when the core goes; none otherwise, as a QObject cannot
    /// take a parent living in another thread.
    QObject* runnerContext();
};
} // namespace Conflux
