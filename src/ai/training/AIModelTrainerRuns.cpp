// AIModelTrainer: training and testing runs, the network's continuation rules, output weights and
// the widening of the AI model's bounds.
#include "src/ai/training/AIModelTrainer.h"

#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTesterRunner.h"
#include "src/ai/training/AIModelTrainerModule.h"
#include "src/ai/training/AIModelTrainerRunner.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/EntityReading.h"
#include "host/services/ToolProgress.h"

#include <QThread>

#include <cmath>
#include <stdexcept>

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
    if (const auto& tested = result.training.testResult)
        text += AIModelTrainer::tr("Testing") + resultLines(tested->rmsError, tested->imbalance);
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
// progress gets the run's closing lines (none when closingText gives none).
template <typename Runner>
Futures::FutureEx<AIModelTrainerResult> startRunner(AIModelTrainer* trainer, Runner* runner,
                                                    Tools::ToolProgress* progress,
                                                    QString (*closingText)(const AIModelTrainerResult&))
{
    const auto future = runner->future();
    if (progress)
        future.attachProgress(progress);
    auto chained =
        future.then(trainer,
                    [trainer, future, closingText](AIModelTrainerResult result)
                    {
                        trainer->updateSummary(result);
                        const QString text = closingText(result);
                        if (Tools::ToolProgress* attached = future.progress(); attached && !text.isEmpty())
                            attached->message(text.toStdString());
                        return result;
                    });
    runner->startLater();
    return chained;
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
    if (!m_network || !m_training)
        return false;
    if (columnCount(m_training->getInputs()) != getNumberOfInputs() ||
        columnCount(m_training->getOutputs()) != getNumberOfOutputs())
        return false;
    const auto physicalModel = formPhysicalModel();
    return m_network->canContinue(getNumberOfInputs(), getNumberOfOutputs(), getHiddenLayers(),
                                  getTrainingDataType(), physicalModel,
                                  physicalModel ? getNetworkType() : AISystem::NeuralNetworkType::Generic);
}

void AIModelTrainer::reset()
{
    m_network.reset();
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
        if (m_network && !canContinue())
            throw std::runtime_error(tr("Unable to continue training").toStdString());
        if (!canContinue())
            reset();
        if (!m_network)
        {
            const auto physicalModel = formPhysicalModel();
            try
            {
                m_network = std::make_unique<AISystem::NeuralNetworkTrainer>(
                    getNumberOfInputs(), getNumberOfOutputs(), getHiddenLayers(), getTrainingDataType(),
                    physicalModel, physicalModel ? getNetworkType() : AISystem::NeuralNetworkType::Generic);
            }
            catch (...)
            {
                m_network.reset();
                applyManualSeed(getInitialRandomSeed());
                throw;
            }
        }
        if (!m_network)
            return noTrainerFuture();

        QThread* worker = startWorkerThread();
        if (m_training)
            updateBounds(*m_training);
        auto* runner =
            new AIModelTrainerRunner(m_network.get(), m_training ? *m_training : AISystem::Example(),
                                     m_testing ? *m_testing : AISystem::Example(), getTargetRMSError(),
                                     getMaximumInterations(), getLearningRate(), createWeightTensor());
        runner->moveToThread(worker);
        connect(worker, &QThread::finished, runner, &QObject::deleteLater);
        return startRunner(this, runner, progress, trainingText);
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
        if (!m_network)
            return noTrainerFuture();
        return startRunner(this,
                           new AIModelTesterRunner(this, m_network.get(), example, createWeightTensor()),
                           progress, testingText);
    }
    catch (...)
    {
        return Futures::makeFailedFuture<Result>(std::current_exception());
    }
}
} // namespace Conflux

namespace Conflux
{
bool AIModelTrainer::restoreNeuralNetwork()
{
    Entity* model = getAIModel();
    if (!model)
        return false;
    const auto bytes = getByteArrayValue(model, NeuralNetwork_Model_Data_t);
    if (bytes.empty())
        return false;
    try
    {
        m_network = AISystem::NeuralNetworkTrainer::fromByteArray(bytes);
    }
    catch (const std::exception&)
    {
        return false;
    }
    return true;
}
} // namespace Conflux
