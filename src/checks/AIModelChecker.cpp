#include "src/checks/AIModelChecker.h"

#include "host/ai/modules/Module.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/filesystem/ByteArray.h"
#include "host/solver/LinkerValidator.h"
#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/ai/definition/AIModuleGenerator.h"

#include <QString>

#include <stdexcept>

using namespace EntityModel;
using AISystem::ModuleType;

namespace Conflux
{
namespace
{
const char* const unsupported = "Unsupported AI Model";
const char* const incorrectlyConfigured = "Incorrectly configured AI Model";
const char* const outOfBounds =
    "AI Model Initial Input is out of bounds of the training data. This could lead to unreliable results. "
    "Either "
    "extend the training data range to cover the input, or adjust the input to fall within the bounds of the "
    "training data.";
const char* const outOfBoundsDetail =
    "AI Model Initial Input %1 is out of bounds of the training data. This could lead to unreliable results. "
    "Either "
    "extend the training data range to cover the input, or adjust the input to fall within the bounds of the "
    "training data.";

/// The project value an input or output is bound to: its "Value" shortcut's target or, where that
/// shortcut has not been derived, the attribute its entity link and attribute path name (as
/// generation binds it).
Attribute* boundTarget(CompositeAttribute* value)
{
    if (Attribute* target = getShortcutTarget(value, Value_t))
        return target;
    Entity* linked = getLinkedEntity(value, Entity_t);
    const std::string path = getStringValue(value, Attribute_t, "");
    if (linked == nullptr || path.empty())
        return nullptr;
    return getShortcutTarget(linked, AttributePath(path));
}

std::string valueName(int index, bool isInput)
{
    return std::string(isInput ? "AI Model Input " : "AI Model Output ") + std::to_string(index);
}
} // namespace

void AIModelChecker::checkFlowNetworkOnlyEntities(std::set<Entity*>&, std::vector<EntityError>&) {}

void AIModelChecker::checkEntities(std::set<Entity*>& entities, std::vector<EntityError>& errors)
{
    m_loadResults.clear();
    std::vector<Entity*> models;
    for (Entity* entity : entities)
    {
        if (entity == nullptr)
            continue;
        if (isEntityToCheck(entity))
            models.push_back(entity);
        else
            entity->getOwnedChildEntities(models, true, true, &AIModelChecker::isEntityToCheck, true);
    }
    std::set<Entity*> checked;
    for (Entity* model : models)
        if (checked.insert(model).second)
            checkAIModel(model, errors);
    m_loadResults.clear();
}

void AIModelChecker::setRootEntity(Entity* root)
{
    m_root = root;
}

std::string AIModelChecker::getLabel() const
{
    return "AI Modelling Errors";
}

bool AIModelChecker::isEntityToCheck(Entity* entity)
{
    // A model its owner does not use never runs, so it is not checked.
    return AIFunctorBuilder::isAIModelInUse(entity);
}

void AIModelChecker::checkAIModel(Entity* entity, Errors& errors)
{
    const std::string label = entity->getType().getLabel();
    try
    {
        const ModuleType type = AIModuleGenerator::moduleType(getTypeValue(entity, Model_Type_t, TypeRef()));
        if (type == ModuleType::None)
            appendError(errors, entity, unsupported, "");
        if (type == ModuleType::Python)
            LinkerValidator(InstallationSettings::current().confluxAccessRights())
                .validate(LinkerType::PythonModule, false);
        checkAIModel(entity, errors, type);
    }
    catch (const std::exception& error)
    {
        appendError(errors, entity, label + " - " + error.what(), "");
    }
    catch (...)
    {
        appendError(errors, entity, label + " - Unknonw Error", "");
    }
}

void AIModelChecker::checkAIModel(Entity* entity, Errors& errors, ModuleType type)
{
    const TypeRef field = AIModuleGenerator::modelDataField(type);
    if (field.empty())
        appendError(errors, entity, unsupported, "Unsupported AI Model Format");
    else
        checkAIModelData(entity, getStringValue(entity, field, ""), type, errors);
    validateAIModelOutputs(entity, errors);
    validateAIModelInputs(entity, errors);
}

void AIModelChecker::checkAIModelData(Entity* entity, const std::string& data, ModuleType type,
                                      Errors& errors)
{
    std::map<std::string, LoadResult>& results = m_loadResults[type];
    auto found = results.find(data);
    if (found == results.end())
    {
        // The outcome is stored only once it is known, so a load that fails in any way is
        // remembered as failed.
        LoadResult result;
        try
        {
            if (data.empty())
                throw std::runtime_error(AIModuleGenerator::emptyModelMessage(type));
            result.module = AISystem::Module::fromByteArray(type, Utilities::toByteArray(data));
        }
        catch (...)
        {
            result.failure = std::current_exception();
        }
        found = results.emplace(data, std::move(result)).first;
    }
    if (found->second.module)
    {
        // The same data can serve AI models of other input and output counts.
        try
        {
            AIModuleGenerator::checkOutputWidth(entity, *found->second.module);
        }
        catch (const std::exception& error)
        {
            appendError(errors, entity, incorrectlyConfigured, error.what());
        }
        return;
    }
    try
    {
        std::rethrow_exception(found->second.failure);
    }
    catch (const std::exception& error)
    {
        appendError(errors, entity, unsupported, error.what());
    }
}

void AIModelChecker::validateAIModelInputs(Entity* entity, Errors& errors)
{
    CountedCompositeAttribute* inputs = AIModuleGenerator::findValueList(entity, true);
    if (inputs == nullptr)
        return;
    for (std::size_t i = 0; i < inputs->childCount(); ++i)
        if (Attribute* child = inputs->getChild(i); child->isCompositeAttribute())
            validateAIModelInput(static_cast<int>(i), static_cast<CompositeAttribute*>(child), errors);
}

void AIModelChecker::validateAIModelInput(int index, CompositeAttribute* input, Errors& errors)
{
    Entity* model = input->getOwnerEntity();
    Attribute* target = boundTarget(input);
    if (target == nullptr)
        appendError(errors, model, incorrectlyConfigured, "Unconfigured AI Model Inputs");
    validateAIModelScaling(index, input, true, errors);
    // A simulation result has no initial value to compare with the training data.
    if (target == nullptr || target->getAttributePath().startsWith(Simulation_Results_t))
        return;

    const bool hasMin = getBoolValue(input, Bounds_t / Has_Min_t, false);
    const double min = hasMin ? getStandardDoubleValue(input, Bounds_t / Min_t, 0.0) : 0.0;
    const bool hasMax = getBoolValue(input, Bounds_t / Has_Max_t, false);
    const double max = hasMax ? getStandardDoubleValue(input, Bounds_t / Max_t, 0.0) : 0.0;
    if (!hasMin && !hasMax)
        return;

    Entity* owner = target->isEntity() ? static_cast<Entity*>(target) : target->getOwnerEntity();
    const double value = getStandardDoubleValue(owner, target->getAttributePath(), 0.0);
    if ((hasMin && value < min) || (hasMax && value > max))
        appendError(errors, model, outOfBounds, QString(outOfBoundsDetail).arg(index).toStdString());
}

void AIModelChecker::validateAIModelOutputs(Entity* entity, Errors& errors)
{
    CountedCompositeAttribute* outputs = AIModuleGenerator::findValueList(entity, false);
    if (outputs == nullptr)
        return;
    for (std::size_t i = 0; i < outputs->childCount(); ++i)
        if (Attribute* child = outputs->getChild(i); child->isCompositeAttribute())
            validateAIModelOutput(static_cast<int>(i), static_cast<CompositeAttribute*>(child), errors);
}

void AIModelChecker::validateAIModelOutput(int index, CompositeAttribute* output, Errors& errors)
{
    if (boundTarget(output) == nullptr)
        appendError(errors, output->getOwnerEntity(), incorrectlyConfigured, "Unconfigured AI Model Outputs");
    validateAIModelScaling(index, output, false, errors);
}

void AIModelChecker::validateAIModelScaling(int index, CompositeAttribute* value, bool isInput,
                                            Errors& errors)
{
    // Both would make the module divide by zero at solve time.
    Entity* model = value->getOwnerEntity();
    const AttributePath group = isInput ? To_Model_Transformation_t : From_Model_Transformation_t;
    if (getTypeValue(value, group / Type_t, TypeRef()) == Mean_Std_Dev_t &&
        getDoubleValue(value, group / Mean_Std_Dev_Transformation_t / Std_Dev_t, "", 0.0) == 0.0)
        appendError(errors, model, incorrectlyConfigured,
                    valueName(index, isInput) + " has a standard deviation of 0 in its mean and standard "
                                                "deviation scaling");
    Attribute* unit = value->findAttribute("Model Unit");
    if (unit != nullptr && unit->isUnitTypeAttribute() &&
        static_cast<UnitTypeAttribute*>(unit)->getTransform().a == 0.0)
        appendError(errors, model, incorrectlyConfigured,
                    valueName(index, isInput) + " has a Model Unit whose factor is 0");
}

void AIModelChecker::appendError(Errors& errors, Entity* entity, const std::string& message,
                                 const std::string& detail)
{
    // A model held by a hidden link is not in use, so nothing is reported for it.
    const LinkAttribute* link = entity->getOwnerLink();
    if (link == nullptr || link->isHidden())
        return;
    EntityError child(entity, detail.empty() ? message : detail, "");
    Entity* owner = entity->getOwnerEntity();
    EntityError group(owner != nullptr ? owner : entity, message, TypeRef(Group_t).getLabel());
    group.addChildError(std::move(child));
    errors.push_back(std::move(group));
}
} // namespace Conflux
