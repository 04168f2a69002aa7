#pragma once
#include <set>

namespace EntityModel
{
class Entity;

/// The entities a derived-data run created, deleted and modified.
class ChangeSet
{
public:
    void addCreated(Entity* entity) { created_.insert(entity); }
    void addDeleted(Entity* entity);
    void addModified(Entity* entity) { modified_.insert(entity); }
    const std::set<Entity*>& getCreated() const { return created_; }
    const std::set<Entity*>& getDeleted() const { return deleted_; }
    const std::set<Entity*>& getModified() const { return modified_; }
    bool empty() const { return created_.empty() && deleted_.empty() && modified_.empty(); }
    void clear();
    /// Adds another set's entities to this one.
    void merge(const ChangeSet& other);

private:
    std::set<Entity*> created_;
    std::set<Entity*> deleted_;
    std::set<Entity*> modified_;
};
} // namespace EntityModel
