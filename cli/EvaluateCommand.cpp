// confluxtool evaluate PROJECT: tries an AI model of a project, as the application's evaluator does:
// its inputs from the bound project values (or set on the command line, or read case by case from a
// CSV file), its outputs and, where the model computes them, its energy and mass imbalance.
#include "cli/Command.h"

#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/entitymodel/AIModelDerivedFunctions.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/UnitConverter.h"
#include "src/ai/definition/AIModelChoice.h"
#include "src/ai/definition/AIModuleGenerator.h"
#include "src/ai/evaluation/AIModelEvaluator.h"
#include "src/project/CurrentProject.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace EntityModel;

namespace
{
const char* usage = R"usage(Usage: confluxtool evaluate PROJECT [--model NAME] [--set INPUT=VALUE[UNIT]]...
                           [--inputs FILE.csv] [-o FILE.csv]

Evaluates an AI model of a project file (JSON). Each input starts from the project value it is
bound to, kept within the input's bounds (the midpoint of the bounds, or the one bound, when the
value is missing); the model runs with its unit conversions and scaling, as the solver runs it.

Without --inputs it prints the inputs (entity, attribute, value, bounds), the outputs and, when
the model computes them, the energy and mass imbalance. With --inputs it evaluates every case
of the file in one batch and writes the inputs, the outputs ("Result: ...") and, when available,
the imbalance of each case as CSV to -o FILE, or to standard output.

Options:
  --model NAME             the AI model, by its own name or by the name of the equipment it
                           models; needed when the project has more than one
  --set INPUT=VALUE[UNIT]  sets an input, named by its number (1, 2 ...) or as ENTITY:ATTRIBUTE
                           (the attribute alone when no other input has it); the value is in the
                           unit shown for the input unless a unit follows it: --set 1=0.65kW,
                           --set 2=75°F; repeatable
  --inputs FILE.csv        cases, one per row: either a header row naming the input columns as
                           the trainer's data files do, "Input: ENTITY:PATH [(UNIT)]" or
                           "Input: N" (other columns, such as targets, are skipped), or no header
                           and one numeric column per input, in input order. Values are in
                           standard units (°C, W, m³/s, ...) unless a header names another unit
  -o, --output FILE.csv    where --inputs writes its results (standard output by default)

Numbers in the CSV are written so that they read back exactly. One evaluation takes about 2 ms
whatever the model, as the evaluator starts and completes it by two 1 ms timers; a batch of
cases is evaluated in one call.

Exit status: 0 on success, 1 when the evaluation fails, 2 for a bad command line or input: an
unknown model, input or unit, a value that is not a number, a CSV row of the wrong width, a model
whose data does not load.
)usage";

/// A failure of the user's input: printed with its message, exit status 2.
class BadInput : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

/// A number at the start of text (after blanks); the rest, trimmed, goes to
/// `rest`.
std::optional<double> leadingNumber(const std::string& text, std::string& rest)
{
    const std::string value = trimmed(text);
    const char* begin = value.data() + (!value.empty() && value.front() == '+' ? 1 : 0);
    double number = 0.0;
    const auto [stop, error] = std::from_chars(begin, value.data() + value.size(), number);
    if (error != std::errc())
        return std::nullopt;
    rest = trimmed(std::string(stop, value.data() + value.size()));
    return number;
}

std::optional<long> wholeNumber(const std::string& text)
{
    const std::string value = trimmed(text);
    long number = 0;
    const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc() || stop != value.data() + value.size())
        return std::nullopt;
    return number;
}

std::string format(double value)
{
    std::ostringstream out;
    out << std::setprecision(6) << value;
    return out.str();
}

/// One input or output of the model under evaluation, as the command names and
/// shows it.
struct Column
{
    DoubleAttribute* attribute = nullptr; ///< the evaluator's attribute (null when there is none)
    CompositeAttribute* entry = nullptr;  ///< the AI model's entry
    std::string entity;                   ///< the bound entity's name
    std::string name;                     ///< the entry's attribute text
    std::vector<std::string> keys;        ///< the names it answers to, besides its number

