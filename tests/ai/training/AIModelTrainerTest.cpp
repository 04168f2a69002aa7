#include "src/ai/training/AIModelTrainer.h"
#include "src/ai/training/AIModelTrainerModule.h"

#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "tests/ai/training/TrainerTestSupport.h"

#include <gtest/gtest.h>

using namespace EntityModel;
using AISystem::Tensor;
using AISystem::TensorElementType;
using Conflux::AIModelTrainer;
using TrainerTest::Sample;

namespace
{
const char* airServer = "Server A01-1";

Tensor rows(const std::vector<std::vector<double>>& values)
{
    return Tensor::fromRows(values);
}

std::vector<std::int64_t> shapeOf(const Tensor& tensor)
{
    return tensor.getTensorShape().getSizes();
}

/// A sample trainer on the air-cooled server, whose AI model has two inputs and two outputs, with
/// three training cases.
struct AirServer : Sample
{
    AirServer()
    {
        initialized = trainer->initialize(entity(airServer), false);
        trainer->getTrainingExample()->setInputs(rows({{1, 2}, {3, 4}, {5, 6}}));
        trainer->getTrainingExample()->setOutputs(rows({{7, 8}, {9, 10}, {11, 12}}));
        trainer->setNumberOfTrainingCases(3);
    }
    bool initialized = false;
};
} // namespace

TEST(AIModelTrainerSetup, InitializeBindsTheTargetAndEmptiesTheExamples)
{
    Sample s;
    Entity* server = s.entity(airServer);
    ASSERT_TRUE(s.trainer->initialize(server, false));

    EXPECT_EQ(s.trainer->getEntity(), server);
    EXPECT_EQ(s.trainer->getAIModel(), s.entity("Server A01-1 Surrogate"));
    EXPECT_EQ(getStringValue(s.trainer->getOptions(), Mode_t), "IT Equipment");
    EXPECT_EQ(getTypeValue(server, Cooling_t / Modelling_Level_t), AI_Model_t);
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Physics_Informed_t);
    EXPECT_TRUE(getBoolValue(s.trainer->getOptions(), Train_t / PhysicalModelEnabled_t));
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 2);
    EXPECT_EQ(s.trainer->getNumberOfOutputs(), 2);
    for (const AISystem::Example* example : {s.trainer->getTrainingExample(), s.trainer->getTestingExample()})
    {
        EXPECT_EQ(shapeOf(example->getInputs()), (std::vector<std::int64_t>{0, 2}));
        EXPECT_EQ(shapeOf(example->getOutputs()), (std::vector<std::int64_t>{0, 2}));
        EXPECT_EQ(example->getInputs().getElementType(), TensorElementType::Double);
    }
    EXPECT_FALSE(s.trainer->hasNeuralNetwork());
    EXPECT_EQ(s.trainer->getModule(), nullptr);
    EXPECT_FALSE(s.trainer->hasTestingData());
    EXPECT_STREQ(s.trainer->metaObject()->className(), "Conflux::AIModelTrainer");
    EXPECT_NE(s.trainer->qt_metacast("Conflux::AIModelEvaluatorCore"), nullptr);
}

TEST(AIModelTrainerSetup, ATargetWithoutTrainerModuleTrainsGenerically)
{
    Sample s;
    Entity* controller = s.entity("Supply Air Controller");
    EXPECT_FALSE(
        s.trainer->initialize(controller, false)); // a controller in proportional mode has no AI model
    EXPECT_EQ(getStringValue(s.trainer->getOptions(), Mode_t), "Controller");
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Generic_t);
    EXPECT_EQ(s.trainer->getNetworkType(), AISystem::NeuralNetworkType::Generic);

    int refreshed = 0;
    QObject::connect(s.trainer.get(), &AIModelTrainer::refresh, [&] { ++refreshed; });
    s.trainer->setPhysicalModel(true);
    s.trainer->prepareTraining();
    EXPECT_FALSE(s.trainer->hasAllPhysicsInformedInputs());
    EXPECT_FALSE(getBoolValue(s.trainer->getOptions(), Train_t / PhysicalModelEnabled_t));
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Generic_t);
    EXPECT_EQ(refreshed, 1);
}

