#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTrainer.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/services/RecordingToolProgress.h"
#include "tests/ai/training/TrainerTestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <sstream>

using namespace EntityModel;
using AISystem::Tensor;
using Conflux::AIModelTrainer;
using Conflux::AIModelTrainerResult;
using TrainerTest::Sample;

namespace
{
std::string failureOf(const std::function<void()>& run)
{
    try
    {
        run();
    }
    catch (const std::exception& error)
    {
        return error.what();
    }
    return "no failure";
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

/// The sample's server trainer with the bundled server cases, seeded, briefly trained settings.
struct ServerRun : Sample
{
    ServerRun()
    {
        trainer->initialize(entity("Server A01-1"), true);
        *trainer->getTrainingExample() =
            AIModelTrainer::readData(CONFLUX_EXAMPLES_DIR "/data/server-training.csv", false);
        trainer->setNumberOfTrainingCases(2000);
        *trainer->getTestingExample() =
            AIModelTrainer::readData(CONFLUX_EXAMPLES_DIR "/data/server-testing.csv", false);
        trainer->setNumberOfTestingCases(500);
        trainer->setInitialRandomSeed(7);
        trainer->setLearningRate(0.01);
        trainer->setTargetRMSError(0.0);
        trainer->setMaximumIterations(300);
        trainer->setHiddenLayers({16, 16});
        trainer->setTrainingDataType(AISystem::TensorElementType::Double);
        trainer->setPhysicalModel(false);
        trainer->prepareTraining();
    }
    std::string summary() const
    {
        return getStringValue(trainer->getAIModel(), Identification_t / Summary_t);
    }
    CompositeAttribute* input(int i) const
    {
        return static_cast<CompositeAttribute*>(
            Conflux::AIModuleGenerator::findValueList(trainer->getAIModel(), true)->getChild(i));
    }
};
} // namespace

TEST(AIModelTrainerWeights, NormalisedMagnitudesOrAllOnes)
{
    struct Row
    {
        std::vector<double> weights;
        std::vector<double> expected;
    };
    const Row rows[] = {
        {{2.0, -2.0, 0.0}, {0.5, 0.5, 0.0}},
        {{0.0, 0.0, 0.0}, {1.0, 1.0, 1.0}},
        {{1.0, 3.0, 0.0}, {0.25, 0.75, 0.0}},
    };
    Sample s;
    s.trainer->initialize(s.entity("Server A01-1"), false);
    const Tensor none =
        Tensor::createTensor(AISystem::TensorShape{0, 1}, AISystem::TensorElementType::Double);
    ASSERT_TRUE(s.trainer->addOutput(none, none).has_value());
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.weights[0]);
        for (int j = 0; j < 3; ++j)
            ASSERT_TRUE(s.trainer->setOutputWeight(j, row.weights[static_cast<std::size_t>(j)]));
        EXPECT_EQ(s.trainer->createWeightTensor().toDoubleVector(), row.expected);
    }
}

