#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/modules/Module.h"
#include "host/ai/modules/ModuleType.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/services/FutureEx.h"
#include "src/ai/evaluation/AIModelEvaluatorCore.h"

#include <memory>
#include <optional>

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class CountedCompositeAttribute;
class Entity;
} // namespace EntityModel

namespace Conflux
{
/// Lets the user try an AI model: mirrors its inputs and outputs as plain doubles of a private options
/// entity (type "AI Model Evaluator"; inputs editable, outputs read-only, one per model column in model
/// order), fills the inputs from the project values they are bound to (within their bounds), evaluates
/// the model and writes the outputs and, when the model can compute them, "Imbalance.Energy" and
/// "Imbalance.Mass" back, then emits outputUpdated. Values are in standard units; the module is the model
/// with its unit conversions and scaling, so it sees what the solver's AI linker would give it.
/// All work happens in the evaluator's thread, which needs an event loop.
class AIModelEvaluator : public AIModelEvaluatorCore
{
    Q_OBJECT
public:
    explicit AIModelEvaluator(QObject* parent = nullptr);
    /// The same, then initialize(aiModel).
    AIModelEvaluator(EntityModel::Entity* aiModel, QObject* parent = nullptr);
    ~AIModelEvaluator() override;

    /// Links the AI model (none: unlinks), generates its module, rebuilds the options' inputs and outputs,
    /// starts a first evaluation and emits initialized(). A failure on the way (model data that does not
    /// load, say) stops it silently: what was reached stays, initialized() is not emitted.
    void initialize(EntityModel::Entity* aiModel);

    using AIModelEvaluatorCore::evaluate;
    using AIModelEvaluatorCore::evaluateAsync;
    /// Evaluates the options' inputs and waits until the outputs are written; rethrows a failure.
    void evaluate();
    /// Evaluates the options' inputs; the future finishes once the outputs (and imbalance) are written.
    /// Fails with "No Trainer" without a module.
    Futures::FutureEx<void> evaluateAsync();

    /// The inputs as a {1, inputs} tensor of doubles (standard units); empty without an input list.
    AISystem::Tensor getInputTensor() const;
    /// Sets the inputs from the tensor's elements (standard units), then evaluate()s.
    void setInputTensor(const AISystem::Tensor& inputs);
    /// The outputs as a {1, outputs} tensor of doubles; empty without an output list.
    AISystem::Tensor getOutputTensor() const;

    EntityModel::Entity* getOptions() const { return m_options.get(); }
    /// The AI model linked to the options, or null.
    EntityModel::Entity* getAIModel() const;
    /// The module's type; None without a module.
    AISystem::ModuleType getModuleType() const;

signals:
    void outputUpdated(bool hasImbalance);
    void initialized();

private:
    AISystem::Module* getModule() const override;

    AISystem::Tensor getTensor(EntityModel::TypeRef list) const;
    void setOutputTensor(const AISystem::Tensor& outputs,
                         const std::optional<AISystem::ImbalanceResult>& imbalance);
    void createAttributes();
    void createAttributes(EntityModel::CountedCompositeAttribute* source,
                          EntityModel::CompositeAttribute* target, bool readOnly);
    static std::unique_ptr<EntityModel::Attribute> createAttribute(EntityModel::CompositeAttribute* entry);

    // Declared in this order so that the module goes before the options entity.
    std::unique_ptr<EntityModel::Entity, EntityModel::EntityEditorDeleter> m_options;
    std::unique_ptr<AISystem::Module> m_module;
};
} // namespace Conflux
