#include "host/ai/tensor/TensorWithHeaders.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace AISystem
{
namespace
{
struct Record
{
    std::vector<std::string> fields;
    std::int64_t line = 0;
};

/// Splits CSV text into records; quoted fields may hold commas, quotes ("") and line breaks.
std::vector<Record> parseRecords(const std::string& text, const std::string& path)
{
    std::vector<Record> records;
    std::size_t i = 0;
    std::int64_t line = 1;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    while (i < text.size())
    {
        Record record;
        record.line = line;
        std::string field;
        bool recordDone = false;
        while (!recordDone)
        {
            field.clear();
            const std::int64_t column = static_cast<std::int64_t>(record.fields.size()) + 1;
            if (i < text.size() && text[i] == '"')
            {
                ++i;
                for (;;)
                {
                    if (i >= text.size())
                        throw std::runtime_error(path + ": line " + std::to_string(record.line) +
                                                 ", column " + std::to_string(column) +
                                                 ": unterminated quoted field");
                    const char c = text[i++];
                    if (c == '"')
                    {
                        if (i < text.size() && text[i] == '"')
                        {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                    field += c;
                }
                if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
                    throw std::runtime_error(path + ": line " + std::to_string(line) + ", column " +
                                             std::to_string(column) + ": text after a closing quote");
            }
            else
            {
                while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
                    field += text[i++];
            }
            record.fields.push_back(field);
            if (i < text.size() && text[i] == ',')
            {
                ++i;
                continue;
            }
            if (i < text.size() && text[i] == '\r')
                ++i;
            if (i < text.size() && text[i] == '\n')
                ++i;
            ++line;
            recordDone = true;
        }
        const bool blank =
            record.fields.size() == 1 && record.fields.front().find_first_not_of(" \t") == std::string::npos;
        if (!blank)
            records.push_back(std::move(record));
    }
    return records;
}

double parseNumber(const std::string& cell, const std::string& path, std::int64_t line, std::int64_t column)
{
    const std::size_t first = cell.find_first_not_of(" \t");
    const std::size_t last = cell.find_last_not_of(" \t");
    double value = 0.0;
    if (first != std::string::npos)
    {
        const char* begin = cell.data() + first + (cell[first] == '+' ? 1 : 0);
        const char* end = cell.data() + last + 1;
        const auto [stop, error] = std::from_chars(begin, end, value);
        if (error == std::errc() && stop == end)
            return value;
        if (error == std::errc::result_out_of_range && stop == end)
            throw std::runtime_error(path + ": line " + std::to_string(line) + ", column " +
                                     std::to_string(column) + ": \"" + cell + "\" is out of range");
    }
    throw std::runtime_error(path + ": line " + std::to_string(line) + ", column " + std::to_string(column) +
                             ": \"" + cell + "\" is not a number");
}

std::string quoted(const std::string& field, bool first)
{
    // A file's first bytes EF BB BF read back as a byte-order mark, not as part of the field.
    const bool startsLikeMark = first && field.compare(0, 3, "\xEF\xBB\xBF") == 0;
    const bool needsQuotes = field.find_first_of(",\"\r\n") != std::string::npos || field.empty() ||
                             field.front() == ' ' || field.back() == ' ' || startsLikeMark;
    if (!needsQuotes)
        return field;
    std::string result = "\"";
    for (char c : field)
        result += c == '"' ? std::string("\"\"") : std::string(1, c);
    return result + "\"";
}

template <typename T> std::string formatNumber(T value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::string("nan");
}
} // namespace

TensorWithHeaders::TensorWithHeaders(Tensor tensor, std::vector<std::string> headers)
    : m_tensor(std::move(tensor)), m_headers(std::move(headers))
{
    if (m_tensor.getDimensionCount() > 2)
        throw std::invalid_argument("TensorWithHeaders: the tensor must have at most two dimensions, not " +
                                    m_tensor.getTensorShape().toString());
    if (!m_headers.empty() && static_cast<std::int64_t>(m_headers.size()) != getColumnCount())
        throw std::invalid_argument("TensorWithHeaders: " + std::to_string(m_headers.size()) +
                                    " headers for a tensor of shape " + m_tensor.getTensorShape().toString());
}

std::int64_t TensorWithHeaders::getColumnCount() const
{
    switch (m_tensor.getDimensionCount())
    {
    case 0:
        return static_cast<std::int64_t>(m_headers.size());
    case 1:
        return 1;
    default:
        return m_tensor.getDimensionSize(1);
    }
}

TensorWithHeaders TensorWithHeaders::fromCSVFile(const std::string& path, TensorElementType type,
                                                 bool hasHeaders)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error(path + ": cannot open the file");
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
        throw std::runtime_error(path + ": cannot read the file");
    return fromCSVText(content.str(), path, type, hasHeaders);
}

TensorWithHeaders TensorWithHeaders::fromCSVText(const std::string& text, const std::string& path,
                                                 TensorElementType type, bool hasHeaders)
{
    const std::vector<Record> records = parseRecords(text, path);

    std::vector<std::string> headers;
    std::size_t firstRow = 0;
    if (hasHeaders && !records.empty())
    {
        headers = records.front().fields;
        firstRow = 1;
    }
    if (records.size() <= firstRow && headers.empty())
        return TensorWithHeaders(Tensor(), {});
    const std::size_t columns = headers.empty() ? records[firstRow].fields.size() : headers.size();
    const auto rows = static_cast<std::int64_t>(records.size() - firstRow);
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(rows) * columns);
    for (std::size_t r = firstRow; r < records.size(); ++r)
    {
        const Record& record = records[r];
        if (record.fields.size() != columns)
            throw std::runtime_error(path + ": line " + std::to_string(record.line) + " has " +
                                     std::to_string(record.fields.size()) + " columns, expected " +
                                     std::to_string(columns));
        for (std::size_t c = 0; c < columns; ++c)
            values.push_back(
                parseNumber(record.fields[c], path, record.line, static_cast<std::int64_t>(c) + 1));
    }
    const TensorElementType elementType = type == TensorElementType::Float ? type : TensorElementType::Double;
    Tensor tensor = Tensor::fromValues({rows, static_cast<std::int64_t>(columns)}, std::move(values));
    return TensorWithHeaders(tensor.toElementType(elementType), std::move(headers));
}

bool TensorWithHeaders::toCSVFile(const std::string& path) const
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    const std::int64_t columns = getColumnCount();
    if (!m_headers.empty())
    {
        for (std::size_t c = 0; c < m_headers.size(); ++c)
            file << (c ? "," : "") << quoted(m_headers[c], c == 0);
        file << "\r\n";
    }
    const std::int64_t count = m_tensor.getElementCount();
    for (std::int64_t i = 0; i < count; ++i)
    {
        const TensorElement value = m_tensor.getElementValue(i);
        file << (i % columns ? "," : "")
             << (std::holds_alternative<float>(value) ? formatNumber(std::get<float>(value))
                                                      : formatNumber(std::get<double>(value)));
        if (i % columns == columns - 1)
            file << "\r\n";
    }
    file.flush();
    return static_cast<bool>(file);
}

Tensor TensorWithHeaders::getColumn(std::int64_t index) const
{
    const std::int64_t columns = getColumnCount();
    if (index < 0 || index >= columns)
        throw std::out_of_range("TensorWithHeaders: column " + std::to_string(index) +
                                " out of range: there are " + std::to_string(columns) + " columns");
    if (m_tensor.getDimensionCount() == 0)
        return Tensor::createTensor({0, 1}, TensorElementType::Double);
    if (m_tensor.getDimensionCount() == 1)
        return m_tensor.reshaped({m_tensor.getDimensionSize(0), 1});
    return m_tensor.slice(1, index, 1, 1);
}

std::int64_t TensorWithHeaders::findColumn(const std::string& header) const
{
    for (std::size_t i = 0; i < m_headers.size(); ++i)
        if (m_headers[i] == header)
            return static_cast<std::int64_t>(i);
    return -1;
}
} // namespace AISystem
