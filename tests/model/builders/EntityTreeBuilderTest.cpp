// The entity tree builder and finalizer: which project entities and attributes reach the exchange
// model, where they hang, and the shortcuts declared on them.
#include "tests/model/builders/BuilderTestSupport.h"

#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "src/model/EntityCollection.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"
#include "src/model/builders/EntityTreeBuilder.h"
#include "src/model/builders/EntityTreeFinalizer.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace BuilderTest;
using Conflux::Model::AccessType;
using Conflux::Model::AttributeType;
using Conflux::Model::EntityTreeBuilder;
namespace Model = Conflux::Model;

namespace
{
std::shared_ptr<const EntityDefinition> rackType(const std::vector<Def>& extra = {})
{
    std::vector<Def> attributes = {
        exchangeSwitch(false),
        // Declared before the attribute it redirects to: the association made first stays.
        Def(AttributeKind::Double, "Alias").flagged().redirect("Power"),
        Def(AttributeKind::Double, "Power", "1000")
            .flagged()
            .quantity("Power")
            .shortcut("Owner.Summary.Total"),
        Def(AttributeKind::Double, "Cooling Power", "200")
            .flagged()
            .declared("Double")
            .quantity("Power")
            .shortcut("Owner.Summary.Total")
            .shortcut("Overview.Cooling")
            .shortcut("Overview.Cooling"),
        composite("Inlet", {Def(AttributeKind::Double, "Temperature", "24").flagged().quantity("Temperature"),
                            Def(AttributeKind::Double, "Note", "1")}),
        composite("Settings", {Def(AttributeKind::Int, "Speed", "3").flagged()}).flagged().hideHeader(),
        composite("Secret", {Def(AttributeKind::Int, "Code", "7").flagged()}).flagged().hidden(),
        Def(AttributeKind::Double, "Blocked", "5").flagged().shortcut("Power.Sub").shortcut("Power"),
        Def(AttributeKind::Shortcut, "Quick").flagged().targets({"Inlet.Note", "Power"}),
        Def(AttributeKind::List, "Servers").linked({"Server"}, true),
        Def(AttributeKind::Curve, "Untyped Curve", "0:1").flagged(),
    };
    attributes.insert(attributes.end(), extra.begin(), extra.end());
    return entityType("Rack", attributes);
}

/// A hall with two racks in an exchanged list and one in a list hidden from the exchange.
struct Hall
{
    explicit Hall(bool hallOn = false, bool aOn = false, bool bOn = false, bool hiddenOn = false)
    {
        hall = make(
            entityType("Hall",
                       {exchangeSwitch(hallOn), Def(AttributeKind::List, "Racks").linked({"Rack"}, false),
                        Def(AttributeKind::List, "Spare Racks").linked({"Rack"}, false).hidden()}),
            "Main Hall");
        rackA = adopt(hall.get(), "Racks", rack("Rack A", aOn));
        rackB = adopt(hall.get(), "Racks", rack("Rack B", bOn));
        spare = adopt(hall.get(), "Spare Racks", rack("Rack S", hiddenOn));
    }
    static std::unique_ptr<Entity> rack(const std::string& name, bool on)
    {
        auto entity = make(rackType(), name);
        entity->findAttribute("Conflux.Active")->setValueFromString(on ? "true" : "false");
        return entity;
    }
    Model::EntityTree create(AccessType access = AccessType::ReadWrite, bool recurseAll = true,
                             bool forceDouble = false)
    {
        return EntityTreeBuilder::create(hall.get(), access, recurseAll, forceDouble);
    }
    std::unique_ptr<Entity> hall;
    Entity* rackA;
    Entity* rackB;
    Entity* spare;
};

Model::Attribute* mapped(const Model::EntityTree& tree, EntityModel::Attribute* attribute)
{
    const auto found = tree.second.find(attribute);
    return found == tree.second.end() ? nullptr : found->second;
}

std::vector<std::string> targets(const Model::Attribute* shortcut)
{
    std::vector<std::string> texts;
    if (const auto* s = dynamic_cast<const Model::ShortcutAttribute*>(shortcut))
        for (const auto& path : s->getShortcuts())
            texts.push_back(path.toString());
    return texts;
}

std::size_t childrenNamed(const Model::CompositeAttribute& composite, const std::string& name)
{
    std::size_t count = 0;
    for (const auto& child : composite.getAttributes())
        count += child->getType() == name ? 1 : 0;
    return count;
}
} // namespace

