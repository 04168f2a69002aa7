#include "src/checks/AIModelChecker.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/SchemaLoader.h"
#include "src/ai/definition/AIModuleGenerator.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace EntityModel;
using Conflux::AIModelChecker;

namespace
{
const char* const typicalPower = "Power.Power Definition.Typical Power";
const char* const outOfBounds =
    "AI Model Initial Input is out of bounds of the training data. This could lead to unreliable results. "
    "Either "
    "extend the training data range to cover the input, or adjust the input to fall within the bounds of the "
    "training data.";

std::string fixture(const char* name)
{
    std::ifstream in(std::string(CONFLUX_EXAMPLES_DIR "/../tests/host/ai/data/") + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

/// A server modelled by an AI model (a Python model passing its inputs through, no inputs or
/// outputs yet), with an exhaust outflow to bind values to.
class Server
{
public:
    explicit Server(const std::string& name = "Server")
    {
        SchemaLoader::ensureBuiltInLoaded();
        m_server = EntityEditor::createDetachedEntity(IT_Equipment_t, name);
        EntityEditor::setValue(server(), Cooling_t / Modelling_Level_t, AI_Model_t);
        m_model = EntityEditor::createEntity(AI_Model_t, server(), AIModelLink_t, nullptr, true, true, false,
                                             name + " Surrogate");
        m_exhaust = EntityEditor::createEntity(TypeRef("Outflow"), server(), AttributePath("Outflows"),
                                               nullptr, true, true, false, name + " Exhaust");
        setModel(Python_t, Python_Model_Script_t, "def evaluate(inputs):\n    return inputs\n");
    }

    Entity* server() const { return m_server.get(); }
    Entity* model() const { return m_model; }
    Entity* exhaust() const { return m_exhaust; }

    void setModel(TypeRef type, TypeRef field, const std::string& data) const
    {
        EntityEditor::setValue(model(), Model_Type_t, type);
        EntityEditor::setValue(model(), field, data);
    }
    /// Appends an input (or output) bound to the attribute at path of entity (unbound when null).
    CompositeAttribute* add(bool input, Entity* entity, const char* path) const
    {
        CountedCompositeAttribute* values = Conflux::AIModuleGenerator::findValueList(model(), input);
        const std::size_t index = values->childCount();
        values->setCount(static_cast<int>(index) + 1);
        CompositeAttribute* value = values->getItem(index);
        if (entity != nullptr)
        {
            EXPECT_TRUE(EntityEditor::addEntity(value, Entity_t, entity));
            EntityEditor::setValue(value, Attribute_t, path);
        }
        return value;
    }

private:
    std::unique_ptr<Entity, EntityEditorDeleter> m_server;
    Entity* m_model = nullptr;
    Entity* m_exhaust = nullptr;
};

/// A grouped record as the user reads it: the group's message and the line below it.
struct Record
{
    std::string message;
    std::string detail;
    bool operator==(const Record&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Record& r)
{
    return out << "{" << r.message << " | " << r.detail << "}";
}

/// Checks the entities and returns the records, after asserting that each is grouped under the
/// server with the model's line below it.
std::vector<Record> check(std::set<Entity*> entities, AIModelChecker& checker)
{
    std::vector<EntityError> errors;
    checker.checkEntities(entities, errors);
    std::vector<Record> records;
    for (const EntityError& error : errors)
    {
        EXPECT_EQ(error.getGroup(), "Group");
        EXPECT_EQ(error.getEntity()->getTypeRef(), IT_Equipment_t);
        EXPECT_EQ(error.getChildErrors().size(), 1u);
        if (error.getChildErrors().empty())
            continue;
        const EntityError& child = error.getChildErrors()[0];
        EXPECT_EQ(child.getEntity()->getTypeRef(), AI_Model_t);
        EXPECT_EQ(child.getEntity()->getOwnerEntity(), error.getEntity());
        records.push_back({error.getMessage(), child.getMessage()});
    }
    return records;
}

std::vector<Record> check(std::set<Entity*> entities)
{
    AIModelChecker checker;
    return check(std::move(entities), checker);
}

struct RightsGuard
{
    ConfluxAccessRights saved = InstallationSettings::current().confluxAccessRights();
    ~RightsGuard() { InstallationSettings::current().setConfluxAccessRights(saved); }
};
} // namespace

TEST(AIModelChecker, ModelDataOfEachType)
{
    const Record unsupported{"Unsupported AI Model", "Unsupported AI Model"};
    const Record unsupportedFormat{"Unsupported AI Model", "Unsupported AI Model Format"};
    struct Row
    {
        const char* name;
        TypeRef type;
        TypeRef field;
        std::string data;
        std::vector<Record> expected; ///< a detail of "*" only asks for some text
    };
    const Row rows[] = {
        {"python", Python_t, Python_Model_Script_t, "def evaluate(inputs):\n    return inputs\n", {}},
        {"onnx", ONNX_t, ONNX_Model_Data_t, fixture("mlp_4_16_16_2.onnx"), {}},
        {"torchscript", TorchScript_t, TorchScript_Model_Data_t, fixture("mlp_4_16_16_2.pt"), {}},
        {"empty python",
         Python_t,
         Python_Model_Script_t,
         "",
         {{"Unsupported AI Model", "Empty Python Model"}}},
        {"empty onnx", ONNX_t, ONNX_Model_Data_t, "", {{"Unsupported AI Model", "Empty ONNX Model"}}},
        {"empty torchscript",
         TorchScript_t,
         TorchScript_Model_Data_t,
         "",
         {{"Unsupported AI Model", "Empty TorchScript Model"}}},
        {"empty neural network",
         NeuralNetwork_t,
         NeuralNetwork_Model_Data_t,
         "",
         {{"Unsupported AI Model", "Empty NeuralNetwork Model"}}},
        {"unloadable onnx", ONNX_t, ONNX_Model_Data_t, "not a model", {{"Unsupported AI Model", "*"}}},
        {"unloadable torchscript",
         TorchScript_t,
         TorchScript_Model_Data_t,
         "not a model",
         {{"Unsupported AI Model", "*"}}},
        {"unloadable neural network",
         NeuralNetwork_t,
         NeuralNetwork_Model_Data_t,
         "not a model",
         {{"Unsupported AI Model", "*"}}},
        {"python syntax error",
         Python_t,
         Python_Model_Script_t,
         "def evaluate(:\n",
         {{"Unsupported AI Model", "*"}}},
        {"no model type", TypeRef(), TypeRef(), "", {unsupported, unsupportedFormat}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Server s;
        if (row.type.empty())
            s.model()->removeAttribute(s.model()->findAttribute(Model_Type_t));
        else
            s.setModel(row.type, row.field, row.data);
        std::vector<Record> found = check({s.model()});
        ASSERT_EQ(found.size(), row.expected.size());
        for (std::size_t i = 0; i < found.size(); ++i)
        {
            EXPECT_EQ(found[i].message, row.expected[i].message);
            if (row.expected[i].detail == "*")
                EXPECT_FALSE(found[i].detail.empty() || found[i].detail == found[i].message);
            else
                EXPECT_EQ(found[i].detail, row.expected[i].detail);
        }
    }
}

TEST(AIModelChecker, UnsupportedModelsStillHaveTheirValuesChecked)
{
    Server s;
    s.model()->removeAttribute(s.model()->findAttribute(Model_Type_t));
    s.add(true, nullptr, "");
    s.add(false, nullptr, "");
    EXPECT_EQ(check({s.model()}),
              (std::vector<Record>{{"Unsupported AI Model", "Unsupported AI Model"},
                                   {"Unsupported AI Model", "Unsupported AI Model Format"},
                                   {"Incorrectly configured AI Model", "Unconfigured AI Model Outputs"},
                                   {"Incorrectly configured AI Model", "Unconfigured AI Model Inputs"}}));
}

TEST(AIModelChecker, DataThatFailsToLoadIsTriedOncePerCheck)
{
    QTemporaryDir dir;
    const std::string log = dir.filePath("loads.txt").toStdString();
    // Each load of this script leaves a mark, then fails.
    const std::string script = "open(r'" + log + "', 'a').write('x')\nraise RuntimeError('no model here')\n";
    Server first("Server 1");
    Server second("Server 2");
    first.setModel(Python_t, Python_Model_Script_t, script);
    second.setModel(Python_t, Python_Model_Script_t, script);
    auto loads = [&]
    {
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), {}).size();
    };

    AIModelChecker checker;
    const std::vector<Record> found = check({first.server(), second.server()}, checker);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0], found[1]);
    EXPECT_EQ(found[0].message, "Unsupported AI Model");
    EXPECT_NE(found[0].detail.find("no model here"), std::string::npos) << found[0].detail;
    EXPECT_EQ(loads(), 1u);

