#include "src/ai/export/ExportedNetwork.h"

#include "host/ai/modules/Module.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "src/ai/definition/AIModelChoice.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "tests/ai/export/ExportTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace EntityModel;
using Conflux::ExportedNetwork;
using Conflux::ExportRefusal;
using Conflux::InputBounds;
using ExportTest::Sample;

namespace
{
/// Cases drawn evenly within the inputs' bounds.
std::vector<std::vector<double>> casesWithinBounds(const ExportedNetwork& network, int count, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::vector<std::vector<double>> cases;
    for (int c = 0; c < count; ++c)
    {
        std::vector<double> row;
        for (const auto& input : network.inputs)
            row.push_back(std::uniform_real_distribution<double>(*input.min, *input.max)(random));
        cases.push_back(row);
    }
    return cases;
}

/// Compares the extraction with the module `evaluate` runs (the transformed module) on random cases
/// in one batch, output by output relative to the output's size.
void expectSameAsModule(Entity* model, const ExportedNetwork& network, double tolerance)
{
    const auto cases = casesWithinBounds(network, 1000, 3);
    const AISystem::Module module = Conflux::AIModuleGenerator::generateTranformed(model);
    const AISystem::Tensor expected = module.eval(AISystem::Tensor::fromRows(cases));
    for (std::size_t c = 0; c < cases.size(); ++c)
    {
        const std::vector<double> outputs = network.evaluate(cases[c]);
        ASSERT_EQ(outputs.size(), network.outputs.size());
        for (std::size_t o = 0; o < outputs.size(); ++o)
        {
            const double want = expected.at(static_cast<std::int64_t>(c), static_cast<std::int64_t>(o));
            ASSERT_NEAR(outputs[o], want, tolerance * std::max(1.0, std::abs(want))) << "case " << c << " output " << o;
        }
    }
}

void setNetwork(Entity* model, const std::string& data)
{
    EntityEditor::setValue(model, NeuralNetwork_Model_Data_t, data);
}

CompositeAttribute* entry(Entity* model, bool input, std::size_t index)
{
    return static_cast<CompositeAttribute*>(Conflux::AIModuleGenerator::findValueList(model, input)->getChild(index));
}
} // namespace

TEST(ExportedNetwork, SampleEvaluatesAsTheModuleThatEvaluateRuns)
{
    Sample sample;
    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), InputBounds::Required);
    EXPECT_EQ(network.elementType, AISystem::TensorElementType::Double);
    ASSERT_EQ(network.layers.size(), 3u);
    EXPECT_EQ(network.layers[0].inputs, 2);
    EXPECT_EQ(network.layers[0].outputs, 16);
    EXPECT_EQ(network.layers[0].activation, ExportedNetwork::Activation::Tanh);
    EXPECT_EQ(network.layers[2].outputs, 2);
    EXPECT_EQ(network.layers[2].activation, ExportedNetwork::Activation::Linear);
    EXPECT_FALSE(network.physicalModel);
    expectSameAsModule(sample.model(), network, 1e-12);
}

TEST(ExportedNetwork, SampleVariablesCarryPathsUnitsTransformsBoundsAndStarts)
{
    Sample sample;
    // The server's power is shown in kW; its value lies above the input's maximum.
    Entity* server = sample.entity("Server A01-1");
    ASSERT_NE(server, nullptr);
    auto* power = static_cast<DoubleAttribute*>(server->findAttribute("Power.Power Definition.Typical Power"));
    power->getUnitAttribute()->setValueFromString("kW");
    EntityEditor::setValue(server, "Power.Power Definition.Typical Power", 1500.0);

    const ExportedNetwork network = Conflux::extractNetwork(sample.model(), InputBounds::Required);
    EXPECT_EQ(network.modelName, "Server A01-1 Surrogate");
    EXPECT_EQ(network.modelData, getByteArrayValue(sample.model(), NeuralNetwork_Model_Data_t));
    ASSERT_EQ(network.inputs.size(), 2u);
    ASSERT_EQ(network.outputs.size(), 2u);

    const auto& watts = network.inputs[0];
    EXPECT_EQ(watts.name, "Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Power.Power Definition.Typical Power");
    EXPECT_EQ(watts.description, "Data Hall 1/Rack A01/Server A01-1: Power.Power Definition.Typical Power");
    EXPECT_EQ(watts.quantity, "Power");
    EXPECT_EQ(watts.unit, "W");
    EXPECT_EQ(watts.displayUnit, "kW");
    EXPECT_EQ(watts.displayFactor, 1000.0);
    EXPECT_EQ(watts.displayOffset, 0.0);
    EXPECT_EQ(watts.min, 100.0);
    EXPECT_EQ(watts.max, 1000.0);
    EXPECT_EQ(watts.start, 1000.0);
    EXPECT_EQ(watts.factor, 1.0);
    EXPECT_EQ(watts.offset, 0.0);

    // The inlet temperature is a simulation result of 0 °C before any solve: it starts at its
    // minimum, as the evaluator starts it, and enters the network standardised by its mean and
    // standard deviation.
    const auto& inlet = network.inputs[1];
    EXPECT_EQ(inlet.name, "Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Inflows.Server A01-1 Inlet.Simulation Results.Temperature Net.Mean Temperature Net");
    EXPECT_EQ(inlet.description, "Data Hall 1/Rack A01/Server A01-1/Server A01-1 Inlet: "
                                 "Simulation Results.Temperature Net.Mean Temperature Net");
    EXPECT_EQ(inlet.quantity, "Temperature");
    EXPECT_EQ(inlet.unit, "°C");
    EXPECT_EQ(inlet.start, 15.0);
    EXPECT_DOUBLE_EQ(inlet.factor, 0.2);
    EXPECT_DOUBLE_EQ(inlet.offset, -4.8);

    EXPECT_EQ(network.outputs[0].name, "Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Outflows.Server A01-1 Exhaust.Temperature");
    EXPECT_EQ(network.outputs[1].name, "Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Outflows.Server A01-1 Exhaust.Flow Rate");
    EXPECT_FALSE(network.outputs[0].min);
    EXPECT_EQ(network.outputs[0].quantity, "Temperature");
    EXPECT_EQ(network.outputs[1].quantity, "Volume Flow");
    const std::vector<double> starts = network.evaluate({1000.0, 15.0});
    EXPECT_EQ(network.outputs[0].start, starts[0]);
    EXPECT_EQ(network.outputs[1].start, starts[1]);
}

