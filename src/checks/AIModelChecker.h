#pragma once
#include "host/ai/modules/Module.h"
#include "host/ai/modules/ModuleType.h"
#include "host/entitymodel/Checker.h"
#include "host/entitymodel/TypeRef.h"

#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace EntityModel
{
class CompositeAttribute;
class Entity;
} // namespace EntityModel

namespace Conflux
{
/// The checker of the AI models that their owners use: an unsupported model type, model data that
/// is missing or that the AI library cannot load, inputs and outputs bound to no project value,
/// a model whose outputs per case differ from its outputs (or that cannot take its inputs),
/// scaling that would divide by zero (a standard deviation or a model unit factor of 0), and
/// initial input values outside the bounds of the training data. Errors are grouped under the
/// model's owner, labelled "AI Modelling Errors"; the project is never edited.
///
/// Within one checkEntities call each (model type, data) pair is loaded once: models sharing data
/// share the outcome, failures included.
class AIModelChecker : public EntityModel::Checker
{
public:
    void checkFlowNetworkOnlyEntities(std::set<EntityModel::Entity*>& entities,
                                      std::vector<EntityModel::EntityError>& errors) override;
    /// Checks the AI models in use among the set and below its other entities, each once.
    void checkEntities(std::set<EntityModel::Entity*>& entities,
                       std::vector<EntityModel::EntityError>& errors) override;
    void setRootEntity(EntityModel::Entity* root) override;
    /// "AI Modelling Errors".
    std::string getLabel() const override;

private:
    using Errors = std::vector<EntityModel::EntityError>;

    static bool isEntityToCheck(EntityModel::Entity* entity);
    void checkAIModel(EntityModel::Entity* entity, Errors& errors);
    void checkAIModel(EntityModel::Entity* entity, Errors& errors, AISystem::ModuleType type);
    void checkAIModelData(EntityModel::Entity* entity, const std::string& data, AISystem::ModuleType type,
                          Errors& errors);
    void validateAIModelInputs(EntityModel::Entity* entity, Errors& errors);
    void validateAIModelInput(int index, EntityModel::CompositeAttribute* input, Errors& errors);
    void validateAIModelOutputs(EntityModel::Entity* entity, Errors& errors);
    void validateAIModelOutput(int index, EntityModel::CompositeAttribute* output, Errors& errors);
    void validateAIModelScaling(int index, EntityModel::CompositeAttribute* value, bool isInput,
                                Errors& errors);
    static void appendError(Errors& errors, EntityModel::Entity* entity, const std::string& message,
                            const std::string& detail);

    EntityModel::Entity* m_root = nullptr;
    /// Outcome of each load: the module, or the failure.
    struct LoadResult
    {
        std::optional<AISystem::Module> module;
        std::exception_ptr failure;
    };
    std::map<AISystem::ModuleType, std::map<std::string, LoadResult>> m_loadResults;
};
} // namespace Conflux
