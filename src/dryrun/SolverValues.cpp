#include "src/dryrun/SolverValues.h"

#include "src/dryrun/DryRun.h"

#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/scripting/PythonCoreInterpreter.h"
#include "host/solver/PythonValueMapping.h"

#include "src/model/Attribute.h"

#include <pybind11/embed.h>

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <optional>
#include <regex>

namespace Conflux
{
namespace
{
using CFDSolver::ExchangeValues;

ScriptingSystem::PythonValue wholeNumber(int value)
{
    pybind11::gil_scoped_acquire lock;
    return ScriptingSystem::PythonValue::steal(PyLong_FromLong(value));
}

/// The project's values stay as they are.
class HeldValues : public SolverValues
{
public:
    std::vector<const ExchangeValues::Value*> apply(int, const ExchangeValues&) override { return {}; }
};

/// One row of a comma-separated file per iteration.
class TraceValues : public SolverValues
{
public:
    TraceValues(const std::string& file, int iterations, const ExchangeValues& values)
    {
        AISystem::TensorWithHeaders table;
        try
        {
            table = AISystem::TensorWithHeaders::fromCSVFile(file, AISystem::TensorElementType::Double, true);
        }
        catch (const std::exception& error)
        {
            throw DryRunInputError(error.what());
        }
        const std::vector<std::string>& headers = table.getHeaders();
        static const std::regex withUnit(R"(^(.*\S)\s*\(([^()]*)\)$)");
        for (std::size_t column = 0; column < headers.size(); ++column)
        {
            const std::string& header = headers[column];
            if (header == "Iteration")
                continue;
            const ExchangeValues::Value* value = values.find(header);
            std::optional<std::string> unit;
            std::smatch parts;
            if (value == nullptr && std::regex_match(header, parts, withUnit))
            {
                value = values.find(parts[1].str());
                unit = parts[2].str();
            }
            if (value == nullptr)
                throw DryRunInputError(file + ": column '" + header + "' names no value of the exchange model");
            if (unit && *unit != value->attribute->getUnit())
                throw DryRunInputError(file + ": column '" + header + "' is in '" + *unit + "', but " + value->path +
                                       " is in '" + value->attribute->getUnit() + "'");
            const CFDSolver::ExchangeScalar probe = 0.0;
            if (!ExchangeValues::kindMismatch(*value->attribute, probe).empty() &&
                !ExchangeValues::kindMismatch(*value->attribute, CFDSolver::ExchangeScalar(0)).empty())
                throw DryRunInputError(file + ": column '" + header + "': " + value->path + " is not a number");
            m_columns.push_back({static_cast<std::int64_t>(column), value});
        }
        m_table = table.getTensor();
        const std::int64_t rows = m_table.getDimensionCount() == 2 ? m_table.getDimensionSize(0) : 0;
        if (rows < iterations)
            throw DryRunInputError(file + " has " + std::to_string(rows) + " rows, fewer than the " +
                                   std::to_string(iterations) + " iterations");
        for (std::int64_t row = 0; row < rows; ++row)
            for (const Column& column : m_columns)
                if (!std::isfinite(m_table.at(row, column.index)))
                    throw DryRunInputError(file + ": row " + std::to_string(row + 1) + ", column '" +
                                           headers[static_cast<std::size_t>(column.index)] +
                                           "' is not a finite number");
    }

    std::vector<const ExchangeValues::Value*> paths() const override
    {
        std::vector<const ExchangeValues::Value*> set;
        for (const Column& column : m_columns)
            set.push_back(column.value);
        return set;
    }

    std::vector<const ExchangeValues::Value*> apply(int iteration, const ExchangeValues&) override
    {
        for (const Column& column : m_columns)
        {
            const double number = m_table.at(iteration - 1, column.index);
            if (column.value->attribute->getAttributeType(false) == TesseraSDK::AttributeType::Integer)
                ExchangeValues::write(*column.value->attribute, static_cast<int>(std::lround(number)), false);
            else
                ExchangeValues::write(*column.value->attribute, number, false);
        }
        return paths();
    }

private:
    struct Column
    {
        std::int64_t index;
        const ExchangeValues::Value* value;
    };
    AISystem::Tensor m_table;
    std::vector<Column> m_columns;
};

/// `plant(iteration, values)` of a Python file: given every exchange value, it returns the
/// solver's values for the iteration as a mapping from path to value.
class PlantValues : public SolverValues
{
public:
    PlantValues(const std::string& file, const ExchangeValues& values) : m_file(file), m_mapping(values, false)
    {
        QFile source(QString::fromStdString(file));
        if (!source.open(QIODevice::ReadOnly))
            throw DryRunInputError("Cannot read the plant " + file + ": " + source.errorString().toStdString());
        const QByteArray text = source.readAll();
        ScriptingSystem::PythonCoreInterpreter interpreter;
        std::optional<ScriptingSystem::PythonModule> module;
        try
        {
            const auto code = interpreter.compileExec(text.toStdString(), file);
            module.emplace(interpreter.importCodeModule("dry_run_plant", code));
        }
        catch (const std::exception& error)
        {
            throw DryRunInputError("The plant " + file + " cannot be loaded: " + error.what());
        }
        auto function = module->findFunction("plant");
        if (!function)
            throw DryRunInputError("The plant " + file + " defines no function plant(iteration, values)");
        m_function.emplace(std::move(*function));
    }

    std::vector<const ExchangeValues::Value*> apply(int iteration, const ExchangeValues& values) override
    {
        const std::string where = "The plant " + m_file + ", iteration " + std::to_string(iteration);
        const ScriptingSystem::PythonValue mapping = m_mapping.current();
        std::vector<CFDSolver::PythonValueMapping::Write> writes;
        try
        {
            const ScriptingSystem::PythonValue result =
                m_function->call({wholeNumber(iteration), mapping});
            writes = CFDSolver::PythonValueMapping::fromPython(result, values, false);
        }
        catch (const std::runtime_error& error)
        {
            throw std::runtime_error(where + ": " + error.what());
        }
        std::vector<const ExchangeValues::Value*> set;
        for (const auto& write : writes)
            if (const double* number = std::get_if<double>(&write.value); number != nullptr && !std::isfinite(*number))
                throw std::runtime_error(where + ": '" + write.target->path + "': the value is not a finite number");
        for (const auto& write : writes)
        {
            ExchangeValues::write(*write.target->attribute, write.value, false);
            set.push_back(write.target);
        }
        return set;
    }

private:
    std::string m_file;
    CFDSolver::PythonValueMapping m_mapping;
    std::optional<ScriptingSystem::PythonFunction> m_function;
};
} // namespace

std::unique_ptr<SolverValues> SolverValues::create(const std::string& traceFile, const std::string& plantFile,
                                                   int iterations, const ExchangeValues& values)
{
    if (!traceFile.empty())
        return std::make_unique<TraceValues>(traceFile, iterations, values);
    if (!plantFile.empty())
        return std::make_unique<PlantValues>(plantFile, values);
    return std::make_unique<HeldValues>();
}
} // namespace Conflux
