// One case of the sample's server network through its exported FMU (fmi3SetFloat64, fmi3DoStep,
// fmi3GetFloat64 of the binary loaded with dlopen), against the project's own evaluation of one
// case (Module::eval over the dense kernels) in the same run. Both are timed by processor time.
#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/export/ExportedNetwork.h"
#include "src/ai/export/FmuExporter.h"
#include "tests/fmu/FmuImporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>

namespace
{
/// The sample's server model, its module and its FMU unpacked into a temporary folder and loaded.
struct Sample
{
    std::unique_ptr<EntityModel::Project> project;
    AISystem::Module module;
    QTemporaryDir folder;
    std::unique_ptr<ConfluxFmuTest::FmuLibrary> library;
    fmi3Instance instance = nullptr;
    std::vector<std::vector<double>> cases;

    Sample()
    {
        project = EntityModel::ProjectFile::load(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
        EntityModel::EntityEditor::setCurrentProject(project.get());
        EntityModel::Entity* model =
            project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
        module = Conflux::AIModuleGenerator::generateTranformed(model);
        const auto network = Conflux::extractNetwork(model, Conflux::InputBounds::Required);
        Conflux::FmuExportOptions options;
        options.runtimeLibrary = CONFLUX_FMU_RUNTIME;
        const Conflux::FmuExporter exporter(network, options);
        QDir(folder.path()).mkpath("resources");
        QFile text(folder.filePath("resources/network.txt"));
        text.open(QIODevice::WriteOnly);
        text.write(QByteArray::fromStdString(exporter.networkText()));
        text.close();
        const QString binary = folder.filePath(exporter.modelIdentifier() + ".so");
        QFile::copy(CONFLUX_FMU_RUNTIME, binary);
        library = std::make_unique<ConfluxFmuTest::FmuLibrary>(binary.toStdString());
        const std::string resources = folder.filePath("resources/").toStdString();
        instance = library->fmi3InstantiateCoSimulation("bench", exporter.token().toUtf8().constData(),
                                                        resources.c_str(), false, false, false, false, nullptr, 0,
                                                        nullptr, nullptr, nullptr);
        if (!instance || library->fmi3EnterInitializationMode(instance, false, 0, 0, false, 0) != fmi3OK ||
            library->fmi3ExitInitializationMode(instance) != fmi3OK)
            throw std::runtime_error("the FMU does not start");
        std::mt19937_64 generator(7);
        std::uniform_real_distribution<double> power(100.0, 1000.0);
        std::uniform_real_distribution<double> inlet(15.0, 35.0);
        for (int i = 0; i < 64; ++i)
            cases.push_back({power(generator), inlet(generator)});
    }
};

Sample& sample()
{
    static Sample instance;
    return instance;
}

void BM_ProjectDenseEvalOneCase(benchmark::State& state)
{
    auto& s = sample();
    std::vector<AISystem::Tensor> rows;
    for (const auto& row : s.cases)
        rows.push_back(AISystem::Tensor::fromRows({row}));
    size_t i = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(s.module.eval(rows[i]));
        i = (i + 1) % rows.size();
    }
}
BENCHMARK(BM_ProjectDenseEvalOneCase);

void BM_FmuSetStepGetOneCase(benchmark::State& state)
{
    auto& s = sample();
    const fmi3ValueReference inputs[] = {1, 2};
    const fmi3ValueReference outputs[] = {3, 4};
    double results[2];
    double time = 0.0;
    size_t i = 0;
    for (auto _ : state)
    {
        s.library->fmi3SetFloat64(s.instance, inputs, 2, s.cases[i].data(), 2);
        s.library->fmi3DoStep(s.instance, time, 1.0, true, nullptr, nullptr, nullptr, nullptr);
        s.library->fmi3GetFloat64(s.instance, outputs, 2, results, 2);
        benchmark::DoNotOptimize(results);
        time += 1.0;
        i = (i + 1) % s.cases.size();
    }
}
BENCHMARK(BM_FmuSetStepGetOneCase);

class CpuTimeReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (!run.error_occurred)
                seconds[run.run_name.function_name] =
                    run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};
} // namespace

int main(int argc, char** argv)
{
    int qtArgc = 1;
    char name[] = "FmuRuntimeBench";
    char* qtArgv[] = {name, nullptr};
    QCoreApplication app(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    CpuTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& s = reporter.seconds;
    const auto fmu = s.find("BM_FmuSetStepGetOneCase");
    const auto dense = s.find("BM_ProjectDenseEvalOneCase");
    std::cout << "\nRatio against the anchor measured in this run\n";
    if (fmu != s.end() && dense != s.end())
    {
        std::cout << "  FMU SetFloat64 + DoStep + GetFloat64 / project dense eval, one case: " << std::setprecision(3)
                  << fmu->second / dense->second << "x   goal <= 1.5x\n";
        std::cout << "  FMU SetFloat64 + DoStep + GetFloat64, one case: " << std::setprecision(3) << fmu->second * 1e6
                  << " us   goal <= 2 us\n";
    }
    else
        std::cout << "  n/a (a run failed)\n";
    return 0;
}