    std::string unit() const
    {
        const UnitTypeAttribute* unit = attribute ? attribute->getUnitAttribute() : nullptr;
        return unit ? unit->getValue() : std::string();
    }
    TypeRef quantity() const
    {
        const UnitTypeAttribute* unit = attribute ? attribute->getUnitAttribute() : nullptr;
        return unit ? unit->getQuantity() : TypeRef();
    }
    std::string standardUnit() const { return UnitConverter::instance().getSIType(quantity()); }
    std::string shownInUnit(double standard) const
    {
        const std::string label = unit();
        if (label.empty())
            return format(standard);
        return format(UnitConverter::instance().fromStandard(quantity(), label, standard)) + " " + label;
    }
    /// The trainer's header of this column ("Input: Server:Power.Typical Power
    /// (W)"), in standard units.
    std::string header(const char* role, std::size_t index) const
    {
        if (entity.empty())
            return std::string(role) + ": " + std::to_string(index + 1);
        const std::string units = standardUnit();
        return std::string(role) + ": " + keys.front() + (units.empty() ? "" : " (" + units + ")");
    }
};

std::vector<Column> columnsOf(const Conflux::AIModelEvaluator& evaluator, bool inputs)
{
    std::vector<Column> columns;
    CountedCompositeAttribute* entries =
        Conflux::AIModuleGenerator::findValueList(evaluator.getAIModel(), inputs);
    Attribute* list = evaluator.getOptions()->findAttribute(inputs ? Inputs_t : Outputs_t);
    const auto* shown =
        list && list->isCompositeAttribute() ? static_cast<CompositeAttribute*>(list) : nullptr;
    const std::size_t count = shown ? shown->childCount() : 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        Column column;
        Attribute* attribute = shown->getChild(i);
        if (attribute && attribute->isDoubleAttribute())
            column.attribute = static_cast<DoubleAttribute*>(attribute);
        Attribute* entry = entries && i < entries->childCount() ? entries->getChild(i) : nullptr;
        if (entry && entry->isCompositeAttribute())
        {
            column.entry = static_cast<CompositeAttribute*>(entry);
            column.name = getStringValue(column.entry, Attribute_t);
            if (const Entity* linked = getLinkedEntity(column.entry, Entity_t))
                column.entity = linked->getName();
            // The trainer's files name the bound attribute by its owner and path;
            // the evaluator by the linked entity and the chosen text. Both are
            // accepted.
            if (const Attribute* bound = AIModelDerivedFunctions::boundAttribute(*column.entry))
                if (const Entity* owner = bound->getOwnerEntity())
                    column.keys.push_back(owner->getName() + ":" + bound->getAttributePath().toString('.'));
            if (!column.entity.empty())
                column.keys.push_back(column.entity + ":" + column.name);
        }
        columns.push_back(std::move(column));
    }
    return columns;
}

std::string listing(const std::vector<Column>& columns)
{
    std::string text;
    for (std::size_t i = 0; i < columns.size(); ++i)
        text += "\n  " + std::to_string(i + 1) + "  " +
                (columns[i].keys.empty() ? std::string("(not bound)") : columns[i].keys.back());
    return text;
}

/// The input a name stands for: its number, ENTITY:ATTRIBUTE or ENTITY:PATH, or
/// the attribute alone when only one input has it.
std::size_t findInput(const std::vector<Column>& inputs, const std::string& name, const std::string& where)
{
    if (const auto number = wholeNumber(name))
    {
        if (*number >= 1 && static_cast<std::size_t>(*number) <= inputs.size())
            return static_cast<std::size_t>(*number - 1);
        throw BadInput(where + "there is no input " + trimmed(name) + "; the model has " +
                       std::to_string(inputs.size()) + (inputs.size() == 1 ? " input" : " inputs"));
    }
    const std::string wanted = trimmed(name);
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        for (const std::string& key : inputs[i].keys)
            if (key == wanted)
            {
                found.push_back(i);
                break;
            }
    if (found.empty())
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i].name == wanted)
                found.push_back(i);
    if (found.size() == 1)
        return found.front();
    throw BadInput(where + (found.empty() ? "unknown input '" : "ambiguous input '") + wanted +
                   "'; the inputs are:" + listing(inputs));
}