TEST(AIModelTrainerRuns, SeededTrainingStoresTheNetworkBoundsAndSummary)
{
    ServerRun s;
    Tools::RecordingToolProgress progress;
    const AIModelTrainerResult result = s.trainer->train(&progress);
    EXPECT_EQ(result.training.iterations, 300);
    EXPECT_LT(result.training.rmsError, 0.05);
    ASSERT_TRUE(result.training.testResult.has_value());
    EXPECT_LT(result.training.testResult->rmsError, 0.06);

    // The progress ends with the run's text.
    const auto messages = progress.texts(Tools::RecordingToolProgress::Kind::Message);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "Training\n\t RMS Error " +
                                   QString::number(result.training.rmsError).toStdString() +
                                   "\nTesting\n\t RMS Error " +
                                   QString::number(result.training.testResult->rmsError).toStdString());

    // Bounds widened to the data's range.
    const auto [low, high] = s.trainer->getTrainingExample()->getInputs().minmax(0);
    EXPECT_TRUE(getBoolValue(s.input(0), Bounds_t / Has_Min_t));
    EXPECT_EQ(getStandardDoubleValue(s.input(0), Bounds_t / Min_t), low.getDouble(0));
    EXPECT_EQ(getStandardDoubleValue(s.input(0), Bounds_t / Max_t), high.getDouble(0));
    EXPECT_EQ(getStandardDoubleValue(s.input(1), Bounds_t / Min_t), low.getDouble(1));
    std::ostringstream bounds;
    bounds << "\t\tMin " << low.getDouble(0) << " W|\t\tMax " << high.getDouble(0) << " W";

    const auto lines = linesOf(s.summary());
    ASSERT_EQ(lines.size(), 3u + 2u * (1u + 2u * 3u));
    EXPECT_EQ(lines[0], "Network Type : Generic");
    EXPECT_EQ(lines[1], "Training RMS Error " + QString::number(result.training.rmsError).toStdString());
    EXPECT_EQ(lines[2].rfind("Testing RMS Error ", 0), 0u);
    EXPECT_EQ(lines[3], "Input Values:");
    EXPECT_EQ(lines[4], "\tServer A01-1 Power.Power Definition.Typical Power");
    EXPECT_EQ(lines[5] + "|" + lines[6], bounds.str());
    EXPECT_EQ(lines[10], "Output Values:");

    // The stored network is the trained one, read back from the saved project.
    EXPECT_EQ(getTypeValue(s.trainer->getAIModel(), Model_Type_t), NeuralNetwork_t);
    QTemporaryDir dir;
    const QString file = dir.filePath("trained.json");
    ProjectFile::save(*s.project, file);
    const auto reloaded = ProjectFile::load(file);
    Entity* model = TrainerTest::findEntity(reloaded->getRootEntity(), "Server A01-1 Surrogate");
    const AISystem::Example& training = *s.trainer->getTrainingExample();
    EXPECT_EQ(Conflux::AIModuleGenerator::generate(model).eval(training.getInputs()),
              s.trainer->evaluate(training.getInputs()));

    // The same seed and settings give the same network.
    ServerRun again;
    again.trainer->train(nullptr);
    EXPECT_EQ(getByteArrayValue(again.trainer->getAIModel(), NeuralNetwork_Model_Data_t),
              getByteArrayValue(s.trainer->getAIModel(), NeuralNetwork_Model_Data_t));
}

TEST(AIModelTrainerRuns, ANetworkThatCannotContinueFailsUntilReset)
{
    ServerRun s;
    s.trainer->setMaximumIterations(5);
    s.trainer->train(nullptr);
    EXPECT_TRUE(s.trainer->canContinue());
    s.trainer->setHiddenLayers({8});
    EXPECT_FALSE(s.trainer->canContinue());
    EXPECT_EQ(failureOf([&] { s.trainer->train(nullptr); }), "Unable to continue training");

    s.trainer->reset();
    EXPECT_FALSE(s.trainer->hasNeuralNetwork());
    EXPECT_EQ(s.summary(), "");
    EXPECT_FALSE(getBoolValue(s.input(0), Bounds_t / Has_Min_t));
    EXPECT_FALSE(getBoolValue(s.input(0), Bounds_t / Has_Max_t));
    s.trainer->train(nullptr);
    EXPECT_EQ(s.trainer->getNeuralNetwork()->getHiddenLayers(), (std::vector<std::size_t>{8}));
}

TEST(AIModelTrainerRuns, FailuresOfTheRunReachTheCaller)
{
    ServerRun s;
    EXPECT_EQ(failureOf([&] { s.trainer->test(nullptr); }), "No Trainer");
    s.trainer->setLearningRate(0.0);
    EXPECT_EQ(failureOf([&] { s.trainer->train(nullptr); }),
              "The learning rate must be finite and positive, not 0");
    // The network exists now, but was never trained.
    ASSERT_TRUE(s.trainer->hasNeuralNetwork());
    EXPECT_EQ(failureOf([&] { s.trainer->test(nullptr); }), "Network isn't trained");
}

