// The attribute builder: node kinds, access types, units and initial values of single attributes.
#include "tests/model/builders/BuilderTestSupport.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "src/model/EntityLinkAttributeBase.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"
#include "src/model/builders/AttributeBuilder.h"
#include "src/model/builders/AttributeInitializer.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace BuilderTest;
using Conflux::Model::AccessType;
using Conflux::Model::AttributeBuilder;
using Conflux::Model::AttributeInitializer;
using Conflux::Model::AttributeType;

namespace
{
/// An entity holding the given attributes, and the builder's view of one of them.
struct Holder
{
    explicit Holder(const std::vector<Def>& attributes, const std::string& type = "Test Equipment")
        : entity(make(entityType(type, attributes), "Unit 1"))
    {
    }
    EntityModel::Attribute* at(const std::string& path) const { return entity->findAttribute(path); }
    std::unique_ptr<Conflux::Model::Attribute> build(const std::string& path, AccessType access = AccessType::ReadWrite,
                                                     AttributeInitializer* initializer = nullptr,
                                                     bool useReadOnlyRule = false, bool forceDouble = false) const
    {
        return AttributeBuilder::create(at(path), entity.get(), access, initializer, useReadOnlyRule, forceDouble);
    }
    std::unique_ptr<EntityModel::Entity> entity;
};

/// A project whose solution control sets initial values of transported variables.
struct Project
{
    explicit Project(const std::string& temperatureOption = "Auto")
    {
        const auto control = entityType(
            "Solution Control",
            {Def(AttributeKind::Double, "Reference Temperature", "22").quantity("Temperature"),
             composite("Variables",
                       {composite("Temperature", {Def(AttributeKind::Type, "Initial Value Option", temperatureOption),
                                                  Def(AttributeKind::Double, "Initial Value", "18")}),
                        composite("Pressure", {Def(AttributeKind::Double, "Initial Value", "101325")}),
                        composite("Density", {}),
                        composite("Contamination", {Def(AttributeKind::Double, "Initial Value", "5")}),
                        composite("Generic Scalar", {Def(AttributeKind::Double, "Initial Value", "6")})})});
        root = make(entityType("Project", {Def(AttributeKind::Link, "Solution Control").linked({}, false)}), "P");
        adopt(root.get(), "Solution Control", make(control, "Solution Control"));
    }
    std::unique_ptr<EntityModel::Entity> root;
};

double initial(const Conflux::Model::Attribute& node) { return node.getDoubleValue(0, false); }
} // namespace

TEST(AttributeBuilderKinds, EachHostKindBecomesItsExchangeKind)
{
    Holder holder({Def(AttributeKind::Int, "Count", "4").flagged(),
                   Def(AttributeKind::Bool, "On", "true").flagged(),
                   Def(AttributeKind::Type, "Mode", "Fixed").flagged(),
                   Def(AttributeKind::Double, "Plain").flagged(),
                   Def(AttributeKind::Double, "Float").flagged().declared("Float"),
                   Def(AttributeKind::Double, "Precise").flagged().declared("Double"),
                   Def(AttributeKind::Curve, "Curve").flagged().declared("Double"),
                   composite("Group", {}).flagged(),
                   Def(AttributeKind::CountedComposite, "Items", "0").flagged(),
                   Def(AttributeKind::Link, "Link").linked({"Server"}, true),
                   Def(AttributeKind::List, "List").linked({"Server"}, false),
                   Def(AttributeKind::Array, "Array").linked({"Server"}, false),
                   Def(AttributeKind::Shortcut, "Quick").targets({"Count"}).flagged(),
                   Def(AttributeKind::String, "Text", "x").flagged(),
                   Def(AttributeKind::Filename, "File", "a.txt").flagged(),
                   Def(AttributeKind::ByteArray, "Bytes").flagged(),
                   Def(AttributeKind::UnitType, "Unit").flagged()});
    struct Row
    {
        const char* path;
        std::optional<AttributeType> kind;
    };
    const Row rows[] = {
        {"Count", AttributeType::Integer},  {"On", AttributeType::Boolean},     {"Mode", AttributeType::String},
        {"Plain", AttributeType::Float},    {"Float", AttributeType::Float},    {"Precise", AttributeType::Double},
        {"Curve", AttributeType::Double},   {"Group", AttributeType::Composite}, {"Items", AttributeType::Composite},
        {"Link", AttributeType::Link},      {"List", AttributeType::List},      {"Array", AttributeType::Array},
        {"Quick", AttributeType::Shortcut}, {"Text", std::nullopt},             {"File", std::nullopt},
        {"Bytes", std::nullopt},            {"Unit", std::nullopt},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.path);
        const auto node = holder.build(row.path);
        if (!row.kind)
        {
            EXPECT_EQ(node, nullptr);
            continue;
        }
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getAttributeType(false), *row.kind);
        EXPECT_EQ(node->getType(), row.path);
        EXPECT_EQ(node->getParent(), nullptr);
    }
}

