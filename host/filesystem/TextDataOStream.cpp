#include "host/filesystem/TextDataOStream.h"

#include <charconv>
#include <cmath>

namespace FileSystem
{
namespace
{
template <class T>
std::string number(T value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

template <class T>
std::string floating(T value)
{
    // Shortest text that reads back to the same bits; the sign of a NaN is not kept.
    if (std::isnan(value))
        return "nan";
    return number(value);
}

std::string quoted(const std::string& value)
{
    static const char hex[] = "0123456789abcdef";
    std::string text = "\"";
    for (unsigned char c : value)
    {
        switch (c)
        {
        case '"': text += "\\\""; break;
        case '\\': text += "\\\\"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        case '\t': text += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f)
            {
                text += "\\x";
                text += hex[c >> 4];
                text += hex[c & 15];
            }
            else
                text += static_cast<char>(c);
        }
    }
    return text + "\"";
}
} // namespace

TextDataOStream::TextDataOStream(std::ostream& out, std::uint32_t version) : DataOStream(version), m_out(out)
{
    m_out << "# data stream version " << version << '\n';
    if (!m_out)
        setFailed("text data stream: the output stream refused the header");
}

void TextDataOStream::line(const std::string& text)
{
    std::string out(static_cast<std::size_t>(indentation()), ' ');
    if (!m_pendingLabel.empty())
    {
        out += m_pendingLabel;
        out += ": ";
        m_pendingLabel.clear();
    }
    out += text;
    out += '\n';
    m_out << out;
    if (!m_out)
        setFailed("text data stream: the output stream refused a line");
}

void TextDataOStream::writeBool(bool value) { line(value ? "true" : "false"); }
void TextDataOStream::writeInt32(std::int32_t value) { line(number(value)); }
void TextDataOStream::writeUInt32(std::uint32_t value) { line(number(value)); }
void TextDataOStream::writeInt64(std::int64_t value) { line(number(value)); }
void TextDataOStream::writeUInt64(std::uint64_t value) { line(number(value)); }
void TextDataOStream::writeFloat(float value) { line(floating(value)); }
void TextDataOStream::writeDouble(double value) { line(floating(value)); }
void TextDataOStream::writeString(const std::string& value) { line(quoted(value)); }

void TextDataOStream::writeBytes(const Utilities::bytearray& value)
{
    static const char hex[] = "0123456789abcdef";
    std::string text = "hex:";
    text.reserve(4 + 2 * value.size());
    for (std::uint8_t byte : value)
    {
        text += hex[byte >> 4];
        text += hex[byte & 15];
    }
    line(text);
}

void TextDataOStream::writeTag(const std::string& name, bool closing)
{
    // A label in front of a section stands on a line of its own ("Value:").
    if (!m_pendingLabel.empty())
    {
        const std::string label = m_pendingLabel;
        m_pendingLabel.clear();
        const int depth = closing ? indentation() + 2 : indentation();
        m_out << std::string(static_cast<std::size_t>(depth), ' ') << label << ":\n";
    }
    line((closing ? "</" : "<") + name + ">");
}

void TextDataOStream::writeLabel(const std::string& name)
{
    if (!m_pendingLabel.empty())
    {
        m_out << std::string(static_cast<std::size_t>(indentation()), ' ') << m_pendingLabel << ":\n";
    }
    m_pendingLabel = name;
}
} // namespace FileSystem
