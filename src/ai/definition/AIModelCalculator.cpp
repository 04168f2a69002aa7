#include "src/ai/definition/AIModelCalculator.h"

#include "host/entitymodel/ChangeSet.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DerivedFunctions.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/model/AttributeVisitorConstAbstract.h"
#include "src/model/Entity.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include <algorithm>
#include <vector>

using namespace EntityModel;

namespace Conflux
{
namespace
{
/// Collects, in visiting order, the exchange attributes that grant the required access. Doubles
/// keep the visitor's default (not collected), as do links, lists and arrays, which only lead to
/// other entities.
class AIModelAttributeExtractor : public Model::AttributeVisitorConstAbstract
{
public:
    explicit AIModelAttributeExtractor(Model::AccessType required) : m_required(required) {}
    const std::vector<const Model::Attribute*>& attributes() const { return m_attributes; }

    using Model::AttributeVisitorConstAbstract::visit;
    void visit(const Model::ArrayAttribute&) override {}
    void visit(const Model::ListAttribute&) override {}
    void visit(const Model::LinkAttribute&) override {}
    void visit(const Model::ShortcutAttribute& a) override { add(a); }
    void visit(const Model::ValueAttribute<float>& a) override { add(a); }
    void visit(const Model::ValueAttribute<std::string>& a) override { add(a); }
    void visit(const Model::ValueAttribute<bool>& a) override { add(a); }
    void visit(const Model::ValueAttribute<int>& a) override { add(a); }

private:
    void add(const Model::Attribute& attribute)
    {
        if ((attribute.getAccessType() & m_required) == m_required)
            m_attributes.push_back(&attribute);
    }

