#pragma once
#include "host/filesystem/DataIStream.h"

#include <istream>

namespace FileSystem
{
/// Reads the readable dump of TextDataOStream. Sections and labels are checked against the
/// names the reader expects; indentation is ignored.
class TextDataIStream : public DataIStream
{
public:
    explicit TextDataIStream(std::istream& in);

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
    /// The next value's text (after its label, if one was expected); false at the end.
    bool nextValue(std::string& text, const char* what);
    bool nextLine(std::string& text);

    std::istream& m_in;
    std::string m_pendingLabel;
    std::uint64_t m_line = 0;
};
} // namespace FileSystem