TEST(AttributeBuilderKinds, ValuesLinksAndShortcutsCarryTheHostContent)
{
    Holder holder({Def(AttributeKind::Int, "Count", "4").flagged().label("Number"),
                   Def(AttributeKind::Bool, "On", "true").flagged(),
                   Def(AttributeKind::Type, "Mode", "Fixed").flagged(),
                   Def(AttributeKind::List, "Servers").linked({"Server", "Switch"}, true),
                   Def(AttributeKind::Shortcut, "Quick").targets({"Group.Inner.Count", "On"}).flagged()});

    const auto count = holder.build("Count");
    EXPECT_EQ(count->getType(), "Number");
    // The initial value is stored under chronology 0 of a chronological value and read on from there.
    EXPECT_FALSE(count->hasValue(3));
    EXPECT_EQ(count->getIntValue(0, false), 4);
    EXPECT_EQ(count->getIntValue(3, false), 4);
    EXPECT_FALSE(count->hasUnits());
    EXPECT_TRUE(holder.build("On")->getBoolValue(2, false));
    EXPECT_EQ(holder.build("Mode")->getStringValue(0, false), "Fixed");

    const auto servers = holder.build("Servers");
    const auto& link = dynamic_cast<const Conflux::Model::EntityLink&>(*servers);
    EXPECT_EQ(link.getLinkedType(), "Server");
    EXPECT_TRUE(link.getFlag());

    const auto quick = holder.build("Quick");
    const auto& shortcut = static_cast<const Conflux::Model::ShortcutAttribute&>(*quick);
    ASSERT_EQ(shortcut.getShortcuts().size(), 2u);
    EXPECT_EQ(shortcut.getShortcuts()[0], Conflux::Model::AttributePath({"Group", "Inner", "Count"}));
    EXPECT_EQ(shortcut.getShortcuts()[1].toString(), "On");
}

TEST(AttributeBuilderKinds, DeclaredTypesOfRealValues)
{
    Holder holder({Def(AttributeKind::Double, "Untyped").flagged(),
                   Def(AttributeKind::Double, "Integer").flagged().declared("Integer"),
                   Def(AttributeKind::Curve, "Untyped Curve").flagged(),
                   Def(AttributeKind::Curve, "Float Curve").flagged().declared("Float"),
                   Def(AttributeKind::Curve, "String Curve").flagged().declared("String")});
    EXPECT_EQ(holder.build("Untyped")->getAttributeType(false), AttributeType::Float);
    EXPECT_EQ(holder.build("Float Curve")->getAttributeType(false), AttributeType::Float);

    const auto expectThrow = [&](const char* path, const char* message) {
        SCOPED_TRACE(path);
        try
        {
            holder.build(path);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::logic_error& error)
        {
            EXPECT_STREQ(error.what(), message);
        }
    };
    expectThrow("Integer", "Unsupported Conflux Attribute for Double");
    expectThrow("Untyped Curve", "Unsupported Conflux Attribute for Curve");
    expectThrow("String Curve", "Unsupported Conflux Attribute for Curve");

    // Forcing doubles overrides every declared type, whatever it says.
    for (const char* path : {"Untyped", "Integer", "Untyped Curve", "Float Curve", "String Curve"})
    {
        SCOPED_TRACE(path);
        EXPECT_EQ(holder.build(path, AccessType::ReadWrite, nullptr, false, true)->getAttributeType(false),
                  AttributeType::Double);
    }
}

