// confluxtool export-fmu, run as the user runs it, and its FMUs imported as a simulation tool
// imports them: the archive unpacked, modelDescription.xml checked against the official schemas and
// for what they cannot see, the binary loaded with dlopen and run against the project's own
// evaluation of the same AI model.
#include "src/ai/definition/AIModuleGenerator.h"
#include "tests/fmu/FmuImporter.h"

#include "host/ai/modules/Module.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

using namespace ConfluxFmuTest;

namespace
{
const QString sample = CONFLUX_EXAMPLES_DIR "/sample-datacentre.json";
const QString serverTraining = CONFLUX_EXAMPLES_DIR "/data/server-training.csv";

struct Outcome
{
    int status = -1;
    std::string out;
    std::string err;
};

Outcome run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(300000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

Outcome confluxtool(const QStringList& arguments) { return run(CONFLUXTOOL_PROGRAM, arguments); }

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "ConfluxCliExportFMUTests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// What a simulation tool reads of modelDescription.xml.
struct Variable
{
    QString name;
    unsigned reference = 0;
    QString type; // Float64, Float32, Real
    QString causality;
    QString unit;
    QString displayUnit;
    std::optional<double> min, max, start;
};

struct Description
{
    QString version;
    QString token;
    QString identifier;
    std::vector<Variable> variables;
    std::map<QString, std::set<QString>> units; // unit -> display units
    std::vector<QString> outputs;               // value references (3.0) or indices (2.0)
    std::vector<QString> initialUnknowns;
    std::vector<QString> dependencies;
};

std::optional<double> number(const QXmlStreamAttributes& attributes, const char* name)
{
    if (!attributes.hasAttribute(name))
        return std::nullopt;
    return attributes.value(name).toDouble();
}

Description readDescription(const QByteArray& xml)
{
    Description d;
    QXmlStreamReader reader(xml);
    QString unit;
    Variable* scalar = nullptr;
    while (!reader.atEnd())
    {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto a = reader.attributes();
        const auto element = reader.name().toString();
        if (element == "fmiModelDescription")
        {
            d.version = a.value("fmiVersion").toString();
            d.token = a.hasAttribute("instantiationToken") ? a.value("instantiationToken").toString()
                                                           : a.value("guid").toString();
        }
        else if (element == "CoSimulation")
            d.identifier = a.value("modelIdentifier").toString();
        else if (element == "Unit")
        {
            unit = a.value("name").toString();
            d.units[unit];
        }
        else if (element == "DisplayUnit")
            d.units[unit].insert(a.value("name").toString());
        else if (element == "Float64" || element == "Float32" || element == "ScalarVariable")
        {
            Variable v;
            v.name = a.value("name").toString();
            v.reference = a.value("valueReference").toUInt();
            v.type = element;
            v.causality = a.value("causality").toString();
            d.variables.push_back(v);
            scalar = &d.variables.back();
        }
        if ((element == "Float64" || element == "Float32" || element == "Real") && scalar)
        {
            if (element == "Real")
                scalar->type = "Real";
            scalar->unit = a.value("unit").toString();
            scalar->displayUnit = a.value("displayUnit").toString();
            scalar->min = number(a, "min");
            scalar->max = number(a, "max");
            scalar->start = number(a, "start");
        }
        if (element == "Output")
        {
            d.outputs.push_back(a.value("valueReference").toString());
            d.dependencies.push_back(a.value("dependencies").toString());
        }
        else if (element == "InitialUnknown")
            d.initialUnknowns.push_back(a.value("valueReference").toString());
        else if (element == "Outputs" || element == "InitialUnknowns")
        {
            const bool outputs = element == "Outputs";
            while (reader.readNextStartElement())
            {
                const auto u = reader.attributes();
                (outputs ? d.outputs : d.initialUnknowns).push_back(u.value("index").toString());
                if (outputs)
                    d.dependencies.push_back(u.value("dependencies").toString());
                reader.skipCurrentElement();
            }
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return d;
}

// The checks a schema cannot make.
void checkBeyondTheSchema(const Description& d, size_t inputs)
{
    std::set<unsigned> references;
    std::set<QString> names;
    for (const auto& v : d.variables)
    {
        SCOPED_TRACE(v.name.toStdString());
        EXPECT_TRUE(references.insert(v.reference).second) << "value reference " << v.reference << " twice";
        EXPECT_TRUE(names.insert(v.name).second);
        if (!v.unit.isEmpty())
        {
            ASSERT_TRUE(d.units.count(v.unit)) << "unit " << v.unit.toStdString() << " is not defined";
            if (!v.displayUnit.isEmpty())
            {
                EXPECT_TRUE(d.units.at(v.unit).count(v.displayUnit)) << v.displayUnit.toStdString();
            }
        }
        if (v.causality == "input")
        {
            ASSERT_TRUE(v.min && v.max && v.start);
            EXPECT_LE(*v.min, *v.start);
            EXPECT_LE(*v.start, *v.max);
        }
        if (v.causality == "output")
        {
            // FMI 3.0 lists value references, 2.0 one-based indices into ModelVariables.
            const size_t position = static_cast<size_t>(&v - d.variables.data());
            const QString key = QString::number(d.version == "3.0" ? v.reference : position + 1);
            EXPECT_NE(std::find(d.outputs.begin(), d.outputs.end(), key), d.outputs.end()) << "not in Outputs";
            EXPECT_NE(std::find(d.initialUnknowns.begin(), d.initialUnknowns.end(), key), d.initialUnknowns.end())
                << "not an initial unknown";
        }
    }
    for (const auto& dependencies : d.dependencies)
        EXPECT_EQ(static_cast<size_t>(dependencies.split(' ', Qt::SkipEmptyParts).size()), inputs);
}

// Unpacks the FMU as an importer does, checking the archive's own rules on the way.
std::map<std::string, QByteArray> unpack(const QString& fmu, const QString& folder)
{
    int error = 0;
    zip_t* archive = zip_open(fmu.toUtf8().constData(), ZIP_RDONLY, &error);
    EXPECT_NE(archive, nullptr) << "libzip error " << error;
    std::map<std::string, QByteArray> files;
    if (!archive)
        return files;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
    {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        const std::string name = stat.name;
        EXPECT_EQ(name.find('\\'), std::string::npos) << name;
        EXPECT_EQ(stat.comp_method, ZIP_CM_DEFLATE) << name;
        QByteArray bytes(static_cast<qsizetype>(stat.size), Qt::Uninitialized);
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        EXPECT_EQ(zip_fread(file, bytes.data(), stat.size), static_cast<zip_int64_t>(stat.size));
        zip_fclose(file);
        files[name] = bytes;
        const QString path = folder + "/" + QString::fromStdString(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        out.setPermissions(out.permissions() | QFileDevice::ExeOwner);
    }
    zip_close(archive);
    return files;
}

void validateWithSchema(const QString& xmlFile, const QString& version)
{
    const QString schema = QString(CONFLUX_FMI_SCHEMAS) +
                           (version == "3.0" ? "/fmi3/fmi3ModelDescription.xsd" : "/fmi2/fmi2ModelDescription.xsd");
    ASSERT_TRUE(QFile::exists(schema)) << schema.toStdString();
    const Outcome lint = run("xmllint", {"--noout", "--schema", schema, xmlFile});
    EXPECT_EQ(lint.status, 0) << lint.err;
}

/// The project's AI model as the solver evaluates it, unit conversions and scaling included.
struct ProjectModel
{
    explicit ProjectModel(const QString& file) : project(EntityModel::ProjectFile::load(file))
    {
        std::vector<EntityModel::Entity*> found;
        project->getRootEntity()->getOwnedChildEntities(
            found, true, true, [](EntityModel::Entity* e) { return e->getName() == "Server A01-1 Surrogate"; });
        if (found.empty())
            throw std::runtime_error("no AI model");
        module = Conflux::AIModuleGenerator::generateTranformed(found.front());
    }
    std::unique_ptr<EntityModel::Project> project;
    AISystem::Module module;
};

/// Exports, unpacks, validates and runs 1,000 random cases in bounds through the FMU and through
/// the project's evaluation.
void exportAndCompare(const QString& project, const QString& fmiVersion, double tolerance, bool imbalance)
{
    SCOPED_TRACE("FMI " + fmiVersion.toStdString());
    QTemporaryDir dir;
    const QString fmu = dir.filePath("server.fmu");
    const Outcome exported = confluxtool({"export-fmu", project, "-o", fmu, "--fmi", fmiVersion});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const QString folder = dir.filePath("unpacked");
    const auto files = unpack(fmu, folder);
    ASSERT_TRUE(files.count("modelDescription.xml"));
    const Description d = readDescription(files.at("modelDescription.xml"));
    EXPECT_EQ(d.version, fmiVersion + ".0");
    validateWithSchema(folder + "/modelDescription.xml", d.version);
    const std::string platform = fmiVersion == "3" ? "x86_64-linux" : "linux64";
    const std::string binary = "binaries/" + platform + "/" + d.identifier.toStdString() + ".so";
    ASSERT_TRUE(files.count(binary)) << binary;
    EXPECT_TRUE(files.count("resources/network.txt"));
    EXPECT_EQ(files.size(), 3u);

    std::vector<const Variable*> inputs, outputs;
    for (const auto& v : d.variables)
        (v.causality == "input" ? inputs : v.causality == "output" ? outputs : inputs).push_back(&v);
    inputs.erase(std::remove_if(inputs.begin(), inputs.end(), [](const Variable* v) { return v->causality != "input"; }),
                 inputs.end());
    checkBeyondTheSchema(d, inputs.size());
    const size_t networkOutputs = outputs.size() - (imbalance ? 2 : 0);
    ASSERT_EQ(inputs.size(), 2u);
    ASSERT_EQ(networkOutputs, 2u);
    const bool single = !outputs.empty() && outputs.front()->type == "Float32";

    const ProjectModel model(project);
    ASSERT_EQ(model.module.canCalcImbalanceResults(), imbalance);
    FmuLibrary library((folder + "/" + QString::fromStdString(binary)).toStdString());
    ASSERT_TRUE(library.missing().empty()) << library.missing().front();
    LogCollector log;
    const std::string resources = (folder + "/resources").toStdString();
    std::vector<unsigned> in, out;
    for (const auto* v : inputs)
        in.push_back(v->reference);
    for (const auto* v : outputs)
        out.push_back(v->reference);
    void* instance = nullptr;
    const auto set = [&](const std::vector<double>& x) {
        if (fmiVersion == "2")
            return library.fmi2SetReal(instance, in.data(), in.size(), x.data()) == fmi2OK;
        if (!single)
            return library.fmi3SetFloat64(instance, in.data(), in.size(), x.data(), x.size()) == fmi3OK;
        std::vector<float> xf(x.begin(), x.end());
        return library.fmi3SetFloat32(instance, in.data(), in.size(), xf.data(), xf.size()) == fmi3OK;
    };
    const auto step = [&](double time) {
        if (fmiVersion == "2")
            return library.fmi2DoStep(instance, time, 1.0, fmi2True) == fmi2OK;
        return library.fmi3DoStep(instance, time, 1.0, true, nullptr, nullptr, nullptr, nullptr) == fmi3OK;
    };
    const auto get = [&](std::vector<double>& y) {
        // Imbalances are Float64 also in a float network's FMU.
        if (fmiVersion == "2")
            return library.fmi2GetReal(instance, out.data(), out.size(), y.data()) == fmi2OK;
        if (!single)
            return library.fmi3GetFloat64(instance, out.data(), out.size(), y.data(), y.size()) == fmi3OK;
        std::vector<float> yf(networkOutputs);
        bool ok = library.fmi3GetFloat32(instance, out.data(), networkOutputs, yf.data(), networkOutputs) == fmi3OK;
        for (size_t o = 0; o < networkOutputs; ++o)
            y[o] = yf[o];
        if (imbalance)
            ok = ok && library.fmi3GetFloat64(instance, out.data() + networkOutputs, 2, y.data() + networkOutputs, 2) ==
                           fmi3OK;
        return ok;
    };
    if (fmiVersion == "2")
    {
        const fmi2CallbackFunctions callbacks{&LogCollector::fmi2Log, nullptr, nullptr, nullptr, &log};
        const std::string uri = "file://" + resources;
        instance = library.fmi2Instantiate("server", fmi2CoSimulation, d.token.toUtf8().constData(), uri.c_str(),
                                           &callbacks, false, false);
        ASSERT_NE(instance, nullptr) << log.last();
        ASSERT_EQ(library.fmi2SetupExperiment(instance, false, 0.0, 0.0, false, 0.0), fmi2OK);
        ASSERT_EQ(library.fmi2EnterInitializationMode(instance), fmi2OK);
        ASSERT_EQ(library.fmi2ExitInitializationMode(instance), fmi2OK);
    }
    else
    {
        instance = library.fmi3InstantiateCoSimulation("server", d.token.toUtf8().constData(),
                                                       (resources + "/").c_str(), false, false, false, false, nullptr,
                                                       0, &log, &LogCollector::fmi3Log, nullptr);
        ASSERT_NE(instance, nullptr) << log.last();
        ASSERT_EQ(library.fmi3EnterInitializationMode(instance, false, 0.0, 0.0, false, 0.0), fmi3OK);
        ASSERT_EQ(library.fmi3ExitInitializationMode(instance), fmi3OK);
    }

    std::mt19937_64 random(42);
    double worstOutput = 0.0;
    double worstImbalance = 0.0;
    for (int c = 0; c < 1000; ++c)
    {
        std::vector<double> x;
        for (const auto* v : inputs)
            x.push_back(std::uniform_real_distribution<double>(*v->min, *v->max)(random));
        if (single)
            for (double& value : x)
                value = static_cast<float>(value);
        std::vector<double> y(outputs.size());
        ASSERT_TRUE(set(x) && step(c) && get(y)) << log.last();
        const auto cases = AISystem::Tensor::fromValues(AISystem::TensorShape{1, static_cast<std::int64_t>(x.size())}, x);
        const AISystem::Tensor expected = model.module.eval(cases);
        for (size_t o = 0; o < networkOutputs; ++o)
        {
            const double reference = expected.toDoubleVector()[o];
            worstOutput = std::max(worstOutput, std::abs(y[o] - reference) / std::max(std::abs(reference), 1e-300));
        }
        if (imbalance)
        {
            const auto balance = model.module.calcImbalanceResults(cases, expected);
            ASSERT_TRUE(balance);
            // The imbalance is a small difference of large heat flows: measured against the heat.
            const double heat = std::max(std::abs(x[0]), std::abs(x[1]));
            worstImbalance = std::max({worstImbalance, std::abs(y[networkOutputs] - balance->energy) / heat,
                                       std::abs(y[networkOutputs + 1] - balance->mass)});
        }
    }
    EXPECT_LE(worstOutput, tolerance);
    EXPECT_LE(worstImbalance, tolerance * 10);
    if (fmiVersion == "2")
    {
        EXPECT_EQ(library.fmi2Terminate(instance), fmi2OK);
        library.fmi2FreeInstance(instance);
    }
    else
    {
        EXPECT_EQ(library.fmi3Terminate(instance), fmi3OK);
        library.fmi3FreeInstance(instance);
    }
    EXPECT_TRUE(log.lines().empty()) << log.last();
}

/// The sample's server model trained again, briefly and seeded, physics-informed.
QString trainedWithPhysics(const QTemporaryDir& dir, bool single)
{
    const QString project = dir.filePath(single ? "float.json" : "double.json");
    QStringList arguments{"train", sample, "--equipment", "Server A01-1", "--data", serverTraining, "--type",
                          "informed", "-o", project, "--iterations", "40", "--hidden", "8", "--seed", "3",
                          "--target-rms", "0"};
    if (single)
        arguments << "--float";
    const Outcome trained = confluxtool(arguments);
    EXPECT_EQ(trained.status, 0) << trained.err;
    return project;
}
} // namespace

TEST(ExportFMUCommand, TheSampleServerSimulatesAsEvaluateComputesInBothVersions)
{
    app();
    for (const QString version : {"3", "2"})
        exportAndCompare(sample, version, 1e-12, false);
}

TEST(ExportFMUCommand, NetworksWithImbalancesInDoubleAndFloat)
{
    app();
    QTemporaryDir dir;
    const QString doubleProject = trainedWithPhysics(dir, false);
    const QString floatProject = trainedWithPhysics(dir, true);
    for (const QString version : {"3", "2"})
    {
        exportAndCompare(doubleProject, version, 1e-12, true);
        exportAndCompare(floatProject, version, 1e-5, true);
    }
}

TEST(ExportFMUCommand, GivesTheSameTokenForTheSameModel)
{
    app();
    QTemporaryDir dir;
    std::vector<QString> tokens;
    for (const char* name : {"a.fmu", "b.fmu"})
    {
        ASSERT_EQ(confluxtool({"export-fmu", sample, "-o", dir.filePath(name)}).status, 0);
        tokens.push_back(readDescription(unpack(dir.filePath(name), dir.filePath(QString(name) + ".d"))
                                             .at("modelDescription.xml"))
                             .token);
    }
    EXPECT_EQ(tokens[0], tokens[1]);
    EXPECT_TRUE(QRegularExpression("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$")
                    .match(tokens[0])
                    .hasMatch())
        << tokens[0].toStdString();
}

TEST(ExportFMUCommand, RefusesBadCommandLinesAndModelsItCannotExport)
{
    app();
    QTemporaryDir dir;
    const QString fmu = dir.filePath("out.fmu");
    // An input without bounds: the sample with the first input's minimum switched off.
    QFile original(sample);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray text = original.readAll();
    const QByteArray bounded = "\"Has Min\": true";
    ASSERT_TRUE(text.contains(bounded));
    text.replace(text.indexOf(bounded), bounded.size(), "\"Has Min\": false");
    const QString unbounded = dir.filePath("unbounded.json");
    QFile copy(unbounded);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(text);
    copy.close();
    QFile::copy(CONFLUX_EXAMPLES_DIR "/controller.py", dir.filePath("controller.py"));
    struct Row
    {
        const char* what;
        QStringList arguments;
        int status;
        std::string message;
    };
    QByteArray onnxText = text;
    onnxText.replace("\"Model Type\": \"NeuralNetwork\"", "\"Model Type\": \"ONNX\"");
    const QString onnx = dir.filePath("onnx.json");
    QFile onnxFile(onnx);
    ASSERT_TRUE(onnxFile.open(QIODevice::WriteOnly));
    onnxFile.write(onnxText);
    onnxFile.close();
    const std::string powerInput =
        "'Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment List.Server A01-1.Power.Power Definition.Typical "
        "Power'";
    const std::vector<Row> rows = {
        {"no output file", {"export-fmu", sample}, 2, "confluxtool export-fmu: -o FILE.fmu is needed\n"},
        {"unknown version", {"export-fmu", sample, "-o", fmu, "--fmi", "4"}, 2,
         "confluxtool export-fmu: --fmi takes 3 or 2, not '4'\n"},
        {"unknown model", {"export-fmu", sample, "-o", fmu, "--model", "Chiller 9"}, 2,
         "confluxtool export-fmu: unknown model 'Chiller 9'; the AI models of " + sample.toStdString() +
             " are:\n  'Server A01-1 Surrogate' of 'Server A01-1'\n"},
        {"missing project", {"export-fmu", dir.filePath("none.json"), "-o", fmu}, 2,
         "confluxtool export-fmu: " + dir.filePath("none.json").toStdString() +
             ": cannot be read (No such file or directory)\n"},
        {"input without bounds", {"export-fmu", unbounded, "-o", fmu}, 2,
         "confluxtool export-fmu: AI model 'Server A01-1 Surrogate': input 1 " + powerInput +
             " has no minimum; the export needs both bounds of every input (Bounds.Min and Bounds.Max)\n"},
        {"ONNX model", {"export-fmu", onnx, "-o", fmu}, 2,
         "confluxtool export-fmu: AI model 'Server A01-1 Surrogate' is an ONNX model; only a neural network "
         "trained in the project can be exported (its ONNX data already is one)\n"},
        {"unwritable output", {"export-fmu", sample, "-o", dir.filePath("no/such/folder/out.fmu")}, 1,
         "confluxtool export-fmu: Cannot write '" + dir.filePath("no/such/folder/out.fmu").toStdString() + "'"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        const Outcome outcome = confluxtool(row.arguments);
        EXPECT_EQ(outcome.status, row.status);
        // A usage error goes on with the usage; a file that cannot be written with the system's reason.
        EXPECT_EQ(outcome.err.substr(0, row.message.size()), row.message) << outcome.err;
        EXPECT_FALSE(QFile::exists(fmu));
    }
    const Outcome help = confluxtool({"export-fmu", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: confluxtool export-fmu PROJECT"), std::string::npos) << help.out;
}
