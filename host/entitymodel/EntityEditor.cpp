#include "host/entitymodel/EntityEditor.h"

#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Project.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>

namespace EntityModel
{
namespace
{
struct EditorState
{
    // Guards `extenders` only: the list is read by every editing thread (generation, training)
    // while extenders register and unregister on others.
    std::mutex extendersMutex;
    std::vector<EntityEditExtender*> extenders;
    std::atomic<Project*> project{nullptr};
    DataFactory factory;
};

EditorState& state()
{
    static EditorState editorState;
    return editorState;
}

// Extenders are told from a copy of the list; one unregistered meanwhile is skipped.
bool stillRegistered(EntityEditExtender* extender)
{
    std::lock_guard lock(state().extendersMutex);
    const auto& extenders = state().extenders;
    return std::find(extenders.begin(), extenders.end(), extender) != extenders.end();
}

std::vector<EntityEditExtender*> registeredExtenders()
{
    std::lock_guard lock(state().extendersMutex);
    return state().extenders;
}

std::string describe(const CompositeAttribute* owner)
{
    if (!owner)
        return "(none)";
    const Entity* entity = owner->isEntity() ? static_cast<const Entity*>(owner) : owner->getOwnerEntity();
    std::string text =
        entity ? "'" + entity->getFullDisplayName() + "'" : std::string("a detached composite");
    if (!owner->isEntity())
        text += " at '" + owner->getAttributePath().toString('.') + "'";
    return text;
}

LinkAttribute* findLink(CompositeAttribute* owner, const AttributePath& linkPath)
{
    Attribute* attribute = owner ? owner->findAttribute(linkPath) : nullptr;
    return attribute && attribute->isLinkAttribute() ? static_cast<LinkAttribute*>(attribute) : nullptr;
}

// True when an owner entity above the entity is in the set (it goes with that owner).
bool hasOwnerIn(const Entity* entity, const std::set<Entity*>& entities)
{
    for (Entity* owner = entity->getOwnerEntity(); owner; owner = owner->getOwnerEntity())
        if (entities.count(owner))
            return true;
    return false;
}
} // namespace

EditValue::EditValue(double value, int) : text_(DoubleAttribute::format(value)) {}

void EntityEditExtender::extendPostSetValueOperation(bool) {}
bool EntityEditExtender::extendPostDeleteOperation()
{
    return true;
}
void EntityEditExtender::extendSetValueOperation(Entity*, Attribute*, const std::string&, bool) {}
void EntityEditExtender::extendDragDropOperation(Entity*, Entity*) {}
void EntityEditExtender::extendDuplicateOperation(Entity*, Entity*) {}
void EntityEditExtender::extendPasteOperation(const std::vector<Entity*>&) {}
void EntityEditExtender::extendPreDeleteOperation(const std::vector<Entity*>&, bool) {}

void EntityEditorDeleter::operator()(Entity* entity) const
{
    if (!entity)
        return;
    if (LinkAttribute* link = entity->getOwnerLink())
        link->remove(entity).reset();
    else
        delete entity;
}

void EntityEditor::setValue(CompositeAttribute* owner, const AttributePath& path, const EditValue& value,
                            bool flag)
{
    Attribute* attribute = owner ? owner->findAttribute(path) : nullptr;
    if (!attribute)
        throw std::runtime_error("No attribute '" + path.toString('.') + "' on " + describe(owner));
    if (!setAttributeValueNoThrow(attribute, value, flag))
        throw std::runtime_error("Cannot set '" + path.toString('.') + "' on " + describe(owner) + " to '" +
                                 value.text() + "'");
}

void EntityEditor::setAttributeValue(Attribute* attribute, const EditValue& value, bool flag)
{
    if (!attribute)
        throw std::runtime_error("Cannot set a missing attribute to '" + value.text() + "'");
    if (!setAttributeValueNoThrow(attribute, value, flag))
        throw std::runtime_error("Cannot set '" + attribute->getAttributePath().toString('.') + "' on " +
                                 describe(attribute->getOwnerEntity()) + " to '" + value.text() + "'");
}

bool EntityEditor::setValueNoThrow(CompositeAttribute* owner, const AttributePath& path,
                                   const EditValue& value, bool flag)
{
    return setAttributeValueNoThrow(owner ? owner->findAttribute(path) : nullptr, value, flag);
}

bool EntityEditor::setAttributeValueNoThrow(Attribute* attribute, const EditValue& value, bool flag)
{
    if (!attribute)
        return false;
    Entity* entity = attribute->isEntity() ? static_cast<Entity*>(attribute) : attribute->getOwnerEntity();
    // A copy: an extender may register or unregister others while it is told.
    const std::vector<EntityEditExtender*> extenders = registeredExtenders();
    for (EntityEditExtender* extender : extenders)
        if (stillRegistered(extender))
            extender->extendSetValueOperation(entity, attribute, value.text(), flag);
    bool applied = attribute->setValueFromString(value.text());
    clearAttributeCaches();
    for (EntityEditExtender* extender : extenders)
        if (stillRegistered(extender))
            extender->extendPostSetValueOperation(applied);
    return applied;
}

bool EntityEditor::setValid(CompositeAttribute* owner, const AttributePath& path, bool valid)
{
    return setValid(owner ? owner->findAttribute(path) : nullptr, valid);
}

bool EntityEditor::setValid(Attribute* attribute, bool valid)
{
    if (!attribute)
        return false;
    attribute->setValidFlag(valid);
    clearAttributeCaches();
    return true;
}

Entity* EntityEditor::createEntity(TypeRef type, CompositeAttribute* owner, const AttributePath& linkPath,
                                   LibraryInterface*, bool, bool, bool, const std::string& name, int position)
{
    std::unique_ptr<Entity> entity = getDataFactory().createEntity(type, name);
    if (!owner)
        return entity.release();
    LinkAttribute* link = findLink(owner, linkPath);
    if (!link)
        throw std::runtime_error("No link '" + linkPath.toString('.') + "' on " + describe(owner) +
                                 " for a new '" + type.getLabel() + "'");
    Entity* created = link->adopt(std::move(entity), position);
    if (!created)
        throw std::runtime_error("The link '" + linkPath.toString('.') + "' on " + describe(owner) +
                                 " does not take a new '" + type.getLabel() + "'");
    clearAttributeCaches();
    return created;
}

std::unique_ptr<Entity, EntityEditorDeleter> EntityEditor::createDetachedEntity(TypeRef type,
                                                                                const std::string& name)
{
    return std::unique_ptr<Entity, EntityEditorDeleter>(getDataFactory().createEntity(type, name).release());
}

bool EntityEditor::addEntity(CompositeAttribute* owner, const AttributePath& linkPath, Entity* entity, bool)
{
    LinkAttribute* link = findLink(owner, linkPath);
    if (!link || !entity)
        return false;
    bool added = false;
    if (link->isOwning())
    {
        std::unique_ptr<Entity> holder(entity);
        added = link->adopt(std::move(holder)) != nullptr;
        if (!added)
            (void)holder.release(); // not taken: the caller still owns it
    }
    else
        added = link->addReference(entity);
    clearAttributeCaches();
    return added;
}

bool EntityEditor::removeAllEntities(CompositeAttribute* owner, const AttributePath& linkPath, bool flag)
{
    LinkAttribute* link = findLink(owner, linkPath);
    if (!link)
        return false;
    if (link->isOwning())
        deleteEntities(link->getTargets(), flag);
    else
        link->clear();
    clearAttributeCaches();
    return true;
}

void EntityEditor::deleteEntity(Entity* entity, bool, bool flag)
{
    deleteEntities({entity}, flag);
}

void EntityEditor::deleteEntities(const std::vector<Entity*>& entities, bool flag)
{
    // Only entities held by a link are deleted here (detached ones belong to their holder); an entity
    // below another one of the list goes with it and is not deleted twice.
    std::set<Entity*> held;
    for (Entity* e : entities)
        if (e && e->getOwnerLink())
            held.insert(e);
    std::vector<Entity*> toDelete;
    for (Entity* e : entities)
        if (held.count(e) && !hasOwnerIn(e, held) &&
            std::find(toDelete.begin(), toDelete.end(), e) == toDelete.end())
            toDelete.push_back(e);
    if (toDelete.empty())
        return;
    const std::vector<EntityEditExtender*> extenders = registeredExtenders();
    for (EntityEditExtender* extender : extenders)
        if (stillRegistered(extender))
            extender->extendPreDeleteOperation(toDelete, flag);
    for (Entity* e : toDelete)
        if (LinkAttribute* link = e->getOwnerLink())
            link->remove(e).reset();
    clearAttributeCaches();
    for (EntityEditExtender* extender : extenders)
        if (stillRegistered(extender))
            extender->extendPostDeleteOperation();
}

void EntityEditor::clearAttributeCaches()
{
    clearAttributeCacheGeneration();
}

Entity* EntityEditor::getRootEntity()
{
    Project* project = state().project;
    return project ? project->getRootEntity() : nullptr;
}

Project* EntityEditor::getCurrentProject()
{
    return state().project;
}

void EntityEditor::setCurrentProject(Project* project)
{
    state().project = project;
}

DataFactory& EntityEditor::getDataFactory()
{
    return state().factory;
}

void EntityEditor::registerEditExtender(EntityEditExtender* extender)
{
    std::lock_guard lock(state().extendersMutex);
    auto& extenders = state().extenders;
    if (extender && std::find(extenders.begin(), extenders.end(), extender) == extenders.end())
        extenders.push_back(extender);
}

void EntityEditor::unregisterEditExtender(EntityEditExtender* extender)
{
    std::lock_guard lock(state().extendersMutex);
    std::erase(state().extenders, extender);
}

std::vector<EntityEditExtender*> EntityEditor::getEditExtenders()
{
    return registeredExtenders();
}

EntityEditRegistar::EntityEditRegistar(std::unique_ptr<EntityEditExtender> extender)
    : extender_(std::move(extender))
{
    EntityEditor::registerEditExtender(extender_.get());
}

EntityEditRegistar::~EntityEditRegistar()
{
    EntityEditor::unregisterEditExtender(extender_.get());
}
} // namespace EntityModel
