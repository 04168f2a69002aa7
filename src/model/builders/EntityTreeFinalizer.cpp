#include "src/model/builders/EntityTreeFinalizer.h"

#include "src/model/Entity.h"
#include "src/model/EntityCollection.h"
#include "src/model/ShortcutAttribute.h"

#include <algorithm>

namespace Conflux::Model
{
std::vector<UnresolvedShortcut> EntityTreeFinalizer::finalize(std::unique_ptr<Entity>& root)
{
    EntityTreeFinalizer finalizer;
    root->accept(finalizer);
    return std::move(finalizer.m_dropped);
}

std::vector<UnresolvedShortcut> EntityTreeFinalizer::finalize(EntityCollection& collection)
{
    EntityTreeFinalizer finalizer;
    for (const auto& root : collection)
        root->accept(finalizer);
    return std::move(finalizer.m_dropped);
}

void EntityTreeFinalizer::visit(ShortcutAttribute& shortcut)
{
    // Nothing is copied for the common shortcut whose targets all resolve: the pass must not churn
    // the heap once per shortcut of a large tree.
    const std::vector<AttributePath>& targets = shortcut.getShortcuts();
    const auto resolves = [&shortcut](const AttributePath& target) { return shortcut.resolve(target) != nullptr; };
    if (std::all_of(targets.begin(), targets.end(), resolves))
        return;
    const AttributePath path = shortcut.getAttributePath(true);
    for (const AttributePath& target : targets)
        if (!resolves(target))
            m_dropped.push_back({path, target, shortcut.getParentEntity()});
    shortcut.cleanupNonExistingShortcuts();
}
} // namespace Conflux::Model
