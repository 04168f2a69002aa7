#include "tests/host/entitymodel/TestModel.h"

#include <gtest/gtest.h>

#include <set>

using namespace EntityModel;
using TestModel::ProjectFixture;

TEST(Rules, HiddenRuleFollowsTheValueItReads)
{
    ProjectFixture f;
    Attribute* data = f.server1->findAttribute("Model Data");
    EXPECT_TRUE(data->isHidden());
    EntityEditor::setValue(f.server1, Cooling_t / Modelling_Level_t, AI_Model_t);
    EXPECT_FALSE(data->isHidden());
    // A change made outside the editor is seen too.
    static_cast<TypeAttribute*>(f.server1->findAttribute("Cooling.Modelling Level"))
        ->setType(TypeRef("Detailed"));
    EXPECT_TRUE(data->isHidden());
    EXPECT_FALSE(f.server2->findAttribute("Power")->isHidden());
}

TEST(Rules, ReadOnlyRuleAndOverride)
{
    ProjectFixture f;
    Attribute* slotCount = f.server1->findAttribute("Slots");
    EXPECT_FALSE(slotCount->isReadOnly());
    EntityEditor::setValue(f.server1, "Locked", true);
    EXPECT_TRUE(slotCount->isReadOnly());
    slotCount->setReadOnly(false);
    EXPECT_FALSE(slotCount->isReadOnly());
    EXPECT_FALSE(f.server2->findAttribute("Slots")->isReadOnly());
}

TEST(Rules, ConditionsWithOwnerStepsAndMissingAttributes)
{
    ProjectFixture f;
    CompositeAttribute* bounds = f.server1->findComposite("Input Values.Input 1.Bounds");
    ASSERT_NE(bounds, nullptr);
    Attribute* min = bounds->findAttribute("Min");
    auto check = [&](const char* path, std::vector<std::string> values, bool negate)
    { return Rule::holds(TestModel::rule(path, std::move(values), negate), *min); };
    EXPECT_TRUE(check("Has Min", {"No"}, false));
    EXPECT_FALSE(check("Has Min", {"Yes"}, false));
    EXPECT_TRUE(check("Owner.Owner.Owner.Slots", {"2"}, false));
    EXPECT_TRUE(check("Owner.Owner.Owner.Owner.Name", {"x"}, true)); // above the room: no such attribute
    EXPECT_FALSE(check("Missing", {""}, false));
    EXPECT_TRUE(check("Missing", {""}, true));
    EXPECT_FALSE(Rule::holds(RuleDefinition{}, *min));

    Rule rule(TestModel::rule("Has Min", {"Yes"}, false));
    EXPECT_FALSE(rule.evaluate(*min));
    EntityEditor::setValue(bounds, "Has Min", Yes_t);
    EXPECT_FALSE(rule.getOutcome()); // kept until evaluated again
    EXPECT_TRUE(rule.evaluate(*min));
    EXPECT_EQ(rule.getDefinition().toString(), "Has Min in [Yes]");
}

TEST(Rules, ExchangeFlagsAndHiddenComposites)
{
    AttributeDefinition value = TestModel::attr(AttributeKind::Double, "Set Point");
    value.exchange.flagged = true;
    value.exchange.readOnlyRule = TestModel::rule("Mode", {"Fixed"}, false);
    value.exchange.shortcuts = {Owner_t / "Values" / "Set Point"};
    value.exchange.label = "Setpoint";
    AttributeDefinition group =
        TestModel::composite("Group", {value, TestModel::attr(AttributeKind::String, "Mode", "Fixed")});
    group.exchange.hidden = true;
    EntityDefinition def{TypeRef("Exchange Test"), {group}, {}, {}};
    def.exchange.label = "Exchanged";
    auto entity = DataFactory::createEntity(std::make_shared<EntityDefinition>(def), "E");

    Attribute* setPoint = entity->findAttribute("Group.Set Point");
    EXPECT_TRUE(setPoint->isConflux());
    EXPECT_FALSE(setPoint->isConfluxHidden());
    EXPECT_TRUE(setPoint->isConfluxHiddenOrInHiddenComposite(nullptr));
    EXPECT_EQ(setPoint->getConfluxLabel(entity.get()), "Setpoint");
    EXPECT_EQ(entity->findAttribute("Group.Mode")->getConfluxLabel(nullptr), "Mode");
    EXPECT_EQ(entity->getConfluxLabel(nullptr), "Exchanged");
    EXPECT_EQ(setPoint->getConfluxShortcuts().front().toString('.'), "Owner.Values.Set Point");
    EXPECT_TRUE(setPoint->getConfluxAttribute().empty());
    ASSERT_NE(setPoint->getConfluxReadOnlyRule(true), nullptr);
    EXPECT_TRUE(setPoint->getConfluxReadOnlyRule(true)->getOutcome());
    entity->findAttribute("Group.Mode")->setValueFromString("Free");
    EXPECT_TRUE(setPoint->getConfluxReadOnlyRule(false)->getOutcome());
    EXPECT_FALSE(setPoint->getConfluxReadOnlyRule(true)->getOutcome());
    EXPECT_EQ(entity->findAttribute("Group.Mode")->getConfluxReadOnlyRule(true), nullptr);
    EXPECT_TRUE(setPoint->getConfluxAttributeType().empty());
}

