// AIModelTrainer: training and testing data as CSV files, saved networks and regression tests.
#include "src/ai/training/AIModelTrainer.h"

#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntitySaver.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/filesystem/Path.h"

#include <iostream>

namespace Conflux
{
using namespace EntityModel;

namespace
{
/// The units a bound value's column holds: the standard unit of its quantity (cells are SI values).
std::string unitsOf(const Attribute* attribute)
{
    if (!attribute || !attribute->isDoubleAttribute())
        return {};
    const UnitTypeAttribute* unit = static_cast<const DoubleAttribute*>(attribute)->getUnitAttribute();
    return unit ? UnitConverter::instance().getSIType(unit->getQuantity()) : std::string();
}
} // namespace

std::string AIModelTrainer::columnHeader(const char* role, Attribute* binding, int i) const
{
    const std::string prefix = std::string(role) + ": ";
    const Entity* owner = binding ? binding->getOwnerEntity() : nullptr;
    if (!owner)
        return prefix + std::to_string(i + 1);
    const std::string units = unitsOf(binding);
    return prefix + owner->getName() + ":" + binding->getAttributePath().toString('.') +
           (units.empty() ? std::string() : " (" + units + ")");
}

bool AIModelTrainer::saveData(const QString& file, bool testing, bool withResults)
{
    if (testing && !hasTestingData())
        return false;
    const AISystem::Example* example = testing ? m_testing.get() : m_training.get();
    if (!example)
        return false;

    std::vector<std::string> headers;
    for (int i = 0; i < getNumberOfInputs(); ++i)
        headers.push_back(columnHeader("Input", getInputAttribute(i), i));
    for (int i = 0; i < getNumberOfOutputs(); ++i)
        headers.push_back(columnHeader("Target", getOutputAttribute(i), i));
    if (withResults)
        for (int i = 0; i < getNumberOfOutputs(); ++i)
            headers.push_back(columnHeader("Result", getOutputAttribute(i), i));

    AISystem::Tensor data = example->getInputs();
    data.append(data.getDimensionCount() - 1, example->getOutputs());
    if (withResults)
        data.append(data.getDimensionCount() - 1, evaluateAsync(example->getInputs()).get());
    return AISystem::TensorWithHeaders(data, headers).toCSVFile(file.toStdString());
}

bool AIModelTrainer::saveTrainingData(const QString& file, bool withResults)
{
    return saveData(file, false, withResults);
}

bool AIModelTrainer::saveTestingData(const QString& file, bool withResults)
{
    return saveData(file, true, withResults);
}

AISystem::Example AIModelTrainer::readData(const QString& file, bool results)
{
    const auto table = AISystem::TensorWithHeaders::fromCSVFile(file.toStdString(),
                                                                AISystem::TensorElementType::Double, true);
    AISystem::Example example;
    const auto& headers = table.getHeaders();
    for (std::size_t i = 0; i < headers.size(); ++i)
    {
        const std::string& header = headers[i];
        if (header.compare(0, 6, "Input:") == 0)
            example.getInputs().append(1, table.getColumn(static_cast<std::int64_t>(i)));
        else if (header.rfind(results ? "Result:" : "Target:", 0) == 0)
            example.getOutputs().append(1, table.getColumn(static_cast<std::int64_t>(i)));
    }
    return example;
}

bool AIModelTrainer::saveAIModel(const QString& file)
{
    return m_network && m_network->toFile(file.toStdString());
}

bool AIModelTrainer::saveAsRegressionTest(const QString& file)
{
    if (!m_entity)
        return false;
    std::vector<Entity*> entities{m_entity.get()};
    if (Entity* target = getEntity())
        entities.push_back(target);
    EntitySaver(EntityEditor::getDataFactory()).save(entities, file);
    const QString base = QString::fromStdString(FileSystem::Path::stripExtension(file.toStdString()));
    saveAIModel(base + ".ai");
    saveData(base + ".train.csv", false, false);
    saveData(base + ".test.csv", true, false);
    return true;
}

void AIModelTrainer::printTrainingData()
{
    if (!m_training)
    {
        std::cout << "NO TRAINING EXAMPLE" << std::endl;
        return;
    }
    std::cout << m_training->getInputs() << std::endl << m_training->getOutputs() << std::endl;
}

void AIModelTrainer::printTestingData()
{
    if (!m_testing)
    {
        std::cout << "NO TESTING EXAMPLE" << std::endl;
        return;
    }
    std::cout << m_testing->getInputs() << std::endl << m_testing->getOutputs() << std::endl;
}
} // namespace Conflux
