// Evaluation of the sample project's network through the AI model evaluator, against a bare
// Module::eval of the same inputs in this run: one case at a time through the blocking evaluate, and
// 10,000 cases in one evaluateAsync. Times are wall-clock: what the evaluator adds is mostly the wait
// for the two 1 ms timers that start and complete each request, which costs no processor time.
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/evaluation/AIModelEvaluator.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
constexpr std::int64_t Cases = 10000;

/// The sample's AI model with an evaluator on it, and seeded cases inside the inputs' bounds.
struct Sample
{
    std::unique_ptr<EntityModel::Project> project;
    std::unique_ptr<Conflux::AIModelEvaluator> evaluator;
    AISystem::Module module;
    AISystem::Tensor batch;
    std::vector<AISystem::Tensor> rows;

    Sample()
    {
        project = EntityModel::ProjectFile::load(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
        EntityModel::Entity* model =
            project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
        evaluator = std::make_unique<Conflux::AIModelEvaluator>(model);
        module = Conflux::AIModuleGenerator::generateTranformed(model);
        std::mt19937_64 generator(7);
        std::uniform_real_distribution<double> power(100.0, 1000.0);
        std::uniform_real_distribution<double> inlet(15.0, 35.0);
        std::vector<std::vector<double>> values;
        for (std::int64_t i = 0; i < Cases; ++i)
            values.push_back({power(generator), inlet(generator)});
        batch = AISystem::Tensor::fromRows(values);
        for (const auto& row : values)
            rows.push_back(AISystem::Tensor::fromRows({row}));
    }
};

Sample& sample()
{
    static Sample instance;
    return instance;
}

void bareEvalOneCase(benchmark::State& state)
{
    Sample& s = sample();
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.module.eval(s.rows[i++ % s.rows.size()]));
}

void evaluateOneCase(benchmark::State& state)
{
    Sample& s = sample();
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.evaluator->evaluate(s.rows[i++ % s.rows.size()]));
}

void bareEvalBatch(benchmark::State& state)
{
    Sample& s = sample();
    for (auto _ : state)
        benchmark::DoNotOptimize(s.module.eval(s.batch));
    state.SetItemsProcessed(state.iterations() * Cases);
}

void evaluateAsyncBatch(benchmark::State& state)
{
    Sample& s = sample();
    for (auto _ : state)
    {
        const auto future = s.evaluator->evaluateAsync(s.batch);
        benchmark::DoNotOptimize(future.get());
    }
    state.SetItemsProcessed(state.iterations() * Cases);
}

// Prints each measured figure as a ratio of wall-clock times against its baseline after the usual table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            // With repetitions, the mean stands for the benchmark.
            if (run.iterations > 0 && (run.run_type != Run::RT_Aggregate || run.aggregate_name == "mean"))
                m_seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::pair<const char*, const char*> pairs[] = {
            {"EvaluateOneCase", "BareEvalOneCase"},
            {"EvaluateAsyncBatch", "BareEvalBatch"},
        };
        std::printf("\nRatios against the baselines of this run (wall-clock):\n");
        for (const auto& [measured, baseline] : pairs)
            if (m_seconds.count(measured) && m_seconds.count(baseline) && m_seconds[baseline] > 0)
                std::printf("  %-19s / %-16s %8.2f\n", measured, baseline,
                            m_seconds[measured] / m_seconds[baseline]);
    }

private:
    std::map<std::string, double> m_seconds;
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    sample();
    benchmark::RegisterBenchmark("BareEvalOneCase", bareEvalOneCase)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("EvaluateOneCase", evaluateOneCase)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(300);
    benchmark::RegisterBenchmark("BareEvalBatch", bareEvalBatch)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("EvaluateAsyncBatch", evaluateAsyncBatch)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