    // The next check starts afresh.
    EXPECT_EQ(check({first.model()}, checker), std::vector<Record>{found[0]});
    EXPECT_EQ(loads(), 2u);
}

TEST(AIModelChecker, ValuesMustBeBoundOutputsReportedFirst)
{
    Server s;
    s.add(true, s.server(), typicalPower);
    s.add(true, nullptr, "");
    s.add(true, s.exhaust(), "No Such Attribute");
    s.add(false, s.exhaust(), "Temperature");
    s.add(false, nullptr, "");
    EXPECT_EQ(check({s.model()}),
              (std::vector<Record>{{"Incorrectly configured AI Model", "Unconfigured AI Model Outputs"},
                                   {"Incorrectly configured AI Model", "Unconfigured AI Model Inputs"},
                                   {"Incorrectly configured AI Model", "Unconfigured AI Model Inputs"}}));
}

TEST(AIModelChecker, InitialInputsWithinTheTrainingBounds)
{
    struct Row
    {
        const char* name;
        bool hasMin;
        double min;
        bool hasMax;
        double max;
        double value;
        bool outside;
    };
    const Row rows[] = {
        {"at the maximum", false, 0.0, true, 40.0, 40.0, false},
        {"above the maximum", false, 0.0, true, 40.0, 40.5, true},
        {"at the minimum", true, 10.0, false, 0.0, 10.0, false},
        {"below the minimum", true, 10.0, false, 0.0, 9.5, true},
        {"between both", true, 10.0, true, 40.0, 25.0, false},
        {"above both", true, 10.0, true, 40.0, 41.0, true},
        {"no bounds", false, 10.0, false, 40.0, 1e6, false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Server s;
        s.add(true, s.exhaust(), "Temperature");
        CompositeAttribute* input = s.add(true, s.server(), typicalPower);
        EntityEditor::setValue(input, Bounds_t / Has_Min_t, row.hasMin);
        EntityEditor::setValue(input, Bounds_t / Min_t, row.min);
        EntityEditor::setValue(input, Bounds_t / Has_Max_t, row.hasMax);
        EntityEditor::setValue(input, Bounds_t / Max_t, row.max);
        EntityEditor::setValue(s.server(), typicalPower, row.value);
        const std::vector<Record> expected =
            row.outside ? std::vector<Record>{{outOfBounds,
                                               "AI Model Initial Input 1 is out of bounds of the training "
                                               "data. This could lead to unreliable results. Either extend "
                                               "the training data range to cover the input, or adjust the "
                                               "input to fall within the bounds of the training data."}}
                        : std::vector<Record>{};
        EXPECT_EQ(check({s.model()}), expected);
    }
}

TEST(AIModelChecker, SimulationResultsHaveNoInitialValueToBound)
{
    Server s;
    CompositeAttribute* input = s.add(true, s.server(), "Simulation Results.Mean Inlet Temperature");
    EntityEditor::setValue(input, Bounds_t / Has_Max_t, true);
    EntityEditor::setValue(input, Bounds_t / Max_t, -100.0);
    EXPECT_TRUE(check({s.model()}).empty());
}

TEST(AIModelChecker, ScalingThatDividesByZero)
{
    Server s;
    CompositeAttribute* input = s.add(true, s.server(), typicalPower);
    s.add(false, s.exhaust(), "Temperature");
    CompositeAttribute* scaled = s.add(false, s.exhaust(), "Flow Rate");
    EntityEditor::setValue(input, To_Model_Transformation_t / Type_t, Mean_Std_Dev_t);
    EntityEditor::setValue(input, To_Model_Transformation_t / Mean_Std_Dev_Transformation_t / Std_Dev_t, 0.0);
    EntityEditor::setValue(scaled, From_Model_Transformation_t / Type_t, Mean_Std_Dev_t);
    EntityEditor::setValue(scaled, From_Model_Transformation_t / Mean_Std_Dev_Transformation_t / Std_Dev_t,
                           0.0);

    EXPECT_EQ(
        check({s.model()}),
        (std::vector<Record>{
            {"Incorrectly configured AI Model",
             "AI Model Output 1 has a standard deviation of 0 in its mean and standard deviation scaling"},
            {"Incorrectly configured AI Model",
             "AI Model Input 0 has a standard deviation of 0 in its mean and standard deviation scaling"}}));

    // A standard deviation that the chosen scaling does not use does not matter.
    EntityEditor::setValue(input, To_Model_Transformation_t / Type_t, Simple_Scaling_t);
    EntityEditor::setValue(scaled, From_Model_Transformation_t / Mean_Std_Dev_Transformation_t / Std_Dev_t,
                           0.5);
    EXPECT_TRUE(check({s.model()}).empty());
}

TEST(AIModelChecker, OnlyModelsInUseAreChecked)
{
    Server used("Server 1");
    Server unused("Server 2");
    used.setModel(ONNX_t, ONNX_Model_Data_t, "");
    unused.setModel(ONNX_t, ONNX_Model_Data_t, "");
    // Straight into the attribute: through the editor the AI model edit extender would delete the model.
    ASSERT_TRUE(unused.server()->findAttribute(Cooling_t / Modelling_Level_t)->setValueFromString("Simple"));
    EXPECT_EQ(check({used.server(), unused.server(), unused.model(), used.model()}),
              (std::vector<Record>{{"Unsupported AI Model", "Empty ONNX Model"}}));

    // A model whose owning link is hidden is not reported.
    used.server()->findAttribute(AIModelLink_t)->editableDefinition().hidden = true;
    EntityEditor::clearAttributeCaches();
    EXPECT_TRUE(check({used.model()}).empty());
}

TEST(AIModelChecker, RefusedPythonLinkerIsReportedOnThePythonModel)
{
    RightsGuard guard;
    ConfluxAccessRights rights = ConfluxAccessRights::all();
    rights.setAllowed(5, false);
    InstallationSettings::current().setConfluxAccessRights(rights);

    Server s;
    s.add(false, nullptr, "");
    const std::vector<Record> found = check({s.model()});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].message.rfind("AI Model - ", 0), 0u) << found[0].message;
    EXPECT_EQ(found[0].detail, found[0].message);

    s.setModel(ONNX_t, ONNX_Model_Data_t, fixture("mlp_4_16_16_2.onnx"));
    EXPECT_EQ(check({s.model()}),
              (std::vector<Record>{{"Incorrectly configured AI Model", "Unconfigured AI Model Outputs"}}));
}

