#include "src/ai/training/AIModelTrainer.h"

#include "host/entitymodel/AttributeSorter.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/SchemaLoader.h"
#include "src/ai/training/AIModelTrainerCDUModule.h"
#include "src/ai/training/AIModelTrainerITEquipmentModule.h"

#include <QThread>

#include <algorithm>
#include <charconv>
#include <set>

namespace Conflux
{
using namespace EntityModel;

namespace
{
const TypeRef RandomSeed_t("Random Seed");
const TypeRef InitialSeed_t("Initial Seed");
const TypeRef HiddenLayersCount_t("Hidden Layers Count");
const TypeRef NodesPerLayer_t("Nodes Per Layer");
const TypeRef MinimumDataPointsPerNode_t("Minimum Data Points Per Node");

AttributePath networkPath()
{
    return Train_t / Advanced_Options_t / Network_t;
}

AttributePath seedPath()
{
    return Train_t / Advanced_Options_t / RandomSeed_t;
}

// Where the AI model keeps the count and the items of each side; the edit hook compares the full path.
AttributePath valuesPath(bool input)
{
    return input ? Specification_t / Inputs_t / Input_Values_t
                 : Specification_t / Outputs_t / Output_Values_t;
}

AISystem::Tensor* tensorOf(AISystem::Example* example, bool input)
{
    if (!example)
        return nullptr;
    return input ? &example->getInputs() : &example->getOutputs();
}

bool isMatrix(const AISystem::Tensor& tensor)
{
    return tensor.getDimensionCount() == 2;
}

std::int64_t columnsOf(const AISystem::Tensor& tensor)
{
    return isMatrix(tensor) ? tensor.getDimensionSize(1) : 0;
}

AISystem::Tensor emptyColumns(std::int64_t count)
{
    return AISystem::Tensor::createTensor(AISystem::TensorShape{0, count}, AISystem::TensorElement(0.0));
}

/// A zero column of the tensor's row count and element type (empty for a tensor that is no table).
AISystem::Tensor zeroColumnFor(const AISystem::Tensor* tensor)
{
    if (!tensor || !isMatrix(*tensor))
        return {};
    AISystem::TensorShape shape = tensor->getTensorShape();
    shape.setDimensionSize(1, 1);
    return AISystem::Tensor::createTensor(shape, tensor->getElementType());
}

/// Appends zero columns up to count, or keeps the first count columns. A tensor that is no table
/// (no rows and columns yet) becomes an empty double table, so that the rows of a table are kept
/// even while it has no columns.
void fitColumns(AISystem::Tensor& tensor, std::int64_t count)
{
    count = std::max<std::int64_t>(count, 0);
    if (!isMatrix(tensor))
    {
        tensor = emptyColumns(count);
        return;
    }
    while (columnsOf(tensor) < count)
        tensor.append(1, zeroColumnFor(&tensor));
    if (columnsOf(tensor) > count)
        tensor = tensor.slice(1, 0, count, 1);
}

/// Whether a column can take the place of column i of the table.
bool fitsAsColumn(const AISystem::Tensor& table, std::int64_t i, const AISystem::Tensor& column)
{
    return isMatrix(table) && isMatrix(column) && column.getDimensionSize(1) == 1 &&
           column.getDimensionSize(0) == table.getDimensionSize(0) && i >= 0 && i <= columnsOf(table);
}

void replaceColumn(AISystem::Tensor& table, std::int64_t i, const AISystem::Tensor& column)
{
    if (i < columnsOf(table))
        table.remove(1, i, 1);
    table.insert(1, i, column);
}

AISystem::Tensor columnOf(const AISystem::Example* example, bool input, int i)
{
    const AISystem::Tensor* table =
        example ? (input ? &example->getInputs() : &example->getOutputs()) : nullptr;
    if (!table || i < 0 || i >= columnsOf(*table))
        return {};
    return table->slice(1, i, 1, 1);
}

/// The 32-bit product the sizing rules divide by, wrapped as a signed int and widened with its sign.
std::uint64_t divisorOf(std::initializer_list<std::uint64_t> factors)
{
    std::uint32_t product = 1;
    for (std::uint64_t factor : factors)
        product *= static_cast<std::uint32_t>(factor);
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(product)));
}

std::set<Attribute*, AttributeSorter> sorted(const std::vector<Attribute*>& attributes)
{
    std::set<Attribute*, AttributeSorter> result;
    for (Attribute* attribute : attributes)
        if (attribute)
            result.insert(attribute);
    return result;
}
} // namespace

