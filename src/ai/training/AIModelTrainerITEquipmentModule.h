#pragma once
#include "src/ai/training/AIModelTrainerModule.h"

namespace Conflux
{
/// The balance of an IT equipment item: its typical power heats the air passing from its inflows to
/// its outflows and, when it is liquid cooled, the coolant passing through it. The coolant is that of
/// whatever feeds the item: its flow network's fluid, or the technology coolant of the CDU or heat
/// exchanger it draws from. A custom coolant that names no fluid rules out a physical model rather
/// than being replaced by water, so that a misconfigured feed is not trained against.
class AIModelTrainerITEquipmentModule : public AIModelTrainerModule
{
    Q_OBJECT
public:
    explicit AIModelTrainerITEquipmentModule(AIModelTrainer* trainer);

    void initialize(bool fromProject) override;
    std::optional<AISystem::PhysicalModel> createPhysicalModel() override;
    std::vector<EntityModel::Attribute*> getPhysicsInformedInputs() override;
    std::vector<EntityModel::Attribute*> getPhysicsInformedOutputs() override;
    bool supportsPhysicalModel() override;

private:
    bool hasLiquidCooling() const;
};
} // namespace Conflux