TEST(AIModelChecker, ErrorsAreOnlyAppended)
{
    Server s;
    s.setModel(ONNX_t, ONNX_Model_Data_t, "");
    AIModelChecker checker;
    std::vector<EntityError> errors{EntityError(s.server(), "earlier", "")};
    std::set<Entity*> entities{s.server()};
    checker.checkFlowNetworkOnlyEntities(entities, errors);
    ASSERT_EQ(errors.size(), 1u);
    checker.checkEntities(entities, errors);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].getMessage(), "earlier");
    EXPECT_EQ(checker.getLabel(), "AI Modelling Errors");
}

namespace
{
TEST(AIModelChecker, OnnxOutputsPerCaseMustMatchTheModelsOutputs)
{
    struct Row
    {
        const char* name;
        int inputs;
        int outputs;
        std::vector<Record> expected;
    };
    const std::string inputShape = "ONNX model: evaluation of a {1, 3} input failed: graph input 'inputs' has the shape "
                                   "{-1, 4} (-1 for any size), not {1, 3}";
    const Row rows[] = {
        {"matching", 4, 2, {}},
        {"one output more",
         4,
         3,
         {{"Incorrectly configured AI Model",
           "The model gives 2 outputs per case for the AI model's 4 inputs, but the AI model has 3 outputs"}}},
        {"one output fewer",
         4,
         1,
         {{"Incorrectly configured AI Model",
           "The model gives 2 outputs per case for the AI model's 4 inputs, but the AI model has 1 output"}}},
        {"one input fewer",
         3,
         2,
         {{"Incorrectly configured AI Model", "The model does not take the AI model's 3 inputs: " + inputShape}}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Server s;
        s.setModel(ONNX_t, ONNX_Model_Data_t, fixture("mlp_4_16_16_2.onnx"));
        for (int i = 0; i < row.inputs; ++i)
            s.add(true, s.server(), typicalPower);
        for (int i = 0; i < row.outputs; ++i)
            s.add(false, s.exhaust(), "Temperature");
        EXPECT_EQ(check({s.model()}), row.expected);
    }
}
} // namespace
