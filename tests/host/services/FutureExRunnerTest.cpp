#include "host/services/FutureExRunner.h"
#include "host/services/FutureExWatcher.h"
#include "host/services/RecordingToolProgress.h"
#include "tests/host/services/TestApp.h"

#include <QPointer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

using Futures::FutureEx;

namespace
{
// Squares its input in run(); a negative input throws. Reports through the attached progress.
class SquareRunner : public Futures::FutureExRunner<int>
{
public:
    // The runner deletes itself once done: the thread it ran in is kept by the test.
    explicit SquareRunner(int input, std::atomic<QThread*>* ranIn = nullptr) : m_input(input), m_ranIn(ranIn)
    {
    }

protected:
    void run() override
    {
        if (m_ranIn != nullptr)
            *m_ranIn = QThread::currentThread();
        if (m_input < 0)
            throw std::domain_error("negative input " + std::to_string(m_input));
        if (auto* progress = getProgress())
            progress->message("squaring " + std::to_string(m_input));
        if (!isCancelled())
            setResult(m_input * m_input);
    }

private:
    int m_input;
    std::atomic<QThread*>* m_ranIn;
};

// Overrides start() itself and completes through finishLater, as the library's runners may.
class CountingRunner : public Futures::FutureExRunner<void>
{
public:
    int* counter;
    explicit CountingRunner(int* c) : counter(c) {}
    void start() override
    {
        ++*counter;
        finishLater();
    }
};

// A runner with its own Qt class, as the library declares its runners; it fails without a module.
class TextRunner : public Futures::FutureExRunner<std::string, Futures::FutureExRunnerBase>
{
    Q_OBJECT
public:
    TextRunner(const std::string* module, QObject* context) : FutureExRunner(context), m_module(module) {}

protected:
    void run() override
    {
        if (m_module == nullptr)
            throw std::runtime_error("NO module");
        setResult(*m_module + " evaluated");
    }

private:
    const std::string* m_module;
};

std::string failureText(const FutureEx<int>& future)
{
    try
    {
        future.get();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "<no exception>";
}

struct WorkerThread
{
    QThread thread;
    WorkerThread() { thread.start(); }
    ~WorkerThread()
    {
        thread.quit();
        thread.wait();
    }
};
} // namespace

TEST(FutureExRunner, RunsInItsWorkerThreadAndContinuesInTheCaller)
{
    ServicesTest::app();
    WorkerThread worker;
    std::atomic<QThread*> ranIn{nullptr};
    auto* runner = new SquareRunner(12, &ranIn);
    runner->moveToThread(&worker.thread);
    QPointer<QObject> alive(runner);
    QObject here;
    QThread* continuedIn = nullptr;
    const auto chained = runner->future().then(&here,
                                               [&](int square)
                                               {
                                                   continuedIn = QThread::currentThread();
                                                   return square + 1;
                                               });
    runner->startLater();
    EXPECT_EQ(ServicesTest::settled(chained).get(), 145);
    EXPECT_EQ(ranIn.load(), &worker.thread);
    EXPECT_EQ(continuedIn, QThread::currentThread());
    EXPECT_TRUE(ServicesTest::processEventsUntil([&] { return alive.isNull(); })) << "runner deletes itself";
}

TEST(FutureExRunner, ExceptionOfTheWorkFailsTheFuture)
{
    ServicesTest::app();
    auto* runner = new SquareRunner(-2);
    const auto future = runner->future();
    runner->startLater();
    EXPECT_THROW(ServicesTest::settled(future).get(), std::domain_error);
    EXPECT_EQ(future.failure().message(), "negative input -2");
}

TEST(FutureExRunner, ReportsThroughTheProgressAttachedToItsChain)
{
    ServicesTest::app();
    Tools::RecordingToolProgress progress;
    QObject here;
    auto* runner = new SquareRunner(3);
    const auto chained = runner->future().then(&here, [](int square) { return square; });
    runner->startLater();
    // Attached after scheduling, before the runner started: the blocking forms do it in this order.
    chained.attachProgress(&progress);
    EXPECT_EQ(ServicesTest::settled(chained).get(), 9);
    EXPECT_EQ(progress.texts(Tools::RecordingToolProgress::Kind::Message),
              std::vector<std::string>{"squaring 3"});
}

TEST(FutureExRunner, CancelledBeforeStartFinishesWithoutValue)
{
    ServicesTest::app();
    auto* runner = new SquareRunner(4);
    const auto future = runner->future();
    future.cancel();
    runner->startLater();
    EXPECT_FALSE(future.wait(5000) && future.hasResult());
    EXPECT_TRUE(future.isFinished());
    EXPECT_EQ(failureText(future), "No Results");
}

TEST(FutureExRunner, RunnerDestroyedBeforeItRanFailsTheFuture)
{
    ServicesTest::app();
    auto* runner = new SquareRunner(5);
    const auto future = runner->future();
    runner->startLater();
    delete runner;
    EXPECT_TRUE(future.hasFailed());
    EXPECT_EQ(failureText(future), "The operation was abandoned before it finished");
}

TEST(FutureExRunner, OverriddenStartAndAutoDeleteOff)
{
    ServicesTest::app();
    int starts = 0;
    CountingRunner runner(&starts);
    runner.setAutoDelete(false);
    const auto future = runner.future();
    runner.startLater();
    EXPECT_NO_THROW(ServicesTest::settled(future).get());
    EXPECT_TRUE(future.hasResult());
    EXPECT_EQ(starts, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(runner.future().isFinished(), true) << "the runner on the stack is still alive";
}

TEST(FutureExRunner, SubclassWithItsOwnQtClass)
{
    ServicesTest::app();
    QObject context;
    const std::string module = "CDU 1";
    auto* runner = new TextRunner(&module, &context);
    EXPECT_STREQ(runner->metaObject()->className(), "TextRunner");
    EXPECT_TRUE(runner->inherits("Futures::FutureExRunnerBase"));
    EXPECT_EQ(runner->parent(), &context);
    const auto future = runner->future();
    runner->startLater();
    EXPECT_EQ(ServicesTest::settled(future).get(), "CDU 1 evaluated");

    auto* failing = new TextRunner(nullptr, &context);
    const auto failed = failing->future();
    failing->startLater();
    EXPECT_THROW(ServicesTest::settled(failed).get(), std::runtime_error);
    EXPECT_EQ(failed.failure().message(), "NO module");
    EXPECT_TRUE(ServicesTest::processEventsUntil([&] { return context.children().isEmpty(); }))
        << "finished runners leave their context";
}

TEST(FutureExWatcher, SignalsInItsThreadOnceFinished)
{
    ServicesTest::app();
    Futures::FutureExWatcher<int> watcher;
    std::vector<std::string> signals_;
    QObject::connect(&watcher, &Futures::FutureExWatcherBase::failed,
                     [&](const QString& message) { signals_.push_back("failed " + message.toStdString()); });
    QObject::connect(&watcher, &Futures::FutureExWatcherBase::finished,
                     [&] { signals_.push_back("finished"); });

    watcher.setFuture(Futures::makeFailedFuture<int>(Log::FailureData("Network isn't trained")));
    EXPECT_TRUE(signals_.empty()) << "never signalled inside setFuture";
    EXPECT_TRUE(ServicesTest::processEventsUntil([&] { return signals_.size() == 2; }));
    EXPECT_EQ(signals_, (std::vector<std::string>{"failed Network isn't trained", "finished"}));

    // Only the future watched last is signalled.
    signals_.clear();
    Futures::FutureExInterface<int> first;
    Futures::FutureExInterface<int> second;
    watcher.setFuture(first.future());
    watcher.setFuture(second.future());
    first.reportFinished();
    second.reportResult(1);
    second.reportFinished();
    EXPECT_TRUE(ServicesTest::processEventsUntil([&] { return !signals_.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(signals_, std::vector<std::string>{"finished"});
    EXPECT_EQ(watcher.future().result(), 1);
    EXPECT_TRUE(watcher.isFinished());
}

#include "FutureExRunnerTest.moc"