AIModelTrainer::AIModelTrainer(QObject* parent)
    : AIModelTrainer(nullptr, std::make_unique<AISystem::Example>(), std::make_unique<AISystem::Example>(),
                     parent)
{
}

AIModelTrainer::AIModelTrainer(EntityPtr&& entity, std::unique_ptr<AISystem::Example>&& training,
                               std::unique_ptr<AISystem::Example>&& testing, QObject* parent)
    : AIModelEvaluatorCore(parent), m_entity(std::move(entity)), m_testing(std::move(testing)),
      m_training(std::move(training))
{
    if (!m_entity)
    {
        // A trainer may come before any project file, which is what loads the schema otherwise.
        SchemaLoader::ensureBuiltInLoaded();
        m_entity.reset(EntityEditor::createEntity(AI_Model_Trainer_t, nullptr, AttributePath()));
    }
    EntityEditor::registerEditExtender(this);
    chooseTrainerModule();
    initializeData();
}

AIModelTrainer::~AIModelTrainer()
{
    EntityEditor::unregisterEditExtender(this);
    m_abandon->store(true);
    if (m_workerThread && m_workerThread->isRunning())
    {
        // A run looks at the request after every iteration, so the wait lasts one iteration at most.
        m_workerThread->requestInterruption();
        m_workerThread->quit();
        m_workerThread->wait();
    }
}

AISystem::Module* AIModelTrainer::getModule() const
{
    return m_network.get();
}

QThread* AIModelTrainer::startWorkerThread()
{
    if (!m_workerThread)
        m_workerThread = new QThread(this);
    if (!m_workerThread->isRunning())
        m_workerThread->start();
    return m_workerThread;
}

void AIModelTrainer::chooseTrainerModule()
{
    m_module = nullptr;
    Entity* target = getEntity();
    if (!target)
        return;
    if (target->getTypeRef() == IT_Equipment_t)
        m_module = new AIModelTrainerITEquipmentModule(this);
    else if (target->getTypeRef() == CDU_t)
        m_module = new AIModelTrainerCDUModule(this);
}

bool AIModelTrainer::initialize(Entity* target, bool fromProject)
{
    Entity* options = m_entity.get();
    if (target)
        EntityEditor::addEntity(options, EntityLink_t, target);
    else
        EntityEditor::removeAllEntities(options, EntityLink_t);
    EntityEditor::setValueNoThrow(options, Mode_t, target ? target->getTypeRef().getLabel() : std::string());
    if (m_module)
        m_module->deleteLater();
    chooseTrainerModule();
    options->invalidateDerived(true);
    if (m_module)
    {
        // Makes the AI model edit extender create the target's AI model when it has none.
        EntityEditor::setValueNoThrow(target, Cooling_t / Modelling_Level_t, AI_Model_t);
        EntityEditor::setValueNoThrow(options, Train_t / PhysicalModelEnabled_t, true);
        options->invalidateDerived(true);
        EntityEditor::setValueNoThrow(options, Train_t / Type_t, Physics_Informed_t);
    }
    else
    {
        EntityEditor::setValueNoThrow(options, Train_t / PhysicalModelEnabled_t, false);
        options->invalidateDerived(true);
        EntityEditor::setValueNoThrow(options, Train_t / Type_t, Generic_t);
    }
    EntityEditor::clearAttributeCaches();
    m_calculator.calculateDerivedData(target);
    m_training = std::make_unique<AISystem::Example>(emptyColumns(getNumberOfInputs()),
                                                     emptyColumns(getNumberOfOutputs()));
    m_testing = std::make_unique<AISystem::Example>(emptyColumns(getNumberOfInputs()),
                                                    emptyColumns(getNumberOfOutputs()));
    if (m_module)
        m_module->initialize(fromProject);
    initializeData();
    return getAIModel() != nullptr;
}

void AIModelTrainer::prepareTraining()
{
    checkPhysicalModel();
}

Entity* AIModelTrainer::getEntity() const
{
    return getLinkedEntity(m_entity.get(), EntityLink_t);
}

Entity* AIModelTrainer::getAIModel() const
{
    return getLinkedEntity(getEntity(), AIModelLink_t);
}

Entity* AIModelTrainer::getOptions() const
{
    return m_entity.get();
}

