// AIModelTrainer: training and testing runs, the network's continuation rules, output weights and
// the widening of the AI model's bounds.
#include "src/ai/training/AIModelTrainer.h"

#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTesterRunner.h"
#include "src/ai/training/AIModelTrainerModule.h"
#include "src/ai/training/AIModelTrainerRunner.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/services/ToolProgress.h"

#include <QCoreApplication>
#include <QThread>

#include <cmath>
#include <stdexcept>
#include <tuple>

namespace Conflux
{
using namespace EntityModel;

namespace
{
std::int64_t columnCount(const AISystem::Tensor& table)
{
    return table.getDimensionCount() == 2 ? table.getDimensionSize(1) : 0;
}

QString number(double value)
{
    return QString("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

/// The RMS error line and, with a physical model, the imbalance lines of one result.
QString resultLines(double rmsError, const std::optional<AISystem::ImbalanceResult>& imbalance)
{
    QString text = AIModelTrainer::tr("\n\t RMS Error %1").arg(number(rmsError));
    if (imbalance)
        text += AIModelTrainer::tr("\n\t Mass Imbalance %1").arg(number(imbalance->mass)) +
                AIModelTrainer::tr("\n\t Energy Imbalance %1").arg(number(imbalance->energy));
    return text;
}

QString trainingText(const AIModelTrainerResult& result)
{
    QString text =
        AIModelTrainer::tr("Training") + resultLines(result.training.rmsError, result.training.imbalance);
    // The testing block starts a line of its own.
    if (const auto& tested = result.training.testResult)
        text += "\n" + AIModelTrainer::tr("Testing") + resultLines(tested->rmsError, tested->imbalance);
    return text;
}

QString testingText(const AIModelTrainerResult& result)
{
    if (!result.testing)
        return {};
    return AIModelTrainer::tr("Testing") + resultLines(result.testing->rmsError, result.testing->imbalance);
}

Futures::FutureEx<AIModelTrainerResult> noTrainerFuture()
{
    return Futures::makeFailedFuture<AIModelTrainerResult>(
        std::make_exception_ptr(std::runtime_error(AIModelTrainer::tr("No Trainer").toStdString())));
}

// Starts a training or testing runner. The progress is attached before the runner starts, so that
// the run reports from its first iteration; when it ends, the trainer's summary is updated and the
// progress gets the run's closing lines (none when closingText gives none). A run whose network the
// trainer dropped meanwhile (reset, restore) fails instead: its network is no longer the trainer's.
// The runner starts once `lastRun` has finished, and its run becomes the last one.
template <typename Runner>
Futures::FutureEx<AIModelTrainerResult> startRunner(AIModelTrainer* trainer, Runner* runner,
                                                    const AISystem::NeuralNetworkTrainer* network,
                                                    Tools::ToolProgress* progress,
                                                    QString (*closingText)(const AIModelTrainerResult&),
                                                    Futures::FutureEx<AIModelTrainerResult>& lastRun)
{
    const auto future = runner->future();
    if (progress)
        future.attachProgress(progress);
    auto chained =
        future.then(trainer,
                    [trainer, network, future, closingText](AIModelTrainerResult result)
                    {
                        if (trainer->getNeuralNetwork() != network)
                            throw std::runtime_error(
                                AIModelTrainer::tr("The run was given up: the trainer's network was reset or "
                                                   "replaced while it ran")
                                    .toStdString());
                        trainer->updateSummary(result);
                        const QString text = closingText(result);
                        if (Tools::ToolProgress* attached = future.progress(); attached && !text.isEmpty())
                            attached->message(text.toStdString());
                        return result;
                    });
    if (lastRun.isFinished())
        runner->startLater();
    else
        lastRun.then(trainer, [runner](const Futures::FutureEx<AIModelTrainerResult>&) { runner->startLater(); });
    lastRun = chained;
    return chained;
}

/// Runs deliver their results through the event loops of the worker and of the calling thread; without
/// an application object nobody runs those loops and a blocking call would wait for ever.
void requireApplication()
{
    if (!QCoreApplication::instance())
        throw std::runtime_error(AIModelTrainer::tr("Training and testing need a QCoreApplication: runs "
                                                    "deliver their results through Qt's event loops")
                                     .toStdString());
}

std::string bindingText(Attribute* attribute)
{
    if (!attribute || !attribute->getOwnerEntity())
        return "nothing";
    return "'" + attribute->getOwnerEntity()->getName() + ":" + attribute->getAttributePath().toString('.') + "'";
}

std::string sizesText(const std::vector<size_t>& sizes)
{
    std::string text;
    for (size_t size : sizes)
        text += (text.empty() ? "" : ",") + std::to_string(size);
    return text.empty() ? "none" : text;
}

const char* elementTypeName(AISystem::TensorElementType type)
{
    switch (type)
    {
    case AISystem::TensorElementType::Float:
        return "float";
    case AISystem::TensorElementType::None:
    case AISystem::TensorElementType::Double:
        return "double";
    }
    return "double";
}

const char* networkTypeText(AISystem::NeuralNetworkType type)
{
    switch (type)
    {
    case AISystem::NeuralNetworkType::Generic:
        return "generic";
    case AISystem::NeuralNetworkType::PhysicsInformed:
        return "physics-informed";
    case AISystem::NeuralNetworkType::PhysicsConserved:
        return "physics-conserved";
    }
    return "unknown";
}

void applyManualSeed(const std::optional<int>& seed)
{
    if (seed)
        AISystem::NeuralNetworkTrainer::setManualSeed(static_cast<std::uint64_t>(*seed));
}
} // namespace

std::optional<AISystem::PhysicalModel> AIModelTrainer::formPhysicalModel() const
{
    if (getNetworkType() == AISystem::NeuralNetworkType::Generic || !m_module ||
        !m_module->supportsPhysicalModel())
        return std::nullopt;
    return m_module->createPhysicalModel();
}

bool AIModelTrainer::canContinue() const
{
    return continuationMismatch().empty();
}

std::string AIModelTrainer::continuationMismatch() const
{
    if (!m_network)
        return "there is no network";
    if (!m_training)
        return "there is no training example";
    const int inputs = getNumberOfInputs();
    const int outputs = getNumberOfOutputs();
    if (columnCount(m_training->getInputs()) != inputs || columnCount(m_training->getOutputs()) != outputs)
        return "the training example's columns do not match the AI model's " + std::to_string(inputs) +
               " inputs and " + std::to_string(outputs) + " outputs";
    for (const auto& [side, bound, trained] :
         {std::tuple{"input", attributes(Side::Input), &m_networkInputs},
          std::tuple{"output", attributes(Side::Output), &m_networkOutputs}})
    {
        if (bound.size() != trained->size())
            return "the AI model has " + std::to_string(bound.size()) + " " + side + "s, the network was trained on " +
                   std::to_string(trained->size());
        for (size_t i = 0; i < bound.size(); ++i)
            if (bound[i] != (*trained)[i])
                return std::string(side) + " " + std::to_string(i + 1) + " is bound to " + bindingText(bound[i]) +
                       ", the network was trained on " + bindingText((*trained)[i]);
    }
    const auto physicalModel = formPhysicalModel();
    const auto networkType = physicalModel ? getNetworkType() : AISystem::NeuralNetworkType::Generic;
    const auto layers = getHiddenLayers();
    const auto elementType = getTrainingDataType();
    if (m_network->canContinue(inputs, outputs, layers, elementType, physicalModel, networkType))
        return {};
    if (layers != m_network->getHiddenLayers())
        return "the network has hidden layers " + sizesText(m_network->getHiddenLayers()) +
               ", the options ask for " + sizesText(layers);
    if (std::string(elementTypeName(elementType)) != elementTypeName(m_network->getElementType()))
        return std::string("the network is in ") + elementTypeName(m_network->getElementType()) +
               " precision, the options ask for " + elementTypeName(elementType);
    if (networkType != m_network->getNetworkType())
        return std::string("the network is ") + networkTypeText(m_network->getNetworkType()) +
               ", the options ask for a " + networkTypeText(networkType) + " network";
    return "the network's physical model differs from the one the item's bindings and fluids make now";
}

void AIModelTrainer::setOptimiser(AISystem::NeuralNetworkOptimiser optimiser)
{
    m_optimiser = optimiser;
}

AISystem::NeuralNetworkOptimiser AIModelTrainer::getOptimiser() const
{
    return m_optimiser;
}

void AIModelTrainer::dropNetwork()
{
    // A run in progress keeps its share of the network and stops after its current iteration.
    m_abandon->store(true);
    m_abandon = std::make_shared<std::atomic<bool>>(false);
    m_network.reset();
    m_networkInputs.clear();
    m_networkOutputs.clear();
}

void AIModelTrainer::rememberBindings()
{
    m_networkInputs = attributes(Side::Input);
    m_networkOutputs = attributes(Side::Output);
}

std::vector<std::string> AIModelTrainer::useStandardValues()
{
    std::vector<std::string> notes;
    Entity* model = getAIModel();
    if (!model)
        return notes;
    for (const bool isInput : {true, false})
    {
        CountedCompositeAttribute* list = AIModuleGenerator::findValueList(model, isInput);
        for (std::size_t i = 0; list && i < list->childCount(); ++i)
        {
            Attribute* child = list->getChild(i);
            if (!child || !child->isCompositeAttribute())
                continue;
            auto* value = static_cast<CompositeAttribute*>(child);
            const int index = static_cast<int>(i);
            const std::string name = std::string(isInput ? "input " : "output ") + std::to_string(i + 1) + " " +
                                     bindingText(isInput ? getInputAttribute(index) : getOutputAttribute(index));
            if (Attribute* unit = value->findAttribute("Model Unit"); unit && unit->isUnitTypeAttribute())
            {
                auto* modelUnit = static_cast<UnitTypeAttribute*>(unit);
                const std::string was = modelUnit->getValue(); // brings the derived quantity up to date
                const std::string standard = UnitConverter::instance().getSIType(modelUnit->getQuantity());
                if (!modelUnit->getTransform().isIdentity() && !standard.empty() &&
                    EntityEditor::setValueNoThrow(value, "Model Unit", standard))
                    notes.push_back(name + ": Model Unit " + was + " reset to the standard unit " + standard);
            }
            const AttributePath group = isInput ? AttributePath(To_Model_Transformation_t)
                                                : AttributePath(From_Model_Transformation_t);
            const TypeRef scaling = getTypeValue(value, group / Type_t, TypeRef());
            if (scaling != TypeRef() && scaling != None_t && EntityEditor::setValueNoThrow(value, group / Type_t, None_t))
                notes.push_back(name + ": scaling " + scaling.getLabel() + " removed");
        }
    }
    return notes;
}

void AIModelTrainer::reset()
{
    dropNetwork();
    applyManualSeed(getInitialRandomSeed());
    Entity* model = getAIModel();
    if (!model)
        return;
    EntityEditor::setValueNoThrow(model, Identification_t / Summary_t, std::string());
    for (const bool isInput : {true, false})
        if (CountedCompositeAttribute* list = AIModuleGenerator::findValueList(model, isInput))
            for (std::size_t i = 0; i < list->childCount(); ++i)
                if (Attribute* child = list->getChild(i); child && child->isCompositeAttribute())
                {
                    auto* composite = static_cast<CompositeAttribute*>(child);
                    EntityEditor::setValueNoThrow(composite, Bounds_t / Has_Min_t, No_t);
                    EntityEditor::setValueNoThrow(composite, Bounds_t / Has_Max_t, No_t);
                }
}

AISystem::Tensor AIModelTrainer::createWeightTensor() const
{
    const int outputs = std::max(getNumberOfOutputs(), 0);
    std::vector<double> weights(static_cast<std::size_t>(outputs));
    double sum = 0.0;
    for (int j = 0; j < outputs; ++j)
        sum += weights[static_cast<std::size_t>(j)] = std::abs(getOutputWeight(j));
    for (double& weight : weights)
        weight = sum != 0.0 ? weight / sum : 1.0;
    return AISystem::Tensor::fromValues(AISystem::TensorShape{static_cast<std::int64_t>(outputs)}, weights);
}

void AIModelTrainer::updateBounds(const AISystem::Example& example)
{
    Entity* model = getAIModel();
    if (!model)
        return;
    updateBounds(example.getInputs(), AIModuleGenerator::findValueList(model, true));
    updateBounds(example.getOutputs(), AIModuleGenerator::findValueList(model, false));
}

void AIModelTrainer::updateBounds(const AISystem::Tensor& values, CountedCompositeAttribute* composite)
{
    if (!composite)
        return;
    const auto [minima, maxima] =
        values.getDimensionCount() == 2 ? values.minmax(0) : std::pair<AISystem::Tensor, AISystem::Tensor>{};
    for (std::size_t i = 0; i < composite->childCount(); ++i)
    {
        Attribute* child = composite->getChild(i);
        if (!child || !child->isCompositeAttribute())
            continue;
        auto* value = static_cast<CompositeAttribute*>(child);
        const auto column = static_cast<std::int64_t>(i);
        // A column the tensor lacks has no range: it counts as empty.
        if (column >= minima.getElementCount())
            EntityEditor::setValueNoThrow(value, Bounds_t / Has_Min_t, No_t);
        else if (const double low = minima.getDouble(column);
                 !getBoolValue(value, Bounds_t / Has_Min_t) ||
                 getStandardDoubleValue(value, Bounds_t / Min_t) > low)
        {
            EntityEditor::setValueNoThrow(value, Bounds_t / Has_Min_t, Yes_t);
            EntityEditor::setValueNoThrow(value, Bounds_t / Min_t, low);
        }
        if (column >= maxima.getElementCount())
            EntityEditor::setValueNoThrow(value, Bounds_t / Has_Max_t, No_t);
        else if (const double high = maxima.getDouble(column);
                 !getBoolValue(value, Bounds_t / Has_Max_t) ||
                 getStandardDoubleValue(value, Bounds_t / Max_t) < high)
        {
            EntityEditor::setValueNoThrow(value, Bounds_t / Has_Max_t, Yes_t);
            EntityEditor::setValueNoThrow(value, Bounds_t / Max_t, high);
        }
    }
}

Futures::FutureEx<AIModelTrainerResult> AIModelTrainer::trainAsync()
{
    return startTraining(nullptr);
}

AIModelTrainerResult AIModelTrainer::train(Tools::ToolProgress* progress)
{
    return startTraining(progress).get();
}

Futures::FutureEx<AIModelTrainerResult> AIModelTrainer::startTraining(Tools::ToolProgress* progress)
{
    using Result = AIModelTrainerResult;
    try
    {
        requireApplication();
        if (m_network && !canContinue())
            throw std::runtime_error(tr("Unable to continue training").toStdString());
        if (!canContinue())
            reset();
        if (!m_network)
        {
            const auto physicalModel = formPhysicalModel();
            try
            {
                m_network = std::make_shared<AISystem::NeuralNetworkTrainer>(
                    getNumberOfInputs(), getNumberOfOutputs(), getHiddenLayers(), getTrainingDataType(),
                    physicalModel, physicalModel ? getNetworkType() : AISystem::NeuralNetworkType::Generic);
            }
            catch (...)
            {
                m_network.reset();
                applyManualSeed(getInitialRandomSeed());
                throw;
            }
            // A new network learns standard values: the AI model must hand it those.
            useStandardValues();
            rememberBindings();
        }
        if (!m_network)
            return noTrainerFuture();
        m_network->setOptions({m_optimiser});

        QThread* worker = startWorkerThread();
        if (m_training)
            updateBounds(*m_training);
        auto* runner = new AIModelTrainerRunner(m_network, m_training ? *m_training : AISystem::Example(),
                                                m_testing ? *m_testing : AISystem::Example(), getTargetRMSError(),
                                                getMaximumInterations(), getLearningRate(), createWeightTensor(),
                                                m_abandon);
        runner->moveToThread(worker);
        connect(worker, &QThread::finished, runner, &QObject::deleteLater);
        return startRunner(this, runner, m_network.get(), progress, trainingText, m_lastRun);
    }
    catch (...)
    {
        return Futures::makeFailedFuture<Result>(std::current_exception());
    }
}

Futures::FutureEx<AIModelTrainerResult> AIModelTrainer::testAsync()
{
    if (!hasTestingData())
        return Futures::makeFailedFuture<AIModelTrainerResult>(
            std::make_exception_ptr(std::runtime_error(tr("No testing data").toStdString())));
    return startTesting(*m_testing, nullptr);
}

Futures::FutureEx<AIModelTrainerResult> AIModelTrainer::testAsync(const AISystem::Example& example)
{
    return startTesting(example, nullptr);
}

AIModelTrainerResult AIModelTrainer::test(Tools::ToolProgress* progress)
{
    if (!hasTestingData())
        throw std::runtime_error(tr("No testing data").toStdString());
    return startTesting(*m_testing, progress).get();
}

AIModelTrainerResult AIModelTrainer::test(const AISystem::Example& example, Tools::ToolProgress* progress)
{
    return startTesting(example, progress).get();
}

Futures::FutureEx<AIModelTrainerResult> AIModelTrainer::startTesting(const AISystem::Example& example,
                                                                     Tools::ToolProgress* progress)
{
    using Result = AIModelTrainerResult;
    try
    {
        requireApplication();
        if (!m_network)
            return noTrainerFuture();
        return startRunner(this, new AIModelTesterRunner(this, m_network, example, createWeightTensor()),
                           m_network.get(), progress, testingText, m_lastRun);
    }
    catch (...)
    {
        return Futures::makeFailedFuture<Result>(std::current_exception());
    }
}
} // namespace Conflux

namespace Conflux
{
bool AIModelTrainer::restoreNeuralNetwork(std::vector<std::string>* notes)
{
    Entity* model = getAIModel();
    if (!model)
        return false;
    const auto bytes = getByteArrayValue(model, NeuralNetwork_Model_Data_t);
    if (bytes.empty())
        return false;
    std::shared_ptr<AISystem::NeuralNetworkTrainer> network;
    try
    {
        network = AISystem::NeuralNetworkTrainer::fromByteArray(bytes);
        // The network took the values the AI model's unit conversions and scaling made; folded into it,
        // it takes standard values as training gives them, and the model hands it those from now on.
        std::vector<std::pair<double, double>> maps[2];
        bool identity = true;
        for (const bool isInput : {true, false})
        {
            CountedCompositeAttribute* list = AIModuleGenerator::findValueList(model, isInput);
            for (std::size_t i = 0; list && i < list->childCount(); ++i)
            {
                Attribute* child = list->getChild(i);
                const auto transform = child && child->isCompositeAttribute()
                                           ? AIModuleGenerator::generateTransform(
                                                 static_cast<CompositeAttribute*>(child), isInput)
                                           : Utilities::LinearTransform<double>{};
                identity = identity && transform.isIdentity();
                maps[isInput ? 0 : 1].emplace_back(transform.a, transform.b);
            }
        }
        if (!identity)
            network->foldValueTransforms(maps[0], maps[1]);
    }
    catch (const std::exception& error)
    {
        if (notes)
            notes->push_back(error.what());
        return false;
    }
    dropNetwork();
    m_network = std::move(network);
    for (const std::string& note : useStandardValues())
        if (notes)
            notes->push_back(note + " (folded into the network)");
    EntityEditor::setValue(model, NeuralNetwork_Model_Data_t, Utilities::toString(m_network->toByteArray()));
    rememberBindings();
    return true;
}
} // namespace Conflux
