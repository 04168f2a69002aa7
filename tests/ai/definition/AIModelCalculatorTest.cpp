#include "src/ai/definition/AIModelCalculator.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DerivedDataPass.h"
#include "host/entitymodel/EditTransaction.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/ai/definition/AIModuleGenerator.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace EntityModel;
using Conflux::AIFunctorBuilder;
using Conflux::AIModelCalculator;
using Conflux::AIModuleGenerator;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");

/// Counts the exchange trees built, by linked entity.
class CountingCalculator : public AIModelCalculator
{
public:
    std::map<Entity*, int> builds;

protected:
    Conflux::Model::EntityTree buildExchangeTree(Entity* linked) override
    {
        ++builds[linked];
        return AIModelCalculator::buildExchangeTree(linked);
    }
};

struct Sample
{
    std::unique_ptr<Project> project = ProjectFile::load(sampleFile);
    Entity* root = project->getRootEntity();
    Entity* control = EntityFetcher::getSolutionControl(root);

    Entity* entity(const std::string& name) const
    {
        std::vector<Entity*> all;
        root->getOwnedChildEntities(all);
        for (Entity* e : all)
            if (e->getName() == name)
                return e;
        throw std::runtime_error("no entity " + name);
    }
    Entity* model() const { return entity("Server A01-1 Surrogate"); }
    CompositeAttribute* value(bool input, std::size_t n) const
    {
        return AIModuleGenerator::findValueList(model(), input)->getItem(n);
    }
};

std::vector<Entity*> candidates(const CompositeAttribute* value)
{
    return getLinkedEntities(value, AI_Model_Attribute_List_t);
}

std::vector<std::string> candidateNames(const CompositeAttribute* value)
{
    std::vector<std::string> names;
    for (Entity* candidate : candidates(value))
        names.push_back(getStringValue(candidate, Name_t));
    return names;
}

bool choiceValid(CompositeAttribute* value)
{
    Attribute* chosen = value->findAttribute(Attribute_t, false);
    chosen->ensureComputed();
    return chosen->isValid();
}

void setLevel(Entity* equipment, TypeRef level)
{
    // Straight into the attribute: no extender creates or deletes the model.
    ASSERT_TRUE(
        equipment->findAttribute(Cooling_t / Modelling_Level_t)->setValueFromString(level.getLabel()));
}
} // namespace

TEST(AIModelCalculator, SampleCandidatesAreTheReadableAttributesOfTheLinkedEntity)
{
    Sample s;
    struct Row
    {
        bool input;
        std::size_t n;
        std::vector<std::pair<std::string, std::string>> expected; // name, host path
    };
    const Row rows[] = {
        {true,
         1,
         {{"Simulation Results.Flow Net.Net Flow", "Simulation Results.Flow Net.Net Flow"},
          {"Simulation Results.Temperature Net.Mean Temperature Net",
           "Simulation Results.Temperature Net.Mean Temperature Net"}}},
        {false, 0, {{"Flow Rate", "Flow Rate"}, {"Temperature", "Temperature"}}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.n);
        CompositeAttribute* value = s.value(row.input, row.n);
        std::vector<std::pair<std::string, std::string>> found;
        for (Entity* candidate : candidates(value))
            found.emplace_back(getStringValue(candidate, Name_t), getStringValue(candidate, Path_t));
        EXPECT_EQ(found, row.expected);
        EXPECT_TRUE(choiceValid(value));
    }
    // The server itself offers its readable values; the chosen one is among them.
    const std::vector<std::string> server = candidateNames(s.value(true, 0));
    EXPECT_TRUE(std::is_sorted(server.begin(), server.end()));
    EXPECT_NE(std::find(server.begin(), server.end(), "Power.Power Definition.Typical Power"), server.end());
}

