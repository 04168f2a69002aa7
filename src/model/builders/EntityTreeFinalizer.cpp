#include "src/model/builders/EntityTreeFinalizer.h"

#include "src/model/Entity.h"
#include "src/model/EntityCollection.h"
#include "src/model/ShortcutAttribute.h"

namespace Conflux::Model
{
void EntityTreeFinalizer::finalize(std::unique_ptr<Entity>& root)
{
    EntityTreeFinalizer finalizer;
    root->accept(finalizer);
}

void EntityTreeFinalizer::finalize(EntityCollection& collection)
{
    EntityTreeFinalizer finalizer;
    for (const auto& root : collection)
        root->accept(finalizer);
}

void EntityTreeFinalizer::visit(ShortcutAttribute& shortcut)
{
    shortcut.cleanupNonExistingShortcuts();
}
} // namespace Conflux::Model