/// The transform of a unit of the column's quantity to its standard unit.
Utilities::LinearTransform<double> unitTransform(const Column& column, const std::string& unit,
                                                 const std::string& where)
{
    std::optional<Utilities::LinearTransform<double>> transform;
    if (!column.quantity().empty())
        transform = UnitConverter::instance().transform(column.quantity(), unit);
    if (transform)
        return *transform;
    std::string known;
    for (const Unit& candidate : UnitConverter::instance().units(column.quantity()))
        known += (known.empty() ? "" : ", ") + candidate.label;
    throw BadInput(where + "unknown unit '" + unit + "'" +
                   (known.empty() ? " (the input has no unit)"
                                  : " (units of " + column.quantity().getLabel() + ": " + known + ")"));
}

void applySetting(const std::vector<Column>& inputs, const std::string& setting)
{
    const std::string where = "--set " + setting + ": ";
    const auto equals = setting.rfind('=');
    if (equals == std::string::npos)
        throw BadInput(where + "INPUT=VALUE expected");
    const Column& input = inputs[findInput(inputs, setting.substr(0, equals), where)];
    std::string unit;
    const auto value = leadingNumber(setting.substr(equals + 1), unit);
    if (!value)
        throw BadInput(where + "'" + trimmed(setting.substr(equals + 1)) + "' is not a number");
    if (!std::isfinite(*value))
        throw BadInput(where + "'" + trimmed(setting.substr(equals + 1)) + "' is not a finite number");
    if (input.attribute == nullptr || input.attribute->isReadOnly())
        throw BadInput(where + "input '" +
                       (input.keys.empty() ? setting.substr(0, equals) : input.keys.back()) +
                       "' is bound to no number and cannot be set");
    if (unit.empty())
        unit = input.unit();
    input.attribute->setStandardVal(unit.empty() ? *value : unitTransform(input, unit, where)(*value));
}

std::string bounds(const Column& column)
{
    const CompositeAttribute* entry = column.entry;
    const bool hasMin = getBoolValue(entry, Bounds_t / Has_Min_t);
    const bool hasMax = getBoolValue(entry, Bounds_t / Has_Max_t);
    const double min = getStandardDoubleValue(entry, Bounds_t / Min_t);
    const double max = getStandardDoubleValue(entry, Bounds_t / Max_t);
    if (hasMin && hasMax)
        return column.shownInUnit(min) + " to " + column.shownInUnit(max);
    if (hasMin)
        return "from " + column.shownInUnit(min);
    if (hasMax)
        return "up to " + column.shownInUnit(max);
    return "-";
}

/// Rows of cells in aligned columns, indented by two blanks.
void printTable(const std::vector<std::vector<std::string>>& rows)
{
    // Widths count characters, not bytes, so that units such as "°C" line up.
    auto width = [](const std::string& cell)
    { return static_cast<std::size_t>(QString::fromStdString(cell).size()); };
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
    {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], width(row[c]));
    }
    for (const auto& row : rows)
    {
        std::string line = " ";
        for (std::size_t c = 0; c < row.size(); ++c)
            line +=
                " " + row[c] + (c + 1 < row.size() ? std::string(widths[c] - width(row[c]) + 1, ' ') : "");
        std::cout << line << "\n";
    }
}

