#include "ModelTestSupport.h"

#include "src/model/AccessException.h"
#include "src/model/ArrayAttribute.h"
#include "src/model/AttributeVisitorAbstract.h"
#include "src/model/AttributeVisitorConstAbstract.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/LogManager.h"
#include "src/model/ShortcutAttribute.h"

#include <gtest/gtest.h>

using namespace ModelTest;

namespace
{
struct Tree
{
    std::unique_ptr<Entity> root = std::make_unique<Entity>("Project", "Site", AccessType::ReadWrite, nullptr);
    CompositeAttribute* control = add(*root, std::make_unique<CompositeAttribute>("Control", AccessType::ReadOnly, nullptr));
    ValueAttribute<int>* iterations = add(*control, makeValue("Iterations", 100, AccessType::ReadWrite));
    ListAttribute* rooms = add(*root, std::make_unique<ListAttribute>("Rooms", "Room", AccessType::ReadOnly, false, nullptr));
    Entity* room = rooms->addEntity(std::make_unique<Entity>("Room", "Hall", AccessType::ReadWrite, nullptr));
    CompositeAttribute* results = add(*room, std::make_unique<CompositeAttribute>("Results", AccessType::ReadOnly, nullptr));
    ValueAttribute<double>* temperature = add(*results, makeValue("Temperature", 24.0, AccessType::ReadWrite, "C"));
    ArrayAttribute* racks = add(*room, std::make_unique<ArrayAttribute>("Racks", "Rack", AccessType::ReadOnly, true, nullptr));
    Entity* rack = racks->addEntity(std::make_unique<Entity>("Rack", "R1", AccessType::ReadWrite, nullptr));
    ValueAttribute<float>* power = add(*rack, makeValue("Power", 5.0f, AccessType::ReadOnly, "W"));
    LinkAttribute* cooler = add(*rack, std::make_unique<LinkAttribute>("Cooler", "Cooler", AccessType::None, false, nullptr));
};

/// Records the visit order as kind:name.
class Recorder : public AttributeVisitorConstAbstract
{
public:
    std::vector<std::string> seen;
    void visit(const Entity& e) override { record(e), AttributeVisitorConstAbstract::visit(e); }
    void visit(const CompositeAttribute& c) override { record(c), AttributeVisitorConstAbstract::visit(c); }
    void visit(const ArrayAttribute& a) override { record(a), AttributeVisitorConstAbstract::visit(a); }
    void visit(const ListAttribute& l) override { record(l), AttributeVisitorConstAbstract::visit(l); }
    void visit(const LinkAttribute& l) override { record(l), AttributeVisitorConstAbstract::visit(l); }
    void visit(const ShortcutAttribute& s) override { record(s); }
    void visit(const ValueAttribute<double>& v) override { record(v); }
    void visit(const ValueAttribute<float>& v) override { record(v); }
    void visit(const ValueAttribute<int>& v) override { record(v); }

private:
    void record(const Attribute& a)
    {
        seen.push_back(Conflux::attributeTypeToString(a.getAttributeType(false)) + ":" + a.getName());
    }
};
} // namespace

TEST(AttributePath, TextFormRoundTripsAndEscapesSeparators)
{
    const struct
    {
        AttributePath path;
        std::string text;
    } rows[] = {
        {AttributePath{}, ""},
        {AttributePath{"a"}, "a"},
        {AttributePath{"a", "b c", "d"}, "a.b c.d"},
        {AttributePath{"Rack 1.2", "x\\y"}, "Rack 1\\.2.x\\\\y"},
        {AttributePath{"a", ""}, "a."},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.path.toString(), row.text);
        EXPECT_EQ(AttributePath(row.text), row.path);
    }
}

