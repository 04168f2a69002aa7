#pragma once
// Links between entities: a link holds at most one entity, a list any number, an array a fixed
// number of slots. An owning link owns its entities (they are its children in walks); any other link
// refers to entities elsewhere and forgets them when they are deleted.
#include "host/entitymodel/Attribute.h"

#include <memory>
#include <vector>

namespace EntityModel
{
class LinkAttribute : public Attribute
{
public:
    explicit LinkAttribute(std::shared_ptr<const AttributeDefinition> definition);
    ~LinkAttribute() override;

    AttributeKind kind() const override { return AttributeKind::Link; }
    void accept(AttributeVisitor& visitor) override;
    std::vector<Attribute*> getChildAttributes() const override;

    TypeListRef getLinkedTypes() const { return TypeListRef(getDefinition().linkedTypes); }
    /// The first linked type.
    Type getLinkedType() const { return getLinkedTypes().getType(); }
    /// The link's boolean flag (from its definition).
    bool getLinkFlag() const { return getDefinition().linkFlag; }
    bool isOwning() const { return getDefinition().owning; }
    /// How many entities the link may hold (1 for a link, the slot count for an array, unbounded for a list).
    std::size_t capacity() const;

    /// The linked entities, in order.
    const std::vector<Entity*>& getTargets() const { return targets_; }
    /// The first linked entity, or null.
    Entity* getTarget() const { return targets_.empty() ? nullptr : targets_.front(); }
    int intVal() const override { return static_cast<int>(targets_.size()); }
    /// The linked entities' IDs, "file:serial" separated by ",".
    std::string getValue() const override;
    /// Links cannot be set from text (their targets are set with EntityEditor::addEntity).
    bool setValueFromString(const std::string&) override { return false; }

    /// Whether the entity's type may be linked here.
    bool accepts(const Entity* entity) const;
    /// Owning links: takes a detached entity (moving from the pointer only on success) and returns it;
    /// a full single link replaces (deletes) its entity. Returns null, leaving the pointer as it was,
    /// when this link does not own, is full, or the type does not fit.
    Entity* adopt(std::unique_ptr<Entity>&& entity, int position = -1);
    /// Non-owning links: refers to an entity; a single link replaces its target. False when the type
    /// does not fit, the link is full, or this link owns its entities.
    bool addReference(Entity* entity);
    /// Removes one entity; an owned entity is handed back (null for a reference or an absent entity).
    std::unique_ptr<Entity> remove(Entity* entity);
    /// Removes (and deletes owned) entities.
    void clear();

private:
    friend class Entity;
    void forgetReference(Entity* entity);

    std::vector<Entity*> targets_;
    std::vector<std::unique_ptr<Entity>> owned_;
};

/// A link holding any number of entities.
class ListAttribute : public LinkAttribute
{
public:
    using LinkAttribute::LinkAttribute;
    AttributeKind kind() const override { return AttributeKind::List; }
    void accept(AttributeVisitor& visitor) override;
};

/// A link holding up to a fixed number of entities (the definition's arraySize; 0: unbounded).
class ArrayAttribute : public LinkAttribute
{
public:
    using LinkAttribute::LinkAttribute;
    AttributeKind kind() const override { return AttributeKind::Array; }
    void accept(AttributeVisitor& visitor) override;
};
} // namespace EntityModel