TEST(AIModelTrainerColumns, TensorsFollowEveryEditOfTheCounts)
{
    AirServer s;
    ASSERT_TRUE(s.initialized);
    Entity* model = s.trainer->getAIModel();

    EntityEditor::setValue(model, Specification_t / Input_Values_t, 3);
    EXPECT_EQ(s.trainer->getTrainingExample()->getInputs(), rows({{1, 2, 0}, {3, 4, 0}, {5, 6, 0}}));
    EXPECT_EQ(shapeOf(s.trainer->getTestingExample()->getInputs()), (std::vector<std::int64_t>{0, 3}));

    EntityEditor::setValue(model, Specification_t / Input_Values_t, 1);
    EXPECT_EQ(s.trainer->getTrainingExample()->getInputs(), rows({{1}, {3}, {5}}));
    EXPECT_EQ(s.trainer->getTrainingExample()->getOutputs(), rows({{7, 8}, {9, 10}, {11, 12}}));

    // A count the list refuses leaves list and columns alone.
    EXPECT_FALSE(EntityEditor::setValueNoThrow(model, Specification_t / Output_Values_t, "many"));
    EXPECT_FALSE(EntityEditor::setValueNoThrow(model, Specification_t / Output_Values_t, -1));
    EXPECT_EQ(shapeOf(s.trainer->getTrainingExample()->getOutputs()), (std::vector<std::int64_t>{3, 2}));

    s.trainer->clear();
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 0);
    EXPECT_EQ(shapeOf(s.trainer->getTrainingExample()->getInputs()), (std::vector<std::int64_t>{3, 0}));
    EXPECT_EQ(shapeOf(s.trainer->getTrainingExample()->getOutputs()), (std::vector<std::int64_t>{3, 0}));
}

TEST(AIModelTrainerColumns, ColumnsAreReadAndReplacedOnlyWhereTheyFit)
{
    AirServer s;
    EXPECT_EQ(s.trainer->getInputTrainingData(1), rows({{2}, {4}, {6}}));
    EXPECT_EQ(s.trainer->getOutputTrainingData(0), rows({{7}, {9}, {11}}));
    EXPECT_TRUE(s.trainer->getInputTrainingData(2).isEmpty());
    EXPECT_TRUE(s.trainer->getInputTrainingData(-1).isEmpty());

    EXPECT_TRUE(s.trainer->setInputTrainingData(0, rows({{-1}, {-3}, {-5}})));
    EXPECT_EQ(s.trainer->getTrainingExample()->getInputs(), rows({{-1, 2}, {-3, 4}, {-5, 6}}));
    EXPECT_TRUE(s.trainer->setOutputTrainingData(1, rows({{0}, {0}, {0}})));
    EXPECT_EQ(s.trainer->getTrainingExample()->getOutputs(), rows({{7, 0}, {9, 0}, {11, 0}}));

    // Columns of another length, or of no shape, would leave the table torn: refused, table kept.
    EXPECT_FALSE(s.trainer->setInputTrainingData(0, rows({{1}, {2}})));
    EXPECT_FALSE(s.trainer->setInputTrainingData(1, Tensor()));
    EXPECT_FALSE(s.trainer->setInputTrainingData(5, rows({{1}, {2}, {3}})));
    EXPECT_EQ(s.trainer->getTrainingExample()->getInputs(), rows({{-1, 2}, {-3, 4}, {-5, 6}}));
    EXPECT_TRUE(s.trainer->setInputTestingData(1, Tensor::createTensor({0, 1}, TensorElementType::Double)));
}

