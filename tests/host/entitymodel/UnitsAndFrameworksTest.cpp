#include "tests/host/entitymodel/TestModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using namespace EntityModel;

TEST(UnitConverter, EveryUnitRoundTripsThroughTheStandardUnit)
{
    const UnitConverter& converter = UnitConverter::instance();
    for (TypeRef quantity : converter.quantities())
        for (const Unit& unit : converter.units(quantity))
            for (double x : {-40.0, 0.0, 1.0, 123.456})
            {
                SCOPED_TRACE(quantity.getLabel() + " in '" + unit.label + "' at " + std::to_string(x));
                double standard = converter.toStandard(quantity, unit.label, x);
                EXPECT_NEAR(converter.fromStandard(quantity, unit.label, standard), x,
                            1e-9 * (1.0 + std::abs(x)));
            }
}

TEST(UnitConverter, StandardUnitsAndKnownConversions)
{
    const UnitConverter& c = UnitConverter::instance();
    struct Row
    {
        const char* quantity;
        const char* standardUnit;
        const char* unit;
        double value;
        double standard;
    };
    const Row rows[] = {
        {"Temperature", "°C", "K", 273.15, 0.0},
        {"Temperature", "°C", "°F", 212.0, 100.0},
        {"Power", "W", "kW", 1.5, 1500.0},
        {"Volume Flow", "m³/s", "m³/h", 3600.0, 1.0},
        {"Mass Flow", "kg/s", "kg/h", 7200.0, 2.0},
        {"Density", "kg/m³", "g/cm³", 1.0, 1000.0},
        {"Specific Heat", "J/(kg·K)", "kJ/(kg·K)", 4.18, 4180.0},
        {"Length", "m", "mm", 250.0, 0.25},
        {"Area", "m²", "cm²", 1e4, 1.0},
        {"Time", "s", "h", 2.0, 7200.0},
        {"Pressure", "Pa", "bar", 1.01325, 101325.0},
        {"Molar Mass", "kg/kmol", "g/mol", 28.97, 28.97},
        {"Dimensionless", "", "%", 50.0, 0.5},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(std::string(row.quantity) + " " + row.unit);
        TypeRef q(row.quantity);
        EXPECT_EQ(c.getSIType(q), row.standardUnit);
        EXPECT_NEAR(c.toStandard(q, row.unit, row.value), row.standard,
                    1e-9 * (1.0 + std::abs(row.standard)));
        EXPECT_DOUBLE_EQ(c.toStandard(q, "", row.value), row.value);
    }
    EXPECT_EQ(c.getSIType(Temperature_t), "°C");
    EXPECT_EQ(c.getSIType(TypeRef("Happiness")), "");
    try
    {
        c.toStandard(Power_t, "hp?", 1.0);
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(e.what(), "Unknown unit 'hp?' of quantity 'Power'");
    }
}

TEST(UnitConverter, UserUnitsAndUnitAttributes)
{
    UnitConverter& c = UnitConverter::instance();
    c.addUnit(TypeRef("Length"), Unit{"yd", {0.9144, 0.0}});
    EXPECT_DOUBLE_EQ(c.toStandard(TypeRef("Length"), "yd", 2.0), 1.8288);
    EXPECT_THROW(c.addUnit(TypeRef("Length"), Unit{"nothing", {0.0, 1.0}}), std::invalid_argument);

    UnitTypeAttribute unit(Temperature_t, "");
    EXPECT_EQ(unit.getValue(), "°C");
    EXPECT_TRUE(unit.setValueFromString("°F"));
    EXPECT_DOUBLE_EQ(unit.getTransform()(32.0), 0.0);
    EXPECT_FALSE(unit.setValueFromString("kW"));
    EXPECT_EQ(unit.getValue(), "°F");
    unit.setQuantity(Power_t); // a new quantity starts in its standard unit
    EXPECT_EQ(unit.getValue(), "W");
    UnitTypeAttribute none(TypeRef(), "");
    EXPECT_FALSE(none.setValueFromString("m"));
    EXPECT_TRUE(none.getTransform().isIdentity());
}

