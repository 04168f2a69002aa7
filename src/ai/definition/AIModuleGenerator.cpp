#include "src/ai/definition/AIModuleGenerator.h"

#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorShape.h"
#include "host/ai/modules/TranformedModule.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

using namespace EntityModel;

namespace Conflux
{
namespace
{
AISystem::TensorShape vectorShape(std::size_t size)
{
    return AISystem::TensorShape{static_cast<std::int64_t>(size)};
}

/// What the library knows of each model type an AI model can have.
struct ModelFormat
{
    TypeRef modelType;
    AISystem::ModuleType moduleType;
    TypeRef dataField;
    const char* emptyMessage;
};

const std::array<ModelFormat, 4>& modelFormats()
{
    static const std::array<ModelFormat, 4> formats{{
        {ONNX_t, AISystem::ModuleType::ONNX, ONNX_Model_Data_t, "Empty ONNX Model"},
        {TorchScript_t, AISystem::ModuleType::TorchScript, TorchScript_Model_Data_t,
         "Empty TorchScript Model"},
        {NeuralNetwork_t, AISystem::ModuleType::NeuralNetwork, NeuralNetwork_Model_Data_t,
         "Empty NeuralNetwork Model"},
        {Python_t, AISystem::ModuleType::Python, Python_Model_Script_t, "Empty Python Model"},
    }};
    return formats;
}

const ModelFormat* findFormat(AISystem::ModuleType type)
{
    for (const ModelFormat& format : modelFormats())
        if (format.moduleType == type)
            return &format;
    return nullptr;
}
} // namespace

AISystem::ModuleType AIModuleGenerator::moduleType(const TypeRef& modelType)
{
    for (const ModelFormat& format : modelFormats())
        if (format.modelType == modelType)
            return format.moduleType;
    return AISystem::ModuleType::None;
}

TypeRef AIModuleGenerator::modelDataField(AISystem::ModuleType type)
{
    const ModelFormat* format = findFormat(type);
    return format == nullptr ? TypeRef() : format->dataField;
}

const char* AIModuleGenerator::emptyModelMessage(AISystem::ModuleType type)
{
    const ModelFormat* format = findFormat(type);
    return format == nullptr ? nullptr : format->emptyMessage;
}

AISystem::Module AIModuleGenerator::generate(Entity* entity)
{
    AISystem::Module module = generateModule(getModuleType(entity), entity);
    checkOutputWidth(entity, module);
    return module;
}

void AIModuleGenerator::checkOutputWidth(Entity* entity, const AISystem::Module& module)
{
    CountedCompositeAttribute* inputs = findValueList(entity, true);
    CountedCompositeAttribute* outputs = findValueList(entity, false);
    if (inputs == nullptr || outputs == nullptr)
        return;
    const auto inputCount = static_cast<std::int64_t>(inputs->childCount());
    const auto outputCount = static_cast<std::int64_t>(outputs->childCount());
    // An AI model without inputs or outputs yet has nothing to compare with.
    if (inputCount == 0 || outputCount == 0)
        return;
    std::optional<std::int64_t> width;
    try
    {
        width = module.getOutputWidth(inputCount);
    }
    catch (const std::runtime_error& error)
    {
        throw std::runtime_error("The model does not take the AI model's " + std::to_string(inputCount) +
                                 (inputCount == 1 ? " input: " : " inputs: ") + error.what());
    }
    const auto count = [](std::int64_t n, const char* noun)
    { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); };
    if (width && *width != outputCount)
        throw std::runtime_error("The model gives " + count(*width, "output") + " per case for the AI model's " +
                                 count(inputCount, "input") + ", but the AI model has " +
                                 count(outputCount, "output"));
}

