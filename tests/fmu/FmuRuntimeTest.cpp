// The generic FMU runtime loaded as an importer loads it: dlopen of a copy under the model's
// identifier, every function resolved, the co-simulation life cycle of both FMI versions, and the
// misuse an importer may commit (calls out of order, a wrong token, NaN inputs, unknown references).
#include "tests/fmu/FmuImporter.h"
#include "tests/fmu/HandMadeNetworks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace ConfluxFmuTest;

namespace
{
class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "fmu-runtime-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TemporaryFolder()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// One FMU folder with its loaded binary.
struct LoadedFmu
{
    LoadedFmu(const ConfluxFmu::NetworkDescription& d, const std::string& identifier = "server")
        : description(d), binary(makeFmuFolder(folder.path() / identifier, d, "x86_64-linux", identifier)),
          library(binary.string())
    {
    }
    std::string resources() const { return (binary.parent_path().parent_path().parent_path() / "resources").string() + "/"; }

    fmi3Instance instantiate(const std::string& token = "")
    {
        return library.fmi3InstantiateCoSimulation("one", token.empty() ? description.token.c_str() : token.c_str(),
                                                   resources().c_str(), false, false, false, false, nullptr, 0, &log,
                                                   &LogCollector::fmi3Log, nullptr);
    }
    fmi2Component instantiate2(const char* name = "one", fmi2Type type = fmi2CoSimulation)
    {
        const fmi2CallbackFunctions callbacks{&LogCollector::fmi2Log, nullptr, nullptr, nullptr, &log};
        return library.fmi2Instantiate(name, type, description.token.c_str(), ("file://" + resources()).c_str(),
                                       &callbacks, false, false);
    }

    TemporaryFolder folder;
    ConfluxFmu::NetworkDescription description;
    fs::path binary;
    FmuLibrary library;
    LogCollector log;
};

std::vector<fmi3ValueReference> references(size_t from, size_t count)
{
    std::vector<fmi3ValueReference> result;
    for (size_t i = 0; i < count; ++i)
        result.push_back(static_cast<fmi3ValueReference>(from + i));
    return result;
}

std::vector<double> randomInputs(const ConfluxFmu::NetworkDescription& d, std::mt19937_64& random)
{
    std::vector<double> x;
    for (const auto& input : d.inputs)
        x.push_back(std::uniform_real_distribution<double>(input.min, input.max)(random));
    return x;
}

// Calls on a null instance: each must answer Error without a crash (there is no logger to tell).
template <typename FmiStatus>
void expectNullRefused(const std::vector<std::pair<const char*, std::function<FmiStatus()>>>& calls,
                       FmiStatus error)
{
    for (const auto& [what, call] : calls)
    {
        SCOPED_TRACE(what);
        EXPECT_EQ(call(), error);
    }
}

// A call an importer may make by mistake and the message it must log; the status must be Error.
template <typename FmiStatus> struct Refusal
{
    const char* what;
    std::function<FmiStatus()> call;
    std::string message;
};

template <typename FmiStatus>
void expectRefusals(const std::vector<Refusal<FmiStatus>>& rows, LogCollector& log, FmiStatus error)
{
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        log.clear();
        EXPECT_EQ(row.call(), error);
        EXPECT_EQ(log.last(), row.message);
    }
}

void expectClose(const std::vector<double>& actual, const std::vector<double>& expected, double relative)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], relative * std::max(std::abs(expected[i]), 1.0)) << "result " << i;
}
} // namespace

TEST(FmuRuntimeLibrary, ExportsEveryFunctionOfBothVersions)
{
    LoadedFmu fmu(handMadeNetwork(1, false));
    EXPECT_TRUE(fmu.library.missing().empty()) << fmu.library.missing().front();
    EXPECT_STREQ(fmu.library.fmi3GetVersion(), "3.0");
    EXPECT_STREQ(fmu.library.fmi2GetVersion(), "2.0");
    EXPECT_STREQ(fmu.library.fmi2GetTypesPlatform(), "default");
}

TEST(FmuRuntimeLibrary, NeedsOnlyTheCLibrary)
{
    const std::string command = std::string("ldd '") + CONFLUX_FMU_RUNTIME + "' 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    ASSERT_TRUE(pipe);
    std::string listing;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()))
        listing += buffer;
    for (const char* forbidden : {"Qt", "torch", "opencv", "libc10", "libstdc++", "libgcc_s", "not found"})
        EXPECT_EQ(listing.find(forbidden), std::string::npos) << forbidden << " in\n" << listing;
    EXPECT_NE(listing.find("libc.so"), std::string::npos) << listing;
}