TEST(EntityTreeBuilderEntities, NothingSwitchedOnGivesNoTree)
{
    Hall world;
    const auto tree = world.create();
    EXPECT_EQ(tree.first, nullptr);
    EXPECT_TRUE(tree.second.empty());
}

TEST(EntityTreeBuilderEntities, RootIsMadeForAnythingIncludedBelowIt)
{
    Hall world(false, true, false, true);
    const auto tree = world.create(AccessType::ReadOnly);
    ASSERT_NE(tree.first, nullptr);
    const Model::Entity& root = *tree.first;
    EXPECT_EQ(root.getType(), "Hall");
    EXPECT_EQ(root.getName(false), "Main Hall");
    EXPECT_EQ(root.getEntityID().toPair(), world.hall->getID().toPair());
    EXPECT_EQ(mapped(tree, world.hall.get()), &root);

    auto* racks = dynamic_cast<Model::ListAttribute*>(node(tree.first.get(), "Racks"));
    ASSERT_NE(racks, nullptr);
    ASSERT_EQ(racks->getEntities(false).size(), 1u); // rack B is off, the spare rack's list is hidden
    EXPECT_EQ(node(tree.first.get(), "Spare Racks"), nullptr);
    Model::Entity* rack = racks->getEntities(false).front();
    EXPECT_EQ(rack->getName(false), "Rack A");
    EXPECT_EQ(rack->getEntityID().toPair(), world.rackA->getID().toPair());
    EXPECT_EQ(mapped(tree, world.rackA), rack);
    EXPECT_EQ(mapped(tree, world.rackB), nullptr);
    EXPECT_EQ(mapped(tree, world.spare), nullptr);
    // Entities carry the caller's access whatever the flags; attributes stay within it.
    EXPECT_EQ(root.getAccessType(), AccessType::ReadOnly);
    EXPECT_EQ(rack->getAccessType(), AccessType::ReadOnly);
    EXPECT_EQ(node(rack, "Power")->getAccessType(), AccessType::ReadOnly);
    EXPECT_EQ(node(rack, "Power")->getAttributePath(true).toString(), "Hall.Racks.Rack A.Power");
}

TEST(EntityTreeBuilderAttributes, CompositesRedirectsAndHiddenParts)
{
    Hall world(true, true);
    const auto tree = world.create();
    ASSERT_NE(tree.first, nullptr);
    auto* rack = dynamic_cast<Model::Entity*>(mapped(tree, world.rackA));
    ASSERT_NE(rack, nullptr);

    // An unflagged composite on the way to a flagged attribute is made, without its unflagged members.
    Model::Attribute* inlet = node(rack, "Inlet");
    ASSERT_NE(inlet, nullptr);
    EXPECT_EQ(inlet->getAttributeType(false), AttributeType::Composite);
    EXPECT_EQ(inlet->getAccessType(), AccessType::ReadOnly);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Inlet")), inlet);
    EXPECT_NE(node(rack, "Inlet.Temperature"), nullptr);
    EXPECT_EQ(node(rack, "Inlet.Note"), nullptr);

    // A composite without a header puts its members in its parent and maps to the parent.
    EXPECT_EQ(node(rack, "Settings"), nullptr);
    ASSERT_NE(node(rack, "Speed"), nullptr);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Settings")), rack);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Settings.Speed")), node(rack, "Speed"));

    // Hidden composites keep their flagged members out.
    EXPECT_EQ(node(rack, "Secret"), nullptr);
    EXPECT_EQ(node(rack, "Code"), nullptr);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Secret.Code")), nullptr);

    // A redirect maps to its target's node; the target is built once although visited after it.
    Model::Attribute* power = node(rack, "Power");
    ASSERT_NE(power, nullptr);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Alias")), power);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Power")), power);
    EXPECT_EQ(node(rack, "Alias"), nullptr);
    EXPECT_EQ(childrenNamed(*rack, "Power"), 1u);

    // Curves without a declared type are left out; unflagged attributes are not mapped.
    EXPECT_EQ(node(rack, "Untyped Curve"), nullptr);
    EXPECT_EQ(mapped(tree, world.rackA->findAttribute("Inlet.Note")), nullptr);
    // Links are made only on the way to a placed entity.
    EXPECT_EQ(node(rack, "Servers"), nullptr);
    for (const auto& [host, exchange] : tree.second)
        EXPECT_EQ(exchange->getRoot(), tree.first.get()) << host->getTypeRef().getLabel();
}

