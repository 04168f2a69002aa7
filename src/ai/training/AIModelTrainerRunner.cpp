#include "src/ai/training/AIModelTrainerRunner.h"

#include "host/ai/training/ModuleTrainer.h"
#include "host/services/ToolProgress.h"

#include <QThread>

#include <stdexcept>

namespace Conflux
{
namespace
{
/// The progress a training call sees: it passes everything on to the progress attached to the runner's
/// future (looked up on each call, so a progress attached after the start still hears the run) and also
/// counts as cancelled when the run's thread is asked to stop or the trainer gave the run up. The AI
/// library asks it once per iteration.
class StoppableProgress : public Tools::ToolProgress
{
public:
    StoppableProgress(const AIModelTrainerRunner& runner, std::shared_ptr<const std::atomic<bool>> stop)
        : m_runner(runner), m_stop(std::move(stop)), m_thread(QThread::currentThread())
    {
    }

    void message(const std::string& text) override
    {
        if (Tools::ToolProgress* attached = m_runner.getProgress())
            attached->message(text);
    }
    void error(const std::string& text) override
    {
        if (Tools::ToolProgress* attached = m_runner.getProgress())
            attached->error(text);
    }
    void setProgress(int position) override
    {
        if (Tools::ToolProgress* attached = m_runner.getProgress())
            attached->setProgress(position);
    }
    void finished(bool success) override
    {
        if (Tools::ToolProgress* attached = m_runner.getProgress())
            attached->finished(success);
    }
    bool isCancelled() const override
    {
        const Tools::ToolProgress* attached = m_runner.getProgress();
        return ToolProgress::isCancelled() || (attached && attached->isCancelled()) ||
               m_thread->isInterruptionRequested() || (m_stop && m_stop->load());
    }

private:
    const AIModelTrainerRunner& m_runner;
    std::shared_ptr<const std::atomic<bool>> m_stop;
    QThread* m_thread;
};
} // namespace

AIModelTrainerRunner::AIModelTrainerRunner(std::shared_ptr<AISystem::ModuleTrainer> network,
                                           const AISystem::Example& training,
                                           const AISystem::Example& testing, double targetRMSError,
                                           int maximumIterations, double learningRate,
                                           const std::optional<AISystem::Tensor>& weights,
                                           std::shared_ptr<const std::atomic<bool>> stop)
    : m_network(std::move(network)), m_training(training), m_testing(testing),
      m_targetRMSError(targetRMSError), m_maximumIterations(maximumIterations), m_learningRate(learningRate),
      m_weights(weights), m_stop(std::move(stop))
{
}

void AIModelTrainerRunner::run()
{
    if (!m_network)
        throw std::runtime_error(tr("NO trainer").toStdString());
    StoppableProgress progress(*this, m_stop);
    AIModelTrainerResult result;
    result.training = m_network->train(m_training, m_testing, m_targetRMSError, m_maximumIterations,
                                       m_learningRate, m_weights, &progress);
    setResult(std::move(result));
}
} // namespace Conflux
