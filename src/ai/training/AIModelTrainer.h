#pragma once
#include "host/ai/tensor/Example.h"
#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/ai/modules/NeuralNetworkType.h"
#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorElementType.h"
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/services/FutureEx.h"
#include "src/ai/definition/AIModelCalculator.h"
#include "src/ai/evaluation/AIModelEvaluatorCore.h"
#include "src/ai/training/AIModelTrainerResult.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QThread;
class QString;

namespace Tools
{
class ToolProgress;
}

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class CountedCompositeAttribute;
} // namespace EntityModel

namespace Conflux
{
class AIModelTrainerModule;

/// Trains a neural network that stands in for one IT equipment item or CDU (the target).
///
/// The options live on a detached trainer entity of type "AI Model Trainer" that links the target;
/// the target links its AI model, whose inputs and outputs bind the network's columns to project
/// attributes. The trainer keeps training and testing examples whose column i belongs to input
/// (output) i, and keeps them in step with every edit of the input and output counts, which the
/// entity model's editor reports to it. An equipment-specific trainer module (IT equipment, CDU)
/// adds the physical model for physics-informed training.
///
/// Lookups that find no AI model, composite or entity answer false, 0, null or an empty value.
class AIModelTrainer : public AIModelEvaluatorCore, private EntityModel::EntityEditExtender
{
    Q_OBJECT
public:
    using EntityPtr = std::unique_ptr<EntityModel::Entity, EntityModel::EntityEditorDeleter>;

    /// A new trainer entity and empty examples.
    explicit AIModelTrainer(QObject* parent = nullptr);
    /// Takes over a trainer entity (null: a new one) and the examples.
    AIModelTrainer(EntityPtr&& entity, std::unique_ptr<AISystem::Example>&& training,
                   std::unique_ptr<AISystem::Example>&& testing, QObject* parent = nullptr);
    /// Stops a run in progress after its current iteration (the worker thread is asked to stop) and
    /// waits for the worker thread to end.
    ~AIModelTrainer() override;

    AISystem::Module* getModule() const override;

    // Setup.
    /// Binds the trainer to a target, chooses its trainer module and fluids, and empties the
    /// examples. True when the target has an AI model.
    bool initialize(EntityModel::Entity* target, bool fromProject);
    /// Brings the physical model flag and the network type in line with what the target allows.
    void prepareTraining();
    /// The target.
    EntityModel::Entity* getEntity() const;
    EntityModel::Entity* getAIModel() const;
    /// The trainer entity.
    EntityModel::Entity* getOptions() const;
    AISystem::Example* getTrainingExample() const;
    AISystem::Example* getTestingExample() const;
    AISystem::NeuralNetworkTrainer* getNeuralNetwork() const;
    bool hasNeuralNetwork() const;
    bool hasTestingData() const;
    /// Removes every input and output.
    void clear();

    // Inputs. An adder answers the new input's index, or nothing when it failed (and left no input).
    int getNumberOfInputs() const;
    int getInputCount() const;
    std::optional<int> addInput(const AISystem::Tensor& training, const AISystem::Tensor& testing);
    std::optional<int> addInput(EntityModel::Attribute* attribute, const AISystem::Tensor& training,
                                const AISystem::Tensor& testing);
    std::optional<int> addInput(EntityModel::Entity* entity, const EntityModel::AttributePath& path,
                                const AISystem::Tensor& training, const AISystem::Tensor& testing);
    void removeLastInput();
    void removeAllInputs();
    bool setInputEntity(int i, EntityModel::Entity* entity);
    bool setInputAttributePath(int i, const EntityModel::AttributePath& path);
    bool setInputAttributeName(int i, const std::string& name);
    bool setInputAttribute(int i, EntityModel::Attribute* attribute);
    std::string getInputAttributeName(int i) const;
    EntityModel::AttributePath getInputAttributePath(int i) const;
    EntityModel::Entity* getInputEntity(int i) const;
    EntityModel::Attribute* getInputAttribute(int i) const;
    std::vector<EntityModel::Attribute*> getInputAttributes() const;
    bool isInput(EntityModel::Attribute* attribute) const;
    bool isInput(EntityModel::Entity* entity, const EntityModel::AttributePath& path) const;
    AISystem::Tensor getInputTrainingData(int i) const;
    AISystem::Tensor getInputTestingData(int i) const;
    /// Replaces column i; false (nothing changed) without example or for a column that does not fit.
    bool setInputTrainingData(int i, const AISystem::Tensor& column);
    bool setInputTestingData(int i, const AISystem::Tensor& column);