AISystem::Example* AIModelTrainer::getTrainingExample() const
{
    return m_training.get();
}

AISystem::Example* AIModelTrainer::getTestingExample() const
{
    return m_testing.get();
}

AISystem::NeuralNetworkTrainer* AIModelTrainer::getNeuralNetwork() const
{
    return m_network.get();
}

bool AIModelTrainer::hasNeuralNetwork() const
{
    return m_network != nullptr;
}

bool AIModelTrainer::hasTestingData() const
{
    return m_testing && m_testing->getNumberOfCases() >= 1;
}

void AIModelTrainer::clear()
{
    removeAllInputs();
    removeAllOutputs();
}

// ---- Columns of the examples ----

void AIModelTrainer::initializeData()
{
    const int inputs = getNumberOfInputs();
    const int outputs = getNumberOfOutputs();
    for (AISystem::Tensor* tensor : {tensorOf(m_training.get(), true), tensorOf(m_testing.get(), true)})
        if (tensor)
            fitColumns(*tensor, inputs);
    for (AISystem::Tensor* tensor : {tensorOf(m_training.get(), false), tensorOf(m_testing.get(), false)})
        if (tensor)
            fitColumns(*tensor, outputs);
}

void AIModelTrainer::extendPostSetValueOperation(bool) {}

bool AIModelTrainer::extendPostDeleteOperation()
{
    return true;
}

void AIModelTrainer::extendSetValueOperation(Entity* entity, Attribute* attribute, const std::string& value,
                                             bool)
{
    if (!attribute || !entity || entity != getAIModel())
        return;
    const AttributePath path = attribute->getAttributePath();
    const bool input = path == valuesPath(true);
    if (!input && path != valuesPath(false))
        return;
    // A count the list refuses leaves the list, and so the columns, as they are.
    int n = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (error != std::errc() || end != value.data() + value.size() || n < 0 ||
        n > CountedCompositeAttribute::maxCount)
        return;
    for (AISystem::Example* example : {m_training.get(), m_testing.get()})
        if (AISystem::Tensor* tensor = tensorOf(example, input))
            fitColumns(*tensor, n);
}

void AIModelTrainer::extendDragDropOperation(Entity*, Entity*) {}
void AIModelTrainer::extendDuplicateOperation(Entity*, Entity*) {}
void AIModelTrainer::extendPasteOperation(const std::vector<Entity*>&) {}
void AIModelTrainer::extendPreDeleteOperation(const std::vector<Entity*>&, bool) {}

// ---- Inputs and outputs ----

int AIModelTrainer::count(Side side) const
{
    return getIntValue(getAIModel(), valuesPath(side == Side::Input), 0);
}

CompositeAttribute* AIModelTrainer::valueComposite(Side side, int i) const
{
    Entity* aiModel = getAIModel();
    Attribute* list = aiModel ? aiModel->findAttribute(valuesPath(side == Side::Input)) : nullptr;
    if (!list || !list->isCountedCompositeAttribute() || i < 0)
        return nullptr;
    return static_cast<CountedCompositeAttribute*>(list)->getItem(static_cast<std::size_t>(i));
}

void AIModelTrainer::setCount(Side side, int n)
{
    EntityEditor::setValueNoThrow(getAIModel(), valuesPath(side == Side::Input), n);
}

std::optional<int> AIModelTrainer::addColumn(Side side, const AISystem::Tensor& training,
                                             const AISystem::Tensor& testing)
{
    Entity* aiModel = getAIModel();
    if (!aiModel)
        return std::nullopt;
    const bool input = side == Side::Input;
    const int n = count(side);
    setCount(side, n + 1);
    m_calculator.calculateDerivedData(aiModel);
    const int total = count(side);
    const std::pair<AISystem::Example*, const AISystem::Tensor*> columns[] = {{m_training.get(), &training},
                                                                              {m_testing.get(), &testing}};
    // A column without dimensions keeps the zero column the count edit appended; any other column
    // must fit the table, checked before either example changes.
    bool fits = total == n + 1;
    for (const auto& [example, column] : columns)
        if (AISystem::Tensor* table = tensorOf(example, input))
            fits = fits && columnsOf(*table) == total &&
                   (column->getDimensionCount() == 0 || fitsAsColumn(*table, n, *column));
    if (!fits)
    {
        // Only the item this call added goes again, never one that was there before.
        if (count(side) > n)
            removeLast(side);
        return std::nullopt;
    }
    for (const auto& [example, column] : columns)
        if (AISystem::Tensor* table = tensorOf(example, input); table && column->getDimensionCount() != 0)
            replaceColumn(*table, n, *column);
    return n;
}