TEST(EntityError, GroupsChildErrors)
{
    EntityError group(nullptr, "Incorrectly configured AI Model", Group_t.getLabel());
    group.addChildError(EntityError(nullptr, "Unconfigured AI Model Inputs", ""));
    group.addChildError(EntityError(nullptr, "Unconfigured AI Model Outputs", ""));
    EXPECT_EQ(group.getGroup(), "Group");
    ASSERT_EQ(group.getChildErrors().size(), 2u);
    EXPECT_EQ(group.getChildErrors()[1].getMessage(), "Unconfigured AI Model Outputs");
    EXPECT_EQ(
        group.toString(),
        "Incorrectly configured AI Model\n\tUnconfigured AI Model Inputs\n\tUnconfigured AI Model Outputs");
}

TEST(ChangeSet, CreatedThenDeletedLeavesNoTrace)
{
    TestModel::ProjectFixture f;
    ChangeSet changes;
    changes.addCreated(f.server1);
    changes.addModified(f.server1);
    changes.addDeleted(f.server1);
    changes.addModified(f.server2);
    changes.addDeleted(f.room2);
    EXPECT_TRUE(changes.getCreated().empty());
    EXPECT_EQ(changes.getModified(), (std::set<Entity*>{f.server2}));
    EXPECT_EQ(changes.getDeleted(), (std::set<Entity*>{f.room2}));
    ChangeSet other;
    other.addCreated(f.room1);
    changes.merge(other);
    EXPECT_EQ(changes.getCreated(), (std::set<Entity*>{f.room1}));
    changes.clear();
    EXPECT_TRUE(changes.empty());
}

TEST(AttributeSorter, OrdersByEntityThenTreePosition)
{
    TestModel::ProjectFixture f;
    Attribute* power1 = f.server1->findAttribute("Power");
    Attribute* min1 = f.server1->findAttribute("Input Values.Input 1.Bounds.Min");
    Attribute* level1 = f.server1->findAttribute("Cooling.Modelling Level");
    Attribute* power2 = f.server2->findAttribute("Power");
    std::set<Attribute*, AttributeSorter> sorted{min1, power2, level1, power1};
    EXPECT_EQ(std::vector<Attribute*>(sorted.begin(), sorted.end()),
              (std::vector<Attribute*>{power1, level1, min1, power2}));
    AttributeSorter less;
    EXPECT_FALSE(less(power1, power1));
    EXPECT_TRUE(less(f.server1, power1)); // the entity comes before its attributes
}

TEST(InstallationSettings, EverythingAllowedUnlessChanged)
{
    InstallationSettings& settings = InstallationSettings::current();
    const ConfluxAccessRights saved = settings.confluxAccessRights();
    EXPECT_EQ(saved, ConfluxAccessRights::all());
    for (int type = 1; type <= 6; ++type)
        EXPECT_TRUE(saved.allows(type));
    ConfluxAccessRights rights = ConfluxAccessRights::all();
    rights.setAllowed(5, false);
    settings.setConfluxAccessRights(rights);
    EXPECT_FALSE(InstallationSettings::current().confluxAccessRights().allows(5));
    EXPECT_TRUE(InstallationSettings::current().confluxAccessRights().allows(4));
    EXPECT_FALSE(ConfluxAccessRights::none().allows(1));
    settings.setConfluxAccessRights(saved);
}

namespace
{
struct Failing : SafeQThread
{
    bool throws = true;
    void do_run() override
    {
        if (throws)
            throw std::runtime_error("boom");
    }
};
} // namespace

TEST(SafeQThread, KeepsTheExceptionThatEndedTheRun)
{
    Failing thread;
    thread.setObjectName("failing");
    thread.start();
    ASSERT_TRUE(thread.wait(60000));
    EXPECT_EQ(thread.lastError(), "boom");
    thread.throws = false;
    thread.start();
    ASSERT_TRUE(thread.wait(60000));
    EXPECT_EQ(thread.lastError(), "");
    EXPECT_EQ(EntityModelConstantTr::tr("Conflux generation complete"),
              QString("Conflux generation complete"));
}
