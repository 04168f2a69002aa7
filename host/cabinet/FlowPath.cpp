#include "host/cabinet/FlowPath.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

#include <algorithm>

namespace CabinetConstructor
{
namespace
{
double areaOf(EntityModel::Entity* flow)
{
    return EntityModel::getStandardDoubleValue(flow, EntityModel::Area_t, 0.0);
}

double areaIfListed(const std::vector<EntityModel::Entity*>& flows, EntityModel::Entity* flow)
{
    return flow && std::find(flows.begin(), flows.end(), flow) != flows.end() ? areaOf(flow) : 0.0;
}
} // namespace

FlowPath::FlowPath(EntityModel::Entity* equipment, bool recursive) : equipment_(equipment)
{
    if (!equipment_)
        return;
    inflows_ = equipment_->getOwnedChildEntitiesOfType(EntityModel::Inflow_t, recursive);
    outflows_ = equipment_->getOwnedChildEntitiesOfType(EntityModel::Outflow_t, recursive);
}

double FlowPath::getInflowArea(EntityModel::Entity* inflow) const
{
    return areaIfListed(inflows_, inflow);
}

double FlowPath::getOutflowArea(EntityModel::Entity* outflow) const
{
    return areaIfListed(outflows_, outflow);
}

double FlowPath::getTotalInflowArea() const
{
    double total = 0.0;
    for (auto* flow : inflows_)
        total += areaOf(flow);
    return total;
}

double FlowPath::getTotalOutflowArea() const
{
    double total = 0.0;
    for (auto* flow : outflows_)
        total += areaOf(flow);
    return total;
}
} // namespace CabinetConstructor
