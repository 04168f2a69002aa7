#include "src/ai/training/AIModelTrainerRunner.h"
#include "src/ai/training/AIModelTesterRunner.h"

#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/services/RecordingToolProgress.h"
#include "tests/host/services/TestApp.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

using namespace AISystem;
using Conflux::AIModelTesterRunner;
using Conflux::AIModelTrainerResult;
using Conflux::AIModelTrainerRunner;

namespace
{
// y = x0 - 2 x1 on a small grid: a network of one hidden layer learns it in a few hundred iterations.
Example lineCases(int count, double offset)
{
    std::vector<std::vector<double>> inputs, outputs;
    for (int i = 0; i < count; ++i)
    {
        const double x0 = offset + 0.1 * (i % 7);
        const double x1 = 0.05 * (i % 5);
        inputs.push_back({x0, x1});
        outputs.push_back({x0 - 2.0 * x1});
    }
    return Example(Tensor::fromRows(inputs), Tensor::fromRows(outputs), count);
}

std::shared_ptr<NeuralNetworkTrainer> smallNetwork()
{
    NeuralNetworkTrainer::setManualSeed(3);
    return std::make_shared<NeuralNetworkTrainer>(2, 1, std::vector<size_t>{6}, TensorElementType::Double,
                                                  std::nullopt, NeuralNetworkType::Generic);
}

std::string failureOf(const Futures::FutureEx<AIModelTrainerResult>& future)
{
    try
    {
        ServicesTest::settled(future).get();
    }
    catch (const std::exception& error)
    {
        return error.what();
    }
    return "no failure";
}

/// Records the thread that reports progress: the thread the training ran in.
class ThreadRecordingProgress : public Tools::RecordingToolProgress
{
public:
    void message(const std::string& text) override
    {
        reportedFrom = QThread::currentThread();
        RecordingToolProgress::message(text);
    }
    std::atomic<QThread*> reportedFrom{nullptr};
};

/// A worker thread for the training runner, as the trainer keeps one.
class WorkerThread
{
public:
    WorkerThread() { m_thread.start(); }
    ~WorkerThread()
    {
        m_thread.quit();
        m_thread.wait();
    }
    QThread* get() { return &m_thread; }

private:
    QThread m_thread;
};

/// Starts a training runner on the worker thread, with the progress attached, and returns its future.
Futures::FutureEx<AIModelTrainerResult> startTraining(WorkerThread& worker, std::shared_ptr<ModuleTrainer> network,
                                                      const Example& training, const Example& testing,
                                                      double learningRate, Tools::ToolProgress* progress,
                                                      int iterations = 200,
                                                      std::shared_ptr<const std::atomic<bool>> stop = nullptr)
{
    ServicesTest::app();
    auto* runner = new AIModelTrainerRunner(std::move(network), training, testing, 0.0, iterations, learningRate,
                                            std::nullopt, std::move(stop));
    runner->moveToThread(worker.get());
    QObject::connect(worker.get(), &QThread::finished, runner, &QObject::deleteLater);
    auto future = runner->future();
    if (progress)
        future.attachProgress(progress);
    runner->startLater();
    return future;
}
} // namespace

TEST(AIModelTrainerRunner, TrainsOnTheWorkerThreadAndReportsProgress)
{
    WorkerThread worker;
    const auto network = smallNetwork();
    ThreadRecordingProgress progress;
    const auto future =
        startTraining(worker, network, lineCases(40, 0.0), lineCases(10, 0.03), 0.02, &progress);
    const AIModelTrainerResult result = ServicesTest::settled(future).get();

    EXPECT_EQ(progress.reportedFrom.load(), worker.get());
    EXPECT_EQ(result.training.iterations, 200);
    EXPECT_FALSE(result.training.cancelled);
    EXPECT_LT(result.training.rmsError, 0.2);
    ASSERT_TRUE(result.training.testResult.has_value());
    EXPECT_FALSE(result.testing.has_value()) << "a training run has no separate testing part";
    EXPECT_EQ(network->getLastTrainResult(), result.training);
    const auto lines = progress.texts(Tools::RecordingToolProgress::Kind::Message);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("Iteration 0 RMS Error ", 0), 0u) << lines.front();
}

