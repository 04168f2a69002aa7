// Dry runs of the sample project. Figures, printed after the run:
//  - iterations per second of the sample's dry run with its controller library (bms_bridge);
//  - the cost of one call of the sample's Python handler through the exchange (the values lent as
//    a mapping, the returned dict checked and written) against a bare CPython call of the same
//    function on a dict of the same values (goal: at most 2 times), also with the two interleaved;
//  - the runtime's own cost per iteration with a controller that does nothing (the trivial
//    linker, AI models off; goal: at most 20 µs), from the time the run's iterations took.
// Iterations per second are the difference of runs of 10,100 and 100 iterations, so that the
// generation does not count.
// Python's headers come before Qt's, whose `slots` macro they would meet otherwise.
#include <pybind11/embed.h>

#include "src/dryrun/DryRun.h"
#include "src/exchange/ConfluxGenerator.h"

#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/scripting/PythonCoreInterpreter.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/ExchangeSession.h"
#include "host/solver/PythonModuleHandler.h"
#include "host/solver/PythonValueMapping.h"
#include "host/solver/Project.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace
{
constexpr int shortRun = 100;
constexpr int longRun = 10100;

struct Sample
{
    Sample() : project(EntityModel::ProjectFile::load(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"))
    {
        EntityModel::EntityEditor::setCurrentProject(project.get());
        EntityModel::EntityEditor::setValue(EntityModel::EntityFetcher::getSolutionControl(project->getRootEntity()),
                                            "AI Model Control.Active", "No");
    }
    void mode(const char* label) const
    {
        EntityModel::EntityEditor::setValue(EntityModel::EntityFetcher::getSolutionControl(project->getRootEntity()),
                                            "Conflux Control.Mode", label);
    }
    Conflux::DryRunSummary run(int iterations, std::optional<Conflux::LinkerType> mode) const
    {
        Conflux::DryRunOptions options;
        options.iterations = iterations;
        options.mode = mode;
        options.storeDirectory = folder.path().toStdString() + "/store";
        options.projectName = "sample";
        return Conflux::DryRun(project->getRootEntity(), options).run(nullptr);
    }

    QTemporaryDir folder;
    std::unique_ptr<EntityModel::Project> project;
};

Sample& sample()
{
    static Sample s;
    return s;
}

/// Standard error sent to /dev/null while it lives: the sample's library reports its refused
/// write once per run, which would bury the figures under hundreds of the same line.
class StderrSilenced
{
public:
    StderrSilenced() : m_saved(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0)
        {
            std::fflush(stderr);
            ::dup2(null, STDERR_FILENO);
            ::close(null);
        }
    }
    ~StderrSilenced()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    StderrSilenced(const StderrSilenced&) = delete;
    StderrSilenced& operator=(const StderrSilenced&) = delete;

private:
    int m_saved;
};

void dryRunLibrary(benchmark::State& state)
{
    const int iterations = static_cast<int>(state.range(0));
    const StderrSilenced quiet;
    for (auto _ : state)
        if (!sample().run(iterations, Conflux::LinkerType::UserDefinedDLL).succeeded())
            state.SkipWithError("the library's dry run failed");
    state.SetItemsProcessed(state.iterations() * iterations);
}

/// Seconds per iteration of the idle runs, from their own clocks.
double idleIteration = 0.0;

void dryRunIdle(benchmark::State& state)
{
    sample().mode("Trivial");
    const int iterations = static_cast<int>(state.range(0));
    double seconds = 0.0;
    for (auto _ : state)
    {
        const Conflux::DryRunSummary summary = sample().run(iterations, std::nullopt);
        if (!summary.succeeded())
            state.SkipWithError("the trivial dry run failed");
        seconds += summary.secondsIterating;
    }
    state.SetItemsProcessed(state.iterations() * iterations);
    if (state.iterations() > 0)
        idleIteration = seconds / static_cast<double>(state.iterations() * iterations);
}

/// The sample's exchange model, generated once, and a session over it that records nothing.
class BenchSession : public CFDSolver::ExchangeSession
{
public:
    explicit BenchSession(const Conflux::Model::EntityCollection& model) : m_values(model) {}
    int iteration() const override { return 1; }
    const CFDSolver::ExchangeValues& values() const override { return m_values; }
    void checkRange(const CFDSolver::ExchangeValues::Value&, double) const override {}
    void valuesRead(const std::string&, std::size_t) override {}
    void valueWritten(const std::string&, const CFDSolver::ExchangeValues::Value&) override {}
    void writeRefused(const std::string&, const std::string&, const std::string&) override {}

private:
    CFDSolver::ExchangeValues m_values;
};

struct Exchange
{
    Exchange()
        : solver(sample().folder.path().toStdString() + "/bench-store", "sample", std::string())
    {
        sample().mode("Python Module");
        Conflux::ConfluxGenerator generator;
        generator.setRootEntity(sample().project->getRootEntity());
        generator.updateProject(&solver);
        generator.generate(&solver, CFDSolver::SolutionType::SteadyState);
        session = std::make_unique<BenchSession>(solver.GetConfluxCntrl()->getModelCollection());
        QFile source(CONFLUX_EXAMPLES_DIR "/controller.py");
        source.open(QIODevice::ReadOnly);
        ScriptingSystem::PythonCoreInterpreter interpreter;
        const auto module = interpreter.importCodeModule(
            "controller", interpreter.compileExec(source.readAll().toStdString(), "controller.py"));
        function = module.findFunction("on_iteration");
        handler = std::make_unique<CFDSolver::PythonModuleHandler>("controller", *function);
    }

    CFDSolver::Project solver;
    std::unique_ptr<BenchSession> session;
    std::optional<ScriptingSystem::PythonFunction> function;
    std::unique_ptr<CFDSolver::PythonModuleHandler> handler;
};

Exchange& exchange()
{
    static Exchange e;
    return e;
}

void pythonHandlerCall(benchmark::State& state)
{
    Exchange& e = exchange();
    for (auto _ : state)
        e.handler->call(TesseraSDK::EventType::Iteration, *e.session);
}

void bareHandlerCall(benchmark::State& state)
{
    Exchange& e = exchange();
    CFDSolver::PythonValueMapping values(e.session->values(), true);
    const ScriptingSystem::PythonValue mapping = values.current();
    pybind11::gil_scoped_acquire lock;
    PyObject* callable = e.function->getCallable().get();
    for (auto _ : state)
    {
        PyObject* result = PyObject_CallOneArg(callable, mapping.get());
        benchmark::DoNotOptimize(result);
        Py_XDECREF(result);
    }
}

/// Seconds of the bare calls and of the handler calls of the interleaved run.
double interleavedBare = 0.0;
double interleavedHandler = 0.0;

/// Batches of bare calls and handler calls in turn, each timed: a machine whose load changes while
/// the two benchmarks above run one after the other skews their ratio, but not this one's.
void handlerAgainstBareInterleaved(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    constexpr int batch = 2000;
    Exchange& e = exchange();
    CFDSolver::PythonValueMapping values(e.session->values(), true);
    const ScriptingSystem::PythonValue mapping = values.current();
    PyObject* callable = e.function->getCallable().get();
    Clock::duration bare{};
    Clock::duration handler{};
    for (auto _ : state)
    {
        {
            pybind11::gil_scoped_acquire lock;
            const auto start = Clock::now();
            for (int i = 0; i < batch; ++i)
            {
                PyObject* result = PyObject_CallOneArg(callable, mapping.get());
                benchmark::DoNotOptimize(result);
                Py_XDECREF(result);
            }
            bare += Clock::now() - start;
        }
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i)
            e.handler->call(TesseraSDK::EventType::Iteration, *e.session);
        handler += Clock::now() - start;
    }
    interleavedBare = std::chrono::duration<double>(bare).count();
    interleavedHandler = std::chrono::duration<double>(handler).count();
}

class FigureReporter : public benchmark::ConsoleReporter
{
public:
    FigureReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.iterations > 0 && (run.run_type != Run::RT_Aggregate || run.aggregate_name == "mean"))
            {
                std::string name = run.benchmark_name();
                if (const auto suffix = name.find("/real_time"); suffix != std::string::npos)
                    name.erase(suffix);
                m_seconds[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto at = [this](const std::string& name) { return m_seconds.count(name) ? m_seconds[name] : 0.0; };
        const double span = longRun - shortRun;
        std::printf("\nFigures of this run (wall-clock):\n");
        const double library = at("DryRunLibrary/" + std::to_string(longRun)) -
                               at("DryRunLibrary/" + std::to_string(shortRun));
        if (library > 0)
            std::printf("  sample with its controller library:  %10.0f iterations/s\n", span / library);
        if (at("BareHandlerCall") > 0)
            std::printf("  Python handler / bare CPython call:  %10.2f  (goal: at most 2)\n",
                        at("PythonHandlerCall") / at("BareHandlerCall"));
        if (interleavedBare > 0)
            std::printf("  the same, calls interleaved:         %10.2f  (goal: at most 2)\n",
                        interleavedHandler / interleavedBare);
        if (idleIteration > 0)
            std::printf("  runtime per iteration, idle controller: %7.2f µs  (goal: at most 20 µs)\n",
                        1e6 * idleIteration);
    }

private:
    std::map<std::string, double> m_seconds;
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::RegisterBenchmark("BareHandlerCall", bareHandlerCall)->UseRealTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("PythonHandlerCall", pythonHandlerCall)->UseRealTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("HandlerAgainstBareInterleaved", handlerAgainstBareInterleaved)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("DryRunLibrary", dryRunLibrary)
        ->Arg(shortRun)
        ->Arg(longRun)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("DryRunIdle", dryRunIdle)
        ->Arg(longRun)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    EntityModel::EntityEditor::setCurrentProject(nullptr);
    return 0;
}
