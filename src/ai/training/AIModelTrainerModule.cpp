#include "src/ai/training/AIModelTrainerModule.h"

#include "host/cabinet/FlowPath.h"
#include "host/cabinet/FluidDetails.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "src/ai/training/AIModelTrainer.h"

#include <algorithm>
#include <stdexcept>

namespace Conflux
{
using namespace EntityModel;

namespace
{
const TypeRef TechnologyCoolantFluid_t("Technology Coolant Fluid");
const TypeRef FacilityCoolantFluid_t("Facility Coolant Fluid");

/// A coolant at constant density and specific heat.
AISystem::PhysicalModelFluid coolantFluid(Entity* fluid)
{
    return AISystem::PhysicalModelFluid(
        AISystem::PhysicalModelFluidDensityConstant(getStandardDoubleValue(fluid, Density_t / Value_t, 0.0)),
        AISystem::PhysicalModelFluidSpecificHeatConstant(
            getStandardDoubleValue(fluid, Specific_Heat_t / Value_t, 0.0)));
}

AISystem::PhysicalModelFluidDensity airDensity(Entity* fluid)
{
    if (getTypeValue(fluid, Density_t / Option_t) == Ideal_Gas_t)
        return AISystem::PhysicalModelFluidDensityIdealGas(
            getStandardDoubleValue(fluid, Molecular_Weight_t / Value_t, 0.0),
            CabinetConstructor::FluidDetails::getReferencePressure(fluid), false);
    Attribute* altitudeBased = fluid->findAttribute(Density_t / Altitude_Based_t);
    if (altitudeBased && !altitudeBased->isHidden() && altitudeBased->boolVal())
        return AISystem::PhysicalModelFluidDensityConstant(
            CabinetConstructor::FluidDetails::getDensityForAltitude(fluid));
    if (fluid->findAttribute(Density_t / Nominal_Value_t))
        return AISystem::PhysicalModelFluidDensityConstant(
            getStandardDoubleValue(fluid, Density_t / Nominal_Value_t, 0.0));
    return AISystem::PhysicalModelFluidDensityConstant(
        getStandardDoubleValue(fluid, Density_t / Value_t, 0.0));
}

AISystem::PhysicalModelFluidSpecificHeat airSpecificHeat(Entity* fluid)
{
    const TypeRef option = getTypeValue(fluid, Specific_Heat_t / Option_t);
    if (option == Constant_t)
        return AISystem::PhysicalModelFluidSpecificHeatConstant(
            getStandardDoubleValue(fluid, Specific_Heat_t / Value_t, 0.0));
    if (option != Temperature_Dependent_t)
        throw std::runtime_error("Fluids must have constant specific heat ");
    AISystem::PhysicalModelFluidSpecificHeatTemperatureCurve curve;
    Attribute* attribute = fluid->findAttribute(Specific_Heat_t / Specific_Heat_Temperature_Curve_t);
    if (!attribute || !attribute->isCurveAttribute())
        return curve;
    const auto& points = static_cast<CurveAttribute*>(attribute)->getPoints();
    if (points.empty())
        return curve;
    const auto [lowest, highest] = std::minmax_element(
        points.begin(), points.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    const double mid = (highest->second + lowest->second) * 0.5;
    for (const auto& [temperature, specificHeat] : points)
        curve.addPoint(temperature, mid > 0.0 ? specificHeat : mid);
    return curve;
}

/// The project (air side) fluid entity as a fluid of the balance.
AISystem::PhysicalModelFluid airFluid(Entity* fluid)
{
    return AISystem::PhysicalModelFluid(airDensity(fluid), airSpecificHeat(fluid));
}
} // namespace

AIModelTrainerModule::AIModelTrainerModule(AIModelTrainer* trainer) : QObject(trainer) {}

AISystem::PhysicalModelValue
AIModelTrainerModule::require(const std::optional<AISystem::PhysicalModelValue>& value, const char* message)
{
    if (!value)
        throw std::runtime_error(message);
    return *value;
}

AIModelTrainer* AIModelTrainerModule::getTrainer() const
{
    return qobject_cast<AIModelTrainer*>(parent());
}

Entity* AIModelTrainerModule::getOptions() const
{
    AIModelTrainer* trainer = getTrainer();
    return trainer ? trainer->getOptions() : nullptr;
}

Entity* AIModelTrainerModule::getTarget() const
{
    return getLinkedEntity(getOptions(), EntityLink_t);
}

AttributePath AIModelTrainerModule::fluidsPath()
{
    return Train_t / Advanced_Options_t / Fluids_t;
}

std::optional<AISystem::PhysicalModelValue>
AIModelTrainerModule::makeValue(Attribute* attribute, ValueKind kind, double factor) const
{
    AIModelTrainer* trainer = getTrainer();
    if (!attribute || !attribute->isConflux() || !trainer)
        return std::nullopt;
    const std::vector<Attribute*> bound =
        kind == ValueKind::Input ? trainer->getInputAttributes() : trainer->getOutputAttributes();
    auto found = std::find(bound.begin(), bound.end(), attribute);
    if (found == bound.end())
        return std::nullopt;
    const int column = static_cast<int>(found - bound.begin());
    return AISystem::PhysicalModelValue(kind == ValueKind::Input ? AISystem::PhysicalModelValueType::Input
                                                                 : AISystem::PhysicalModelValueType::Output,
                                        column, factor, 0.0);
}

std::optional<AISystem::PhysicalModelValue>
AIModelTrainerModule::makeValue(Entity* owner, const AttributePath& path, ValueKind kind, double factor) const
{
    return makeValue(owner ? owner->findAttribute(path) : nullptr, kind, factor);
}

AISystem::PhysicalModelFluid AIModelTrainerModule::getFluid(const AttributePath& typePath,
                                                            const AttributePath& fluidPath) const
{
    const TypeRef type = getTypeValue(getOptions(), fluidsPath() / typePath);
    if (type == Water_t)
        return AISystem::PhysicalModelFluid::water();
    if (type == Air_t)
        return AISystem::PhysicalModelFluid::air();
    if (type == Project_Fluid_t)
        return getProjectFluid();
    Entity* fluid = getLinkedEntity(getOptions(), fluidsPath() / fluidPath);
    return fluid ? coolantFluid(fluid) : AISystem::PhysicalModelFluid::water();
}

AISystem::PhysicalModelFluid AIModelTrainerModule::getProjectFluid() const
{
    const TypeRef type = getTypeValue(getOptions(), fluidsPath() / Project_Fluid_Type_t);
    if (type == Custom_t)
        if (Entity* fluid = getLinkedEntity(getOptions(), fluidsPath() / Project_Fluid_t))
            return airFluid(fluid);
    return AISystem::PhysicalModelFluid::air();
}

AISystem::PhysicalModelFluid AIModelTrainerModule::getLiquidCoolantFluid() const
{
    return getFluid(Liquid_Coolant_Type_t, Liquid_Coolant_Fluid_t);
}

AISystem::PhysicalModelFluid AIModelTrainerModule::getTechnologyCoolantFluid() const
{
    return getFluid(Technology_Coolant_Type_t, TechnologyCoolantFluid_t);
}

AISystem::PhysicalModelFluid AIModelTrainerModule::getFacilityCoolantFluid() const
{
    return getFluid(Facility_Coolant_Type_t, FacilityCoolantFluid_t);
}

bool AIModelTrainerModule::hasFluid(const AttributePath& typePath, const AttributePath& fluidPath) const
{
    return getTypeValue(getOptions(), fluidsPath() / typePath) != Custom_t ||
           getLinkedEntity(getOptions(), fluidsPath() / fluidPath) != nullptr;
}

AISystem::PhysicalModelStream AIModelTrainerModule::createAirStream() const
{
    Entity* target = getTarget();
    AISystem::PhysicalModelStream stream(getProjectFluid());
    if (!target)
        return stream;
    const CabinetConstructor::FlowPath flowPath(target, false);
    bool allInflowsHaveFlow = true;
    bool allOutflowsHaveFlow = true;
    for (Entity* inflow : target->getOwnedChildEntitiesOfType(Inflow_t))
    {
        auto temperature =
            require(makeValue(inflow, Simulation_Results_t / Temperature_Net_t / Mean_Temperature_Net_t,
                              ValueKind::Input, 1.0),
                    "inlet Simulation results temperature");
        auto flow = makeValue(inflow, Simulation_Results_t / Flow_Net_t / Net_Flow_t, ValueKind::Input, 1.0);
        allInflowsHaveFlow = allInflowsHaveFlow && flow.has_value();
        stream.addInflow(flowPath.getInflowArea(inflow), temperature, flow);
    }
    for (Entity* outflow : target->getOwnedChildEntitiesOfType(Outflow_t))
    {
        auto temperature = require(makeValue(outflow, Temperature_t, ValueKind::Output, 1.0),
                                   "Missing outlet fixed temperature");
        auto flow = makeValue(outflow, Flow_Rate_t, ValueKind::Output, -1.0);
        allOutflowsHaveFlow = allOutflowsHaveFlow && flow.has_value();
        stream.addOutflow(flowPath.getOutflowArea(outflow), temperature, flow);
    }
    if (!allInflowsHaveFlow && !allOutflowsHaveFlow)
        throw std::runtime_error("Either all outlets or all inlets require a specified flowrate");
    return stream;
}

std::vector<Attribute*> AIModelTrainerModule::getAirInputs() const
{
    std::vector<Attribute*> inputs;
    Entity* target = getTarget();
    if (!target)
        return inputs;
    for (Entity* inflow : target->getOwnedChildEntitiesOfType(Inflow_t))
        if (Attribute* temperature =
                inflow->findAttribute(Simulation_Results_t / Temperature_Net_t / Mean_Temperature_Net_t))
            inputs.push_back(temperature);
    return inputs;
}

std::vector<Attribute*> AIModelTrainerModule::getAirOutputs() const
{
    std::vector<Attribute*> outputs;
    Entity* target = getTarget();
    if (!target)
        return outputs;
    for (Entity* outflow : target->getOwnedChildEntitiesOfType(Outflow_t))
        for (TypeRef name : {Temperature_t, Flow_Rate_t})
            if (Attribute* attribute = outflow->findAttribute(AttributePath(name)))
                outputs.push_back(attribute);
    return outputs;
}

void AIModelTrainerModule::setFluid(const AttributePath& typePath, const AttributePath& fluidPath,
                                    TypeRef type, Entity* fluid) const
{
    Entity* options = getOptions();
    EntityEditor::setValueNoThrow(options, fluidsPath() / typePath, type);
    if (fluid)
        EntityEditor::addEntity(options, fluidsPath() / fluidPath, fluid);
    else
        EntityEditor::removeAllEntities(options, fluidsPath() / fluidPath);
}

void AIModelTrainerModule::setCustomFluidOrWater(const AttributePath& typePath,
                                                 const AttributePath& fluidPath, Entity* fluid) const
{
    setFluid(typePath, fluidPath, fluid ? Custom_t : Water_t, fluid);
}

void AIModelTrainerModule::initializeProjectFluid() const
{
    if (Entity* fluid = EntityFetcher::getProjectFluid(EntityFetcher::getOwnerProject(getTarget())))
        setFluid(Project_Fluid_Type_t, Project_Fluid_t, Custom_t, fluid);
}

Entity* AIModelTrainerModule::getFlowNetworkFluid(Entity* entity, const AttributePath& connectionPath)
{
    Entity* connection = getLinkedEntity(entity, connectionPath);
    Entity* network = connection ? connection->getOwnerEntity() : nullptr;
    return network && network->getTypeRef() == Flow_Network_t ? getLinkedEntity(network, Fluid_t) : nullptr;
}
} // namespace Conflux