TEST(AIModelTrainerRunner, CancelledProgressStopsWithTheNetworkTrainedSoFar)
{
    WorkerThread worker;
    const auto network = smallNetwork();
    Tools::RecordingToolProgress progress;
    progress.cancelOnMessage(3);
    const auto result = ServicesTest::settled(startTraining(worker, network, lineCases(40, 0.0),
                                                            Example(), 0.02, &progress, 1000))
                            .get();
    EXPECT_TRUE(result.training.cancelled);
    EXPECT_LT(result.training.iterations, 1000);
    EXPECT_GT(result.training.iterations, 0);
    EXPECT_TRUE(network->getLastTrainResult().has_value()) << "a cancelled run still leaves a usable network";
}

TEST(AIModelTrainerRunner, AStopRequestOrAnInterruptedThreadEndsTheRunWithTheNetworkSoFar)
{
    WorkerThread worker;
    const auto network = smallNetwork();
    const auto stop = std::make_shared<std::atomic<bool>>(true);
    const auto stopped =
        ServicesTest::settled(startTraining(worker, network, lineCases(40, 0.0), Example(), 0.02, nullptr, 1000, stop))
            .get();
    EXPECT_TRUE(stopped.training.cancelled);
    EXPECT_EQ(stopped.training.iterations, 0);

    // The worker asked to stop: the request is seen by the run in progress, without any progress attached.
    Tools::RecordingToolProgress progress;
    const auto future = startTraining(worker, network, lineCases(40, 0.0), Example(), 0.02, nullptr, 100000000);
    future.attachProgress(&progress);
    ASSERT_TRUE(ServicesTest::processEventsUntil(
        [&] { return !progress.texts(Tools::RecordingToolProgress::Kind::Message).empty(); }, 60000));
    worker.get()->requestInterruption();
    const auto interrupted = ServicesTest::settled(future).get();
    EXPECT_TRUE(interrupted.training.cancelled);
    EXPECT_LT(interrupted.training.iterations, 100000000);
}

TEST(AIModelTrainerRunner, FailuresFinishTheFutureWithTheirMessage)
{
    WorkerThread worker;
    const auto network = smallNetwork();
    EXPECT_EQ(failureOf(startTraining(worker, network, lineCases(40, 0.0), Example(), 0.0, nullptr)),
              "The learning rate must be finite and positive, not 0");
    EXPECT_FALSE(network->getLastTrainResult().has_value());
    EXPECT_EQ(failureOf(startTraining(worker, nullptr, lineCases(40, 0.0), Example(), 0.02, nullptr)),
              "NO trainer");
}

TEST(AIModelTesterRunner, TestsATrainedNetworkInTheTrainersThread)
{
    ServicesTest::app();
    QObject trainer;
    const auto network = smallNetwork();
    const Example testing = lineCases(12, 0.02);

    auto* untrained = new AIModelTesterRunner(&trainer, network, testing, std::nullopt);
    EXPECT_EQ(untrained->parent(), &trainer);
    EXPECT_STREQ(untrained->metaObject()->className(), "Conflux::AIModelTesterRunner");
    auto future = untrained->future();
    untrained->startLater();
    EXPECT_EQ(failureOf(future), "Network isn't trained");

    const auto trained = network->train(lineCases(40, 0.0), Example(), 0.0, 100, 0.02, std::nullopt, nullptr);
    auto* runner = new AIModelTesterRunner(&trainer, network, testing, std::nullopt);
    future = runner->future();
    runner->startLater();
    const AIModelTrainerResult result = ServicesTest::settled(future).get();
    EXPECT_EQ(result.training, trained);
    ASSERT_TRUE(result.testing.has_value());
    EXPECT_EQ(*result.testing, network->test(testing, std::nullopt, nullptr));

    auto* withoutNetwork = new AIModelTesterRunner(&trainer, nullptr, testing, std::nullopt);
    future = withoutNetwork->future();
    withoutNetwork->startLater();
    EXPECT_EQ(failureOf(future), "NO trainer");
}

TEST(AIModelTrainerRunner, CarriesItsQtClassName)
{
    AIModelTrainerRunner runner(nullptr, Example(), Example(), 0.0, 0, 0.0, std::nullopt);
    runner.setAutoDelete(false);
    EXPECT_STREQ(runner.metaObject()->className(), "Conflux::AIModelTrainerRunner");
    EXPECT_TRUE(runner.inherits("Futures::FutureExRunnerBase"));
}
