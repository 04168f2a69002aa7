// Dry runs of the sample project: Python controllers over a trace and a plant, their failures,
// AI models as plant, the log and the summary.
#include "tests/dryrun/DryRunTestSupport.h"

#include "src/ai/definition/AIModuleGenerator.h"

#include "host/ai/tensor/Tensor.h"
#include "host/scripting/PythonTimeLimit.h"
#include "host/services/ToolProgress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

using namespace DryRunTest;

namespace
{
/// The value as the model's single-precision node keeps it.
double stored(double value)
{
    return static_cast<float>(value);
}

std::string trace(const std::vector<double>& inlet)
{
    std::string text = rackInlet + " (°C)\n";
    for (double value : inlet)
        text += std::to_string(value) + "\n";
    return text;
}
} // namespace

TEST(DryRunPython, SampleControllerOverATraceMatchesTheHandComputedSupply)
{
    SampleProject sample;
    sample.aiModelsOff();
    const std::vector<double> inlet{26.0, 25.0, 23.0, 30.0, 18.0, 24.0};
    auto options = sample.options(static_cast<int>(inlet.size()));
    options.mode = Conflux::LinkerType::PythonModule;
    options.traceFile = sample.write("trace.csv", trace(inlet));
    const Conflux::DryRunSummary summary = sample.run(options);

    EXPECT_TRUE(summary.succeeded()) << summary.firstFailure;
    EXPECT_EQ(summary.iterationsRun, 6);
    // The generation event sees the project's 22 °C: 18 - 0.5 * (22 - 24) = 19.
    double supply = 19.0;
    const Log log(options.logFile);
    ASSERT_EQ(log.rows.size(), inlet.size());
    for (std::size_t i = 0; i < inlet.size(); ++i)
    {
        SCOPED_TRACE("iteration " + std::to_string(i + 1));
        supply = stored(std::clamp(supply - 0.5 * (inlet[i] - 24.0), 14.0, 22.0));
        EXPECT_EQ(log.rows[i].front().toInt(), static_cast<int>(i + 1));
        EXPECT_NEAR(log.number(i, rackInlet), inlet[i], 1e-5);
        EXPECT_NEAR(log.number(i, crahSupply), supply, 1e-5);
        EXPECT_EQ(log.text(i, crahSupply + ": written by"), "controller");
    }
    // Each call reads every readable value and writes the supply: the generation event and six iterations.
    ASSERT_EQ(summary.controllers.count("controller"), 1u);
    EXPECT_EQ(summary.controllers.at("controller").writes, 7u);
    EXPECT_GT(summary.controllers.at("controller").reads, 7u * 20u);
    EXPECT_EQ(summary.controllers.at("solver").writes, 6u);
    EXPECT_TRUE(summary.refusedWrites.empty());
}

TEST(DryRunPython, SampleControllerClosesTheLoopOnTheSamplePlant)
{
    SampleProject sample;
    sample.aiModelsOff();
    auto options = sample.options(50);
    options.mode = Conflux::LinkerType::PythonModule;
    options.plantFile = CONFLUX_EXAMPLES_DIR "/sample-plant.py";
    options.recordedPaths = {rackInlet, crahSupply};
    const Conflux::DryRunSummary summary = sample.run(options);

    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;
    const std::vector<double>& inlet = summary.recorded.at(rackInlet);
    const std::vector<double>& supply = summary.recorded.at(crahSupply);
    ASSERT_EQ(inlet.size(), 50u);
    // By hand: the plant's inlet closes 40 % of its gap to the supply plus 8 K each iteration, then
    // the controller moves the supply by half the inlet's error; the generation event set 19 °C.
    double expectedInlet = 22.0;
    double expectedSupply = 19.0;
    double largestError = 0.0;
    for (std::size_t i = 0; i < inlet.size(); ++i)
    {
        SCOPED_TRACE("iteration " + std::to_string(i + 1));
        expectedInlet = stored(expectedInlet + 0.4 * (expectedSupply + 8.0 - expectedInlet));
        expectedSupply = stored(std::clamp(expectedSupply - 0.5 * (expectedInlet - 24.0), 14.0, 22.0));
        EXPECT_NEAR(inlet[i], expectedInlet, 1e-4);
        EXPECT_NEAR(supply[i], expectedSupply, 1e-4);
        largestError = std::max(largestError, std::abs(inlet[i] - 24.0));
    }
    // The loop overshoots on its way and settles at the controller's 24 °C set point.
    EXPECT_GT(largestError, 0.5);
    EXPECT_NEAR(inlet.back(), 24.0, 0.01);
    // The supply settles where the recirculation of the 650 W server adds 8 K: 16 °C.
    EXPECT_NEAR(summary.recorded.at(crahSupply).back(), 16.0, 0.01);
}

