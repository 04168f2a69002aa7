#include "src/ai/definition/AIModelChoice.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "src/project/EntityLookup.h"

#include <vector>

using namespace EntityModel;

namespace Conflux
{
namespace
{
const Entity* ownerOf(const Entity* model)
{
    const LinkAttribute* link = model->getOwnerLink();
    return link != nullptr ? link->getOwnerEntity() : nullptr;
}
} // namespace

std::string aiModelLabel(const Entity* model)
{
    const Entity* owner = ownerOf(model);
    return "'" + model->getName() + "'" + (owner != nullptr ? " of '" + owner->getName() + "'" : std::string());
}

Entity* chooseAIModel(Entity* root, const std::string& wanted, const std::string& projectName)
{
    const std::vector<Entity*> models = root->getOwnedChildEntitiesOfType(AI_Model_t);
    std::vector<Entity*> found;
    if (wanted.empty())
        found = models;
    else
        // The model, or the item it models, named as every command names entities.
        try
        {
            Entity* named = EntityLookup::find(
                root, wanted,
                [](const Entity* entity)
                { return entity->getTypeRef() == AI_Model_t || getLinkedEntity(entity, AIModelLink_t); },
                "AI model");
            found.push_back(named->getTypeRef() == AI_Model_t ? named : getLinkedEntity(named, AIModelLink_t));
        }
        catch (const EntityLookup::Error& error)
        {
            if (!error.candidates.empty())
                throw AIModelChoiceError(error.what());
        }
    if (found.size() == 1)
        return found.front();
    if (models.empty())
        throw AIModelChoiceError(projectName + " has no AI model");
    std::string choices;
    for (const Entity* model : (found.empty() ? models : found))
        choices += "\n  " + aiModelLabel(model);
    if (wanted.empty())
        throw AIModelChoiceError(projectName + " has " + std::to_string(models.size()) +
                                 " AI models; choose one with --model NAME:" + choices);
    if (found.empty())
        throw AIModelChoiceError("unknown model '" + wanted + "'; the AI models of " + projectName +
                                 " are:" + choices);
    throw AIModelChoiceError("'" + wanted + "' names " + std::to_string(found.size()) + " AI models:" + choices);
}
} // namespace Conflux