TEST(AttributePath, SubPathsAndOrdering)
{
    const AttributePath path{"a", "b", "c"};
    EXPECT_EQ(path.subPath(1), (AttributePath{"b", "c"}));
    EXPECT_EQ(path.subPath(1, 1), AttributePath{"b"});
    EXPECT_EQ(path.subPath(2, 99), AttributePath{"c"});
    EXPECT_TRUE(path.subPath(3).empty());
    EXPECT_EQ(path.front(), "a");
    EXPECT_EQ(path.size(), 3u);
    EXPECT_TRUE(AttributePath("a.b") < AttributePath("a.c"));
    EXPECT_TRUE(AttributePath("a") < AttributePath("a.b"));
    EXPECT_EQ(AttributePath("a.b") <=> AttributePath("a.b"), std::strong_ordering::equal);
    EXPECT_TRUE(path.startsWith(AttributePath("a.b")));
    EXPECT_FALSE(path.startsWith(AttributePath("b")));
    EXPECT_EQ(AttributePath("a") / "b" / AttributePath("c.d"), AttributePath("a.b.c.d"));
}

TEST(Tree, PathsRunThroughLinksAndStopAtEntities)
{
    Tree tree;
    EXPECT_EQ(tree.power->getAttributePath(true).toString(), "Project.Rooms.Room.Racks.Rack.Power");
    EXPECT_EQ(tree.power->getAttributePath(false).toString(), "Power");
    EXPECT_EQ(tree.temperature->getAttributePath(false).toString(), "Results.Temperature");
    EXPECT_EQ(tree.rack->getAttributePath(false).toString(), "Rack");
    EXPECT_EQ(tree.root->getAttributePath(true).toString(), "Project");
    EXPECT_EQ(tree.rack->getParent(), nullptr);
    EXPECT_EQ(tree.rack->getContainer(), tree.racks);
    EXPECT_EQ(tree.power->getParentEntity(), tree.rack);
    EXPECT_EQ(tree.results->getParentEntity(), tree.room);
    EXPECT_EQ(tree.power->getRoot(), tree.root.get());
    EXPECT_EQ(tree.root->resolveFullPath(tree.power->getAttributePath(true)), tree.power);
    EXPECT_EQ(tree.root->resolveFullPath(AttributePath("Other.Rooms")), nullptr);
    EXPECT_EQ(tree.room->getName(false), "Hall");
    EXPECT_EQ(tree.room->getName(true), "Room:Hall");
}

TEST(Tree, LookupsAreRelativeAndAccessCheckedLookupsHideNone)
{
    Tree tree;
    EXPECT_EQ(tree.root->findAttribute(AttributePath("Rooms.Room.Results.Temperature"), false), tree.temperature);
    EXPECT_EQ(tree.room->findAttribute(AttributePath("Racks.Rack.Power"), true), tree.power);
    EXPECT_EQ(tree.room->findAttribute(AttributePath("Racks.Rack.Cooler"), false), tree.cooler);
    EXPECT_EQ(tree.room->findAttribute(AttributePath("Racks.Rack.Cooler"), true), nullptr);
    EXPECT_EQ(tree.room->findAttribute(AttributePath("Results.Temperature.More"), false), nullptr);
    EXPECT_EQ(tree.root->findAttribute(AttributePath{}, false), tree.root.get());
    EXPECT_TRUE(tree.control->hasAttribute(AttributePath("Iterations"), true));
    try
    {
        tree.room->getAttribute(AttributePath("Results.Pressure"), false);
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Attribute 'Results.Pressure' not found in 'Project.Rooms.Room'");
    }
}

TEST(Tree, FirstChildOfANameIsFoundAndRemovalKeepsTheRest)
{
    CompositeAttribute group("Group", AccessType::ReadWrite, nullptr);
    auto* first = add(group, makeValue("x", 1));
    auto* second = add(group, makeValue("x", 2));
    EXPECT_EQ(group.findAttribute(AttributePath("x"), false), first);
    EXPECT_EQ(first->getParent(), &group);
    group.removeAttribute(first);
    EXPECT_EQ(group.getAttributeCount(), 1u);
    EXPECT_EQ(group.findAttribute(AttributePath("x"), false), second);
    EXPECT_EQ(group.addAttribute(nullptr), nullptr);
}

