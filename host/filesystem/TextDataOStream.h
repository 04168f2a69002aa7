#pragma once
#include "host/filesystem/DataOStream.h"

#include <ostream>

namespace FileSystem
{
/// Readable dump over a std::ostream, one item a line, indented by section:
///   # data stream version 1
///   <Attribute:Double>
///     Name: "T"
///     42
///   </Attribute:Double>
/// A labelled field is "Label: value". Strings are quoted with C escapes, byte arrays are
/// hexadecimal, floating values use the shortest text that reads back exactly ("inf", "nan").
/// TextDataIStream reads it back.
class TextDataOStream : public DataOStream
{
public:
    explicit TextDataOStream(std::ostream& out, std::uint32_t version = 1);

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
    void line(const std::string& text);

    std::ostream& m_out;
    std::string m_pendingLabel;
};
} // namespace FileSystem
