// confluxtool train PROJECT --equipment NAME --data TRAIN.csv: trains the neural network of an
// equipment item's AI model from a CSV file of cases, as the application's AI-model tools do, and
// stores it in the project.
#include "cli/Command.h"
#include "cli/TrainingProgress.h"
#include "cli/TrainingReport.h"

#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/training/AIModelTrainer.h"

#include "cli/CurrentProject.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/UnitConverter.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>

#include <cmath>
#include <iostream>
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
  --iterations N         training iterations (default 1000)
  --target-rms X         stop once the RMS error (relative to each output's spread) is at most X
                         (default 0.001)
  --learning-rate X      the optimiser's step size (default 0.01)
  --seed N               seeds the network's initial weights, for runs that repeat exactly
  --hidden N,N,...       hidden layer sizes (default 32,32)
  --layers L --nodes N   L hidden layers of N nodes each, instead of --hidden
  --type TYPE            generic, informed (physics-informed: the energy balance of the item is part
                         of the loss) or conserved (outputs corrected to close the balance); by
                         default informed where the item's bindings allow it, otherwise generic
  --double, --float      the network's element type (default double)
  --continue             train the project's stored network further instead of a new one
  --weights W,W,...      the outputs' training weights, one per output
  -o FILE                write the project to FILE instead of in place
  --report DIR           write into DIR the training and testing data with the network's results,
                         a regression test bundle and plots (PNG): the RMS error per iteration
                         and predicted against target values of each output

Progress is a bar on a terminal and plain lines otherwise; Ctrl-C stops training and keeps the
network as trained so far. Exit status: 0 trained and saved; 2 bad input (unknown equipment, a CSV
file with missing, non-numeric or non-finite cells, no cases, columns that bind nothing, testing
columns that differ, a run that fails or diverges), the project untouched; 1 any other failure.
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

Entity* findEntity(Entity* root, const std::string& name)
{
    if (root->getName() == name)
        return root;
    std::vector<Entity*> found;
    root->getOwnedChildEntities(found, true, true,
                                [&name](Entity* entity) { return entity->getName() == name; });
    return found.empty() ? nullptr : found.front();
}

/// Whether input (output) i of the trainer is bound as the column says.
bool sameBinding(Attribute* bound, const Binding& binding)
{
    return bound && bound->getOwnerEntity() && bound->getOwnerEntity()->getName() == binding.entity &&
           bound->getAttributePath().toString('.') == binding.path;
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
        same = sameBinding(trainer.getInputAttribute(static_cast<int>(i)), data.inputs[i]);
    for (std::size_t i = 0; same && i < data.targets.size(); ++i)
        same = sameBinding(trainer.getOutputAttribute(static_cast<int>(i)), data.targets[i]);
    if (same)
        return;
    trainer.clear();
    const Tensor none =
        Tensor::createTensor(AISystem::TensorShape{0, 1}, AISystem::TensorElementType::Double);
    for (const auto* list : {&data.inputs, &data.targets})
        for (const Binding& binding : *list)
        {
            Entity* entity = findEntity(root, binding.entity);
            const std::string column =
                std::string(binding.input ? "Input: " : "Target: ") + binding.entity + ":" + binding.path;
            if (!entity)
                throw BadInput(data.name.toStdString() + ": column '" + column +
                               "' binds nothing: the project has no entity named '" + binding.entity + "'");
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

/// A list of numbers such as "32,32"; throws BadInput naming the option.
template <class T> std::vector<T> numberList(const QString& text, const char* option)
{
    std::vector<T> values;
    for (const QString& part : text.split(',', Qt::KeepEmptyParts))
    {
        bool ok = false;
        const double value = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value) ||
            (std::is_integral_v<T> && (value < 1 || value != std::floor(value))))
            throw BadInput(std::string(option) + " takes a list of " +
                           (std::is_integral_v<T> ? "whole numbers above 0" : "numbers") +
                           ", such as 32,32, not '" + text.toStdString() + "'");
        values.push_back(static_cast<T>(value));
    }
    return values;
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

int wholeOption(const QCommandLineParser& parser, const QCommandLineOption& option, int fallback, int minimum)
{
    if (!parser.isSet(option))
        return fallback;
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (!ok || value < minimum)
        throw BadInput("--" + option.names().front().toStdString() + " takes a whole number not below " +
                       std::to_string(minimum) + ", not '" + parser.value(option).toStdString() + "'");
    return value;
}

/// The network's inputs and outputs are values in standard units: scaling left on the AI model from an
/// earlier network would distort them.
void clearScaling(Entity* model)
{
    for (const bool isInput : {true, false})
        if (CountedCompositeAttribute* list = Conflux::AIModuleGenerator::findValueList(model, isInput))
            for (std::size_t i = 0; i < list->childCount(); ++i)
                if (Attribute* child = list->getChild(i); child && child->isCompositeAttribute())
                    for (const char* path :
                         {"To Model Transformation.Type", "From Model Transformation.Type"})
                        if (static_cast<CompositeAttribute*>(child)->findAttribute(path))
                            EntityEditor::setValueNoThrow(static_cast<CompositeAttribute*>(child), path,
                                                          None_t);
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
    required(trainer.saveTrainingData(dir.filePath("training.csv"), true), dir.filePath("training.csv"));
    if (trainer.hasTestingData())
        required(trainer.saveTestingData(dir.filePath("testing.csv"), true), dir.filePath("testing.csv"));
    trainer.saveAsRegressionTest(dir.filePath("regression-test.json"));

    if (history.empty() || history.back().first != result.training.iterations)
        history.emplace_back(result.training.iterations, result.training.rmsError);
    ConfluxCli::TrainingReport::plotRmsHistory(history, dir.filePath("rms-error.png"));

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
    }
    std::cout << "Report: " << folder.toStdString() << " (training.csv" << (testing ? ", testing.csv" : "")
              << ", regression-test.json with .ai, .train.csv and .test.csv, rms-error.png";
    for (int j = 0; j < trainer.getNumberOfOutputs(); ++j)
        std::cout << ", fit-" << j + 1 << ".png";
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
            {equipmentOption, dataOption, testOption, iterationsOption, targetOption, rateOption, seedOption,
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

    std::unique_ptr<QCoreApplication> application;
    int argc = 1;
    char name[] = "confluxtool";
    char* argv[] = {name, nullptr};
    if (parser.isSet(reportOption))
    {
        // The plots are drawn without a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QApplication>(argc, argv);
    }
    else
        application = std::make_unique<QCoreApplication>(argc, argv);

    const QString projectFile = files.front();
    try
    {
        const int iterations = wholeOption(parser, iterationsOption, 1000, 1);
        const double targetRms = numberOption(parser, targetOption, 0.001, 0.0, true);
        const double learningRate = numberOption(parser, rateOption, 0.01, 0.0, false);
        const std::optional<int> seed = parser.isSet(seedOption)
                                            ? std::optional<int>(wholeOption(parser, seedOption, 0, 0))
                                            : std::nullopt;
        const std::vector<std::size_t> hidden = numberList<std::size_t>(
            parser.isSet(hiddenOption) ? parser.value(hiddenOption) : "32,32", "--hidden");
        const int layers = wholeOption(parser, layersOption, 2, 0);
        const int nodes = wholeOption(parser, nodesOption, 32, 1);
        const auto weights = parser.isSet(weightsOption)
                                 ? numberList<double>(parser.value(weightsOption), "--weights")
                                 : std::vector<double>{};

        std::unique_ptr<Project> project;
        try
        {
            project = ProjectFile::load(projectFile);
        }
        catch (const std::exception& error)
        {
            throw BadInput(error.what());
        }
        const ConfluxCli::CurrentProject current(project.get());
        Entity* root = project->getRootEntity();

        const std::string equipmentName = parser.value(equipmentOption).toStdString();
        Entity* equipment = findEntity(root, equipmentName);
        if (!equipment || (equipment->getTypeRef() != IT_Equipment_t && equipment->getTypeRef() != CDU_t))
            throw BadInput("the project has no IT equipment or CDU named '" + equipmentName + "'");

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

        // Physics first, as asked or by default; checkPhysicalModel falls back on generic when the
        // item's bindings do not allow it.
        const TypeRef asked = type == "generic"     ? Generic_t
                              : type == "conserved" ? Physics_Conserved_t
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
            if (!trainer.restoreNeuralNetwork())
                throw BadInput("--continue: the AI model of '" + equipmentName +
                               "' holds no network that can be read");
            if (!trainer.canContinue())
                throw BadInput(
                    "--continue: Unable to continue training: the stored network differs from the one "
                    "these inputs, outputs and options make (train without --continue for a new one)");
        }
        clearScaling(model);

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

        if (parser.isSet(reportOption))
            writeReport(trainer, parser.value(reportOption), result, progress.history());
        const QString out = parser.isSet(outputOption) ? parser.value(outputOption) : projectFile;
        ProjectFile::save(*project, out);
        std::cout << "Saved " << out.toStdString() << "\n";
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
