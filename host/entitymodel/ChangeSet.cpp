#include "host/entitymodel/ChangeSet.h"

namespace EntityModel
{
void ChangeSet::addDeleted(Entity* entity)
{
    // An entity made and deleted in the same run was never there for the caller.
    if (created_.erase(entity) > 0)
    {
        modified_.erase(entity);
        return;
    }
    modified_.erase(entity);
    deleted_.insert(entity);
}

void ChangeSet::clear()
{
    created_.clear();
    deleted_.clear();
    modified_.clear();
}

void ChangeSet::merge(const ChangeSet& other)
{
    for (Entity* e : other.created_)
        addCreated(e);
    for (Entity* e : other.modified_)
        addModified(e);
    for (Entity* e : other.deleted_)
        addDeleted(e);
}
} // namespace EntityModel
