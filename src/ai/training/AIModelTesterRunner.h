#pragma once
#include "src/ai/training/AIModelTrainerResult.h"

#include "host/ai/tensor/Example.h"
#include "host/ai/tensor/Tensor.h"
#include "host/services/FutureExRunner.h"

#include <memory>
#include <optional>

namespace AISystem
{
class ModuleTrainer;
}

namespace Conflux
{
/// Tests a trained network (shared, so that a trainer that drops it meanwhile frees nothing the test
/// uses) on a copy of an example, in the thread of the trainer that owns
/// the runner; the result carries the network's last training result beside the test.
class AIModelTesterRunner : public Futures::FutureExRunner<AIModelTrainerResult, Futures::FutureExRunnerBase>
{
    Q_OBJECT
public:
    AIModelTesterRunner(QObject* trainer, std::shared_ptr<AISystem::ModuleTrainer> network, const AISystem::Example& example,
                        const std::optional<AISystem::Tensor>& weights);

protected:
    void run() override;

private:
    std::shared_ptr<AISystem::ModuleTrainer> m_network;
    AISystem::Example m_example;
    std::optional<AISystem::Tensor> m_weights;
};
} // namespace Conflux