TEST(FmuRuntimeFmi3, RunsTheCoSimulationLifeCycleAndMatchesThePlainEvaluation)
{
    for (const bool single : {false, true})
    {
        SCOPED_TRACE(single ? "float network" : "double network");
        LoadedFmu fmu(handMadeNetwork(2, single));
        auto& f = fmu.library;
        fmi3Instance instance = fmu.instantiate();
        ASSERT_NE(instance, nullptr) << fmu.log.last();
        ASSERT_EQ(f.fmi3EnterInitializationMode(instance, false, 0.0, 10.0, false, 0.0), fmi3OK);
        ASSERT_EQ(f.fmi3ExitInitializationMode(instance), fmi3OK);
        const auto inputs = references(1, 3);
        const auto outputs = references(4, 2);
        std::mt19937_64 random(7);
        double time = 10.0;
        for (int step = 0; step < 1000; ++step)
        {
            const auto x = randomInputs(fmu.description, random);
            std::vector<double> y(2);
            if (single)
            {
                std::vector<float> xf(x.begin(), x.end());
                std::vector<float> yf(2);
                ASSERT_EQ(f.fmi3SetFloat32(instance, inputs.data(), 3, xf.data(), 3), fmi3OK) << fmu.log.last();
                ASSERT_EQ(f.fmi3DoStep(instance, time, 0.5, true, nullptr, nullptr, nullptr, nullptr), fmi3OK);
                ASSERT_EQ(f.fmi3GetFloat32(instance, outputs.data(), 2, yf.data(), 2), fmi3OK) << fmu.log.last();
                y.assign(yf.begin(), yf.end());
                expectClose(y, referenceOutputs(fmu.description, std::vector<double>(xf.begin(), xf.end())), 1e-5);
            }
            else
            {
                ASSERT_EQ(f.fmi3SetFloat64(instance, inputs.data(), 3, x.data(), 3), fmi3OK) << fmu.log.last();
                fmi3Boolean event = true, terminate = true, early = true;
                fmi3Float64 last = 0.0;
                ASSERT_EQ(f.fmi3DoStep(instance, time, 0.5, true, &event, &terminate, &early, &last), fmi3OK);
                EXPECT_FALSE(event || terminate || early);
                EXPECT_EQ(last, time + 0.5);
                ASSERT_EQ(f.fmi3GetFloat64(instance, outputs.data(), 2, y.data(), 2), fmi3OK) << fmu.log.last();
                expectClose(y, referenceOutputs(fmu.description, x), 1e-12);
            }
            time += 0.5;
        }
        const fmi3ValueReference timeReference = 0;
        double now = 0.0;
        ASSERT_EQ(f.fmi3GetFloat64(instance, &timeReference, 1, &now, 1), fmi3OK);
        EXPECT_EQ(now, 510.0);
        EXPECT_EQ(f.fmi3Terminate(instance), fmi3OK);
        f.fmi3FreeInstance(instance);
        EXPECT_TRUE(fmu.log.lines().empty()) << fmu.log.last();
    }
}

