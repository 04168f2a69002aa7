#pragma once
#include "src/ai/training/AIModelTrainerResult.h"

#include "host/ai/tensor/Example.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureExRunner.h"

#include <optional>

namespace AISystem
{
class ModuleTrainer;
}

namespace Conflux
{
/// Runs one training call of a network (not owned) on copies of the examples, in the thread the runner
/// lives in (the trainer's worker thread), reporting through the progress attached to its future.
class AIModelTrainerRunner : public Futures::FutureExRunner<AIModelTrainerResult, Futures::FutureExRunnerBase>
{
    Q_OBJECT
public:
    AIModelTrainerRunner(AISystem::ModuleTrainer* network, const AISystem::Example& training,
                         const AISystem::Example& testing, double targetRMSError, int maximumIterations,
                         double learningRate, const std::optional<AISystem::Tensor>& weights);

protected:
    void run() override;

private:
    AISystem::ModuleTrainer* m_network;
    AISystem::Example m_training;
    AISystem::Example m_testing;
    double m_targetRMSError;
    int m_maximumIterations;
    double m_learningRate;
    std::optional<AISystem::Tensor> m_weights;
};
} // namespace Conflux
