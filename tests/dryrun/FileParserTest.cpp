// The file parser's exchange at solve time, with the outside controller shipped in examples/.
#include "tests/dryrun/DryRunTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace DryRunTest;

namespace
{
const std::string properties = "Conflux Control.FileParser Properties.";

/// The sample in file-parser mode, syncing from `start` every `interval` iterations, waiting at
/// most `grace` seconds for an answer.
void fileParser(const SampleProject& sample, int start, int interval, double grace)
{
    sample.aiModelsOff();
    sample.setControl(properties + "Sync Start Iteration", start);
    sample.setControl(properties + "Sync Iteration Interval", interval);
    sample.setControl(properties + "Client heartbeat check grace period", grace);
}

std::vector<std::string> shippedController()
{
    return {"/usr/bin/python3", CONFLUX_EXAMPLES_DIR "/file_controller.py"};
}
} // namespace

TEST(DryRunFileParser, TheShippedControllerClosesTheLoopThroughTheFiles)
{
    SampleProject sample;
    fileParser(sample, 1, 1, 10.0);
    auto options = sample.options(40);
    options.plantFile = CONFLUX_EXAMPLES_DIR "/sample-plant.py";
    options.controllerCommand = shippedController();
    options.recordedPaths = {rackInlet, crahSupply};
    const Conflux::DryRunSummary summary = sample.run(options);
    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;
    EXPECT_EQ(summary.controllers.at("file parser").writes, 40u);
    // The first answer follows the hand-computed control: 18 - 0.5 * (inlet - 24), the plant's inlet
    // being 22 + 0.4 * (18 + 8 - 22) = 23.6 after the first iteration.
    EXPECT_NEAR(summary.recorded.at(crahSupply).front(), 18.2, 1e-5);
    EXPECT_NEAR(summary.recorded.at(rackInlet).back(), 24.0, 0.05);
    const Log log(options.logFile);
    EXPECT_EQ(log.text(0, crahSupply + ": written by"), "file parser");
}

TEST(DryRunFileParser, ExchangesFollowTheSyncSettings)
{
    SampleProject sample;
    fileParser(sample, 3, 2, 10.0);
    auto options = sample.options(6);
    options.controllerCommand = shippedController();
    const Conflux::DryRunSummary summary = sample.run(options);
    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;
    // Iterations 3 and 5.
    EXPECT_EQ(summary.controllers.at("file parser").writes, 2u);
    const Log log(options.logFile);
    ASSERT_EQ(log.rows.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
    {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(log.text(i, crahSupply + ": written by"), i == 2 || i == 4 ? "file parser" : "");
    }
}

TEST(DryRunFileParser, AControllerThatNeverAnswersFailsNamingTheFileWaitedFor)
{
    SampleProject sample;
    fileParser(sample, 1, 1, 1.0);
    auto options = sample.options(3);
    const Conflux::DryRunSummary summary = sample.run(options);
    EXPECT_EQ(summary.iterationsRun, 1);
    EXPECT_EQ(summary.firstFailure, "File parser, iteration 1: the controller did not answer within 1 s: no " +
                                        options.storeDirectory + "/Conflux/from-controller.csv");
}

TEST(DryRunFileParser, AnAnswerWritingAReadOnlyValueIsRefusedWhole)
{
    SampleProject sample;
    fileParser(sample, 1, 1, 10.0);
    const std::string script = sample.write("answer.py",
                                            "import os, sys, time\n"
                                            "d = sys.argv[-1]\n"
                                            "while not os.path.exists(os.path.join(d, 'state.txt')):\n"
                                            "    time.sleep(0.01)\n"
                                            "with open(os.path.join(d, 'aside.csv'), 'w') as f:\n"
                                            "    f.write('Iteration,Data Hall 1.CRAH 1.Supply Temperature (°C),"
                                            "Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature\\n"
                                            "1,17,30\\n')\n"
                                            "os.replace(os.path.join(d, 'aside.csv'), os.path.join(d, 'from-controller.csv'))\n");
    auto options = sample.options(3);
    options.controllerCommand = {"/usr/bin/python3", script};
    const Conflux::DryRunSummary summary = sample.run(options);
    EXPECT_EQ(summary.firstFailure, "File parser, iteration 1: " + options.storeDirectory +
                                        "/Conflux/from-controller.csv: '" + rackInlet + "': User has no write access");
    const Log log(options.logFile);
    ASSERT_EQ(log.rows.size(), 1u);
    EXPECT_DOUBLE_EQ(log.number(0, crahSupply), 18.0);
}
