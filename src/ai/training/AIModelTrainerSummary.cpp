// AIModelTrainer: the network and its summary, stored in the AI model after every run.
#include "src/ai/training/AIModelTrainer.h"

#include "src/ai/definition/AIModuleGenerator.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/UnitConverter.h"

#include <sstream>
#include <stdexcept>

namespace Conflux
{
using namespace EntityModel;

namespace
{
const char* networkTypeName(AISystem::NeuralNetworkType type)
{
    switch (type)
    {
    case AISystem::NeuralNetworkType::Generic:
        return "Generic";
    case AISystem::NeuralNetworkType::PhysicsInformed:
        return "PhysicsInformed";
    case AISystem::NeuralNetworkType::PhysicsConserved:
        return "PhysicsConserved";
    }
    return "";
}

QString number(double value)
{
    return QString("%1").arg(value, 0, 'g', -1, QLatin1Char(' '));
}

/// One block per input (output): the binding, then its minimum and maximum in the CSV unit.
void writeValues(std::ostream& text, CountedCompositeAttribute* list)
{
    if (!list)
        return;
    for (std::size_t i = 0; i < list->childCount(); ++i)
    {
        Attribute* child = list->getChild(i);
        if (!child || !child->isCompositeAttribute())
            continue;
        auto* value = static_cast<CompositeAttribute*>(child);
        const Entity* bound = getLinkedEntity(value, Entity_t);
        text << '\t' << (bound ? bound->getName() : std::string()) << ' '
             << getStringValue(value, Attribute_t) << std::endl;
        // Bounds hold standard values; they are shown in the CSV unit of the value.
        const Attribute* unitAttribute = value->findAttribute(CSV_Unit_t);
        const auto* unit = unitAttribute && unitAttribute->isUnitTypeAttribute()
                               ? static_cast<const UnitTypeAttribute*>(unitAttribute)
                               : nullptr;
        const std::string units = unit ? unit->getValue() : std::string();
        const auto inUnits = [&](const AttributePath& path)
        {
            const double standard = getStandardDoubleValue(value, path, 0.0);
            if (!unit || !UnitConverter::instance().hasQuantity(unit->getQuantity()))
                return standard;
            try
            {
                return UnitConverter::instance().fromStandard(unit->getQuantity(), units, standard);
            }
            catch (const std::runtime_error&)
            {
                return standard;
            }
        };
        if (getBoolValue(value, Bounds_t / Has_Min_t))
            text << "\t\t"
                 << "Min " << inUnits(Bounds_t / Min_t) << ' ' << units << std::endl;
        else
            text << "\t\t"
                 << "No Min Specified" << std::endl;
        if (getBoolValue(value, Bounds_t / Has_Max_t))
            text << "\t\t"
                 << "Max " << inUnits(Bounds_t / Max_t) << ' ' << units << std::endl;
        else
            text << "\t\t"
                 << "No Max Specified" << std::endl;
    }
}
} // namespace

void AIModelTrainer::updateSummary(const AIModelTrainerResult& result)
{
    Entity* model = getAIModel();
    if (!model)
        return;
    EntityEditor::setValue(model, Model_Type_t, NeuralNetwork_t);
    EntityEditor::setValue(model, NeuralNetwork_Model_Data_t,
                           m_network ? Utilities::toString(m_network->toByteArray()) : std::string());

    std::ostringstream text;
    text << tr("Network Type : %1")
                .arg(QString::fromLatin1(m_network ? networkTypeName(m_network->getNetworkType()) : ""), 0,
                     QLatin1Char(' '))
                .toStdString()
         << std::endl;
    text << tr("Training RMS Error %1").arg(number(result.training.rmsError)).toStdString() << std::endl;
    if (result.training.testResult)
        text << tr("Testing RMS Error %1").arg(number(result.training.testResult->rmsError)).toStdString()
             << std::endl;
    text << tr("Input Values:").toStdString() << std::endl;
    writeValues(text, AIModuleGenerator::findValueList(model, true));
    text << tr("Output Values:").toStdString() << std::endl;
    writeValues(text, AIModuleGenerator::findValueList(model, false));
    EntityEditor::setValue(model, Identification_t / Summary_t, text.str());
}
} // namespace Conflux
