// confluxtool train PROJECT --equipment NAME --data TRAIN.csv: trains the neural network of an
// equipment item's AI model from a CSV file of cases, as the application's AI-model tools do, and
// stores it in the project.
#include "cli/Command.h"
#include "cli/CommandApplication.h"
#include "cli/TrainingProgress.h"
#include "cli/TrainingReport.h"

#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTrainer.h"
#include "src/project/EntityLookup.h"

#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/UnitConverter.h"
#include "src/project/CurrentProject.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>

namespace
{
using namespace EntityModel;
using AISystem::Tensor;

const char* usage =
    R"usage(Usage: confluxtool train PROJECT --equipment NAME --data TRAIN.csv [--test TEST.csv]
                         [options] [-o OUT] [--report DIR]

Trains the neural network of an IT equipment item's or a CDU's AI model on the cases of a CSV file
and stores it, with a summary and the inputs' and outputs' bounds widened to the training data, in
the project's AI model. An item that is not modelled by an AI model yet is switched to one.

The CSV file has a header row and one row per case. Columns headed "Input: ENTITY:PATH (UNIT)" are
the network's inputs, columns headed "Target: ENTITY:PATH (UNIT)" its outputs (ENTITY an entity's
name, PATH the attribute's dotted path, the unit optional, standard units when it is left out);
other columns are skipped. The AI model keeps its bindings when the columns name them in order, and
is bound to the columns otherwise. `confluxtool train --report` writes such files.

Options:
  --equipment NAME       the IT equipment item or CDU (required)
  --data FILE            the training cases (required)
  --test FILE            testing cases, with the same columns as the training cases
  --iterations N         training iterations, 1 or more (default 1000)
  --target-rms X         stop once the RMS error (relative to each output's spread) is at most X
                         (default 0.001)
  --optimizer NAME       lbfgs (default): full-batch L-BFGS, whose line search chooses each step
                         itself; or adam: full-batch Adam, whose step size is --learning-rate
  --learning-rate X      Adam's step size, above 0 (default 0.01); only with --optimizer adam
  --seed N               seeds the network's initial weights, for runs that repeat exactly
  --hidden N,N,...       hidden layer sizes, 1 to 10000 nodes each, at most 100 layers
                         (default 32,32)
  --layers L --nodes N   L hidden layers (0 to 100) of N nodes (1 to 10000) each, instead of --hidden
  --type TYPE            generic, informed (physics-informed: the energy balance of the item is part
                         of the loss) or conserved (outputs corrected to close the balance); by
                         default informed where the item's bindings allow it, otherwise generic
  --double, --float      the network's element type (default double)
  --continue             train the network stored in the project further: it keeps its hidden
                         layers, element type and network type (asking for others with --hidden,
                         --layers, --nodes, --float, --double or --type is refused: that is a new
                         network), and the columns must bind the attributes it was trained on, in
                         the same order. Unit conversions and scaling of the AI model's values are
                         folded into the network, which then takes standard units
  --weights W,W,...      the outputs' training weights, one per output: finite, not negative, not
                         all 0
  -o FILE                write the project to FILE instead of in place
  --report DIR           write into DIR the training and testing data with the network's results,
                         a regression test bundle and plots (PNG): the RMS error per iteration
                         and predicted against target values of each output

ENTITY and NAME are an entity's name, its path below the project ("Data Hall 1/Rack A01/Server
A01-1") or its ID ("1-40"); a name that several entities share is refused with the candidates
listed.

A new network takes values in standard units: each input's and output's Model Unit becomes the
standard unit and its scaling none, with a line saying so for each one changed.

Progress is a bar on a terminal and plain lines otherwise; Ctrl-C stops training and keeps the
network as trained so far. The project is saved before the report is written: a report that cannot
be written is a warning, the training is kept. Exit status: 0 trained and saved; 2 bad input (an
option out of range, unknown or ambiguous names, a CSV file with missing, non-numeric or non-finite
cells, no cases, columns that bind nothing, testing columns that differ, a run that fails or
diverges), the project untouched; 1 any other failure.
)usage";

/// A failure caused by what the user gave: exit status 2, the project untouched.
struct BadInput : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

/// A column header's binding: "Input: ENTITY:PATH (UNIT)".
struct Binding
{
    bool input = false;
    std::string entity;
    std::string path;
    std::string unit;
};

std::optional<Binding> parseHeader(std::string header)
{
    Binding binding;
    if (header.rfind("Input:", 0) == 0)
    {
        binding.input = true;
        header.erase(0, 6);
    }
    else if (header.rfind("Target:", 0) == 0)
        header.erase(0, 7);
    else
        return std::nullopt;
    if (!header.empty() && header.front() == ' ')
        header.erase(0, 1);
    if (const auto open = header.rfind(" ("); open != std::string::npos && header.back() == ')')
    {
        binding.unit = header.substr(open + 2, header.size() - open - 3);
        header.erase(open);
    }
    const auto colon = header.rfind(':');
    if (colon != std::string::npos)
    {
        binding.entity = header.substr(0, colon);
        binding.path = header.substr(colon + 1);
    }
    else
        binding.entity = header;
    return binding;
}

/// The cases of a data file: its input and target columns with their bindings.
struct DataFile
{
    QString name;
    std::vector<std::string> headers; ///< the input and target headers, in file order
    std::vector<Binding> inputs, targets;
    Tensor inputValues, targetValues;
    std::int64_t cases = 0;
};

DataFile readDataFile(const QString& file)
{
    AISystem::TensorWithHeaders table;
    try
    {
        table = AISystem::TensorWithHeaders::fromCSVFile(file.toStdString(),
                                                         AISystem::TensorElementType::Double, true);
    }
    catch (const std::exception& error)
    {
        throw BadInput(error.what());
    }
    DataFile data{file, {}, {}, {}, {}, {}, 0};
    const auto& headers = table.getHeaders();
    const Tensor& values = table.getTensor();
    data.cases = values.getDimensionCount() == 2 ? values.getDimensionSize(0) : 0;
    if (data.cases == 0)
        throw BadInput(file.toStdString() + ": no cases");
    for (std::int64_t row = 0; row < data.cases; ++row)
        for (std::int64_t column = 0; column < values.getDimensionSize(1); ++column)
            if (!std::isfinite(values.at(row, column)))
                throw BadInput(file.toStdString() + ", line " + std::to_string(row + 2) + ", column " +
                               std::to_string(column + 1) + " ('" +
                               headers[static_cast<std::size_t>(column)] + "'): the value is not finite");
    for (std::size_t i = 0; i < headers.size(); ++i)
    {
        const auto binding = parseHeader(headers[i]);
        if (!binding)
            continue;
        data.headers.push_back(headers[i]);
        (binding->input ? data.inputs : data.targets).push_back(*binding);
        (binding->input ? data.inputValues : data.targetValues)
            .append(1, table.getColumn(static_cast<std::int64_t>(i)));
    }
    if (data.inputs.empty() || data.targets.empty())
        throw BadInput(file.toStdString() + ": the headers bind nothing: it needs \"Input: ENTITY:PATH\" and "
                                            "\"Target: ENTITY:PATH\" columns");
    return data;
}

/// The entity a column names; an unknown or shared name is bad input naming the column.
Entity* columnEntity(Entity* root, const Binding& binding, const QString& file)
{
    try
    {
        return Conflux::EntityLookup::find(root, binding.entity);
    }
    catch (const Conflux::EntityLookup::Error& error)
    {
        throw BadInput(file.toStdString() + ": column '" + (binding.input ? "Input: " : "Target: ") +
                       binding.entity + ":" + binding.path + "' binds nothing: " + error.what());
    }
}

/// Whether input (output) i of the trainer is bound as the column says.
bool sameBinding(Attribute* bound, Entity* entity, const Binding& binding)
{
    return bound && bound->getOwnerEntity() == entity && bound->getAttributePath().toString('.') == binding.path;
}

/// Converts a column given in the header's unit into the attribute's standard unit.
void toStandardUnits(Tensor& values, std::int64_t column, Attribute* attribute, const Binding& binding,
                     const QString& file)
{
    if (binding.unit.empty() || !attribute || !attribute->isDoubleAttribute())
        return;
    const UnitTypeAttribute* unit = static_cast<DoubleAttribute*>(attribute)->getUnitAttribute();
    if (!unit)
        return;
    const auto& converter = UnitConverter::instance();
    if (binding.unit == converter.getSIType(unit->getQuantity()))
        return;
    const auto transform = converter.transform(unit->getQuantity(), binding.unit);
    if (!transform)
        throw BadInput(file.toStdString() + ": '" + binding.unit + "' is no unit of " + binding.entity + ":" +
                       binding.path);
    for (std::int64_t row = 0; row < values.getDimensionSize(0); ++row)
        values.setElementValue(row * values.getDimensionSize(1) + column,
                               AISystem::TensorElement((*transform)(values.at(row, column))));
}

/// Binds the AI model's inputs and outputs to the columns, unless they are bound so already.
void bind(Conflux::AIModelTrainer& trainer, Entity* root, const DataFile& data)
{
    bool same = trainer.getNumberOfInputs() == static_cast<int>(data.inputs.size()) &&
                trainer.getNumberOfOutputs() == static_cast<int>(data.targets.size());
    for (std::size_t i = 0; same && i < data.inputs.size(); ++i)
        same = sameBinding(trainer.getInputAttribute(static_cast<int>(i)),
                           columnEntity(root, data.inputs[i], data.name), data.inputs[i]);
    for (std::size_t i = 0; same && i < data.targets.size(); ++i)
        same = sameBinding(trainer.getOutputAttribute(static_cast<int>(i)),
                           columnEntity(root, data.targets[i], data.name), data.targets[i]);
    if (same)
        return;
    trainer.clear();
    const Tensor none =
        Tensor::createTensor(AISystem::TensorShape{0, 1}, AISystem::TensorElementType::Double);
    for (const auto* list : {&data.inputs, &data.targets})
        for (const Binding& binding : *list)
        {
            Entity* entity = columnEntity(root, binding, data.name);
            const std::string column =
                std::string(binding.input ? "Input: " : "Target: ") + binding.entity + ":" + binding.path;
            const auto added = binding.input
                                   ? trainer.addInput(entity, AttributePath(binding.path), none, none)
                                   : trainer.addOutput(entity, AttributePath(binding.path), none, none);
            if (!added)
                throw BadInput(data.name.toStdString() + ": column '" + column + "' binds nothing: '" +
                               binding.entity + "' has no attribute " + binding.path + " that an AI model " +
                               (binding.input ? "input" : "output") + " can take");
        }
}

/// Puts a data file's cases into an example, in the bound attributes' standard units.
void fill(Conflux::AIModelTrainer& trainer, AISystem::Example& example, DataFile data)
{
    for (std::size_t i = 0; i < data.inputs.size(); ++i)
        toStandardUnits(data.inputValues, static_cast<std::int64_t>(i),
                        trainer.getInputAttribute(static_cast<int>(i)), data.inputs[i], data.name);
    for (std::size_t i = 0; i < data.targets.size(); ++i)
        toStandardUnits(data.targetValues, static_cast<std::int64_t>(i),
                        trainer.getOutputAttribute(static_cast<int>(i)), data.targets[i], data.name);
    example.setInputs(data.inputValues);
    example.setOutputs(data.targetValues);
    example.setNumberOfCases(data.cases);
}

// The largest hidden layer and the most hidden layers a network may have (the trainer's own limit
// on the layer count); larger ones cannot be trained on one machine in useful time.
constexpr int MaximumLayerSize = 10000;
constexpr int MaximumLayers = 100;

/// The hidden layer sizes of --hidden, each 1 to MaximumLayerSize; throws BadInput naming the option.
std::vector<std::size_t> layerSizes(const QString& text)
{
    std::vector<std::size_t> sizes;
    for (const QString& part : text.split(',', Qt::KeepEmptyParts))
    {
        bool ok = false;
        const int size = part.trimmed().toInt(&ok);
        if (!ok || size < 1 || size > MaximumLayerSize)
            throw BadInput("--hidden takes a list of whole numbers from 1 to " + std::to_string(MaximumLayerSize) +
                           ", such as 32,32, not '" + text.toStdString() + "'");
        sizes.push_back(static_cast<std::size_t>(size));
    }
    if (sizes.size() > static_cast<std::size_t>(MaximumLayers))
        throw BadInput("--hidden gives " + std::to_string(sizes.size()) + " layers; at most " +
                       std::to_string(MaximumLayers) + " are possible");
    return sizes;
}

/// The output weights of --weights: finite, not negative, not all 0; throws BadInput naming the option.
std::vector<double> outputWeights(const QString& text)
{
    std::vector<double> weights;
    bool any = false;
    for (const QString& part : text.split(',', Qt::KeepEmptyParts))
    {
        bool ok = false;
        const double weight = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(weight) || weight < 0.0)
            throw BadInput("--weights takes a list of finite numbers not below 0, such as 1,2, not '" +
                           text.toStdString() + "' ('" + part.trimmed().toStdString() + "')");
        any = any || weight > 0.0;
        weights.push_back(weight);
    }
    if (!any)
        throw BadInput("--weights: at least one weight must be above 0, not '" + text.toStdString() + "'");
    return weights;
}