TEST(ExportedNetwork, NetworksOfBothElementTypesWithAPhysicalModelMatchOutputsAndImbalances)
{
    struct Row
    {
        AISystem::TensorElementType type;
        double tolerance;
    };
    // A float network computes in float (a few units in the last place of float apart).
    for (const Row& row : {Row{AISystem::TensorElementType::Double, 1e-12}, Row{AISystem::TensorElementType::Float, 2e-5}})
    {
        SCOPED_TRACE(AISystem::toString(row.type));
        Sample sample;
        setNetwork(sample.model(), ExportTest::trainedNetwork(row.type, ExportTest::serverBalance(),
                                                              AISystem::NeuralNetworkType::PhysicsInformed));
        const ExportedNetwork network = Conflux::extractNetwork(sample.model(), InputBounds::Required);
        EXPECT_EQ(network.elementType, row.type);
        ASSERT_TRUE(network.physicalModel);
        EXPECT_EQ(*network.physicalModel, ExportTest::serverBalance());
        expectSameAsModule(sample.model(), network, row.tolerance);

        // The balance itself is computed in double on the module's own outputs, case by case.
        const AISystem::Module module = Conflux::AIModuleGenerator::generateTranformed(sample.model());
        ASSERT_TRUE(module.canCalcImbalanceResults());
        for (const auto& inputs : casesWithinBounds(network, 50, 9))
        {
            const AISystem::Tensor in = AISystem::Tensor::fromRows({inputs});
            const AISystem::Tensor out = module.eval(in);
            const auto expected = module.calcImbalanceResults(in, out);
            ASSERT_TRUE(expected);
            const auto got = network.imbalance(inputs, out.toDoubleVector());
            ASSERT_TRUE(got);
            // Relative to the heat passing through: the power and the energy the air carries.
            EXPECT_NEAR(got->energy, expected->energy, 1e-12 * (inputs[0] + std::abs(expected->energy)));
            EXPECT_NEAR(got->mass, expected->mass, 1e-12 * std::max(1.0, std::abs(expected->mass)));
            EXPECT_NE(got->energy, 0.0);
        }
    }
}

