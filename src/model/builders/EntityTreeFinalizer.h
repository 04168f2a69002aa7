#pragma once
#include "src/model/AttributePath.h"
#include "src/model/AttributeVisitorAbstract.h"

#include <memory>
#include <vector>

namespace Conflux::Model
{
class Entity;
class EntityCollection;

/// A shortcut target that leads nowhere in a finished tree.
struct UnresolvedShortcut
{
    AttributePath shortcut; ///< the shortcut's full path
    AttributePath target;   ///< the target as recorded
    Entity* holder;         ///< the nearest entity at or above the shortcut
};

/// The last pass over a finished exchange model: every shortcut forgets the targets that do not
/// exist in the tree, so that controllers only see shortcuts that lead somewhere. The targets
/// dropped are returned, so that callers can tell the user instead of losing wiring silently.
class EntityTreeFinalizer : public AttributeVisitorAbstract
{
public:
    /// Finalizes the tree below `root`, which must exist.
    static std::vector<UnresolvedShortcut> finalize(std::unique_ptr<Entity>& root);
    /// Finalizes each root the collection holds.
    static std::vector<UnresolvedShortcut> finalize(EntityCollection& collection);

    void visit(ShortcutAttribute& shortcut) override;
    using AttributeVisitorAbstract::visit;

private:
    std::vector<UnresolvedShortcut> m_dropped;
};
} // namespace Conflux::Model