TEST(DryRunPython, HandlerFailuresNameHandlerIterationPathAndReasonAndWriteNothing)
{
    struct Case
    {
        const char* name;
        std::string body; ///< what on_iteration returns (or does) from iteration 2 on
        std::string failure;
        std::string refusedPath;
    };
    const std::string where = "Python handler 'on_iteration' of module 'controller', iteration 2: ";
    const std::vector<Case> cases{
        {"raises", "raise ValueError('sensor lost')",
         where + "Python function on_iteration: ValueError: sensor lost (controller.py, line 10)", ""},
        {"read-only path", "return {SUPPLY: 17.0, INLET: 20.0}", where + "'" + rackInlet + "': User has no write access",
         rackInlet},
        {"wrong type", "return {SUPPLY: 'cold'}", where + "'" + crahSupply + "': the value is not a number", ""},
        {"unknown path", "return {'Data Hall 1.CRAH 9.Supply Temperature': 17.0}",
         where + "'Data Hall 1.CRAH 9.Supply Temperature': no value of the exchange model has this path", ""},
        {"not a mapping", "return [17.0]", where + "returned a value of type 'list', not a mapping from path to value",
         ""},
        {"not finite", "return {SUPPLY: 17.0, FLOW: float('nan')}", where + "'" + crahFlow + "': nan is not a finite number",
         crahFlow},
        {"below the minimum", "return {SUPPLY: 17.0, FLOW: -1.0}",
         where + "'" + crahFlow + "': -1 is below the minimum 0", crahFlow},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SampleProject sample;
        sample.aiModelsOff();
        sample.pythonController("SUPPLY = '" + crahSupply + "'\nINLET = '" + rackInlet + "'\nFLOW = '" + crahFlow +
                                "'\ncalls = 0\n"
                                "def on_iteration(values):\n"
                                "    global calls\n"
                                "    calls += 1\n"
                                "    if calls < 3:\n"
                                "        return {SUPPLY: 19.5}\n"
                                "    " +
                                c.body + "\n");
        auto options = sample.options(5);
        options.mode = Conflux::LinkerType::PythonModule;
        const Conflux::DryRunSummary summary = sample.run(options);
        EXPECT_FALSE(summary.succeeded());
        EXPECT_EQ(summary.firstFailure, c.failure);
        // The run ends with the iteration that failed, whose row is logged.
        EXPECT_EQ(summary.iterationsRun, 2);
        const Log log(options.logFile);
        ASSERT_EQ(log.rows.size(), 2u);
        // Nothing of the refused mapping was written: the supply keeps the value of iteration 1.
        EXPECT_NEAR(log.number(1, crahSupply), 19.5, 1e-6);
        EXPECT_EQ(log.text(1, crahSupply + ": written by"), "");
        EXPECT_NEAR(log.number(1, crahFlow), 3.5, 1e-6);
        if (!c.refusedPath.empty())
        {
            ASSERT_EQ(summary.refusedWrites.size(), 1u);
            EXPECT_EQ(summary.refusedWrites.begin()->first.first, c.refusedPath);
        }
    }
}

TEST(DryRunPython, AHandlerLoopingPastTheTimeLimitIsStopped)
{
    const auto limit = ScriptingSystem::PythonTimeLimit::limit();
    ScriptingSystem::PythonTimeLimit::setLimit(std::chrono::milliseconds(300));
    SampleProject sample;
    sample.aiModelsOff();
    sample.pythonController("def on_iteration(values):\n    while True:\n        pass\n");
    auto options = sample.options(3);
    options.mode = Conflux::LinkerType::PythonModule;
    const Conflux::DryRunSummary summary = sample.run(options);
    const std::string expired = ScriptingSystem::PythonTimeLimit::message();
    ScriptingSystem::PythonTimeLimit::setLimit(limit);
    // The generation event already calls the handler, before the first iteration.
    EXPECT_EQ(summary.iterationsRun, 0);
    EXPECT_EQ(summary.firstFailure, "Python handler 'on_iteration' of module 'controller', iteration 0: "
                                    "Python function on_iteration: " +
                                        expired);
}

