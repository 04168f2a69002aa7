#include "tests/host/entitymodel/TestModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace EntityModel;
using TestModel::ProjectFixture;

namespace
{
// Records what extenders are told, with the attribute's value at the moment it is told.
struct Recorder : EntityEditExtender
{
    struct Call
    {
        Entity* entity;
        Attribute* attribute;
        std::string value;
        std::string valueBefore;
        bool flag;
    };
    std::vector<Call> calls;
    std::vector<bool> postSet;
    std::vector<std::vector<Entity*>> preDelete;
    int postDelete = 0;

    void extendSetValueOperation(Entity* e, Attribute* a, const std::string& value, bool flag) override
    {
        calls.push_back({e, a, value, a->getValue(), flag});
    }
    void extendPostSetValueOperation(bool applied) override { postSet.push_back(applied); }
    void extendPreDeleteOperation(const std::vector<Entity*>& entities, bool) override
    {
        preDelete.push_back(entities);
    }
    bool extendPostDeleteOperation() override
    {
        ++postDelete;
        return true;
    }
};

struct ScopedExtender
{
    explicit ScopedExtender(EntityEditExtender* e) : extender(e) { EntityEditor::registerEditExtender(e); }
    ~ScopedExtender() { EntityEditor::unregisterEditExtender(extender); }
    EntityEditExtender* extender;
};
} // namespace

TEST(EntityEditor, ExtendersHearTheValueAsTextBeforeItIsApplied)
{
    ProjectFixture f;
    Recorder recorder;
    ScopedExtender scope(&recorder);

    EntityEditor::setValue(f.server1, Cooling_t / Modelling_Level_t, AI_Model_t, false);
    EntityEditor::setValue(f.server1, "Power", 2500.5);
    EntityEditor::setValue(f.server1, "Slots", 4);
    EntityEditor::setValue(f.server1, "Locked", true);
    EXPECT_FALSE(EntityEditor::setValueNoThrow(f.server1, "Slots", "four"));

    ASSERT_EQ(recorder.calls.size(), 5u);
    const std::pair<std::string, std::string> expected[] = {
        {"AI Model", "Simple"}, {"2500.5", "1000"}, {"4", "2"}, {"true", "false"}, {"four", "4"}};
    for (std::size_t i = 0; i < recorder.calls.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.calls[i].entity, f.server1);
        EXPECT_EQ(recorder.calls[i].value, expected[i].first);
        EXPECT_EQ(recorder.calls[i].valueBefore, expected[i].second);
    }
    EXPECT_EQ(recorder.calls[0].attribute, f.server1->findAttribute("Cooling.Modelling Level"));
    EXPECT_FALSE(recorder.calls[0].flag);
    EXPECT_TRUE(recorder.calls[1].flag);
    EXPECT_EQ(recorder.postSet, (std::vector<bool>{true, true, true, true, false}));
    EXPECT_DOUBLE_EQ(f.server1->findAttribute("Power")->standardVal(), 2500.5);
    EXPECT_EQ(f.server1->findAttribute("Slots")->intVal(), 4);
}

TEST(EntityEditor, FailedEditsNameEntityPathAndValue)
{
    ProjectFixture f;
    try
    {
        EntityEditor::setValue(f.server1, Cooling_t / Mode_t, "x");
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "No attribute 'Cooling.Mode' on 'Room 1/Server 1'");
    }
    try
    {
        EntityEditor::setValue(f.server1, "Cooling.Modelling Level", "Quantum");
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Cannot set 'Cooling.Modelling Level' on 'Room 1/Server 1' to 'Quantum'");
    }
    EXPECT_FALSE(EntityEditor::setValueNoThrow(nullptr, "Power", 1.0));
    EXPECT_FALSE(EntityEditor::setAttributeValueNoThrow(nullptr, 1.0));
    EXPECT_THROW(EntityEditor::createEntity(TypeRef("Nonexistent"), f.room1, "Equipment"),
                 std::runtime_error);
    EXPECT_THROW(EntityEditor::createEntity(TypeRef("Room"), f.room1, "Equipment"), std::runtime_error);
    EXPECT_THROW(EntityEditor::createEntity(TypeRef("Server"), f.room1, "Nowhere"), std::runtime_error);
}