std::optional<int> AIModelTrainer::addBound(Side side, Attribute* attribute, const AISystem::Tensor& training,
                                            const AISystem::Tensor& testing)
{
    if (!getAIModel() || !attribute)
        return std::nullopt;
    std::optional<int> n = addColumn(side, training, testing);
    if (!n)
        return std::nullopt;
    if (!setAttribute(side, *n, attribute))
    {
        removeLast(side);
        return std::nullopt;
    }
    return n;
}

std::optional<int> AIModelTrainer::addBound(Side side, Entity* entity, const AttributePath& path,
                                            const AISystem::Tensor& training, const AISystem::Tensor& testing)
{
    if (!getAIModel() || !entity)
        return std::nullopt;
    Attribute* attribute = path.empty() ? entity : entity->findAttribute(path);
    if (!attribute)
        return std::nullopt;
    return addBound(side, attribute, training, testing);
}

bool AIModelTrainer::setEntity(Side side, int i, Entity* entity)
{
    CompositeAttribute* composite = valueComposite(side, i);
    if (!composite)
        return false;
    bool done = entity ? EntityEditor::addEntity(composite, Entity_t, entity)
                       : EntityEditor::removeAllEntities(composite, Entity_t);
    m_calculator.calculateDerivedData(getAIModel());
    return done;
}

bool AIModelTrainer::setAttributePath(Side side, int i, const AttributePath& path)
{
    CompositeAttribute* composite = valueComposite(side, i);
    if (!composite)
        return false;
    const std::string wanted = path.toString('.');
    for (Entity* candidate : getLinkedEntities(composite, AI_Model_Attribute_List_t))
        if (candidate && getStringValue(candidate, Path_t) == wanted)
            return setAttributeName(side, i, getStringValue(candidate, Name_t));
    return false;
}

bool AIModelTrainer::setAttributeName(Side side, int i, const std::string& name)
{
    CompositeAttribute* composite = valueComposite(side, i);
    if (!composite)
        return false;
    bool set = EntityEditor::setValueNoThrow(composite, Attribute_t, name);
    // The selected path and units follow the choice when next read.
    composite->invalidateDerived(true);
    return set || getStringValue(composite, Attribute_t) == name;
}

bool AIModelTrainer::setAttribute(Side side, int i, Attribute* attribute)
{
    if (!attribute || !valueComposite(side, i))
        return false;
    if (attribute->isEntity())
        return setEntity(side, i, static_cast<Entity*>(attribute));
    Entity* owner = attribute->getOwnerEntity();
    return owner && setEntity(side, i, owner) && setAttributePath(side, i, attribute->getAttributePath());
}

AttributePath AIModelTrainer::attributePath(Side side, int i) const
{
    return AttributePath(getStringValue(valueComposite(side, i), Selected_Attribute_t / Path_t));
}

Entity* AIModelTrainer::entity(Side side, int i) const
{
    return getLinkedEntity(valueComposite(side, i), Entity_t);
}

Attribute* AIModelTrainer::attribute(Side side, int i) const
{
    Entity* bound = entity(side, i);
    AttributePath path = attributePath(side, i);
    return bound && !path.empty() ? bound->findAttribute(path) : nullptr;
}

std::vector<Attribute*> AIModelTrainer::attributes(Side side) const
{
    std::vector<Attribute*> result;
    const int n = count(side);
    result.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i)
        result.push_back(attribute(side, i));
    return result;
}

bool AIModelTrainer::contains(Side side, Attribute* wanted) const
{
    if (!wanted)
        return false;
    const int n = count(side);
    for (int i = 0; i < n; ++i)
        if (attribute(side, i) == wanted)
            return true;
    return false;
}

bool AIModelTrainer::contains(Side side, Entity* bound, const AttributePath& path) const
{
    if (!bound)
        return false;
    return contains(side, path.empty() ? bound : bound->findAttribute(path));
}

int AIModelTrainer::getNumberOfInputs() const
{
    return count(Side::Input);
}

int AIModelTrainer::getInputCount() const
{
    return count(Side::Input);
}

