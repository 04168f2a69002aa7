// The exchange generation of a synthetic data centre of 10,000 IT equipment items (each with an
// inlet and an exhaust, one server per cabinet modelled by a Python AI model), in file-parser mode with AI
// models on. Each step is timed and its peak resident growth measured, as ratios against a baseline measured
// in the same run: a plain walk that reads every attribute value of the project as text.
//  - tree build: EntityTreeBuilder::create;
//  - XML: the exchange document written to a file;
//  - functors: AIFunctorBuilder::create on the built attribute map;
//  - control write: ConfluxCntrl::Write of the configured control;
//  - whole run: ConfluxGenerator::updateProject + generate, as the run calls them.
#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/exchange/ConfluxGenerator.h"
#include "src/exchange/XMLDocGenerator.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/Project.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>

using namespace EntityModel;
namespace Model = Conflux::Model;

namespace
{
constexpr int rooms = 10, cabinetsPerRoom = 50, serversPerCabinet = 20;

long memoryKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return 0;
}

/// The peak rise of resident memory while f runs, in MB (0 where the kernel offers no reset).
/// Freed memory is handed back first, so that the rise is of this step alone.
double peakRiseMb(const std::function<void()>& f)
{
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = memoryKb("VmRSS:");
    f();
    return double(memoryKb("VmHWM:") - before) / 1024.0;
}

