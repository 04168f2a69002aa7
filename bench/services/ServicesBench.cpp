// Costs of the future framework, each against the plainest way to do the same in this run:
// a finished future against std::promise/std::future, a continuation against a bare queued call on the
// same event loop, a runner round trip against the two 1 ms timers it is built on.
#include "host/services/FutureEx.h"
#include "host/services/FutureExRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <future>
#include <map>
#include <string>
#include <unistd.h>

namespace
{
void promiseBaseline(benchmark::State& state)
{
    for (auto _ : state)
    {
        std::promise<int> promise;
        auto future = promise.get_future();
        promise.set_value(42);
        benchmark::DoNotOptimize(future.get());
    }
}

void finishedFutureEx(benchmark::State& state)
{
    for (auto _ : state)
    {
        Futures::FutureExInterface<int> producer;
        const auto future = producer.future();
        producer.reportResult(42);
        producer.reportFinished();
        benchmark::DoNotOptimize(future.get());
    }
}

void queuedCallBaseline(benchmark::State& state)
{
    QObject context;
    int value = 0;
    for (auto _ : state)
    {
        QMetaObject::invokeMethod(
            &context, [&value] { value += 1; }, Qt::QueuedConnection);
        QCoreApplication::sendPostedEvents();
    }
    benchmark::DoNotOptimize(value);
}

void continuation(benchmark::State& state)
{
    QObject context;
    int value = 0;
    for (auto _ : state)
    {
        const auto chained = Futures::makeReadyFuture(1).then(&context, [&value](int v) { value += v; });
        QCoreApplication::sendPostedEvents();
        if (!chained.hasResult())
            state.SkipWithError("continuation did not run");
    }
    benchmark::DoNotOptimize(value);
}

void twoTimersBaseline(benchmark::State& state)
{
    QObject receiver;
    for (auto _ : state)
    {
        QEventLoop loop;
        QTimer::singleShot(1, Qt::PreciseTimer, &receiver,
                           [&] { QTimer::singleShot(1, Qt::PreciseTimer, &loop, &QEventLoop::quit); });
        loop.exec();
    }
}

class AddRunner : public Futures::FutureExRunner<int>
{
protected:
    void run() override { setResult(1 + 1); }
};

void runnerRoundTrip(benchmark::State& state)
{
    for (auto _ : state)
    {
        auto* runner = new AddRunner;
        const auto future = runner->future();
        runner->startLater();
        benchmark::DoNotOptimize(future.get());
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Prints each measured figure as a ratio of CPU times against its baseline after the usual table (CPU time,
// because the machine running the benchmarks may be shared).
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.iterations > 0)
                m_seconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::pair<const char*, const char*> pairs[] = {
            {"FinishedFutureEx", "PromiseBaseline"},
            {"Continuation", "QueuedCallBaseline"},
            {"RunnerRoundTrip", "TwoTimersBaseline"},
        };
        std::printf("\nRatios against the baselines of this run:\n");
        for (const auto& [measured, baseline] : pairs)
            if (m_seconds.count(measured) && m_seconds.count(baseline) && m_seconds[baseline] > 0)
                std::printf("  %-18s / %-20s %6.2f\n", measured, baseline,
                            m_seconds[measured] / m_seconds[baseline]);
    }

private:
    std::map<std::string, double> m_seconds;
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::RegisterBenchmark("PromiseBaseline", promiseBaseline);
    benchmark::RegisterBenchmark("FinishedFutureEx", finishedFutureEx);
    benchmark::RegisterBenchmark("QueuedCallBaseline", queuedCallBaseline);
    benchmark::RegisterBenchmark("Continuation", continuation);
    benchmark::RegisterBenchmark("TwoTimersBaseline", twoTimersBaseline)->Iterations(300);
    benchmark::RegisterBenchmark("RunnerRoundTrip", runnerRoundTrip)->Iterations(300);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