AISystem::Module AIModuleGenerator::generateTranformed(Entity* entity)
{
    std::optional<AISystem::TensorScalingTransform> in = generateSimpleTransform(entity, true);
    std::optional<AISystem::TensorScalingTransform> out = generateSimpleTransform(entity, false);
    AISystem::Module module = generate(entity);

    if (in && in->isIdentity())
        in.reset();
    if (out && out->isIdentity())
        out.reset();
    if (!in && !out)
        return module;
    return AISystem::Module(AISystem::TranformedModule(module, in, out));
}

AISystem::AISolverInfo AIModuleGenerator::generateAISolverInfo(Entity* entity)
{
    AISystem::AISolverInfo info;
    info.moduleType = getModuleType(entity);
    info.modelData = generateData(info.moduleType, entity);
    info.inputTransform = generateSimpleTransform(entity, true);
    info.inputBounds = generateTensorBounds(entity, true);
    info.outputTransform = generateSimpleTransform(entity, false);
    info.outputBounds = generateTensorBounds(entity, false);
    return info;
}

CountedCompositeAttribute* AIModuleGenerator::findValueList(Entity* entity, bool isInput)
{
    if (entity == nullptr)
        return nullptr;
    const AttributePath list = isInput ? Inputs_t / Input_Values_t : Outputs_t / Output_Values_t;
    Attribute* found = entity->findAttribute(list);
    if (found == nullptr)
        found = entity->findAttribute(Specification_t / list);
    if (found == nullptr || !found->isCountedCompositeAttribute())
        return nullptr;
    return static_cast<CountedCompositeAttribute*>(found);
}

AISystem::ModuleType AIModuleGenerator::getModuleType(Entity* entity)
{
    if (entity == nullptr || entity->getTypeRef() != AI_Model_t)
        return AISystem::ModuleType::None;
    return moduleType(getTypeValue(entity, Model_Type_t, TypeRef()));
}

AISystem::Module AIModuleGenerator::generateModule(AISystem::ModuleType type, Entity* entity)
{
    return AISystem::Module::fromByteArray(type, generateData(type, entity));
}

Utilities::bytearray AIModuleGenerator::generateData(AISystem::ModuleType type, Entity* entity)
{
    const ModelFormat* format = findFormat(type);
    if (format == nullptr)
        return {};
    Utilities::bytearray data = getByteArrayValue(entity, format->dataField, {});
    // Callers expect empty data as a plain C string.
    if (data.empty())
        throw format->emptyMessage;
    return data;
}

std::optional<AISystem::TensorScalingTransform> AIModuleGenerator::generateSimpleTransform(Entity* entity,
                                                                                           bool isInput)
{
    CountedCompositeAttribute* values = findValueList(entity, isInput);
    if (values == nullptr)
        return std::nullopt;
    return generateSimpleTransform(values, isInput);
}

std::optional<AISystem::TensorScalingTransform>
AIModuleGenerator::generateSimpleTransform(CountedCompositeAttribute* values, bool isInput)
{
    const std::size_t count = values->childCount();
    AISystem::Tensor factors =
        AISystem::Tensor::createTensor(vectorShape(count), AISystem::TensorElement(1.0));
    AISystem::Tensor offsets =
        AISystem::Tensor::createTensor(vectorShape(count), AISystem::TensorElement(0.0));
    for (std::size_t i = 0; i < count; ++i)
    {
        Attribute* child = values->getChild(i);
        if (!child->isCompositeAttribute())
            continue;
        const Utilities::LinearTransform<double> transform =
            generateTransform(static_cast<CompositeAttribute*>(child), isInput);
        factors.setElementValue(static_cast<std::int64_t>(i), transform.a);
        offsets.setElementValue(static_cast<std::int64_t>(i), transform.b);
    }
    AISystem::TensorScalingTransform transform(factors, offsets);
    if (transform.isIdentity())
        return std::nullopt;
    return transform;
}

