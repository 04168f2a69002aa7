// Project files at scale: a synthetic project of 100,000 entities is loaded and saved. Each figure
// is a ratio against a baseline measured in the same run: loading against a plain QJsonDocument
// parse of the same text, saving against QJsonDocument writing that parsed document back out.
// Peak memory is the rise of the resident high-water mark during one operation, also as a ratio, and
// for the load as a multiple of the file's size; the loaded model's own size is the heap it holds
// once loaded. The goals are printed beside the figures after the runs.
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/SchemaLoader.h"

#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <utility>

using namespace EntityModel;

namespace
{
constexpr int entityCount = 100000;
constexpr int rooms = 50, cabinetsPerRoom = 40, serversPerCabinet = 16;

/// Resident memory in kB: the current size, or the high-water mark since the last reset.
long memoryKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return 0;
}

using Clock = std::chrono::steady_clock;

/// How long f runs (s) and the peak rise of resident memory meanwhile (MB; 0 where the kernel
/// offers no reset of the high-water mark).
std::pair<double, double> measure(const std::function<void()>& f)
{
    // Freed heap stays resident and would be reused unseen: hand it back first, then reset the mark.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = memoryKb("VmRSS:");
    const auto start = Clock::now();
    f();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return {seconds, double(memoryKb("VmHWM:") - before) / 1024.0};
}

Entity* adopt(CompositeAttribute* owner, const char* link, TypeRef type, const std::string& name, int& serial)
{
    auto entity = DataFactory().createEntity(type, name);
    entity->setID(ID{1, ++serial});
    return static_cast<LinkAttribute*>(owner->findAttribute(link))->adopt(std::move(entity));
}

/// Rooms of cabinets of servers (each with an inlet and an outlet, linked to its room's CDU),
/// topped up with fluids to exactly entityCount entities.
const QByteArray& syntheticProject()
{
    static const QByteArray json = []
    {
        SchemaLoader::ensureBuiltInLoaded();
        int serial = 0;
        auto root = DataFactory().createEntity(Project_t, "Synthetic");
        root->setID(ID{1, ++serial});
        adopt(root.get(), "Solution Control", Solution_Control_t, "Solution Control", serial);
        for (int r = 0; r < rooms; ++r)
        {
            Entity* room =
                adopt(root.get(), "Rooms", TypeRef("Room"), "Room " + std::to_string(r + 1), serial);
            Entity* cdu = adopt(room, "CDUs", CDU_t, "CDU " + std::to_string(r + 1), serial);
            for (int c = 0; c < cabinetsPerRoom; ++c)
            {
                Entity* rack =
                    adopt(room, "Cabinets", TypeRef("Cabinet"), "Rack " + std::to_string(c + 1), serial);
                for (int s = 0; s < serversPerCabinet; ++s)
                {
                    Entity* server = adopt(rack, "IT Equipment List", IT_Equipment_t,
                                           "Server " + std::to_string(s + 1), serial);
                    server->findAttribute(Power_t / Power_Definition_t / Typical_Power_t)
                        ->setValueFromString(std::to_string(300 + s * 25));
                    server->findAttribute(Conflux_t / Active_t)->setValueFromString("true");
                    static_cast<LinkAttribute*>(server->findAttribute(CDULink_t))->addReference(cdu);
                    adopt(server, "Inflows", Inflow_t, "Inlet", serial);
                    adopt(server, "Outflows", Outflow_t, "Exhaust", serial);
                }
            }
        }
        while (serial < entityCount)
            adopt(root.get(), "Fluids", Fluid_t, "Fluid " + std::to_string(serial), serial);
        return ProjectFile::toJson(Project(std::move(root)));
    }();
    return json;
}

/// The load's figures, printed with their goals after the runs.
struct LoadFigures
{
    double entitiesPerSecond = 0, timeVsParse = 0, peakMb = 0, peakVsParse = 0, modelMb = 0, fileMb = 0;
} loadFigures;

void BM_LoadProject(benchmark::State& state)
{
    const QByteArray& json = syntheticProject();
    double loadTime = 0, parseTime = 0, loadPeak = 0, parsePeak = 0, modelMb = 0;
    for (auto _ : state)
    {
        // Results are released outside the timed part: the figures are of reading, not of freeing.
        QJsonDocument parsed;
        const auto [parseSeconds, parseMb] = measure([&] { parsed = QJsonDocument::fromJson(json); });
        parseTime += parseSeconds;
        parsePeak = parseMb;
        parsed = QJsonDocument();
        std::unique_ptr<Project> loaded;
        // The model's own size is its heap: freed heap that stays resident (the parse's) would be
        // reused unseen by a count of resident pages.
        const std::size_t before = mallinfo2().uordblks;
        const auto [loadSeconds, loadMb] =
            measure([&] { loaded = ProjectFile::fromJson(json, "synthetic.json"); });
        loadTime += loadSeconds;
        loadPeak = loadMb;
        modelMb = double(mallinfo2().uordblks - before) / 1048576.0;
        loaded.reset();
    }
    const double iterations = double(state.iterations());
    loadFigures = {entityCount * iterations / loadTime,
                   loadTime / parseTime,
                   loadPeak,
                   parsePeak > 0 ? loadPeak / parsePeak : 0,
                   modelMb,
                   json.size() / 1048576.0};
    state.counters["entities/s"] = loadFigures.entitiesPerSecond;
    state.counters["time_x_QJsonParse"] = loadFigures.timeVsParse;
    state.counters["peak_MB"] = loadPeak;
    state.counters["peak_x_QJsonParse"] = loadFigures.peakVsParse;
    state.counters["model_MB"] = modelMb;
    state.counters["file_MB"] = loadFigures.fileMb;
}

void BM_SaveProject(benchmark::State& state)
{
    const auto project = ProjectFile::fromJson(syntheticProject(), "synthetic.json");
    const QJsonDocument document = QJsonDocument::fromJson(syntheticProject());
    double saveTime = 0, writeTime = 0, savePeak = 0, writePeak = 0;
    for (auto _ : state)
    {
        const auto [writeSeconds, writeMb] = measure([&] { benchmark::DoNotOptimize(document.toJson()); });
        writeTime += writeSeconds;
        writePeak = writeMb;
        const auto [saveSeconds, saveMb] =
            measure([&] { benchmark::DoNotOptimize(ProjectFile::toJson(*project)); });
        saveTime += saveSeconds;
        savePeak = saveMb;
    }
    const double iterations = double(state.iterations());
    state.counters["entities/s"] = entityCount * iterations / saveTime;
    state.counters["time_x_QJsonWrite"] = saveTime / writeTime;
    state.counters["peak_MB"] = savePeak;
    state.counters["peak_x_QJsonWrite"] = writePeak > 0 ? savePeak / writePeak : 0;
}
} // namespace

BENCHMARK(BM_LoadProject)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const LoadFigures& f = loadFigures;
    if (f.entitiesPerSecond > 0)
    {
        std::printf("\nProject load, %d entities, %.1f MB file:\n", entityCount, f.fileMb);
        std::printf("  %.0f entities/s (goal >= 150000), %.2f x the time of a plain QJsonDocument parse\n",
                    f.entitiesPerSecond, f.timeVsParse);
        std::printf(
            "  peak resident rise %.0f MB = %.1f x the file's size (goal < 4), %.2f x a plain parse's\n",
            f.peakMb, f.peakMb / f.fileMb, f.peakVsParse);
        std::printf("  the loaded model alone holds %.0f MB of heap = %.1f x the file's size\n", f.modelMb,
                    f.modelMb / f.fileMb);
    }
    benchmark::Shutdown();
    return 0;
}
