// The cost of the controller SDK and of the data streams, each against a baseline in the same run:
// - an SDK get and set of a double (success path) against the attribute's own checked getter and
//   setter: sdk_ns, direct_ns per call and ratio = sdk / direct;
// - writing and reading 1,000,000 value attributes in each encoding: MB/s, and the ratio against
//   writing the same number of bytes straight into a std::ostream.
#include "src/model/EntityCollection.h"
#include "src/model/LogManager.h"
#include "src/model/ValueAttribute.h"
#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>

using namespace Conflux::Model;

namespace
{
using Clock = std::chrono::steady_clock;

/// Seconds per call: the best of three rounds of ~50 ms.
template <class F>
double secondsPerCall(F&& call)
{
    double best = 1e300;
    for (int round = 0; round < 3; ++round)
    {
        std::int64_t calls = 0;
        const auto start = Clock::now();
        auto now = start;
        do
        {
            for (int i = 0; i < 256; ++i)
                call();
            calls += 256;
            now = Clock::now();
        } while (now - start < std::chrono::milliseconds(50));
        best = std::min(best, std::chrono::duration<double>(now - start).count() / static_cast<double>(calls));
    }
    return best;
}

template <class F>
double seconds(F&& call)
{
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<ValueAttribute<double>> temperature()
{
    auto attribute = std::make_unique<ValueAttribute<double>>("T", AccessType::ReadWrite, nullptr);
    attribute->createValue(ValueType::Chronological).setValue(20.0);
    attribute->setUnit("C");
    return attribute;
}

void SDKDoubleGetSet(benchmark::State& state)
{
    auto attribute = temperature();
    auto* sdk = dynamic_cast<TesseraSDK::Model::IValueAttribute<double>*>(attribute->getSDKInterface());
    double value = 0;
    for (auto _ : state)
    {
        const double sdkSeconds = secondsPerCall([&] {
            sdk->setDoubleValue(value + 1.0, "C", 2);
            sdk->getDoubleValue(&value, 2);
            benchmark::DoNotOptimize(value);
        });
        const double directSeconds = secondsPerCall([&] {
            attribute->setDoubleValue(value + 1.0, "C", 2, true);
            value = attribute->getDoubleValue(2, true);
            benchmark::DoNotOptimize(value);
        });
        state.counters["sdk_ns"] = sdkSeconds * 1e9;
        state.counters["direct_ns"] = directSeconds * 1e9;
        state.counters["ratio"] = sdkSeconds / directSeconds;
    }
    Conflux::LogManager::instance().clear();
}
BENCHMARK(SDKDoubleGetSet)->Iterations(1)->Unit(benchmark::kMillisecond);

/// A model of `count` value attributes in groups of 1,000 (doubles with three chronologies).
EntityCollection bigModel(int count)
{
    auto root = std::make_unique<Entity>("Project", "Bench", AccessType::ReadWrite, nullptr);
    for (int g = 0; g < count / 1000; ++g)
    {
        auto group = std::make_unique<CompositeAttribute>("Group " + std::to_string(g), AccessType::ReadOnly, nullptr);
        for (int i = 0; i < 1000; ++i)
        {
            auto attribute = std::make_unique<ValueAttribute<double>>("Value " + std::to_string(i), AccessType::ReadWrite,
                                                                      nullptr);
            auto& value = attribute->createValue(ValueType::Chronological);
            value.setValue(i * 0.5);
            value.setValue(i * 0.25, 1);
            value.setValue(i * 0.125, 3);
            attribute->setUnit("W");
            group->addAttribute(std::move(attribute));
        }
        root->addAttribute(std::move(group));
    }
    return EntityCollection(std::move(root));
}

template <bool Binary>
void StreamMillionValueAttributes(benchmark::State& state)
{
    const EntityCollection model = bigModel(1000000);
    for (auto _ : state)
    {
        // One buffer written and then read, so that the dump is held in memory once.
        std::stringstream buffer;
        const double writeSeconds = seconds([&] {
            if constexpr (Binary)
            {
                FileSystem::BinaryDataOStream stream(buffer);
                model.write(stream);
            }
            else
            {
                FileSystem::TextDataOStream stream(buffer);
                model.write(stream);
            }
        });
        const auto size = static_cast<std::size_t>(buffer.tellp());
        EntityCollection back;
        const double readSeconds = seconds([&] {
            if constexpr (Binary)
            {
                FileSystem::BinaryDataIStream stream(buffer);
                back.read(stream);
            }
            else
            {
                FileSystem::TextDataIStream stream(buffer);
                back.read(stream);
            }
        });
        if (back.size() != 1)
            state.SkipWithError("the model did not read back");
        // Baseline: the same number of bytes written straight into a stream, 64 bytes at a time.
        buffer = std::stringstream();
        back.clear();
        const char chunk[64] = {};
        const double plainSeconds = seconds([&] {
            std::ostringstream plain;
            for (std::size_t written = 0; written < size; written += sizeof chunk)
                plain.write(chunk, sizeof chunk);
            benchmark::DoNotOptimize(plain.tellp());
        });
        const double megabytes = static_cast<double>(size) / 1e6;
        state.counters["MB"] = megabytes;
        state.counters["write_MBps"] = megabytes / writeSeconds;
        state.counters["read_MBps"] = megabytes / readSeconds;
        state.counters["plain_MBps"] = megabytes / plainSeconds;
        state.counters["write_ratio"] = writeSeconds / plainSeconds;
        state.counters["read_ratio"] = readSeconds / plainSeconds;
    }
}
BENCHMARK_TEMPLATE(StreamMillionValueAttributes, true)->Name("StreamMillionValueAttributes/Binary")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(StreamMillionValueAttributes, false)->Name("StreamMillionValueAttributes/Text")->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