TEST(AttributeBuilderKinds, RealValuesBeyondSinglePrecisionAreRefusedByName)
{
    Holder holder({Def(AttributeKind::Double, "Load", "1e39").flagged().declared("Float"),
                   Def(AttributeKind::Double, "Near", "3e38").flagged().declared("Float")});
    try
    {
        holder.build("Load");
        ADD_FAILURE() << "no exception";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_STREQ(error.what(), "Attribute 'Load' of entity 'Unit 1': 1e+39 does not fit a single-precision value");
    }
    EXPECT_FLOAT_EQ(holder.build("Near")->getFloatValue(0, false), 3e38f);
    EXPECT_DOUBLE_EQ(holder.build("Load", AccessType::ReadWrite, nullptr, false, true)->getDoubleValue(0, false), 1e39);
}

TEST(AttributeBuilderKinds, EntitiesAreRefused)
{
    Holder holder({});
    try
    {
        AttributeBuilder::create(holder.entity.get(), holder.entity.get(), AccessType::ReadWrite, nullptr, false, false);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_STREQ(error.what(), "No entities should be constructed");
    }
    EXPECT_EQ(AttributeBuilder::create(nullptr, holder.entity.get(), AccessType::ReadWrite, nullptr, false, false),
              nullptr);
}

TEST(AttributeBuilderAccess, FlagsRulesAndTheCallersBound)
{
    Holder holder({Def(AttributeKind::Type, "Mode", "Free"),
                   Def(AttributeKind::Double, "Set Point").flagged(),
                   Def(AttributeKind::Double, "Result").flagged().exchangeReadOnly(),
                   Def(AttributeKind::Double, "Unflagged"),
                   composite("Group", {}),
                   Def(AttributeKind::List, "Servers").linked({}, false),
                   Def(AttributeKind::Double, "Ruled Read Only").flagged().exchangeReadOnly().readOnlyRule("Mode", {"Fixed"}),
                   Def(AttributeKind::Double, "Ruled").flagged().readOnlyRule("Mode", {"Free"}),
                   Def(AttributeKind::Curve, "Curve").flagged().declared("Float")});
    struct Row
    {
        const char* path;
        AccessType granted;
        bool useRule;
        AccessType expected;
    };
    const Row rows[] = {
        {"Set Point", AccessType::ReadWrite, false, AccessType::ReadWrite},
        {"Set Point", AccessType::ReadOnly, false, AccessType::ReadOnly},
        {"Set Point", AccessType::WriteOnly, false, AccessType::WriteOnly},
        {"Set Point", AccessType::None, false, AccessType::None},
        {"Result", AccessType::ReadWrite, false, AccessType::ReadOnly},
        {"Result", AccessType::WriteOnly, false, AccessType::None},
        {"Unflagged", AccessType::ReadWrite, false, AccessType::None},
        {"Group", AccessType::ReadWrite, false, AccessType::ReadOnly},
        {"Servers", AccessType::ReadWrite, false, AccessType::ReadOnly},
        // A rule with a false outcome widens the mask, yet a read-only attribute stays unwritable.
        {"Ruled Read Only", AccessType::ReadWrite, true, AccessType::ReadOnly},
        {"Ruled Read Only", AccessType::ReadWrite, false, AccessType::ReadOnly},
        // A rule that holds never narrows what the flags allow.
        {"Ruled", AccessType::ReadWrite, true, AccessType::ReadWrite},
        // A curve is read-only whatever the flags and the caller say.
        {"Curve", AccessType::ReadWrite, false, AccessType::ReadOnly},
        {"Curve", AccessType::None, false, AccessType::ReadOnly},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(std::string(row.path) + " granted " + std::to_string(static_cast<int>(row.granted)));
        EXPECT_EQ(holder.build(row.path, row.granted, nullptr, row.useRule)->getAccessType(), row.expected);
    }
    EXPECT_EQ(AttributeBuilder::determineAccessTypeFromAttribute(nullptr, true), AccessType::None);
    EXPECT_EQ(AttributeBuilder::determineAccessTypeFromAttribute(holder.at("Result"), true), AccessType::ReadOnly);
}