TEST(EntityTreeBuilderAttributes, ForceDoubleAndBuilderErrorsPassThrough)
{
    Hall world(false, true);
    EXPECT_EQ(node(world.create().first.get(), "Racks.Rack A.Power")->getAttributeType(false),
              AttributeType::Float);
    EXPECT_EQ(node(world.create(AccessType::ReadWrite, true, true).first.get(), "Racks.Rack A.Power")
                  ->getAttributeType(false),
              AttributeType::Double);

    auto hall = make(entityType("Hall", {exchangeSwitch(true),
                                         Def(AttributeKind::Double, "Odd").flagged().declared("Integer")}),
                     "H");
    try
    {
        EntityTreeBuilder::create(hall.get(), AccessType::ReadWrite, true, false);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_STREQ(error.what(), "Unsupported Conflux Attribute for Double");
    }
}

TEST(EntityTreeBuilderWalk, RecurseAllAndScope)
{
    Hall world(false, true);
    // Without recurseAll the walk does not enter links, so no rack is reached.
    EXPECT_EQ(world.create(AccessType::ReadWrite, false).first, nullptr);

    // A walk from one rack builds the path up to the scope; other racks are not visited.
    world.rackB->findAttribute("Conflux.Active")->setValueFromString("true");
    const auto tree =
        EntityTreeBuilder::create(world.rackA, world.hall.get(), AccessType::ReadWrite, true, false);
    ASSERT_NE(tree.first, nullptr);
    EXPECT_EQ(tree.first->getType(), "Hall");
    EXPECT_NE(mapped(tree, world.rackA), nullptr);
    EXPECT_EQ(mapped(tree, world.rackB), nullptr);

    // A start outside the scope finds nowhere to hang.
    auto loose = Hall::rack("Loose", true);
    EXPECT_EQ(
        EntityTreeBuilder::create(loose.get(), world.hall.get(), AccessType::ReadWrite, true, false).first,
        nullptr);
}

TEST(EntityTreeBuilderShortcuts, DeclaredShortcutsLandWhereTheirPathsSay)
{
    Hall world(false, true);
    const auto tree = world.create();
    ASSERT_NE(tree.first, nullptr);
    Model::Entity* rack = dynamic_cast<Model::Entity*>(mapped(tree, world.rackA));
    ASSERT_NE(rack, nullptr);

    // Owner moves above the rack, into the hall; groups made for shortcuts are read-only.
    Model::Attribute* summary = node(tree.first.get(), "Summary");
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->getAttributeType(false), AttributeType::Composite);
    EXPECT_EQ(summary->getAccessType(), AccessType::ReadOnly);
    Model::Attribute* total = node(tree.first.get(), "Summary.Total");
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->getAccessType(), AccessType::ReadWrite);
    // Two attributes declaring the same path share one shortcut.
    EXPECT_EQ(targets(total),
              (std::vector<std::string>{"Hall.Racks.Rack A.Power", "Hall.Racks.Rack A.Cooling Power"}));
    // One attribute declaring a path twice gives one target.
    EXPECT_EQ(targets(node(rack, "Overview.Cooling")),
              (std::vector<std::string>{"Hall.Racks.Rack A.Cooling Power"}));

    // Paths blocked by a value are dropped: the value stays as it is.
    Model::Attribute* power = node(rack, "Power");
    EXPECT_EQ(power->getAttributeType(false), AttributeType::Float);
    EXPECT_EQ(node(rack, "Power.Sub"), nullptr);
    EXPECT_DOUBLE_EQ(power->getDoubleValue(0, false), 1000.0);
}

TEST(EntityTreeBuilderShortcuts, EntitiesOfOneTypeKeepTheirOwnPathsAndTargets)
{
    Hall world(false, true, true);
    const auto tree = world.create();
    ASSERT_NE(tree.first, nullptr);
    // Each rack is reached by its own name, so paths and shortcut targets never mix the racks up.
    EXPECT_EQ(mapped(tree, world.rackB->findAttribute("Power"))->getAttributePath(true).toString(),
              "Hall.Racks.Rack B.Power");
    EXPECT_EQ(targets(node(tree.first.get(), "Summary.Total")),
              (std::vector<std::string>{"Hall.Racks.Rack A.Power", "Hall.Racks.Rack A.Cooling Power",
                                        "Hall.Racks.Rack B.Power", "Hall.Racks.Rack B.Cooling Power"}));
    auto* quickB = dynamic_cast<Model::ShortcutAttribute*>(node(tree.first.get(), "Racks.Rack B.Quick"));
    ASSERT_NE(quickB, nullptr);
    EXPECT_EQ(quickB->getTarget(), mapped(tree, world.rackB->findAttribute("Power")));
}

