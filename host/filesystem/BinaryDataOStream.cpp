#include "host/filesystem/BinaryDataOStream.h"

#include <bit>
#include <cstring>

namespace FileSystem
{
namespace
{
Utilities::Endianness resolve(Utilities::Endianness endianness)
{
    if (endianness == Utilities::Endianness::Native)
        return std::endian::native == std::endian::big ? Utilities::Endianness::Big : Utilities::Endianness::Little;
    return endianness;
}
} // namespace

// Shared with BinaryDataIStream: the check written for a section tag.
std::uint32_t binaryTagCheck(const std::string& name, bool closing)
{
    std::uint32_t hash = 2166136261u;
    auto mix = [&hash](unsigned char c) {
        hash ^= c;
        hash *= 16777619u;
    };
    mix(closing ? '/' : '<');
    for (unsigned char c : name)
        mix(c);
    return hash;
}

BinaryDataOStream::BinaryDataOStream(std::ostream& out, std::uint32_t version, Utilities::Endianness endianness)
    : DataOStream(version), m_out(out), m_endianness(resolve(endianness))
{
    put("CXDS", 4);
    const auto order = static_cast<std::uint8_t>(m_endianness);
    put(&order, 1);
    putOrdered(version, 4);
}

void BinaryDataOStream::put(const void* data, std::size_t size)
{
    if (fail())
        return;
    m_out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!m_out)
        setFailed("binary data stream: the output stream refused " + std::to_string(size) + " bytes");
}

void BinaryDataOStream::putOrdered(std::uint64_t bits, int size)
{
    unsigned char bytes[8];
    for (int i = 0; i < size; ++i)
    {
        const int shift = m_endianness == Utilities::Endianness::Big ? 8 * (size - 1 - i) : 8 * i;
        bytes[i] = static_cast<unsigned char>(bits >> shift);
    }
    put(bytes, static_cast<std::size_t>(size));
}

void BinaryDataOStream::writeBool(bool value)
{
    const std::uint8_t byte = value ? 1 : 0;
    put(&byte, 1);
}

void BinaryDataOStream::writeInt32(std::int32_t value) { putOrdered(static_cast<std::uint32_t>(value), 4); }
void BinaryDataOStream::writeUInt32(std::uint32_t value) { putOrdered(value, 4); }
void BinaryDataOStream::writeInt64(std::int64_t value) { putOrdered(static_cast<std::uint64_t>(value), 8); }
void BinaryDataOStream::writeUInt64(std::uint64_t value) { putOrdered(value, 8); }
void BinaryDataOStream::writeFloat(float value) { putOrdered(std::bit_cast<std::uint32_t>(value), 4); }
void BinaryDataOStream::writeDouble(double value) { putOrdered(std::bit_cast<std::uint64_t>(value), 8); }

void BinaryDataOStream::writeString(const std::string& value)
{
    putOrdered(value.size(), 8);
    put(value.data(), value.size());
}

void BinaryDataOStream::writeBytes(const Utilities::bytearray& value)
{
    putOrdered(value.size(), 8);
    put(value.data(), value.size());
}

void BinaryDataOStream::writeTag(const std::string& name, bool closing)
{
    putOrdered(binaryTagCheck(name, closing), 4);
}

void BinaryDataOStream::writeLabel(const std::string&) {}
} // namespace FileSystem
