#include "src/ai/training/AIModelTesterRunner.h"

#include "host/ai/training/ModuleTrainer.h"

#include <stdexcept>

namespace Conflux
{
AIModelTesterRunner::AIModelTesterRunner(QObject* trainer, std::shared_ptr<AISystem::ModuleTrainer> network,
                                         const AISystem::Example& example,
                                         const std::optional<AISystem::Tensor>& weights)
    : FutureExRunner(trainer), m_network(std::move(network)), m_example(example), m_weights(weights)
{
}

void AIModelTesterRunner::run()
{
    if (!m_network)
        throw std::runtime_error(tr("NO trainer").toStdString());
    const auto trained = m_network->getLastTrainResult();
    if (!trained)
        throw std::runtime_error(tr("Network isn't trained").toStdString());
    AIModelTrainerResult result;
    result.training = *trained;
    // Testing reports no progress of its own.
    result.testing = m_network->test(m_example, m_weights, nullptr);
    setResult(std::move(result));
}
} // namespace Conflux