TEST(AttributeBuilderUnits, StandardUnitOfTheQuantity)
{
    Holder holder({Def(AttributeKind::Double, "Inlet", "25").flagged().quantity("Temperature"),
                   Def(AttributeKind::Double, "Ratio", "0.5").flagged(),
                   Def(AttributeKind::Curve, "Heat Curve", "0:100;1:200").flagged().declared("Double").quantity("Power")});
    EXPECT_EQ(holder.build("Inlet")->getUnit(), "°C");
    EXPECT_EQ(holder.build("Ratio")->getUnit(), "");
    EXPECT_FALSE(holder.build("Ratio")->hasUnits());
    const auto curve = holder.build("Heat Curve");
    EXPECT_EQ(curve->getUnit(), "W");
    EXPECT_DOUBLE_EQ(initial(*curve), 100.0);
}

TEST(AttributeBuilderValues, LiveValuesResultsAndInitializerEntries)
{
    Project project;
    AttributeInitializer initializer(project.root.get());
    auto temperature = [] { return Def(AttributeKind::Double, "Temperature", "35").flagged().quantity("Temperature"); };
    Holder holder({Def(AttributeKind::Double, "Set Point", "27").flagged().quantity("Temperature").bounds(30, 40),
                   Def(AttributeKind::Double, "Stale", "27").flagged().quantity("Pressure"),
                   composite("Simulation Results",
                             {temperature(),
                              Def(AttributeKind::Double, "Power", "9").flagged().quantity("Power").bounds(3, std::nullopt),
                              Def(AttributeKind::Double, "Power Uncapped", "9").flagged().quantity("Power"),
                              Def(AttributeKind::Double, "Density", "9").flagged().quantity("Density"),
                              Def(AttributeKind::Double, "Ratio", "9").flagged().bounds(5, 6),
                              Def(AttributeKind::Curve, "Load", "0:9").flagged().declared("Float").quantity("Pressure")})});
    holder.at("Stale")->setValidFlag(false);

    // A project whose temperature starts at its reference temperature, set automatically.
    EXPECT_EQ(initializer.getInitialValue("Temperature"), 22.0);
    Project fixed("Fixed");
    AttributeInitializer fixedInitializer(fixed.root.get());
    EXPECT_EQ(fixedInitializer.getInitialValue("Temperature"), 18.0);

    struct Row
    {
        const char* path;
        AttributeInitializer* initializer;
        double expected;
    };
    const Row rows[] = {
        {"Set Point", &initializer, 27.0}, // live: its own value, not clamped
        {"Stale", &initializer, 101325.0}, // not valid: the initializer's entry
        {"Stale", nullptr, 0.0},
        {"Simulation Results.Temperature", &initializer, 22.0},
        {"Simulation Results.Temperature", &fixedInitializer, 18.0},
        {"Simulation Results.Temperature", nullptr, 0.0},
        {"Simulation Results.Power", &initializer, 3.0},            // no entry: 0, raised to the minimum
        {"Simulation Results.Power Uncapped", &initializer, 0.0},   // no entry: 0
        {"Simulation Results.Density", &initializer, 0.0},          // listed without a value: 0
        {"Simulation Results.Ratio", &initializer, 0.0},            // no unit: 0, not clamped
        {"Simulation Results.Load", &initializer, 101325.0},        // curves look up their y quantity
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.path);
        EXPECT_DOUBLE_EQ(initial(*holder.build(row.path, AccessType::ReadWrite, row.initializer)), row.expected);
    }
}

