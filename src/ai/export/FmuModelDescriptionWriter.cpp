#include "src/ai/export/FmuModelDescriptionWriter.h"

#include <QXmlStreamWriter>

#include <charconv>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

namespace Conflux
{
namespace
{
// A unit as FMI declares it: value in SI base units = factor · value + offset.
struct UnitDefinition
{
    QString name;
    int kg = 0, m = 0, s = 0, A = 0, K = 0, mol = 0, cd = 0, rad = 0;
    double factor = 1.0;
    double offset = 0.0;
    bool known = true; ///< false for a unit whose base units the exporter does not know
};

// The project's standard units, by their labels, with their SI base-unit exponents.
const std::map<QString, UnitDefinition>& standardUnits()
{
    static const std::map<QString, UnitDefinition> units = [] {
        std::map<QString, UnitDefinition> u;
        const auto add = [&u](const QString& label, UnitDefinition definition) { u[label] = definition; };
        UnitDefinition d;
        d = {};
        d.name = "degC", d.K = 1, d.offset = 273.15;
        add("°C", d);
        d = {};
        d.name = "K", d.K = 1;
        add("K", d);
        d = {};
        d.name = "W", d.kg = 1, d.m = 2, d.s = -3;
        add("W", d);
        d = {};
        d.name = "m3/s", d.m = 3, d.s = -1;
        add("m³/s", d);
        d = {};
        d.name = "kg/s", d.kg = 1, d.s = -1;
        add("kg/s", d);
        d = {};
        d.name = "kg/m3", d.kg = 1, d.m = -3;
        add("kg/m³", d);
        d = {};
        d.name = "J/(kg.K)", d.m = 2, d.s = -2, d.K = -1;
        add("J/(kg·K)", d);
        d = {};
        d.name = "m", d.m = 1;
        add("m", d);
        d = {};
        d.name = "m2", d.m = 2;
        add("m²", d);
        d = {};
        d.name = "s", d.s = 1;
        add("s", d);
        d = {};
        d.name = "Pa", d.kg = 1, d.m = -1, d.s = -2;
        add("Pa", d);
        d = {};
        d.name = "kg/kmol", d.kg = 1, d.mol = -1, d.factor = 1e-3;
        add("kg/kmol", d);
        d = {};
        d.name = "1";
        add("", d);
        return u;
    }();
    return units;
}

// A unit label written the way simulation tools spell units (ASCII, "." for a product).
QString fmiUnitName(const QString& label)
{
    QString name = label;
    name.replace("°C", "degC").replace("°F", "degF").replace("³", "3").replace("²", "2").replace("·", ".");
    return name.isEmpty() ? QString("1") : name;
}

QString number(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

struct DisplayUnit
{
    QString name;
    double factor;
    double offset;
};

struct Unit
{
    UnitDefinition definition;
    std::vector<DisplayUnit> displayUnits;
};

// One FMU variable as both versions write it.
struct Variable
{
    QString name;
    QString description;
    QString causality; // independent, input, output
    QString quantity;
    QString unit;        // FMI unit name; empty for none
    QString displayUnit; // empty when it is the unit itself
    std::optional<double> min, max, start;
    bool floatType = false;
};

QString describeVariable(const ExportedVariable& variable)
{
    return QString::fromStdString(variable.description.empty() ? variable.name : variable.description);
}

class Model
{
public:
    Model(const ExportedNetwork& network)
    {
        const bool single = network.elementType == AISystem::TensorElementType::Float;
        Variable time{"time", "Simulation time", "independent", "Time", unit("s", {}), {}, {}, {}, {}, false};
        variables.push_back(time);
        for (const auto& input : network.inputs)
        {
            if (!input.min || !input.max)
                throw std::runtime_error("Input '" + input.name + "' has no bounds");
            if (!(*input.min <= input.start && input.start <= *input.max))
                throw std::runtime_error("Input '" + input.name + "' starts at " + number(input.start).toStdString() +
                                         ", outside its bounds " + number(*input.min).toStdString() + " to " +
                                         number(*input.max).toStdString());
            variables.push_back(variable(input, "input", single));
            variables.back().min = input.min;
            variables.back().max = input.max;
            variables.back().start = input.start;
        }
        for (const auto& output : network.outputs)
            variables.push_back(variable(output, "output", single));
        if (FmuModelDescriptionWriter::exportsImbalance(network))
        {
            const QString owner = QString::fromStdString(network.ownerName.empty() ? network.modelName : network.ownerName);
            variables.push_back({FmuModelDescriptionWriter::energyImbalanceName(),
                                 "Energy imbalance of " + owner +
                                     ": heat sources plus the enthalpy flowing in, less the enthalpy flowing out",
                                 "output", "Power", unit("W", {}), {}, {}, {}, {}, false});
            variables.push_back({FmuModelDescriptionWriter::massImbalanceName(),
                                 "Mass imbalance of " + owner + ": the mass flowing in less the mass flowing out",
                                 "output", "MassFlowRate", unit("kg/s", {}), {}, {}, {}, {}, false});
        }
        inputCount = network.inputs.size();
    }

    std::vector<Variable> variables;
    std::map<QString, Unit> units; // by FMI unit name
    size_t inputCount = 0;

private:
    Variable variable(const ExportedVariable& source, const QString& causality, bool single)
    {
        Variable v;
        v.name = QString::fromStdString(source.name);
        v.description = describeVariable(source);
        v.causality = causality;
        v.quantity = QString::fromStdString(source.quantity).remove(' ');
        v.floatType = single;
        const QString standard = QString::fromStdString(source.unit);
        if (source.unit.empty() && source.displayUnit.empty())
            return v;
        std::optional<DisplayUnit> display;
        if (!source.displayUnit.empty() && source.displayUnit != source.unit)
        {
            if (source.displayFactor == 0.0 || !std::isfinite(source.displayFactor) || !std::isfinite(source.displayOffset))
                throw std::runtime_error("Variable '" + source.name + "' has the display unit '" + source.displayUnit +
                                         "' with a factor that cannot be inverted");
            // The project gives standard = f · shown + o; FMI wants shown = factor · value + offset.
            display = DisplayUnit{fmiUnitName(QString::fromStdString(source.displayUnit)), 1.0 / source.displayFactor,
                                  -source.displayOffset / source.displayFactor};
        }
        v.unit = unit(standard, display);
        if (display)
            v.displayUnit = display->name;
        return v;
    }

    QString unit(const QString& label, const std::optional<DisplayUnit>& display)
    {
        const auto& known = standardUnits();
        const auto found = known.find(label);
        UnitDefinition definition;
        if (found != known.end())
            definition = found->second;
        else
        {
            definition.name = fmiUnitName(label);
            definition.known = false;
        }
        auto& entry = units[definition.name];
        entry.definition = definition;
        if (display)
        {
            bool present = false;
            for (const auto& existing : entry.displayUnits)
                present = present || existing.name == display->name;
            if (!present)
                entry.displayUnits.push_back(*display);
        }
        return definition.name;
    }
};

void writeBaseUnit(QXmlStreamWriter& xml, const UnitDefinition& d)
{
    xml.writeStartElement("BaseUnit");
    const std::pair<const char*, int> exponents[] = {{"kg", d.kg}, {"m", d.m},     {"s", d.s},   {"A", d.A},
                                                      {"K", d.K},   {"mol", d.mol}, {"cd", d.cd}, {"rad", d.rad}};
    for (const auto& [name, exponent] : exponents)
        if (exponent != 0)
            xml.writeAttribute(name, QString::number(exponent));
    if (d.factor != 1.0)
        xml.writeAttribute("factor", number(d.factor));
    if (d.offset != 0.0)
        xml.writeAttribute("offset", number(d.offset));
    xml.writeEndElement();
}

void writeUnits(QXmlStreamWriter& xml, const Model& model)
{
    xml.writeStartElement("UnitDefinitions");
    for (const auto& [name, unit] : model.units)
    {
        xml.writeStartElement("Unit");
        xml.writeAttribute("name", name);
        if (unit.definition.known)
            writeBaseUnit(xml, unit.definition);
        for (const auto& display : unit.displayUnits)
        {
            xml.writeStartElement("DisplayUnit");
            xml.writeAttribute("name", display.name);
            if (display.factor != 1.0)
                xml.writeAttribute("factor", number(display.factor));
            if (display.offset != 0.0)
                xml.writeAttribute("offset", number(display.offset));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

void writeLogCategories(QXmlStreamWriter& xml)
{
    xml.writeStartElement("LogCategories");
    const std::pair<const char*, const char*> categories[] = {
        {"logStatusError", "Calls refused: out of order, unknown value references, values that are not finite"},
        {"logStatusWarning", "Inputs outside the range the network was trained on"},
        {"logCalls", "Every call of an FMI function (debug logging)"},
    };
    for (const auto& [name, description] : categories)
    {
        xml.writeStartElement("Category");
        xml.writeAttribute("name", name);
        xml.writeAttribute("description", description);
        xml.writeEndElement();
    }
    xml.writeEndElement();
}

void writeDefaultExperiment(QXmlStreamWriter& xml)
{
    xml.writeStartElement("DefaultExperiment");
    xml.writeAttribute("startTime", "0");
    xml.writeAttribute("stepSize", "1");
    xml.writeEndElement();
}

void writeRealAttributes(QXmlStreamWriter& xml, const Variable& v)
{
    if (!v.quantity.isEmpty())
        xml.writeAttribute("quantity", v.quantity);
    if (!v.unit.isEmpty())
        xml.writeAttribute("unit", v.unit);
    if (!v.displayUnit.isEmpty())
        xml.writeAttribute("displayUnit", v.displayUnit);
    if (v.min)
        xml.writeAttribute("min", number(*v.min));
    if (v.max)
        xml.writeAttribute("max", number(*v.max));
    if (v.start)
        xml.writeAttribute("start", number(*v.start));
}

QString join(const std::vector<QString>& items)
{
    QString text;
    for (const auto& item : items)
        text += (text.isEmpty() ? "" : " ") + item;
    return text;
}
} // namespace

FmuModelDescriptionWriter::FmuModelDescriptionWriter(const ExportedNetwork& network, FmuIdentity identity)
    : m_network(network), m_identity(std::move(identity))
{
}

bool FmuModelDescriptionWriter::exportsImbalance(const ExportedNetwork& network)
{
    if (!network.physicalModel)
        return false;
    for (const auto& output : network.outputs)
        if (output.factor == 0.0)
            return false;
    return true;
}

const char* FmuModelDescriptionWriter::energyImbalanceName() { return "Energy Imbalance"; }
const char* FmuModelDescriptionWriter::massImbalanceName() { return "Mass Imbalance"; }

QByteArray FmuModelDescriptionWriter::write(FmiVersion version) const
{
    const Model model(m_network);
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement("fmiModelDescription");
    const bool three = version == FmiVersion::Fmi3;
    xml.writeAttribute("fmiVersion", three ? "3.0" : "2.0");
    xml.writeAttribute("modelName", QString::fromStdString(m_network.modelName));
    xml.writeAttribute(three ? "instantiationToken" : "guid", m_identity.token);
    QString description = QString::fromStdString(m_network.description);
    if (description.isEmpty())
        description = "Neural network of the AI model " + QString::fromStdString(m_network.modelName) +
                      (m_network.ownerName.empty() ? QString() : " of " + QString::fromStdString(m_network.ownerName));
    xml.writeAttribute("description", description);
    xml.writeAttribute("generationTool", m_identity.generationTool);
    xml.writeAttribute("generationDateAndTime", m_identity.generationTime.toUTC().toString(Qt::ISODate));
    xml.writeAttribute("variableNamingConvention", "flat");
    if (!three)
        xml.writeAttribute("numberOfEventIndicators", "0");

    xml.writeStartElement("CoSimulation");
    xml.writeAttribute("modelIdentifier", m_identity.modelIdentifier);
    xml.writeAttribute("needsExecutionTool", "false");
    xml.writeAttribute("canHandleVariableCommunicationStepSize", "true");
    xml.writeAttribute("canBeInstantiatedOnlyOncePerProcess", "false");
    if (three)
    {
        xml.writeAttribute("canGetAndSetFMUState", "false");
        xml.writeAttribute("canSerializeFMUState", "false");
        xml.writeAttribute("providesDirectionalDerivatives", "false");
        xml.writeAttribute("providesAdjointDerivatives", "false");
        xml.writeAttribute("providesPerElementDependencies", "false");
        xml.writeAttribute("hasEventMode", "false");
    }
    else
    {
        xml.writeAttribute("canNotUseMemoryManagementFunctions", "true");
        xml.writeAttribute("canGetAndSetFMUstate", "false");
        xml.writeAttribute("canSerializeFMUstate", "false");
        xml.writeAttribute("providesDirectionalDerivative", "false");
    }
    xml.writeEndElement();

    writeUnits(xml, model);
    writeLogCategories(xml);
    writeDefaultExperiment(xml);

    xml.writeStartElement("ModelVariables");
    for (size_t reference = 0; reference < model.variables.size(); ++reference)
    {
        const auto& v = model.variables[reference];
        const QString valueReference = QString::number(reference);
        if (three)
        {
            xml.writeStartElement(v.floatType ? "Float32" : "Float64");
            xml.writeAttribute("name", v.name);
            xml.writeAttribute("valueReference", valueReference);
            xml.writeAttribute("description", v.description);
            xml.writeAttribute("causality", v.causality);
            xml.writeAttribute("variability", "continuous");
            if (v.causality == "output")
                xml.writeAttribute("initial", "calculated");
            writeRealAttributes(xml, v);
            xml.writeEndElement();
        }
        else
        {
            xml.writeStartElement("ScalarVariable");
            xml.writeAttribute("name", v.name);
            xml.writeAttribute("valueReference", valueReference);
            xml.writeAttribute("description", v.description);
            xml.writeAttribute("causality", v.causality);
            xml.writeAttribute("variability", "continuous");
            if (v.causality == "output")
                xml.writeAttribute("initial", "calculated");
            xml.writeStartElement("Real");
            writeRealAttributes(xml, v);
            xml.writeEndElement();
            xml.writeEndElement();
        }
    }
    xml.writeEndElement();

    // Every output depends on every input; FMI 3.0 lists value references, 2.0 1-based indices
    // of ModelVariables (value reference + 1).
    std::vector<QString> dependencies;
    std::vector<QString> kinds;
    for (size_t i = 1; i <= model.inputCount; ++i)
    {
        dependencies.push_back(QString::number(three ? i : i + 1));
        kinds.push_back("dependent");
    }
    xml.writeStartElement("ModelStructure");
    const auto writeUnknowns = [&](const char* element) {
        for (size_t reference = 0; reference < model.variables.size(); ++reference)
        {
            if (model.variables[reference].causality != "output")
                continue;
            xml.writeStartElement(element);
            xml.writeAttribute(three ? "valueReference" : "index", QString::number(three ? reference : reference + 1));
            xml.writeAttribute("dependencies", join(dependencies));
            xml.writeAttribute("dependenciesKind", join(kinds));
            xml.writeEndElement();
        }
    };
    if (three)
    {
        writeUnknowns("Output");
        writeUnknowns("InitialUnknown");
    }
    else
    {
        xml.writeStartElement("Outputs");
        writeUnknowns("Unknown");
        xml.writeEndElement();
        xml.writeStartElement("InitialUnknowns");
        writeUnknowns("Unknown");
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}
} // namespace Conflux
