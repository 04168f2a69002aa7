#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureExRunner.h"

#include <optional>

namespace Conflux
{
/// Computes a module's energy and mass imbalance for copies of inputs and outputs in start(), and
/// completes its future with it (empty when the module can form none) by a 1 ms single-shot timer.
class AIModelImbalanceCalculatorRunner
    : public Futures::FutureExRunner<std::optional<AISystem::ImbalanceResult>>
{
    Q_OBJECT
public:
    /// The module is copied (null: none); context (the evaluator core) becomes the runner's parent.
    AIModelImbalanceCalculatorRunner(AISystem::Module* module, const AISystem::Tensor& inputs,
                                     const AISystem::Tensor& outputs, QObject* context);

public slots:
    void start() override;

private:
    // A copy (it shares the runtime): the holder may replace or delete its module before this runs.
    std::optional<AISystem::Module> m_module;
    AISystem::Tensor m_inputs;
    AISystem::Tensor m_outputs;
};
} // namespace Conflux
