#include "tests/host/entitymodel/TestModel.h"

#include "host/entitymodel/SchemaLoader.h"

#include <gtest/gtest.h>

using namespace EntityModel;
using TestModel::ProjectFixture;

TEST(EntityReading, DefaultsWhenOwnerOrAttributeIsMissingOrOfAnotherKind)
{
    ProjectFixture f;
    struct Row
    {
        const CompositeAttribute* owner;
        AttributePath path;
    };
    const Row rows[] = {
        {nullptr, "Power"},           {f.server1, "Nothing"}, {f.server1, "Cooling.Nothing"},
        {f.server1, "Cooling"},       // a composite holds no value
        {f.room1, "Equipment.Power"}, // paths do not run through links
    };
    const Utilities::bytearray bytes = Utilities::toByteArray("default");
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path.toString('.'));
        EXPECT_EQ(getStringValue(row.owner, row.path, "dflt"), "dflt");
        EXPECT_TRUE(getBoolValue(row.owner, row.path, true));
        EXPECT_EQ(getIntValue(row.owner, row.path, -7), -7);
        EXPECT_DOUBLE_EQ(getDoubleValue(row.owner, row.path, "kW", 1.5), 1.5);
        EXPECT_DOUBLE_EQ(getStandardDoubleValue(row.owner, row.path, 2.5), 2.5);
        EXPECT_EQ(getTypeValue(row.owner, row.path, Yes_t), Yes_t);
        EXPECT_EQ(getByteArrayValue(row.owner, row.path, bytes), bytes);
        EXPECT_FALSE(hasAttributeSetTo(row.owner, row.path, TypeRef("")));
        EXPECT_EQ(getLinkedEntity(row.owner, row.path), nullptr);
        EXPECT_TRUE(getLinkedEntities(row.owner, row.path).empty());
        // Every attribute is its own shortcut target; only absent ones have none.
        Attribute* present = row.owner ? row.owner->findAttribute(row.path) : nullptr;
        EXPECT_EQ(getShortcutTarget(row.owner, row.path), present);
    }
    // Present attributes of another kind give the default too.
    EXPECT_EQ(getTypeValue(f.server1, "Power", Yes_t), Yes_t);
    EXPECT_DOUBLE_EQ(getStandardDoubleValue(f.server1, "Model Data", 4.0), 4.0);
    EXPECT_EQ(getLinkedEntity(f.server1, "Power"), nullptr);
}

TEST(EntityReading, ValuesOfEachKind)
{
    ProjectFixture f;
    EntityEditor::setValue(f.server1, "Model Data", "payload");
    EntityEditor::setValue(f.server1, "Input Values.Input 1.Bounds.Has Min", Yes_t);
    EntityEditor::setValue(f.server1, "Input Values.Input 1.Bounds.Min", 15.0);
    EntityEditor::addEntity(f.server1, "Neighbours", f.server2);

    EXPECT_EQ(getStringValue(f.server1, "Model Data"), "payload");
    EXPECT_EQ(getByteArrayValue(f.server1, "Model Data"), Utilities::toByteArray("payload"));
    EXPECT_EQ(getStringValue(f.server1, "Cooling.Modelling Level"), "Simple");
    EXPECT_TRUE(getBoolValue(f.server1, Input_Values_t / "Input 1" / Bounds_t / Has_Min_t, false));
    EXPECT_DOUBLE_EQ(getStandardDoubleValue(f.server1, "Input Values.Input 1.Bounds.Min"), 15.0);
    EXPECT_DOUBLE_EQ(getDoubleValue(f.server1, "Input Values.Input 1.Bounds.Min", "K", 0.0), 288.15);
    EXPECT_DOUBLE_EQ(getDoubleValue(f.server1, "Power", "kW", 0.0), 1.0);
    EXPECT_DOUBLE_EQ(getDoubleValue(f.server1, "Power", "°C", -1.0), -1.0); // not a unit of power
    EXPECT_DOUBLE_EQ(getDoubleValue(f.server1, "Power", "", 0.0), 1000.0);
    EXPECT_DOUBLE_EQ(getStandardDoubleValue(f.server1, "Outlet Curve"), 20.0);
    EXPECT_EQ(getIntValue(f.server1, "Input Values"), 1);
    EXPECT_EQ(getIntValue(f.server1, "Neighbours"), 1);
    EXPECT_TRUE(hasAttributeSetTo(f.server1, Cooling_t / Modelling_Level_t, TypeRef("Simple")));
    EXPECT_FALSE(hasAttributeSetTo(f.server1, Cooling_t / Modelling_Level_t, AI_Model_t));
    EXPECT_EQ(getLinkedEntity(f.server1, "Neighbours"), f.server2);
    EXPECT_EQ(getLinkedEntities(f.root, "Rooms"), (std::vector<Entity*>{f.room1, f.room2}));
    // Shortcuts read as their target.
    EXPECT_EQ(getShortcutTarget(f.server1, "Value"), f.server1->findAttribute("Power"));
    EXPECT_EQ(getShortcutTarget(f.server1, "Power"), f.server1->findAttribute("Power"));
    EXPECT_DOUBLE_EQ(getStandardDoubleValue(f.server1, "Value"), 1000.0);
}

