#include "host/cabinet/FlowPath.h"
#include "host/cabinet/FluidDetails.h"
#include "host/cabinet/ReferenceValues.h"
#include "host/entitymodel/EntityModel.h"

#include <gtest/gtest.h>

using namespace EntityModel;
using namespace CabinetConstructor;

namespace
{
AttributeDefinition value(AttributeKind kind, const char* name, const char* defaultValue = "")
{
    AttributeDefinition d;
    d.kind = kind;
    d.name = TypeRef(name);
    d.defaultValue = defaultValue;
    return d;
}

AttributeDefinition ownedList(const char* name, std::vector<TypeRef> types)
{
    AttributeDefinition d = value(AttributeKind::List, name);
    d.linkedTypes = std::move(types);
    d.owning = true;
    return d;
}

std::shared_ptr<EntityDefinition> definition(TypeRef type, std::vector<AttributeDefinition> attributes)
{
    return std::make_shared<EntityDefinition>(EntityDefinition{type, std::move(attributes), {}, {}});
}

// A project owning a solution control (with or without a reference temperature) and an equipment
// entity with two inflows, one outflow and a box owning one more inflow.
struct Model
{
    explicit Model(bool withReference)
    {
        std::vector<AttributeDefinition> controlAttributes;
        if (withReference)
            controlAttributes.push_back(value(AttributeKind::Double, "Reference Temperature", "24.5"));
        AttributeDefinition flowArea = value(AttributeKind::Double, "Area", "0.25");
        auto inflowDef = definition(Inflow_t, {flowArea});
        auto outflowDef = definition(Outflow_t, {value(AttributeKind::Double, "Area", "0.4")});
        auto boxDef = definition(TypeRef("Box"), {ownedList("Flows", {Inflow_t})});
        auto equipmentDef = definition(TypeRef("Equipment"), {ownedList("Flows", {Inflow_t, Outflow_t}),
                                                              ownedList("Boxes", {TypeRef("Box")})});
        auto controlDef = definition(Solution_Control_t, controlAttributes);
        auto projectDef =
            definition(Project_t, {ownedList("Children", {Solution_Control_t, TypeRef("Equipment")})});

        root = DataFactory::createEntity(projectDef, "P");
        auto* children = static_cast<LinkAttribute*>(root->findAttribute("Children"));
        children->adopt(DataFactory::createEntity(controlDef));
        equipment = children->adopt(DataFactory::createEntity(equipmentDef, "E"));
        auto* flows = static_cast<LinkAttribute*>(equipment->findAttribute("Flows"));
        in1 = flows->adopt(DataFactory::createEntity(inflowDef));
        in2 = flows->adopt(DataFactory::createEntity(inflowDef));
        out = flows->adopt(DataFactory::createEntity(outflowDef));
        in2->findAttribute("Area")->setValueFromString("0.75");
        Entity* box = static_cast<LinkAttribute*>(equipment->findAttribute("Boxes"))
                          ->adopt(DataFactory::createEntity(boxDef));
        boxInflow = static_cast<LinkAttribute*>(box->findAttribute("Flows"))
                        ->adopt(DataFactory::createEntity(inflowDef));
    }

    std::unique_ptr<Entity> root;
    Entity* equipment = nullptr;
    Entity* in1 = nullptr;
    Entity* in2 = nullptr;
    Entity* out = nullptr;
    Entity* boxInflow = nullptr;
};
} // namespace

TEST(ReferenceValues, ReferenceTemperatureFromSolutionControlElseDefault)
{
    EXPECT_DOUBLE_EQ(ReferenceValues::getReferenceTemperature(nullptr), 20.0);
    Model without(false);
    EXPECT_DOUBLE_EQ(ReferenceValues::getReferenceTemperature(without.root.get()), 20.0);
    Model with(true);
    EXPECT_DOUBLE_EQ(ReferenceValues::getReferenceTemperature(with.root.get()), 24.5);
    EXPECT_DOUBLE_EQ(ReferenceValues::getReferenceTemperature(with.in1), 24.5); // any entity of the project
}

TEST(FlowPath, AreasOfTheEquipmentsInflowsAndOutflows)
{
    Model m(false);
    FlowPath direct(m.equipment, false);
    EXPECT_EQ(direct.getInflows(), (std::vector<Entity*>{m.in1, m.in2}));
    EXPECT_EQ(direct.getOutflows(), (std::vector<Entity*>{m.out}));
    EXPECT_DOUBLE_EQ(direct.getInflowArea(m.in2), 0.75);
    EXPECT_DOUBLE_EQ(direct.getOutflowArea(m.out), 0.4);
    EXPECT_DOUBLE_EQ(direct.getInflowArea(m.out), 0.0); // not an inflow
    EXPECT_DOUBLE_EQ(direct.getInflowArea(m.boxInflow), 0.0);
    EXPECT_DOUBLE_EQ(direct.getTotalInflowArea(), 1.0);

    FlowPath deep(m.equipment, true);
    EXPECT_EQ(deep.getInflows().size(), 3u);
    EXPECT_DOUBLE_EQ(deep.getTotalInflowArea(), 1.25);
    FlowPath none(nullptr, true);
    EXPECT_TRUE(none.getInflows().empty());
    EXPECT_DOUBLE_EQ(none.getTotalOutflowArea(), 0.0);
}

TEST(FluidDetails, PressureAndDensityFollowAltitude)
{
    AttributeDefinition density;
    density.kind = AttributeKind::Composite;
    density.name = Density_t;
    density.children = {value(AttributeKind::Double, "Value", "1.2"),
                        value(AttributeKind::Double, "Altitude", "0")};
    auto air = DataFactory::createEntity(definition(TypeRef("Fluid"), {density}));
    EXPECT_DOUBLE_EQ(FluidDetails::getReferencePressure(air.get()), 101325.0);
    EXPECT_DOUBLE_EQ(FluidDetails::getDensityForAltitude(air.get()), 1.2);

    air->findAttribute("Density.Altitude")->setValueFromString("1500");
    EXPECT_NEAR(FluidDetails::getReferencePressure(air.get()), 84556.0, 10.0);
    EXPECT_NEAR(FluidDetails::getDensityForAltitude(air.get()), 1.2 * 84556.0 / 101325.0, 1e-3);
    EXPECT_DOUBLE_EQ(FluidDetails::pressureAtAltitude(1e6), 0.0);
    EXPECT_DOUBLE_EQ(FluidDetails::getReferencePressure(nullptr), 101325.0);
}

TEST(FluidDetails, AltitudeSwitchAndReferencePressure)
{
    AttributeDefinition density;
    density.kind = AttributeKind::Composite;
    density.name = Density_t;
    density.children = {value(AttributeKind::Double, "Nominal Value", "1.0"),
                        value(AttributeKind::Bool, "Altitude Based", "false"),
                        value(AttributeKind::Double, "Altitude", "1500")};
    auto fluid = DataFactory::createEntity(definition(
        TypeRef("Fluid"), {density, value(AttributeKind::Double, "Reference Pressure", "200000")}));
    EXPECT_DOUBLE_EQ(FluidDetails::getReferencePressure(fluid.get()),
                     200000.0); // switch off: altitude ignored
    fluid->findAttribute("Density.Altitude Based")->setValueFromString("true");
    EXPECT_NEAR(FluidDetails::getReferencePressure(fluid.get()), 200000.0 * 84556.0 / 101325.0, 20.0);
    EXPECT_NEAR(FluidDetails::getDensityForAltitude(fluid.get()), 84556.0 / 101325.0,
                1e-3); // nominal value first
}
