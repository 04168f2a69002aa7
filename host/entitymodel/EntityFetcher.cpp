#include "host/entitymodel/EntityFetcher.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"

namespace EntityModel
{
Entity* EntityFetcher::getSolutionControl(Entity* entity)
{
    Entity* project = getOwnerProject(entity);
    if (!project)
        return nullptr;
    // Usually held directly by the project; anywhere below it will do.
    for (Attribute* child : project->getChildAttributes())
        if (child->isLinkAttribute())
            for (Entity* target : static_cast<LinkAttribute*>(child)->getTargets())
                if (target->getTypeRef() == Solution_Control_t)
                    return target;
    auto found = project->getOwnedChildEntitiesOfType(Solution_Control_t, true);
    return found.empty() ? nullptr : found.front();
}

bool EntityFetcher::isAIModelActive(Entity* root)
{
    return getBoolValue(getSolutionControl(root), AI_Model_Control_t / Active_t, false);
}

bool EntityFetcher::isConflux(Entity* root)
{
    return getBoolValue(getSolutionControl(root), Conflux_Control_t / Active_t, false);
}

Entity* EntityFetcher::getOwnerProject(Entity* entity)
{
    if (!entity)
        return nullptr;
    Entity* root = entity->getRootEntity();
    return root->isProject() ? root : nullptr;
}

Entity* EntityFetcher::getProjectFluid(Entity* project)
{
    return getLinkedEntity(project, Project_Fluid_t);
}
} // namespace EntityModel