TEST(EntityFetcher, FindsProjectSolutionControlAndSwitches)
{
    ProjectFixture f;
    EXPECT_EQ(EntityFetcher::getOwnerProject(f.server1), f.root);
    EXPECT_EQ(EntityFetcher::getOwnerProject(f.root), f.root);
    EXPECT_EQ(EntityFetcher::getOwnerProject(nullptr), nullptr);
    EXPECT_EQ(EntityFetcher::getSolutionControl(f.server1), f.control);
    EXPECT_EQ(EntityFetcher::getSolutionControl(f.root), f.control);
    EXPECT_FALSE(EntityFetcher::isConflux(f.root));
    EXPECT_FALSE(EntityFetcher::isAIModelActive(f.root));
    EntityEditor::setValue(f.control, Conflux_Control_t / Active_t, true);
    EntityEditor::setValue(f.control, AI_Model_Control_t / Active_t, Yes_t.getLabel());
    EXPECT_TRUE(EntityFetcher::isConflux(f.root));
    EXPECT_TRUE(EntityFetcher::isAIModelActive(f.root));
    EXPECT_EQ(EntityFetcher::getProjectFluid(f.root), nullptr);

    auto loose = EntityEditor::createDetachedEntity(TypeRef("Server"));
    EXPECT_EQ(EntityFetcher::getSolutionControl(loose.get()), nullptr);
    EXPECT_FALSE(EntityFetcher::isConflux(loose.get()));
}

TEST(AttributePaths, StepsLeaveOutOnlyHeadingsAndRefuseTwoMatches)
{
    using TestModel::attr;
    using TestModel::composite;
    // "Rate" is a setting under the heading "Setup" and a result under the plain composite
    // "Results"; "Twice" sits under two headings.
    AttributeDefinition setup =
        composite("Setup", {attr(AttributeKind::Double, "Rate"), attr(AttributeKind::Int, "Twice")});
    setup.grouping = true;
    AttributeDefinition other = composite("Other", {attr(AttributeKind::Int, "Twice")});
    other.grouping = true;
    const AttributeDefinition results = composite("Results", {attr(AttributeKind::Double, "Flow")});
    const EntityDefinition def{TypeRef("Path Test"), {setup, other, results}, {}, {}};
    const auto entity = DataFactory::createEntity(std::make_shared<EntityDefinition>(def), "P");

    EXPECT_EQ(entity->findAttribute("Rate"), entity->findAttribute("Setup.Rate"));
    EXPECT_NE(entity->findAttribute("Rate"), nullptr);
    EXPECT_EQ(entity->findAttribute("Flow"), nullptr); // "Results" is no heading: its namesakes stay hidden
    EXPECT_NE(entity->findAttribute("Results.Flow"), nullptr);
    try
    {
        entity->findAttribute("Twice");
        ADD_FAILURE() << "an ambiguous path was resolved";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(),
                     "attribute path 'Twice' of entity 'P' is ambiguous: step 'Twice' matches both "
                     "'Setup.Twice' and 'Other.Twice'");
    }
}

TEST(AttributePaths, AIModelListsAreFoundWithOrWithoutTheirHeadings)
{
    SchemaLoader::ensureBuiltInLoaded();
    const auto model = DataFactory().createEntity(AI_Model_t);
    Attribute* inputs = model->findAttribute(Specification_t / Inputs_t / Input_Values_t);
    ASSERT_NE(inputs, nullptr);
    EXPECT_EQ(model->findAttribute(Inputs_t / Input_Values_t), inputs);
    EXPECT_EQ(model->findAttribute(Specification_t / Input_Values_t), inputs);
    EXPECT_EQ(model->findAttribute(AttributePath("Input Values")), inputs); // through two headings
}