    Model::AccessType m_required;
    std::vector<const Model::Attribute*> m_attributes;
};

void invalidateChoice(CompositeAttribute* entry)
{
    for (TypeRef name : {Attribute_t, Selected_Attribute_t, TypeRef("Model Unit"), TypeRef("CSV Unit")})
        invalidateDerivedAttribute(entry->findAttribute(name, false), false);
}

void setActiveFlag(Entity* control, bool active)
{
    EntityEditor::setValue(control, AI_Model_Control_t / Active_t, active ? Yes_t : No_t);
}
} // namespace

AIModelCalculator::AIModelCalculator() : Calculator("AIModel") {}

AIModelCalculator::~AIModelCalculator() = default;

void AIModelCalculator::calculateDerivedData(Geometry::Part* part)
{
    if (part != nullptr)
        calculateDerivedData(part->getEntity());
}

void AIModelCalculator::calculateDerivedData(Entity* entity)
{
    m_created.clear();
    m_deleted.clear();
    m_changed.clear();
    m_inputCache.clear();
    m_outputCache.clear();
    if (entity == nullptr)
        return;

    std::vector<Entity*> models;
    if (entity->getTypeRef() != AI_Model_t)
    {
        entity->getOwnedChildEntities(
            models, true, true, [](Entity* e) { return AIFunctorBuilder::isAIModelInUse(e); }, true);
        if (Entity* control = EntityFetcher::getSolutionControl(entity))
            setActiveFlag(control, !models.empty());
    }
    else if (AIFunctorBuilder::isAIModelInUse(entity))
    {
        models.push_back(entity);
        // One model in use is enough to switch AI models on; one not in use says nothing about others.
        if (EntityFetcher::getOwnerProject(entity) != nullptr)
            if (Entity* control = EntityFetcher::getSolutionControl(entity))
                setActiveFlag(control, true);
    }
    for (Entity* model : models)
        calculateDerivedDataAIModel(model);
}

void AIModelCalculator::calculateDerivedDataAIModel(Entity* aiModel)
{
    if (aiModel == nullptr)
        return;
    for (bool isInput : {true, false})
    {
        CountedCompositeAttribute* values = AIModuleGenerator::findValueList(aiModel, isInput);
        if (values == nullptr)
            continue;
        for (std::size_t i = 0; i < values->childCount(); ++i)
            if (Attribute* child = values->getChild(i); child->isCompositeAttribute())
                calculateDerivedDataAIModelValue(static_cast<CompositeAttribute*>(child), isInput);
    }
}

void AIModelCalculator::calculateDerivedDataAIModelValue(CompositeAttribute* entry, bool isInput)
{
    std::vector<Entity*> list = getLinkedEntities(entry, AI_Model_Attribute_List_t);
    Entity* linked = getLinkedEntity(entry, Entity_t);
    const CandidateMap candidates = linked ? getInputAttributeList(linked, isInput) : CandidateMap();
    std::vector<Entity*> surplus;
    if (!candidates.empty())
    {
        const std::size_t n = candidates.size();
        for (std::size_t i = 0; i < std::min(list.size(), n); ++i)
            m_changed.insert(list[i]);
        while (list.size() < n)
        {
            Entity* created =
                EntityEditor::createEntity(AI_Model_Attribute_t, entry, AI_Model_Attribute_List_t, nullptr,
                                           true, true, false, std::string(), -1);
            list.push_back(created);
            m_created.insert(created);
            // A candidate deleted earlier in this run may have left its address to this one; the
            // report by address can only name the entity that lives there now.
            m_deleted.erase(created);
        }
        std::size_t i = 0;
        for (const auto& [exchangePath, hostPath] : candidates)
        {
            EntityEditor::setValue(list[i], Name_t, exchangePath.toString());
            EntityEditor::setValue(list[i], Path_t, hostPath.toString('.'));
            ++i;
        }
        EntityEditor::setValid(entry, Attribute_t, true);
        invalidateChoice(entry);
        surplus.assign(list.begin() + static_cast<std::ptrdiff_t>(n), list.end());
    }
    else
    {
        EntityEditor::setValueNoThrow(entry, Attribute_t, "");
        EntityEditor::setValid(entry, Attribute_t, false);
        invalidateChoice(entry);
        surplus = list;
    }
    if (!surplus.empty())
    {
        m_deleted.insert(surplus.begin(), surplus.end());
        EntityEditor::deleteEntities(surplus);
    }
    invalidateDerivedAttribute(entry, true);
}

Model::EntityTree AIModelCalculator::buildExchangeTree(Entity* linked)
{
    return Model::EntityTreeBuilder::create(linked, Model::AccessType::ReadWrite, true, false);
}

AIModelCalculator::CandidateMap AIModelCalculator::getInputAttributeList(Entity* linked, bool isInput)
{
    auto& cache = isInput ? m_inputCache : m_outputCache;
    if (const auto cached = cache.find(linked); cached != cache.end())
        return cached->second;

    Model::EntityTree tree = buildExchangeTree(linked);
    if (!tree.first)
        return {};
    AIModelAttributeExtractor extractor(isInput ? Model::AccessType::ReadOnly : Model::AccessType::WriteOnly);
    tree.first->accept(extractor);

    // The exchange attribute to the host attribute it stands for. Several host attributes can share
    // one node (a redirect and its target): the one not redirecting, then the first by path, so the
    // choice does not depend on where attributes happen to live in memory.
    std::map<const Model::Attribute*, EntityModel::Attribute*> hostOf;
    const auto better = [](EntityModel::Attribute* a, EntityModel::Attribute* b)
    {
        const bool aRedirects = !a->getConfluxAttribute().getLabel().empty();
        const bool bRedirects = !b->getConfluxAttribute().getLabel().empty();
        if (aRedirects != bRedirects)
            return !aRedirects;
        return a->getAttributePath().toString('.') < b->getAttributePath().toString('.');
    };
    for (const auto& [host, exchange] : tree.second)
    {
        auto [it, inserted] = hostOf.try_emplace(exchange, host);
        if (!inserted && better(host, it->second))
            it->second = host;
    }

    CandidateMap& candidates = cache[linked];
    for (const Model::Attribute* attribute : extractor.attributes())
    {
        const auto host = hostOf.find(attribute);
        if (host == hostOf.end())
            continue;
        // Relative to the linked entity (the root's own name left out): that is how a choice is
        // looked up on the linked entity's node when the solver's functors are built.
        const Model::AttributePath full = attribute->getAttributePath(true);
        candidates.try_emplace(full.subPath(1), host->second->getAttributePath());
    }
    return candidates;
}

void AIModelCalculator::getChangedEntities(ChangeSet& changes)
{
    for (Entity* entity : m_created)
        changes.addCreated(entity);
    for (Entity* entity : m_changed)
        changes.addModified(entity);
    for (Entity* entity : m_deleted)
        changes.addDeleted(entity);
}
} // namespace Conflux
