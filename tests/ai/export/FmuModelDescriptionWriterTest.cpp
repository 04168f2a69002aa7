// modelDescription.xml of the sample's server model against reviewed golden files (FMI 3.0 and
// 2.0, with the project's display units and a physical model), read back; and the weights file the
// FMU carries, read back by the runtime's own reader.
// After a deliberate change, regenerate the golden files by running this test with
// CONFLUX_UPDATE_GOLDEN=1 and review the difference.
#include "src/ai/export/FmuExporter.h"
#include "src/ai/export/FmuModelDescriptionWriter.h"

#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "tests/ai/export/ExportTestSupport.h"

#include <QFile>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>

using namespace EntityModel;
using Conflux::FmiVersion;
using Conflux::FmuModelDescriptionWriter;
using ExportTest::Sample;

namespace
{
const Conflux::FmuIdentity identity{"Server_A01_1_Surrogate", "{01234567-89ab-cdef-0123-456789abcdef}",
                                    "ConfluxTool test", QDateTime(QDate(2026, 12, 7), QTime(1, 2, 3), Qt::UTC)};

/// The sample with its server's power shown in kW and a physics-informed network of the given type.
Conflux::ExportedNetwork serverNetwork(Sample& sample, AISystem::TensorElementType type)
{
    auto* power = static_cast<DoubleAttribute*>(
        sample.entity("Server A01-1")->findAttribute("Power.Power Definition.Typical Power"));
    power->getUnitAttribute()->setValueFromString("kW");
    EntityEditor::setValue(sample.model(), NeuralNetwork_Model_Data_t,
                           ExportTest::trainedNetwork(type, ExportTest::serverBalance(),
                                                      AISystem::NeuralNetworkType::PhysicsInformed));
    return Conflux::extractNetwork(sample.model(), Conflux::InputBounds::Required);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every element's name with its attributes, in document order.
std::vector<std::pair<QString, std::map<QString, QString>>> elements(const QByteArray& xml)
{
    std::vector<std::pair<QString, std::map<QString, QString>>> result;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement)
        {
            std::map<QString, QString> attributes;
            for (const auto& a : reader.attributes())
                attributes[a.name().toString()] = a.value().toString();
            result.emplace_back(reader.name().toString(), attributes);
        }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return result;
}
} // namespace

TEST(FmuModelDescriptionWriter, ServerModelGivesTheGoldenDocumentsOfBothVersions)
{
    Sample sample;
    const auto network = serverNetwork(sample, AISystem::TensorElementType::Double);
    for (const auto& [version, name] : {std::pair{FmiVersion::Fmi3, "server-fmi3.xml"}, {FmiVersion::Fmi2, "server-fmi2.xml"}})
    {
        SCOPED_TRACE(name);
        const QByteArray written = FmuModelDescriptionWriter(network, identity).write(version);
        const QString golden = QStringLiteral(CONFLUX_TEST_DATA "/") + name;
        if (qEnvironmentVariableIsSet("CONFLUX_UPDATE_GOLDEN"))
        {
            QFile file(golden);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(written);
        }
        EXPECT_EQ(written.toStdString(), readFile(golden).toStdString());
    }
}

TEST(FmuModelDescriptionWriter, ReadsBackAsTheNetworksVariablesWithTheirUnits)
{
    Sample sample;
    for (const auto type : {AISystem::TensorElementType::Double, AISystem::TensorElementType::Float})
    {
        const auto network = serverNetwork(sample, type);
        const auto all = elements(FmuModelDescriptionWriter(network, identity).write(FmiVersion::Fmi3));
        std::vector<std::map<QString, QString>> variables;
        std::map<QString, std::map<QString, QString>> displayUnits;
        std::map<QString, std::map<QString, QString>> baseUnits;
        QString unit;
        for (const auto& [element, attributes] : all)
        {
            if (element == "Unit")
                unit = attributes.at("name");
            else if (element == "BaseUnit")
                baseUnits[unit] = attributes;
            else if (element == "DisplayUnit")
                displayUnits[attributes.at("name")] = attributes;
            else if (element == "Float64" || element == "Float32")
            {
                variables.push_back(attributes);
                variables.back()["element"] = element;
            }
        }
        const bool single = type == AISystem::TensorElementType::Float;
        ASSERT_EQ(variables.size(), 1 + network.inputs.size() + network.outputs.size() + 2);
        EXPECT_EQ(variables[0].at("name"), "time");
        for (size_t i = 0; i < network.inputs.size(); ++i)
        {
            const auto& v = variables[1 + i];
            EXPECT_EQ(v.at("name").toStdString(), network.inputs[i].name);
            EXPECT_EQ(v.at("valueReference"), QString::number(1 + i));
            EXPECT_EQ(v.at("element"), single ? "Float32" : "Float64");
            EXPECT_EQ(v.at("min").toDouble(), *network.inputs[i].min);
            EXPECT_EQ(v.at("max").toDouble(), *network.inputs[i].max);
            EXPECT_EQ(v.at("start").toDouble(), network.inputs[i].start);
        }
        EXPECT_EQ(variables.back().at("name"), "Mass Imbalance");
        EXPECT_EQ(variables.back().at("element"), "Float64");
        // The project shows the power in kW: FMI's display value is 0.001 times the value in W.
        EXPECT_EQ(variables[1].at("unit"), "W");
        EXPECT_EQ(variables[1].at("displayUnit"), "kW");
        EXPECT_EQ(displayUnits.at("kW").at("factor"), "0.001");
        EXPECT_EQ(baseUnits.at("W"), (std::map<QString, QString>{{"kg", "1"}, {"m", "2"}, {"s", "-3"}}));
        EXPECT_EQ(baseUnits.at("degC"), (std::map<QString, QString>{{"K", "1"}, {"offset", "273.15"}}));
        EXPECT_EQ(baseUnits.at("m3/s"), (std::map<QString, QString>{{"m", "3"}, {"s", "-1"}}));
    }
}

TEST(FmuExporter, WeightsFileReadsBackAndTheTokenFollowsTheModel)
{
    Sample sample;
    auto network = serverNetwork(sample, AISystem::TensorElementType::Double);
    Conflux::FmuExportOptions options;
    const Conflux::FmuExporter exporter(network, options);
    const auto read = ConfluxFmu::parseNetworkDescription(exporter.networkText());
    EXPECT_EQ(read, Conflux::FmuExporter::networkDescription(network, exporter.token().toStdString()));
    EXPECT_TRUE(read.balance.has_value());
    EXPECT_EQ(Conflux::FmuExporter(network, options).token(), exporter.token());
    EXPECT_EQ(exporter.modelIdentifier(), "Server_A01_1_Surrogate");
    network.inputs[0].max = *network.inputs[0].max + 1.0;
    EXPECT_NE(Conflux::FmuExporter(network, options).token(), exporter.token());
    // A missing runtime library is named.
    options.runtimeLibrary = "/nonexistent/libconflux-fmu-runtime.so";
    try
    {
        Conflux::FmuExporter(network, options).archive();
        ADD_FAILURE() << "no error";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot read the FMU runtime library '/nonexistent/libconflux-fmu-runtime.so'", 0), 0u) << e.what();
    }
}

TEST(FmuExporter, IdentifiersAreCNames)
{
    const std::vector<std::pair<QString, QString>> rows = {
        {"Server A01-1 Surrogate", "Server_A01_1_Surrogate"}, {"3rd CDU", "model_3rd_CDU"}, {"Kühler", "K_hler"},
        {"", "model_"}};
    for (const auto& [name, identifier] : rows)
    {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(Conflux::FmuExporter::identifierFor(name), identifier);
    }
}
