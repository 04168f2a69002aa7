#include "src/ai/definition/AIFunctorBuilder.h"

#include "host/ai/modules/AISolverInfo.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/Endianness.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/model/AttributePath.h"
#include "src/model/Entity.h"

#include <sstream>
#include <stdexcept>
#include <string>

using namespace EntityModel;

namespace Conflux
{
namespace
{
constexpr std::uint32_t definitionStreamVersion = 1;
constexpr auto definitionEndianness = static_cast<Utilities::Endianness>(2);
} // namespace

AIFunctorBuilder::AIFunctorBuilder(const AttributeMap& attributeMap, std::vector<AIFunctor>& functors,
                                   AIModuleDefinitionCollection& definitions)
    : m_attributeMap(attributeMap), m_functors(functors), m_definitions(definitions)
{
}

std::pair<std::vector<AIFunctor>, AIModuleDefinitionCollection>
AIFunctorBuilder::create(Entity* root, const AttributeMap& attributeMap)
{
    std::vector<AIFunctor> functors;
    AIModuleDefinitionCollection definitions;
    if (root != nullptr)
    {
        AIFunctorBuilder builder(attributeMap, functors, definitions);
        root->accept(builder);
    }
    return {std::move(functors), std::move(definitions)};
}

std::map<TypeRef, AIFunctorBuilder::OwnerPredicate> AIFunctorBuilder::aiModelEntityTypes()
{
    const auto coolingByAIModel = [](Entity* owner)
    { return hasAttributeSetTo(owner, Cooling_t / Modelling_Level_t, AI_Model_t); };
    return {
        {IT_Equipment_t, coolingByAIModel},
        {CDU_t, coolingByAIModel},
        {Controller_t,
         [](Entity* owner) { return hasAttributeSetTo(owner, Controls_t / Mode_t, AI_Model_t); }},
    };
}

bool AIFunctorBuilder::isAIModelInUse(const Entity* aiModel)
{
    if (aiModel == nullptr || aiModel->getTypeRef() != AI_Model_t)
        return false;
    Entity* owner = aiModel->getOwnerEntity();
    if (owner == nullptr)
        return false;
    // The predicates hold no state, so one copy serves every call.
    static const auto ownerTypes = aiModelEntityTypes();
    const auto found = ownerTypes.find(owner->getTypeRef());
    return found != ownerTypes.end() && found->second(owner);
}

void AIFunctorBuilder::visit(Entity* entity)
{
    if (isAIModelInUse(entity))
        m_functors.push_back(createFunctorDefinition(entity));
}

AIFunctor AIFunctorBuilder::createFunctorDefinition(Entity* entity)
{
    std::string name = entity->getName();
    AIModuleDefinition* definition = getDefinition(entity);
    std::vector<AIFunctor::Reference> inputs = createFunctorValuesGroup(entity, false);
    std::vector<AIFunctor::Reference> outputs = createFunctorValuesGroup(entity, true);
    Model::Entity* owner = findEntity(entity->getOwnerEntity());
    return AIFunctor(std::move(name), owner, std::move(inputs), std::move(outputs), definition);
}

AIModuleDefinition* AIFunctorBuilder::getDefinition(Entity* entity)
{
    std::unique_ptr<AIModuleDefinition> definition = createDefinition(entity);
    if (!definition)
        return nullptr;
    return m_definitions.insertDefinition(std::move(definition)).first;
}

std::unique_ptr<AIModuleDefinition> AIFunctorBuilder::createDefinition(Entity* entity)
{
    const AISystem::AISolverInfo info = AIModuleGenerator::generateAISolverInfo(entity);
    if (info.moduleType == AISystem::ModuleType::None)
        return nullptr;

    std::ostringstream bytes;
    FileSystem::BinaryDataOStream stream(bytes, definitionStreamVersion, definitionEndianness);
    stream << info;
    if (stream.fail())
        throw std::runtime_error("Cannot serialise the AI model '" + entity->getFullDisplayName() +
                                 "': " + stream.errorMessage());
    return std::make_unique<AIModuleDefinition>(info.moduleType, Utilities::toByteArray(bytes.str()));
}

std::vector<AIFunctor::Reference> AIFunctorBuilder::createFunctorValuesGroup(Entity* entity, bool outputs)
{
    std::vector<AIFunctor::Reference> references;
    CountedCompositeAttribute* values = AIModuleGenerator::findValueList(entity, !outputs);
    if (values == nullptr)
        return references;
    for (std::size_t i = 0; i < values->childCount(); ++i)
        if (Attribute* child = values->getChild(i); child->isCompositeAttribute())
            references.push_back(createFunctorValue(static_cast<CompositeAttribute*>(child), outputs));
    return references;
}

AIFunctor::Reference AIFunctorBuilder::createFunctorValue(CompositeAttribute* value, bool /*outputs*/)
{
    Entity* linked = getLinkedEntity(value, Entity_t);
    if (linked == nullptr)
        throw std::runtime_error("Linked Entity Missing" + value->getEntityAndAttributePath().toString('.'));

    Model::Entity* counterpart = findEntity(linked);
    if (counterpart == nullptr)
        throw std::runtime_error("Entity is unavailable" + linked->getFullDisplayName());

    const std::string name = getStringValue(value, Attribute_t, "");
    const Model::AttributePath path(name);
    // An empty path would name the entity itself, which is no value to read or write.
    Model::Attribute* attribute = path.empty() ? nullptr : counterpart->findAttribute(path, false);
    if (attribute == nullptr)
        throw std::runtime_error("Attribute is unavailable '" + name + "' on " +
                                 linked->getFullDisplayName());
    return AIFunctor::Reference(attribute);
}

Model::Entity* AIFunctorBuilder::findEntity(Attribute* attribute) const
{
    Model::Attribute* counterpart = findAttribute(attribute);
    if (counterpart == nullptr || !counterpart->isEntity())
        return nullptr;
    return dynamic_cast<Model::Entity*>(counterpart);
}

Model::Attribute* AIFunctorBuilder::findAttribute(Attribute* attribute) const
{
    if (attribute == nullptr)
        return nullptr;
    const auto found = m_attributeMap.find(attribute);
    return found == m_attributeMap.end() ? nullptr : found->second;
}
} // namespace Conflux
