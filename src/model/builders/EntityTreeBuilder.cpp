#include "src/model/builders/EntityTreeBuilder.h"
#include "src/model/builders/GenericAttributeDispatch.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/EntityLinkAttributeBase.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/builders/AttributeBuilder.h"
#include "src/model/builders/AttributeInitializer.h"
#include "src/model/builders/EntityTreeFinalizer.h"

#include <algorithm>
#include <unordered_map>

namespace Conflux::Model
{
namespace
{
const EntityModel::AttributePath& activePath()
{
    static const EntityModel::AttributePath path = EntityModel::Conflux_t / EntityModel::Active_t;
    return path;
}

bool isCompositeKind(const Attribute* node)
{
    if (!node)
        return false;
    const AttributeType type = node->getAttributeType(false);
    return type == AttributeType::Composite || type == AttributeType::Entity;
}

bool holdsEntities(const Attribute* node)
{
    if (!node)
        return false;
    const AttributeType type = node->getAttributeType(false);
    return type == AttributeType::Link || type == AttributeType::List || type == AttributeType::Array;
}

/// The composite one level up: the parent, or for an entity held by a link the composite holding the link.
CompositeAttribute* compositeAbove(CompositeAttribute* composite)
{
    if (CompositeAttribute* parent = composite->getParent())
        return parent;
    if (Attribute* container = composite->getContainer())
        return container->getParent();
    return nullptr;
}

bool isBelow(const Attribute* node, const Attribute* root)
{
    return node && node->getRoot() == root;
}
} // namespace

EntityTreeBuilder::EntityTreeBuilder(std::unique_ptr<Entity>& root, AccessType access,
                                     std::map<EntityModel::Attribute*, Attribute*>& attributeMap,
                                     bool documentMode, bool recurseAll, bool forceDouble,
                                     const std::set<std::string>& types, EntityModel::Entity* scope)
    : m_root(root), m_access(access), m_attributes(attributeMap), m_documentMode(documentMode),
      m_recurseAll(recurseAll), m_forceDouble(forceDouble), m_types(types), m_scope(scope)
{
}

EntityTreeBuilder::~EntityTreeBuilder() = default;

EntityTree EntityTreeBuilder::create(EntityModel::Entity* entity, AccessType access, bool recurseAll,
                                     bool forceDouble)
{
    return create(entity, entity, access, recurseAll, forceDouble);
}

EntityTree EntityTreeBuilder::create(EntityModel::Entity* start, EntityModel::Entity* scope,
                                     AccessType access, bool recurseAll, bool forceDouble)
{
    return build(start, scope, access, {}, recurseAll, forceDouble, false, nullptr);
}

EntityTree EntityTreeBuilder::create(EntityModel::Entity* entity, AccessType access, bool recurseAll,
                                     bool forceDouble, EntityTreeReport& report)
{
    return build(entity, entity, access, {}, recurseAll, forceDouble, false, &report);
}

EntityTree EntityTreeBuilder::document(EntityModel::Entity* start, EntityModel::Entity* scope,
                                       AccessType access, const std::set<std::string>& types, bool recurseAll,
                                       bool forceDouble)
{
    return build(start, scope, access, types, recurseAll, forceDouble, true, nullptr);
}

EntityTree EntityTreeBuilder::build(EntityModel::Entity* start, EntityModel::Entity* scope, AccessType access,
                                    const std::set<std::string>& types, bool recurseAll, bool forceDouble,
                                    bool documentMode, EntityTreeReport* report)
{
    EntityModel::EntityEditor::clearAttributeCaches();
    EntityTree result;
    {
        EntityTreeBuilder builder(result.first, access, result.second, documentMode, recurseAll, forceDouble,
                                  types, scope);
        if (report && report->progress && start)
        {
            std::vector<EntityModel::Entity*> below;
            start->getOwnedChildEntities(
                below, true, true, [](EntityModel::Entity*) { return true; }, true);
            builder.m_progress = report->progress;
            builder.m_entityCount = below.size() + 1;
        }
        if (start)
            start->accept(builder);
        builder.finalizePendingShortcuts();
    }
    if (documentMode || !result.first)
        return result;
    const std::vector<UnresolvedShortcut> dropped = EntityTreeFinalizer::finalize(result.first);
    if (report && !dropped.empty())
    {
        // Rare, so the way back from exchange entities to project entities is made only now.
        std::unordered_map<const Attribute*, EntityModel::Entity*> projectEntities;
        for (const auto& [attribute, node] : result.second)
            if (attribute->isEntity() && node->isEntity())
                projectEntities.emplace(node, static_cast<EntityModel::Entity*>(attribute));
        for (const UnresolvedShortcut& unresolved : dropped)
        {
            const auto found = projectEntities.find(unresolved.holder);
            report->unresolvedShortcuts.push_back({unresolved.shortcut.toString(),
                                                   unresolved.target.toString(),
                                                   found == projectEntities.end() ? nullptr : found->second});
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// The walk

bool EntityTreeBuilder::recurse(const EntityModel::Attribute* attribute) const
{
    return m_recurseAll || attribute->isCompositeAttribute();
}

void EntityTreeBuilder::visit(EntityModel::Attribute* attribute)
{
    visitByKind(*this, attribute);
}

void EntityTreeBuilder::visit(EntityModel::Entity* entity)
{
    visitEntity(entity);
}

void EntityTreeBuilder::visit(EntityModel::CompositeAttribute* composite)
{
    if (composite->isEntity())
        visitEntity(static_cast<EntityModel::Entity*>(composite));
    else
        generateAttribute(composite, false);
}

void EntityTreeBuilder::visit(EntityModel::CountedCompositeAttribute* composite)
{
    visit(static_cast<EntityModel::CompositeAttribute*>(composite));
}

void EntityTreeBuilder::visit(EntityModel::IntAttribute* attribute)
{
    generateAttribute(attribute, false);
}
void EntityTreeBuilder::visit(EntityModel::BoolAttribute* attribute)
{
    generateAttribute(attribute, false);
}
void EntityTreeBuilder::visit(EntityModel::DoubleAttribute* attribute)
{
    generateAttribute(attribute, false);
}
void EntityTreeBuilder::visit(EntityModel::TypeAttribute* attribute)
{
    generateAttribute(attribute, false);
}
void EntityTreeBuilder::visit(EntityModel::ShortcutAttribute* shortcut)
{
    generateAttribute(shortcut, false);
}

void EntityTreeBuilder::visit(EntityModel::CurveAttribute* curve)
{
    if (curve->getConfluxAttributeType().empty() && curve->getConfluxAttribute().empty())
        return;
    generateAttribute(curve, false);
}

void EntityTreeBuilder::visit(EntityModel::LinkAttribute* link)
{
    visitLink(link);
}
void EntityTreeBuilder::visit(EntityModel::ListAttribute* list)
{
    visitLink(list);
}
void EntityTreeBuilder::visit(EntityModel::ArrayAttribute* array)
{
    visitLink(array);
}

void EntityTreeBuilder::visitEntity(EntityModel::Entity* entity)
{
    if (m_progress && m_entitiesPassed < m_entityCount)
        m_progress(++m_entitiesPassed, m_entityCount);
    if (!m_documentMode && entity->isProject() && entity == EntityModel::EntityEditor::getRootEntity())
        m_initializer = std::make_unique<AttributeInitializer>(entity);
    if (hasAttribute(entity) || skipAttribute(entity))
        return;
    if (const EntityModel::LinkAttribute* holder = entity->getOwnerLink();
        holder && holder->isConfluxHidden())
        return;
    const bool included = EntityModel::getBoolValue(entity, activePath(), false) ||
                          (m_documentMode && entity->findAttribute(activePath()) != nullptr);
    if (included)
        createEntityPath(entity);
}

void EntityTreeBuilder::visitLink(EntityModel::LinkAttribute* link)
{
    // Outside documentation, links are made only when an entity below them is placed.
    if (!m_documentMode || !link->getLinkFlag() || hasAttribute(link))
        return;
    const EntityModel::TypeListRef linked = link->getLinkedTypes();
    if (std::none_of(linked.getTypes().begin(), linked.getTypes().end(),
                     [this](EntityModel::TypeRef type) { return m_types.count(type.getLabel()) != 0; }))
        return;
    EntityModel::Entity* owner = link->getOwnerEntity();
    EntityModel::CompositeAttribute* parent = link->getParent();
    if (!owner || !parent)
        return;
    createEntityPath(owner);
    if (parent != owner)
        createCompositePath(parent);
    if (CompositeAttribute* composite = getCompositeAttribute(parent))
        createAttribute(composite, link);
}

// ---------------------------------------------------------------------------------------------
// Building

bool EntityTreeBuilder::skipAttribute(EntityModel::Attribute* attribute) const
{
    EntityModel::Entity* entity =
        attribute->isEntity() ? static_cast<EntityModel::Entity*>(attribute) : attribute->getOwnerEntity();
    if (!entity)
        return true;
    if (m_documentMode)
        return !(attribute->isConflux() && entity->findAttribute(activePath()) != nullptr);
    if (attribute->isConfluxHiddenOrInHiddenComposite(nullptr))
        return true;
    return !EntityModel::getBoolValue(entity, activePath(), false);
}

Attribute* EntityTreeBuilder::generateAttribute(EntityModel::Attribute* attribute, bool force)
{
    if (!attribute)
        return nullptr;

    if (const EntityModel::TypeRef redirect = attribute->getConfluxAttribute(); !redirect.empty())
    {
        // The attribute named by the redirect stands for this one; nothing is made for this one itself.
        EntityModel::CompositeAttribute* parent = attribute->getParent();
        EntityModel::Attribute* target = parent ? parent->findAttribute(redirect) : nullptr;
        if (!target || target == attribute || m_redirecting.count(attribute))
            return nullptr;
        Attribute* counterpart = getAttribute(target);
        if (!counterpart)
        {
            m_redirecting.insert(attribute);
            counterpart = generateAttribute(target, force);
            m_redirecting.erase(attribute);
        }
        if (counterpart)
            associate(attribute, counterpart);
        return counterpart;
    }

    if (!force)
    {
        if (!attribute->isConflux() || hasAttribute(attribute))
            return nullptr;
        if (!m_documentMode && attribute->isConfluxHiddenOrInHiddenComposite(nullptr))
            return nullptr;
        if (skipAttribute(attribute))
            return nullptr;
    }

    CompositeAttribute* parent = createCompositePath(attribute->getParent());
    if (!parent)
        return nullptr;
    if (attribute->isCompositeAttribute() && attribute->shouldHideHeader())
    {
        // A composite without a header of its own: its children land directly in the parent.
        associate(attribute, parent);
        return parent;
    }
    return createAttribute(parent, attribute);
}

Attribute* EntityTreeBuilder::createAttribute(CompositeAttribute* composite,
                                              EntityModel::Attribute* attribute)
{
    std::unique_ptr<Attribute> node = AttributeBuilder::create(
        attribute, m_scope, m_access, m_initializer.get(), m_documentMode, m_forceDouble);
    if (!node)
        return nullptr;
    Attribute* added = composite->addAttribute(std::move(node));
    associate(attribute, added);
    const auto& shortcuts = attribute->getConfluxShortcuts();
    if (!shortcuts.empty())
    {
        const AttributePath target = added->getAttributePath(true);
        for (const auto& path : shortcuts)
            addConfluxShortcuts(added->getParent(), path, target);
    }
    return added;
}

CompositeAttribute* EntityTreeBuilder::createCompositePath(EntityModel::CompositeAttribute* composite)
{
    if (!composite)
        return nullptr;
    if (CompositeAttribute* existing = getCompositeAttribute(composite))
        return existing;
    if (composite->isEntity())
    {
        auto* entity = static_cast<EntityModel::Entity*>(composite);
        if (const EntityModel::LinkAttribute* holder = entity->getOwnerLink();
            holder && holder->isConfluxHidden())
            return nullptr;
        return createEntityPath(entity);
    }
    if (!createCompositePath(composite->getParent()))
        return nullptr;
    // Composites on the way to a kept attribute are made even when they are not flagged themselves.
    Attribute* made = generateAttribute(composite, true);
    return isCompositeKind(made) ? static_cast<CompositeAttribute*>(made) : nullptr;
}

std::unique_ptr<Entity> EntityTreeBuilder::makeEntity(EntityModel::Entity* entity)
{
    auto node = std::make_unique<Entity>(entityLabel(entity), entity->getName(), m_access, nullptr);
    node->setEntityID(EntityID(entity->getID().toPair()));
    return node;
}

std::string EntityTreeBuilder::entityLabel(EntityModel::Entity* entity)
{
    std::string label = entity->getConfluxLabel(m_scope);
    const EntityModel::LinkAttribute* holder = entity->getOwnerLink();
    if (!holder || entity == m_scope)
        return label;
    // Decided over every entity of the link, kept or not, so that switching one entity's exchange
    // on or off never renames another.
    auto [repeated, isNew] = m_repeatedLabels.try_emplace(holder);
    if (isNew && holder->getTargets().size() > 1)
    {
        std::unordered_map<std::string, int> uses;
        for (EntityModel::Entity* sibling : holder->getTargets())
            ++uses[sibling->getConfluxLabel(m_scope)];
        for (const auto& [text, count] : uses)
            if (count > 1)
                repeated->second.insert(text);
    }
    if (repeated->second.count(label) != 0)
    {
        const auto [file, serial] = entity->getID().toPair();
        label += " [" + std::to_string(file) + "-" + std::to_string(serial) + "]";
    }
    return label;
}

void EntityTreeBuilder::setRoot(std::unique_ptr<Entity> root)
{
    if (m_root)
    {
        // The earlier tree goes away: forget what pointed into it so that nothing dangles.
        const Attribute* old = m_root.get();
        std::erase_if(m_attributes, [old](const auto& entry) { return isBelow(entry.second, old); });
        std::erase_if(m_pendingShortcuts,
                      [old](const PendingShortcut& pending) { return isBelow(pending.composite, old); });
        m_pendingIndex.clear();
        for (std::size_t i = 0; i < m_pendingShortcuts.size(); ++i)
            m_pendingIndex.emplace(
                std::make_pair(m_pendingShortcuts[i].composite, m_pendingShortcuts[i].path), i);
    }
    m_root = std::move(root);
}

Entity* EntityTreeBuilder::createEntityPath(EntityModel::Entity* entity)
{
    if (!entity)
        return nullptr;
    if (Entity* existing = getEntity(entity))
        return existing;
    EntityModel::LinkAttribute* holder = entity->getOwnerLink();
    if (entity == m_scope || (m_documentMode && !holder))
    {
        setRoot(makeEntity(entity));
        associate(entity, m_root.get());
        return m_root.get();
    }
    if (!holder)
        return nullptr;

    EntityModel::CompositeAttribute* holderParent = holder->getParent();
    if (!hasAttribute(holder) && holderParent)
    {
        if (!getCompositeAttribute(holderParent))
        {
            EntityModel::Entity* owner = holder->getOwnerEntity();
            createEntityPath(owner);
            if (holderParent != owner)
                createCompositePath(holderParent);
        }
        if (CompositeAttribute* composite = getCompositeAttribute(holderParent))
            createAttribute(composite, holder);
    }
    Attribute* link = getAttribute(holder);
    if (!holdsEntities(link))
        return nullptr;
    Entity* added = static_cast<EntityLinkAttributeBase*>(link)->addEntity(makeEntity(entity));
    associate(entity, added);
    return added;
}

// ---------------------------------------------------------------------------------------------
// Shortcuts

void EntityTreeBuilder::addConfluxShortcuts(CompositeAttribute* composite, EntityModel::AttributePath path,
                                            const AttributePath& target)
{
    if (path.empty() || !composite)
        return;
    while (!path.empty() && path.front() == EntityModel::Owner_t)
    {
        path = path.withoutFront();
        composite = compositeAbove(composite);
        if (!composite)
            return;
    }
    const AttributePath shortcut(path.toString('.'));
    const auto key = std::make_pair(composite, shortcut);
    auto found = m_pendingIndex.find(key);
    if (found == m_pendingIndex.end())
    {
        found = m_pendingIndex.emplace(key, m_pendingShortcuts.size()).first;
        m_pendingShortcuts.push_back({composite, shortcut, {}});
    }
    // A target is the path of the node just made, so only the attribute being made can repeat it,
    // and it does so while its own shortcuts are recorded: comparing with the last one suffices.
    auto& targets = m_pendingShortcuts[found->second].targets;
    if (targets.empty() || targets.back() != target)
        targets.push_back(target);
}

void EntityTreeBuilder::finalizeShortcuts(CompositeAttribute* composite, const AttributePath& path,
                                          const std::vector<AttributePath>& targets)
{
    CompositeAttribute* current = composite;
    for (std::size_t i = 0; i < path.size(); ++i)
    {
        const std::string& name = path[i];
        Attribute* existing = current->findAttribute(AttributePath{name}, false);
        if (i + 1 == path.size())
        {
            ShortcutAttribute* shortcut = nullptr;
            if (existing)
            {
                if (existing->getAttributeType(false) != AttributeType::Shortcut)
                    return;
                shortcut = static_cast<ShortcutAttribute*>(existing);
            }
            else
                shortcut = static_cast<ShortcutAttribute*>(
                    current->addAttribute(std::make_unique<ShortcutAttribute>(name, m_access, current)));
            for (const auto& target : targets)
                shortcut->addShortcut(target);
            return;
        }
        if (existing)
        {
            if (!isCompositeKind(existing))
                return;
            current = static_cast<CompositeAttribute*>(existing);
        }
        else
            // Groups made only to hold shortcuts are never writable.
            current = static_cast<CompositeAttribute*>(current->addAttribute(
                std::make_unique<CompositeAttribute>(name, m_access & AccessType::ReadOnly, current)));
    }
}

void EntityTreeBuilder::finalizePendingShortcuts()
{
    for (const auto& pending : m_pendingShortcuts)
        finalizeShortcuts(pending.composite, pending.path, pending.targets);
    m_pendingShortcuts.clear();
    m_pendingIndex.clear();
}

// ---------------------------------------------------------------------------------------------
// The attribute map

void EntityTreeBuilder::associate(EntityModel::Attribute* attribute, Attribute* counterpart)
{
    if (counterpart)
        m_attributes.emplace(attribute, counterpart);
}

Attribute* EntityTreeBuilder::getAttribute(EntityModel::Attribute* attribute) const
{
    const auto found = m_attributes.find(attribute);
    return found == m_attributes.end() ? nullptr : found->second;
}

CompositeAttribute* EntityTreeBuilder::getCompositeAttribute(EntityModel::Attribute* attribute) const
{
    Attribute* node = getAttribute(attribute);
    return isCompositeKind(node) ? static_cast<CompositeAttribute*>(node) : nullptr;
}

Entity* EntityTreeBuilder::getEntity(EntityModel::Attribute* attribute) const
{
    Attribute* node = getAttribute(attribute);
    return node && node->getAttributeType(false) == AttributeType::Entity ? static_cast<Entity*>(node)
                                                                          : nullptr;
}

bool EntityTreeBuilder::hasAttribute(EntityModel::Attribute* attribute) const
{
    return getAttribute(attribute) != nullptr;
}
} // namespace Conflux::Model