std::optional<int> AIModelTrainer::addInput(const AISystem::Tensor& training, const AISystem::Tensor& testing)
{
    return addColumn(Side::Input, training, testing);
}

std::optional<int> AIModelTrainer::addInput(Attribute* attribute, const AISystem::Tensor& training,
                                            const AISystem::Tensor& testing)
{
    return addBound(Side::Input, attribute, training, testing);
}

std::optional<int> AIModelTrainer::addInput(Entity* entity, const AttributePath& path,
                                            const AISystem::Tensor& training, const AISystem::Tensor& testing)
{
    return addBound(Side::Input, entity, path, training, testing);
}

void AIModelTrainer::removeLast(Side side)
{
    if (int n = count(side); n > 0)
        setCount(side, n - 1);
}

void AIModelTrainer::removeLastInput()
{
    removeLast(Side::Input);
}

void AIModelTrainer::removeAllInputs()
{
    setCount(Side::Input, 0);
}

bool AIModelTrainer::setInputEntity(int i, Entity* entity)
{
    return setEntity(Side::Input, i, entity);
}

bool AIModelTrainer::setInputAttributePath(int i, const AttributePath& path)
{
    return setAttributePath(Side::Input, i, path);
}

bool AIModelTrainer::setInputAttributeName(int i, const std::string& name)
{
    return setAttributeName(Side::Input, i, name);
}

bool AIModelTrainer::setInputAttribute(int i, Attribute* attribute)
{
    return setAttribute(Side::Input, i, attribute);
}

std::string AIModelTrainer::getInputAttributeName(int i) const
{
    return getStringValue(valueComposite(Side::Input, i), Attribute_t);
}

AttributePath AIModelTrainer::getInputAttributePath(int i) const
{
    return attributePath(Side::Input, i);
}

Entity* AIModelTrainer::getInputEntity(int i) const
{
    return entity(Side::Input, i);
}

Attribute* AIModelTrainer::getInputAttribute(int i) const
{
    return attribute(Side::Input, i);
}

std::vector<Attribute*> AIModelTrainer::getInputAttributes() const
{
    return attributes(Side::Input);
}

bool AIModelTrainer::isInput(Attribute* attribute) const
{
    return contains(Side::Input, attribute);
}

bool AIModelTrainer::isInput(Entity* entity, const AttributePath& path) const
{
    return contains(Side::Input, entity, path);
}

AISystem::Tensor AIModelTrainer::getInputTrainingData(int i) const
{
    return columnOf(m_training.get(), true, i);
}

AISystem::Tensor AIModelTrainer::getInputTestingData(int i) const
{
    return columnOf(m_testing.get(), true, i);
}

bool AIModelTrainer::setInputTrainingData(int i, const AISystem::Tensor& column)
{
    AISystem::Tensor* table = tensorOf(m_training.get(), true);
    if (!table || !fitsAsColumn(*table, i, column))
        return false;
    replaceColumn(*table, i, column);
    return true;
}

bool AIModelTrainer::setInputTestingData(int i, const AISystem::Tensor& column)
{
    AISystem::Tensor* table = tensorOf(m_testing.get(), true);
    if (!table || !fitsAsColumn(*table, i, column))
        return false;
    replaceColumn(*table, i, column);
    return true;
}

int AIModelTrainer::getNumberOfOutputs() const
{
    return count(Side::Output);
}

int AIModelTrainer::getOutputCount() const
{
    return count(Side::Output);
}

std::optional<int> AIModelTrainer::addOutput(const AISystem::Tensor& training,
                                             const AISystem::Tensor& testing)
{
    return addColumn(Side::Output, training, testing);
}

std::optional<int> AIModelTrainer::addOutput(Attribute* attribute, const AISystem::Tensor& training,
                                             const AISystem::Tensor& testing, std::optional<double> weight)
{
    std::optional<int> n = addBound(Side::Output, attribute, training, testing);
    // A weight that cannot be set fails the call; the output itself stays.
    if (n && weight && !setOutputWeight(*n, *weight))
        return std::nullopt;
    return n;
}

std::optional<int> AIModelTrainer::addOutput(Entity* entity, const AttributePath& path,
                                             const AISystem::Tensor& training,
                                             const AISystem::Tensor& testing, std::optional<double> weight)
{
    std::optional<int> n = addBound(Side::Output, entity, path, training, testing);
    if (n && weight && !setOutputWeight(*n, *weight))
        return std::nullopt;
    return n;
}