TEST(EntityEditor, ValuesOfAnyNumericTypeAndBooleansOnYesNoChoices)
{
    ProjectFixture f;
    EntityEditor::setValue(f.server1, "Input Values", std::size_t(2));
    EntityEditor::setValue(f.server1, "Power", 2.5f);
    EntityEditor::setValue(f.control, AI_Model_Control_t / Active_t, true);
    EXPECT_EQ(getIntValue(f.server1, "Input Values"), 2);
    EXPECT_DOUBLE_EQ(getStandardDoubleValue(f.server1, "Power"), 2.5);
    EXPECT_EQ(getTypeValue(f.control, AI_Model_Control_t / Active_t), Yes_t);
    EntityEditor::setValue(f.control, AI_Model_Control_t / Active_t, false);
    EXPECT_EQ(getTypeValue(f.control, AI_Model_Control_t / Active_t), No_t);
    // Only Yes/No choices read booleans.
    EXPECT_FALSE(EntityEditor::setValueNoThrow(f.server1, Cooling_t / Modelling_Level_t, true));
}

TEST(EntityEditor, CountEditsGrowAndShrinkItems)
{
    ProjectFixture f;
    Recorder recorder;
    ScopedExtender scope(&recorder);
    EntityEditor::setValue(f.server1, "Input Values", 3);
    EXPECT_EQ(getIntValue(f.server1, "Input Values"), 3);
    EXPECT_NE(f.server1->findAttribute("Input Values.Input 3"), nullptr);
    EntityEditor::setValue(f.server1, "Input Values", 2);
    EXPECT_EQ(f.server1->findAttribute("Input Values.Input 3"), nullptr);
    ASSERT_EQ(recorder.calls.size(), 2u);
    EXPECT_EQ(recorder.calls[1].value, "2");
    EXPECT_EQ(recorder.calls[1].valueBefore, "3");
}

TEST(EntityEditor, CreateLinkAndDeleteEntities)
{
    ProjectFixture f;
    Recorder recorder;
    ScopedExtender scope(&recorder);

    Entity* third = EntityEditor::createEntity(TypeRef("Server"), f.room1, "Equipment", nullptr, true, true,
                                               false, "Server 3", 0);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(getLinkedEntities(f.room1, "Equipment"), (std::vector<Entity*>{third, f.server1, f.server2}));
    EXPECT_TRUE(EntityEditor::addEntity(f.server2, "Neighbours", third));
    EXPECT_TRUE(EntityEditor::addEntity(f.server2, "Neighbours", f.server1));
    EXPECT_FALSE(EntityEditor::addEntity(f.server2, "Neighbours", f.room1));

    // Deleting a room and one of its servers together deletes each once.
    EntityEditor::deleteEntities({f.server1, f.room1, third});
    ASSERT_EQ(recorder.preDelete.size(), 1u);
    EXPECT_EQ(recorder.preDelete[0], (std::vector<Entity*>{f.room1}));
    EXPECT_EQ(recorder.postDelete, 1);
    EXPECT_EQ(getLinkedEntities(f.root, "Rooms"), (std::vector<Entity*>{f.room2}));

    // Deleting nothing tells nobody.
    EntityEditor::deleteEntities({nullptr});
    EXPECT_EQ(recorder.postDelete, 1);
}

TEST(EntityEditor, ReferringLinksForgetDeletedEntities)
{
    ProjectFixture f;
    EXPECT_TRUE(EntityEditor::addEntity(f.server1, "Neighbours", f.server2));
    EntityEditor::deleteEntity(f.server2);
    EXPECT_TRUE(getLinkedEntities(f.server1, "Neighbours").empty());
    EXPECT_EQ(getLinkedEntities(f.room1, "Equipment"), (std::vector<Entity*>{f.server1}));
}

TEST(EntityEditor, RemoveAllEntitiesDeletesOwnedAndUnlinksReferred)
{
    ProjectFixture f;
    EntityEditor::addEntity(f.server1, "Neighbours", f.server2);
    EXPECT_TRUE(EntityEditor::removeAllEntities(f.server1, "Neighbours"));
    EXPECT_TRUE(getLinkedEntities(f.server1, "Neighbours").empty());
    EXPECT_EQ(getLinkedEntities(f.room1, "Equipment").size(), 2u); // still there

    EXPECT_TRUE(EntityEditor::removeAllEntities(f.room1, "Equipment"));
    EXPECT_TRUE(getLinkedEntities(f.room1, "Equipment").empty());
    EXPECT_FALSE(EntityEditor::removeAllEntities(f.room1, "Power"));
}

