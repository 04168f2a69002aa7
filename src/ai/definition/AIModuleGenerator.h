#pragma once
#include "host/ai/modules/AISolverInfo.h"
#include "host/ai/modules/Module.h"
#include "host/ai/modules/ModuleType.h"
#include "host/ai/tensor/TensorBounds.h"
#include "host/ai/tensor/TensorScalingTransform.h"
#include "host/entitymodel/TypeRef.h"
#include "host/filesystem/ByteArray.h"
#include "host/filesystem/LinearTransform.h"

#include <optional>
#include <utility>

namespace EntityModel
{
class CompositeAttribute;
class CountedCompositeAttribute;
class Entity;
} // namespace EntityModel

namespace Conflux
{
/// Turns an AI-model entity into what the AI library runs: the plain module, the module wrapped
/// with its input and output scaling, or the solver's record of the model. It only reads the entity.
///
/// Each input and output maps through its "Model Unit" conversion and its scaling group (none,
/// simple scaling, mean and standard deviation); missing lists, units, groups and bounds fall back
/// to the identity, to no transform, or to unbounded values. Empty model data is thrown as a
/// plain C string ("Empty ONNX Model", ...). An entity that is not an AI model, or has none of the
/// four model types, gives module type None with empty data.
///
/// A standard deviation or a unit factor of 0 is passed on as it is (giving infinite factors);
/// the AI model checker reports such models to the user before a solve.
class AIModuleGenerator
{
public:
    AIModuleGenerator() = delete;

    /// The plain module, without scaling. Throws std::runtime_error when its outputs per case do
    /// not match the entity's outputs (see checkOutputWidth).
    static AISystem::Module generate(EntityModel::Entity* entity);
    /// Throws std::runtime_error naming both numbers when a module that can tell its outputs per
    /// case gives, for the entity's number of inputs, other than the entity's number of outputs, or
    /// cannot take that many inputs.
    static void checkOutputWidth(EntityModel::Entity* entity, const AISystem::Module& module);
    /// The module wrapped with its input and output scaling; the plain module when both are the identity.
    static AISystem::Module generateTranformed(EntityModel::Entity* entity);
    /// Type, data, transforms and bounds, as the solver receives them.
    static AISystem::AISolverInfo generateAISolverInfo(EntityModel::Entity* entity);

    /// The counted list of an AI model's inputs (or outputs): "Inputs.Input Values" (or
    /// "Outputs.Output Values") on the entity, or inside its "Specification" group where the
    /// project keeps it; null when the entity has neither.
    static EntityModel::CountedCompositeAttribute* findValueList(EntityModel::Entity* entity, bool isInput);

    /// The module type of an AI model's "Model Type" value; None for anything but the four model
    /// types. The one mapping from model types to module types (the AI model checker uses it too).
    static AISystem::ModuleType moduleType(const EntityModel::TypeRef& modelType);
    /// The attribute holding the model data of a module type; empty for a type without data.
    static EntityModel::TypeRef modelDataField(AISystem::ModuleType type);
    /// The text thrown for empty model data of a module type ("Empty ONNX Model", ...); null for a
    /// type without data.
    static const char* emptyModelMessage(AISystem::ModuleType type);

    /// The map of one input (standard value to what the module takes) or output (what the module
    /// gives to a standard value): its "Model Unit" conversion and scaling group together.
    static Utilities::LinearTransform<double> generateTransform(EntityModel::CompositeAttribute* value,
                                                                bool isInput);

private:
    AIModuleGenerator& operator=(const AIModuleGenerator&) = default;
    AIModuleGenerator& operator=(AIModuleGenerator&&) = default;

    static AISystem::ModuleType getModuleType(EntityModel::Entity* entity);
    static AISystem::Module generateModule(AISystem::ModuleType type, EntityModel::Entity* entity);
    static Utilities::bytearray generateData(AISystem::ModuleType type, EntityModel::Entity* entity);

    static std::optional<AISystem::TensorScalingTransform>
    generateSimpleTransform(EntityModel::Entity* entity, bool isInput);
    static std::optional<AISystem::TensorScalingTransform>
    generateSimpleTransform(EntityModel::CountedCompositeAttribute* values, bool isInput);
    static Utilities::LinearTransform<double> generateUnitTransform(EntityModel::CompositeAttribute* value,
                                                                    bool isInput);
    static AISystem::TensorBounds generateTensorBounds(EntityModel::Entity* entity, bool isInput);
    static AISystem::TensorBounds generateTensorBounds(EntityModel::CountedCompositeAttribute* values,
                                                       bool isInput);
    static std::pair<double, double> generateBounds(EntityModel::CompositeAttribute* value, bool isInput);
};
} // namespace Conflux
