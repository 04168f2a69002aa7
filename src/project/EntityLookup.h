#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace EntityModel
{
class Entity;
}

namespace Conflux
{
/// Finds the entity of a project that a user names, the one way every command does it. A name may be
///   - the entity's name ("Server A01-1"),
///   - its path of names below the project ("Hall 1/Rack A01/Server A01-1", as `set` prints it),
///   - TYPE:NAME ("IT Equipment:Server A01-1"), or
///   - its ID, file and serial ("1-32").
/// `kind` only words the message for a name that finds nothing.
/// Projects repeat names ("Inlet") all the time: a name that several entities share is refused with
/// every candidate listed by path and ID, so that the user can pick one.
class EntityLookup
{
public:
    /// A name that finds no entity, or several (the candidates).
    struct Error : std::runtime_error
    {
        Error(const std::string& message, std::vector<EntityModel::Entity*> found = {})
            : std::runtime_error(message), candidates(std::move(found))
        {
        }
        std::vector<EntityModel::Entity*> candidates;
    };

    /// The entity under (or at) root that `name` names, among those `accept` takes (all without it);
    /// `kind` names them in messages ("IT equipment item or CDU"). Throws Error.
    static EntityModel::Entity* find(EntityModel::Entity* root, const std::string& name,
                                     const std::function<bool(const EntityModel::Entity*)>& accept = nullptr,
                                     const std::string& kind = "entity");

    /// "1-32": the ID as a name.
    static std::string idText(const EntityModel::Entity* entity);
    /// "'Hall 1/Rack A01/Inlet' (Inflow 1-32)": how a candidate is listed.
    static std::string describe(const EntityModel::Entity* entity);
};
} // namespace Conflux
