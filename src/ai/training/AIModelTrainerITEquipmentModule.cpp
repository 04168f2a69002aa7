#include "src/ai/training/AIModelTrainerITEquipmentModule.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

namespace Conflux
{
using namespace EntityModel;

namespace
{
AttributePath typicalPowerPath()
{
    return Power_t / Power_Definition_t / Typical_Power_t;
}

AttributePath liquidFlowRatePath()
{
    return Simulation_Results_t / Liquid_Cooling_Performance_t / Liquid_Flow_Rate_t;
}

AttributePath liquidTemperatureInPath()
{
    return Simulation_Results_t / Liquid_Cooling_Performance_t / Liquid_Temperature_In_t;
}

AttributePath liquidOutletTemperaturePath()
{
    return Cooling_t / Liquid_Cooling_Options_t / Heat_Capture_Specification_t / Liquid_Outlet_Temperature_t;
}

AttributePath operatingConditionsPath()
{
    return Cooling_t / Operating_Conditions_t;
}

void append(std::vector<Attribute*>& attributes, Entity* owner, const AttributePath& path)
{
    if (Attribute* attribute = owner->findAttribute(path))
        attributes.push_back(attribute);
}
} // namespace

AIModelTrainerITEquipmentModule::AIModelTrainerITEquipmentModule(AIModelTrainer* trainer)
    : AIModelTrainerModule(trainer)
{
}

bool AIModelTrainerITEquipmentModule::hasLiquidCooling() const
{
    Entity* target = getTarget();
    return getBoolValue(target, HasLiquidCooling_t, false) &&
           getTypeValue(target, Cooling_t / Liquid_Cooling_Options_t / Coolant_Connection_t) != None_t;
}

void AIModelTrainerITEquipmentModule::initialize(bool fromProject)
{
    if (!fromProject)
        return;
    initializeProjectFluid();
    Entity* target = getTarget();
    const TypeRef connection =
        getTypeValue(target, Cooling_t / Liquid_Cooling_Options_t / Coolant_Connection_t);
    Entity* cdu = nullptr;
    if (!hasLiquidCooling())
    {
        setFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t, Water_t, nullptr);
        return;
    }
    if (connection == Flow_Network_t)
    {
        setFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t, Custom_t,
                 getFlowNetworkFluid(target, NetworkIT_t));
        return;
    }
    if (connection == Heat_Exchanger_t)
        cdu = getLinkedEntity(target, Liquid_In_From_t);
    else if (connection == CDU_t)
        cdu = getLinkedEntity(target, CDULink_t);
    else
    {
        setFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t, Water_t, nullptr);
        return;
    }
    // The equipment is cooled by the coolant that the unit feeding it circulates.
    if (getTypeValue(cdu, operatingConditionsPath() / Technology_Coolant_Type_t) == Water_t)
        setFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t, Water_t, nullptr);
    else
        setFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t, Custom_t,
                 getLinkedEntity(cdu, operatingConditionsPath() / Working_Technology_Fluid_t));
}

std::optional<AISystem::PhysicalModel> AIModelTrainerITEquipmentModule::createPhysicalModel()
{
    Entity* target = getTarget();
    if (!target)
        return std::nullopt;
    AISystem::PhysicalModel model;
    model.addHeatSource(
        require(makeValue(target, typicalPowerPath(), ValueKind::Input, 1.0), "Missing Typical Power"));
    model.addStream(createAirStream());
    if (hasLiquidCooling())
    {
        AISystem::PhysicalModelStream liquid(getLiquidCoolantFluid());
        auto flow = require(makeValue(target, liquidFlowRatePath(), ValueKind::Input, 1.0),
                            "Missing Flownetwork flowrate");
        auto temperatureIn = require(makeValue(target, liquidTemperatureInPath(), ValueKind::Input, 1.0),
                                     "Missing Flownetwork temperature in");
        auto temperatureOut =
            require(makeValue(target, liquidOutletTemperaturePath(), ValueKind::Output, 1.0),
                    "Missing Flownetwork outlet temperature");
        liquid.addInflow(0.0, temperatureIn, flow);
        liquid.addOutflow(0.0, temperatureOut, std::nullopt);
        model.addStream(liquid);
    }
    return model;
}

std::vector<Attribute*> AIModelTrainerITEquipmentModule::getPhysicsInformedInputs()
{
    std::vector<Attribute*> inputs;
    Entity* target = getTarget();
    if (!target)
        return inputs;
    append(inputs, target, typicalPowerPath());
    for (Attribute* attribute : getAirInputs())
        inputs.push_back(attribute);
    if (hasLiquidCooling())
    {
        append(inputs, target, liquidTemperatureInPath());
        append(inputs, target, liquidFlowRatePath());
    }
    return inputs;
}

std::vector<Attribute*> AIModelTrainerITEquipmentModule::getPhysicsInformedOutputs()
{
    std::vector<Attribute*> outputs;
    Entity* target = getTarget();
    if (!target)
        return outputs;
    outputs = getAirOutputs();
    if (hasLiquidCooling())
        append(outputs, target, liquidOutletTemperaturePath());
    return outputs;
}

bool AIModelTrainerITEquipmentModule::supportsPhysicalModel()
{
    if (!getTrainer() || !getOptions() || !getTarget())
        return false;
    if (!hasFluid(Project_Fluid_Type_t, Project_Fluid_t))
        return false;
    return !hasLiquidCooling() || hasFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t);
}
} // namespace Conflux
