#include "host/filesystem/TextDataIStream.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace FileSystem
{
namespace
{
std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

template <class T>
bool parseNumber(const std::string& text, T& value)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

template <class T>
bool parseFloating(const std::string& text, T& value)
{
    if (text == "nan")
    {
        value = std::numeric_limits<T>::quiet_NaN();
        return true;
    }
    return parseNumber(text, value);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool unquote(const std::string& text, std::string& value)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    value.clear();
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '"')
            return false;
        if (c != '\\')
        {
            value += c;
            continue;
        }
        if (++i + 1 >= text.size())
            return false;
        switch (text[i])
        {
        case '"': value += '"'; break;
        case '\\': value += '\\'; break;
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'x':
        {
            if (i + 3 >= text.size())
                return false;
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            value += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}
} // namespace

TextDataIStream::TextDataIStream(std::istream& in) : DataIStream(0), m_in(in)
{
    static const std::string header = "# data stream version ";
    std::string first;
    std::uint32_t version = 0;
    if (!nextLine(first) || first.rfind(header, 0) != 0 || !parseNumber(first.substr(header.size()), version))
    {
        setFailed("text data stream: no stream header");
        return;
    }
    setVersion(version);
}

bool TextDataIStream::nextLine(std::string& text)
{
    std::string raw;
    while (std::getline(m_in, raw))
    {
        ++m_line;
        text = trimmed(raw);
        if (!text.empty())
            return true;
    }
    return false;
}

bool TextDataIStream::nextValue(std::string& text, const char* what)
{
    std::string lineText;
    if (!nextLine(lineText))
    {
        setFailed(std::string("text data stream ended reading ") + what);
        return false;
    }
    if (m_pendingLabel.empty())
    {
        text = lineText;
        return true;
    }
    const std::string prefix = m_pendingLabel + ": ";
    if (lineText.rfind(prefix, 0) != 0)
    {
        setFailed("text data stream line " + std::to_string(m_line) + ": expected label '" + m_pendingLabel +
                  "', found '" + lineText + "'");
        return false;
    }
    m_pendingLabel.clear();
    text = trimmed(lineText.substr(prefix.size()));
    return true;
}

namespace
{
template <class T, class Parser>
bool readWith(TextDataIStream& stream, std::string& text, T& value, Parser parse, const char* what,
              std::uint64_t lineNumber, bool got)
{
    if (!got)
        return false;
    if (!parse(text, value))
    {
        stream.setFailed("text data stream line " + std::to_string(lineNumber) + ": '" + text + "' is not " + what);
        return false;
    }
    return true;
}
} // namespace

bool TextDataIStream::readBool(bool& value)
{
    std::string text;
    const bool got = nextValue(text, "a boolean");
    return readWith(
        *this, text, value,
        [](const std::string& t, bool& v) {
            if (t != "true" && t != "false")
                return false;
            v = t == "true";
            return true;
        },
        "a boolean", m_line, got);
}

bool TextDataIStream::readInt32(std::int32_t& value)
{
    std::string text;
    const bool got = nextValue(text, "an integer");
    return readWith(*this, text, value, parseNumber<std::int32_t>, "a 32-bit integer", m_line, got);
}

bool TextDataIStream::readUInt32(std::uint32_t& value)
{
    std::string text;
    const bool got = nextValue(text, "an integer");
    return readWith(*this, text, value, parseNumber<std::uint32_t>, "an unsigned 32-bit integer", m_line, got);
}

bool TextDataIStream::readInt64(std::int64_t& value)
{
    std::string text;
    const bool got = nextValue(text, "an integer");
    return readWith(*this, text, value, parseNumber<std::int64_t>, "a 64-bit integer", m_line, got);
}

bool TextDataIStream::readUInt64(std::uint64_t& value)
{
    std::string text;
    const bool got = nextValue(text, "an integer");
    return readWith(*this, text, value, parseNumber<std::uint64_t>, "an unsigned 64-bit integer", m_line, got);
}

bool TextDataIStream::readFloat(float& value)
{
    std::string text;
    const bool got = nextValue(text, "a float");
    return readWith(*this, text, value, parseFloating<float>, "a float", m_line, got);
}

bool TextDataIStream::readDouble(double& value)
{
    std::string text;
    const bool got = nextValue(text, "a double");
    return readWith(*this, text, value, parseFloating<double>, "a double", m_line, got);
}

bool TextDataIStream::readString(std::string& value)
{
    std::string text;
    const bool got = nextValue(text, "a string");
    return readWith(*this, text, value, unquote, "a quoted string", m_line, got);
}

bool TextDataIStream::readBytes(Utilities::bytearray& value)
{
    std::string text;
    const bool got = nextValue(text, "a byte array");
    return readWith(
        *this, text, value,
        [](const std::string& t, Utilities::bytearray& v) {
            if (t.rfind("hex:", 0) != 0 || t.size() % 2 != 0)
                return false;
            v.clear();
            v.reserve((t.size() - 4) / 2);
            for (std::size_t i = 4; i < t.size(); i += 2)
            {
                const int high = hexDigit(t[i]);
                const int low = hexDigit(t[i + 1]);
                if (high < 0 || low < 0)
                    return false;
                v.push_back(static_cast<std::uint8_t>(high * 16 + low));
            }
            return true;
        },
        "a byte array", m_line, got);
}

bool TextDataIStream::readTag(const std::string& name, bool closing)
{
    std::string text;
    if (!m_pendingLabel.empty())
    {
        if (!nextLine(text) || text != m_pendingLabel + ":")
        {
            setFailed("text data stream line " + std::to_string(m_line) + ": expected label '" + m_pendingLabel +
                      "'");
            return false;
        }
        m_pendingLabel.clear();
    }
    const std::string expected = (closing ? "</" : "<") + name + ">";
    if (!nextLine(text) || text != expected)
    {
        setFailed("text data stream line " + std::to_string(m_line) + ": expected " + expected);
        return false;
    }
    return true;
}

bool TextDataIStream::readLabel(const std::string& name)
{
    if (!m_pendingLabel.empty())
    {
        std::string text;
        if (!nextLine(text) || text != m_pendingLabel + ":")
        {
            setFailed("text data stream line " + std::to_string(m_line) + ": expected label '" + m_pendingLabel +
                      "'");
            return false;
        }
    }
    m_pendingLabel = name;
    return true;
}

std::uint64_t TextDataIStream::remainingBytes() const { return UINT64_MAX; }
} // namespace FileSystem
