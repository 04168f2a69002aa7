#pragma once
#include "src/ai/training/AIModelTrainerResult.h"

#include "host/ai/tensor/Example.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureExRunner.h"

#include <atomic>
#include <memory>
#include <optional>

namespace AISystem
{
class ModuleTrainer;
}

namespace Conflux
{
/// Runs one training call of a network on copies of the examples, in the thread the runner lives in
/// (the trainer's worker thread), reporting through the progress attached to its future.
///
/// The runner shares the network, so that a trainer that drops it meanwhile (reset, restore) frees
/// nothing the run uses. The run stops after the iteration in progress, keeping the network as
/// trained so far, when the progress is cancelled, when its thread is asked to stop
/// (QThread::requestInterruption) or when `stop` becomes true.
class AIModelTrainerRunner : public Futures::FutureExRunner<AIModelTrainerResult, Futures::FutureExRunnerBase>
{
    Q_OBJECT
public:
    AIModelTrainerRunner(std::shared_ptr<AISystem::ModuleTrainer> network, const AISystem::Example& training,
                         const AISystem::Example& testing, double targetRMSError, int maximumIterations,
                         double learningRate, const std::optional<AISystem::Tensor>& weights,
                         std::shared_ptr<const std::atomic<bool>> stop = nullptr);

protected:
    void run() override;

private:
    std::shared_ptr<AISystem::ModuleTrainer> m_network;
    AISystem::Example m_training;
    AISystem::Example m_testing;
    double m_targetRMSError;
    int m_maximumIterations;
    double m_learningRate;
    std::optional<AISystem::Tensor> m_weights;
    std::shared_ptr<const std::atomic<bool>> m_stop;
};
} // namespace Conflux
