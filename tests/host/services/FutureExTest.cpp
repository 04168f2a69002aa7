#include "host/services/FutureEx.h"
#include "host/services/RecordingToolProgress.h"
#include "tests/host/services/TestApp.h"

#include <QObject>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>

using Futures::FutureEx;
using Futures::FutureExInterface;

namespace
{
struct SensorError : std::runtime_error
{
    SensorError(const std::string& text, int c) : std::runtime_error(text), code(c) {}
    int code;
};

template <class T> std::string failureText(const FutureEx<T>& future)
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

// A QThread running its event loop, with an object living in it, stopped on destruction.
struct Worker
{
    QThread thread;
    QObject* context = new QObject;
    Worker()
    {
        context->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, context, &QObject::deleteLater);
        thread.start();
    }
    ~Worker()
    {
        thread.quit();
        thread.wait();
    }
};
} // namespace

TEST(FutureEx, ReadyFutureHoldsItsValue)
{
    const auto future = Futures::makeReadyFuture(std::string("42 W"));
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(future.hasResult());
    EXPECT_FALSE(future.hasFailed());
    EXPECT_FALSE(future.isCancelled());
    EXPECT_EQ(future.result(), std::optional<std::string>("42 W"));
    EXPECT_EQ(future.get(), "42 W");
    EXPECT_NO_THROW(Futures::makeReadyFuture().get());
}

TEST(FutureEx, DefaultFutureIsFinishedWithoutValue)
{
    const FutureEx<int> future;
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(future.isCancelled());
    EXPECT_FALSE(future.hasResult());
    EXPECT_EQ(future.result(), std::nullopt);
    EXPECT_THROW(future.get(), Futures::Failure);
    EXPECT_EQ(failureText(future), "No Results");
}

TEST(FutureEx, FailurePreservesExceptionTypeAndMessage)
{
    const auto future =
        Futures::makeFailedFuture<int>(std::make_exception_ptr(SensorError("Sensor 3 offline", 3)));
    EXPECT_TRUE(future.isFinished());
    EXPECT_TRUE(future.hasFailed());
    EXPECT_FALSE(future.hasResult());
    EXPECT_EQ(future.failure().message(), "Sensor 3 offline");
    try
    {
        future.get();
        FAIL() << "get() returned";
    }
    catch (const SensorError& e)
    {
        EXPECT_STREQ(e.what(), "Sensor 3 offline");
        EXPECT_EQ(e.code, 3);
    }
}

TEST(FailureData, TextOfEveryKindOfThrownValue)
{
    struct Row
    {
        std::exception_ptr thrown;
        bool failed;
        std::string message;
    };
    const Row rows[] = {
        {std::make_exception_ptr(std::runtime_error("Unsupported version")), true, "Unsupported version"},
        {std::make_exception_ptr("Empty ONNX Model"), true, "Empty ONNX Model"},
        {std::make_exception_ptr(std::string("Invalid File Mode.")), true, "Invalid File Mode."},
        {std::make_exception_ptr(17), true, "Unhandled Exception"},
        {nullptr, false, ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.message);
        const auto data = Log::FailureData::fromException(row.thrown);
        EXPECT_EQ(data.isFailure(), row.failed);
        EXPECT_EQ(data.message(), row.message);
        EXPECT_EQ(data.exception() == row.thrown, true);
    }
}

TEST(FutureExInterface, ValueIsPublishedWhenFinished)
{
    FutureExInterface<int> producer;
    const auto future = producer.future();
    EXPECT_TRUE(producer.reportResult(5));
    EXPECT_FALSE(future.isFinished());
    EXPECT_FALSE(future.hasResult());
    EXPECT_EQ(future.result(), std::nullopt);
    EXPECT_TRUE(producer.reportFinished());
    EXPECT_EQ(future.result(), 5);
    // A finished future keeps its outcome.
    EXPECT_FALSE(producer.reportResult(6));
    EXPECT_FALSE(producer.reportFailure(Log::FailureData("late")));
    EXPECT_EQ(future.get(), 5);
    EXPECT_FALSE(future.hasFailed());
}

TEST(FutureExInterface, FailureDropsStoredValue)
{
    FutureExInterface<int> producer;
    producer.reportResult(5);
    producer.reportFailure(Log::FailureData("Training diverged"));
    EXPECT_FALSE(producer.future().hasResult());
    EXPECT_EQ(failureText(producer.future()), "Training diverged");
}

