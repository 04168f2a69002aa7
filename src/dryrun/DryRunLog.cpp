#include "src/dryrun/DryRunLog.h"

#include "src/dryrun/DryRun.h"

#include "src/model/Attribute.h"

#include <unordered_set>

namespace Conflux
{
DryRunLog::DryRunLog(const std::string& file, const CFDSolver::ExchangeValues& values,
                     const std::vector<const CFDSolver::ExchangeValues::Value*>& solverValues)
    : m_name(file), m_file(QString::fromStdString(file))
{
    const std::unordered_set<const CFDSolver::ExchangeValues::Value*> setBySolver(solverValues.begin(),
                                                                                  solverValues.end());
    for (const CFDSolver::ExchangeValues::Value& value : values.values())
    {
        const TesseraSDK::AccessType access = value.attribute->getAccessType();
        if (access != TesseraSDK::AccessType::None || setBySolver.count(&value) != 0)
            m_columns.push_back(&value);
        if (TesseraSDK::canWrite(access))
            m_writable.push_back(&value);
    }
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DryRunInputError("Cannot write the log " + file + ": " + m_file.errorString().toStdString());
    std::string header = "Iteration";
    for (const CFDSolver::ExchangeValues::Value* value : m_columns)
    {
        const std::string& unit = value->attribute->getUnit();
        header += "," + field(unit.empty() ? value->path : value->path + " (" + unit + ")");
    }
    for (const CFDSolver::ExchangeValues::Value* value : m_writable)
        header += "," + field(value->path + ": written by");
    writeLine(header);
}

void DryRunLog::writeRow(int iteration,
                         const std::unordered_map<const Conflux::Model::Attribute*, std::string>& writers)
{
    std::string row = std::to_string(iteration);
    for (const CFDSolver::ExchangeValues::Value* value : m_columns)
        row += "," + field(CFDSolver::ExchangeValues::toText(CFDSolver::ExchangeValues::read(*value->attribute, false)));
    for (const CFDSolver::ExchangeValues::Value* value : m_writable)
    {
        const auto writer = writers.find(value->attribute);
        row += "," + (writer == writers.end() ? std::string() : field(writer->second));
    }
    writeLine(row);
}

void DryRunLog::writeLine(const std::string& line)
{
    const std::string text = line + "\n";
    if (m_file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
        !m_file.flush())
        throw std::runtime_error("Cannot write the log " + m_name + ": " + m_file.errorString().toStdString());
}

std::string DryRunLog::field(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
    {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}
} // namespace Conflux
