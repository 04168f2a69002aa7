#include "src/model/builders/EntityTreeFinalizer.h"

#include "src/model/Entity.h"
#include "src/model/EntityCollection.h"
#include "src/model/ShortcutAttribute.h"

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
    const std::vector<AttributePath> before = shortcut.getShortcuts();
    shortcut.cleanupNonExistingShortcuts();
    if (before.size() == shortcut.getShortcuts().size())
        return;
    const AttributePath path = shortcut.getAttributePath(true);
    for (const AttributePath& target : before)
        if (shortcut.resolve(target) == nullptr)
            m_dropped.push_back({path, target, shortcut.getParentEntity()});
}
} // namespace Conflux::Model
