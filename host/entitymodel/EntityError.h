#pragma once
#include <string>
#include <vector>

namespace EntityModel
{
class Entity;

/// A problem found in the project, shown to the user: the entity concerned, a message, a group or
/// detail text, and the errors grouped under it.
class EntityError
{
public:
    EntityError(Entity* entity, std::string message, std::string group);

    Entity* getEntity() const { return entity_; }
    const std::string& getMessage() const { return message_; }
    const std::string& getGroup() const { return group_; }
    void addChildError(EntityError child);
    const std::vector<EntityError>& getChildErrors() const { return children_; }
    /// The message and the children's, one per line, children indented by a tab.
    std::string toString() const;

private:
    Entity* entity_;
    std::string message_;
    std::string group_;
    std::vector<EntityError> children_;
};
} // namespace EntityModel
