#include "host/filesystem/DataOStream.h"

namespace FileSystem
{
DataOStream::DataOStream(std::uint32_t version) : m_version(version) {}

DataOStream::~DataOStream() = default;

void DataOStream::setFailed(const std::string& message)
{
    if (m_error.empty())
        m_error = message.empty() ? std::string("data stream failed") : message;
}

DataOStream& DataOStream::operator<<(bool value)
{
    if (good())
        writeBool(value);
    return *this;
}

DataOStream& DataOStream::operator<<(std::int32_t value)
{
    if (good())
        writeInt32(value);
    return *this;
}

DataOStream& DataOStream::operator<<(std::uint32_t value)
{
    if (good())
        writeUInt32(value);
    return *this;
}

DataOStream& DataOStream::operator<<(std::int64_t value)
{
    if (good())
        writeInt64(value);
    return *this;
}

DataOStream& DataOStream::operator<<(std::uint64_t value)
{
    if (good())
        writeUInt64(value);
    return *this;
}

DataOStream& DataOStream::operator<<(float value)
{
    if (good())
        writeFloat(value);
    return *this;
}

DataOStream& DataOStream::operator<<(double value)
{
    if (good())
        writeDouble(value);
    return *this;
}

DataOStream& DataOStream::operator<<(const std::string& value)
{
    if (good())
        writeString(value);
    return *this;
}

DataOStream& DataOStream::operator<<(const Utilities::bytearray& value)
{
    if (good())
        writeBytes(value);
    return *this;
}

void DataOStream::openTag(const std::string& name)
{
    if (good())
        writeTag(name, false);
    m_indentation += 2;
}

void DataOStream::closeTag(const std::string& name)
{
    m_indentation = m_indentation >= 2 ? m_indentation - 2 : 0;
    if (good())
        writeTag(name, true);
}

void DataOStream::label(const std::string& name)
{
    if (good())
        writeLabel(name);
}
} // namespace FileSystem
