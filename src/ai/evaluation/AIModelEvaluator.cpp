#include "src/ai/evaluation/AIModelEvaluator.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/TypeRef.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/evaluation/FutureWait.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string>

using namespace EntityModel;

namespace Conflux
{
namespace
{
CompositeAttribute* findComposite(Entity* options, TypeRef name)
{
    Attribute* found = options->findAttribute(name);
    return found != nullptr && found->isCompositeAttribute() ? static_cast<CompositeAttribute*>(found)
                                                             : nullptr;
}

/// Kinds whose value reads as a number in standard units.
bool isNumeric(const Attribute& attribute)
{
    return attribute.isDoubleAttribute() || attribute.isCurveAttribute() || attribute.isIntegerAttribute() ||
           attribute.isBoolAttribute();
}

void setStandardValue(Attribute* attribute, double value)
{
    if (attribute != nullptr && attribute->isDoubleAttribute())
        static_cast<DoubleAttribute*>(attribute)->setStandardVal(value);
}
} // namespace

AIModelEvaluator::AIModelEvaluator(QObject* parent)
    : AIModelEvaluatorCore(parent), m_options(EntityEditor::createDetachedEntity(AI_Model_Evaluator_t))
{
}

AIModelEvaluator::AIModelEvaluator(Entity* aiModel, QObject* parent) : AIModelEvaluator(parent)
{
    initialize(aiModel);
}

AIModelEvaluator::~AIModelEvaluator() = default;

void AIModelEvaluator::initialize(Entity* aiModel)
{
    try
    {
        // Without a model the link is emptied, so the options never show a model whose module is gone.
        if (aiModel != nullptr)
            EntityEditor::addEntity(m_options.get(), AIModelLink_t, aiModel);
        else
            EntityEditor::removeAllEntities(m_options.get(), AIModelLink_t);
        m_options->invalidateDerived(true);

        std::unique_ptr<AISystem::Module> module;
        if (aiModel != nullptr)
            module = std::make_unique<AISystem::Module>(AIModuleGenerator::generateTranformed(aiModel));
        m_module = std::move(module);

        createAttributes();
        // The first evaluation writes the outputs when it ends; nobody waits for it.
        evaluateAsync();
        emit initialized();
    }
    catch (...)
    {
        // The evaluator keeps what was reached; the host's dialog shows the model as it is.
    }
}

void AIModelEvaluator::createAttributes()
{
    Entity* aiModel = getAIModel();
    if (aiModel == nullptr)
        return;
    createAttributes(AIModuleGenerator::findValueList(aiModel, true),
                     findComposite(m_options.get(), Inputs_t), false);
    createAttributes(AIModuleGenerator::findValueList(aiModel, false),
                     findComposite(m_options.get(), Outputs_t), true);
}

void AIModelEvaluator::createAttributes(CountedCompositeAttribute* source, CompositeAttribute* target,
                                        bool readOnly)
{
    if (target == nullptr)
        return;
    while (target->childCount() > 0)
        target->removeAttribute(target->getChild(0));
    if (source == nullptr)
        return;
    for (std::size_t i = 0; i < source->childCount(); ++i)
    {
        Attribute* child = source->getChild(i);
        if (child == nullptr || !child->isCompositeAttribute())
            continue;
        auto* entry = static_cast<CompositeAttribute*>(child);
        std::unique_ptr<Attribute> attribute = createAttribute(entry);
        // An entry bound to nothing still takes its column, so later values are not shifted onto the
        // wrong model inputs: it gets a read-only placeholder of value 0.
        if (!attribute)
        {
            const std::string label =
                entry->getTypeRef().getLabel() + "\n" + getStringValue(entry, Attribute_t);
            attribute = std::make_unique<DoubleAttribute>(TypeRef(label));
            attribute->invalidate(true);
            attribute->setReadOnly(true);
        }
        if (Attribute* added = target->addAttribute(std::move(attribute)); added != nullptr && readOnly)
            added->setReadOnly(true);
    }
}

std::unique_ptr<Attribute> AIModelEvaluator::createAttribute(CompositeAttribute* entry)
{
    Entity* linked = getLinkedEntity(entry, Entity_t);
    if (linked == nullptr)
        return nullptr;
    const std::string path = getStringValue(entry, Selected_Attribute_t / Path_t);
    Attribute* source = path.empty() ? nullptr : linked->findAttribute(AttributePath(path));
    if (source == nullptr)
        return nullptr;
    if (Attribute* target = getShortcutTarget(source))
        source = target;

    std::optional<double> value;
    if (source->isValid() && isNumeric(*source))
        value = getStandardDoubleValue(source->getOwnerEntity(), source->getAttributePath());
    std::optional<double> min;
    if (getBoolValue(entry, Bounds_t / Has_Min_t))
    {
        min = getStandardDoubleValue(entry, Bounds_t / Min_t);
        if (value)
            value = std::max(*value, *min);
    }
    if (getBoolValue(entry, Bounds_t / Has_Max_t))
    {
        const double max = getStandardDoubleValue(entry, Bounds_t / Max_t);
        if (value)
            value = std::min(*value, max);
        else
            value = min ? (*min + max) * 0.5 : max;
    }
    if (!value && min)
        value = *min;

    const std::string label = linked->getDisplayName() + "\n" + getStringValue(entry, Attribute_t);
    auto attribute = std::make_unique<DoubleAttribute>(TypeRef(label));
    if (source->isDoubleAttribute())
    {
        if (const UnitTypeAttribute* unit = static_cast<DoubleAttribute*>(source)->getUnitAttribute())
            attribute->setUnit(unit->getQuantity(), unit->getValue());
        attribute->setReadOnly(false);
        attribute->resetType(label);
        attribute->setMinimum(std::nullopt);
        attribute->setMaximum(std::nullopt);
    }
    else if (source->isCurveAttribute())
    {
        if (const UnitTypeAttribute* unit = static_cast<CurveAttribute*>(source)->getYUnit())
            attribute->setUnit(unit->getQuantity(), unit->getValue());
    }
    else
    {
        attribute->invalidate(true);
        attribute->setReadOnly(true);
    }
    attribute->setStandardVal(value.value_or(0.0));
    return attribute;
}

AISystem::Tensor AIModelEvaluator::getTensor(TypeRef list) const
{
    const CompositeAttribute* composite = findComposite(m_options.get(), list);
    if (composite == nullptr)
        return {};
    const auto count = static_cast<std::int64_t>(composite->childCount());
    AISystem::Tensor tensor = AISystem::Tensor::createTensor({1, count}, AISystem::TensorElement(0.0));
    for (std::int64_t i = 0; i < count; ++i)
        if (const Attribute* child = composite->getChild(static_cast<std::size_t>(i)))
            tensor.setElementValue(i, child->standardVal());
    return tensor;
}

AISystem::Tensor AIModelEvaluator::getInputTensor() const
{
    return getTensor(Inputs_t);
}

AISystem::Tensor AIModelEvaluator::getOutputTensor() const
{
    return getTensor(Outputs_t);
}

void AIModelEvaluator::setInputTensor(const AISystem::Tensor& inputs)
{
    if (CompositeAttribute* composite = findComposite(m_options.get(), Inputs_t))
        for (std::size_t i = 0; i < composite->childCount(); ++i)
            setStandardValue(composite->getChild(i),
                             AISystem::toDouble(inputs.getElementValue(static_cast<std::int64_t>(i))));
    evaluate();
}

Futures::FutureEx<void> AIModelEvaluator::evaluateAsync()
{
    if (!m_module)
        return Futures::makeFailedFuture<void>(
            std::make_exception_ptr(std::runtime_error(tr("No Trainer").toStdString())));
    const AISystem::Tensor inputs = getInputTensor();
    Futures::FutureEx<AISystem::Tensor> evaluated = AIModelEvaluatorCore::evaluateAsync(inputs);
    if (m_module->canCalcImbalanceResults())
        return evaluated.then(
            this,
            [this, inputs](AISystem::Tensor outputs)
            {
                return calcImbalanceAsync(inputs, outputs)
                    .then(this, [this, outputs](std::optional<AISystem::ImbalanceResult> imbalance)
                          { setOutputTensor(outputs, imbalance); });
            });
    return evaluated.then(this, [this](AISystem::Tensor outputs) { setOutputTensor(outputs, std::nullopt); });
}

void AIModelEvaluator::evaluate()
{
    waitFor<AIModelEvaluator>(evaluateAsync());
}

void AIModelEvaluator::setOutputTensor(const AISystem::Tensor& outputs,
                                       const std::optional<AISystem::ImbalanceResult>& imbalance)
{
    CompositeAttribute* composite = findComposite(m_options.get(), Outputs_t);
    if (composite == nullptr)
        return;
    EntityEditor::setValue(m_options.get(), "Imbalance.Energy", imbalance ? imbalance->energy : 0.0);
    EntityEditor::setValue(m_options.get(), "Imbalance.Mass", imbalance ? imbalance->mass : 0.0);
    for (std::size_t i = 0; i < composite->childCount(); ++i)
        setStandardValue(composite->getChild(i),
                         AISystem::toDouble(outputs.getElementValue(static_cast<std::int64_t>(i))));
    emit outputUpdated(imbalance.has_value());
}

Entity* AIModelEvaluator::getAIModel() const
{
    return getLinkedEntity(m_options.get(), AIModelLink_t);
}

AISystem::ModuleType AIModelEvaluator::getModuleType() const
{
    return m_module ? m_module->getType() : AISystem::ModuleType::None;
}

AISystem::Module* AIModelEvaluator::getModule() const
{
    return m_module.get();
}
} // namespace Conflux
