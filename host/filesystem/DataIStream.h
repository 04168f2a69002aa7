#pragma once
// FileSystem::DataIStream: the reading side of the data streams.
#include "host/filesystem/ByteArray.h"

#include <cstdint>
#include <string>

namespace FileSystem
{
/// Reads what a DataOStream of the same encoding wrote, in the same order.
///
/// Reading never throws and never crashes on bad input: a truncated or corrupt stream, a
/// mismatched section or label, or a length larger than what remains puts the stream into a
/// failed state. From then on every read yields a value-initialised result (0, false, empty)
/// and the stream stays failed; callers check `fail()` after reading a record.
class DataIStream
{
public:
    virtual ~DataIStream();
    DataIStream(const DataIStream&) = delete;
    DataIStream& operator=(const DataIStream&) = delete;

    /// The version of the records, as the writer declared it.
    std::uint32_t version() const { return m_version; }

    bool fail() const { return !m_error.empty(); }
    bool good() const { return m_error.empty(); }
    explicit operator bool() const { return good(); }
    /// What made the stream fail; empty while it is good.
    const std::string& errorMessage() const { return m_error; }
    /// Puts the stream into its failed state, e.g. when a record's content is invalid
    /// (the first message is kept).
    void setFailed(const std::string& message);

    DataIStream& operator>>(bool& value);
    DataIStream& operator>>(std::int32_t& value);
    DataIStream& operator>>(std::uint32_t& value);
    DataIStream& operator>>(std::int64_t& value);
    DataIStream& operator>>(std::uint64_t& value);
    DataIStream& operator>>(float& value);
    DataIStream& operator>>(double& value);
    DataIStream& operator>>(std::string& value);
    DataIStream& operator>>(Utilities::bytearray& value);

    /// Reads a value of type T (one of the primitives above).
    template <class T>
    T read()
    {
        T value{};
        *this >> value;
        return value;
    }

    /// Expects the opening of section `name`; anything else fails the stream.
    void openTag(const std::string& name);
    /// Expects the closing of section `name`; anything else fails the stream.
    void closeTag(const std::string& name);
    /// Expects the label of the next field (encodings that do not store labels accept any).
    void label(const std::string& name);

    /// A labelled field: `label(name)` then the value.
    template <class T>
    DataIStream& field(const std::string& name, T& value)
    {
        label(name);
        return *this >> value;
    }

    /// Whether `count` items of at least `minBytesEach` bytes can still be in the stream; fails
    /// the stream when they cannot. Use before reserving room for a count read from the stream.
    bool checkCount(std::uint64_t count, std::uint64_t minBytesEach);

    int indentation() const { return m_indentation; }

protected:
    explicit DataIStream(std::uint32_t version);
    void setVersion(std::uint32_t version) { m_version = version; }

    /// Each primitive reader returns false (having called setFailed) when it cannot read.
    virtual bool readBool(bool& value) = 0;
    virtual bool readInt32(std::int32_t& value) = 0;
    virtual bool readUInt32(std::uint32_t& value) = 0;
    virtual bool readInt64(std::int64_t& value) = 0;
    virtual bool readUInt64(std::uint64_t& value) = 0;
    virtual bool readFloat(float& value) = 0;
    virtual bool readDouble(double& value) = 0;
    virtual bool readString(std::string& value) = 0;
    virtual bool readBytes(Utilities::bytearray& value) = 0;
    virtual bool readTag(const std::string& name, bool closing) = 0;
    virtual bool readLabel(const std::string& name) = 0;
    /// Bytes known to remain, or UINT64_MAX when the encoding cannot tell.
    virtual std::uint64_t remainingBytes() const = 0;

private:
    std::uint32_t m_version;
    int m_indentation = 0;
    std::string m_error;
};
} // namespace FileSystem
