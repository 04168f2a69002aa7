#pragma once
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/AttributeVisitor.h"
#include "src/model/Attribute.h"
#include "src/model/AttributePath.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace EntityModel
{
class LinkAttribute;
}

namespace Conflux::Model
{
class AttributeInitializer;

/// The exchange model of a project: its root entity and the map from every project attribute
/// (or entity) that received an exchange node to that node (owned by the tree).
using EntityTree = std::pair<std::unique_ptr<Entity>, std::map<EntityModel::Attribute*, Attribute*>>;

/// What a build tells beside its tree, for callers that show it to the user.
struct EntityTreeReport
{
    /// A shortcut target dropped because it leads nowhere in the finished tree.
    struct Unresolved
    {
        std::string shortcut;                  ///< the shortcut's full path, as text
        std::string target;                    ///< the target path, as text
        EntityModel::Entity* entity = nullptr; ///< the project entity whose node holds the shortcut
    };
    std::vector<Unresolved> unresolvedShortcuts;
    /// Told how many of the project's entities the walk has passed, and how many there are.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

/// Derives the exchange model from the project: it keeps the entities whose exchange is switched
/// on and the attributes flagged for the exchange, builds each with AttributeBuilder, makes the
/// composites, links and entities needed to hang it in place, and records declared shortcuts.
///
/// `create` builds the model the solver's exchange runs with; `document` builds a model for
/// documenting entity types, in which every flagged attribute of an entity that has an exchange
/// switch is kept, whether the switch is on or not, and links to the documented types are shown.
/// The root is null when nothing was kept. Exceptions of AttributeBuilder pass through.
///
/// Labels: an entity is labelled by its name (its type label when it has none). Where entities
/// held by one link share a label, each of them is labelled "<label> [<file>-<serial>]" after its
/// identifier, so that every exchange path leads to one node and a path never changes with the
/// order of the entities.
class EntityTreeBuilder : EntityModel::AttributeVisitor
{
public:
    /// The same as create(entity, entity, ...).
    static EntityTree create(EntityModel::Entity* entity, AccessType access, bool recurseAll,
                             bool forceDouble);
    /// Walks from `start`; `scope`'s node is the root and labels are formed relative to it.
    /// `access` bounds every access type; `recurseAll` walks into every attribute, not only
    /// composites; `forceDouble` makes every real value a double. Shortcut targets that do not
    /// exist in the finished tree are dropped.
    static EntityTree create(EntityModel::Entity* start, EntityModel::Entity* scope, AccessType access,
                             bool recurseAll, bool forceDouble);
    /// create(entity, entity, ...), filling `report` with the dropped shortcut targets and telling
    /// its progress callback how the walk advances.
    static EntityTree create(EntityModel::Entity* entity, AccessType access, bool recurseAll,
                             bool forceDouble, EntityTreeReport& report);
    /// The model documenting `start` (typically an entity not held by any link); `types` are the
    /// labels of the documented entity types. Shortcut targets are kept as declared.
    static EntityTree document(EntityModel::Entity* start, EntityModel::Entity* scope, AccessType access,
                               const std::set<std::string>& types, bool recurseAll, bool forceDouble);

private:
    EntityTreeBuilder(std::unique_ptr<Entity>& root, AccessType access,
                      std::map<EntityModel::Attribute*, Attribute*>& attributeMap, bool documentMode,
                      bool recurseAll, bool forceDouble, const std::set<std::string>& types,
                      EntityModel::Entity* scope);
    ~EntityTreeBuilder() override;

    static EntityTree build(EntityModel::Entity* start, EntityModel::Entity* scope, AccessType access,
                            const std::set<std::string>& types, bool recurseAll, bool forceDouble,
                            bool documentMode, EntityTreeReport* report);

    // The walk.
    bool recurse(const EntityModel::Attribute* attribute) const override;
    void visit(EntityModel::Attribute* attribute) override;
    void visit(EntityModel::Entity* entity) override;
    void visit(EntityModel::CompositeAttribute* composite) override;
    void visit(EntityModel::CountedCompositeAttribute* composite) override;
    void visit(EntityModel::IntAttribute* attribute) override;
    void visit(EntityModel::BoolAttribute* attribute) override;
    void visit(EntityModel::DoubleAttribute* attribute) override;
    void visit(EntityModel::TypeAttribute* attribute) override;
    void visit(EntityModel::CurveAttribute* curve) override;
    void visit(EntityModel::LinkAttribute* link) override;
    void visit(EntityModel::ListAttribute* list) override;
    void visit(EntityModel::ArrayAttribute* array) override;
    void visit(EntityModel::ShortcutAttribute* shortcut) override;

    void visitEntity(EntityModel::Entity* entity);
    void visitLink(EntityModel::LinkAttribute* link);
    bool skipAttribute(EntityModel::Attribute* attribute) const;
    Attribute* generateAttribute(EntityModel::Attribute* attribute, bool force);
    Attribute* createAttribute(CompositeAttribute* composite, EntityModel::Attribute* attribute);
    CompositeAttribute* createCompositePath(EntityModel::CompositeAttribute* composite);
    Entity* createEntityPath(EntityModel::Entity* entity);
    std::unique_ptr<Entity> makeEntity(EntityModel::Entity* entity);
    std::string entityLabel(EntityModel::Entity* entity);
    void setRoot(std::unique_ptr<Entity> root);

    // Shortcuts.
    void addConfluxShortcuts(CompositeAttribute* composite, EntityModel::AttributePath path,
                             const AttributePath& target);
    void finalizeShortcuts(CompositeAttribute* composite, const AttributePath& path,
                           const std::vector<AttributePath>& targets);
    void finalizePendingShortcuts();

    // The attribute map.
    void associate(EntityModel::Attribute* attribute, Attribute* counterpart);
    Attribute* getAttribute(EntityModel::Attribute* attribute) const;
    CompositeAttribute* getCompositeAttribute(EntityModel::Attribute* attribute) const;
    Entity* getEntity(EntityModel::Attribute* attribute) const;
    bool hasAttribute(EntityModel::Attribute* attribute) const;

    struct PendingShortcut
    {
        CompositeAttribute* composite;
        AttributePath path;
        std::vector<AttributePath> targets;
    };

    std::unique_ptr<Entity>& m_root;
    AccessType m_access;
    std::map<EntityModel::Attribute*, Attribute*>& m_attributes;
    bool m_documentMode;
    bool m_recurseAll;
    bool m_forceDouble;
    std::set<std::string> m_types;
    std::unique_ptr<AttributeInitializer> m_initializer;
    EntityModel::Entity* m_scope;
    /// In the order they were first declared, so that the tree comes out the same on every run.
    std::vector<PendingShortcut> m_pendingShortcuts;
    std::map<std::pair<CompositeAttribute*, AttributePath>, std::size_t> m_pendingIndex;
    /// Redirects being followed, so that two attributes redirecting to each other end the walk.
    std::set<EntityModel::Attribute*> m_redirecting;
    /// For each project link met, the labels that more than one of its entities carry.
    std::unordered_map<const EntityModel::LinkAttribute*, std::unordered_set<std::string>> m_repeatedLabels;
    /// Progress of the walk: entities passed and entities below the start.
    std::function<void(std::size_t, std::size_t)> m_progress;
    std::size_t m_entitiesPassed = 0;
    std::size_t m_entityCount = 0;
};
} // namespace Conflux::Model