    // Outputs, as the inputs; the adders also set a training weight when one is given.
    int getNumberOfOutputs() const;
    int getOutputCount() const;
    std::optional<int> addOutput(const AISystem::Tensor& training, const AISystem::Tensor& testing);
    std::optional<int> addOutput(EntityModel::Attribute* attribute, const AISystem::Tensor& training,
                                 const AISystem::Tensor& testing,
                                 std::optional<double> weight = std::nullopt);
    std::optional<int> addOutput(EntityModel::Entity* entity, const EntityModel::AttributePath& path,
                                 const AISystem::Tensor& training, const AISystem::Tensor& testing,
                                 std::optional<double> weight = std::nullopt);
    void removeLastOutput();
    void removeAllOutputs();
    bool setOutputEntity(int i, EntityModel::Entity* entity);
    bool setOutputAttributePath(int i, const EntityModel::AttributePath& path);
    bool seOutputAttributeName(int i, const std::string& name);
    bool setOutputAttribute(int i, EntityModel::Attribute* attribute);
    std::string getOutputAttributeName(int i) const;
    EntityModel::AttributePath getOutputAttributePath(int i) const;
    EntityModel::Entity* getOutputEntity(int i) const;
    EntityModel::Attribute* getOutputAttribute(int i) const;
    std::vector<EntityModel::Attribute*> getOutputAttributes() const;
    bool isOutput(EntityModel::Attribute* attribute) const;
    bool isOutput(EntityModel::Entity* entity, const EntityModel::AttributePath& path) const;
    AISystem::Tensor getOutputTrainingData(int i) const;
    AISystem::Tensor getOutputTestingData(int i) const;
    bool setOutputTrainingData(int i, const AISystem::Tensor& column);
    bool setOutputTestingData(int i, const AISystem::Tensor& column);
    bool setOutputWeight(int i, double weight);
    double getOutputWeight(int i) const;

    // Options of the trainer entity.
    double getLearningRate() const;
    void setLearningRate(double rate);
    double getTargetRMSError() const;
    void setTargetRMSError(double error);
    int getMaximumInterations() const;
    void setMaximumIterations(int iterations);
    /// Empty when the seed is chosen automatically.
    std::optional<int> getInitialRandomSeed() const;
    void setInitialRandomSeed(const std::optional<int>& seed);
    AISystem::TensorElementType getTrainingDataType() const;
    void setTrainingDataType(AISystem::TensorElementType type);
    AISystem::NeuralNetworkType getNetworkType() const;
    bool isPhysicalModel() const;
    void setPhysicalModel(bool physical);
    /// Sizes by the generation mode: Auto, Simple or Advanced (the explicit list).
    std::vector<size_t> getHiddenLayers() const;
    /// Switches to the Advanced mode with these sizes.
    void setHiddenLayers(const std::vector<size_t>& sizes);
    std::int64_t getNumberOfTrainingCases() const;
    void setNumberOfTrainingCases(std::int64_t count);
    std::int64_t getNumberOfTestingCases() const;
    void setNumberOfTestingCases(std::int64_t count);
    /// Training cases per input × output × minimum data points per node × hidden layer; 0 when that
    /// divisor is 0 or there are no inputs or outputs.
    std::uint64_t calcAutoHiddenLayerSize() const;
    /// Training cases per input × output × product of the hidden layer sizes; 0 for a zero divisor.
    std::uint64_t calcDataPointsPerNode() const;

    // Physics-informed training (through the trainer module).
    bool hasAllPhysicsInformedInputs() const;
    bool hasAllPhysicsInformedOutputs() const;
    /// Adds and binds the target attributes that the physical model needs and that are not inputs yet.
    void addPhysicsInformedInputs();
    void addPhysicsInformedOutputs();
    /// Sets the physical model flag, and the Generic network type when no physical model is possible.
    void checkPhysicalModel();

