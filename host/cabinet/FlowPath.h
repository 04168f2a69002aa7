#pragma once
#include <vector>

namespace EntityModel
{
class Entity;
}

namespace CabinetConstructor
{
/// The air flow paths of a piece of equipment: its inflow and outflow entities (`Inflow_t`,
/// `Outflow_t`, owned by the equipment) and their areas (`Area_t`, m²).
class FlowPath
{
public:
    /// The flow paths of an equipment entity; with recursive, inflows and outflows owned by its
    /// sub-entities count as well.
    FlowPath(EntityModel::Entity* equipment, bool recursive);

    const std::vector<EntityModel::Entity*>& getInflows() const { return inflows_; }
    const std::vector<EntityModel::Entity*>& getOutflows() const { return outflows_; }
    /// The area of one inflow (its `Area_t`); 0 when it is not one of this path's inflows or has no area.
    double getInflowArea(EntityModel::Entity* inflow) const;
    double getOutflowArea(EntityModel::Entity* outflow) const;
    /// Sums over all inflows and outflows.
    double getTotalInflowArea() const;
    double getTotalOutflowArea() const;

private:
    EntityModel::Entity* equipment_;
    std::vector<EntityModel::Entity*> inflows_;
    std::vector<EntityModel::Entity*> outflows_;
};
} // namespace CabinetConstructor