TEST(AIModelTrainerRuns, TestingSummarisesTheTrainingRunAndReportsTheTest)
{
    ServerRun s;
    *s.trainer->getTestingExample() = AISystem::Example(); // train without testing cases
    s.trainer->setMaximumIterations(20);
    s.trainer->train(nullptr);
    EXPECT_EQ(s.summary().find("Testing RMS Error"), std::string::npos);

    const auto testing = AIModelTrainer::readData(CONFLUX_EXAMPLES_DIR "/data/server-testing.csv", false);
    Tools::RecordingToolProgress progress;
    const AIModelTrainerResult result = s.trainer->test(testing, &progress);
    ASSERT_TRUE(result.testing.has_value());
    EXPECT_EQ(result.training, *s.trainer->getNeuralNetwork()->getLastTrainResult());
    EXPECT_EQ(progress.texts(Tools::RecordingToolProgress::Kind::Message),
              std::vector<std::string>{"Testing\n\t RMS Error " +
                                       QString::number(result.testing->rmsError).toStdString()});
    EXPECT_EQ(s.summary().find("Testing RMS Error"), std::string::npos)
        << "the separate test is not summarised";
}

// Training runs on the worker thread and testing on the trainer's: asked for together, each run
// waits for the one before it instead of reading a network that is still being trained.
TEST(AIModelTrainerRuns, RunsAskedForTogetherTakeTurnsOnTheSharedNetworkAcrossThreads)
{
    ServerRun s;
    s.trainer->setMaximumIterations(100);
    const auto firstTraining = s.trainer->trainAsync();
    const auto firstTest = s.trainer->testAsync();
    const auto secondTraining = s.trainer->trainAsync();
    const auto secondTest = s.trainer->testAsync();

    const AIModelTrainerResult trained = ServicesTest::settled(firstTraining).get();
    const AIModelTrainerResult tested = ServicesTest::settled(firstTest).get();
    const AIModelTrainerResult retrained = ServicesTest::settled(secondTraining).get();
    const AIModelTrainerResult retested = ServicesTest::settled(secondTest).get();
    ASSERT_TRUE(trained.training.testResult && retrained.training.testResult);
    ASSERT_TRUE(tested.testing && retested.testing);
    // Each test saw the network its training run left: the run's own test of the same cases.
    EXPECT_EQ(tested.training, trained.training);
    EXPECT_DOUBLE_EQ(tested.testing->rmsError, trained.training.testResult->rmsError);
    EXPECT_EQ(retested.training, retrained.training);
    EXPECT_DOUBLE_EQ(retested.testing->rmsError, retrained.training.testResult->rmsError);
    EXPECT_EQ(retrained.training.iterations, 100);
    EXPECT_LT(retrained.training.rmsError, trained.training.rmsError);
}

TEST(AIModelTrainerRuns, TheChosenOptimiserTrainsAndOnlyAdamTakesTheLearningRate)
{
    using AISystem::NeuralNetworkOptimiser;
    const auto trained = [](NeuralNetworkOptimiser optimiser, double rate)
    {
        ServerRun s;
        s.trainer->setMaximumIterations(10);
        s.trainer->setOptimiser(optimiser);
        s.trainer->setLearningRate(rate);
        s.trainer->train(nullptr);
        EXPECT_EQ(s.trainer->getNeuralNetwork()->getOptions().optimiser, optimiser);
        return getByteArrayValue(s.trainer->getAIModel(), NeuralNetwork_Model_Data_t);
    };
    EXPECT_EQ(ServerRun().trainer->getOptimiser(), NeuralNetworkOptimiser::LBFGS);
    EXPECT_NE(trained(NeuralNetworkOptimiser::Adam, 0.01), trained(NeuralNetworkOptimiser::Adam, 0.5));
    // L-BFGS's line search chooses its own steps.
    EXPECT_EQ(trained(NeuralNetworkOptimiser::LBFGS, 0.01), trained(NeuralNetworkOptimiser::LBFGS, 0.5));
    EXPECT_NE(trained(NeuralNetworkOptimiser::Adam, 0.01), trained(NeuralNetworkOptimiser::LBFGS, 0.01));
}