TEST(AIModelCalculator, TooFewCandidateEntitiesAreMadeUpAndAllAreRenamedInOrder)
{
    Sample s;
    CompositeAttribute* value = s.value(true, 0);
    const std::vector<std::string> expected = candidateNames(value);
    ASSERT_GT(expected.size(), 2u);
    std::vector<Entity*> kept = candidates(value);
    EntityEditor::deleteEntities(std::vector<Entity*>(kept.begin() + 2, kept.end()));
    kept.resize(2);
    EntityEditor::setValue(kept[0], Name_t, "stale");

    AIModelCalculator calculator;
    calculator.calculateDerivedDataAIModel(s.model());
    ChangeSet changes;
    calculator.getChangedEntities(changes);
    EXPECT_EQ(candidateNames(value), expected);
    // Every existing candidate of the model's entries is reported changed, the new ones created.
    for (Entity* entity : kept)
        EXPECT_EQ(changes.getModified().count(entity), 1u);
    EXPECT_EQ(changes.getCreated().size(), expected.size() - 2);
    EXPECT_TRUE(changes.getDeleted().empty());
    for (Entity* created : changes.getCreated())
    {
        EXPECT_EQ(created->getOwnerEntity(), s.model());
        EXPECT_EQ(changes.getModified().count(created), 0u);
    }
    EXPECT_TRUE(choiceValid(value));
}

