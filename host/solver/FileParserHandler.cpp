#include "host/solver/FileParserHandler.h"

#include "host/ai/tensor/TensorWithHeaders.h"

#include "src/model/Attribute.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <chrono>
#include <cmath>
#include <regex>
#include <stdexcept>

namespace CFDSolver
{
namespace
{
using Clock = std::chrono::steady_clock;

bool isNumber(const Conflux::Model::Attribute& attribute)
{
    switch (attribute.getAttributeType(false))
    {
    case TesseraSDK::AttributeType::Integer:
    case TesseraSDK::AttributeType::Boolean:
    case TesseraSDK::AttributeType::Float:
    case TesseraSDK::AttributeType::Double:
        return true;
    case TesseraSDK::AttributeType::String:
    case TesseraSDK::AttributeType::Composite:
    case TesseraSDK::AttributeType::Entity:
    case TesseraSDK::AttributeType::Link:
    case TesseraSDK::AttributeType::List:
    case TesseraSDK::AttributeType::Shortcut:
    case TesseraSDK::AttributeType::Array:
        break;
    }
    return false;
}

std::string field(const std::string& text)
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

void saveWhole(const std::string& file, const std::string& text)
{
    QSaveFile out(QString::fromStdString(file));
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !out.commit())
        throw std::runtime_error("Cannot write " + file + ": " + out.errorString().toStdString());
}

/// A failure of an answer file that the parse-failure setting decides about.
struct ParseFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
} // namespace

FileParserHandler::FileParserHandler(const Conflux::CSVEventHandlerOptions& options) : m_options(options)
{
    if (m_options.directory.empty() || !QDir().mkpath(QString::fromStdString(m_options.directory)))
        throw std::runtime_error("File parser: cannot make the exchange directory '" + m_options.directory + "'");
    // Files of an earlier solve must not pass for answers of this one.
    QDir directory(QString::fromStdString(m_options.directory));
    for (const QString& name : directory.entryList({"from-controller*.csv", "to-controller*.csv", "state.txt"},
                                                   QDir::Files))
        directory.remove(name);
}

std::string FileParserHandler::toControllerFile(const Conflux::CSVEventHandlerOptions& options, int iteration)
{
    return options.directory + (options.fileMode == 2 ? "/to-controller-" + std::to_string(iteration) + ".csv"
                                                      : std::string("/to-controller.csv"));
}

std::string FileParserHandler::fromControllerFile(const Conflux::CSVEventHandlerOptions& options, int iteration)
{
    return options.directory + (options.fileMode == 2 ? "/from-controller-" + std::to_string(iteration) + ".csv"
                                                      : std::string("/from-controller.csv"));
}

std::string FileParserHandler::stateFile(const Conflux::CSVEventHandlerOptions& options)
{
    return options.directory + "/state.txt";
}

bool FileParserHandler::exchanges(TesseraSDK::EventType event, int iteration) const
{
    switch (event)
    {
    case TesseraSDK::EventType::Iteration:
        if (m_options.syncMode == 20 || iteration < m_options.syncStartIteration)
            return false;
        return m_options.syncIterationInterval <= 1 ||
               (iteration - m_options.syncStartIteration) % m_options.syncIterationInterval == 0;
    case TesseraSDK::EventType::TimeStep:
        return m_options.syncMode == 20;
    case TesseraSDK::EventType::CFDGeneration:
    case TesseraSDK::EventType::SolveEnd:
        return false;
    }
    return false;
}

std::string FileParserHandler::pathOf(const ExchangeValues::Value& value) const
{
    const std::string path =
        m_options.useFullEntityName ? value.attribute->getAttributePath(true).toString() : value.path;
    const std::string& unit = value.attribute->getUnit();
    return unit.empty() ? path : path + " (" + unit + ")";
}

void FileParserHandler::call(TesseraSDK::EventType event, ExchangeSession& session)
{
    if (event == TesseraSDK::EventType::SolveEnd)
    {
        if (m_options.stateFileMode != 2)
            writeState("END\n");
        return;
    }
    if (!exchanges(event, session.iteration()))
        return;
    writeValues(session);
    if (m_options.stateFileMode != 2)
        writeState("WAITING " + std::to_string(session.iteration()) + "\n");
    readAnswer(session);
}

void FileParserHandler::writeValues(ExchangeSession& session) const
{
    std::string header = "Iteration";
    std::string row = std::to_string(session.iteration());
    std::size_t count = 0;
    for (const ExchangeValues::Value& value : session.values().values())
    {
        if (!TesseraSDK::canRead(value.attribute->getAccessType()) || !isNumber(*value.attribute))
            continue;
        const ExchangeScalar current = ExchangeValues::read(*value.attribute, false);
        header += "," + field(pathOf(value));
        row += "," + (std::holds_alternative<bool>(current) ? std::string(std::get<bool>(current) ? "1" : "0")
                                                            : ExchangeValues::toText(current));
        ++count;
    }
    saveWhole(toControllerFile(m_options, session.iteration()), header + "\n" + row + "\n");
    session.valuesRead(m_name, count);
}