double numberOption(const QCommandLineParser& parser, const QCommandLineOption& option, double fallback,
                    double minimum, bool minimumAllowed)
{
    if (!parser.isSet(option))
        return fallback;
    bool ok = false;
    const double value = parser.value(option).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < minimum || (!minimumAllowed && value == minimum))
        throw BadInput("--" + option.names().front().toStdString() + " takes a number " +
                       (minimumAllowed ? "not below " : "above ") + QString::number(minimum).toStdString() +
                       ", not '" + parser.value(option).toStdString() + "'");
    return value;
}

int wholeOption(const QCommandLineParser& parser, const QCommandLineOption& option, int fallback, int minimum,
                int maximum = std::numeric_limits<int>::max())
{
    if (!parser.isSet(option))
        return fallback;
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < minimum || value > maximum)
        throw BadInput("--" + option.names().front().toStdString() + " takes a whole number from " +
                       std::to_string(minimum) + " to " + std::to_string(maximum) + ", not '" +
                       parser.value(option).toStdString() + "'");
    return value;
}

TypeRef trainType(AISystem::NeuralNetworkType type)
{
    switch (type)
    {
    case AISystem::NeuralNetworkType::Generic:
        return Generic_t;
    case AISystem::NeuralNetworkType::PhysicsInformed:
        return Physics_Informed_t;
    case AISystem::NeuralNetworkType::PhysicsConserved:
        return Physics_Conserved_t;
    }
    return Generic_t;
}