void AIModelTrainer::removeLastOutput()
{
    removeLast(Side::Output);
}

void AIModelTrainer::removeAllOutputs()
{
    setCount(Side::Output, 0);
}

bool AIModelTrainer::setOutputEntity(int i, Entity* entity)
{
    return setEntity(Side::Output, i, entity);
}

bool AIModelTrainer::setOutputAttributePath(int i, const AttributePath& path)
{
    return setAttributePath(Side::Output, i, path);
}

bool AIModelTrainer::seOutputAttributeName(int i, const std::string& name)
{
    return setAttributeName(Side::Output, i, name);
}

bool AIModelTrainer::setOutputAttribute(int i, Attribute* attribute)
{
    return setAttribute(Side::Output, i, attribute);
}

std::string AIModelTrainer::getOutputAttributeName(int i) const
{
    return getStringValue(valueComposite(Side::Output, i), Attribute_t);
}

AttributePath AIModelTrainer::getOutputAttributePath(int i) const
{
    return attributePath(Side::Output, i);
}

Entity* AIModelTrainer::getOutputEntity(int i) const
{
    return entity(Side::Output, i);
}

Attribute* AIModelTrainer::getOutputAttribute(int i) const
{
    return attribute(Side::Output, i);
}

std::vector<Attribute*> AIModelTrainer::getOutputAttributes() const
{
    return attributes(Side::Output);
}

bool AIModelTrainer::isOutput(Attribute* attribute) const
{
    return contains(Side::Output, attribute);
}

bool AIModelTrainer::isOutput(Entity* entity, const AttributePath& path) const
{
    return contains(Side::Output, entity, path);
}

AISystem::Tensor AIModelTrainer::getOutputTrainingData(int i) const
{
    return columnOf(m_training.get(), false, i);
}

AISystem::Tensor AIModelTrainer::getOutputTestingData(int i) const
{
    return columnOf(m_testing.get(), false, i);
}

bool AIModelTrainer::setOutputTrainingData(int i, const AISystem::Tensor& column)
{
    AISystem::Tensor* table = tensorOf(m_training.get(), false);
    if (!table || !fitsAsColumn(*table, i, column))
        return false;
    replaceColumn(*table, i, column);
    return true;
}

bool AIModelTrainer::setOutputTestingData(int i, const AISystem::Tensor& column)
{
    AISystem::Tensor* table = tensorOf(m_testing.get(), false);
    if (!table || !fitsAsColumn(*table, i, column))
        return false;
    replaceColumn(*table, i, column);
    return true;
}

bool AIModelTrainer::setOutputWeight(int i, double weight)
{
    CompositeAttribute* composite = valueComposite(Side::Output, i);
    if (!composite)
        return false;
    bool set = EntityEditor::setValueNoThrow(composite, Training_Weight_t, weight);
    return set || getStandardDoubleValue(composite, Training_Weight_t, 0.0) == weight;
}

double AIModelTrainer::getOutputWeight(int i) const
{
    return getStandardDoubleValue(valueComposite(Side::Output, i), Training_Weight_t, 0.0);
}

// ---- Options ----

double AIModelTrainer::getLearningRate() const
{
    return getStandardDoubleValue(m_entity.get(), Learning_Rate_t, 0.0);
}

void AIModelTrainer::setLearningRate(double rate)
{
    EntityEditor::setValueNoThrow(m_entity.get(), Learning_Rate_t, rate);
}

double AIModelTrainer::getTargetRMSError() const
{
    return getStandardDoubleValue(m_entity.get(), Target_RMS_Error_t, 0.0);
}

void AIModelTrainer::setTargetRMSError(double error)
{
    EntityEditor::setValueNoThrow(m_entity.get(), Target_RMS_Error_t, error);
}

int AIModelTrainer::getMaximumInterations() const
{
    return getIntValue(m_entity.get(), Maximum_Iterations_t, 0);
}

void AIModelTrainer::setMaximumIterations(int iterations)
{
    EntityEditor::setValueNoThrow(m_entity.get(), Maximum_Iterations_t, iterations);
}

std::optional<int> AIModelTrainer::getInitialRandomSeed() const
{
    if (getBoolValue(m_entity.get(), seedPath() / Auto_t, false))
        return std::nullopt;
    return getIntValue(m_entity.get(), seedPath() / InitialSeed_t, 0);
}

