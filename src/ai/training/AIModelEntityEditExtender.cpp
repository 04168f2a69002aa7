#include "src/ai/training/AIModelEntityEditExtender.h"

#include "host/entitymodel/Attribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace EntityModel;

namespace Conflux
{
namespace
{
/// The path whose value selects the AI model of an entity of this type; empty for other types.
AttributePath watchedPath(TypeRef type)
{
    if (type == IT_Equipment_t || type == CDU_t)
        return Cooling_t / Modelling_Level_t;
    if (type == Controller_t)
        return Controls_t / Mode_t;
    return {};
}

/// A readable name for the AI model of `entity` that no other entity of its project has: "<name> AI
/// Model", numbered from 2 when that is taken, so that commands can name the model it creates.
std::string uniqueModelName(Entity* entity)
{
    Entity* root = entity;
    while (root->getOwnerEntity())
        root = root->getOwnerEntity();
    std::vector<Entity*> all{root};
    root->getOwnedChildEntities(all, true, true);
    std::set<std::string> taken;
    for (const Entity* other : all)
        taken.insert(other->getName());
    const std::string base =
        (entity->getName().empty() ? entity->getTypeRef().getLabel() : entity->getName()) + " " + AI_Model_t.getLabel();
    std::string name = base;
    for (int n = 2; taken.count(name); ++n)
        name = base + " " + std::to_string(n);
    return name;
}

// Extenders are told before the editor tries the value: a value the attribute refuses leaves the
// selection (and so the AI model) as it was.
bool takesValue(const Attribute& attribute, const std::string& value)
{
    const auto& candidates = attribute.getDefinition().candidates;
    return std::any_of(candidates.begin(), candidates.end(),
                       [&](TypeRef c) { return c.getLabel() == value; });
}
} // namespace

AIModelEntityEditExtender::~AIModelEntityEditExtender() = default;

void AIModelEntityEditExtender::extendPostSetValueOperation(bool) {}

bool AIModelEntityEditExtender::extendPostDeleteOperation()
{
    return true;
}

void AIModelEntityEditExtender::extendSetValueOperation(Entity* entity, Attribute* attribute,
                                                        const std::string& value, bool flag)
{
    if (entity == nullptr || attribute == nullptr)
        return;
    const AttributePath watched = watchedPath(entity->getTypeRef());
    if (watched.empty() || attribute->getAttributePath() != watched)
        return;
    Entity* linked = getLinkedEntity(entity, AIModelLink_t);
    if (value == AI_Model_t.getLabel())
    {
        if (linked == nullptr)
            EntityEditor::createEntity(AI_Model_t, entity, AIModelLink_t, nullptr, flag, true, false,
                                       uniqueModelName(entity), -1);
    }
    else if (linked != nullptr && takesValue(*attribute, value))
        EntityEditor::deleteEntity(linked, false, flag);
}

void AIModelEntityEditExtender::extendDragDropOperation(Entity*, Entity*) {}
void AIModelEntityEditExtender::extendDuplicateOperation(Entity*, Entity*) {}
void AIModelEntityEditExtender::extendPasteOperation(const std::vector<Entity*>&) {}
void AIModelEntityEditExtender::extendPreDeleteOperation(const std::vector<Entity*>&, bool) {}
} // namespace Conflux