using Clock = std::chrono::steady_clock;
double timed(const std::function<void()>& f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string id(int n)
{
    return "[1, " + std::to_string(n) + "]";
}

/// The project as the file format writes it.
QByteArray syntheticProject()
{
    std::string entities, roomIds;
    int serial = 2;
    auto add = [&](const std::string& type, const std::string& name, int n, const std::string& attributes)
    {
        entities += ",\n{\"type\": \"" + type + "\", \"name\": \"" + name + "\", \"id\": " + id(n) +
                    ", \"attributes\": {" + attributes + "}}";
    };
    const std::string on = "\"Conflux\": {\"Active\": true}";
    for (int r = 0; r < rooms; ++r)
    {
        const int room = ++serial;
        std::string cabinets;
        for (int c = 0; c < cabinetsPerRoom; ++c)
        {
            const int cabinet = ++serial;
            std::string servers;
            for (int s = 0; s < serversPerCabinet; ++s)
            {
                const int server = ++serial, inlet = ++serial, exhaust = ++serial;
                const std::string name =
                    "Server " + std::to_string(r) + "-" + std::to_string(c) + "-" + std::to_string(s);
                std::string attributes = on + ", \"Power\": {\"Power Definition\": {\"Typical Power\": " +
                                         std::to_string(300 + s * 25) + "}}, \"Inflows\": [" + id(inlet) +
                                         "], \"Outflows\": [" + id(exhaust) + "]";
                if (s == 0)
                {
                    const int model = ++serial;
                    attributes +=
                        ", \"Cooling\": {\"Modelling Level\": \"AI Model\"}, \"AIModelLink\": " + id(model);
                    add("AI Model", name + " Surrogate", model,
                        "\"Model Type\": \"Python\", \"Python Model Script\": \"def evaluate(x):\\n    "
                        "return x\\n\", "
                        "\"Specification\": {"
                        "\"Inputs\": {\"Input Values\": [{\"Entity\": " +
                            id(server) +
                            ", \"Attribute\": \"Power.Power Definition.Typical Power\"}]},"
                            "\"Outputs\": {\"Output Values\": [{\"Entity\": " +
                            id(exhaust) + ", \"Attribute\": \"Temperature\"}]}}");
                }
                add("IT Equipment", name, server, attributes);
                add("Inflow", name + " Inlet", inlet, on + ", \"Area\": 0.04");
                add("Outflow", name + " Exhaust", exhaust,
                    on + ", \"Temperature\": 36.0, \"Flow Rate\": 0.045");
                servers += (servers.empty() ? "" : ", ") + id(server);
            }
            add("Cabinet", "Rack " + std::to_string(r) + "-" + std::to_string(c), cabinet,
                on + ", \"IT Equipment List\": [" + servers + "]");
            cabinets += (cabinets.empty() ? "" : ", ") + id(cabinet);
        }
        add("Room", "Hall " + std::to_string(r), room, on + ", \"Cabinets\": [" + cabinets + "]");
        roomIds += (roomIds.empty() ? "" : ", ") + id(room);
    }
    const std::string head =
        "{\"format\": \"ConfluxTool project\", \"version\": 1, \"entities\": [\n"
        "{\"type\": \"Project\", \"name\": \"Synthetic\", \"id\": [1, 1], \"attributes\": {\"Solution "
        "Control\": [1, 2], "
        "\"Rooms\": [" +
        roomIds +
        "]}},\n"
        "{\"type\": \"Solution Control\", \"name\": \"Solution Control\", \"id\": [1, 2], \"attributes\": {"
        "\"Conflux Control\": {\"Active\": true, \"Mode\": \"FileParser\", \"Version\": \"Latest\"}, "
        "\"AI Model Control\": {\"Active\": \"Yes\"}}}";
    return QByteArray::fromStdString(head + entities + "\n]}\n");
}

/// Reads every attribute value of every entity as text: the least any copy of the model must do.
std::size_t walk(Entity* root)
{
    std::size_t bytes = 0;
    std::function<void(const Attribute*)> visit = [&](const Attribute* attribute)
    {
        bytes += attribute->getValue().size();
        for (const Attribute* child : attribute->getChildAttributes())
            visit(child);
    };
    std::vector<Entity*> entities{root};
    root->getOwnedChildEntities(entities);
    for (Entity* entity : entities)
        visit(entity);
    return bytes;
}

struct Figures
{
    double time = 0, peak = 0;
};

void BM_Generate(benchmark::State& state)
{
    const auto project = ProjectFile::fromJson(syntheticProject(), "synthetic.json");
    EntityEditor::setCurrentProject(project.get());
    Entity* root = project->getRootEntity();
    QTemporaryDir temporary;
    Figures baseline, tree, xml, functors, write, whole;
    std::size_t nodes = 0;
    for (auto _ : state)
    {
        baseline.peak =
            peakRiseMb([&] { baseline.time += timed([&] { benchmark::DoNotOptimize(walk(root)); }); });

        Model::EntityTree built;
        tree.peak = peakRiseMb(
            [&]
            {
                tree.time += timed(
                    [&] {
                        built =
                            Model::EntityTreeBuilder::create(root, Model::AccessType::ReadWrite, true, false);
                    });
            });
        nodes = built.second.size();
        const QString document = temporary.filePath("ConfluxModel.xml");
        xml.peak = peakRiseMb(
            [&] { xml.time += timed([&] { Conflux::XMLDocGenerator::writeFile(*built.first, document); }); });
        functors.peak = peakRiseMb(
            [&]
            {
                functors.time += timed(
                    [&] { benchmark::DoNotOptimize(Conflux::AIFunctorBuilder::create(root, built.second)); });
            });

        CFDSolver::Project solver(temporary.filePath("store").toStdString(), "synthetic", std::string());
        Conflux::ConfluxGenerator generator;
        generator.setRootEntity(root);
        whole.peak = peakRiseMb(
            [&]
            {
                whole.time += timed(
                    [&]
                    {
                        generator.updateProject(&solver);
                        benchmark::DoNotOptimize(
                            generator.generate(&solver, CFDSolver::SolutionType::SteadyState));
                    });
            });
        write.peak = peakRiseMb(
            [&] { write.time += timed([&] { solver.GetConfluxCntrl()->Write(solver.GetProjectStore()); }); });
    }
    EntityEditor::setCurrentProject(nullptr);
    auto report = [&](const std::string& name, const Figures& f)
    {
        state.counters[name + "_x_walk"] = f.time / baseline.time;
        state.counters[name + "_peak_MB"] = f.peak;
    };
    state.counters["walk_ms"] = 1000 * baseline.time / double(state.iterations());
    state.counters["walk_peak_MB"] = baseline.peak;
    state.counters["exchange_nodes"] = double(nodes);
    report("tree", tree);
    report("xml", xml);
    report("functors", functors);
    report("control_write", write);
    report("generate", whole);
}
} // namespace

BENCHMARK(BM_Generate)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