void AIModelTrainer::setInitialRandomSeed(const std::optional<int>& seed)
{
    EntityEditor::setValueNoThrow(m_entity.get(), seedPath() / Auto_t, !seed.has_value());
    EntityEditor::setValueNoThrow(m_entity.get(), seedPath() / InitialSeed_t, seed.value_or(0));
}

AISystem::TensorElementType AIModelTrainer::getTrainingDataType() const
{
    TypeRef type = getTypeValue(m_entity.get(), networkPath() / Data_Type_t);
    if (type == Double_t)
        return AISystem::TensorElementType::Double;
    if (type == Float_t)
        return AISystem::TensorElementType::Float;
    return AISystem::TensorElementType::None;
}

void AIModelTrainer::setTrainingDataType(AISystem::TensorElementType type)
{
    switch (type)
    {
    case AISystem::TensorElementType::Float:
        EntityEditor::setValueNoThrow(m_entity.get(), networkPath() / Data_Type_t, Float_t);
        break;
    case AISystem::TensorElementType::Double:
        EntityEditor::setValueNoThrow(m_entity.get(), networkPath() / Data_Type_t, Double_t);
        break;
    case AISystem::TensorElementType::None:
        break;
    }
}

AISystem::NeuralNetworkType AIModelTrainer::getNetworkType() const
{
    if (!m_module)
        return AISystem::NeuralNetworkType::Generic;
    TypeRef type = getTypeValue(m_entity.get(), Train_t / Type_t);
    if (type == Physics_Informed_t)
        return AISystem::NeuralNetworkType::PhysicsInformed;
    if (type == Physics_Conserved_t)
        return AISystem::NeuralNetworkType::PhysicsConserved;
    return AISystem::NeuralNetworkType::Generic;
}

bool AIModelTrainer::isPhysicalModel() const
{
    return getNetworkType() != AISystem::NeuralNetworkType::Generic;
}

void AIModelTrainer::setPhysicalModel(bool physical)
{
    EntityEditor::setValueNoThrow(m_entity.get(), Train_t / Type_t,
                                  physical ? Physics_Informed_t : Generic_t);
}

std::vector<size_t> AIModelTrainer::getHiddenLayers() const
{
    return generateHiddenLayers();
}

std::vector<size_t> AIModelTrainer::generateHiddenLayers() const
{
    const Entity* options = m_entity.get();
    const int layers = std::max(getIntValue(options, networkPath() / HiddenLayersCount_t, 0), 0);
    const TypeRef mode = getTypeValue(options, networkPath() / Generation_Mode_t);
    if (mode == Auto_t)
    {
        const auto widest =
            static_cast<std::uint64_t>(std::max({getNumberOfInputs(), getNumberOfOutputs(), 0}));
        return std::vector<size_t>(static_cast<size_t>(layers),
                                   static_cast<size_t>(std::max(calcAutoHiddenLayerSize(), widest)));
    }
    if (mode == Simple_t)
    {
        const int nodes = std::max(getIntValue(options, networkPath() / NodesPerLayer_t, 0), 0);
        return std::vector<size_t>(static_cast<size_t>(layers), static_cast<size_t>(nodes));
    }
    if (mode.getLabel() == Advanced_t.getLabel())
    {
        std::vector<size_t> sizes;
        if (const CompositeAttribute* list =
                options ? options->findComposite(networkPath() / Hidden_Layers_t) : nullptr)
            for (const auto& child : list->children())
                sizes.push_back(child ? static_cast<size_t>(std::max(child->intVal(), 0)) : 1);
        return sizes;
    }
    return {};
}

void AIModelTrainer::setHiddenLayers(const std::vector<size_t>& sizes)
{
    Entity* options = m_entity.get();
    EntityEditor::setValueNoThrow(options, networkPath() / Generation_Mode_t, Advanced_t);
    EntityEditor::setValueNoThrow(options, networkPath() / Hidden_Layers_t, static_cast<int>(sizes.size()));
    const CompositeAttribute* list = options->findComposite(networkPath() / Hidden_Layers_t);
    if (!list)
        return;
    for (std::size_t i = 0; i < sizes.size() && i < list->childCount(); ++i)
        EntityEditor::setAttributeValueNoThrow(list->getChild(i), static_cast<std::uint64_t>(sizes[i]));
}

std::int64_t AIModelTrainer::getNumberOfTrainingCases() const
{
    return m_training ? m_training->getNumberOfCases() : 0;
}