void printView(Conflux::AIModelEvaluator& evaluator, const std::vector<Column>& inputs,
               const std::vector<Column>& outputs)
{
    std::vector<std::vector<std::string>> rows{{"#", "Entity", "Attribute", "Value", "Bounds"}};
    for (std::size_t i = 0; i < inputs.size(); ++i)
        rows.push_back({std::to_string(i + 1), inputs[i].entity.empty() ? "(not bound)" : inputs[i].entity,
                        inputs[i].name,
                        inputs[i].attribute ? inputs[i].shownInUnit(inputs[i].attribute->standardVal()) : "-",
                        bounds(inputs[i])});
    std::cout << "Inputs\n";
    printTable(rows);

    rows = {{"#", "Entity", "Attribute", "Value"}};
    for (std::size_t i = 0; i < outputs.size(); ++i)
        rows.push_back(
            {std::to_string(i + 1), outputs[i].entity.empty() ? "(not bound)" : outputs[i].entity,
             outputs[i].name,
             outputs[i].attribute ? outputs[i].shownInUnit(outputs[i].attribute->standardVal()) : "-"});
    std::cout << "Outputs\n";
    printTable(rows);

    if (evaluator.canCalcImbalance())
    {
        const Entity* options = evaluator.getOptions();
        std::cout << "Imbalance\n";
        printTable({{"Energy", format(getStandardDoubleValue(options, "Imbalance.Energy")) + " W"},
                    {"Mass", format(getStandardDoubleValue(options, "Imbalance.Mass")) + " kg/s"}});
    }
    else
        std::cout << "Imbalance: the model computes none\n";
}

/// The first line of the file that holds something, and its number; false when
/// there is none.
bool firstRecord(const QString& path, std::string& line, int& number)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    number = 0;
    while (!file.atEnd())
    {
        ++number;
        line = file.readLine().toStdString();
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (!trimmed(line).empty())
            return true;
    }
    return false;
}

/// The cases of the file as a {cases, inputs} tensor in standard units, columns in
/// input order.
AISystem::Tensor readCases(const std::string& path, const std::vector<Column>& inputs)
{
    std::string first;
    int firstLine = 0;
    if (!firstRecord(QString::fromStdString(path), first, firstLine))
    {
        if (!QFile::exists(QString::fromStdString(path)))
            throw BadInput(path + ": cannot open the file");
        throw BadInput(path + ": the file holds no cases");
    }
    std::string firstField = trimmed(first.substr(0, first.find(',')));
    if (!firstField.empty() && firstField.front() == '"')
        firstField =
            firstField.substr(1, firstField.find('"', 1) == std::string::npos ? std::string::npos
                                                                              : firstField.find('"', 1) - 1);
    std::string rest;
    const bool hasHeaders = !leadingNumber(firstField, rest) || !rest.empty();

    AISystem::TensorWithHeaders table;
    try
    {
        table =
            AISystem::TensorWithHeaders::fromCSVFile(path, AISystem::TensorElementType::Double, hasHeaders);
    }
    catch (const std::exception& error)
    {
        throw BadInput(error.what());
    }
    const auto count = static_cast<std::int64_t>(inputs.size());
    const AISystem::Tensor& values = table.getTensor();
    const std::int64_t rows = values.getDimensionCount() == 2 ? values.getDimensionSize(0) : 0;
    // A case with a value that is no number would come out as NaN beside the others: refused, as the
    // trainer refuses it.
    const auto requireFinite = [&](std::int64_t c)
    {
        for (std::int64_t r = 0; r < rows; ++r)
            if (!std::isfinite(values.at(r, c)))
                throw BadInput(path + ": case " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) +
                               (hasHeaders ? " ('" + table.getHeaders()[static_cast<std::size_t>(c)] + "')"
                                           : std::string()) +
                               ": the value is not finite");
    };
    if (!hasHeaders)
    {
        for (std::int64_t c = 0; c < table.getColumnCount(); ++c)
            requireFinite(c);
        if (table.getColumnCount() != count)
            throw BadInput(path + ": line " + std::to_string(firstLine) + " has " +
                           std::to_string(table.getColumnCount()) + " values; the model takes " +
                           std::to_string(count) + (count == 1 ? " input" : " inputs"));
        return values;
    }

    // Input columns by header, in any order; their unit, when named, converts to
    // standard units.
    AISystem::Tensor cases =
        AISystem::Tensor::createTensor({rows, count}, AISystem::TensorElementType::Double);
    std::vector<bool> seen(inputs.size(), false);
    const std::string where = path + ": line " + std::to_string(firstLine) + ": ";
    for (std::int64_t c = 0; c < table.getColumnCount(); ++c)
    {
        const std::string& header = table.getHeaders()[static_cast<std::size_t>(c)];
        if (header.compare(0, 6, "Input:") != 0)
            continue;
        std::string name = trimmed(header.substr(6));
        std::string unit;
        if (const auto open = name.rfind(" ("); open != std::string::npos && name.back() == ')')
        {
            unit = name.substr(open + 2, name.size() - open - 3);
            name = name.substr(0, open);
        }
        const std::size_t input = findInput(inputs, name, where);
        if (seen[input])
            throw BadInput(where + "input " + std::to_string(input + 1) + " has two columns");
        seen[input] = true;
        requireFinite(c);
        const Utilities::LinearTransform<double> toStandard =
            unit.empty() ? Utilities::LinearTransform<double>{1.0, 0.0}
                         : unitTransform(inputs[input], unit, where);
        for (std::int64_t r = 0; r < rows; ++r)
            cases.setElementValue(r * count + static_cast<std::int64_t>(input), toStandard(values.at(r, c)));
    }
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (!seen[i])
            throw BadInput(where + "no column for input " + std::to_string(i + 1) + " (" +
                           inputs[i].header("Input", i) + ")");
    return cases;
}