TEST(FmuRuntimeFmi3, OutputsFollowInputsWithinTheStepAndStartFromTheStartValues)
{
    LoadedFmu fmu(handMadeNetwork(3, false));
    auto& f = fmu.library;
    fmi3Instance instance = fmu.instantiate();
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
    const auto outputs = references(4, 2);
    std::vector<double> y(2);
    ASSERT_EQ(f.fmi3GetFloat64(instance, outputs.data(), 2, y.data(), 2), fmi3OK);
    expectClose(y, referenceOutputs(fmu.description, {25.0, 500.0, 0.6}), 1e-12);
    const fmi3ValueReference power = 2;
    const double value = 800.0;
    ASSERT_EQ(f.fmi3SetFloat64(instance, &power, 1, &value, 1), fmi3OK);
    ASSERT_EQ(f.fmi3GetFloat64(instance, outputs.data(), 2, y.data(), 2), fmi3OK);
    expectClose(y, referenceOutputs(fmu.description, {25.0, 800.0, 0.6}), 1e-12);
    ASSERT_EQ(f.fmi3Reset(instance), fmi3OK);
    ASSERT_EQ(f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
    ASSERT_EQ(f.fmi3GetFloat64(instance, outputs.data(), 2, y.data(), 2), fmi3OK);
    expectClose(y, referenceOutputs(fmu.description, {25.0, 500.0, 0.6}), 1e-12);
    f.fmi3FreeInstance(instance);
}

TEST(FmuRuntimeFmi3, ComputesTheImbalancesAndConservesEnergyOnRequest)
{
    auto d = handMadeNetwork(4, false);
    d.balance = airBalance(false);
    LoadedFmu fmu(d);
    auto& f = fmu.library;
    fmi3Instance instance = fmu.instantiate();
    ASSERT_NE(instance, nullptr) << fmu.log.last();
    ASSERT_EQ(f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
    const auto inputs = references(1, 3);
    const auto results = references(4, 4);
    std::mt19937_64 random(5);
    for (int i = 0; i < 100; ++i)
    {
        const auto x = randomInputs(d, random);
        std::vector<double> y(4);
        ASSERT_EQ(f.fmi3SetFloat64(instance, inputs.data(), 3, x.data(), 3), fmi3OK);
        ASSERT_EQ(f.fmi3GetFloat64(instance, results.data(), 4, y.data(), 4), fmi3OK);
        expectClose(y, referenceOutputs(d, x), 1e-10);
    }
    f.fmi3FreeInstance(instance);

    d.balance = airBalance(true);
    LoadedFmu conserved(d, "conserved");
    instance = conserved.instantiate();
    ASSERT_NE(instance, nullptr) << conserved.log.last();
    ASSERT_EQ(conserved.library.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
    std::vector<double> y(4);
    ASSERT_EQ(conserved.library.fmi3GetFloat64(instance, results.data(), 4, y.data(), 4), fmi3OK);
    const double heat = 500.0;
    EXPECT_NEAR(y[2], 0.0, 1e-9 * heat) << "energy imbalance after the correction";
    EXPECT_EQ(y[3], 0.0);
    conserved.library.fmi3FreeInstance(instance);
}

TEST(FmuRuntimeFmi3, TwoInstancesOnTwoThreadsKeepTheirOwnValues)
{
    LoadedFmu fmu(handMadeNetwork(6, false));
    auto& f = fmu.library;
    const auto run = [&](double fan, int* failures) {
        fmi3Instance instance = fmu.instantiate();
        if (!instance || f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0) != fmi3OK ||
            f.fmi3ExitInitializationMode(instance) != fmi3OK)
        {
            ++*failures;
            return;
        }
        const auto inputs = references(1, 3);
        const auto outputs = references(4, 2);
        for (int step = 0; step < 2000; ++step)
        {
            const std::vector<double> x{15.0 + step % 20, 100.0 + step % 800, fan};
            std::vector<double> y(2);
            if (f.fmi3SetFloat64(instance, inputs.data(), 3, x.data(), 3) != fmi3OK ||
                f.fmi3DoStep(instance, step, 1.0, true, nullptr, nullptr, nullptr, nullptr) != fmi3OK ||
                f.fmi3GetFloat64(instance, outputs.data(), 2, y.data(), 2) != fmi3OK)
                ++*failures;
            const auto expected = referenceOutputs(fmu.description, x);
            for (size_t o = 0; o < 2; ++o)
                if (std::abs(y[o] - expected[o]) > 1e-12 * std::max(std::abs(expected[o]), 1.0))
                    ++*failures;
        }
        f.fmi3FreeInstance(instance);
    };
    int failuresA = 0, failuresB = 0;
    std::thread a(run, 0.3, &failuresA);
    std::thread b(run, 0.9, &failuresB);
    a.join();
    b.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
}

TEST(FmuRuntimeFmi3, RefusesMisuseWithAnErrorAndAMessage)
{
    LoadedFmu fmu(handMadeNetwork(8, false));
    auto& f = fmu.library;
    fmi3Instance instance = fmu.instantiate();
    ASSERT_NE(instance, nullptr);
    const fmi3ValueReference outputs[] = {4, 5};
    const fmi3ValueReference input = 1;
    double values[2] = {};

    const double nan = std::nan("");
    const double fine = 20.0;
    const fmi3ValueReference unknown = 99;
    const fmi3ValueReference time = 0;
    const std::vector<Refusal<fmi3Status>> beforeInitialization = {
        {"step before initialization", [&] { return f.fmi3DoStep(instance, 0.0, 1.0, true, nullptr, nullptr, nullptr, nullptr); },
         "3 logStatusError: fmi3DoStep: called while the instance is instantiated; it is allowed only in step mode "
         "(after exiting initialization mode)"},
        {"get before initialization", [&] { return f.fmi3GetFloat64(instance, outputs, 2, values, 2); },
         "3 logStatusError: fmi3GetFloat64: called while the instance is instantiated; it is allowed in "
         "initialization mode, step mode or after termination"},
        {"exit before enter", [&] { return f.fmi3ExitInitializationMode(instance); },
         "3 logStatusError: fmi3ExitInitializationMode: called while the instance is instantiated; it is allowed "
         "only in initialization mode"},
        {"NaN input", [&] { return f.fmi3SetFloat64(instance, &input, 1, &nan, 1); },
         "3 logStatusError: fmi3SetFloat64: input 'Server.Inlet Temperature' (value reference 1) cannot take nan, "
         "which is not a finite number"},
        {"unknown reference", [&] { return f.fmi3SetFloat64(instance, &unknown, 1, &fine, 1); },
         "3 logStatusError: fmi3SetFloat64: value reference 99 is unknown (this FMU has 0 to 5)"},
        {"setting an output", [&] { return f.fmi3SetFloat64(instance, outputs, 1, &fine, 1); },
         "3 logStatusError: fmi3SetFloat64: output 'Server.Exhaust Temperature' (value reference 4) is not an "
         "input and cannot be set"},
        {"setting time", [&] { return f.fmi3SetFloat64(instance, &time, 1, &fine, 1); },
         "3 logStatusError: fmi3SetFloat64: the independent variable time (value reference 0) is not an input and "
         "cannot be set"},
        {"wrong type", [&] {
             const float value = 20.0f;
             return f.fmi3SetFloat32(instance, &input, 1, &value, 1);
         },
         "3 logStatusError: fmi3SetFloat32: input 'Server.Inlet Temperature' (value reference 1) is a Float64 "
         "variable"},
        {"arrays of different lengths", [&] { return f.fmi3SetFloat64(instance, &input, 1, &fine, 2); },
         "3 logStatusError: fmi3SetFloat64: 1 value references given for 2 values; these variables are scalars"},
        {"a type without variables", [&] {
             fmi3Int32 value = 0;
             return f.fmi3GetInt32(instance, &input, 1, &value, 1);
         },
         "3 logStatusError: fmi3GetInt32: this FMU has no Int32 variables (value reference 1 is not one)"},
        {"a null reference array of a type without variables", [&] {
             const fmi3Clock clock = false;
             return f.fmi3SetClock(instance, nullptr, 1, &clock);
         },
         "3 logStatusError: fmi3SetClock: this FMU has no Clock variables (value reference (null) is not one)"},
        {"an unsupported function", [&] { return f.fmi3EnterEventMode(instance); },
         "3 logStatusError: fmi3EnterEventMode: not supported: this FMU is a co-simulation model of an algebraic "
         "network, without states, events, clocks, derivatives or saved FMU states"},
        {"terminate before initialization", [&] { return f.fmi3Terminate(instance); },
         "3 logStatusError: fmi3Terminate: called while the instance is instantiated; it is allowed only in "
         "initialization or step mode"},
        {"unknown log category", [&] {
             const fmi3String categories[] = {"logEverything"};
             return f.fmi3SetDebugLogging(instance, true, 1, categories);
         },
         "3 logStatusError: fmi3SetDebugLogging: unknown log category \"logEverything\" (logCalls, "
         "logStatusWarning and logStatusError are known)"},
    };
    expectRefusals(beforeInitialization, fmu.log, fmi3Error);
    fmu.log.clear();
    EXPECT_EQ(f.fmi3GetInt32(instance, nullptr, 0, nullptr, 0), fmi3OK);
    EXPECT_TRUE(fmu.log.lines().empty()) << fmu.log.last();
    // A refused NaN left the start value in place.
    ASSERT_EQ(f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
    expectRefusals<fmi3Status>(
        {{"enter initialization twice",
          [&] { return f.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0); },
          "3 logStatusError: fmi3EnterInitializationMode: called while the instance is initialization mode; it is "
          "allowed only once, after instantiation or reset"},
         {"step in initialization mode",
          [&] { return f.fmi3DoStep(instance, 0.0, 1.0, true, nullptr, nullptr, nullptr, nullptr); },
          "3 logStatusError: fmi3DoStep: called while the instance is initialization mode; it is allowed only in "
          "step mode (after exiting initialization mode)"}},
        fmu.log, fmi3Error);
    double inlet = 0.0;
    ASSERT_EQ(f.fmi3GetFloat64(instance, &input, 1, &inlet, 1), fmi3OK);
    EXPECT_EQ(inlet, 25.0);
    // A value outside the trained range is taken, with a warning.
    const double hot = 50.0;
    fmu.log.clear();
    EXPECT_EQ(f.fmi3SetFloat64(instance, &input, 1, &hot, 1), fmi3Warning);
    EXPECT_EQ(fmu.log.last(), "1 logStatusWarning: fmi3SetFloat64: input 'Server.Inlet Temperature' (value "
                              "reference 1) = 50 lies outside the range the network was trained on, 15 to 35");
    ASSERT_EQ(f.fmi3ExitInitializationMode(instance), fmi3OK);
    fmu.log.clear();
    EXPECT_EQ(f.fmi3DoStep(instance, 0.0, -1.0, true, nullptr, nullptr, nullptr, nullptr), fmi3Error);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3DoStep: the communication point 0 with step size -1 is not a "
                              "finite time and a step size of zero or more");
    ASSERT_EQ(f.fmi3Terminate(instance), fmi3OK);
    fmu.log.clear();
    EXPECT_EQ(f.fmi3SetFloat64(instance, &input, 1, &fine, 1), fmi3Error);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3SetFloat64: called while the instance is terminated; it is "
                              "allowed before termination");
    EXPECT_EQ(f.fmi3GetFloat64(instance, outputs, 2, values, 2), fmi3OK);
    f.fmi3FreeInstance(instance);
    const float single = 1.0f;
    expectNullRefused<fmi3Status>(
        {{"DoStep", [&] { return f.fmi3DoStep(nullptr, 0.0, 1.0, true, nullptr, nullptr, nullptr, nullptr); }},
         {"GetFloat64", [&] { return f.fmi3GetFloat64(nullptr, outputs, 2, values, 2); }},
         {"SetFloat32", [&] { return f.fmi3SetFloat32(nullptr, &input, 1, &single, 1); }},
         {"EnterInitializationMode", [&] { return f.fmi3EnterInitializationMode(nullptr, false, 0, 0, false, 0); }},
         {"ExitInitializationMode", [&] { return f.fmi3ExitInitializationMode(nullptr); }},
         {"Terminate", [&] { return f.fmi3Terminate(nullptr); }},
         {"Reset", [&] { return f.fmi3Reset(nullptr); }},
         {"SetDebugLogging", [&] { return f.fmi3SetDebugLogging(nullptr, true, 0, nullptr); }},
         {"GetInt32", [&] { return f.fmi3GetInt32(nullptr, nullptr, 0, nullptr, 0); }},
         {"EnterEventMode", [&] { return f.fmi3EnterEventMode(nullptr); }}},
        fmi3Error);
    f.fmi3FreeInstance(nullptr);
}

