#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTrainer.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/services/RecordingToolProgress.h"
#include "tests/ai/training/TrainerTestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
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
                                   "Testing\n\t RMS Error " +
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
