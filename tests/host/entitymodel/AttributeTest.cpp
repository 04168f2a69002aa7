#include "tests/host/entitymodel/TestModel.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace EntityModel;
using TestModel::ProjectFixture;

namespace
{
template <typename T> T* as(Attribute* a)
{
    return dynamic_cast<T*>(a);
}
} // namespace

TEST(Attribute, DefaultsComeFromTheDefinition)
{
    ProjectFixture f;
    Entity* s = f.server1;
    EXPECT_DOUBLE_EQ(s->findAttribute("Power")->standardVal(), 1000.0);
    EXPECT_EQ(s->findAttribute("Cooling.Modelling Level")->getValue(), "Simple");
    EXPECT_EQ(s->findAttribute("Slots")->intVal(), 2);
    EXPECT_FALSE(s->findAttribute("Locked")->boolVal());
    EXPECT_EQ(s->findAttribute("Input Values")->intVal(), 1);
    EXPECT_EQ(s->findAttribute("Blob")->byteArrayVal(), Utilities::toByteArray("abc"));
    EXPECT_EQ(s->findAttribute("Outlet Curve")->getValue(), "0:20;10:30");
}

TEST(Attribute, TextFormsAreAcceptedOrRefusedByKind)
{
    ProjectFixture f;
    struct Row
    {
        const char* path;
        const char* text;
        bool accepted;
        const char* readBack; // the text after the edit
    };
    const Row rows[] = {
        {"Slots", "7", true, "7"},
        {"Slots", "7.5", false, "2"},
        {"Slots", "", false, "2"},
        {"Locked", "Yes", true, "true"},
        {"Locked", "maybe", false, "false"},
        {"Power", "0.1", true, "0.1"},
        {"Power", "inf", false, "1000"},
        {"Power", "12abc", false, "1000"},
        {"Cooling.Modelling Level", "AI Model", true, "AI Model"},
        {"Cooling.Modelling Level", "Quantum", false, "Simple"},
        {"Cooling.Modelling Level", "", true, ""},
        {"Model Data", "anything at all", true, "anything at all"},
        {"Outlet Curve", "0:1;1:2;2:4", true, "0:1;1:2;2:4"},
        {"Outlet Curve", "0:1;0:2", false, "0:20;10:30"},
        {"Outlet Curve", "0:1;x", false, "0:20;10:30"},
        {"Input Values", "3", true, "3"},
        {"Input Values", "-1", false, "1"},
        {"Input Values", "100001", false, "1"}, // a count too large to make items for
        {"Neighbours", "1:2", false, ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string(row.path) + " <- '" + row.text + "'");
        ProjectFixture fresh;
        Attribute* a = fresh.server1->findAttribute(row.path);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->setValueFromString(row.text), row.accepted);
        EXPECT_EQ(a->getValue(), row.readBack);
    }
}

TEST(Attribute, KindTestsFollowTheClass)
{
    ProjectFixture f;
    Entity* s = f.server1;
    EXPECT_TRUE(s->isEntity());
    EXPECT_TRUE(s->isCompositeAttribute());
    EXPECT_TRUE(s->findAttribute("Cooling")->isCompositeAttribute());
    EXPECT_FALSE(s->findAttribute("Cooling")->isEntity());
    EXPECT_TRUE(s->findAttribute("Input Values")->isCountedCompositeAttribute());
    EXPECT_TRUE(s->findAttribute("Input Values")->isCompositeAttribute());
    EXPECT_TRUE(s->findAttribute("Library")->isFilenameAttribute());
    EXPECT_TRUE(s->findAttribute("Library")->isStringAttribute());
    EXPECT_FALSE(s->findAttribute("Model Data")->isFilenameAttribute());
    EXPECT_TRUE(s->findAttribute("Neighbours")->isLinkAttribute());
    EXPECT_TRUE(s->findAttribute("Neighbours")->isListAttribute());
    EXPECT_FALSE(s->findAttribute("AIModelLink")->isListAttribute());
    EXPECT_TRUE(s->findAttribute("Value")->isShortcutAttribute());
    EXPECT_TRUE(s->findAttribute("Outlet Curve")->isCurveAttribute());
    EXPECT_TRUE(s->findAttribute("Blob")->isByteArrayAttribute());
    EXPECT_TRUE(*s->findAttribute("Cooling.Modelling Level") == TypeRef("Simple"));
    EXPECT_FALSE(*s->findAttribute("Model Data") == TypeRef(""));
}

