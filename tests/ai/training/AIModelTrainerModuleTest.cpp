#include "src/ai/training/AIModelTrainerModule.h"

#include "host/cabinet/FluidDetails.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "tests/ai/training/TrainerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace EntityModel;
using namespace AISystem;
using TrainerTest::Sample;

namespace
{
const char* gpuNode = "GPU Node A02-1";

/// The column of a bound attribute, as the trainer lists its inputs or outputs.
int columnOf(const std::vector<Attribute*>& bound, Attribute* attribute)
{
    auto found = std::find(bound.begin(), bound.end(), attribute);
    if (found == bound.end())
        throw std::runtime_error("'" + attribute->getAttributePath().toString('.') + "' is not bound");
    return static_cast<int>(found - bound.begin());
}

/// The message createPhysicalModel fails with.
std::string failureOf(Conflux::AIModelTrainerModule* module)
{
    try
    {
        module->createPhysicalModel();
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no failure";
}

/// A sample trainer on one of its entities, with the physics-informed inputs and outputs added.
struct Physics : Sample
{
    explicit Physics(const char* target)
    {
        supported = trainer->initialize(entity(target), true);
        trainer->addPhysicsInformedInputs();
        trainer->addPhysicsInformedOutputs();
    }
    PhysicalModelValue in(const char* entityName, const char* path, double factor = 1.0) const
    {
        return PhysicalModelValue::input(columnOf(trainer->getInputAttributes(), attribute(entityName, path)),
                                         factor);
    }
    PhysicalModelValue out(const char* entityName, const char* path, double factor = 1.0) const
    {
        return PhysicalModelValue::output(
            columnOf(trainer->getOutputAttributes(), attribute(entityName, path)), factor);
    }
    /// Unbinds the input or output bound to the attribute.
    void unbind(const char* entityName, const char* path) const
    {
        Attribute* bound = attribute(entityName, path);
        if (trainer->isInput(bound))
            ASSERT_TRUE(trainer->setInputAttributeName(columnOf(trainer->getInputAttributes(), bound), ""));
        else
            ASSERT_TRUE(trainer->seOutputAttributeName(columnOf(trainer->getOutputAttributes(), bound), ""));
    }
    std::string failure() const { return failureOf(module()); }
    Conflux::AIModelTrainerModule* module() const
    {
        return trainer->findChild<Conflux::AIModelTrainerModule*>();
    }
    bool supported = false;
};

PhysicalModelFluid sampleAir()
{
    return PhysicalModelFluid(PhysicalModelFluidDensityIdealGas(28.96, 101325.0, false),
                              PhysicalModelFluidSpecificHeatConstant(1006.0));
}

PhysicalModelFluid constantFluid(double density, double specificHeat)
{
    return PhysicalModelFluid(PhysicalModelFluidDensityConstant(density),
                              PhysicalModelFluidSpecificHeatConstant(specificHeat));
}
} // namespace

TEST(AIModelTrainerPhysics, LiquidCooledServerFormsAirAndLiquidStreams)
{
    Physics s(gpuNode);
    ASSERT_TRUE(s.supported) << "the server's AI model is made when the trainer sets its modelling level";
    EXPECT_TRUE(s.trainer->hasAllPhysicsInformedInputs());
    EXPECT_TRUE(s.trainer->hasAllPhysicsInformedOutputs());
    EXPECT_EQ(
        s.trainer->getInputAttributes(),
        (std::vector<Attribute*>{
            s.attribute(gpuNode, "Power.Power Definition.Typical Power"),
            s.attribute(gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Flow Rate"),
            s.attribute(gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Temperature In"),
            s.attribute("GPU Node A02-1 Inlet", "Simulation Results.Temperature Net.Mean Temperature Net")}));
    EXPECT_EQ(
        s.trainer->getOutputAttributes(),
        (std::vector<Attribute*>{
            s.attribute(gpuNode, "Cooling.Liquid Cooling Options.Heat Capture Specification.Liquid Outlet "
                                 "Temperature"),
            s.attribute("GPU Node A02-1 Exhaust", "Temperature"),
            s.attribute("GPU Node A02-1 Exhaust", "Flow Rate")}));

    // The project's air, and the propylene glycol that the CDU feeding the server circulates.
    Entity* options = s.trainer->getOptions();
    EXPECT_EQ(getTypeValue(options, "Train.Advanced Options.Fluids.Project Fluid Type"), Custom_t);
    EXPECT_EQ(getLinkedEntity(options, "Train.Advanced Options.Fluids.Project Fluid"), s.entity("Air"));
    EXPECT_EQ(getTypeValue(options, "Train.Advanced Options.Fluids.Liquid Coolant Type"), Custom_t);
    EXPECT_EQ(getLinkedEntity(options, "Train.Advanced Options.Fluids.Liquid Coolant Fluid"),
              s.entity("Propylene Glycol 25%"));

    PhysicalModel expected;
    expected.addHeatSource(s.in(gpuNode, "Power.Power Definition.Typical Power"));
    PhysicalModelStream air(sampleAir());
    air.addInflow(0.03,
                  s.in("GPU Node A02-1 Inlet", "Simulation Results.Temperature Net.Mean Temperature Net"),
                  std::nullopt);
    air.addOutflow(0.03, s.out("GPU Node A02-1 Exhaust", "Temperature"),
                   s.out("GPU Node A02-1 Exhaust", "Flow Rate", -1.0));
    expected.addStream(air);
    PhysicalModelStream liquid(constantFluid(1020.0, 3930.0));
    liquid.addInflow(0.0,
                     s.in(gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Temperature In"),
                     s.in(gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Flow Rate"));
    liquid.addOutflow(0.0,
                      s.out(gpuNode,
                            "Cooling.Liquid Cooling Options.Heat Capture Specification.Liquid Outlet "
                            "Temperature"),
                      std::nullopt);
    expected.addStream(liquid);

    EXPECT_STREQ(s.module()->metaObject()->className(), "Conflux::AIModelTrainerITEquipmentModule");
    std::optional<PhysicalModel> model = s.module()->createPhysicalModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(*model, expected) << model->toText() << "\nexpected\n" << expected.toText();
    EXPECT_NO_THROW(model->validate(4, 3));

    s.trainer->prepareTraining();
    EXPECT_TRUE(getBoolValue(options, Train_t / PhysicalModelEnabled_t));
    EXPECT_EQ(s.trainer->getNetworkType(), NeuralNetworkType::PhysicsInformed);
}

TEST(AIModelTrainerPhysics, AirCooledServerUsesItsExistingBindings)
{
    Physics s("Server A01-1");
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 2);
    EXPECT_EQ(s.trainer->getNumberOfOutputs(), 2);

    PhysicalModel expected;
    expected.addHeatSource(PhysicalModelValue::input(0));
    PhysicalModelStream air(sampleAir());
    air.addInflow(0.04, PhysicalModelValue::input(1), std::nullopt);
    air.addOutflow(0.04, PhysicalModelValue::output(0), PhysicalModelValue::output(1, -1.0));
    expected.addStream(air);
    EXPECT_EQ(s.module()->createPhysicalModel(), expected);
    EXPECT_TRUE(s.module()->supportsPhysicalModel());
}

TEST(AIModelTrainerPhysics, CDUFormsTechnologyAndFacilityStreams)
{
    Physics s("CDU 1");
    ASSERT_TRUE(s.supported);
    const char* cdu = "CDU 1";
    Entity* options = s.trainer->getOptions();
    EXPECT_EQ(getLinkedEntity(options, "Train.Advanced Options.Fluids.Technology Coolant Fluid"),
              s.entity("Propylene Glycol 25%"));
    // A chilled-water unit on the facility loop takes that loop's water.
    EXPECT_EQ(getTypeValue(options, "Train.Advanced Options.Fluids.Facility Coolant Type"), Custom_t);
    EXPECT_EQ(getLinkedEntity(options, "Train.Advanced Options.Fluids.Facility Coolant Fluid"),
              s.entity("Water"));
    EXPECT_EQ(s.trainer->getNumberOfInputs(), 3);
    EXPECT_EQ(s.trainer->getNumberOfOutputs(), 3);

    PhysicalModel expected;
    PhysicalModelStream technology(constantFluid(1020.0, 3930.0));
    technology.addInflow(0.0,
                         s.in(cdu, "Simulation Results.Technology Coolant.Technology Coolant Temperature In"),
                         std::nullopt);
    technology.addOutflow(0.0, s.out(cdu, "Cooling.Technology Coolant Flow.Coolant Outlet Temperature"),
                          s.out(cdu, "Cooling.Technology Coolant Flow.Coolant Flow Rate", -1.0));
    expected.addStream(technology);
    PhysicalModelStream facility(constantFluid(998.0, 4182.0));
    facility.addInflow(0.0, s.in(cdu, "Simulation Results.Facility Coolant.Facility Coolant Temperature In"),
                       s.in(cdu, "Simulation Results.Facility Coolant.Facility Coolant Flow Rate"));
    facility.addOutflow(0.0, s.out(cdu, "Cooling.Facility Coolant Flow.Facility Coolant Outlet Temperature"),
                        std::nullopt);
    expected.addStream(facility);

    EXPECT_STREQ(s.module()->metaObject()->className(), "Conflux::AIModelTrainerCDUModule");
    EXPECT_NE(s.module()->qt_metacast("Conflux::AIModelTrainerModule"), nullptr);
    std::optional<PhysicalModel> model = s.module()->createPhysicalModel();
    ASSERT_TRUE(model);
    EXPECT_EQ(*model, expected) << model->toText() << "\nexpected\n" << expected.toText();
    EXPECT_NO_THROW(model->validate(3, 3));
}

TEST(AIModelTrainerPhysics, EachMissingBindingIsNamed)
{
    struct Row
    {
        const char* target;
        const char* entity;
        const char* path;
        const char* message;
    };
    const Row rows[] = {
        {gpuNode, gpuNode, "Power.Power Definition.Typical Power", "Missing Typical Power"},
        {gpuNode, "GPU Node A02-1 Inlet", "Simulation Results.Temperature Net.Mean Temperature Net",
         "inlet Simulation results temperature"},
        {gpuNode, "GPU Node A02-1 Exhaust", "Temperature", "Missing outlet fixed temperature"},
        {gpuNode, "GPU Node A02-1 Exhaust", "Flow Rate",
         "Either all outlets or all inlets require a specified flowrate"},
        {gpuNode, gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Flow Rate",
         "Missing Flownetwork flowrate"},
        {gpuNode, gpuNode, "Simulation Results.Liquid Cooling Performance.Liquid Temperature In",
         "Missing Flownetwork temperature in"},
        {gpuNode, gpuNode,
         "Cooling.Liquid Cooling Options.Heat Capture Specification.Liquid Outlet Temperature",
         "Missing Flownetwork outlet temperature"},
        {"CDU 1", "CDU 1", "Simulation Results.Technology Coolant.Technology Coolant Temperature In",
         "Missing Technology Coolant Temperature In"},
        {"CDU 1", "CDU 1", "Cooling.Technology Coolant Flow.Coolant Outlet Temperature",
         "Missing Technology Coolant Temperature Out"},
        {"CDU 1", "CDU 1", "Cooling.Technology Coolant Flow.Coolant Flow Rate",
         "Missing Technology Coolant Flow Rate"},
        {"CDU 1", "CDU 1", "Simulation Results.Facility Coolant.Facility Coolant Temperature In",
         "Missing Facility Coolant Temperature In"},
        {"CDU 1", "CDU 1", "Cooling.Facility Coolant Flow.Facility Coolant Outlet Temperature",
         "Missing Facility Coolant Temperature Out"},
        {"CDU 1", "CDU 1", "Simulation Results.Facility Coolant.Facility Coolant Flow Rate",
         "Missing Facility Coolant Flow Rate"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.path);
        Physics s(row.target);
        s.unbind(row.entity, row.path);
        EXPECT_EQ(s.failure(), row.message);
        EXPECT_FALSE(s.trainer->hasAllPhysicsInformedInputs() && s.trainer->hasAllPhysicsInformedOutputs());
        s.trainer->prepareTraining();
        EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Generic_t);
    }
}

TEST(AIModelTrainerPhysics, FlowsMustBeKnownOnAllInletsOrAllOutlets)
{
    Sample s;
    Entity* server = s.entity(gpuNode);
    Entity* second = EntityEditor::createEntity(Inflow_t, server, "Inflows");
    EntityEditor::setValue(second, Conflux_t / Active_t, true);
    ASSERT_TRUE(s.trainer->initialize(server, true));
    s.trainer->addPhysicsInformedInputs();
    s.trainer->addPhysicsInformedOutputs();
    ASSERT_TRUE(s.trainer->isInput(second, "Simulation Results.Temperature Net.Mean Temperature Net"));
    auto* module = s.trainer->findChild<Conflux::AIModelTrainerModule*>();
    ASSERT_NO_THROW(module->createPhysicalModel()); // the outlet's flow rate is known

    // One inlet with a known flow, the other without, and the outlet's flow unknown.
    ASSERT_TRUE(s.trainer->addInput(s.entity("GPU Node A02-1 Inlet"), "Simulation Results.Flow Net.Net Flow",
                                    Tensor(), Tensor()));
    const int flowRate =
        columnOf(s.trainer->getOutputAttributes(), s.attribute("GPU Node A02-1 Exhaust", "Flow Rate"));
    ASSERT_TRUE(s.trainer->seOutputAttributeName(flowRate, ""));
    EXPECT_EQ(failureOf(module), "Either all outlets or all inlets require a specified flowrate");
}

TEST(AIModelTrainerPhysics, CustomCoolantWithoutFluidRulesOutAPhysicalModel)
{
    Sample s;
    Entity* cdu = s.entity("CDU 1");
    ASSERT_TRUE(
        EntityEditor::removeAllEntities(cdu, "Cooling.Operating Conditions.Working Technology Fluid"));
    ASSERT_TRUE(s.trainer->initialize(cdu, true));
    s.trainer->addPhysicsInformedInputs();
    s.trainer->addPhysicsInformedOutputs();
    auto* module = s.trainer->findChild<Conflux::AIModelTrainerModule*>();
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), "Train.Advanced Options.Fluids.Technology Coolant Type"),
              Water_t);
    EXPECT_FALSE(module->supportsPhysicalModel());
    s.trainer->prepareTraining();
    EXPECT_FALSE(getBoolValue(s.trainer->getOptions(), Train_t / PhysicalModelEnabled_t));
    EXPECT_EQ(getTypeValue(s.trainer->getOptions(), Train_t / Type_t), Generic_t);

    // The same check on the trainer's own choice: a custom liquid coolant that is not linked.
    Sample gpu;
    ASSERT_TRUE(gpu.trainer->initialize(gpu.entity(gpuNode), true));
    EntityEditor::removeAllEntities(gpu.trainer->getOptions(),
                                    "Train.Advanced Options.Fluids.Liquid Coolant Fluid");
    EXPECT_FALSE(gpu.trainer->findChild<Conflux::AIModelTrainerModule*>()->supportsPhysicalModel());
}

TEST(AIModelTrainerPhysics, ProjectFluidConversion)
{
    struct Row
    {
        const char* name;
        std::function<void(Entity*)> edit;
        std::function<PhysicalModelFluid(Entity*)> expected;
    };
    const Row rows[] = {
        {"ideal gas", [](Entity*) {}, [](Entity*) { return sampleAir(); }},
        {"altitude based",
         [](Entity* air)
         {
             EntityEditor::setValue(air, "Density.Option", "Constant");
             EntityEditor::setValue(air, "Density.Altitude Based", true);
             EntityEditor::setValue(air, "Density.Altitude", 1500.0);
         },
         [](Entity* air)
         {
             return PhysicalModelFluid(PhysicalModelFluidDensityConstant(
                                           CabinetConstructor::FluidDetails::getDensityForAltitude(air)),
                                       PhysicalModelFluidSpecificHeatConstant(1006.0));
         }},
        {"nominal density", [](Entity* air) { EntityEditor::setValue(air, "Density.Option", "Constant"); },
         [](Entity*) { return constantFluid(1.19, 1006.0); }},
        {"specific heat curve",
         [](Entity* air)
         {
             EntityEditor::setValue(air, "Specific Heat.Option", "Temperature Dependent");
             EntityEditor::setValue(air, "Specific Heat.Specific Heat Temperature Curve", "0:1000;40:1012");
         },
         [](Entity*)
         {
             return PhysicalModelFluid(
                 PhysicalModelFluidDensityIdealGas(28.96, 101325.0, false),
                 PhysicalModelFluidSpecificHeatTemperatureCurve({{0, 1000}, {40, 1012}}));
         }},
        {"curve without a positive middle",
         [](Entity* air)
         {
             EntityEditor::setValue(air, "Specific Heat.Option", "Temperature Dependent");
             EntityEditor::setValue(air, "Specific Heat.Specific Heat Temperature Curve", "0:-6;40:2");
         },
         [](Entity*)
         {
             return PhysicalModelFluid(PhysicalModelFluidDensityIdealGas(28.96, 101325.0, false),
                                       PhysicalModelFluidSpecificHeatTemperatureCurve({{0, -2}, {40, -2}}));
         }},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Physics s("Server A01-1");
        Entity* air = s.entity("Air");
        row.edit(air);
        std::optional<PhysicalModel> model = s.module()->createPhysicalModel();
        ASSERT_TRUE(model);
        EXPECT_EQ(model->getStreams().at(0).getFluid(), row.expected(air));
    }

    // Without a project fluid of its own the trainer falls back to standard air.
    Physics s("Server A01-1");
    EntityEditor::setValue(s.trainer->getOptions(), "Train.Advanced Options.Fluids.Project Fluid Type",
                           Air_t);
    EXPECT_EQ(s.module()->createPhysicalModel()->getStreams().at(0).getFluid(), PhysicalModelFluid::air());
}
