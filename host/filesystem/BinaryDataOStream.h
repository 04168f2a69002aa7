#pragma once
#include "host/filesystem/DataOStream.h"
#include "host/filesystem/Endianness.h"

#include <ostream>

namespace FileSystem
{
/// Compact binary encoding over a std::ostream. The stream starts with a 9-byte header (magic
/// "CXDS", the byte order, the version) so that BinaryDataIStream can read it back on its own.
/// Integers and floating values are written in the chosen byte order (IEEE 754), strings and
/// byte arrays as a 64-bit length and their bytes, section tags as a 32-bit check of their
/// name; labels take no room.
class BinaryDataOStream : public DataOStream
{
public:
    BinaryDataOStream(std::ostream& out, std::uint32_t version = 1,
                      Utilities::Endianness endianness = Utilities::Endianness::Native);

    /// The byte order used, Native resolved to Little or Big.
    Utilities::Endianness endianness() const { return m_endianness; }

protected:
    void writeBool(bool value) override;
    void writeInt32(std::int32_t value) override;
    void writeUInt32(std::uint32_t value) override;
    void writeInt64(std::int64_t value) override;
    void writeUInt64(std::uint64_t value) override;
    void writeFloat(float value) override;
    void writeDouble(double value) override;
    void writeString(const std::string& value) override;
    void writeBytes(const Utilities::bytearray& value) override;
    void writeTag(const std::string& name, bool closing) override;
    void writeLabel(const std::string& name) override;

private:
    void put(const void* data, std::size_t size);
    void putOrdered(std::uint64_t bits, int size);

    std::ostream& m_out;
    Utilities::Endianness m_endianness;
};
} // namespace FileSystem
