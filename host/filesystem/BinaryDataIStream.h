#pragma once
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/Endianness.h"

#include <istream>

namespace FileSystem
{
/// Reads the encoding of BinaryDataOStream from a std::istream. The header is read on
/// construction: a stream without a valid header is failed from the start. Lengths are checked
/// against what remains when the stream can tell its size; otherwise long strings are read in
/// bounded chunks, so a corrupt length never allocates more than the stream holds.
class BinaryDataIStream : public DataIStream
{
public:
    explicit BinaryDataIStream(std::istream& in);

    /// The byte order the writer used (Little or Big).
    Utilities::Endianness endianness() const { return m_endianness; }

protected:
    bool readBool(bool& value) override;
    bool readInt32(std::int32_t& value) override;
    bool readUInt32(std::uint32_t& value) override;
    bool readInt64(std::int64_t& value) override;
    bool readUInt64(std::uint64_t& value) override;
    bool readFloat(float& value) override;
    bool readDouble(double& value) override;
    bool readString(std::string& value) override;
    bool readBytes(Utilities::bytearray& value) override;
    bool readTag(const std::string& name, bool closing) override;
    bool readLabel(const std::string& name) override;
    std::uint64_t remainingBytes() const override;

private:
    bool get(void* data, std::size_t size, const char* what);
    bool getOrdered(std::uint64_t& bits, int size, const char* what);
    template <class Container>
    bool getSized(Container& value, const char* what);

    std::istream& m_in;
    Utilities::Endianness m_endianness = Utilities::Endianness::Little;
    std::uint64_t m_remaining = UINT64_MAX;
};
} // namespace FileSystem
