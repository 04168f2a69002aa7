#pragma once
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/TypeRef.h"

#include <concepts>
#include <memory>
#include <string>
#include <vector>

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class DataFactory;
class Entity;
class LibraryInterface;
class Project;

/// A value handed to an edit, in any of the forms the model stores.
class EditValue
{
public:
    EditValue(const char* text) : text_(text ? text : "") {}
    EditValue(std::string text) : text_(std::move(text)) {}
    EditValue(bool value) : text_(value ? "true" : "false") {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) EditValue(T value) : text_(std::to_string(value)) {}
    /// A real value in standard units.
    template <std::floating_point T> EditValue(T value) : EditValue(static_cast<double>(value), 0) {}
    EditValue(TypeRef value) : text_(value.getLabel()) {}
    EditValue(detail::BuiltinTypeRef value) : EditValue(TypeRef(value)) {}
    /// The text form passed to extenders and to Attribute::setValueFromString.
    const std::string& text() const { return text_; }

private:
    EditValue(double value, int);
    std::string text_;
};

/// A hook told of every edit, registered with EntityEditor::registerEditExtender.
class EntityEditExtender
{
public:
    virtual ~EntityEditExtender() = default;
    /// Told after a value edit, with whether it was applied.
    virtual void extendPostSetValueOperation(bool applied);
    /// Told after entities were deleted; the result is not used by the editor.
    virtual bool extendPostDeleteOperation();
    /// Told before a value edit is applied: the entity, the attribute and the new value as text.
    virtual void extendSetValueOperation(Entity* entity, Attribute* attribute, const std::string& value,
                                         bool flag);
    virtual void extendDragDropOperation(Entity* dragged, Entity* target);
    virtual void extendDuplicateOperation(Entity* original, Entity* duplicate);
    virtual void extendPasteOperation(const std::vector<Entity*>& pasted);
    /// Told before entities are deleted.
    virtual void extendPreDeleteOperation(const std::vector<Entity*>& entities, bool flag);
};

/// Deletes an entity that is not held by a link (a detached entity); held entities are removed from
/// their link through the editor's deletion.
struct EntityEditorDeleter
{
    void operator()(Entity* entity) const;
};

/// The editing operations on the current project. Every value edit tells the registered extenders
/// first (with the value as text), then applies it; the `undoable`/`flag` arguments are passed on
/// to the extenders.
class EntityEditor
{
public:
    /// Sets a value; throws std::runtime_error naming the entity, path and value when the attribute
    /// is absent or the value does not fit.
    static void setValue(CompositeAttribute* owner, const AttributePath& path, const EditValue& value,
                         bool flag = true);
    static void setAttributeValue(Attribute* attribute, const EditValue& value, bool flag = true);
    /// The same, answering false instead of throwing.
    static bool setValueNoThrow(CompositeAttribute* owner, const AttributePath& path, const EditValue& value,
                                bool flag = true);
    static bool setAttributeValueNoThrow(Attribute* attribute, const EditValue& value, bool flag = true);

    /// Sets an attribute's valid flag; false when it is absent.
    static bool setValid(CompositeAttribute* owner, const AttributePath& path, bool valid);
    static bool setValid(Attribute* attribute, bool valid);

    /// Makes an entity of a type from the schema. With an owner it goes into the owning link at
    /// linkPath (at position, -1 = end) and the owner's link keeps it; without an owner the entity
    /// is detached and the caller owns it (wrap it in std::unique_ptr<Entity, EntityEditorDeleter>).
    /// Throws std::runtime_error when the type is unknown, the link is absent or does not take it.
    static Entity* createEntity(TypeRef type, CompositeAttribute* owner, const AttributePath& linkPath,
                                LibraryInterface* library = nullptr, bool flag = true, bool notify = true,
                                bool select = false, const std::string& name = {}, int position = -1);
    static std::unique_ptr<Entity, EntityEditorDeleter> createDetachedEntity(TypeRef type,
                                                                             const std::string& name = {});

    /// Links an existing entity at linkPath: a non-owning link refers to it; an owning link takes
    /// over a detached entity (raw pointer handed over). False when that cannot be done.
    static bool addEntity(CompositeAttribute* owner, const AttributePath& linkPath, Entity* entity,
                          bool flag = true);
    /// Empties the link at linkPath (owned entities are deleted with the extenders told).
    static bool removeAllEntities(CompositeAttribute* owner, const AttributePath& linkPath, bool flag = true);
    /// Deletes an entity held by an owning link (or a detached one) and unlinks it everywhere.
    static void deleteEntity(Entity* entity, bool select = false, bool flag = true);
    static void deleteEntities(const std::vector<Entity*>& entities, bool flag = true);

    /// Forgets cached rule outcomes of every attribute.
    static void clearAttributeCaches();

    /// The current project's root entity (null without a project).
    static Entity* getRootEntity();
    static Project* getCurrentProject();
    /// Makes a project current (null: none); whoever loads a project sets it.
    static void setCurrentProject(Project* project);
    static DataFactory& getDataFactory();

    static void registerEditExtender(EntityEditExtender* extender);
    static void unregisterEditExtender(EntityEditExtender* extender);
    static std::vector<EntityEditExtender*> getEditExtenders();
};

/// Registers an extender for its lifetime (a static object of a library registers at load time).
class EntityEditRegistar
{
public:
    explicit EntityEditRegistar(std::unique_ptr<EntityEditExtender> extender);
    ~EntityEditRegistar();
    EntityEditRegistar(const EntityEditRegistar&) = delete;
    EntityEditRegistar& operator=(const EntityEditRegistar&) = delete;
    EntityEditExtender* get() const { return extender_.get(); }

private:
    std::unique_ptr<EntityEditExtender> extender_;
};
} // namespace EntityModel