TEST(Tree, NodesWithoutValuesRefuseValueOperations)
{
    Tree tree;
    EXPECT_THROW(tree.control->getDoubleValue(0, false), std::logic_error);
    EXPECT_THROW(tree.rooms->setIntValue(1, "", 0, false), std::logic_error);
    EXPECT_FALSE(tree.root->hasValue(0));
    EXPECT_FALSE(tree.root->hasUnits());
    EXPECT_EQ(tree.root->getUnit(), "");
    EXPECT_THROW(tree.cooler->getEntities(true), Conflux::Model::AccessException);
    EXPECT_TRUE(tree.cooler->getEntities(false).empty());
}

TEST(Visitor, DefaultVisitsWalkIntoChildrenAndLinkedEntities)
{
    Tree tree;
    add(*tree.root, std::make_unique<ShortcutAttribute>("Short", AccessType::ReadOnly, nullptr));
    Recorder recorder;
    std::as_const(*tree.root).accept(recorder);
    const std::vector<std::string> expected{
        "Entity:Project", "Composite:Control", "Integer:Iterations", "List:Rooms",    "Entity:Room",
        "Composite:Results", "Double:Temperature", "Array:Racks",    "Entity:Rack",   "Float:Power",
        "Link:Cooler",    "Shortcut:Short",
    };
    EXPECT_EQ(recorder.seen, expected);
}

TEST(Visitor, MutableVisitorSeesEveryValueItCanChange)
{
    struct Doubler : AttributeVisitorAbstract
    {
        void visit(ValueAttribute<double>& v) override { v.setValue(v.getValue(0, false) * 2, "", 0, false); }
        void visit(ValueAttribute<float>& v) override { v.setValue(v.getValue(0, false) * 2, "", 0, false); }
    } doubler;
    Tree tree;
    tree.root->accept(doubler);
    EXPECT_EQ(tree.temperature->getValue(0, false), 48.0);
    EXPECT_EQ(tree.power->getValue(0, false), 10.0f);
}

TEST(Shortcut, TargetsResolveRelativeToParentEntityOrRoot)
{
    Tree tree;
    auto* shortcut = add(*tree.results, std::make_unique<ShortcutAttribute>("T", AccessType::ReadWrite, nullptr));
    const struct
    {
        const char* path;
        const Attribute* expected;
    } rows[] = {
        {"Temperature", tree.temperature},
        {"Racks.Rack.Power", tree.power},
        {"Project.Control.Iterations", tree.iterations},
        {"Project.Rooms.Room.Results.Temperature", tree.temperature},
        {"Control.Iterations", nullptr},
        {"T", nullptr},
        {"", nullptr},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(shortcut->resolve(AttributePath(row.path)), row.expected);
    }
}

TEST(Shortcut, RecordsTargetsOnceAndCleanupDropsThoseThatDoNotResolve)
{
    Tree tree;
    auto* shortcut = add(*tree.root, std::make_unique<ShortcutAttribute>("S", AccessType::ReadWrite, nullptr));
    shortcut->addShortcut(AttributePath("Missing"));
    shortcut->addShortcut(tree.temperature->getAttributePath(true));
    shortcut->addShortcut(AttributePath("Missing"));
    shortcut->addShortcut(AttributePath("Control.Iterations"));
    ASSERT_EQ(shortcut->getShortcuts().size(), 3u);
    shortcut->cleanupNonExistingShortcuts();
    EXPECT_EQ(shortcut->getShortcuts(),
              (std::vector<AttributePath>{tree.temperature->getAttributePath(true), AttributePath("Control.Iterations")}));
}

