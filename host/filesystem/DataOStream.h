#pragma once
// FileSystem::DataOStream: the writing side of the data streams in which records are stored.
#include "host/filesystem/ByteArray.h"

#include <cstdint>
#include <string>

namespace FileSystem
{
/// Writes typed primitives, named sections ("<name>" ... "</name>") and labelled fields.
/// The encoding belongs to the derived class (BinaryDataOStream, TextDataOStream). Once a write
/// fails the stream stays failed and further writes are ignored.
class DataOStream
{
public:
    virtual ~DataOStream();
    DataOStream(const DataOStream&) = delete;
    DataOStream& operator=(const DataOStream&) = delete;

    /// The version of the records written, chosen by whoever made the stream.
    std::uint32_t version() const { return m_version; }

    bool fail() const { return !m_error.empty(); }
    bool good() const { return m_error.empty(); }
    explicit operator bool() const { return good(); }
    /// What made the stream fail; empty while it is good.
    const std::string& errorMessage() const { return m_error; }

    DataOStream& operator<<(bool value);
    DataOStream& operator<<(std::int32_t value);
    DataOStream& operator<<(std::uint32_t value);
    DataOStream& operator<<(std::int64_t value);
    DataOStream& operator<<(std::uint64_t value);
    DataOStream& operator<<(float value);
    DataOStream& operator<<(double value);
    DataOStream& operator<<(const std::string& value);
    /// Text literals are strings (not booleans).
    DataOStream& operator<<(const char* value) { return *this << std::string(value); }
    DataOStream& operator<<(const Utilities::bytearray& value);

    /// Opens the section `name` ("<name>") and raises the indentation by 2.
    void openTag(const std::string& name);
    /// Closes the section `name` ("</name>") and lowers the indentation by 2 (not below 0).
    void closeTag(const std::string& name);
    /// Labels the next field.
    void label(const std::string& name);

    /// A labelled field: `label(name)` then the value.
    template <class T>
    DataOStream& field(const std::string& name, const T& value)
    {
        label(name);
        return *this << value;
    }

    /// Current indentation in blanks (used by readable encodings).
    int indentation() const { return m_indentation; }

protected:
    explicit DataOStream(std::uint32_t version);

    /// Puts the stream into its failed state (the first message is kept).
    void setFailed(const std::string& message);

    virtual void writeBool(bool value) = 0;
    virtual void writeInt32(std::int32_t value) = 0;
    virtual void writeUInt32(std::uint32_t value) = 0;
    virtual void writeInt64(std::int64_t value) = 0;
    virtual void writeUInt64(std::uint64_t value) = 0;
    virtual void writeFloat(float value) = 0;
    virtual void writeDouble(double value) = 0;
    virtual void writeString(const std::string& value) = 0;
    virtual void writeBytes(const Utilities::bytearray& value) = 0;
    /// `closing` false writes "<name>", true "</name>"; indentation is that of the tag's line.
    virtual void writeTag(const std::string& name, bool closing) = 0;
    virtual void writeLabel(const std::string& name) = 0;

private:
    std::uint32_t m_version;
    int m_indentation = 0;
    std::string m_error;
};
} // namespace FileSystem