Utilities::LinearTransform<double> AIModuleGenerator::generateTransform(CompositeAttribute* value,
                                                                        bool isInput)
{
    const Utilities::LinearTransform<double> unit = generateUnitTransform(value, isInput);
    const AttributePath group =
        isInput ? AttributePath(To_Model_Transformation_t) : AttributePath(From_Model_Transformation_t);
    const TypeRef type = getTypeValue(value, group / Type_t, TypeRef());

    if (type == Simple_Scaling_t)
    {
        const AttributePath simple = group / Simple_Scaling_Transformation_t;
        const double s = getDoubleValue(value, simple / Scaling_t, "", 0.0);
        const double o = getDoubleValue(value, simple / Offset_t, "", 0.0);
        // Inputs are converted to the model's unit, then scaled; outputs are scaled back first.
        if (isInput)
            return {unit.a * s, unit.b * s + o};
        return {s * unit.a, unit.a * o + unit.b};
    }
    if (type == Mean_Std_Dev_t)
    {
        const AttributePath meanStdDev = group / Mean_Std_Dev_Transformation_t;
        const double m = getDoubleValue(value, meanStdDev / Mean_t, "", 0.0);
        const double d = getDoubleValue(value, meanStdDev / Std_Dev_t, "", 0.0);
        if (isInput)
        {
            const double k = 1.0 / d;
            const double c = -m / d;
            return {unit.a * k, unit.b * k + c};
        }
        return {d * unit.a, unit.a * m + unit.b};
    }
    return unit;
}

Utilities::LinearTransform<double> AIModuleGenerator::generateUnitTransform(CompositeAttribute* value,
                                                                            bool isInput)
{
    Attribute* unitAttribute = value->findAttribute("Model Unit");
    if (unitAttribute == nullptr || !unitAttribute->isUnitTypeAttribute())
        return {1.0, 0.0};
    // The unit attribute converts its unit to standard; the model sees standard values
    // converted to its unit, and its outputs are converted back to standard.
    const Utilities::LinearTransform<double> toStandard =
        static_cast<UnitTypeAttribute*>(unitAttribute)->getTransform();
    if (isInput)
        return toStandard.inverse();
    return toStandard;
}

AISystem::TensorBounds AIModuleGenerator::generateTensorBounds(Entity* entity, bool isInput)
{
    CountedCompositeAttribute* values = findValueList(entity, isInput);
    if (values == nullptr)
        return AISystem::TensorBounds(AISystem::Tensor());
    return generateTensorBounds(values, isInput);
}

AISystem::TensorBounds AIModuleGenerator::generateTensorBounds(CountedCompositeAttribute* values,
                                                               bool isInput)
{
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const std::size_t count = values->childCount();
    AISystem::Tensor minima =
        AISystem::Tensor::createTensor(vectorShape(count), AISystem::TensorElement(-infinity));
    AISystem::Tensor maxima =
        AISystem::Tensor::createTensor(vectorShape(count), AISystem::TensorElement(infinity));
    for (std::size_t i = 0; i < count; ++i)
    {
        Attribute* child = values->getChild(i);
        if (!child->isCompositeAttribute())
            continue;
        const auto [min, max] = generateBounds(static_cast<CompositeAttribute*>(child), isInput);
        minima.setElementValue(static_cast<std::int64_t>(i), static_cast<float>(min));
        maxima.setElementValue(static_cast<std::int64_t>(i), static_cast<float>(max));
    }
    return AISystem::TensorBounds(minima, maxima);
}

std::pair<double, double> AIModuleGenerator::generateBounds(CompositeAttribute* value, bool /*isInput*/)
{
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const double min = getBoolValue(value, "Bounds.Has Min", false)
                           ? getStandardDoubleValue(value, "Bounds.Min", 0.0)
                           : -infinity;
    const double max = getBoolValue(value, "Bounds.Has Max", false)
                           ? getStandardDoubleValue(value, "Bounds.Max", 0.0)
                           : infinity;
    return {min, max};
}
} // namespace Conflux