TEST(Shortcut, ValuesGoToTheFirstTargetThatResolves)
{
    Conflux::LogManager::instance().clear();
    Tree tree;
    auto* shortcut = add(*tree.root, std::make_unique<ShortcutAttribute>("S", AccessType::ReadWrite, nullptr));
    shortcut->addShortcut(AttributePath("Missing"));
    shortcut->addShortcut(AttributePath("Rooms.Room.Results.Temperature"));
    shortcut->addShortcut(AttributePath("Control.Iterations"));
    EXPECT_EQ(shortcut->getAttributeType(false), AttributeType::Shortcut);
    EXPECT_EQ(shortcut->getAttributeType(true), AttributeType::Double);
    EXPECT_EQ(shortcut->getUnit(), "C");
    EXPECT_TRUE(shortcut->hasValue(0));
    EXPECT_FALSE(shortcut->hasValue(1));
    EXPECT_EQ(shortcut->getDoubleValue(3, true), 24.0);
    shortcut->setDoubleValue(30.0, "C", 1, true);
    EXPECT_EQ(tree.temperature->getValue(1, false), 30.0);
    EXPECT_EQ(Conflux::LogManager::instance().writeCount(tree.temperature, 1), 1u);
    EXPECT_THROW(shortcut->setDoubleValue(30.0, "K", 1, true), std::runtime_error);

    // The shortcut's own access type applies first, then the target's.
    shortcut->setAccessType(AccessType::ReadOnly);
    EXPECT_THROW(shortcut->setDoubleValue(1.0, "", 1, true), Conflux::Model::AccessException);
    shortcut->setAccessType(AccessType::ReadWrite);
    tree.temperature->setAccessType(AccessType::ReadOnly);
    EXPECT_THROW(shortcut->setDoubleValue(1.0, "", 1, true), Conflux::Model::AccessException);
    EXPECT_EQ(tree.temperature->getValue(1, false), 30.0);
    Conflux::LogManager::instance().clear();
}

TEST(Shortcut, WithoutTargetAndInCyclesItFailsCleanly)
{
    Tree tree;
    auto* a = add(*tree.control, std::make_unique<ShortcutAttribute>("A", AccessType::ReadWrite, nullptr));
    auto* b = add(*tree.control, std::make_unique<ShortcutAttribute>("B", AccessType::ReadWrite, nullptr));
    a->addShortcut(AttributePath("B"));
    b->addShortcut(AttributePath("A"));
    EXPECT_EQ(a->getTarget(), nullptr);
    EXPECT_EQ(a->getAttributeType(true), AttributeType::Shortcut);
    EXPECT_FALSE(a->hasValue(0));
    EXPECT_FALSE(a->hasUnits());
    EXPECT_EQ(a->getUnit(), "");
    try
    {
        a->getIntValue(0, false);
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Shortcut 'Project.Control.A' has no target");
    }
    b->addShortcut(AttributePath("Iterations"));
    EXPECT_EQ(a->getTarget(), tree.iterations);
    EXPECT_EQ(a->getIntValue(0, true), 100);
}

TEST(AttributeType, TextFormsAreFixedAndReadBack)
{
    const struct
    {
        AttributeType type;
        const char* text;
    } rows[] = {
        {AttributeType::Integer, "Integer"}, {AttributeType::Boolean, "Boolean"}, {AttributeType::String, "String"},
        {AttributeType::Float, "Float"},     {AttributeType::Composite, "Composite"}, {AttributeType::Entity, "Entity"},
        {AttributeType::Link, "Link"},       {AttributeType::List, "List"},       {AttributeType::Shortcut, "Shortcut"},
        {AttributeType::Array, "Array"},     {AttributeType::Double, "Double"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Conflux::attributeTypeToString(row.type), row.text);
        EXPECT_EQ(Conflux::attributeTypeFromString(row.text, AttributeType::Composite), row.type);
    }
    EXPECT_EQ(Conflux::attributeTypeFromString(" double ", AttributeType::Float), AttributeType::Double);
    EXPECT_EQ(Conflux::attributeTypeFromString("", AttributeType::Float), AttributeType::Float);
    EXPECT_EQ(Conflux::attributeTypeFromString("Curve", static_cast<AttributeType>(0)), static_cast<AttributeType>(0));
    EXPECT_EQ(Conflux::attributeTypeToString(static_cast<AttributeType>(0)), "Unknown");
    EXPECT_EQ(valueTypeToString(ValueType::Simple), "Simple");
    EXPECT_EQ(valueTypeToString(ValueType::Chronological), "Chronological");
}