TEST(AIModelTrainerRuns, ARestoredNetworkFoldsTheModelsConversionsAndAnswersAsBefore)
{
    ServerRun s;
    Entity* model = s.trainer->getAIModel();
    // The sample's network takes (T - 24) / 5 on its second input; a model unit comes on top.
    ASSERT_EQ(getStringValue(s.input(1), "Model Unit"), "°C");
    ASSERT_TRUE(EntityEditor::setValueNoThrow(s.input(1), "Model Unit", std::string("°F")));
    const Tensor cases = s.trainer->getTrainingExample()->getInputs().slice(0, 0, 50, 1);
    const Tensor before = Conflux::AIModuleGenerator::generateTranformed(model).eval(cases);

    std::vector<std::string> notes;
    ASSERT_TRUE(s.trainer->restoreNeuralNetwork(&notes));
    const std::string input2 = "input 2 'Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature Net'";
    EXPECT_EQ(notes, (std::vector<std::string>{
                         input2 + ": Model Unit °F reset to the standard unit °C (folded into the network)",
                         input2 + ": scaling Mean Std Dev removed (folded into the network)"}));
    EXPECT_EQ(getStringValue(s.input(1), "Model Unit"), "°C");
    EXPECT_EQ(getTypeValue(s.input(1), To_Model_Transformation_t / Type_t), None_t);

    // The network, the model as the solver gets it and the stored data all answer as before.
    for (const Tensor& after : {s.trainer->evaluate(cases), Conflux::AIModuleGenerator::generateTranformed(model).eval(cases)})
        for (std::int64_t i = 0; i < before.getElementCount(); ++i)
            EXPECT_NEAR(after.getDouble(i), before.getDouble(i), 1e-9 * (1.0 + std::abs(before.getDouble(i)))) << i;

    // It trains on from there, on standard values.
    s.trainer->setHiddenLayers(s.trainer->getNeuralNetwork()->getHiddenLayers());
    s.trainer->setTrainingDataType(s.trainer->getNeuralNetwork()->getElementType());
    s.trainer->setMaximumIterations(5);
    ASSERT_EQ(s.trainer->continuationMismatch(), "");
    const double initial =
        s.trainer->getNeuralNetwork()
            ->test(*s.trainer->getTrainingExample(), s.trainer->createWeightTensor(), nullptr)
            .rmsError;
    const AIModelTrainerResult result = s.trainer->train(nullptr);
    EXPECT_LT(result.training.rmsError, initial);
}

TEST(AIModelTrainerRuns, ANewNetworkMakesTheModelHandItStandardValues)
{
    ServerRun s;
    ASSERT_EQ(getStringValue(s.input(1), "Model Unit"), "°C");
    ASSERT_TRUE(EntityEditor::setValueNoThrow(s.input(1), "Model Unit", std::string("°F")));
    s.trainer->setMaximumIterations(5);
    s.trainer->train(nullptr);
    EXPECT_EQ(getStringValue(s.input(1), "Model Unit"), "°C");
    EXPECT_EQ(getTypeValue(s.input(1), To_Model_Transformation_t / Type_t), None_t);
    const Tensor cases = s.trainer->getTrainingExample()->getInputs();
    EXPECT_EQ(Conflux::AIModuleGenerator::generateTranformed(s.trainer->getAIModel()).eval(cases),
              s.trainer->evaluate(cases));
    EXPECT_EQ(s.trainer->useStandardValues(), std::vector<std::string>{}) << "nothing left to change";
}

