#pragma once
#include "host/ai/physics/PhysicalModel.h"
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/TypeRef.h"

#include <QObject>

#include <optional>
#include <vector>

namespace EntityModel
{
class Attribute;
class Entity;
} // namespace EntityModel

namespace Conflux
{
class AIModelTrainer;

/// The equipment-specific part of physics-informed training: which fluids the balance uses, the
/// balance itself (an AISystem::PhysicalModel over the network's columns) and the target
/// attributes it needs as inputs and outputs. A module keeps no state: it reaches the trainer as its
/// QObject parent, the options through the trainer and the target through the options' link.
class AIModelTrainerModule : public QObject
{
    Q_OBJECT
public:
    explicit AIModelTrainerModule(AIModelTrainer* trainer);

    /// Chooses the fluids of the trainer entity from the project (only when fromProject is true).
    virtual void initialize(bool fromProject) = 0;
    /// The energy balance of the target; empty without target. Throws std::runtime_error naming
    /// the binding that is missing.
    virtual std::optional<AISystem::PhysicalModel> createPhysicalModel() = 0;
    /// Target attributes that must be network inputs (outputs) for createPhysicalModel.
    virtual std::vector<EntityModel::Attribute*> getPhysicsInformedInputs() = 0;
    virtual std::vector<EntityModel::Attribute*> getPhysicsInformedOutputs() = 0;
    /// False when a fluid the balance uses is a custom fluid that is not linked.
    virtual bool supportsPhysicalModel() = 0;

protected:
    enum class ValueKind
    {
        Input,
        Output
    };

    AIModelTrainer* getTrainer() const;
    EntityModel::Entity* getOptions() const;
    EntityModel::Entity* getTarget() const;

    /// The column of a bound attribute as a value of the balance; empty when the attribute is
    /// missing, hidden from the exchange's flags or not bound on that side.
    std::optional<AISystem::PhysicalModelValue> makeValue(EntityModel::Attribute* attribute, ValueKind kind,
                                                          double factor) const;
    std::optional<AISystem::PhysicalModelValue> makeValue(EntityModel::Entity* owner,
                                                          const EntityModel::AttributePath& path,
                                                          ValueKind kind, double factor) const;

    /// The value, or std::runtime_error with the message when it is missing.
    static AISystem::PhysicalModelValue require(const std::optional<AISystem::PhysicalModelValue>& value,
                                                const char* message);

    /// The fluid a stream uses by its type on the trainer entity (Water, Air, Project Fluid, Custom).
    AISystem::PhysicalModelFluid getFluid(const EntityModel::AttributePath& typePath,
                                          const EntityModel::AttributePath& fluidPath) const;
    AISystem::PhysicalModelFluid getProjectFluid() const;
    AISystem::PhysicalModelFluid getLiquidCoolantFluid() const;
    AISystem::PhysicalModelFluid getTechnologyCoolantFluid() const;
    AISystem::PhysicalModelFluid getFacilityCoolantFluid() const;
    /// True unless the type at typePath is Custom with no fluid linked at fluidPath.
    bool hasFluid(const EntityModel::AttributePath& typePath,
                  const EntityModel::AttributePath& fluidPath) const;

    /// The air stream of the target's inflows and outflows, with the project fluid.
    AISystem::PhysicalModelStream createAirStream() const;
    /// The air side's inputs (inflow temperatures) and outputs (outflow temperatures and flow rates).
    std::vector<EntityModel::Attribute*> getAirInputs() const;
    std::vector<EntityModel::Attribute*> getAirOutputs() const;

    /// Sets a fluid choice of the trainer entity: the type, and the linked fluid (null unlinks).
    void setFluid(const EntityModel::AttributePath& typePath, const EntityModel::AttributePath& fluidPath,
                  EntityModel::TypeRef type, EntityModel::Entity* fluid) const;
    /// Links the fluid as a custom fluid, or chooses water when there is none.
    void setCustomFluidOrWater(const EntityModel::AttributePath& typePath,
                               const EntityModel::AttributePath& fluidPath, EntityModel::Entity* fluid) const;
    /// Chooses the project's fluid as the project (air side) fluid when the project has one.
    void initializeProjectFluid() const;
    /// The fluid of the flow network that owns the connection linked at the path of an entity.
    static EntityModel::Entity* getFlowNetworkFluid(EntityModel::Entity* entity,
                                                    const EntityModel::AttributePath& connectionPath);

    static EntityModel::AttributePath fluidsPath();
};
} // namespace Conflux