TEST(EntityEditor, DetachedEntitiesBelongToTheirHolder)
{
    ProjectFixture f;
    auto detached = EntityEditor::createDetachedEntity(TypeRef("Server"), "Loose");
    ASSERT_NE(detached, nullptr);
    EXPECT_EQ(detached->getOwnerLink(), nullptr);
    EXPECT_EQ(EntityFetcher::getOwnerProject(detached.get()), nullptr);
    EntityEditor::deleteEntity(detached.get()); // not held by a link: left to its holder
    EXPECT_EQ(detached->getName(), "Loose");

    // A referring link from the detached entity into the project is cleaned when it goes.
    EXPECT_TRUE(EntityEditor::addEntity(detached.get(), "Neighbours", f.server1));
    EXPECT_EQ(f.server1->getReferringLinks().size(), 1u);
    detached.reset();
    EXPECT_TRUE(f.server1->getReferringLinks().empty());

    // An owning link takes over a detached entity handed to addEntity.
    Entity* raw = EntityEditor::createEntity(TypeRef("Server"), nullptr, {});
    EXPECT_TRUE(EntityEditor::addEntity(f.room2, "Equipment", raw));
    EXPECT_EQ(raw->getOwnerEntity(), f.room2);
}

TEST(EntityEditor, RegistarRegistersForItsLifetime)
{
    auto extender = std::make_unique<Recorder>();
    Recorder* raw = extender.get();
    {
        EntityEditRegistar registar(std::move(extender));
        EXPECT_THAT(EntityEditor::getEditExtenders(), ::testing::Contains(raw));
        ProjectFixture f;
        EntityEditor::setValue(f.server1, "Slots", 5);
        EXPECT_EQ(raw->calls.size(), 1u);
    }
    EXPECT_THAT(EntityEditor::getEditExtenders(), ::testing::Not(::testing::Contains(raw)));
}

TEST(EntityEditor, ExtenderMayCreateAndDeleteEntitiesWhileTold)
{
    // The pattern of an extender that keeps an AI model under equipment whose modelling level is "AI Model".
    struct AIModelKeeper : EntityEditExtender
    {
        void extendSetValueOperation(Entity* e, Attribute* a, const std::string& value, bool flag) override
        {
            if (!e || !a || a->getAttributePath() != Cooling_t / Modelling_Level_t)
                return;
            Entity* linked = getLinkedEntity(e, AIModelLink_t);
            if (value == AI_Model_t.getLabel())
            {
                if (!linked)
                    EntityEditor::createEntity(AI_Model_t, e, AIModelLink_t, nullptr, flag, true, false, "",
                                               -1);
            }
            else if (linked)
                EntityEditor::deleteEntity(linked, false, flag);
        }
    } keeper;
    ProjectFixture f;
    ScopedExtender scope(&keeper);
    EntityEditor::setValue(f.server1, Cooling_t / Modelling_Level_t, AI_Model_t);
    EntityEditor::setValue(f.server1, Cooling_t / Modelling_Level_t, AI_Model_t);
    ASSERT_NE(getLinkedEntity(f.server1, AIModelLink_t), nullptr);
    EXPECT_EQ(getLinkedEntity(f.server1, AIModelLink_t)->getOwnerEntity(), f.server1);
    std::vector<Entity*> models = f.root->getOwnedChildEntitiesOfType(AI_Model_t);
    EXPECT_EQ(models.size(), 1u);
    EntityEditor::setValue(f.server1, Cooling_t / Modelling_Level_t, "Detailed");
    EXPECT_EQ(getLinkedEntity(f.server1, AIModelLink_t), nullptr);
}

TEST(EntityEditor, CurrentProjectIsForgottenWhenItGoes)
{
    auto schema = TestModel::makeSchema();
    auto project = std::make_unique<Project>(DataFactory(&schema).createEntity(Project_t));
    EntityEditor::setCurrentProject(project.get());
    EXPECT_EQ(EntityEditor::getRootEntity(), project->getRootEntity());
    project.reset();
    EXPECT_EQ(EntityEditor::getCurrentProject(), nullptr);
    EXPECT_EQ(EntityEditor::getRootEntity(), nullptr);
}
