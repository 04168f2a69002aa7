#include "host/filesystem/DataIStream.h"

namespace FileSystem
{
DataIStream::DataIStream(std::uint32_t version) : m_version(version) {}

DataIStream::~DataIStream() = default;

void DataIStream::setFailed(const std::string& message)
{
    if (m_error.empty())
        m_error = message.empty() ? std::string("data stream failed") : message;
}

namespace
{
// Every read leaves a defined value behind, also when the stream has failed before.
template <class T, class Reader>
DataIStream& readInto(DataIStream& stream, T& value, Reader reader)
{
    if (stream.fail() || !reader(value))
        value = T{};
    return stream;
}
} // namespace

DataIStream& DataIStream::operator>>(bool& value)
{
    return readInto(*this, value, [this](bool& v) { return readBool(v); });
}

DataIStream& DataIStream::operator>>(std::int32_t& value)
{
    return readInto(*this, value, [this](std::int32_t& v) { return readInt32(v); });
}

DataIStream& DataIStream::operator>>(std::uint32_t& value)
{
    return readInto(*this, value, [this](std::uint32_t& v) { return readUInt32(v); });
}

DataIStream& DataIStream::operator>>(std::int64_t& value)
{
    return readInto(*this, value, [this](std::int64_t& v) { return readInt64(v); });
}

DataIStream& DataIStream::operator>>(std::uint64_t& value)
{
    return readInto(*this, value, [this](std::uint64_t& v) { return readUInt64(v); });
}

DataIStream& DataIStream::operator>>(float& value)
{
    return readInto(*this, value, [this](float& v) { return readFloat(v); });
}

DataIStream& DataIStream::operator>>(double& value)
{
    return readInto(*this, value, [this](double& v) { return readDouble(v); });
}

DataIStream& DataIStream::operator>>(std::string& value)
{
    return readInto(*this, value, [this](std::string& v) { return readString(v); });
}

DataIStream& DataIStream::operator>>(Utilities::bytearray& value)
{
    return readInto(*this, value, [this](Utilities::bytearray& v) { return readBytes(v); });
}

void DataIStream::openTag(const std::string& name)
{
    if (good())
        readTag(name, false);
    m_indentation += 2;
}

void DataIStream::closeTag(const std::string& name)
{
    m_indentation = m_indentation >= 2 ? m_indentation - 2 : 0;
    if (good())
        readTag(name, true);
}

void DataIStream::label(const std::string& name)
{
    if (good())
        readLabel(name);
}

bool DataIStream::checkCount(std::uint64_t count, std::uint64_t minBytesEach)
{
    if (fail())
        return false;
    const std::uint64_t remaining = remainingBytes();
    if (minBytesEach == 0 || remaining == UINT64_MAX)
        return true;
    if (count > remaining / minBytesEach)
    {
        setFailed("data stream: count " + std::to_string(count) + " exceeds the " + std::to_string(remaining) +
                  " bytes that remain");
        return false;
    }
    return true;
}
} // namespace FileSystem