TEST(Attribute, PlaceInTheTree)
{
    ProjectFixture f;
    Attribute* min = f.server1->findAttribute("Input Values.Input 1.Bounds.Min");
    ASSERT_NE(min, nullptr);
    EXPECT_EQ(min->getOwnerEntity(), f.server1);
    EXPECT_EQ(min->getAttributePath().toString('.'), "Input Values.Input 1.Bounds.Min");
    EXPECT_EQ(min->getEntityAndAttributePath().toString('.'), "Server 1.Input Values.Input 1.Bounds.Min");
    EXPECT_EQ(min->getParent()->getTypeRef(), Bounds_t);
    EXPECT_EQ(min->getType().getLabel(), "Min");

    EXPECT_EQ(f.server1->getOwnerEntity(), f.room1);
    EXPECT_EQ(f.server1->getOwnerLink(), f.room1->findAttribute("Equipment"));
    EXPECT_EQ(f.server1->getParent(), f.room1);
    EXPECT_TRUE(f.server1->getAttributePath().empty());
    EXPECT_EQ(f.server1->getFullDisplayName(), "Room 1/Server 1");
    EXPECT_EQ(f.root->getFullDisplayName(), "Project");
    EXPECT_EQ(f.server1->getRootEntity(), f.root);
    EXPECT_TRUE(f.root->isProject());
    EXPECT_FALSE(f.room1->isProject());
    EXPECT_EQ(f.root->getOwnerLink(), nullptr);
    EXPECT_NE(f.server1->getID(), f.server2->getID());
    EXPECT_FALSE(f.server1->getID().isNull());
}

TEST(Attribute, FindByPathNameAndTypeRef)
{
    ProjectFixture f;
    Entity* s = f.server1;
    EXPECT_EQ(s->findAttribute(Cooling_t / Modelling_Level_t), s->findAttribute("Cooling.Modelling Level"));
    EXPECT_EQ(s->findAttribute(std::string("Cooling.Modelling Level")),
              s->findAttribute("Cooling.Modelling Level"));
    EXPECT_EQ(s->findAttribute(Modelling_Level_t), nullptr);
    EXPECT_NE(s->findAttribute(Modelling_Level_t, true), nullptr);
    EXPECT_EQ(s->findAttribute("Cooling.Nothing"), nullptr);
    EXPECT_EQ(s->findAttribute("Power.Unit"), nullptr); // values have no children
    // Paths do not enter linked entities.
    EXPECT_EQ(f.room1->findAttribute("Equipment.Power"), nullptr);
    EXPECT_EQ(s->findComposite(AttributePath()), s);
}

TEST(CountedCompositeAttribute, CountCreatesAndDeletesNumberedItems)
{
    ProjectFixture f;
    auto* inputs = as<CountedCompositeAttribute>(f.server1->findAttribute("Input Values"));
    ASSERT_NE(inputs, nullptr);
    inputs->setCount(3);
    ASSERT_EQ(inputs->intVal(), 3);
    EXPECT_EQ(inputs->getItem(2)->getTypeRef().getLabel(), "Input 3");
    EXPECT_EQ(inputs->getItem(2)->getType().getLabel(), "Input");
    EXPECT_NE(f.server1->findAttribute("Input Values.Input 3.Bounds.Has Min"), nullptr);
    inputs->findAttribute("Input 1.Attribute")->setValueFromString("kept");
    inputs->setCount(1);
    EXPECT_EQ(inputs->childCount(), 1u);
    EXPECT_EQ(f.server1->findAttribute("Input Values.Input 3"), nullptr);
    EXPECT_EQ(inputs->findAttribute("Input 1.Attribute")->getValue(), "kept");
    inputs->setCount(0);
    EXPECT_EQ(inputs->getItem(0), nullptr);
}

TEST(DoubleAttribute, StandardValueWithUnitsAndBounds)
{
    ProjectFixture f;
    auto* power = as<DoubleAttribute>(f.server1->findAttribute("Power"));
    ASSERT_NE(power, nullptr);
    ASSERT_NE(power->getUnitAttribute(), nullptr);
    EXPECT_EQ(power->getUnitAttribute()->getType().getLabel(), "Power");
    EXPECT_EQ(power->getUnitAttribute()->getValue(), "kW");
    EXPECT_EQ(power->getUnitAttribute()->getTransform(), (Utilities::LinearTransform<double>{1000.0, 0.0}));
    EXPECT_DOUBLE_EQ(power->getValueIn("kW"), 1.0);
    power->setValueIn("MW", 0.002);
    EXPECT_DOUBLE_EQ(power->standardVal(), 2000.0);
    EXPECT_THROW(power->getValueIn("furlong"), std::runtime_error);
    EXPECT_EQ(power->getMinimum(), 0.0);
    EXPECT_EQ(power->getMaximum(), 50000.0);
    power->setMinimum(std::nullopt);
    EXPECT_EQ(power->getMinimum(), std::nullopt);
    EXPECT_EQ(power->getMaximum(), 50000.0);

    DoubleAttribute made(TypeRef("Server 1\nPower"), 3.5);
    EXPECT_EQ(made.getUnitAttribute(), nullptr);
    made.setUnit(Temperature_t, "K");
    EXPECT_DOUBLE_EQ(made.getValueIn("K"), 276.65);
    made.resetType("Renamed");
    EXPECT_EQ(made.getTypeRef().getLabel(), "Renamed");
    EXPECT_EQ(made.getType().getLabel(), "Renamed");
    EXPECT_EQ(DoubleAttribute::format(0.1), "0.1");
    EXPECT_EQ(DoubleAttribute::format(20.0), "20");
}