TEST(AIModelTrainerInputs, AddingWithoutAIModelChangesNothing)
{
    Sample s;
    EXPECT_EQ(s.trainer->addInput(rows({{1}}), rows({{1}})), std::nullopt);
    EXPECT_EQ(s.trainer->addOutput(s.attribute(airServer, "Power.Power Definition.Typical Power"), Tensor(),
                                   Tensor(), 1.0),
              std::nullopt);
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 0);
    EXPECT_EQ(shapeOf(s.trainer->getTrainingExample()->getInputs()), (std::vector<std::int64_t>{0, 0}));
    EXPECT_EQ(s.trainer->getInputAttribute(0), nullptr);
    EXPECT_EQ(s.trainer->getOutputWeight(0), 0.0);
    EXPECT_FALSE(s.trainer->setOutputWeight(0, 1.0));
}

TEST(AIModelTrainerInputs, AnAttributeIsAddedWithItsColumnsAndBound)
{
    AirServer s;
    Attribute* meanInlet = s.attribute(airServer, "Simulation Results.Mean Inlet Temperature");
    ASSERT_EQ(s.trainer->addInput(meanInlet, rows({{20}, {21}, {22}}), Tensor()), 2);

    EXPECT_EQ(s.trainer->getInputEntity(2), s.entity(airServer));
    EXPECT_EQ(s.trainer->getInputAttributePath(2),
              AttributePath("Simulation Results.Mean Inlet Temperature"));
    EXPECT_EQ(s.trainer->getInputAttribute(2), meanInlet);
    EXPECT_TRUE(s.trainer->isInput(meanInlet));
    EXPECT_TRUE(
        s.trainer->isInput(s.entity(airServer), AttributePath("Simulation Results.Mean Inlet Temperature")));
    EXPECT_FALSE(s.trainer->isOutput(meanInlet));
    EXPECT_EQ(s.trainer->getInputAttributes().size(), 3u);
    EXPECT_EQ(s.trainer->getTrainingExample()->getInputs(), rows({{1, 2, 20}, {3, 4, 21}, {5, 6, 22}}));
    // A column without shape keeps the zero column of the new input.
    EXPECT_EQ(shapeOf(s.trainer->getTestingExample()->getInputs()), (std::vector<std::int64_t>{0, 3}));

    // An attribute the exchange does not offer cannot be bound: the added input goes again.
    EXPECT_EQ(s.trainer->addInput(s.attribute(airServer, "Power.Power Definition.Nameplate Power"), Tensor(),
                                  Tensor()),
              std::nullopt);
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 3);
    EXPECT_EQ(s.trainer->addInput(s.entity(airServer), AttributePath("No.Such"), Tensor(), Tensor()),
              std::nullopt);
    // A column of the wrong length is refused before anything changes.
    EXPECT_EQ(s.trainer->addInput(rows({{1}}), Tensor()), std::nullopt);
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 3);
    EXPECT_EQ(shapeOf(s.trainer->getTrainingExample()->getInputs()), (std::vector<std::int64_t>{3, 3}));
}

