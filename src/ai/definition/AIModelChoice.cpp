#include "src/ai/definition/AIModelChoice.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"

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
    for (Entity* model : models)
    {
        const Entity* owner = ownerOf(model);
        if (wanted.empty() || model->getName() == wanted || (owner != nullptr && owner->getName() == wanted))
            found.push_back(model);
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
