#include "src/ai/training/AIModelEntityEditExtender.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace EntityModel;

namespace
{
struct Sample
{
    std::unique_ptr<Project> project =
        ProjectFile::load(QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"));

    Entity* entity(const std::string& name) const
    {
        std::vector<Entity*> all;
        project->getRootEntity()->getOwnedChildEntities(all);
        for (Entity* e : all)
            if (e->getName() == name)
                return e;
        throw std::runtime_error("no entity " + name);
    }
    std::size_t models() const
    {
        return project->getRootEntity()->getOwnedChildEntitiesOfType(AI_Model_t).size();
    }
};

Entity* modelOf(Entity* owner)
{
    return getLinkedEntity(owner, AIModelLink_t);
}
} // namespace

TEST(AIModelEntityEditExtender, RegisteredWhileTheLibraryIsLoaded)
{
    const auto extenders = EntityEditor::getEditExtenders();
    EXPECT_EQ(std::count_if(extenders.begin(), extenders.end(),
                            [](EntityEditExtender* e)
                            { return dynamic_cast<Conflux::AIModelEntityEditExtender*>(e) != nullptr; }),
              1);
}

TEST(AIModelEntityEditExtender, SelectingTheAIModelCreatesOneAndLeavingItDeletesIt)
{
    struct Row
    {
        const char* owner;
        AttributePath path;
        const char* other;
    };
    const Row rows[] = {
        {"GPU Node A02-1", Cooling_t / Modelling_Level_t, "Detailed"},
        {"CDU 1", Cooling_t / Modelling_Level_t, "Simple"},
        {"Supply Air Controller", Controls_t / Mode_t, "Fixed"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.owner);
        Sample s;
        Entity* owner = s.entity(row.owner);
        const std::size_t before = s.models();
        ASSERT_EQ(modelOf(owner), nullptr);

        EntityEditor::setValue(owner, row.path, AI_Model_t);
        Entity* model = modelOf(owner);
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(model->getTypeRef(), AI_Model_t);
        EXPECT_EQ(model->getOwnerEntity(), owner);
        // Selecting it again keeps the one model.
        EntityEditor::setValue(owner, row.path, AI_Model_t);
        EXPECT_EQ(modelOf(owner), model);
        EXPECT_EQ(s.models(), before + 1);

        EntityEditor::setValue(owner, row.path, row.other);
        EXPECT_EQ(modelOf(owner), nullptr);
        EXPECT_EQ(s.models(), before);
        EntityEditor::setValue(owner, row.path, row.other);
        EXPECT_EQ(s.models(), before);
    }
}

TEST(AIModelEntityEditExtender, OtherEditsLeaveTheModelAlone)
{
    Sample s;
    Entity* server = s.entity("Server A01-1");
    Entity* model = modelOf(server);
    ASSERT_NE(model, nullptr);
    const std::size_t before = s.models();

    // Another attribute of the item, and the watched path's value on a type that has no AI model.
    EntityEditor::setValue(server, Power_t / Power_Type_t, "Nameplate");
    EntityEditor::setValue(s.entity("Server A01-1 Exhaust"), Temperature_t, 30.0);
    // A value the attribute refuses is no change of selection: the model stays.
    EXPECT_FALSE(EntityEditor::setValueNoThrow(server, Cooling_t / Modelling_Level_t, "Liquid"));
    EXPECT_EQ(modelOf(server), model);
    EXPECT_EQ(s.models(), before);

    // Told directly about entities or attributes it does not watch, it does nothing.
    Conflux::AIModelEntityEditExtender extender;
    extender.extendSetValueOperation(nullptr, nullptr, "Detailed", true);
    extender.extendSetValueOperation(server, server->findAttribute(Power_t / Power_Type_t), "Detailed", true);
    extender.extendSetValueOperation(model, model->findAttribute(Model_Type_t), "Detailed", true);
    EXPECT_EQ(modelOf(server), model);
}

TEST(AIModelEntityEditExtender, ACreatedModelIsNamedAfterItsOwnerAndTheNameIsUnique)
{
    Sample s;
    Entity* node = s.entity("GPU Node A02-1");
    EntityEditor::setValue(node, Cooling_t / Modelling_Level_t, AI_Model_t);
    ASSERT_NE(modelOf(node), nullptr);
    EXPECT_EQ(modelOf(node)->getName(), "GPU Node A02-1 AI Model");

    // Dropped and made again, the name is free once more; a name already taken gets a number.
    EntityEditor::setValue(node, Cooling_t / Modelling_Level_t, "Detailed");
    Entity* cdu = s.entity("CDU 1");
    cdu->setName("GPU Node A02-1 AI Model");
    EntityEditor::setValue(node, Cooling_t / Modelling_Level_t, AI_Model_t);
    EXPECT_EQ(modelOf(node)->getName(), "GPU Node A02-1 AI Model 2");
}
