#pragma once
#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/TypeRef.h"
#include "src/model/ai/AIFunctor.h"
#include "src/model/ai/AIModuleDefinitionCollection.h"

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace EntityModel
{
class Attribute;
}

namespace Conflux
{
/// Finds the AI models of a project that their owners have switched on and turns each into an
/// AIFunctor: its name, the exchange entity of its owner, the exchange attributes feeding its
/// inputs and receiving its outputs (in list order), and its module definition. Definitions are
/// the models' solver records serialised (version 1, big-endian) and are shared through the
/// collection, so models that serialise alike share one.
///
/// The attribute map must come from the exchange model of the same project; the functors point
/// into that model, which must outlive them. An input or output that cannot be resolved throws
/// std::runtime_error ("Linked Entity Missing...", "Entity is unavailable...", "Attribute is
/// unavailable '...' on ..."), and errors of AIModuleGenerator pass through; no partial list is returned.
class AIFunctorBuilder : public EntityModel::AttributeVisitor
{
public:
    using AttributeMap = std::map<EntityModel::Attribute*, Model::Attribute*>;
    using OwnerPredicate = std::function<bool(EntityModel::Entity*)>;

    /// The functors in walk order and the collection of their definitions; a null root gives none.
    static std::pair<std::vector<AIFunctor>, AIModuleDefinitionCollection>
    create(EntityModel::Entity* root, const AttributeMap& attributeMap);
    /// The owner types that can hold an AI model, each with the test whether the owner uses it:
    /// IT equipment and CDUs by "Cooling.Modelling Level", controllers by "Controls.Mode".
    static std::map<EntityModel::TypeRef, OwnerPredicate> aiModelEntityTypes();
    /// True for an AI model entity whose owner is of one of those types and uses it; false for null,
    /// for other entities and for AI models of other owners.
    static bool isAIModelInUse(const EntityModel::Entity* aiModel);

private:
    AIFunctorBuilder(const AttributeMap& attributeMap, std::vector<AIFunctor>& functors,
                     AIModuleDefinitionCollection& definitions);

    using EntityModel::AttributeVisitor::visit;
    bool recurse(const EntityModel::Attribute*) const override { return true; }
    void visit(EntityModel::Entity* entity) override;

    AIFunctor createFunctorDefinition(EntityModel::Entity* entity);
    AIFunctor createFunctor(EntityModel::Entity* entity) { return createFunctorDefinition(entity); }
    AIModuleDefinition* getDefinition(EntityModel::Entity* entity);
    static std::unique_ptr<AIModuleDefinition> createDefinition(EntityModel::Entity* entity);
    std::vector<AIFunctor::Reference> createFunctorValuesGroup(EntityModel::Entity* entity, bool outputs);
    AIFunctor::Reference createFunctorValue(EntityModel::CompositeAttribute* value, bool outputs);
    Model::Entity* findEntity(EntityModel::Attribute* attribute) const;
    Model::Attribute* findAttribute(EntityModel::Attribute* attribute) const;

    const AttributeMap& m_attributeMap;
    std::vector<AIFunctor>& m_functors;
    AIModuleDefinitionCollection& m_definitions;
};
} // namespace Conflux