TEST(EntityTreeBuilderShortcuts, CreateDropsTargetsThatWereNotKeptDocumentKeepsThem)
{
    Hall world(false, true);
    const auto created = world.create();
    EXPECT_EQ(targets(node(created.first.get(), "Racks.Rack A.Quick")), (std::vector<std::string>{"Power"}));

    auto rack = Hall::rack("Template", false);
    const auto documented =
        EntityTreeBuilder::document(rack.get(), rack.get(), AccessType::ReadWrite, {}, true, false);
    ASSERT_NE(documented.first, nullptr);
    EXPECT_EQ(targets(node(documented.first.get(), "Quick")),
              (std::vector<std::string>{"Inlet.Note", "Power"}));

    // The finalizer does the cleaning on its own, for a tree or for each tree of a collection.
    auto tree = EntityTreeBuilder::document(rack.get(), rack.get(), AccessType::ReadWrite, {}, true, false);
    Model::EntityCollection collection(std::move(tree.first));
    Conflux::Model::EntityTreeFinalizer::finalize(collection);
    EXPECT_EQ(targets(collection.root()->findAttribute(Model::AttributePath("Quick"), false)),
              (std::vector<std::string>{"Power"}));
}

TEST(EntityTreeBuilderDocument, SwitchedOffEntitiesAreDocumentedWithLinksToDocumentedTypes)
{
    auto rack = Hall::rack("Template", false);
    EXPECT_EQ(EntityTreeBuilder::create(rack.get(), AccessType::ReadWrite, true, false).first, nullptr);

    const auto plain =
        EntityTreeBuilder::document(rack.get(), rack.get(), AccessType::ReadWrite, {}, true, false);
    ASSERT_NE(plain.first, nullptr);
    EXPECT_EQ(plain.first->getType(), "Rack");
    EXPECT_EQ(plain.first->getName(false), "Template");
    EXPECT_NE(node(plain.first.get(), "Power"), nullptr);
    EXPECT_NE(node(plain.first.get(), "Inlet.Temperature"), nullptr);
    EXPECT_EQ(node(plain.first.get(), "Servers"), nullptr);

    const auto withServers =
        EntityTreeBuilder::document(rack.get(), rack.get(), AccessType::ReadWrite, {"Server"}, true, false);
    auto* servers = dynamic_cast<Model::ListAttribute*>(node(withServers.first.get(), "Servers"));
    ASSERT_NE(servers, nullptr);
    EXPECT_EQ(servers->getLinkedType(), "Server");
    EXPECT_TRUE(servers->getEntities(false).empty());
    EXPECT_EQ(mapped(withServers, rack->findAttribute("Servers")), servers);

    // Entity types without an exchange switch are not documented.
    auto plainEntity = make(entityType("Panel", {Def(AttributeKind::Double, "Power").flagged()}), "Panel");
    EXPECT_EQ(EntityTreeBuilder::document(plainEntity.get(), plainEntity.get(), AccessType::ReadWrite, {},
                                          true, false)
                  .first,
              nullptr);
}

TEST(EntityTreeBuilderValues, ResultsStartFromTheCurrentProjectsSettings)
{
    const auto control = entityType(
        "Solution Control",
        {Def(AttributeKind::Double, "Reference Temperature", "26").quantity("Temperature"),
         composite("Variables",
                   {composite("Temperature", {Def(AttributeKind::Type, "Initial Value Option", "Auto")})})});
    const auto room = entityType(
        "Room",
        {exchangeSwitch(true),
         composite("Simulation Results",
                   {Def(AttributeKind::Double, "Temperature", "40").flagged().quantity("Temperature")})});
    auto root = make(entityType("Project", {Def(AttributeKind::Link, "Solution Control").linked({}, false),
                                            Def(AttributeKind::List, "Rooms").linked({}, false)}),
                     "P");
    adopt(root.get(), "Solution Control", make(control, "Solution Control"));
    adopt(root.get(), "Rooms", make(room, "Room 1"));
    EntityModel::Project project(std::move(root));
    Entity* projectRoot = project.getRootEntity();
    const std::string path = "Rooms.Room 1.Simulation Results.Temperature";

    // Not the editor's project: without initial values every result starts at 0.
    EXPECT_DOUBLE_EQ(
        node(EntityTreeBuilder::create(projectRoot, AccessType::ReadWrite, true, false).first.get(), path)
            ->getDoubleValue(0, false),
        0.0);
    EntityEditor::setCurrentProject(&project);
    const auto tree = EntityTreeBuilder::create(projectRoot, AccessType::ReadWrite, true, false);
    // Documentation shows no initial values at all.
    const auto documented =
        EntityTreeBuilder::document(projectRoot, projectRoot, AccessType::ReadWrite, {}, true, false);
    EntityEditor::setCurrentProject(nullptr);
    EXPECT_DOUBLE_EQ(node(tree.first.get(), path)->getDoubleValue(3, false), 26.0);
    EXPECT_DOUBLE_EQ(node(documented.first.get(), path)->getDoubleValue(0, false), 0.0);
}