TEST(FutureExInterface, ProducerDestroyedUnfinishedFailsItsFuture)
{
    FutureEx<int> future;
    {
        FutureExInterface<int> producer;
        future = producer.future();
        producer.reportResult(1);
    }
    EXPECT_TRUE(future.hasFailed());
    EXPECT_EQ(failureText(future), "The operation was abandoned before it finished");
}

TEST(FutureExCancel, LateValueIsDroppedAndProgressCancelled)
{
    Tools::RecordingToolProgress progress;
    FutureExInterface<int> producer;
    const auto future = producer.future();
    future.attachProgress(&progress);
    future.cancel();
    future.cancel();
    EXPECT_TRUE(future.isCancelled());
    EXPECT_TRUE(producer.isCancelled());
    EXPECT_TRUE(progress.isCancelled());
    EXPECT_EQ(progress.transcript(), std::vector<std::string>{"cancel"});
    EXPECT_FALSE(future.isFinished()) << "the producer still decides when the operation ends";
    EXPECT_FALSE(producer.reportResult(3));
    producer.reportFinished();
    EXPECT_TRUE(future.isFinished());
    EXPECT_FALSE(future.hasResult());
    EXPECT_EQ(failureText(future), "No Results");
}

TEST(FutureExWait, EventLoopIsServedDuringWait)
{
    ServicesTest::app();
    FutureExInterface<int> producer;
    bool otherTimerFired = false;
    // Both timers start before the wait; the future ends only from the second.
    QTimer::singleShot(1, [&] { otherTimerFired = true; });
    QTimer::singleShot(20,
                       [&]
                       {
                           producer.reportResult(7);
                           producer.reportFinished();
                       });
    EXPECT_EQ(ServicesTest::settled(producer.future()).get(), 7);
    EXPECT_TRUE(otherTimerFired);
}

TEST(FutureExWait, WakesWhenAnotherThreadFinishes)
{
    ServicesTest::app();
    FutureExInterface<std::string> producer;
    const auto future = producer.future();
    std::thread finisher(
        [&producer]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            producer.reportResult("done");
            producer.reportFinished();
        });
    EXPECT_EQ(ServicesTest::settled(future).get(), "done");
    finisher.join();
}

TEST(FutureExWait, TimeoutReturnsUnfinished)
{
    ServicesTest::app();
    FutureExInterface<int> producer;
    EXPECT_FALSE(producer.future().wait(5));
    EXPECT_FALSE(producer.future().isFinished());
    producer.reportFinished();
    EXPECT_TRUE(producer.future().wait(5));
}

TEST(FutureExThen, RunsInTheContextThread)
{
    ServicesTest::app();
    Worker worker;
    FutureExInterface<int> producer;
    QThread* ranIn = nullptr;
    const auto chained = producer.future().then(worker.context,
                                                [&](int value)
                                                {
                                                    ranIn = QThread::currentThread();
                                                    return value * 2;
                                                });
    producer.reportResult(21);
    producer.reportFinished();
    EXPECT_EQ(ServicesTest::settled(chained).get(), 42);
    EXPECT_EQ(ranIn, &worker.thread);

    // And back: finished on another thread, continued on this one.
    QObject here;
    FutureExInterface<int> remote;
    const auto back = remote.future().then(&here,
                                           [&](const FutureEx<int>& input)
                                           {
                                               ranIn = QThread::currentThread();
                                               return std::to_string(*input.result());
                                           });
    std::thread(
        [&]
        {
            remote.reportResult(9);
            remote.reportFinished();
        })
        .join();
    EXPECT_EQ(ServicesTest::settled(back).get(), "9");
    EXPECT_EQ(ranIn, QThread::currentThread());
}

TEST(FutureExThen, NeverRunsInsideThen)
{
    ServicesTest::app();
    QObject context;
    bool ran = false;
    const auto chained = Futures::makeReadyFuture(1).then(&context, [&](int) { ran = true; });
    EXPECT_FALSE(ran);
    EXPECT_NO_THROW(ServicesTest::settled(chained).get());
    EXPECT_TRUE(ran);
}

TEST(FutureExThen, ValueFormPassesFailureOnUnchanged)
{
    ServicesTest::app();
    QObject context;
    bool ran = false;
    const auto failed =
        Futures::makeFailedFuture<int>(std::make_exception_ptr(SensorError("Pump 2 stalled", 2)));
    const auto chained = failed.then(&context,
                                     [&](int)
                                     {
                                         ran = true;
                                         return 0.0;
                                     });
    EXPECT_THROW(ServicesTest::settled(chained).get(), SensorError);
    EXPECT_FALSE(ran);
    EXPECT_EQ(chained.failure().message(), "Pump 2 stalled");
}