TEST(AIModelTrainerOutputs, WeightsAndNamesOfOutputs)
{
    AirServer s;
    EXPECT_DOUBLE_EQ(s.trainer->getOutputWeight(1), 2.0);
    EXPECT_TRUE(s.trainer->setOutputWeight(1, 0.5));
    EXPECT_DOUBLE_EQ(s.trainer->getOutputWeight(1), 0.5);
    EXPECT_TRUE(s.trainer->setOutputWeight(1, -2.0)); // training weighs by the magnitude
    EXPECT_DOUBLE_EQ(s.trainer->getOutputWeight(1), -2.0);
    EXPECT_FALSE(s.trainer->setOutputWeight(2, 1.0));
    EXPECT_EQ(s.trainer->getOutputAttributeName(0), "Temperature");

    Attribute* exhaustTemperature = s.attribute("Server A01-1 Exhaust", "Temperature");
    EXPECT_EQ(s.trainer->getOutputAttribute(0), exhaustTemperature);
    EXPECT_TRUE(s.trainer->seOutputAttributeName(0, "Flow Rate"));
    EXPECT_EQ(s.trainer->getOutputAttribute(0), s.attribute("Server A01-1 Exhaust", "Flow Rate"));
    EXPECT_TRUE(s.trainer->setOutputAttributePath(0, AttributePath("Temperature")));
    EXPECT_EQ(s.trainer->getOutputAttribute(0), exhaustTemperature);
    EXPECT_FALSE(s.trainer->setOutputAttributePath(0, AttributePath("Area")));
    EXPECT_FALSE(s.trainer->setOutputAttributePath(7, AttributePath("Temperature")));

    ASSERT_TRUE(s.trainer->setOutputEntity(1, nullptr));
    EXPECT_EQ(s.trainer->getOutputEntity(1), nullptr);
    EXPECT_EQ(s.trainer->getOutputAttribute(1), nullptr);

    Attribute* heatCapture = s.attribute("GPU Node A02-1", "Cooling.Liquid Cooling Options.Heat Capture "
                                                           "Specification.Liquid Outlet Temperature");
    EXPECT_EQ(s.trainer->addOutput(heatCapture, Tensor(), Tensor(), 3.0), 2);
    EXPECT_DOUBLE_EQ(s.trainer->getOutputWeight(2), 3.0);
    EXPECT_EQ(s.trainer->getOutputAttribute(2), heatCapture);
}

TEST(AIModelTrainerOptions, OptionsReadBackAsWritten)
{
    Sample s;
    s.trainer->setLearningRate(0.02);
    s.trainer->setTargetRMSError(0.005);
    s.trainer->setMaximumIterations(250);
    EXPECT_DOUBLE_EQ(s.trainer->getLearningRate(), 0.02);
    EXPECT_DOUBLE_EQ(s.trainer->getTargetRMSError(), 0.005);
    EXPECT_EQ(s.trainer->getMaximumInterations(), 250);

    EXPECT_EQ(s.trainer->getInitialRandomSeed(), std::nullopt);
    s.trainer->setInitialRandomSeed(42);
    EXPECT_EQ(s.trainer->getInitialRandomSeed(), 42);
    s.trainer->setInitialRandomSeed(std::nullopt);
    EXPECT_EQ(s.trainer->getInitialRandomSeed(), std::nullopt);
    EXPECT_EQ(getIntValue(s.trainer->getOptions(), "Train.Advanced Options.Random Seed.Initial Seed"), 0);

    struct Row
    {
        TensorElementType set;
        TensorElementType expected;
    };
    for (const Row& row : {Row{TensorElementType::Double, TensorElementType::Double},
                           Row{TensorElementType::None, TensorElementType::Double},
                           Row{TensorElementType::Float, TensorElementType::Float}})
    {
        SCOPED_TRACE(AISystem::toString(row.set));
        s.trainer->setTrainingDataType(row.set);
        EXPECT_EQ(s.trainer->getTrainingDataType(), row.expected);
    }

    // Without a trainer module every network is generic, whatever the option says.
    s.trainer->setPhysicalModel(true);
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Physics_Informed_t);
    EXPECT_FALSE(s.trainer->isPhysicalModel());
    s.trainer->initialize(s.entity(airServer), false);
    s.trainer->setPhysicalModel(false);
    EXPECT_FALSE(s.trainer->isPhysicalModel());
    s.trainer->setPhysicalModel(true);
    EXPECT_EQ(s.trainer->getNetworkType(), AISystem::NeuralNetworkType::PhysicsInformed);
}