TEST(FmuRuntimeFmi3, RefusesAWrongTokenAndABadResourceFolder)
{
    LoadedFmu fmu(handMadeNetwork(9, false));
    auto& f = fmu.library;
    EXPECT_EQ(fmu.instantiate("{wrong}"), nullptr);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3InstantiateCoSimulation: instance \"one\": the instantiation "
                              "token \"{wrong}\" is not this FMU's, \"" + fmu.description.token + "\"");
    const std::string missing = (fmu.folder.path() / "nowhere").string() + "/";
    EXPECT_EQ(f.fmi3InstantiateCoSimulation("two", fmu.description.token.c_str(), missing.c_str(), false, false, false,
                                            false, nullptr, 0, &fmu.log, &LogCollector::fmi3Log, nullptr),
              nullptr);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3InstantiateCoSimulation: instance \"two\": cannot open the "
                              "network file \"" + missing + "network.txt\"");
    EXPECT_EQ(f.fmi3InstantiateCoSimulation("three", nullptr, nullptr, false, false, false, false, nullptr, 0, nullptr,
                                            nullptr, nullptr),
              nullptr);
    EXPECT_EQ(f.fmi3InstantiateCoSimulation(nullptr, nullptr, nullptr, false, false, false, false, nullptr, 0,
                                            &fmu.log, &LogCollector::fmi3Log, nullptr),
              nullptr);
    EXPECT_EQ(fmu.log.last(),
              "3 logStatusError: fmi3InstantiateCoSimulation: instance \"\": no instantiation token was given");
    EXPECT_EQ(f.fmi3InstantiateCoSimulation("five", fmu.description.token.c_str(), fmu.resources().c_str(), false,
                                            false, true, false, nullptr, 0, &fmu.log, &LogCollector::fmi3Log, nullptr),
              nullptr);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3InstantiateCoSimulation: instance \"five\": event mode was "
                              "asked for, but this FMU has no event mode");
    EXPECT_EQ(f.fmi3InstantiateModelExchange("four", fmu.description.token.c_str(), fmu.resources().c_str(), false,
                                             false, &fmu.log, &LogCollector::fmi3Log),
              nullptr);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi3InstantiateModelExchange: not supported: this FMU offers "
                              "co-simulation only");
}