TEST(CurveAttribute, ValueIsInterpolatedAtZeroAndPointsMustIncrease)
{
    ProjectFixture f;
    auto* curve = as<CurveAttribute>(f.server1->findAttribute("Outlet Curve"));
    ASSERT_NE(curve, nullptr);
    EXPECT_DOUBLE_EQ(curve->standardVal(), 20.0);
    EXPECT_DOUBLE_EQ(curve->valueAt(5.0), 25.0);
    EXPECT_DOUBLE_EQ(curve->valueAt(99.0), 30.0);
    EXPECT_TRUE(curve->setPoints({{-10.0, 0.0}, {10.0, 10.0}}));
    EXPECT_DOUBLE_EQ(curve->standardVal(), 5.0);
    EXPECT_FALSE(curve->setPoints({{0.0, 0.0}, {0.0, 1.0}}));
    EXPECT_FALSE(curve->setPoints({{0.0, std::nan("")}}));
    EXPECT_EQ(curve->getPoints().size(), 2u);
    EXPECT_EQ(curve->getYUnit()->getQuantity(), Temperature_t);
    EXPECT_EQ(curve->getXUnit()->getValue(), "s");
    EXPECT_TRUE(curve->setPoints({}));
    EXPECT_DOUBLE_EQ(curve->standardVal(), 0.0);
}

TEST(LinkAttribute, OwningLinksOwnAndReferringLinksForget)
{
    ProjectFixture f;
    auto* neighbours = as<LinkAttribute>(f.server1->findAttribute("Neighbours"));
    ASSERT_NE(neighbours, nullptr);
    EXPECT_TRUE(neighbours->addReference(f.server2));
    EXPECT_TRUE(neighbours->addReference(f.server2)); // already there: kept once
    EXPECT_EQ(neighbours->getTargets().size(), 1u);
    EXPECT_FALSE(neighbours->addReference(f.room2)); // not a linked type
    EXPECT_EQ(f.server2->getReferringLinks().size(), 1u);
    EXPECT_EQ(neighbours->getValue(), f.server2->getID().toString());

    auto* equipment = as<LinkAttribute>(f.room1->findAttribute("Equipment"));
    std::unique_ptr<Entity> taken = equipment->remove(f.server2);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->getOwnerLink(), nullptr);
    EXPECT_EQ(taken->getParent(), nullptr);
    taken.reset(); // deleting it unlinks it from server 1
    EXPECT_TRUE(neighbours->getTargets().empty());
}

TEST(LinkAttribute, SingleLinkReplacesAndChecksTypes)
{
    ProjectFixture f;
    auto* link = as<LinkAttribute>(f.server1->findAttribute("AIModelLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->capacity(), 1u);
    auto model = EntityEditor::getDataFactory().createEntity(AI_Model_t, "first");
    Entity* first = link->adopt(std::move(model));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getOwnerEntity(), f.server1);
    EXPECT_EQ(model, nullptr);

    auto wrong = EntityEditor::getDataFactory().createEntity(TypeRef("Room"));
    EXPECT_EQ(link->adopt(std::move(wrong)), nullptr);
    EXPECT_NE(wrong, nullptr); // refused: still the caller's

    Entity* second = link->adopt(EntityEditor::getDataFactory().createEntity(AI_Model_t, "second"));
    EXPECT_EQ(link->getTarget(), second);
    EXPECT_EQ(link->getTargets().size(), 1u);
    EXPECT_EQ(second->getName(), "second");
}

TEST(ShortcutAttribute, FollowsTargetsAndStopsAtCycles)
{
    ProjectFixture f;
    Attribute* value = f.server1->findAttribute("Value");
    EXPECT_EQ(getShortcutTarget(value), f.server1->findAttribute("Power"));
    EXPECT_DOUBLE_EQ(value->standardVal(), 1000.0);
    EXPECT_EQ(value->getValue(), "1000");

    CompositeAttribute loop(TypeRef("Loop"));
    AttributeDefinition a = TestModel::attr(AttributeKind::Shortcut, "A");
    a.targets = {AttributePath("B")};
    AttributeDefinition b = TestModel::attr(AttributeKind::Shortcut, "B");
    b.targets = {AttributePath("A")};
    loop.addAttribute(DataFactory::createAttribute(std::make_shared<AttributeDefinition>(a)));
    loop.addAttribute(DataFactory::createAttribute(std::make_shared<AttributeDefinition>(b)));
    EXPECT_EQ(getShortcutTarget(loop.findAttribute("A")), nullptr);
    EXPECT_EQ(loop.findAttribute("A")->getValue(), "");
}
