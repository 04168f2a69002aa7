#include "src/ai/training/AIModelTrainerCDUModule.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

namespace Conflux
{
using namespace EntityModel;

namespace
{
const TypeRef TechnologyCoolantFluid_t("Technology Coolant Fluid");
const TypeRef FacilityCoolantFluid_t("Facility Coolant Fluid");

AttributePath operatingConditionsPath()
{
    return Cooling_t / Operating_Conditions_t;
}

AttributePath technologyTemperatureInPath()
{
    return Simulation_Results_t / Technology_Coolant_t / Technology_Coolant_Temperature_In_t;
}

AttributePath technologyTemperatureOutPath()
{
    return Cooling_t / Technology_Coolant_Flow_t / Coolant_Outlet_Temperature_t;
}

AttributePath technologyFlowRatePath()
{
    return Cooling_t / Technology_Coolant_Flow_t / Coolant_Flow_Rate_t;
}

AttributePath facilityTemperatureInPath()
{
    return Simulation_Results_t / Facility_Coolant_t / Facility_Coolant_Temperature_In_t;
}

AttributePath facilityTemperatureOutPath()
{
    return Cooling_t / Facility_Coolant_Flow_t / Facility_Coolant_Outlet_Temperature_t;
}

AttributePath facilityFlowRateResultPath()
{
    return Simulation_Results_t / Facility_Coolant_t / Facility_Coolant_Flow_Rate_t;
}

AttributePath facilityFlowRateSpecificationPath()
{
    return Cooling_t / Facility_Coolant_Flow_t / Facility_Coolant_Flow_Rate_t;
}

void append(std::vector<Attribute*>& attributes, Entity* owner, const AttributePath& path)
{
    if (Attribute* attribute = owner->findAttribute(path))
        attributes.push_back(attribute);
}
} // namespace

AIModelTrainerCDUModule::AIModelTrainerCDUModule(AIModelTrainer* trainer) : AIModelTrainerModule(trainer) {}

bool AIModelTrainerCDUModule::isAirCooled() const
{
    return getTypeValue(getTarget(), Construction_t / Cooling_Type_t) == Air_t;
}

bool AIModelTrainerCDUModule::hasForcedAirStream() const
{
    return !isAirCooled() &&
           getTypeValue(getTarget(), Cooling_t / Heat_Dissipation_t / Ventilation_Mode_t) == Forced_t;
}

void AIModelTrainerCDUModule::initialize(bool fromProject)
{
    if (!fromProject)
        return;
    initializeProjectFluid();
    Entity* target = getTarget();
    const AttributePath conditions = operatingConditionsPath();

    if (getBoolValue(target, conditions / Technology_Coolant_from_Flow_Network_t, false))
        setFluid(Technology_Coolant_Type_t, TechnologyCoolantFluid_t, Custom_t,
                 getFlowNetworkFluid(target, conditions / NetworkCDU_t));
    else
    {
        const TypeRef own = getTypeValue(target, conditions / Technology_Coolant_Type_t);
        if (own == Air_t)
            setFluid(Technology_Coolant_Type_t, TechnologyCoolantFluid_t, Air_t, nullptr);
        else if (own == Custom_t)
            setCustomFluidOrWater(Technology_Coolant_Type_t, TechnologyCoolantFluid_t,
                                  getLinkedEntity(target, conditions / Working_Technology_Fluid_t));
        else
            setFluid(Technology_Coolant_Type_t, TechnologyCoolantFluid_t, Water_t, nullptr);
    }

    // Only a chilled-water unit rejects its heat into a coolant of its own; the others into room air.
    if (getTypeValue(target, Construction_t / Cooling_Type_t) != Chilled_Water_t)
        setFluid(Facility_Coolant_Type_t, FacilityCoolantFluid_t, Project_Fluid_t, nullptr);
    else if (getBoolValue(target, conditions / Facility_Coolant_from_Flow_Network_t, false))
        setCustomFluidOrWater(Facility_Coolant_Type_t, FacilityCoolantFluid_t,
                              getFlowNetworkFluid(target, conditions / NetworkCDU_t));
    else
    {
        const TypeRef own = getTypeValue(target, conditions / Facility_Coolant_Type_t);
        if (own == Air_t)
            setFluid(Facility_Coolant_Type_t, FacilityCoolantFluid_t, Air_t, nullptr);
        else if (own == Custom_t)
            setCustomFluidOrWater(Facility_Coolant_Type_t, FacilityCoolantFluid_t,
                                  getLinkedEntity(target, conditions / Working_Facility_Fluid_t));
        else
            setFluid(Facility_Coolant_Type_t, FacilityCoolantFluid_t, Water_t, nullptr);
    }
}

std::optional<AISystem::PhysicalModel> AIModelTrainerCDUModule::createPhysicalModel()
{
    Entity* target = getTarget();
    if (!target)
        return std::nullopt;
    AISystem::PhysicalModel model;

    AISystem::PhysicalModelStream technology(getTechnologyCoolantFluid());
    auto technologyIn = require(makeValue(target, technologyTemperatureInPath(), ValueKind::Input, 1.0),
                                "Missing Technology Coolant Temperature In");
    auto technologyOut = require(makeValue(target, technologyTemperatureOutPath(), ValueKind::Output, 1.0),
                                 "Missing Technology Coolant Temperature Out");
    auto technologyFlow = require(makeValue(target, technologyFlowRatePath(), ValueKind::Output, -1.0),
                                  "Missing Technology Coolant Flow Rate");
    technology.addInflow(0.0, technologyIn, std::nullopt);
    technology.addOutflow(0.0, technologyOut, technologyFlow);
    model.addStream(technology);

    AISystem::PhysicalModelStream facility(getFacilityCoolantFluid());
    auto facilityIn = require(makeValue(target, facilityTemperatureInPath(), ValueKind::Input, 1.0),
                              "Missing Facility Coolant Temperature In");
    auto facilityOut = require(makeValue(target, facilityTemperatureOutPath(), ValueKind::Output, 1.0),
                               "Missing Facility Coolant Temperature Out");
    // A flow entering the unit belongs to its inflow, one leaving it (factor -1) to its outflow.
    auto flow = makeValue(target, facilityFlowRateResultPath(), ValueKind::Input, 1.0);
    if (!flow && isAirCooled())
        flow = makeValue(target, facilityFlowRateSpecificationPath(), ValueKind::Input, 1.0);
    bool leaving = false;
    if (!flow && isAirCooled())
    {
        flow = makeValue(target, facilityFlowRateSpecificationPath(), ValueKind::Output, -1.0);
        leaving = flow.has_value();
    }
    require(flow, "Missing Facility Coolant Flow Rate");
    facility.addInflow(0.0, facilityIn, leaving ? std::nullopt : flow);
    facility.addOutflow(0.0, facilityOut, leaving ? flow : std::nullopt);
    model.addStream(facility);

    if (hasForcedAirStream())
        model.addStream(createAirStream());
    return model;
}

std::vector<Attribute*> AIModelTrainerCDUModule::getPhysicsInformedInputs()
{
    std::vector<Attribute*> inputs;
    Entity* target = getTarget();
    if (!target)
        return inputs;
    append(inputs, target, technologyTemperatureInPath());
    append(inputs, target, facilityTemperatureInPath());
    if (target->findAttribute(facilityFlowRateResultPath()))
        append(inputs, target, facilityFlowRateResultPath());
    else if (isAirCooled())
        append(inputs, target, facilityFlowRateSpecificationPath());
    if (hasForcedAirStream())
        for (Attribute* attribute : getAirInputs())
            inputs.push_back(attribute);
    return inputs;
}

std::vector<Attribute*> AIModelTrainerCDUModule::getPhysicsInformedOutputs()
{
    std::vector<Attribute*> outputs;
    Entity* target = getTarget();
    if (!target)
        return outputs;
    append(outputs, target, technologyFlowRatePath());
    append(outputs, target, technologyTemperatureOutPath());
    append(outputs, target, facilityTemperatureOutPath());
    if (isAirCooled())
        append(outputs, target, facilityFlowRateSpecificationPath());
    if (hasForcedAirStream())
        for (Attribute* attribute : getAirOutputs())
            outputs.push_back(attribute);
    return outputs;
}

bool AIModelTrainerCDUModule::supportsPhysicalModel()
{
    Entity* target = getTarget();
    if (!getTrainer() || !getOptions() || !target)
        return false;
    const AttributePath conditions = operatingConditionsPath();
    const bool forced = getTypeValue(target, Cooling_t / Heat_Dissipation_t / Ventilation_Mode_t) == Forced_t;
    if ((isAirCooled() || forced) && !hasFluid(Project_Fluid_Type_t, Project_Fluid_t))
        return false;
    if (!hasFluid(Technology_Coolant_Type_t, TechnologyCoolantFluid_t))
        return false;
    if (getTypeValue(target, conditions / Technology_Coolant_Type_t) == Custom_t &&
        !getLinkedEntity(target, conditions / Working_Technology_Fluid_t))
        return false;
    if (isAirCooled())
        return true;
    if (!hasFluid(Facility_Coolant_Type_t, FacilityCoolantFluid_t))
        return false;
    return getTypeValue(target, conditions / Facility_Coolant_Type_t) != Custom_t ||
           getLinkedEntity(target, conditions / Working_Facility_Fluid_t) != nullptr;
}
} // namespace Conflux