void AIModelTrainer::setNumberOfTrainingCases(std::int64_t count)
{
    if (m_training)
        m_training->setNumberOfCases(count);
}

std::int64_t AIModelTrainer::getNumberOfTestingCases() const
{
    return m_testing ? m_testing->getNumberOfCases() : 0;
}

void AIModelTrainer::setNumberOfTestingCases(std::int64_t count)
{
    if (m_testing)
        m_testing->setNumberOfCases(count);
}

std::uint64_t AIModelTrainer::calcAutoHiddenLayerSize() const
{
    const int inputs = getNumberOfInputs();
    const int outputs = getNumberOfOutputs();
    if (static_cast<std::int64_t>(inputs) * outputs < 1)
        return 0;
    const Entity* options = m_entity.get();
    const int minimumPoints = getIntValue(options, networkPath() / MinimumDataPointsPerNode_t, 0);
    const int layers = getIntValue(options, networkPath() / HiddenLayersCount_t, 0);
    const std::uint64_t divisor =
        divisorOf({static_cast<std::uint64_t>(inputs), static_cast<std::uint64_t>(outputs),
                   static_cast<std::uint64_t>(minimumPoints), static_cast<std::uint64_t>(layers)});
    // No layers or no minimum leave nothing to size by.
    if (divisor == 0)
        return 0;
    return static_cast<std::uint64_t>(getNumberOfTrainingCases()) / divisor;
}

std::uint64_t AIModelTrainer::calcDataPointsPerNode() const
{
    std::uint64_t nodes = 1;
    for (size_t size : getHiddenLayers())
        nodes = static_cast<std::uint32_t>(nodes * size);
    const std::uint64_t divisor = divisorOf({static_cast<std::uint64_t>(getNumberOfInputs()),
                                             static_cast<std::uint64_t>(getNumberOfOutputs()), nodes});
    if (divisor == 0)
        return 0;
    return static_cast<std::uint64_t>(getNumberOfTrainingCases()) / divisor;
}

// ---- Physics-informed training ----

bool AIModelTrainer::hasAll(Side side, const std::vector<Attribute*>& required) const
{
    const auto wanted = sorted(required);
    const auto present = sorted(attributes(side));
    return std::includes(present.begin(), present.end(), wanted.begin(), wanted.end(), AttributeSorter());
}

void AIModelTrainer::addRequired(Side side, const std::vector<Attribute*>& required)
{
    const AISystem::Tensor none;
    for (Attribute* attribute : sorted(required))
    {
        if (contains(side, attribute))
            continue;
        std::optional<int> n = addColumn(side, none, none);
        if (n && !setAttribute(side, *n, attribute))
            removeLast(side);
    }
}

bool AIModelTrainer::hasAllPhysicsInformedInputs() const
{
    return m_module && hasAll(Side::Input, m_module->getPhysicsInformedInputs());
}

bool AIModelTrainer::hasAllPhysicsInformedOutputs() const
{
    return m_module && hasAll(Side::Output, m_module->getPhysicsInformedOutputs());
}

void AIModelTrainer::addPhysicsInformedInputs()
{
    if (!m_module)
        return;
    if (Entity* target = getEntity())
    {
        // The typical power is the heat source the balance reads.
        EntityEditor::setValueNoThrow(target, Power_t / Power_Type_t, Typical_t);
        target->invalidateDerived(true);
        target->clearRuleCaches();
    }
    addRequired(Side::Input, m_module->getPhysicsInformedInputs());
}

void AIModelTrainer::addPhysicsInformedOutputs()
{
    if (!m_module)
        return;
    addRequired(Side::Output, m_module->getPhysicsInformedOutputs());
}

void AIModelTrainer::checkPhysicalModel()
{
    const bool allowed = getNetworkType() != AISystem::NeuralNetworkType::Generic && m_module &&
                         m_module->supportsPhysicalModel() && hasAllPhysicsInformedInputs() &&
                         hasAllPhysicsInformedOutputs();
    EntityEditor::setValueNoThrow(m_entity.get(), Train_t / PhysicalModelEnabled_t, allowed);
    m_entity->invalidateDerived(true);
    if (!allowed && getTypeValue(m_entity.get(), Train_t / Type_t) != Generic_t)
        EntityEditor::setValueNoThrow(m_entity.get(), Train_t / Type_t, Generic_t);
    emit refresh();
}
} // namespace Conflux