TEST(FmuRuntimeFmi3, RefusesADamagedNetworkFile)
{
    LoadedFmu fmu(handMadeNetwork(10, false));
    const auto file = fs::path(fmu.resources()) / "network.txt";
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ofstream(file, std::ios::trunc) << text.substr(0, text.size() / 2);
    EXPECT_EQ(fmu.instantiate(), nullptr);
    EXPECT_NE(fmu.log.last().find("fmi3InstantiateCoSimulation: instance \"one\": network file"), std::string::npos)
        << fmu.log.last();
}

TEST(FmuRuntimeFmi2, RunsTheCoSimulationLifeCycleWithAFileUri)
{
    auto d = handMadeNetwork(11, false);
    TemporaryFolder folder;
    const auto root = folder.path() / "with space";
    const auto binary = makeFmuFolder(root, d, "linux64", "server");
    FmuLibrary f(binary.string());
    LogCollector log;
    const fmi2CallbackFunctions callbacks{&LogCollector::fmi2Log, nullptr, nullptr, nullptr, &log};
    const std::string uri = "file://" + (folder.path() / "with%20space" / "resources").string();
    fmi2Component c = f.fmi2Instantiate("two", fmi2CoSimulation, d.token.c_str(), uri.c_str(), &callbacks, false, false);
    ASSERT_NE(c, nullptr) << log.last();
    ASSERT_EQ(f.fmi2SetupExperiment(c, false, 0.0, 5.0, false, 0.0), fmi2OK);
    ASSERT_EQ(f.fmi2EnterInitializationMode(c), fmi2OK);
    ASSERT_EQ(f.fmi2ExitInitializationMode(c), fmi2OK);
    const fmi2ValueReference inputs[] = {1, 2, 3};
    const fmi2ValueReference outputs[] = {4, 5};
    const std::vector<double> x{20.0, 300.0, 0.5};
    ASSERT_EQ(f.fmi2SetReal(c, inputs, 3, x.data()), fmi2OK);
    ASSERT_EQ(f.fmi2DoStep(c, 5.0, 1.0, fmi2True), fmi2OK);
    std::vector<double> y(2);
    ASSERT_EQ(f.fmi2GetReal(c, outputs, 2, y.data()), fmi2OK);
    expectClose(y, referenceOutputs(d, x), 1e-12);
    fmi2Real last = 0.0;
    ASSERT_EQ(f.fmi2GetRealStatus(c, fmi2LastSuccessfulTime, &last), fmi2OK);
    EXPECT_EQ(last, 6.0);
    const double nan = std::nan("");
    EXPECT_EQ(f.fmi2SetReal(c, inputs, 1, &nan), fmi2Error);
    EXPECT_EQ(log.last(), "3 logStatusError: fmi2SetReal: input 'Server.Inlet Temperature' (value reference 1) "
                          "cannot take nan, which is not a finite number");
    EXPECT_EQ(f.fmi2SetTime(c, 1.0), fmi2Error);
    EXPECT_EQ(log.last().rfind("3 logStatusError: fmi2SetTime: not supported", 0), 0u) << log.last();
    ASSERT_EQ(f.fmi2Terminate(c), fmi2OK);
    f.fmi2FreeInstance(c);

    EXPECT_EQ(f.fmi2Instantiate("three", fmi2CoSimulation, "{wrong}", uri.c_str(), &callbacks, false, false), nullptr);
    EXPECT_EQ(log.last(), "3 logStatusError: fmi2Instantiate: instance \"three\": the instantiation token \"{wrong}\" "
                          "is not this FMU's, \"" + d.token + "\"");
    EXPECT_EQ(f.fmi2Instantiate("four", fmi2ModelExchange, d.token.c_str(), uri.c_str(), &callbacks, false, false),
              nullptr);
    EXPECT_EQ(log.last(), "3 logStatusError: fmi2Instantiate: instance \"four\": model exchange was asked for; this "
                          "FMU offers co-simulation only");
    EXPECT_EQ(f.fmi2Instantiate("five", fmi2CoSimulation, d.token.c_str(), "http://example.com/r", &callbacks, false,
                                false),
              nullptr);
    EXPECT_EQ(log.last(), "3 logStatusError: fmi2Instantiate: instance \"five\": the resource location "
                          "\"http://example.com/r\" is not a file: URI");
}

