#include "src/ai/evaluation/AIModelEvaluator.h"

#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/ai/physics/PhysicalModel.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/SchemaLoader.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "tests/ai/evaluation/EvaluationTestSupport.h"

#include <QDeadlineTimer>
#include <QThread>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace EntityModel;
using namespace EvaluationTest;
using AISystem::Tensor;
using Conflux::AIModelEvaluator;

namespace
{
const char* const serverInputs[] = {
    "Power.Power Definition.Typical Power", "Power.Power Definition.Nameplate Power",
    "Cooling.Liquid Cooling Options.Heat Capture Specification.Heat Capture Ratio",
    "Cooling.Liquid Cooling Options.Heat Capture Specification.Liquid Outlet Temperature"};
const char* const serverOutputs[] = {"Simulation Results.Mean Inlet Temperature",
                                     "Simulation Results.Maximum Inlet Temperature"};

std::string fixture(const char* name)
{
    std::ifstream in(std::string(CONFLUX_EXAMPLES_DIR "/../tests/host/ai/data/") + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

/// An untrained network of seeded weights, optionally with a physical model, as model data.
std::string network(int inputs, int outputs,
                    const std::optional<AISystem::PhysicalModel>& physics = std::nullopt)
{
    AISystem::NeuralNetworkTrainer::setManualSeed(11);
    AISystem::NeuralNetworkTrainer trainer(inputs, outputs, {8}, AISystem::TensorElementType::Double, physics,
                                           physics ? AISystem::NeuralNetworkType::PhysicsInformed
                                                   : AISystem::NeuralNetworkType::Generic);
    return Utilities::toString(trainer.toByteArray());
}

/// A server with an AI model whose inputs and outputs the test binds to the server's values.
class Surrogate
{
public:
    Surrogate()
    {
        app();
        SchemaLoader::ensureBuiltInLoaded();
        m_server = EntityEditor::createDetachedEntity(IT_Equipment_t, "Server 1");
        m_model = EntityEditor::createDetachedEntity(AI_Model_t, "Surrogate");
        setModel(Python_t, "def evaluate(inputs):\n    return [[x * 2 for x in row] for row in inputs]\n");
    }

    Entity* server() const { return m_server.get(); }
    Entity* model() const { return m_model.get(); }

    void setModel(TypeRef type, const std::string& data) const
    {
        EntityEditor::setValue(model(), Model_Type_t, type);
        const TypeRef field = type == Python_t        ? Python_Model_Script_t
                              : type == ONNX_t        ? ONNX_Model_Data_t
                              : type == TorchScript_t ? TorchScript_Model_Data_t
                                                      : NeuralNetwork_Model_Data_t;
        EntityEditor::setValue(model(), field, data);
    }
    /// Appends an input (or output) bound to the attribute at path of the server (unbound when empty).
    CompositeAttribute* add(bool input, const std::string& path) const
    {
        CountedCompositeAttribute* values = Conflux::AIModuleGenerator::findValueList(model(), input);
        const std::size_t index = values->childCount();
        values->setCount(static_cast<int>(index) + 1);
        CompositeAttribute* value = values->getItem(index);
        if (!path.empty())
        {
            EXPECT_TRUE(EntityEditor::addEntity(value, Entity_t, server()));
            EntityEditor::setValue(value, Attribute_t, path);
        }
        return value;
    }
    void bindServerValues(int inputs, int outputs) const
    {
        for (int i = 0; i < inputs; ++i)
            add(true, serverInputs[i]);
        for (int i = 0; i < outputs; ++i)
            add(false, serverOutputs[i]);
    }
    /// The model's module as the evaluator makes it, evaluated on its own.
    AISystem::Module module() const { return Conflux::AIModuleGenerator::generateTranformed(model()); }

private:
    std::unique_ptr<Entity, EntityEditorDeleter> m_server;
    std::unique_ptr<Entity, EntityEditorDeleter> m_model;
};

void setBounds(CompositeAttribute* value, std::optional<double> min, std::optional<double> max)
{
    EntityEditor::setValue(value, Bounds_t / Has_Min_t, min.has_value());
    EntityEditor::setValue(value, Bounds_t / Min_t, min.value_or(0.0));
    EntityEditor::setValue(value, Bounds_t / Has_Max_t, max.has_value());
    EntityEditor::setValue(value, Bounds_t / Max_t, max.value_or(0.0));
}

/// An evaluator whose signals are recorded; initialize() waits for the first evaluation to be written.
class Recorded
{
public:
    Recorded()
    {
        QObject::connect(&evaluator, &AIModelEvaluator::outputUpdated,
                         [this](bool hasImbalance) { updates.push_back(hasImbalance); });
        QObject::connect(&evaluator, &AIModelEvaluator::initialized, [this] { ++initialized; });
    }
    void initialize(Entity* model)
    {
        const std::size_t before = updates.size();
        const int initializedBefore = initialized;
        evaluator.initialize(model);
        if (initialized > initializedBefore)
        {
            EXPECT_TRUE(processEventsUntil([&] { return updates.size() > before; }));
        }
    }
    DoubleAttribute* input(std::size_t i) const { return child(Inputs_t, i); }
    DoubleAttribute* output(std::size_t i) const { return child(Outputs_t, i); }
    double imbalance(const char* which) const
    {
        return getStandardDoubleValue(evaluator.getOptions(), std::string("Imbalance.") + which, -1.0);
    }

    AIModelEvaluator evaluator;
    std::vector<bool> updates;
    int initialized = 0;

private:
    DoubleAttribute* child(TypeRef list, std::size_t i) const
    {
        auto* composite = static_cast<CompositeAttribute*>(evaluator.getOptions()->findAttribute(list));
        Attribute* attribute = composite->getChild(i);
        return attribute != nullptr && attribute->isDoubleAttribute()
                   ? static_cast<DoubleAttribute*>(attribute)
                   : nullptr;
    }
};

TEST(AIModelEvaluator, EvaluatesEachModuleTypeExactlyAsTheModuleDoes)
{
    struct Row
    {
        const char* name;
        TypeRef type;
        std::string data;
        AISystem::ModuleType moduleType;
    };
    const std::vector<Row> rows = {
        {"NeuralNetwork", NeuralNetwork_t, network(4, 2), AISystem::ModuleType::NeuralNetwork},
        {"ONNX", ONNX_t, fixture("mlp_4_16_16_2.onnx"), AISystem::ModuleType::ONNX},
        {"TorchScript", TorchScript_t, fixture("mlp_4_16_16_2.pt"), AISystem::ModuleType::TorchScript},
        {"Python", Python_t,
         "def evaluate(inputs):\n    return [[r[0] + r[2], r[1] * r[3]] for r in inputs]\n",
         AISystem::ModuleType::Python},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Surrogate surrogate;
        surrogate.setModel(row.type, row.data);
        surrogate.bindServerValues(4, 2);
        Recorded recorded;
        recorded.initialize(surrogate.model());

        EXPECT_EQ(recorded.initialized, 1);
        EXPECT_EQ(recorded.updates, std::vector<bool>{false});
        EXPECT_EQ(recorded.evaluator.getModuleType(), row.moduleType);
        EXPECT_EQ(recorded.evaluator.getAIModel(), surrogate.model());
        const Tensor inputs = recorded.evaluator.getInputTensor();
        EXPECT_EQ(inputs, Tensor::fromRows({{500.0, 750.0, 0.8, 45.0}}));
        const Tensor expected =
            surrogate.module().eval(inputs).toElementType(AISystem::TensorElementType::Double);
        EXPECT_EQ(recorded.evaluator.getOutputTensor(), expected);
        EXPECT_EQ(recorded.imbalance("Energy"), 0.0);

        // New inputs are evaluated at once, to the last digit.
        const Tensor changed = Tensor::fromRows({{120.5, 300.25, 0.5, 38.0}});
        recorded.evaluator.setInputTensor(changed);
        EXPECT_EQ(recorded.evaluator.getOutputTensor(),
                  surrogate.module().eval(changed).toElementType(AISystem::TensorElementType::Double));
        EXPECT_EQ(recorded.updates.size(), 2u);
    }
}

TEST(AIModelEvaluator, InputsStartFromTheBoundValueWithinTheBounds)
{
    struct Row
    {
        const char* name;
        std::optional<double> source; // none: the source holds no value
        std::optional<double> min, max;
        double start;
    };
    const Row rows[] = {
        {"above the maximum", 35.0, 0.0, 30.0, 30.0},
        {"below a lone minimum", 35.0, 40.0, std::nullopt, 40.0},
        {"inside the bounds", 35.0, 0.0, 50.0, 35.0},
        {"no value, both bounds: the midpoint", std::nullopt, 10.0, 20.0, 15.0},
        {"no value, a lone maximum", std::nullopt, std::nullopt, 20.0, 20.0},
        {"no value, a lone minimum", std::nullopt, 12.0, std::nullopt, 12.0},
        {"no value, no bounds", std::nullopt, std::nullopt, std::nullopt, 0.0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Surrogate surrogate;
        const char* path = serverInputs[0];
        setBounds(surrogate.add(true, path), row.min, row.max);
        if (row.source)
            EntityEditor::setValue(surrogate.server(), path, *row.source);
        else
            EntityEditor::setValid(surrogate.server(), path, false);
        Recorded recorded;
        recorded.initialize(surrogate.model());
        EXPECT_EQ(recorded.evaluator.getInputTensor(), Tensor::fromRows({{row.start}}));
    }
}

TEST(AIModelEvaluator, InputsAreEditableInTheSourcesUnitAndOutputsReadOnly)
{
    Surrogate surrogate;
    surrogate.add(true, serverInputs[0]);
    static_cast<DoubleAttribute*>(surrogate.server()->findAttribute(serverInputs[0]))
        ->getUnitAttribute()
        ->setValueFromString("kW");
    // A curve gives its y unit; a text has no number to offer and stays read-only.
    std::unique_ptr<Entity, EntityEditorDeleter> fluid =
        EntityEditor::createDetachedEntity(TypeRef("Fluid"), "Water");
    CompositeAttribute* curveInput = surrogate.add(true, "");
    EntityEditor::addEntity(curveInput, Entity_t, fluid.get());
    EntityEditor::setValue(curveInput, Attribute_t, "Specific Heat.Specific Heat Temperature Curve");
    surrogate.add(true, "Identification.Description");
    surrogate.add(false, serverOutputs[0]);
    surrogate.setModel(Python_t, "def evaluate(inputs):\n    return [[r[0]] for r in inputs]\n");

    Recorded recorded;
    recorded.initialize(surrogate.model());
    ASSERT_EQ(recorded.evaluator.getInputTensor().getDimensionSize(1), 3);

    DoubleAttribute* power = recorded.input(0);
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(power->getTypeRef().getLabel(), std::string("Server 1\n") + serverInputs[0]);
    EXPECT_FALSE(power->isReadOnly());
    EXPECT_TRUE(power->isValid());
    ASSERT_NE(power->getUnitAttribute(), nullptr);
    EXPECT_EQ(power->getUnitAttribute()->getValue(), "kW");
    EXPECT_EQ(power->getValueIn("kW"), 0.5);
    EXPECT_EQ(power->getMinimum(), std::nullopt);

    DoubleAttribute* curve = recorded.input(1);
    ASSERT_NE(curve->getUnitAttribute(), nullptr);
    EXPECT_EQ(curve->getUnitAttribute()->getQuantity(), TypeRef("Specific Heat"));

    DoubleAttribute* text = recorded.input(2);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_FALSE(text->isValid());
    EXPECT_EQ(text->standardVal(), 0.0);

    DoubleAttribute* output = recorded.output(0);
    EXPECT_TRUE(output->isReadOnly());
    ASSERT_NE(output->getUnitAttribute(), nullptr);
    EXPECT_EQ(output->getUnitAttribute()->getQuantity(), Temperature_t);
    EXPECT_EQ(output->standardVal(), 500.0);
}

TEST(AIModelEvaluator, AnUnboundEntryKeepsItsColumnSoLaterInputsStayInPlace)
{
    Surrogate surrogate;
    surrogate.add(true, serverInputs[0]);
    surrogate.add(true, "");
    surrogate.add(true, serverInputs[1]);
    surrogate.add(false, serverOutputs[0]);
    surrogate.add(false, serverOutputs[1]);
    surrogate.add(false, serverOutputs[0]);
    Recorded recorded;
    recorded.initialize(surrogate.model());
    EXPECT_EQ(recorded.evaluator.getInputTensor(), Tensor::fromRows({{500.0, 0.0, 750.0}}));
    EXPECT_TRUE(recorded.input(1)->isReadOnly());
    EXPECT_EQ(recorded.evaluator.getOutputTensor(), Tensor::fromRows({{1000.0, 0.0, 1500.0}}));
}

TEST(AIModelEvaluator, WritesTheImbalanceOfAPhysicalModelAndZerosWithoutOne)
{
    // Power in, air in at input 1 with the flow of input 2, out at the temperature of output 0.
    AISystem::PhysicalModelStream air(AISystem::PhysicalModelFluid::air());
    air.addInflow(0.0, AISystem::PhysicalModelValue::input(1), AISystem::PhysicalModelValue::input(2));
    air.addOutflow(0.0, AISystem::PhysicalModelValue::output(0), std::nullopt);
    AISystem::PhysicalModel physics;
    physics.addHeatSource(AISystem::PhysicalModelValue::input(0));
    physics.addStream(air);

    Surrogate surrogate;
    surrogate.setModel(NeuralNetwork_t, network(3, 1, physics));
    surrogate.bindServerValues(3, 1);
    Recorded recorded;
    EntityEditor::setValue(recorded.evaluator.getOptions(), "Imbalance.Energy", 5.0);
    recorded.initialize(surrogate.model());
    ASSERT_EQ(recorded.updates, std::vector<bool>{true});
    const Tensor inputs = recorded.evaluator.getInputTensor();
    const AISystem::Module module = surrogate.module();
    const auto expected = module.calcImbalanceResults(inputs, module.eval(inputs));
    ASSERT_TRUE(expected);
    EXPECT_EQ(recorded.imbalance("Energy"), expected->energy);
    EXPECT_EQ(recorded.imbalance("Mass"), expected->mass);
    EXPECT_NE(expected->energy, 0.0);

    // The same inputs on a model without a physical model: zeros, and the signal says so.
    surrogate.setModel(Python_t, "def evaluate(inputs):\n    return [[1.0] for r in inputs]\n");
    recorded.initialize(surrogate.model());
    EXPECT_EQ(recorded.updates, (std::vector<bool>{true, false}));
    EXPECT_EQ(recorded.imbalance("Energy"), 0.0);
    EXPECT_EQ(recorded.imbalance("Mass"), 0.0);
}

TEST(AIModelEvaluator, WithoutModuleEveryEvaluationFailsWithNoTrainer)
{
    app();
    SchemaLoader::ensureBuiltInLoaded();
    Recorded recorded;
    EXPECT_EQ(recorded.evaluator.getOptions()->getTypeRef(), AI_Model_Evaluator_t);
    EXPECT_STREQ(recorded.evaluator.metaObject()->className(), "Conflux::AIModelEvaluator");
    EXPECT_EQ(recorded.evaluator.getAIModel(), nullptr);
    EXPECT_EQ(recorded.evaluator.getModuleType(), AISystem::ModuleType::None);
    EXPECT_TRUE(recorded.evaluator.getInputTensor().isEmpty());

    const auto future = recorded.evaluator.evaluateAsync();
    EXPECT_TRUE(future.hasFailed());
    EXPECT_EQ(failureText(future), "No Trainer");
    EXPECT_THROW(recorded.evaluator.evaluate(), std::runtime_error);
    EXPECT_THROW(recorded.evaluator.setInputTensor(Tensor()), std::runtime_error);
    EXPECT_TRUE(recorded.updates.empty());
}

TEST(AIModelEvaluator, ModelDataThatDoesNotLoadStopsInitialisationSilently)
{
    Surrogate surrogate;
    surrogate.bindServerValues(2, 1);
    Recorded recorded;
    recorded.initialize(surrogate.model());
    ASSERT_EQ(recorded.initialized, 1);

    Surrogate broken;
    broken.setModel(ONNX_t, "");
    broken.bindServerValues(1, 1);
    recorded.initialize(broken.model()); // "Empty ONNX Model", swallowed
    EXPECT_EQ(recorded.initialized, 1);
    EXPECT_EQ(recorded.evaluator.getAIModel(), broken.model());
    // The earlier module and attributes stay as they were.
    EXPECT_EQ(recorded.evaluator.getModuleType(), AISystem::ModuleType::Python);
    EXPECT_EQ(recorded.evaluator.getInputTensor().getDimensionSize(1), 2);

    // Initialising again with a good model rebuilds everything from scratch.
    Surrogate other;
    other.bindServerValues(3, 2);
    recorded.initialize(other.model());
    EXPECT_EQ(recorded.initialized, 2);
    EXPECT_EQ(recorded.evaluator.getInputTensor(), Tensor::fromRows({{500.0, 750.0, 0.8}}));
    EXPECT_EQ(recorded.evaluator.getOutputTensor().getDimensionSize(1), 2);
}

TEST(AIModelEvaluator, AnEvaluationFailureReachesTheCallerAndLeavesTheOutputs)
{
    Surrogate surrogate;
    surrogate.setModel(Python_t, "def evaluate(inputs):\n"
                                 "    if inputs[0][0] < 0:\n"
                                 "        raise RuntimeError('fan failure')\n"
                                 "    return inputs\n");
    surrogate.bindServerValues(1, 1);
    Recorded recorded;
    recorded.initialize(surrogate.model());
    try
    {
        recorded.evaluator.setInputTensor(Tensor::fromRows({{-1.0}}));
        ADD_FAILURE() << "no exception";
    }
    catch (const std::exception& error)
    {
        EXPECT_NE(std::string(error.what()).find("fan failure"), std::string::npos) << error.what();
    }
    EXPECT_EQ(recorded.evaluator.getInputTensor(), Tensor::fromRows({{-1.0}}));
    EXPECT_EQ(recorded.evaluator.getOutputTensor(), Tensor::fromRows({{500.0}}));
    EXPECT_EQ(recorded.updates.size(), 1u);
}

TEST(AIModelEvaluator, ReplacingTheModelWhileAnEvaluationIsPendingIsSafe)
{
    Surrogate first;
    first.bindServerValues(1, 1);
    Surrogate second;
    second.setModel(Python_t, "def evaluate(inputs):\n    return [[x + 1 for x in row] for row in inputs]\n");
    second.bindServerValues(1, 1);
    Recorded recorded;
    recorded.evaluator.initialize(first.model());
    recorded.evaluator.initialize(second.model()); // the first evaluation has not run yet
    ASSERT_TRUE(processEventsUntil([&] { return recorded.updates.size() == 2; }));
    EXPECT_EQ(recorded.evaluator.getOutputTensor(), Tensor::fromRows({{501.0}}));
}

TEST(AIModelEvaluator, AFutureIsWaitedOnFromAnotherThreadAndFailsWhenTheEvaluatorGoes)
{
    Surrogate surrogate;
    surrogate.bindServerValues(2, 1);
    auto recorded = std::make_unique<Recorded>();
    recorded->initialize(surrogate.model());

    const auto future = recorded->evaluator.evaluateAsync();
    bool succeeded = false;
    std::unique_ptr<QThread> waiter(QThread::create(
        [&]
        {
            future.get();
            succeeded = true;
        }));
    waiter->start();
    QDeadlineTimer guard(10000);
    while (!waiter->isFinished() && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    waiter->wait();
    EXPECT_TRUE(succeeded);
    EXPECT_EQ(recorded->updates.size(), 2u);

    const auto abandoned = recorded->evaluator.evaluateAsync();
    recorded.reset();
    EXPECT_TRUE(settled(abandoned).hasFailed());
}
} // namespace