TEST(AIModelTrainerOptions, HiddenLayersByGenerationMode)
{
    AirServer s;
    s.trainer->addInput(Tensor(), Tensor());
    s.trainer->addInput(Tensor(), Tensor());
    ASSERT_EQ(s.trainer->getNumberOfInputs(), 4);
    Entity* options = s.trainer->getOptions();
    const AttributePath network("Train.Advanced Options.Network");
    EntityEditor::setValue(options, network / TypeRef("Minimum Data Points Per Node"), 5);
    EntityEditor::setValue(options, network / TypeRef("Hidden Layers Count"), 2);
    EntityEditor::setValue(options, network / Generation_Mode_t, Auto_t);

    s.trainer->setNumberOfTrainingCases(1000);
    EXPECT_EQ(s.trainer->calcAutoHiddenLayerSize(), 12u); // 1000 / (4 × 2 × 5 × 2)
    EXPECT_EQ(s.trainer->getHiddenLayers(), (std::vector<size_t>{12, 12}));
    EXPECT_EQ(s.trainer->calcDataPointsPerNode(), 0u); // 1000 / (4 × 2 × 144)
    s.trainer->setNumberOfTrainingCases(10);
    EXPECT_EQ(s.trainer->calcAutoHiddenLayerSize(), 0u);
    EXPECT_EQ(s.trainer->getHiddenLayers(), (std::vector<size_t>{4, 4})); // the wider of inputs and outputs

    EntityEditor::setValue(options, network / TypeRef("Hidden Layers Count"), 0);
    EXPECT_EQ(s.trainer->calcAutoHiddenLayerSize(), 0u); // a zero divisor gives no size
    EXPECT_TRUE(s.trainer->getHiddenLayers().empty());

    EntityEditor::setValue(options, network / TypeRef("Hidden Layers Count"), 3);
    EntityEditor::setValue(options, network / TypeRef("Nodes Per Layer"), 7);
    EntityEditor::setValue(options, network / Generation_Mode_t, Simple_t);
    EXPECT_EQ(s.trainer->getHiddenLayers(), (std::vector<size_t>{7, 7, 7}));

    s.trainer->setHiddenLayers({5, 2});
    EXPECT_EQ(getTypeValue(options, network / Generation_Mode_t), Advanced_t);
    EXPECT_EQ(s.trainer->getHiddenLayers(), (std::vector<size_t>{5, 2}));
    s.trainer->setNumberOfTrainingCases(2000);
    EXPECT_EQ(s.trainer->calcDataPointsPerNode(), 25u); // 2000 / (4 × 2 × 10)

    s.trainer->clear();
    EXPECT_EQ(s.trainer->calcAutoHiddenLayerSize(), 0u);
    EXPECT_EQ(s.trainer->calcDataPointsPerNode(), 0u);
}

TEST(AIModelTrainerSetup, AGivenTrainerEntityKeepsItsTargetAndFitsTheExamples)
{
    Sample s;
    auto options = EntityEditor::createDetachedEntity(AI_Model_Trainer_t);
    ASSERT_TRUE(EntityEditor::addEntity(options.get(), EntityLink_t, s.entity(airServer)));
    auto training = std::make_unique<AISystem::Example>(rows({{1, 2, 3}}), rows({{4}}), 1);
    AIModelTrainer trainer(std::move(options), std::move(training), nullptr);

    EXPECT_EQ(trainer.getEntity(), s.entity(airServer));
    auto* module = trainer.findChild<Conflux::AIModelTrainerModule*>();
    ASSERT_NE(module, nullptr);
    EXPECT_STREQ(module->metaObject()->className(), "Conflux::AIModelTrainerITEquipmentModule");
    EXPECT_EQ(trainer.getTrainingExample()->getInputs(), rows({{1, 2}}));
    EXPECT_EQ(trainer.getTrainingExample()->getOutputs(), rows({{4, 0}}));
    EXPECT_EQ(trainer.getTestingExample(), nullptr);
    EXPECT_TRUE(trainer.getInputTestingData(0).isEmpty());
    EXPECT_FALSE(trainer.setInputTestingData(0, rows({{1}})));
    EXPECT_FALSE(trainer.hasTestingData());
}
