#include "host/filesystem/BinaryDataIStream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace FileSystem
{
std::uint32_t binaryTagCheck(const std::string& name, bool closing);

namespace
{
// Strings of unknown size are read in pieces of this many bytes, so a corrupt length fails at
// the end of the stream instead of allocating it up front.
constexpr std::uint64_t chunkSize = 1 << 16;
} // namespace

BinaryDataIStream::BinaryDataIStream(std::istream& in) : DataIStream(0), m_in(in)
{
    const std::istream::pos_type start = m_in.tellg();
    if (start != std::istream::pos_type(-1) && m_in.seekg(0, std::ios::end))
    {
        const std::istream::pos_type end = m_in.tellg();
        m_in.seekg(start);
        if (end != std::istream::pos_type(-1) && end >= start)
            m_remaining = static_cast<std::uint64_t>(end - start);
    }
    m_in.clear();

    char magic[4] = {};
    std::uint8_t order = 0;
    if (!get(magic, 4, "header") || std::memcmp(magic, "CXDS", 4) != 0)
    {
        setFailed("binary data stream: no stream header");
        return;
    }
    if (!get(&order, 1, "header"))
        return;
    if (order != static_cast<std::uint8_t>(Utilities::Endianness::Little) &&
        order != static_cast<std::uint8_t>(Utilities::Endianness::Big))
    {
        setFailed("binary data stream: invalid byte order " + std::to_string(order));
        return;
    }
    m_endianness = static_cast<Utilities::Endianness>(order);
    std::uint64_t version = 0;
    if (getOrdered(version, 4, "header"))
        setVersion(static_cast<std::uint32_t>(version));
}

bool BinaryDataIStream::get(void* data, std::size_t size, const char* what)
{
    if (fail())
        return false;
    if (m_remaining != UINT64_MAX && size > m_remaining)
    {
        setFailed(std::string("binary data stream truncated reading ") + what);
        return false;
    }
    m_in.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
    if (static_cast<std::size_t>(m_in.gcount()) != size)
    {
        setFailed(std::string("binary data stream truncated reading ") + what);
        return false;
    }
    if (m_remaining != UINT64_MAX)
        m_remaining -= size;
    return true;
}

bool BinaryDataIStream::getOrdered(std::uint64_t& bits, int size, const char* what)
{
    unsigned char bytes[8];
    if (!get(bytes, static_cast<std::size_t>(size), what))
        return false;
    bits = 0;
    for (int i = 0; i < size; ++i)
    {
        const int shift = m_endianness == Utilities::Endianness::Big ? 8 * (size - 1 - i) : 8 * i;
        bits |= static_cast<std::uint64_t>(bytes[i]) << shift;
    }
    return true;
}

template <class Container>
bool BinaryDataIStream::getSized(Container& value, const char* what)
{
    std::uint64_t size = 0;
    if (!getOrdered(size, 8, what))
        return false;
    if (m_remaining != UINT64_MAX && size > m_remaining)
    {
        setFailed(std::string("binary data stream: ") + what + " of " + std::to_string(size) + " bytes but only " +
                  std::to_string(m_remaining) + " remain");
        return false;
    }
    value.clear();
    if (m_remaining != UINT64_MAX)
    {
        value.resize(static_cast<std::size_t>(size));
        return size == 0 || get(value.data(), static_cast<std::size_t>(size), what);
    }
    while (size > 0)
    {
        const std::uint64_t piece = std::min(size, chunkSize);
        const std::size_t at = value.size();
        value.resize(at + static_cast<std::size_t>(piece));
        if (!get(value.data() + at, static_cast<std::size_t>(piece), what))
            return false;
        size -= piece;
    }
    return true;
}

bool BinaryDataIStream::readBool(bool& value)
{
    std::uint8_t byte = 0;
    if (!get(&byte, 1, "a boolean"))
        return false;
    if (byte > 1)
    {
        setFailed("binary data stream: invalid boolean byte " + std::to_string(byte));
        return false;
    }
    value = byte == 1;
    return true;
}

bool BinaryDataIStream::readInt32(std::int32_t& value)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 4, "a 32-bit integer"))
        return false;
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    return true;
}

bool BinaryDataIStream::readUInt32(std::uint32_t& value)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 4, "a 32-bit integer"))
        return false;
    value = static_cast<std::uint32_t>(bits);
    return true;
}

bool BinaryDataIStream::readInt64(std::int64_t& value)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 8, "a 64-bit integer"))
        return false;
    value = static_cast<std::int64_t>(bits);
    return true;
}

bool BinaryDataIStream::readUInt64(std::uint64_t& value) { return getOrdered(value, 8, "a 64-bit integer"); }

bool BinaryDataIStream::readFloat(float& value)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 4, "a float"))
        return false;
    value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    return true;
}

bool BinaryDataIStream::readDouble(double& value)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 8, "a double"))
        return false;
    value = std::bit_cast<double>(bits);
    return true;
}

bool BinaryDataIStream::readString(std::string& value) { return getSized(value, "a string"); }

bool BinaryDataIStream::readBytes(Utilities::bytearray& value) { return getSized(value, "a byte array"); }

bool BinaryDataIStream::readTag(const std::string& name, bool closing)
{
    std::uint64_t bits = 0;
    if (!getOrdered(bits, 4, "a section tag"))
        return false;
    if (bits != binaryTagCheck(name, closing))
    {
        setFailed("binary data stream: expected " + std::string(closing ? "</" : "<") + name + ">");
        return false;
    }
    return true;
}

bool BinaryDataIStream::readLabel(const std::string&) { return true; }

std::uint64_t BinaryDataIStream::remainingBytes() const { return m_remaining; }
} // namespace FileSystem