TEST(ExportedNetwork, RefusesWhatCannotLeaveAsANetworkSayingWhy)
{
    const std::string model = "AI model 'Server A01-1 Surrogate'";
    struct Row
    {
        const char* what;
        std::function<void(Sample&)> change;
        std::string message;
    };
    const std::vector<Row> rows{
        {"ONNX", [](Sample& s) { EntityEditor::setValue(s.model(), Model_Type_t, ONNX_t); },
         model + " is an ONNX model; only a neural network trained in the project can be exported (its ONNX data "
                 "already is one)"},
        {"TorchScript", [](Sample& s) { EntityEditor::setValue(s.model(), Model_Type_t, TorchScript_t); },
         model + " is a TorchScript model; only a neural network trained in the project can be exported (a "
                 "TorchScript program has no layers to write)"},
        {"Python", [](Sample& s) { EntityEditor::setValue(s.model(), Model_Type_t, Python_t); },
         model + " is a Python model; only a neural network trained in the project can be exported (a Python "
                 "script has no layers to write)"},
        {"no data", [](Sample& s) { setNetwork(s.model(), ""); }, model + " has no trained network; train it first"},
        {"bad data", [](Sample& s) { setNetwork(s.model(), "not a network"); },
         model + ": its network does not load: NeuralNetwork model data: not a readable TorchScript archive"},
        {"untrained",
         [](Sample& s)
         {
             AISystem::NeuralNetworkTrainer trainer(2, 2, {4}, AISystem::TensorElementType::Double, std::nullopt,
                                                    AISystem::NeuralNetworkType::Generic);
             const auto bytes = trainer.toByteArray();
             setNetwork(s.model(), std::string(bytes.begin(), bytes.end()));
         },
         model + " has a network that was never trained; train it first"},
        {"physics-conserved",
         [](Sample& s)
         {
             setNetwork(s.model(), ExportTest::trainedNetwork(AISystem::TensorElementType::Double,
                                                              ExportTest::serverBalance(),
                                                              AISystem::NeuralNetworkType::PhysicsConserved));
         },
         model + " is a physics-conserved network: its outputs are corrected by an iterative energy balance that "
                 "only the project's AI library computes; train it as a generic or physics-informed network to "
                 "export it"},
        {"no maximum", [](Sample& s) { EntityEditor::setValue(entry(s.model(), true, 1), "Bounds.Has Max", false); },
         model + ": input 2 '" + std::string("Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Inflows.Server A01-1 Inlet.Simulation Results.Temperature Net.Mean Temperature Net") + "' has no maximum; the export needs both bounds of every input (Bounds.Min and "
                 "Bounds.Max)"},
        {"no bounds",
         [](Sample& s)
         {
             EntityEditor::setValue(entry(s.model(), true, 0), "Bounds.Has Max", false);
             EntityEditor::setValue(entry(s.model(), true, 0), "Bounds.Has Min", false);
         },
         model + ": input 1 '" + std::string("Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Power.Power Definition.Typical Power") + "' has no bounds; the export needs both bounds of every input (Bounds.Min and "
                 "Bounds.Max)"},
        {"unbound output", [](Sample& s) { EntityEditor::removeAllEntities(entry(s.model(), false, 1), Entity_t); },
         model + ": output 2 is bound to no project value; bind it before exporting"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        Sample sample;
        row.change(sample);
        try
        {
            Conflux::extractNetwork(sample.model(), InputBounds::Required);
            ADD_FAILURE() << "exported";
        }
        catch (const ExportRefusal& refusal)
        {
            EXPECT_EQ(std::string(refusal.what()).substr(0, row.message.size()), row.message);
        }
    }

    Sample sample;
    EXPECT_NO_THROW(Conflux::extractNetwork(sample.model(), InputBounds::Required));
    EntityEditor::setValue(entry(sample.model(), true, 1), "Bounds.Has Max", false);
    EXPECT_NO_THROW(Conflux::extractNetwork(sample.model(), InputBounds::Optional));
    try
    {
        Conflux::extractNetwork(sample.entity("Server A01-1"), InputBounds::Optional);
        ADD_FAILURE() << "a server exported";
    }
    catch (const ExportRefusal& refusal)
    {
        EXPECT_STREQ(refusal.what(), "'Server A01-1' (IT Equipment) is not an AI model");
    }
}

// The commands export from a project file: the network is the one the loaded project gives, and
// the file's project is current only while it is read, whatever the outcome.
TEST(ExportedNetwork, FromAProjectFileAsFromItsLoadedModelLeavingTheCurrentProjectAlone)
{
    const QString file = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
    Sample sample;
    const ExportedNetwork loaded = Conflux::extractNetwork(sample.model(), InputBounds::Required);
    const ExportedNetwork fromFile = Conflux::extractNetwork(file, "", InputBounds::Required);
    EXPECT_EQ(EntityEditor::getCurrentProject(), sample.project.get());
    EXPECT_EQ(fromFile.modelName, loaded.modelName);
    EXPECT_EQ(fromFile.modelData, loaded.modelData);
    ASSERT_EQ(fromFile.inputs.size(), loaded.inputs.size());
    for (std::size_t i = 0; i < loaded.inputs.size(); ++i)
        EXPECT_EQ(fromFile.inputs[i].name, loaded.inputs[i].name) << "input " << i;
    EXPECT_EQ(Conflux::extractNetwork(file, "Server A01-1", InputBounds::Required).modelData, loaded.modelData);

    try
    {
        Conflux::extractNetwork(file, "CRAH 9", InputBounds::Required);
        ADD_FAILURE() << "an unknown model exported";
    }
    catch (const Conflux::AIModelChoiceError& error)
    {
        const std::string expected = "unknown model 'CRAH 9'; the AI models of " + file.toStdString() + " are:";
        EXPECT_EQ(std::string(error.what()).substr(0, expected.size()), expected);
    }
    EXPECT_EQ(EntityEditor::getCurrentProject(), sample.project.get());
    EXPECT_THROW(Conflux::extractNetwork(QStringLiteral(CONFLUX_EXAMPLES_DIR "/no-such-project.json"), "",
                                         InputBounds::Required),
                 std::exception);
    EXPECT_EQ(EntityEditor::getCurrentProject(), sample.project.get());
}