std::string typeName(AISystem::NeuralNetworkType type)
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

/// " (UNIT)" with the standard unit of a bound value, which the report's values are in; empty without one.
std::string standardUnitPart(Attribute* attribute)
{
    if (!attribute->isDoubleAttribute())
        return {};
    const UnitTypeAttribute* unit = static_cast<DoubleAttribute*>(attribute)->getUnitAttribute();
    const std::string label = unit ? UnitConverter::instance().getSIType(unit->getQuantity()) : std::string();
    return label.empty() ? std::string() : " (" + label + ")";
}

/// The report: data files with results, the regression test and the plots.
void writeReport(Conflux::AIModelTrainer& trainer, const QString& folder,
                 const Conflux::AIModelTrainerResult& result, std::vector<std::pair<int, double>> history)
{
    QDir dir(folder);
    if (!dir.mkpath("."))
        throw std::runtime_error("cannot make the report folder " + folder.toStdString());
    const auto required = [](bool written, const QString& file)
    {
        if (!written)
            throw std::runtime_error("cannot write " + file.toStdString());
    };
    std::vector<std::string> written;
    required(trainer.saveTrainingData(dir.filePath("training.csv"), true), dir.filePath("training.csv"));
    written.push_back("training.csv");
    if (trainer.hasTestingData())
    {
        required(trainer.saveTestingData(dir.filePath("testing.csv"), true), dir.filePath("testing.csv"));
        written.push_back("testing.csv");
    }
    else
        QFile::remove(dir.filePath("testing.csv"));
    // The bundle's parts are written where they can be (no testing cases, no testing file): what an
    // earlier report left under their names would pass for this one's.
    const QStringList bundle{"regression-test.json", "regression-test.ai", "regression-test.train.csv",
                             "regression-test.test.csv"};
    for (const QString& file : bundle)
        QFile::remove(dir.filePath(file));
    trainer.saveAsRegressionTest(dir.filePath("regression-test.json"));
    for (const QString& file : bundle)
        if (QFileInfo::exists(dir.filePath(file)))
            written.push_back(file.toStdString());

    if (history.empty() || history.back().first != result.training.iterations)
        history.emplace_back(result.training.iterations, result.training.rmsError);
    ConfluxCli::TrainingReport::plotRmsHistory(history, dir.filePath("rms-error.png"));
    written.push_back("rms-error.png");

    const AISystem::Example* training = trainer.getTrainingExample();
    const AISystem::Example* testing = trainer.hasTestingData() ? trainer.getTestingExample() : nullptr;
    const Tensor trainingResults = trainer.evaluate(training->getInputs());
    const Tensor testingResults = testing ? trainer.evaluate(testing->getInputs()) : Tensor();
    const auto column = [](const Tensor& table, int j)
    {
        std::vector<double> values;
        for (std::int64_t row = 0; table.getDimensionCount() == 2 && row < table.getDimensionSize(0); ++row)
            values.push_back(table.at(row, j));
        return values;
    };
    for (int j = 0; j < trainer.getNumberOfOutputs(); ++j)
    {
        Attribute* bound = trainer.getOutputAttribute(j);
        ConfluxCli::OutputFit fit{
            bound && bound->getOwnerEntity()
                ? QString::fromStdString(bound->getOwnerEntity()->getName() + ":" +
                                         bound->getAttributePath().toString('.') + standardUnitPart(bound))
                : QString("Output %1").arg(j + 1),
            column(training->getOutputs(), j), column(trainingResults, j),
            testing ? column(testing->getOutputs(), j) : std::vector<double>{}, column(testingResults, j)};
        ConfluxCli::TrainingReport::plotFit(fit, dir.filePath(QString("fit-%1.png").arg(j + 1)));
        written.push_back("fit-" + std::to_string(j + 1) + ".png");
    }
    std::cout << "Report: " << folder.toStdString() << " (";
    for (std::size_t i = 0; i < written.size(); ++i)
        std::cout << (i ? ", " : "") << written[i];
    std::cout << ")\n";
}