TEST(DryRunPython, AModuleThatCannotLoadOrLacksItsHandlerIsBadInputBeforeTheFirstEvent)
{
    struct Case
    {
        const char* name;
        std::string source;
        std::string message;
    };
    const std::vector<Case> cases{
        {"syntax error", "def on_iteration(values)\n    return {}\n",
         "Python module 'controller' cannot be loaded: "},
        {"no handler", "def on_other(values):\n    return {}\n",
         "Python module 'controller' has no function 'on_iteration'"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SampleProject sample;
        sample.aiModelsOff();
        sample.pythonController(c.source);
        auto options = sample.options(3);
        options.mode = Conflux::LinkerType::PythonModule;
        try
        {
            sample.run(options);
            ADD_FAILURE() << "no error";
        }
        catch (const Conflux::DryRunInputError& error)
        {
            EXPECT_EQ(std::string(error.what()).substr(0, c.message.size()), c.message);
        }
        // The log holds its header and no iteration.
        EXPECT_TRUE(Log(options.logFile).rows.empty());
    }
}

TEST(DryRunInput, TracesAndPlantsThatDoNotFitAreRefusedNamingTheFile)
{
    SampleProject sample;
    sample.aiModelsOff();
    struct Case
    {
        const char* name;
        std::string trace; ///< trace file text; empty: use the plant
        std::string plant;
        std::string message; ///< after the file's name
    };
    const std::vector<Case> cases{
        {"unknown column", "Data Hall 1.CRAH 9.Supply Temperature\n20\n20\n", "",
         ": column 'Data Hall 1.CRAH 9.Supply Temperature' names no value of the exchange model"},
        {"other unit", rackInlet + " (°F)\n70\n70\n", "",
         ": column '" + rackInlet + " (°F)' is in '°F', but " + rackInlet + " is in '°C'"},
        {"too few rows", rackInlet + "\n20\n", "", " has 1 rows, fewer than the 2 iterations"},
        {"no plant function", "", "def room(iteration, values):\n    return {}\n",
         " defines no function plant(iteration, values)"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        auto options = sample.options(2);
        std::string file;
        if (!c.trace.empty())
            options.traceFile = file = sample.write("trace.csv", c.trace);
        else
            options.plantFile = file = sample.write("plant.py", c.plant);
        try
        {
            sample.run(options);
            ADD_FAILURE() << "no error";
        }
        catch (const Conflux::DryRunInputError& error)
        {
            const std::string expected = (c.trace.empty() ? "The plant " : "") + file + c.message;
            EXPECT_EQ(error.what(), expected);
        }
    }
}

TEST(DryRunAI, TheServerModelActsAsPlantWithTheOutputsEvaluateGives)
{
    SampleProject sample;
    // The AI models update every iteration from the first on.
    sample.setControl("AI Model Control.Update Start Iteration", 1);
    sample.setControl("AI Model Control.Update Iteration Interval", 1);
    const std::vector<double> inlet{18.0, 22.5, 27.0, 31.0};
    std::string text = serverInletFlow + "," + serverPower + "\n";
    for (std::size_t i = 0; i < inlet.size(); ++i)
        text += std::to_string(inlet[i]) + "," + std::to_string(400.0 + 150.0 * static_cast<double>(i)) + "\n";
    auto options = sample.options(static_cast<int>(inlet.size()));
    options.mode = Conflux::LinkerType::PythonModule;
    options.traceFile = sample.write("trace.csv", text);
    sample.pythonController("def on_iteration(values):\n    return None\n");
    const Conflux::DryRunSummary summary = sample.run(options);
    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;

    const AISystem::Module module =
        Conflux::AIModuleGenerator::generateTranformed(sample.entity("Server A01-1 Surrogate"));
    const Log log(options.logFile);
    ASSERT_EQ(log.rows.size(), inlet.size());
    for (std::size_t i = 0; i < inlet.size(); ++i)
    {
        SCOPED_TRACE("iteration " + std::to_string(i + 1));
        const AISystem::Tensor outputs = module.eval(
            AISystem::Tensor::fromValues(AISystem::TensorShape({1, 2}), std::vector<double>{stored(400.0 + 150.0 * i),
                                                                                           stored(inlet[i])}));
        EXPECT_NEAR(log.number(i, exhaustTemperature), stored(outputs.getDouble(0)), 1e-4);
        EXPECT_NEAR(log.number(i, exhaustFlow), stored(outputs.getDouble(1)), 1e-6);
        EXPECT_EQ(log.text(i, exhaustTemperature + ": written by"), "Server A01-1 Surrogate");
    }
    EXPECT_EQ(summary.controllers.at("Server A01-1 Surrogate").writes, 2u * inlet.size());
}

TEST(DryRunProgress, ACancelledRunStopsAtTheEndOfTheIterationAndKeepsTheLog)
{
    class CancelAfter : public Tools::ToolProgress
    {
    public:
        void message(const std::string&) override {}
        void error(const std::string&) override {}
        void setProgress(int position) override
        {
            if (position >= 30)
                cancel();
        }
        void finished(bool) override {}
    };
    SampleProject sample;
    sample.aiModelsOff();
    auto options = sample.options(10);
    options.mode = Conflux::LinkerType::PythonModule;
    CancelAfter progress;
    const Conflux::DryRunSummary summary = sample.run(options, &progress);
    EXPECT_TRUE(summary.stopped);
    EXPECT_FALSE(summary.succeeded());
    EXPECT_EQ(summary.iterationsRun, 3);
    EXPECT_EQ(Log(options.logFile).rows.size(), 3u);
}
