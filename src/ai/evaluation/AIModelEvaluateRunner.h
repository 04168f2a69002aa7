#pragma once
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureExRunner.h"

#include <optional>

namespace Conflux
{
/// Evaluates a module on a copy of its inputs in start(), in the event loop of the thread it lives in,
/// and completes its future with the outputs (or the failure) by a 1 ms single-shot timer.
class AIModelEvaluateRunner : public Futures::FutureExRunner<AISystem::Tensor>
{
    Q_OBJECT
public:
    /// The module is copied (null: none); context (the evaluator core) becomes the runner's parent.
    AIModelEvaluateRunner(AISystem::Module* module, const AISystem::Tensor& inputs, QObject* context);

public slots:
    void start() override;

private:
    // A copy (it shares the runtime): the holder may replace or delete its module before this runs.
    std::optional<AISystem::Module> m_module;
    AISystem::Tensor m_inputs;
};
} // namespace Conflux