TEST(EntityTreeBuilderLabels, RepeatedNamesInOneLinkAreToldApartByTheirIdentifiers)
{
    Hall world(false, true, true);
    world.rackB->setName("Rack A");
    const auto tree = world.create();
    ASSERT_NE(tree.first, nullptr);
    const auto label = [](const Entity* rack)
    {
        const auto [file, serial] = rack->getID().toPair();
        return "Rack A [" + std::to_string(file) + "-" + std::to_string(serial) + "]";
    };
    // Both racks keep their own paths and their own shortcut targets; the name stays the name.
    Model::Attribute* powerA = mapped(tree, world.rackA->findAttribute("Power"));
    Model::Attribute* powerB = mapped(tree, world.rackB->findAttribute("Power"));
    EXPECT_EQ(powerA->getAttributePath(true).toString(), "Hall.Racks." + label(world.rackA) + ".Power");
    EXPECT_EQ(powerB->getAttributePath(true).toString(), "Hall.Racks." + label(world.rackB) + ".Power");
    EXPECT_EQ(dynamic_cast<Model::Entity*>(mapped(tree, world.rackB))->getName(false), "Rack A");
    auto* total = dynamic_cast<Model::ShortcutAttribute*>(node(tree.first.get(), "Summary.Total"));
    ASSERT_NE(total, nullptr);
    ASSERT_EQ(total->getShortcuts().size(), 4u);
    EXPECT_EQ(total->resolve(total->getShortcuts()[2]), powerB);
    auto* quickB = dynamic_cast<Model::ShortcutAttribute*>(
        node(tree.first.get(), "Racks." + label(world.rackB) + ".Quick"));
    ASSERT_NE(quickB, nullptr);
    EXPECT_EQ(quickB->getTarget(), powerB);

    // Labels do not depend on which entities the exchange keeps, nor on their order.
    world.rackB->findAttribute("Conflux.Active")->setValueFromString("false");
    EXPECT_NE(node(world.create().first.get(), "Racks." + label(world.rackA)), nullptr);
    // A name used once keeps its name as its label.
    world.rackB->setName("Rack B");
    EXPECT_NE(node(world.create().first.get(), "Racks.Rack A"), nullptr);
}

TEST(EntityTreeBuilderLabels, PathsIntoLongListsFindEveryEntity)
{
    auto hall = make(
        entityType("Hall", {exchangeSwitch(true), Def(AttributeKind::List, "Racks").linked({"Rack"}, false)}),
        "Hall");
    for (int i = 0; i < 40; ++i)
        adopt(hall.get(), "Racks", Hall::rack("Rack " + std::to_string(i), true));
    const auto tree = EntityTreeBuilder::create(hall.get(), AccessType::ReadWrite, true, false);
    for (int i = 0; i < 40; ++i)
    {
        SCOPED_TRACE(i);
        const Model::Attribute* found = node(tree.first.get(), "Racks.Rack " + std::to_string(i) + ".Power");
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->getParentEntity()->getName(false), "Rack " + std::to_string(i));
    }
    EXPECT_EQ(node(tree.first.get(), "Racks.Rack 40"), nullptr);
}

TEST(EntityTreeBuilderShortcuts, DroppedTargetsAreReportedWithTheirEntity)
{
    Hall world(false, true);
    Model::EntityTreeReport report;
    std::vector<std::pair<std::size_t, std::size_t>> steps;
    report.progress = [&steps](std::size_t done, std::size_t total) { steps.emplace_back(done, total); };
    const auto tree = EntityTreeBuilder::create(world.hall.get(), AccessType::ReadWrite, true, false, report);
    ASSERT_EQ(report.unresolvedShortcuts.size(), 1u);
    EXPECT_EQ(report.unresolvedShortcuts[0].shortcut, "Hall.Racks.Rack A.Quick");
    EXPECT_EQ(report.unresolvedShortcuts[0].target, "Inlet.Note");
    EXPECT_EQ(report.unresolvedShortcuts[0].entity, world.rackA);
    // The walk told its progress over the hall and its three racks, up to the end.
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), std::make_pair(std::size_t{4}, std::size_t{4}));
}
