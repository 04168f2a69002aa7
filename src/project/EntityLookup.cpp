#include "src/project/EntityLookup.h"

#include "host/entitymodel/Entity.h"

#include <vector>

namespace Conflux
{
using EntityModel::Entity;

namespace
{
std::vector<Entity*> entitiesOf(Entity* root, const std::function<bool(const Entity*)>& accept)
{
    std::vector<Entity*> all{root};
    root->getOwnedChildEntities(all, true, true);
    std::vector<Entity*> accepted;
    for (Entity* entity : all)
        if (!accept || accept(entity))
            accepted.push_back(entity);
    return accepted;
}

template <typename Matches> std::vector<Entity*> matching(const std::vector<Entity*>& entities, Matches matches)
{
    std::vector<Entity*> found;
    for (Entity* entity : entities)
        if (matches(entity))
            found.push_back(entity);
    return found;
}
} // namespace

std::string EntityLookup::idText(const Entity* entity)
{
    return std::to_string(entity->getID().fileId) + "-" + std::to_string(entity->getID().serial);
}

std::string EntityLookup::describe(const Entity* entity)
{
    return "'" + entity->getFullDisplayName() + "' (" + entity->getTypeRef().getLabel() + " " + idText(entity) + ")";
}

Entity* EntityLookup::find(Entity* root, const std::string& name, const std::function<bool(const Entity*)>& accept,
                           const std::string& kind)
{
    if (!root)
        throw Error("there is no project to find '" + name + "' in");
    const std::vector<Entity*> entities = entitiesOf(root, accept);
    // The forms, most common first; the first that finds anything decides.
    const std::function<bool(const Entity*)> forms[] = {
        [&](const Entity* e) { return e->getName() == name; },
        [&](const Entity* e) { return e->getFullDisplayName() == name; },
        [&](const Entity* e) { return idText(e) == name; },
        [&](const Entity* e)
        {
            const std::string type = e->getTypeRef().getLabel();
            return name.size() > type.size() && name.compare(0, type.size(), type) == 0 &&
                   name[type.size()] == ':' && e->getName() == name.substr(type.size() + 1);
        },
    };
    for (const auto& form : forms)
    {
        const std::vector<Entity*> found = matching(entities, form);
        if (found.size() == 1)
            return found.front();
        if (found.size() > 1)
        {
            std::string candidates;
            for (const Entity* entity : found)
                candidates += "\n  " + describe(entity);
            throw Error("'" + name + "' names " + std::to_string(found.size()) +
                        " entities; name one by its path or its ID (such as " + idText(found.front()) +
                        "):" + candidates,
                        found);
        }
    }
    throw Error("the project has no " + kind + " named '" + name + "'");
}
} // namespace Conflux