int train(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("train");
    QCommandLineParser parser;
    const QCommandLineOption equipmentOption("equipment", "", "name");
    const QCommandLineOption dataOption("data", "", "file name");
    const QCommandLineOption testOption("test", "", "file name");
    const QCommandLineOption iterationsOption("iterations", "", "number");
    const QCommandLineOption targetOption("target-rms", "", "number");
    const QCommandLineOption rateOption("learning-rate", "", "number");
    const QCommandLineOption optimizerOption("optimizer", "", "name");
    const QCommandLineOption seedOption("seed", "", "number");
    const QCommandLineOption hiddenOption("hidden", "", "list of sizes");
    const QCommandLineOption layersOption("layers", "", "number");
    const QCommandLineOption nodesOption("nodes", "", "number");
    const QCommandLineOption typeOption("type", "", "type");
    const QCommandLineOption doubleOption("double");
    const QCommandLineOption floatOption("float");
    const QCommandLineOption continueOption("continue");
    const QCommandLineOption weightsOption("weights", "", "list of weights");
    const QCommandLineOption outputOption("o", "", "file name");
    const QCommandLineOption reportOption("report", "", "folder");
    if (const auto status = ConfluxCli::parseArguments(
            self, parser,
            {equipmentOption, dataOption, testOption, iterationsOption, targetOption, rateOption, optimizerOption,
             seedOption,
             hiddenOption, layersOption, nodesOption, typeOption, doubleOption, floatOption, continueOption,
             weightsOption, outputOption, reportOption},
            args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    const QStringList files = parser.positionalArguments();
    if (!parser.isSet(equipmentOption))
        return ConfluxCli::usageError(self, "--equipment names the item to train");
    if (!parser.isSet(dataOption))
        return ConfluxCli::usageError(self, "--data names the training cases");
    if (parser.isSet(hiddenOption) && (parser.isSet(layersOption) || parser.isSet(nodesOption)))
        return ConfluxCli::usageError(
            self, "--hidden and --layers/--nodes choose the hidden layers two ways: give one");
    if (parser.isSet(doubleOption) && parser.isSet(floatOption))
        return ConfluxCli::usageError(self, "--double and --float exclude each other");
    const QString type = parser.value(typeOption);
    if (parser.isSet(typeOption) && type != "generic" && type != "informed" && type != "conserved")
        return ConfluxCli::usageError(self, "--type takes generic, informed or conserved, not '" +
                                                type.toStdString() + "'");
    const QString optimizer = parser.isSet(optimizerOption) ? parser.value(optimizerOption) : "lbfgs";
    if (optimizer != "lbfgs" && optimizer != "adam")
        return ConfluxCli::usageError(self, "--optimizer takes lbfgs or adam, not '" + optimizer.toStdString() + "'");
    if (parser.isSet(rateOption) && optimizer != "adam")
        return ConfluxCli::usageError(self, "--learning-rate is Adam's step size: L-BFGS chooses its steps by its "
                                            "line search; add --optimizer adam to use it");
    if (parser.isSet(continueOption))
        for (const QCommandLineOption* shape :
             {&hiddenOption, &layersOption, &nodesOption, &floatOption, &doubleOption, &typeOption})
            if (parser.isSet(*shape))
                return ConfluxCli::usageError(
                    self, "--continue trains the stored network as it is; --" + shape->names().front().toStdString() +
                              " asks for another one (train without --continue for a new network)");

    // The report's plots are drawn without a display.
    const std::unique_ptr<QCoreApplication> application = ConfluxCli::makeCommandApplication(parser.isSet(reportOption));

    const QString projectFile = files.front();
    try
    {
        const int iterations = wholeOption(parser, iterationsOption, 1000, 1);
        const auto optimiser = optimizer == "adam" ? AISystem::NeuralNetworkOptimiser::Adam
                                                   : AISystem::NeuralNetworkOptimiser::LBFGS;
        const double targetRms = numberOption(parser, targetOption, 0.001, 0.0, true);
        const double learningRate = numberOption(parser, rateOption, 0.01, 0.0, false);
        const std::optional<int> seed = parser.isSet(seedOption)
                                            ? std::optional<int>(wholeOption(parser, seedOption, 0, 0))
                                            : std::nullopt;
        const std::vector<std::size_t> hidden =
            layerSizes(parser.isSet(hiddenOption) ? parser.value(hiddenOption) : "32,32");
        const int layers = wholeOption(parser, layersOption, 2, 0, MaximumLayers);
        const int nodes = wholeOption(parser, nodesOption, 32, 1, MaximumLayerSize);
        const auto weights =
            parser.isSet(weightsOption) ? outputWeights(parser.value(weightsOption)) : std::vector<double>{};

        std::unique_ptr<Project> project;
        try
        {
            project = ProjectFile::load(projectFile);
        }
        catch (const std::exception& error)
        {
            throw BadInput(error.what());
        }
        const Conflux::CurrentProject current(project.get());
        Entity* root = project->getRootEntity();

        const std::string equipmentName = parser.value(equipmentOption).toStdString();
        Entity* equipment = nullptr;
        try
        {
            equipment = Conflux::EntityLookup::find(
                root, equipmentName,
                [](const Entity* entity)
                { return entity->getTypeRef() == IT_Equipment_t || entity->getTypeRef() == CDU_t; },
                "IT equipment or CDU");
        }
        catch (const Conflux::EntityLookup::Error& error)
        {
            throw BadInput(error.what());
        }

        const DataFile trainingData = readDataFile(parser.value(dataOption));
        std::optional<DataFile> testingData;
        if (parser.isSet(testOption))
        {
            testingData = readDataFile(parser.value(testOption));
            if (testingData->headers != trainingData.headers)
                throw BadInput(parser.value(testOption).toStdString() +
                               ": its input and target columns differ from " +
                               parser.value(dataOption).toStdString() + "'s");
        }

        Conflux::AIModelTrainer trainer;
        trainer.initialize(equipment, true);
        Entity* model = trainer.getAIModel();
        if (!model)
            throw BadInput("'" + equipmentName + "' has no AI model, and none could be made");
        trainer.setOptimiser(optimiser);

        // A continued network is restored before the columns bind: it keeps the bindings it was
        // trained on, which the columns must then name in the same order.
        std::vector<std::string> notes;
        if (parser.isSet(continueOption))
        {
            if (!trainer.restoreNeuralNetwork(&notes))
                throw BadInput("--continue: the AI model of '" + equipmentName + "' holds no network that can be read" +
                               (notes.empty() ? std::string() : ": " + notes.front()));
            const AISystem::NeuralNetworkTrainer& stored = *trainer.getNeuralNetwork();
            trainer.setHiddenLayers(stored.getHiddenLayers());
            trainer.setTrainingDataType(stored.getElementType());
        }
        bind(trainer, root, trainingData);
        fill(trainer, *trainer.getTrainingExample(), trainingData);
        if (testingData)
            fill(trainer, *trainer.getTestingExample(), *testingData);
        if (!weights.empty())
        {
            if (static_cast<int>(weights.size()) != trainer.getNumberOfOutputs())
                throw BadInput("--weights gives " + std::to_string(weights.size()) + " weights for " +
                               std::to_string(trainer.getNumberOfOutputs()) + " outputs");
            for (std::size_t j = 0; j < weights.size(); ++j)
                trainer.setOutputWeight(static_cast<int>(j), weights[j]);
        }

        trainer.setMaximumIterations(iterations);
        trainer.setTargetRMSError(targetRms);
        trainer.setLearningRate(learningRate);
        trainer.setInitialRandomSeed(seed);
        // A continued network keeps the shape and element type taken from it above.
        if (!parser.isSet(continueOption))
        {
            trainer.setTrainingDataType(parser.isSet(floatOption) ? AISystem::TensorElementType::Float
                                                                  : AISystem::TensorElementType::Double);
            if (parser.isSet(layersOption) || parser.isSet(nodesOption))
            {
                const AttributePath network = Train_t / Advanced_Options_t / Network_t;
                EntityEditor::setValue(trainer.getOptions(), network / Generation_Mode_t, Simple_t);
                EntityEditor::setValue(trainer.getOptions(), network / "Hidden Layers Count", layers);
                EntityEditor::setValue(trainer.getOptions(), network / "Nodes Per Layer", nodes);
            }
            else
                trainer.setHiddenLayers(hidden);
        }

        // Physics first, as asked or by default; checkPhysicalModel falls back on generic when the
        // item's bindings do not allow it.
        const TypeRef asked = parser.isSet(continueOption) ? trainType(trainer.getNeuralNetwork()->getNetworkType())
                              : type == "generic"          ? Generic_t
                              : type == "conserved"        ? Physics_Conserved_t
                                                           : Physics_Informed_t;
        EntityEditor::setValue(trainer.getOptions(), Train_t / Type_t, asked);
        trainer.prepareTraining();
        std::string why;
        if (trainer.getNetworkType() != AISystem::NeuralNetworkType::Generic)
        {
            try
            {
                if (!trainer.formPhysicalModel())
                    why = "the item allows no physical model";
            }
            catch (const std::exception& error)
            {
                why = error.what();
            }
        }
        else if (asked != Generic_t)
            why = "its inputs and outputs do not hold every value of the item's energy balance, or its "
                  "fluids are "
                  "not defined";
        if (!why.empty())
        {
            if (parser.isSet(continueOption))
                throw BadInput("--continue: the stored network is " +
                               typeName(trainer.getNeuralNetwork()->getNetworkType()) +
                               ", but there is no physical model for '" + equipmentName + "': " + why);
            if (parser.isSet(typeOption))
                throw BadInput("--type " + type.toStdString() + ": no physical model for '" + equipmentName +
                               "': " + why);
            trainer.setPhysicalModel(false);
        }
        std::cout << "Training a " << typeName(trainer.getNetworkType()) << " network for '" << equipmentName
                  << "' on " << trainingData.cases << " cases"
                  << (testingData ? " (testing on " + std::to_string(testingData->cases) + ")"
                                  : std::string())
                  << (why.empty() ? std::string() : ": generic because " + why) << "\n";

        if (parser.isSet(continueOption))
        {
            if (!trainer.canContinue())
                throw BadInput("--continue: Unable to continue training: " + trainer.continuationMismatch() +
                               " (train without --continue for a new network)");
        }
        else
            notes = trainer.useStandardValues();
        for (const std::string& note : notes)
            std::cout << note << "\n";

        ConfluxCli::TrainingProgress progress(iterations);
        Conflux::AIModelTrainerResult result;
        {
            const Tools::ConsoleToolProgress::InterruptGuard interrupts(progress);
            try
            {
                result = trainer.train(&progress);
            }
            catch (const std::exception& error)
            {
                progress.finished(false);
                throw BadInput(std::string("training failed: ") + error.what());
            }
            progress.finished(!result.training.cancelled);
        }
        if (result.training.cancelled)
            std::cout << "Cancelled after " << result.training.iterations
                      << " iterations: the network as trained so far is kept\n";
        std::cout << "\n" << getStringValue(model, Identification_t / Summary_t) << "\n";

        // The training is saved first: a report that fails must not lose it.
        const QString out = parser.isSet(outputOption) ? parser.value(outputOption) : projectFile;
        ProjectFile::save(*project, out);
        std::cout << "Saved " << out.toStdString() << "\n";
        if (parser.isSet(reportOption))
            try
            {
                writeReport(trainer, parser.value(reportOption), result, progress.history());
            }
            catch (const std::exception& error)
            {
                std::cerr << "confluxtool train: warning: the report was not written in full: " << error.what()
                          << "; the trained network is saved in " << out.toStdString() << "\n";
            }
        return 0;
    }
    catch (const BadInput& error)
    {
        std::cerr << "confluxtool train: " << error.what() << "\n";
        return 2;
    }
}

const ConfluxCli::CommandRegistration
    registration({"train", "train an equipment item's AI model on CSV cases", usage, train});
} // namespace
