#include "src/ai/training/AIModelTrainerRunner.h"

#include "host/ai/training/ModuleTrainer.h"

#include <stdexcept>

namespace Conflux
{
AIModelTrainerRunner::AIModelTrainerRunner(AISystem::ModuleTrainer* network,
                                           const AISystem::Example& training,
                                           const AISystem::Example& testing, double targetRMSError,
                                           int maximumIterations, double learningRate,
                                           const std::optional<AISystem::Tensor>& weights)
    : m_network(network), m_training(training), m_testing(testing), m_targetRMSError(targetRMSError),
      m_maximumIterations(maximumIterations), m_learningRate(learningRate), m_weights(weights)
{
}

void AIModelTrainerRunner::run()
{
    if (!m_network)
        throw std::runtime_error(tr("NO trainer").toStdString());
    AIModelTrainerResult result;
    result.training = m_network->train(m_training, m_testing, m_targetRMSError, m_maximumIterations,
                                       m_learningRate, m_weights, getProgress());
    setResult(std::move(result));
}
} // namespace Conflux