TEST(DerivedAttributes, ComputedOnReadAndAgainOnlyAfterInvalidation)
{
    int calls = 0;
    DerivedFunctionRegistration registration("test.summary",
                                             [&calls](Attribute& a)
                                             {
                                                 ++calls;
                                                 auto* summary = static_cast<StringAttribute*>(&a);
                                                 summary->setString(
                                                     "Power=" + getStringValue(a.getOwnerEntity(), "Power"));
                                             });
    ProjectFixture f;
    Attribute* summary = f.server1->findAttribute("Summary");
    EXPECT_TRUE(summary->isDerived());
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(summary->getValue(), "Power=1000");
    EXPECT_EQ(summary->getValue(), "Power=1000");
    EXPECT_EQ(calls, 1);

    EntityEditor::setValue(f.server1, "Power", 1500.0);
    EXPECT_EQ(summary->getValue(), "Power=1000"); // stale until invalidated
    invalidateDerivedAttribute(summary, false);
    EXPECT_EQ(summary->getValue(), "Power=1500");
    EXPECT_EQ(calls, 2);

    EntityEditor::setValue(f.server1, "Power", 1.0);
    invalidateDerivedAttribute(f.room1, true); // reaches owned entities below the room
    EXPECT_TRUE(summary->isDerivedStale());
    EXPECT_EQ(summary->getValue(), "Power=1");

    // Validity is a separate flag.
    EXPECT_TRUE(summary->isValid());
    EXPECT_TRUE(EntityEditor::setValid(f.server1, "Summary", false));
    EXPECT_FALSE(summary->isValid());
    EXPECT_FALSE(summary->hasLiveValue());
    EXPECT_FALSE(EntityEditor::setValid(f.server1, "Nothing", true));
}

TEST(DerivedAttributes, WithoutARegisteredFunctionTheValueStays)
{
    ProjectFixture f;
    Attribute* summary = f.server1->findAttribute("Summary");
    summary->setValueFromString("kept");
    summary->invalidateDerived(false);
    EXPECT_EQ(summary->getValue(), "kept");
}

namespace
{
// Records the walk as "Class:label" entries; composites named in `closed` are not entered.
struct WalkRecorder : AttributeVisitor
{
    std::vector<std::string> seen;
    std::set<std::string> closed;
    void visit(Attribute* a) override { seen.push_back("Attribute:" + a->getTypeRef().getLabel()); }
    void visit(Entity* e) override { seen.push_back("Entity:" + e->getName()); }
    void visit(CompositeAttribute* a) override { seen.push_back("Composite:" + a->getTypeRef().getLabel()); }
    void visit(StringAttribute* a) override { seen.push_back("String:" + a->getTypeRef().getLabel()); }
    void visit(LinkAttribute* a) override { seen.push_back("Link:" + a->getTypeRef().getLabel()); }
    bool recurse(const Attribute* a) const override { return !closed.count(a->getTypeRef().getLabel()); }
};
} // namespace

TEST(AttributeVisitor, WalksChildrenAndOwnedEntitiesWhenAllowed)
{
    ProjectFixture f;
    EntityEditor::addEntity(f.server1, "Neighbours", f.server2);
    WalkRecorder walk;
    walk.closed = {"Input Values", "Equipment", "Solution Control", "Cooling"};
    f.root->accept(walk);
    const std::vector<std::string> expected = {"Entity:Project", "Link:Solution Control", "Link:Rooms",
                                               "Entity:Room 1",  "Link:Equipment",        "Entity:Room 2",
                                               "Link:Equipment", "Link:Project Fluid"};
    EXPECT_EQ(walk.seen, expected);

    WalkRecorder server;
    server.closed = {"Input Values"};
    f.server1->accept(server);
    const std::vector<std::string> expectedServer = {
        "Entity:Server 1",        "Attribute:Power", "Composite:Cooling",      "Attribute:Modelling Level",
        "String:Model Data",      "Attribute:Slots", "Attribute:Locked",       "String:Summary",
        "Composite:Input Values",                    // counted: base visit
        "Link:AIModelLink",       "Link:Neighbours", // referred server 2 is not walked
        "Link:Inflows",           "Attribute:Value", "Attribute:Outlet Curve", "Attribute:Blob",
        "String:Library", // file names default to the string visit
    };
    EXPECT_EQ(server.seen, expectedServer);
}

TEST(CompositeAttribute, OwnedChildEntitiesWithFilter)
{
    ProjectFixture f;
    std::vector<Entity*> all;
    f.root->getOwnedChildEntities(all);
    EXPECT_EQ(all, (std::vector<Entity*>{f.control, f.room1, f.server1, f.server2, f.room2}));

    std::vector<Entity*> servers;
    std::vector<Entity*> seen;
    f.root->getOwnedChildEntities(servers, true, true,
                                  [&seen](Entity* e)
                                  {
                                      seen.push_back(e);
                                      return e->getTypeRef() == TypeRef("Server");
                                  });
    EXPECT_EQ(servers, (std::vector<Entity*>{f.server1, f.server2}));
    EXPECT_EQ(seen, all); // the filter saw every entity once

    std::vector<Entity*> rejectedStop;
    f.root->getOwnedChildEntities(
        rejectedStop, true, true, [](Entity* e) { return e->getTypeRef() == TypeRef("Server"); }, false);
    EXPECT_TRUE(rejectedStop.empty()); // rooms rejected: nothing below them is reached

    std::vector<Entity*> direct;
    f.root->getOwnedChildEntities(direct, false);
    EXPECT_EQ(direct, (std::vector<Entity*>{f.control, f.room1, f.room2}));
    std::vector<Entity*> nothingCollected;
    f.root->getOwnedChildEntities(
        nothingCollected, true, true, [](Entity*) { return false; }, true);
    EXPECT_TRUE(nothingCollected.empty());
    EXPECT_EQ(f.root->getOwnedChildEntitiesOfType(TypeRef("Room"), false),
              (std::vector<Entity*>{f.room1, f.room2}));
}