/// Evaluates the cases in one batch and writes inputs, results and, when there is
/// one, the imbalance of each case.
void evaluateCases(Conflux::AIModelEvaluator& evaluator, const std::vector<Column>& inputs,
                   const std::vector<Column>& outputs, const AISystem::Tensor& cases,
                   const std::string& outputPath)
{
    AISystem::Tensor results = evaluator.evaluate(cases).toElementType(AISystem::TensorElementType::Double);
    const std::int64_t rows = cases.getDimensionSize(0);
    if (results.getDimensionCount() != 2 || results.getDimensionSize(0) != rows)
        throw std::runtime_error("the model gave outputs of shape " + results.getTensorShape().toString() +
                                 " for " + std::to_string(rows) + " cases");

    std::vector<std::string> headers;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        headers.push_back(inputs[i].header("Input", i));
    for (std::int64_t i = 0; i < results.getDimensionSize(1); ++i)
        headers.push_back(
            static_cast<std::size_t>(i) < outputs.size()
                ? outputs[static_cast<std::size_t>(i)].header("Result", static_cast<std::size_t>(i))
                : "Result: " + std::to_string(i + 1));
    AISystem::Tensor table = cases;
    table.append(1, results);

    if (evaluator.canCalcImbalance())
    {
        // The module balances whole batches; each case is asked for on its own,
        // all at once.
        std::vector<Futures::FutureEx<std::optional<AISystem::ImbalanceResult>>> pending;
        for (std::int64_t r = 0; r < rows; ++r)
            pending.push_back(evaluator.calcImbalanceAsync(cases.slice(0, r, 1), results.slice(0, r, 1)));
        AISystem::Tensor imbalance =
            AISystem::Tensor::createTensor({rows, 2}, AISystem::TensorElementType::Double);
        for (std::int64_t r = 0; r < rows; ++r)
        {
            const std::optional<AISystem::ImbalanceResult> result =
                pending[static_cast<std::size_t>(r)].get();
            imbalance.setElementValue(2 * r, result ? result->energy : std::nan(""));
            imbalance.setElementValue(2 * r + 1, result ? result->mass : std::nan(""));
        }
        table.append(1, imbalance);
        headers.push_back("Imbalance: Energy (W)");
        headers.push_back("Imbalance: Mass (kg/s)");
    }

    // The AI library writes the file; it is then moved into place whole, or copied
    // to standard output.
    QTemporaryDir scratch;
    const QString written = scratch.filePath("results.csv");
    if (!scratch.isValid() || !AISystem::TensorWithHeaders(table, headers).toCSVFile(written.toStdString()))
        throw std::runtime_error("cannot write the results into the temporary directory " +
                                 scratch.path().toStdString());
    QFile file(written);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read back " + written.toStdString());
    const QByteArray content = file.readAll();
    if (outputPath.empty())
    {
        std::cout.write(content.constData(), content.size());
        std::cout.flush();
        return;
    }
    QSaveFile target(QString::fromStdString(outputPath));
    if (!target.open(QIODevice::WriteOnly) || target.write(content) != content.size() || !target.commit())
        throw std::runtime_error(outputPath +
                                 ": cannot write the file: " + target.errorString().toStdString());
}

