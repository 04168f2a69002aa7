#pragma once
#include "src/ai/training/AIModelTrainerModule.h"

namespace Conflux
{
/// The balance of a coolant distribution unit: heat passes from the technology coolant to the
/// facility coolant and, with forced ventilation of a unit that is not air cooled, to the room air.
/// The facility flow rate is read from the simulation results as an input; an air-cooled unit also
/// outputs its specified facility flow rate, which the balance uses when the result is not bound.
class AIModelTrainerCDUModule : public AIModelTrainerModule
{
    Q_OBJECT
public:
    explicit AIModelTrainerCDUModule(AIModelTrainer* trainer);

    void initialize(bool fromProject) override;
    std::optional<AISystem::PhysicalModel> createPhysicalModel() override;
    std::vector<EntityModel::Attribute*> getPhysicsInformedInputs() override;
    std::vector<EntityModel::Attribute*> getPhysicsInformedOutputs() override;
    bool supportsPhysicalModel() override;

private:
    bool isAirCooled() const;
    bool hasForcedAirStream() const;
};
} // namespace Conflux
