#include "src/ai/training/AIModelTrainer.h"

#include "host/ai/modules/Module.h"
#include "host/filesystem/File.h"
#include "tests/ai/training/TrainerTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using AISystem::Example;
using AISystem::Tensor;
using Conflux::AIModelTrainer;
using TrainerTest::Sample;

namespace
{
std::string readText(const QString& file)
{
    std::ifstream in(file.toStdString());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const QString& file, const std::string& text)
{
    std::ofstream(file.toStdString()) << text;
}

/// The server's trainer with two training cases and a third, unbound input.
struct ServerData : Sample
{
    ServerData()
    {
        trainer->initialize(entity("Server A01-1"), false);
        const Tensor none =
            Tensor::createTensor(AISystem::TensorShape{0, 1}, AISystem::TensorElementType::Double);
        trainer->addInput(none, none);
        trainer->getTrainingExample()->setInputs(Tensor::fromRows({{650, 24, 1}, {300, 30.5, 2}}));
        trainer->getTrainingExample()->setOutputs(Tensor::fromRows({{40.25, 0.05}, {36, 0.0285}}));
        trainer->setNumberOfTrainingCases(2);
    }
};
} // namespace

TEST(AIModelTrainerDataFiles, HeadersNameTheBindingsAndNumberUnboundColumns)
{
    ServerData s;
    QTemporaryDir dir;
    ASSERT_TRUE(s.trainer->saveTrainingData(dir.filePath("training.csv"), false));
    EXPECT_EQ(readText(dir.filePath("training.csv")),
              "Input: Server A01-1:Power.Power Definition.Typical Power (W),"
              "Input: Server A01-1 Inlet:Simulation Results.Temperature Net.Mean Temperature Net (°C),"
              "Input: 3,"
              "Target: Server A01-1 Exhaust:Temperature (°C),"
              "Target: Server A01-1 Exhaust:Flow Rate (m³/s)\r\n"
              "650,24,1,40.25,0.05\r\n"
              "300,30.5,2,36,0.0285\r\n");

    // Read back: the inputs and targets as saved; without result columns, no outputs from results.
    const Example back = AIModelTrainer::readData(dir.filePath("training.csv"), false);
    EXPECT_EQ(back.getInputs(), s.trainer->getTrainingExample()->getInputs());
    EXPECT_EQ(back.getOutputs(), s.trainer->getTrainingExample()->getOutputs());
    EXPECT_EQ(back.getNumberOfCases(), 0);
    EXPECT_EQ(AIModelTrainer::readData(dir.filePath("training.csv"), true).getOutputs().getElementCount(), 0);
}

TEST(AIModelTrainerDataFiles, ResultColumnsHoldTheNetworksOutputs)
{
    ServerData s;
    s.trainer->removeLastInput();
    s.trainer->setMaximumIterations(3);
    s.trainer->setLearningRate(0.01);
    s.trainer->setHiddenLayers({4});
    s.trainer->setPhysicalModel(false);
    s.trainer->train(nullptr);
    QTemporaryDir dir;
    ASSERT_TRUE(s.trainer->saveTrainingData(dir.filePath("results.csv"), true));
    const Example results = AIModelTrainer::readData(dir.filePath("results.csv"), true);
    EXPECT_EQ(results.getOutputs(), s.trainer->evaluate(results.getInputs()));
    EXPECT_NE(
        readText(dir.filePath("results.csv")).find(",Result: Server A01-1 Exhaust:Flow Rate (m³/s)\r\n"),
        std::string::npos);

    // A regression test: the entities, the network and the data under one base name.
    ASSERT_TRUE(s.trainer->saveAsRegressionTest(dir.filePath("case.json")));
    EXPECT_TRUE(QFile::exists(dir.filePath("case.json")));
    ASSERT_TRUE(s.trainer->saveTrainingData(dir.filePath("plain.csv"), false));
    EXPECT_EQ(readText(dir.filePath("case.train.csv")), readText(dir.filePath("plain.csv")));
    EXPECT_FALSE(QFile::exists(dir.filePath("case.test.csv"))) << "no testing cases, no testing file";
    const std::string stored = FileSystem::File::readAll(dir.filePath("case.ai").toStdString());
    const Utilities::bytearray bytes(stored.begin(), stored.end());
    EXPECT_EQ(
        AISystem::Module::fromByteArray(AISystem::ModuleType::NeuralNetwork, bytes).eval(results.getInputs()),
        results.getOutputs());
}

TEST(AIModelTrainerDataFiles, ReadingPicksColumnsByTheirHeaders)
{
    QTemporaryDir dir;
    writeText(dir.filePath("mixed.csv"), "Input: a,Inputs,Input,Target: b,Result: b,Other\n1,2,3,4,5,6\n");
    const Example targets = AIModelTrainer::readData(dir.filePath("mixed.csv"), false);
    EXPECT_EQ(targets.getInputs(), Tensor::fromRows({{1}}));
    EXPECT_EQ(targets.getOutputs(), Tensor::fromRows({{4}}));
    EXPECT_EQ(AIModelTrainer::readData(dir.filePath("mixed.csv"), true).getOutputs(),
              Tensor::fromRows({{5}}));
}

TEST(AIModelTrainerDataFiles, NothingIsWrittenWithoutCases)
{
    ServerData s;
    QTemporaryDir dir;
    EXPECT_FALSE(s.trainer->hasTestingData());
    EXPECT_FALSE(s.trainer->saveTestingData(dir.filePath("testing.csv"), false));
    EXPECT_FALSE(QFile::exists(dir.filePath("testing.csv")));
    EXPECT_FALSE(s.trainer->saveAIModel(dir.filePath("none.ai")));

    testing::internal::CaptureStdout();
    s.trainer->printTestingData();
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("NO TESTING EXAMPLE"), std::string::npos);
}