TEST(FutureExThen, ValueFormWithoutValueFailsNoResult)
{
    ServicesTest::app();
    QObject context;
    const auto chained = FutureEx<int>().then(&context, [](int value) { return value; });
    EXPECT_THROW(ServicesTest::settled(chained).get(), Futures::Failure);
    EXPECT_EQ(failureText(chained), "No Result");
}

TEST(FutureExThen, FutureFormSeesEveryOutcome)
{
    ServicesTest::app();
    QObject context;
    auto describe = [](const FutureEx<int>& input)
    {
        if (input.hasFailed())
            return "failed: " + input.failure().message();
        return input.hasResult() ? "value " + std::to_string(*input.result()) : std::string("no value");
    };
    EXPECT_EQ(Futures::makeReadyFuture(3).then(&context, describe).get(), "value 3");
    EXPECT_EQ(Futures::makeFailedFuture<int>(Log::FailureData("NO module")).then(&context, describe).get(),
              "failed: NO module");
    EXPECT_EQ(FutureEx<int>().then(&context, describe).get(), "no value");
}

TEST(FutureExThen, ThrowingContinuationFailsTheChain)
{
    ServicesTest::app();
    QObject context;
    const auto chained = Futures::makeReadyFuture(1)
                             .then(&context, [](int) -> int { throw SensorError("Fan 1 missing", 1); })
                             .then(&context, [](int value) { return value + 1; });
    EXPECT_THROW(ServicesTest::settled(chained).get(), SensorError);
    EXPECT_EQ(chained.failure().message(), "Fan 1 missing");
}

TEST(FutureExThen, ReturnedFutureIsFollowed)
{
    ServicesTest::app();
    QObject context;
    FutureExInterface<std::string> inner;
    Tools::RecordingToolProgress progress;
    const auto chained = Futures::makeReadyFuture(2).then(&context, [&](int) { return inner.future(); });
    chained.attachProgress(&progress);
    QTimer::singleShot(5,
                       [&]
                       {
                           inner.reportResult("second step");
                           inner.reportFinished();
                       });
    EXPECT_EQ(ServicesTest::settled(chained).get(), "second step");
    EXPECT_EQ(inner.progress(), &progress);

    const auto done =
        Futures::makeReadyFuture(2).then(&context, [](int) { return Futures::makeReadyFuture(); });
    static_assert(std::is_same_v<decltype(done), const FutureEx<void>>);
    EXPECT_NO_THROW(ServicesTest::settled(done).get());
    EXPECT_TRUE(done.hasResult());
}

TEST(FutureExThen, DestroyedContextFailsTheChain)
{
    ServicesTest::app();
    auto* context = new QObject;
    bool ran = false;
    const auto chained = Futures::makeReadyFuture(1).then(context, [&](int) { ran = true; });
    delete context;
    EXPECT_THROW(ServicesTest::settled(chained).get(), Futures::Failure);
    EXPECT_EQ(failureText(chained), "The context of a continuation was destroyed before it ran");
    EXPECT_FALSE(ran);
}

TEST(FutureExThen, NullContextRunsInTheFinishingThread)
{
    FutureExInterface<int> producer;
    std::thread::id ranIn;
    const auto chained = producer.future().then(nullptr,
                                                [&](int value)
                                                {
                                                    ranIn = std::this_thread::get_id();
                                                    return value;
                                                });
    std::thread::id finisher;
    std::thread(
        [&]
        {
            finisher = std::this_thread::get_id();
            producer.reportResult(4);
            producer.reportFinished();
        })
        .join();
    EXPECT_EQ(ranIn, finisher);
    EXPECT_TRUE(chained.isFinished());
    EXPECT_EQ(chained.result(), 4);
}

TEST(FutureExThen, CancellingTheChainCancelsUpstreamAndSkipsContinuation)
{
    ServicesTest::app();
    QObject context;
    Tools::RecordingToolProgress progress;
    FutureExInterface<int> producer;
    bool ran = false;
    const auto chained = producer.future().then(&context,
                                                [&](int value)
                                                {
                                                    ran = true;
                                                    return value;
                                                });
    chained.attachProgress(&progress);
    EXPECT_EQ(producer.progress(), &progress);
    chained.cancel();
    EXPECT_TRUE(producer.isCancelled());
    EXPECT_EQ(progress.transcript(), std::vector<std::string>{"cancel"}) << "cancelled once along the chain";
    producer.reportResult(1);
    producer.reportFinished();
    EXPECT_THROW(ServicesTest::settled(chained).get(), Futures::Failure);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(chained.isCancelled());
}