TEST(AIModelCalculator, WithoutCandidatesTheListGoesAndTheChoiceIsEmptiedAndInvalid)
{
    struct Case
    {
        const char* name;
        bool input;
        std::size_t n;
        std::function<void(Sample&, CompositeAttribute*)> change;
    };
    const Case cases[] = {
        {"the link removed", true, 0,
         [](Sample&, CompositeAttribute* value)
         { static_cast<LinkAttribute*>(value->findAttribute(Entity_t, false))->clear(); }},
        {"an output on an entity with nothing writable", false, 0,
         [](Sample& s, CompositeAttribute* value)
         { ASSERT_TRUE(EntityEditor::addEntity(value, Entity_t, s.entity("Server A01-1 Inlet"))); }},
        {"an entity outside the exchange", true, 1,
         [](Sample& s, CompositeAttribute*)
         { EntityEditor::setValue(s.entity("Server A01-1 Inlet"), Conflux_t / Active_t, false); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        Sample s;
        CompositeAttribute* value = s.value(c.input, c.n);
        const std::vector<Entity*> before = candidates(value);
        ASSERT_FALSE(before.empty());
        c.change(s, value);

        AIModelCalculator calculator;
        calculator.calculateDerivedData(s.model());
        ChangeSet changes;
        calculator.getChangedEntities(changes);
        EXPECT_TRUE(candidates(value).empty());
        EXPECT_EQ(changes.getDeleted(), (std::set<Entity*>(before.begin(), before.end())));
        EXPECT_EQ(getStringValue(value, Attribute_t, "unchanged"), "");
        EXPECT_FALSE(choiceValid(value));
        EXPECT_EQ(getShortcutTarget(value, Value_t), nullptr);
    }
}

TEST(AIModelCalculator, FlagFollowsTheModelsInUseOfTheProjectButNotOneUnusedModel)
{
    Sample s;
    AIModelCalculator calculator;
    const AttributePath flag = AI_Model_Control_t / Active_t;
    ASSERT_EQ(getTypeValue(s.control, flag), Yes_t);

    setLevel(s.entity("Server A01-1"), TypeRef("Detailed"));
    EXPECT_FALSE(AIFunctorBuilder::isAIModelInUse(s.model()));
    const std::vector<Entity*> kept = candidates(s.value(true, 0));
    calculator.calculateDerivedData(s.model());
    EXPECT_EQ(getTypeValue(s.control, flag), Yes_t);
    // A model not in use is left as it is.
    EXPECT_EQ(candidates(s.value(true, 0)), kept);

    calculator.calculateDerivedData(s.root);
    EXPECT_EQ(getTypeValue(s.control, flag), No_t);

    setLevel(s.entity("Server A01-1"), AI_Model_t);
    calculator.calculateDerivedData(s.model());
    EXPECT_EQ(getTypeValue(s.control, flag), Yes_t);
}

TEST(AIModelCalculator, InUseOnlyUnderAnOwnerThatSelectsIt)
{
    Sample s;
    EXPECT_TRUE(AIFunctorBuilder::isAIModelInUse(s.model()));
    EXPECT_FALSE(AIFunctorBuilder::isAIModelInUse(nullptr));
    EXPECT_FALSE(AIFunctorBuilder::isAIModelInUse(s.entity("Server A01-1")));
    auto detached = EntityEditor::createDetachedEntity(AI_Model_t, "Loose");
    EXPECT_FALSE(AIFunctorBuilder::isAIModelInUse(detached.get()));

    // A controller selects its model by its control mode.
    Entity* controller = s.entity("Supply Air Controller");
    Entity* model = EntityEditor::createEntity(AI_Model_t, controller, AIModelLink_t);
    EXPECT_FALSE(AIFunctorBuilder::isAIModelInUse(model));
    ASSERT_TRUE(controller->findAttribute(Controls_t / Mode_t)->setValueFromString("AI Model"));
    EXPECT_TRUE(AIFunctorBuilder::isAIModelInUse(model));
}

TEST(AIModelCalculator, TwoModelsOnOneEntityBuildItsTreeOncePerDirection)
{
    Sample s;
    Entity* gpu = s.entity("GPU Node A02-1");
    setLevel(gpu, AI_Model_t);
    Entity* second =
        EntityEditor::createEntity(AI_Model_t, gpu, AIModelLink_t, nullptr, true, true, false, "Second");
    Entity* server = s.entity("Server A01-1");
    Entity* exhaust = s.entity("Server A01-1 Exhaust");
    for (bool input : {true, false})
    {
        CountedCompositeAttribute* list = AIModuleGenerator::findValueList(second, input);
        list->setCount(1);
        ASSERT_TRUE(EntityEditor::addEntity(list->getItem(0), Entity_t, input ? server : exhaust));
    }

    CountingCalculator calculator;
    calculator.calculateDerivedData(s.root);
    // Server: inputs of both models; inlet: one input; exhaust: outputs of both models.
    EXPECT_EQ(calculator.builds,
              (std::map<Entity*, int>{{server, 1}, {s.entity("Server A01-1 Inlet"), 1}, {exhaust, 1}}));
    EXPECT_EQ(candidateNames(AIModuleGenerator::findValueList(second, true)->getItem(0)),
              candidateNames(s.value(true, 0)));
    EXPECT_EQ(candidateNames(AIModuleGenerator::findValueList(second, false)->getItem(0)),
              candidateNames(s.value(false, 0)));

    // The cache lives for one run only.
    calculator.calculateDerivedData(s.root);
    EXPECT_EQ(calculator.builds[server], 2);
}

TEST(AIModelCalculator, RegisteredWithTheLibraryAndRunByEditTransactions)
{
    EXPECT_NE(dynamic_cast<AIModelCalculator*>(DerivedDataPass::findCalculator("AIModel")), nullptr);
    Sample s;
    CompositeAttribute* value = s.value(true, 0);
    const std::vector<Entity*> before = candidates(value);
    EditTransaction transaction(s.root);
    ASSERT_TRUE(EntityEditor::addEntity(value, Entity_t, s.entity("Server A01-1 Inlet")));
    EXPECT_EQ(candidates(value), before); // nothing derived before the commit
    const ChangeSet changes = transaction.commit();
    EXPECT_EQ(candidates(value).size(), 2u);
    EXPECT_EQ(changes.getDeleted(), (std::set<Entity*>(before.begin() + 2, before.end())));
}

TEST(AIModelCalculator, SampleProjectHoldsWhatTheCalculatorDerives)
{
    QFile file(sampleFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // Read without the pass that loading runs, then derive.
    std::vector<std::unique_ptr<Entity>> entities = ProjectFile::readEntities(file.readAll(), sampleFile);
    Project project(std::move(entities.front()), sampleFile.toStdString());
    const QByteArray stored = ProjectFile::toJson(project, sampleFile);

    const ChangeSet changes = DerivedDataPass::run(project.getRootEntity());
    EXPECT_TRUE(changes.getCreated().empty());
    EXPECT_TRUE(changes.getDeleted().empty());
    EXPECT_EQ(changes.getModified().size(), 14u);
    EXPECT_EQ(ProjectFile::toJson(project, sampleFile).toStdString(), stored.toStdString());
}
