#include "host/entitymodel/AttributeSorter.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"

#include <functional>
#include <tuple>
#include <vector>

namespace EntityModel
{
namespace
{
struct SortKey
{
    bool hasEntity = false;
    ID id;
    std::vector<std::size_t> positions;
};

SortKey keyOf(const Attribute* a)
{
    SortKey key;
    const Entity* entity = a->isEntity() ? static_cast<const Entity*>(a) : a->getOwnerEntity();
    if (entity)
    {
        key.hasEntity = true;
        key.id = entity->getID();
    }
    for (const Attribute* current = a; current && !current->isEntity(); current = current->getParent())
    {
        const CompositeAttribute* parent = current->getParent();
        if (!parent)
            break;
        std::size_t index = 0;
        while (index < parent->childCount() && parent->getChild(index) != current)
            ++index;
        key.positions.insert(key.positions.begin(), index);
    }
    return key;
}
} // namespace

bool AttributeSorter::operator()(const Attribute* a, const Attribute* b) const
{
    if (a == b || !a || !b)
        return !a && b;
    SortKey ka = keyOf(a);
    SortKey kb = keyOf(b);
    if (std::tie(ka.hasEntity, ka.id, ka.positions) != std::tie(kb.hasEntity, kb.id, kb.positions))
        return std::tie(ka.hasEntity, ka.id, ka.positions) < std::tie(kb.hasEntity, kb.id, kb.positions);
    return std::less<const Attribute*>()(a, b);
}
} // namespace EntityModel