TEST(AttributeBuilderValues, TemperatureWithoutEntryStartsAtTwentyWithinItsBounds)
{
    // A project without transported-variable settings has no entries at all.
    auto emptyRoot = make(entityType("Project", {}), "P");
    AttributeInitializer none(emptyRoot.get());
    EXPECT_TRUE(none.getInitialValues().empty());
    Holder holder({composite("Simulation Results",
                             {Def(AttributeKind::Double, "Air", "35").flagged().quantity("Temperature"),
                              Def(AttributeKind::Double, "Capped", "35").flagged().quantity("Temperature").bounds(std::nullopt, 15),
                              Def(AttributeKind::Double, "Raised", "35").flagged().quantity("Temperature").bounds(25, 30),
                              Def(AttributeKind::Curve, "Curve", "0:35").flagged().declared("Float").quantity("Temperature")})});
    EXPECT_DOUBLE_EQ(initial(*holder.build("Simulation Results.Air", AccessType::ReadWrite, &none)), 20.0);
    EXPECT_DOUBLE_EQ(initial(*holder.build("Simulation Results.Capped", AccessType::ReadWrite, &none)), 15.0);
    EXPECT_DOUBLE_EQ(initial(*holder.build("Simulation Results.Raised", AccessType::ReadWrite, &none)), 25.0);
    EXPECT_DOUBLE_EQ(initial(*holder.build("Simulation Results.Curve", AccessType::ReadWrite, &none)), 20.0);
}

TEST(AttributeBuilderValues, CoolingUnitsAndVentsStartFromTheirOwnSettings)
{
    Project project;
    AttributeInitializer initializer(project.root.get());
    const auto coolingUnit = [](const std::string& type) {
        return Holder({Def(AttributeKind::Double, "Coolant Temperature", "12").quantity("Temperature"),
                       composite("Simulation Results",
                                 {Def(AttributeKind::Double, "Coolant Temperature Out", "40").flagged().quantity("Temperature"),
                                  Def(AttributeKind::Double, "Air Temperature Out", "40").flagged().quantity("Temperature")}),
                       composite("Campus Simulation Results",
                                 {Def(AttributeKind::Curve, "Coolant Temperature Out Curve", "0:40").flagged()
                                      .declared("Float").quantity("Temperature")})},
                      type);
    };
    for (const char* type : {"Air Cooling Unit", "Heat Exchanger"})
    {
        SCOPED_TRACE(type);
        const Holder unit = coolingUnit(type);
        EXPECT_DOUBLE_EQ(initial(*unit.build("Simulation Results.Coolant Temperature Out", AccessType::ReadWrite, &initializer)), 12.0);
        EXPECT_DOUBLE_EQ(initial(*unit.build("Simulation Results.Air Temperature Out", AccessType::ReadWrite, &initializer)), 22.0);
        EXPECT_DOUBLE_EQ(initial(*unit.build("Campus Simulation Results.Coolant Temperature Out Curve",
                                             AccessType::ReadWrite, &initializer)),
                         12.0);
    }
    // The value found so is kept within the result's bounds.
    Holder bounded({Def(AttributeKind::Double, "Coolant Temperature", "12").quantity("Temperature"),
                    composite("Simulation Results", {Def(AttributeKind::Double, "Coolant Temperature Out", "40")
                                                         .flagged().quantity("Temperature").bounds(14, std::nullopt)})},
                   "Air Cooling Unit");
    EXPECT_DOUBLE_EQ(initial(*bounded.build("Simulation Results.Coolant Temperature Out", AccessType::ReadWrite, &initializer)), 14.0);
    // Other equipment has no such rule.
    const Holder cabinet = coolingUnit("Cabinet");
    EXPECT_DOUBLE_EQ(initial(*cabinet.build("Simulation Results.Coolant Temperature Out", AccessType::ReadWrite, &initializer)), 22.0);

    Holder vent({Def(AttributeKind::Double, "Volume Flow", "0.5").quantity("Volume Flow"),
                 composite("Results", {Def(AttributeKind::Double, "Volume Flow", "3").flagged().quantity("Volume Flow").bounds(0, 1),
                                       Def(AttributeKind::Double, "Pressure Drop", "3").flagged().quantity("Pressure")})},
                "Vent");
    vent.at("Results.Volume Flow")->setValidFlag(false);
    vent.at("Results.Pressure Drop")->setValidFlag(false);
    EXPECT_DOUBLE_EQ(initial(*vent.build("Results.Volume Flow", AccessType::ReadWrite, &initializer)), 0.5);
    EXPECT_DOUBLE_EQ(initial(*vent.build("Results.Pressure Drop", AccessType::ReadWrite, &initializer)), 101325.0);
}