std::string modelLabel(const Entity* model)
{
    return Conflux::aiModelLabel(model);
}

Entity* chooseModel(Entity* root, const std::string& wanted, const std::string& projectFile)
{
    try
    {
        return Conflux::chooseAIModel(root, wanted, projectFile);
    }
    catch (const Conflux::AIModelChoiceError& error)
    {
        throw BadInput(error.what());
    }
}

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("evaluate");
    QCommandLineParser parser;
    const QCommandLineOption modelOption("model", "", "model name");
    const QCommandLineOption setOption("set", "", "setting INPUT=VALUE");
    const QCommandLineOption inputsOption("inputs", "", "file name");
    const QCommandLineOption outputOption(QStringList{"o", "output"}, "", "file name");
    if (const auto status = ConfluxCli::parseArguments(
            self, parser, {modelOption, setOption, inputsOption, outputOption}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    if (parser.isSet(outputOption) && !parser.isSet(inputsOption))
        return ConfluxCli::usageError(self, "-o writes the results of --inputs, which is missing");
    if (parser.isSet(setOption) && parser.isSet(inputsOption))
        return ConfluxCli::usageError(self,
                                      "--set and --inputs exclude each other: the file gives every input");
    const std::string projectFile = parser.positionalArguments().front().toStdString();

    // The evaluator works in an event loop; the demo may already have an
    // application.
    static int argc = 1;
    static char name[] = "confluxtool";
    static char* argv[] = {name, nullptr};
    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application.emplace(argc, argv);

    try
    {
        std::unique_ptr<Project> project;
        try
        {
            project = ProjectFile::load(QString::fromStdString(projectFile));
        }
        catch (const std::exception& error)
        {
            throw BadInput(error.what());
        }
        const Conflux::CurrentProject current(project.get());

        Entity* model =
            chooseModel(project->getRootEntity(), parser.value(modelOption).toStdString(), projectFile);
        // The evaluator keeps quiet about model data that does not load; the user
        // needs the runtime's words.
        try
        {
            Conflux::AIModuleGenerator::generateTranformed(model);
        }
        catch (const std::exception& error)
        {
            throw BadInput("AI model " + modelLabel(model) + " does not load: " + error.what());
        }
        catch (const char* error)
        {
            throw BadInput("AI model " + modelLabel(model) + " does not load: " + error);
        }

        Conflux::AIModelEvaluator evaluator;
        bool initialized = false;
        QObject::connect(&evaluator, &Conflux::AIModelEvaluator::initialized, [&] { initialized = true; });
        evaluator.initialize(model);
        if (!initialized)
            throw std::runtime_error("AI model " + modelLabel(model) +
                                     " could not be prepared for evaluation");
        const std::vector<Column> inputs = columnsOf(evaluator, true);
        const std::vector<Column> outputs = columnsOf(evaluator, false);

        if (parser.isSet(inputsOption))
        {
            const AISystem::Tensor cases = readCases(parser.value(inputsOption).toStdString(), inputs);
            evaluateCases(evaluator, inputs, outputs, cases, parser.value(outputOption).toStdString());
            return 0;
        }
        for (const QString& setting : parser.values(setOption))
            applySetting(inputs, setting.toStdString());
        evaluator.evaluate();
        std::cout << "AI model " << modelLabel(model) << " (" << getTypeValue(model, Model_Type_t).getLabel()
                  << ")\n";
        printView(evaluator, inputs, outputs);
        return 0;
    }
    catch (const BadInput& error)
    {
        std::cerr << "confluxtool evaluate: " << error.what() << "\n";
        return 2;
    }
}

const ConfluxCli::CommandRegistration registration(
    {"evaluate", "evaluate an AI model on project values or on cases from a CSV file", usage, run});
} // namespace