void FileParserHandler::writeState(const std::string& text) const
{
    saveWhole(stateFile(m_options), text);
}

void FileParserHandler::readAnswer(ExchangeSession& session) const
{
    const int iteration = session.iteration();
    const std::string file = fromControllerFile(m_options, iteration);
    const std::string where = "File parser, iteration " + std::to_string(iteration);
    const QString name = QString::fromStdString(file);
    const auto start = Clock::now();
    auto heartbeat = start - std::chrono::hours(1);
    int attempts = 0;
    static const std::regex withUnit(R"(^(.*\S)\s*\(([^()]*)\)$)");
    while (true)
    {
        const auto now = Clock::now();
        if (now - heartbeat >= std::chrono::seconds(std::max(1, m_options.solverHeartbeatInterval)))
        {
            saveWhole(m_options.directory + "/solver.heartbeat",
                      QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString() + "\n");
            heartbeat = now;
        }
        if (QFile::exists(name))
        {
            try
            {
                AISystem::TensorWithHeaders table;
                try
                {
                    table = AISystem::TensorWithHeaders::fromCSVFile(file, AISystem::TensorElementType::Double, true);
                }
                catch (const std::exception& error)
                {
                    throw ParseFailure(error.what());
                }
                const std::vector<std::string>& headers = table.getHeaders();
                const AISystem::Tensor& cells = table.getTensor();
                const std::int64_t rows = cells.getDimensionCount() == 2 ? cells.getDimensionSize(0) : 0;
                if (headers.empty() || headers.front() != "Iteration" || rows != 1)
                    throw ParseFailure(file + ": an answer is a header starting with 'Iteration' and one row");
                if (static_cast<int>(cells.at(0, 0)) != iteration)
                    throw ParseFailure(file + ": the answer is for iteration " +
                                       std::to_string(static_cast<long long>(cells.at(0, 0))) + ", not " +
                                       std::to_string(iteration));
                std::vector<std::pair<const ExchangeValues::Value*, double>> writes;
                for (std::size_t column = 1; column < headers.size(); ++column)
                {
                    const std::string& header = headers[column];
                    std::string path = header;
                    std::string unit;
                    const ExchangeValues::Value* value = session.values().find(path);
                    std::smatch parts;
                    if (value == nullptr && std::regex_match(header, parts, withUnit))
                    {
                        path = parts[1].str();
                        unit = parts[2].str();
                        value = session.values().find(path);
                    }
                    if (value == nullptr || !isNumber(*value->attribute))
                        throw std::runtime_error(file + ": column '" + header + "' names no number of the exchange model");
                    const double number = cells.at(0, static_cast<std::int64_t>(column));
                    std::string refusal;
                    if (!TesseraSDK::canWrite(value->attribute->getAccessType()))
                        refusal = "User has no write access";
                    else if (!unit.empty() && unit != value->attribute->getUnit())
                        refusal = "Invalid Unit";
                    else
                    {
                        try
                        {
                            session.checkRange(*value, number);
                        }
                        catch (const std::runtime_error& error)
                        {
                            refusal = error.what();
                        }
                    }
                    if (!refusal.empty())
                    {
                        session.writeRefused(m_name, value->path, refusal);
                        throw std::runtime_error(file + ": '" + value->path + "': " + refusal);
                    }
                    writes.emplace_back(value, number);
                }
                QFile::remove(name);
                for (const auto& [value, number] : writes)
                {
                    if (value->attribute->getAttributeType(false) == TesseraSDK::AttributeType::Boolean)
                        ExchangeValues::write(*value->attribute, number != 0.0, true);
                    else if (value->attribute->getAttributeType(false) == TesseraSDK::AttributeType::Integer)
                        ExchangeValues::write(*value->attribute, static_cast<int>(std::lround(number)), true);
                    else
                        ExchangeValues::write(*value->attribute, number, true);
                    session.valueWritten(m_name, *value);
                }
                return;
            }
            catch (const ParseFailure& failure)
            {
                QFile::remove(name);
                switch (m_options.parseFailureHandling)
                {
                case 1:
                    throw std::runtime_error(where + ": " + failure.what());
                case 2:
                    return;
                default:
                    ++attempts;
                    if (m_options.inputFileTryAttempts > 0 && attempts >= m_options.inputFileTryAttempts)
                        throw std::runtime_error(where + ": " + failure.what() + " (after " +
                                                 std::to_string(attempts) + " attempts)");
                    break;
                }
            }
            catch (const std::runtime_error& error)
            {
                QFile::remove(name);
                throw std::runtime_error(where + ": " + error.what());
            }
        }
        if (m_options.clientHeartbeatGracePeriod >= 0 &&
            Clock::now() - start >= std::chrono::seconds(m_options.clientHeartbeatGracePeriod))
            throw std::runtime_error(where + ": the controller did not answer within " +
                                     std::to_string(m_options.clientHeartbeatGracePeriod) + " s: no " + file);
        QThread::msleep(10);
    }
}
} // namespace CFDSolver
