// `confluxtool train` on 10,000 of the sample server's cases (2-32-32-2, float64, generic, full-batch
// Adam) against the same network, data and optimiser in PyTorch, both run as child processes in the
// same run: iterations per second over a fixed number of iterations, and the time to reach the same
// RMS error. Training time is what each side reports for its iterations alone (the library's progress
// lines carry the elapsed time); the whole command's wall time is a counter beside it.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <iostream>
#include <map>
#include <string>

namespace
{
constexpr int Cases = 10000;
constexpr int FixedIterations = 300;
constexpr int IterationLimit = 3000;
constexpr double SameError = 0.05;
// The sample's output weights (exhaust temperature 1, flow 2), as the trainer hands them on.
const char* const Weights = "1,2";

/// The data of the run, made once.
struct Data
{
    QTemporaryDir dir;
    QString csv;
    bool ok = false;
};

/// Makes the cases on first use.
Data& data()
{
    static Data made;
    static const bool once = []
    {
        QProcess maker;
        maker.start(TRAIN_MAKE_DATA,
                    {CONFLUX_EXAMPLES_DIR "/sample-datacentre.json", made.dir.path(), "--cases",
                     QString::number(Cases), "--testing-cases", "0", "--seed", "1"});
        made.ok = maker.waitForFinished(120000) && maker.exitCode() == 0;
        made.csv = made.dir.filePath("server-training.csv");
        return true;
    }();
    (void)once;
    return made;
}

/// Seconds of training, RMS error and iterations of one run.
struct Outcome
{
    double seconds = -1.0;
    double rms = 0.0;
    int iterations = 0;
    double wall = 0.0;
};

Outcome runConfluxtool(int iterations, double target)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(TRAIN_CONFLUXTOOL, {"train",
                                      CONFLUX_EXAMPLES_DIR "/sample-datacentre.json",
                                      "--equipment",
                                      "Server A01-1",
                                      "--data",
                                      data().csv,
                                      "--iterations",
                                      QString::number(iterations),
                                      "--target-rms",
                                      QString::number(target),
                                      "--learning-rate",
                                      "0.01",
                                      "--hidden",
                                      "32,32",
                                      "--double",
                                      "--type",
                                      "generic",
                                      "--seed",
                                      "1",
                                      "-o",
                                      data().dir.filePath("trained.json")});
    Outcome outcome;
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return outcome;
    outcome.wall = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
    // The last progress line: "Iteration N RMS Error X (T s)".
    static const QRegularExpression line(R"(Iteration (\d+) RMS Error (\S+) \(([0-9.]+) s\))");
    auto matches = line.globalMatch(QString::fromUtf8(process.readAllStandardOutput()));
    while (matches.hasNext())
    {
        const auto match = matches.next();
        outcome.iterations = match.captured(1).toInt();
        outcome.rms = match.captured(2).toDouble();
        outcome.seconds = match.captured(3).toDouble();
    }
    return outcome;
}

Outcome runPyTorch(int iterations, double target)
{
    QProcess process;
    process.start(TRAIN_PYTHON, {TRAIN_PYTORCH_SCRIPT, data().csv, QString::number(iterations),
                                 QString::number(target), Weights, "32,32"});
    Outcome outcome;
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return outcome;
    const QStringList fields =
        QString::fromUtf8(process.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
    if (fields.size() == 3)
        outcome = {fields[0].toDouble(), fields[1].toDouble(), fields[2].trimmed().toInt(), 0.0};
    return outcome;
}

bool pytorchImportable()
{
    QProcess probe;
    probe.start(TRAIN_PYTHON, {"-c", "import torch"});
    return probe.waitForFinished(60000) && probe.exitCode() == 0;
}

void measure(benchmark::State& state, Outcome (*run)(int, double), int iterations, double target)
{
    if (!data().ok)
    {
        state.SkipWithError("make-training-data did not make the cases");
        return;
    }
    if (run == runPyTorch && !pytorchImportable())
    {
        state.SkipWithError("torch is not importable by " TRAIN_PYTHON ": no PyTorch reference");
        return;
    }
    Outcome outcome;
    for (auto _ : state)
    {
        outcome = run(iterations, target);
        if (outcome.seconds < 0.0)
        {
            state.SkipWithError("the training run failed");
            return;
        }
        state.SetIterationTime(outcome.seconds);
    }
    state.counters["iterations"] = outcome.iterations;
    state.counters["iterations_per_second"] = outcome.iterations / outcome.seconds;
    state.counters["rms_error"] = outcome.rms;
    if (outcome.wall > 0.0)
        state.counters["command_seconds"] = outcome.wall;
}

void BM_ConfluxtoolFixedIterations(benchmark::State& state)
{
    measure(state, runConfluxtool, FixedIterations, 0.0);
}
void BM_PyTorchFixedIterations(benchmark::State& state)
{
    measure(state, runPyTorch, FixedIterations, 0.0);
}
void BM_ConfluxtoolToSameError(benchmark::State& state)
{
    measure(state, runConfluxtool, IterationLimit, SameError);
}
void BM_PyTorchToSameError(benchmark::State& state)
{
    measure(state, runPyTorch, IterationLimit, SameError);
}
BENCHMARK(BM_ConfluxtoolFixedIterations)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_PyTorchFixedIterations)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_ConfluxtoolToSameError)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_PyTorchToSameError)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (!run.error_occurred)
            {
                const std::string name = run.benchmark_name().substr(0, run.benchmark_name().find('/'));
                times[name] = run.GetAdjustedRealTime();
                const auto rate = run.counters.find("iterations_per_second");
                if (rate != run.counters.end())
                    rates[name] = rate->second.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
    std::map<std::string, double> rates;
};
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout << "\nRatios (measured in this run; " << Cases << " cases, 2-32-32-2, float64)\n";
    const auto ratio =
        [](const std::map<std::string, double>& values, const char* library, const char* reference)
    {
        const auto l = values.find(library);
        const auto r = values.find(reference);
        return l != values.end() && r != values.end() && r->second > 0.0 ? l->second / r->second : -1.0;
    };
    if (const double r = ratio(reporter.rates, "BM_ConfluxtoolFixedIterations", "BM_PyTorchFixedIterations");
        r > 0)
        std::cout << "  iterations per second, confluxtool train / PyTorch (" << FixedIterations
                  << " iterations): " << r << "\n";
    if (const double r = ratio(reporter.times, "BM_ConfluxtoolToSameError", "BM_PyTorchToSameError"); r > 0)
        std::cout << "  time to RMS error " << SameError << ", confluxtool train / PyTorch: " << r << "\n";
    benchmark::Shutdown();
    return 0;
}