    // Training and testing runs, the summary and the data files. Runs hand back futures whose
    // continuation (on this trainer's thread) stores the network and summary in the AI model and posts
    // a text to the attached progress; the blocking forms wait in a local event loop and rethrow.
    /// Builds the network (or continues the current one) and trains it on the worker thread.
    Futures::FutureEx<AIModelTrainerResult> trainAsync();
    AIModelTrainerResult train(Tools::ToolProgress* progress);
    /// Tests the network on the testing example (a failed future when there are no testing cases).
    Futures::FutureEx<AIModelTrainerResult> testAsync();
    Futures::FutureEx<AIModelTrainerResult> testAsync(const AISystem::Example& example);
    AIModelTrainerResult test(Tools::ToolProgress* progress);
    AIModelTrainerResult test(const AISystem::Example& example, Tools::ToolProgress* progress);
    /// Whether the network is the one the current inputs, outputs and options would build, bound to
    /// the same attributes in the same order as when it was built or restored.
    bool canContinue() const;
    /// Why the network cannot be trained further ("input 2 is bound to ..."); empty when it can.
    std::string continuationMismatch() const;
    /// Drops the network, reseeds when a seed is set, clears the summary and the AI model's bounds.
    /// A run in progress stops after its current iteration and its result is not stored; it keeps
    /// what it uses until it ends.
    void reset();
    /// The optimiser of the next runs (default L-BFGS, whose line search chooses its own steps: the
    /// learning rate applies to Adam only).
    void setOptimiser(AISystem::NeuralNetworkOptimiser optimiser);
    AISystem::NeuralNetworkOptimiser getOptimiser() const;
    /// Makes the AI model hand the network values in standard units, as training gives them: each
    /// input's and output's "Model Unit" becomes the standard unit and its scaling none. Answers one
    /// line per change ("input 2 'Server A01-1:...': Model Unit °F reset to the standard unit °C").
    std::vector<std::string> useStandardValues();
    /// Stores the network and a summary of it and of the bounds in the AI model.
    void updateSummary(const AIModelTrainerResult& result);

    /// Writes the training (or testing) example as a CSV file, with the current module's results when
    /// asked; false without cases or when the file cannot be written.
    bool saveData(const QString& file, bool testing, bool withResults);
    bool saveTrainingData(const QString& file, bool withResults);
    bool saveTestingData(const QString& file, bool withResults);
    /// Reads a data file: "Input:" columns as inputs, "Target:" (or with results "Result:") columns as
    /// outputs; the case count is left 0.
    static AISystem::Example readData(const QString& file, bool results);
    bool saveAIModel(const QString& file);
    /// Saves the trainer entity with its target into file, the network as B.ai and the data as
    /// B.train.csv and B.test.csv (B: file without extension).
    bool saveAsRegressionTest(const QString& file);
    void printTrainingData();
    void printTestingData();
    /// The physical model a new network gets: only for a physics network type with a trainer module
    /// that supports one; the module's failure (a missing binding) propagates.
    std::optional<AISystem::PhysicalModel> formPhysicalModel() const;
    /// The output weights a run hands to the AI library: |weight| / sum, or all 1 when they sum to 0.
    AISystem::Tensor createWeightTensor() const;
    /// Takes the network stored in the AI model as the one to train further, bound as the AI model's
    /// inputs and outputs are now; false when it holds none, it cannot be read or its conversions
    /// cannot be folded (notes, when given, then receive the reason). The model's unit conversions
    /// and scaling are folded into the network, so that it takes standard values as training gives
    /// them, and the folded network is stored; notes receive a line per conversion folded. A run in
    /// progress stops as with reset().
    bool restoreNeuralNetwork(std::vector<std::string>* notes = nullptr);

signals:
    /// The trainer entity's options changed in a way a view should show.
    void refresh();

protected:
    /// The worker thread, created and started when needed.
    QThread* startWorkerThread();

private:
    enum class Side
    {
        Input,
        Output
    };