TEST(FmuRuntimeFmi2, RefusesMisuseWithAnErrorAndAMessage)
{
    LoadedFmu fmu(handMadeNetwork(12, false));
    auto& f = fmu.library;
    fmi2Component c = fmu.instantiate2();
    ASSERT_NE(c, nullptr) << fmu.log.last();
    const fmi2ValueReference outputs[] = {4, 5};
    const fmi2ValueReference input = 1;
    const fmi2ValueReference unknown = 99;
    const fmi2ValueReference time = 0;
    double values[2] = {};
    const double nan = std::nan("");
    const double fine = 20.0;
    fmi2Real real = 0.0;
    const std::vector<Refusal<fmi2Status>> beforeInitialization = {
        {"step before initialization", [&] { return f.fmi2DoStep(c, 0.0, 1.0, fmi2True); },
         "3 logStatusError: fmi2DoStep: called while the instance is instantiated; it is allowed only in step mode "
         "(after exiting initialization mode)"},
        {"get before initialization", [&] { return f.fmi2GetReal(c, outputs, 2, values); },
         "3 logStatusError: fmi2GetReal: called while the instance is instantiated; it is allowed in "
         "initialization mode, step mode or after termination"},
        {"exit before enter", [&] { return f.fmi2ExitInitializationMode(c); },
         "3 logStatusError: fmi2ExitInitializationMode: called while the instance is instantiated; it is allowed "
         "only in initialization mode"},
        {"NaN input", [&] { return f.fmi2SetReal(c, &input, 1, &nan); },
         "3 logStatusError: fmi2SetReal: input 'Server.Inlet Temperature' (value reference 1) cannot take nan, "
         "which is not a finite number"},
        {"unknown reference", [&] { return f.fmi2SetReal(c, &unknown, 1, &fine); },
         "3 logStatusError: fmi2SetReal: value reference 99 is unknown (this FMU has 0 to 5)"},
        {"setting an output", [&] { return f.fmi2SetReal(c, outputs, 1, &fine); },
         "3 logStatusError: fmi2SetReal: output 'Server.Exhaust Temperature' (value reference 4) is not an input "
         "and cannot be set"},
        {"setting time", [&] { return f.fmi2SetReal(c, &time, 1, &fine); },
         "3 logStatusError: fmi2SetReal: the independent variable time (value reference 0) is not an input and "
         "cannot be set"},
        {"a type without variables", [&] {
             fmi2Integer value = 0;
             return f.fmi2GetInteger(c, &input, 1, &value);
         },
         "3 logStatusError: fmi2GetInteger: this FMU has no Integer variables (value reference 1 is not one)"},
        {"a null reference array of a type without variables", [&] {
             const fmi2Boolean value = fmi2False;
             return f.fmi2SetBoolean(c, nullptr, 1, &value);
         },
         "3 logStatusError: fmi2SetBoolean: this FMU has no Boolean variables (value reference (null) is not one)"},
        {"an unsupported function", [&] { return f.fmi2EnterEventMode(c); },
         "3 logStatusError: fmi2EnterEventMode: not supported: this FMU is a co-simulation model of an algebraic "
         "network, without states, events, clocks, derivatives or saved FMU states"},
        {"terminate before initialization", [&] { return f.fmi2Terminate(c); },
         "3 logStatusError: fmi2Terminate: called while the instance is instantiated; it is allowed only in "
         "initialization or step mode"},
        {"unknown log category", [&] {
             const fmi2String categories[] = {"logEverything"};
             return f.fmi2SetDebugLogging(c, fmi2True, 1, categories);
         },
         "3 logStatusError: fmi2SetDebugLogging: unknown log category \"logEverything\" (logCalls, "
         "logStatusWarning and logStatusError are known)"},
        {"a start time that is not a number", [&] { return f.fmi2SetupExperiment(c, fmi2False, 0.0, nan, fmi2False, 0.0); },
         "3 logStatusError: fmi2SetupExperiment: the start time nan is not a finite number"},
        {"a real status other than the last successful time", [&] {
             return f.fmi2GetRealStatus(c, fmi2DoStepStatus, &real);
         },
         "3 logStatusError: fmi2GetRealStatus: only fmi2LastSuccessfulTime is answered, into a value that is not "
         "null"},
        {"a boolean status into null", [&] { return f.fmi2GetBooleanStatus(c, fmi2Terminated, nullptr); },
         "3 logStatusError: fmi2GetBooleanStatus: only fmi2Terminated is answered, into a value that is not null"},
    };
    expectRefusals(beforeInitialization, fmu.log, fmi2Error);
    fmu.log.clear();
    EXPECT_EQ(f.fmi2GetInteger(c, nullptr, 0, nullptr), fmi2OK);
    EXPECT_TRUE(fmu.log.lines().empty()) << fmu.log.last();

    // The start time set before initialization is where the steps begin.
    ASSERT_EQ(f.fmi2SetupExperiment(c, fmi2False, 0.0, 3.0, fmi2False, 0.0), fmi2OK);
    ASSERT_EQ(f.fmi2EnterInitializationMode(c), fmi2OK);
    expectRefusals<fmi2Status>(
        {{"setup after entering initialization",
          [&] { return f.fmi2SetupExperiment(c, fmi2False, 0.0, 1.0, fmi2False, 0.0); },
          "3 logStatusError: fmi2SetupExperiment: called while the instance is initialization mode; it is allowed "
          "only before initialization"},
         {"enter initialization twice", [&] { return f.fmi2EnterInitializationMode(c); },
          "3 logStatusError: fmi2EnterInitializationMode: called while the instance is initialization mode; it is "
          "allowed only once, after instantiation or reset"},
         {"step in initialization mode", [&] { return f.fmi2DoStep(c, 3.0, 1.0, fmi2True); },
          "3 logStatusError: fmi2DoStep: called while the instance is initialization mode; it is allowed only in "
          "step mode (after exiting initialization mode)"}},
        fmu.log, fmi2Error);
    double inlet = 0.0;
    ASSERT_EQ(f.fmi2GetReal(c, &input, 1, &inlet), fmi2OK);
    EXPECT_EQ(inlet, 25.0) << "a refused NaN left the start value in place";
    const double hot = 50.0;
    fmu.log.clear();
    EXPECT_EQ(f.fmi2SetReal(c, &input, 1, &hot), fmi2Warning);
    EXPECT_EQ(fmu.log.last(), "1 logStatusWarning: fmi2SetReal: input 'Server.Inlet Temperature' (value "
                              "reference 1) = 50 lies outside the range the network was trained on, 15 to 35");
    ASSERT_EQ(f.fmi2ExitInitializationMode(c), fmi2OK);
    fmu.log.clear();
    EXPECT_EQ(f.fmi2DoStep(c, 3.0, -1.0, fmi2True), fmi2Error);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi2DoStep: the communication point 3 with step size -1 is not a "
                              "finite time and a step size of zero or more");
    ASSERT_EQ(f.fmi2DoStep(c, 3.0, 0.5, fmi2True), fmi2OK);
    ASSERT_EQ(f.fmi2GetRealStatus(c, fmi2LastSuccessfulTime, &real), fmi2OK);
    EXPECT_EQ(real, 3.5);
    fmi2Boolean terminated = fmi2True;
    ASSERT_EQ(f.fmi2GetBooleanStatus(c, fmi2Terminated, &terminated), fmi2OK);
    EXPECT_EQ(terminated, fmi2False);
    ASSERT_EQ(f.fmi2Terminate(c), fmi2OK);
    fmu.log.clear();
    EXPECT_EQ(f.fmi2SetReal(c, &input, 1, &fine), fmi2Error);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi2SetReal: called while the instance is terminated; it is "
                              "allowed before termination");
    EXPECT_EQ(f.fmi2GetReal(c, outputs, 2, values), fmi2OK);
    // Reset goes back to the instantiated state with the start values.
    ASSERT_EQ(f.fmi2Reset(c), fmi2OK);
    fmu.log.clear();
    EXPECT_EQ(f.fmi2GetReal(c, &input, 1, &inlet), fmi2Error);
    ASSERT_EQ(f.fmi2EnterInitializationMode(c), fmi2OK);
    ASSERT_EQ(f.fmi2GetReal(c, &input, 1, &inlet), fmi2OK);
    EXPECT_EQ(inlet, 25.0);
    f.fmi2FreeInstance(c);

    fmi2Integer integer = 0;
    expectNullRefused<fmi2Status>(
        {{"DoStep", [&] { return f.fmi2DoStep(nullptr, 0.0, 1.0, fmi2True); }},
         {"GetReal", [&] { return f.fmi2GetReal(nullptr, outputs, 2, values); }},
         {"SetReal", [&] { return f.fmi2SetReal(nullptr, &input, 1, &fine); }},
         {"SetupExperiment", [&] { return f.fmi2SetupExperiment(nullptr, fmi2False, 0.0, 0.0, fmi2False, 0.0); }},
         {"EnterInitializationMode", [&] { return f.fmi2EnterInitializationMode(nullptr); }},
         {"ExitInitializationMode", [&] { return f.fmi2ExitInitializationMode(nullptr); }},
         {"Terminate", [&] { return f.fmi2Terminate(nullptr); }},
         {"Reset", [&] { return f.fmi2Reset(nullptr); }},
         {"SetDebugLogging", [&] { return f.fmi2SetDebugLogging(nullptr, fmi2True, 0, nullptr); }},
         {"GetInteger", [&] { return f.fmi2GetInteger(nullptr, &input, 1, &integer); }},
         {"EnterEventMode", [&] { return f.fmi2EnterEventMode(nullptr); }},
         {"GetRealStatus", [&] { return f.fmi2GetRealStatus(nullptr, fmi2LastSuccessfulTime, &real); }},
         {"GetBooleanStatus", [&] {
              fmi2Boolean value = fmi2False;
              return f.fmi2GetBooleanStatus(nullptr, fmi2Terminated, &value);
          }}},
        fmi2Error);
    f.fmi2FreeInstance(nullptr);

    // A null instance name is taken as empty; a missing GUID is refused with a message naming the instance.
    fmi2Component unnamed = fmu.instantiate2(nullptr);
    EXPECT_NE(unnamed, nullptr) << fmu.log.last();
    f.fmi2FreeInstance(unnamed);
    const fmi2CallbackFunctions callbacks{&LogCollector::fmi2Log, nullptr, nullptr, nullptr, &fmu.log};
    EXPECT_EQ(f.fmi2Instantiate("six", fmi2CoSimulation, nullptr, "file:///", &callbacks, fmi2False, fmi2False),
              nullptr);
    EXPECT_EQ(fmu.log.last(), "3 logStatusError: fmi2Instantiate: instance \"six\": no GUID was given");
}
