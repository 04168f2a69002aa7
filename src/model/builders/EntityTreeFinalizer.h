#pragma once
#include "src/model/AttributeVisitorAbstract.h"

#include <memory>

namespace Conflux::Model
{
class Entity;
class EntityCollection;

/// The last pass over a finished exchange model: every shortcut forgets the targets that do not
/// exist in the tree, so that controllers only see shortcuts that lead somewhere.
class EntityTreeFinalizer : public AttributeVisitorAbstract
{
public:
    /// Finalizes the tree below `root`, which must exist.
    static void finalize(std::unique_ptr<Entity>& root);
    /// Finalizes each root the collection holds.
    static void finalize(EntityCollection& collection);

    void visit(ShortcutAttribute& shortcut) override;
    using AttributeVisitorAbstract::visit;
};
} // namespace Conflux::Model