    // Edit extender: the examples follow the input and output counts of the AI model.
    void extendPostSetValueOperation(bool applied) override;
    bool extendPostDeleteOperation() override;
    void extendSetValueOperation(EntityModel::Entity* entity, EntityModel::Attribute* attribute,
                                 const std::string& value, bool flag) override;
    void extendDragDropOperation(EntityModel::Entity* dragged, EntityModel::Entity* target) override;
    void extendDuplicateOperation(EntityModel::Entity* original, EntityModel::Entity* duplicate) override;
    void extendPasteOperation(const std::vector<EntityModel::Entity*>& pasted) override;
    void extendPreDeleteOperation(const std::vector<EntityModel::Entity*>& entities, bool flag) override;

    void chooseTrainerModule();
    /// Gives up the runs of the current network and drops it.
    void dropNetwork();
    void rememberBindings();
    void initializeData();
    std::vector<size_t> generateHiddenLayers() const;

    // One implementation for both sides.
    int count(Side side) const;
    EntityModel::CompositeAttribute* valueComposite(Side side, int i) const;
    std::optional<int> addColumn(Side side, const AISystem::Tensor& training,
                                 const AISystem::Tensor& testing);
    std::optional<int> addBound(Side side, EntityModel::Attribute* attribute,
                                const AISystem::Tensor& training, const AISystem::Tensor& testing);
    std::optional<int> addBound(Side side, EntityModel::Entity* entity,
                                const EntityModel::AttributePath& path, const AISystem::Tensor& training,
                                const AISystem::Tensor& testing);
    void setCount(Side side, int count);
    void removeLast(Side side);
    bool setEntity(Side side, int i, EntityModel::Entity* entity);
    bool setAttributePath(Side side, int i, const EntityModel::AttributePath& path);
    bool setAttributeName(Side side, int i, const std::string& name);
    bool setAttribute(Side side, int i, EntityModel::Attribute* attribute);
    EntityModel::AttributePath attributePath(Side side, int i) const;
    EntityModel::Entity* entity(Side side, int i) const;
    EntityModel::Attribute* attribute(Side side, int i) const;
    std::vector<EntityModel::Attribute*> attributes(Side side) const;
    bool contains(Side side, EntityModel::Attribute* attribute) const;
    bool contains(Side side, EntityModel::Entity* entity, const EntityModel::AttributePath& path) const;
    bool hasAll(Side side, const std::vector<EntityModel::Attribute*>& required) const;
    void addRequired(Side side, const std::vector<EntityModel::Attribute*>& required);

    // Steps of the runs and the data files.
    Futures::FutureEx<AIModelTrainerResult> startTraining(Tools::ToolProgress* progress);
    Futures::FutureEx<AIModelTrainerResult> startTesting(const AISystem::Example& example,
                                                         Tools::ToolProgress* progress);
    void updateBounds(const AISystem::Example& example);
    void updateBounds(const AISystem::Tensor& values, EntityModel::CountedCompositeAttribute* composite);
    /// The CSV header of input (output) i in a role ("Input", "Target", "Result").
    std::string columnHeader(const char* role, EntityModel::Attribute* binding, int i) const;

    QThread* m_workerThread = nullptr;
    EntityPtr m_entity;
    std::unique_ptr<AISystem::Example> m_testing;
    std::unique_ptr<AISystem::Example> m_training;
    AIModelCalculator m_calculator;
    // Shared with the runner of a run in progress, which may outlive the trainer's hold on it.
    std::shared_ptr<AISystem::NeuralNetworkTrainer> m_network;
    // The last run asked for: runs share the network and train and test on different threads, so
    // each run starts only once the one before it has finished.
    Futures::FutureEx<AIModelTrainerResult> m_lastRun;
    // Set to give up the runs of the current network (reset, restore).
    std::shared_ptr<std::atomic<bool>> m_abandon = std::make_shared<std::atomic<bool>>(false);
    // The attributes the network's columns were bound to when it was built or restored.
    std::vector<EntityModel::Attribute*> m_networkInputs;
    std::vector<EntityModel::Attribute*> m_networkOutputs;
    AISystem::NeuralNetworkOptimiser m_optimiser = AISystem::NeuralNetworkOptimiser::LBFGS;
    AIModelTrainerModule* m_module = nullptr;
};
} // namespace Conflux