TEST(AIModelTrainerRuns, ContinuingNamesTheFirstBindingThatDiffersFromTheNetworks)
{
    ServerRun s;
    ASSERT_TRUE(s.trainer->restoreNeuralNetwork());
    s.trainer->setHiddenLayers(s.trainer->getNeuralNetwork()->getHiddenLayers());
    EXPECT_EQ(s.trainer->continuationMismatch(), "");
    // The same attributes in the other order: as many columns, other meanings.
    Attribute* power = s.trainer->getInputAttribute(0);
    Attribute* inlet = s.trainer->getInputAttribute(1);
    ASSERT_TRUE(s.trainer->setInputAttribute(0, inlet) && s.trainer->setInputAttribute(1, power));
    EXPECT_FALSE(s.trainer->canContinue());
    EXPECT_EQ(s.trainer->continuationMismatch(),
              "input 1 is bound to 'Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature Net', "
              "the network was trained on 'Server A01-1:Power.Power Definition.Typical Power'");
    EXPECT_EQ(failureOf([&] { s.trainer->train(nullptr); }), "Unable to continue training");
    s.trainer->setInputAttribute(0, power);
    s.trainer->setInputAttribute(1, inlet);
    s.trainer->setHiddenLayers({3});
    EXPECT_EQ(s.trainer->continuationMismatch(), "the network has hidden layers " +
                                                     [&]
                                                     {
                                                         std::string sizes;
                                                         for (size_t n : s.trainer->getNeuralNetwork()->getHiddenLayers())
                                                             sizes += (sizes.empty() ? "" : ",") + std::to_string(n);
                                                         return sizes;
                                                     }() +
                                                     ", the options ask for 3");
}

namespace
{
/// Starts a long real training run and waits until its first iterations are reported.
Futures::FutureEx<AIModelTrainerResult> startLongRun(ServerRun& s, Tools::RecordingToolProgress& progress)
{
    s.trainer->setMaximumIterations(100000000);
    auto future = s.trainer->trainAsync();
    future.attachProgress(&progress);
    EXPECT_TRUE(ServicesTest::processEventsUntil(
        [&] { return !progress.texts(Tools::RecordingToolProgress::Kind::Message).empty(); }, 60000));
    return future;
}
} // namespace

TEST(AIModelTrainerRuns, DestroyingTheTrainerStopsARealRunOnTheWorkerThreadAfterItsIteration)
{
    ServerRun s;
    Tools::RecordingToolProgress progress;
    const auto future = startLongRun(s, progress);
    s.trainer.reset();
    // The run ended by its own loop (a last line and full position), not by the thread being killed.
    const auto calls = progress.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().kind, Tools::RecordingToolProgress::Kind::Progress);
    EXPECT_EQ(calls.back().value, Tools::ToolProgress::MaximumPosition);
    const auto lines = progress.texts(Tools::RecordingToolProgress::Kind::Message);
    EXPECT_EQ(lines.back().rfind("Iteration ", 0), 0u) << lines.back();
}

TEST(AIModelTrainerRuns, ResetOrRestoreDuringARunOnTheWorkerThreadGivesItUpWithoutFreeingItsNetwork)
{
    for (const bool restore : {false, true})
    {
        SCOPED_TRACE(restore ? "restore" : "reset");
        ServerRun s;
        Tools::RecordingToolProgress progress;
        const auto future = startLongRun(s, progress);
        if (restore)
            EXPECT_TRUE(s.trainer->restoreNeuralNetwork());
        else
            s.trainer->reset();
        EXPECT_EQ(failureOf([&] { ServicesTest::settled(future).get(); }),
                  "The run was given up: the trainer's network was reset or replaced while it ran");
        EXPECT_EQ(progress.calls().back().value, Tools::ToolProgress::MaximumPosition);
        // The trainer goes on with a network of its own.
        s.trainer->reset();
        s.trainer->setMaximumIterations(3);
        EXPECT_EQ(s.trainer->train(nullptr).training.iterations, 3);
    }
}

TEST(AIModelTrainerRunsDeathTest, WithoutAnApplicationARunFailsInsteadOfWaitingForEver)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // A watchdog: waiting for ever would otherwise hang the test.
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::seconds(60));
                std::_Exit(3);
            }).detach();
            const auto project = ProjectFile::load(QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"));
            AIModelTrainer trainer;
            trainer.initialize(TrainerTest::findEntity(project->getRootEntity(), "Server A01-1"), true);
            *trainer.getTrainingExample() =
                AIModelTrainer::readData(CONFLUX_EXAMPLES_DIR "/data/server-training.csv", false);
            trainer.setMaximumIterations(2);
            const std::string message = failureOf([&] { trainer.train(nullptr); });
            std::fprintf(stderr, "%s\n", message.c_str());
            std::_Exit(QCoreApplication::instance() == nullptr && message.find("QCoreApplication") != std::string::npos ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "Training and testing need a QCoreApplication");
}
