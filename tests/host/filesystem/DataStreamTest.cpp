#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>

using namespace FileSystem;

namespace
{
enum class Encoding
{
    Binary,
    Text
};

std::unique_ptr<DataOStream> writer(Encoding encoding, std::ostream& out, std::uint32_t version = 1,
                                    Utilities::Endianness order = Utilities::Endianness::Native)
{
    if (encoding == Encoding::Binary)
        return std::make_unique<BinaryDataOStream>(out, version, order);
    return std::make_unique<TextDataOStream>(out, version);
}

std::unique_ptr<DataIStream> reader(Encoding encoding, std::istream& in)
{
    if (encoding == Encoding::Binary)
        return std::make_unique<BinaryDataIStream>(in);
    return std::make_unique<TextDataIStream>(in);
}

struct Record
{
    bool flag = false;
    std::int32_t i32 = 0;
    std::uint32_t u32 = 0;
    std::int64_t i64 = 0;
    std::uint64_t u64 = 0;
    float f = 0;
    double d = 0;
    std::string text;
    Utilities::bytearray bytes;

    void write(DataOStream& out) const
    {
        out.openTag("Record");
        out.field("Flag", flag);
        out << i32 << u32 << i64 << u64;
        out.field("Float", f);
        out << d;
        out.field("Text", text);
        out.label("Bytes");
        out << bytes;
        out.closeTag("Record");
    }

    void read(DataIStream& in)
    {
        in.openTag("Record");
        in.field("Flag", flag);
        in >> i32 >> u32 >> i64 >> u64;
        in.field("Float", f);
        in >> d;
        in.field("Text", text);
        in.label("Bytes");
        in >> bytes;
        in.closeTag("Record");
    }
};

class DataStream : public ::testing::TestWithParam<Encoding>
{
};

std::string encodingName(const ::testing::TestParamInfo<Encoding>& info)
{
    return info.param == Encoding::Binary ? "Binary" : "Text";
}
} // namespace

TEST_P(DataStream, EveryPrimitiveRoundTripsExactly)
{
    const Record rows[] = {
        {true, -7, 4000000000u, INT64_MIN, UINT64_MAX, 0.1f, 293.15123456, "plain", {0, 1, 255}},
        {false, INT32_MAX, 0, INT64_MAX, 0, -0.0f, 1e-308, "", {}},
        {true, INT32_MIN, UINT32_MAX, -1, 1, std::numeric_limits<float>::denorm_min(), -1.0 / 3.0,
         "quote \" back\\slash\nnew line\ttab \x01 \x7f <Record> Text: x", {'\n', '"', 0x7f}},
        {false, 0, 1, 0, 42, std::numeric_limits<float>::infinity(), -std::numeric_limits<double>::infinity(),
         "  leading and trailing blanks  ", {}},
    };
    for (const Record& row : rows)
    {
        SCOPED_TRACE(row.text);
        std::stringstream data;
        {
            auto out = writer(GetParam(), data);
            row.write(*out);
            ASSERT_TRUE(out->good());
        }
        auto in = reader(GetParam(), data);
        Record back;
        back.read(*in);
        ASSERT_TRUE(in->good()) << in->errorMessage();
        EXPECT_EQ(back.flag, row.flag);
        EXPECT_EQ(back.i32, row.i32);
        EXPECT_EQ(back.u32, row.u32);
        EXPECT_EQ(back.i64, row.i64);
        EXPECT_EQ(back.u64, row.u64);
        EXPECT_EQ(std::signbit(back.f), std::signbit(row.f));
        EXPECT_EQ(back.f, row.f);
        EXPECT_EQ(back.d, row.d);
        EXPECT_EQ(back.text, row.text);
        EXPECT_EQ(back.bytes, row.bytes);
    }
}

TEST_P(DataStream, NaNStaysNaN)
{
    std::stringstream data;
    writer(GetParam(), data)->operator<<(std::numeric_limits<double>::quiet_NaN());
    auto in = reader(GetParam(), data);
    EXPECT_TRUE(std::isnan(in->read<double>()));
    EXPECT_TRUE(in->good());
}

TEST_P(DataStream, VersionIsKept)
{
    std::stringstream data;
    writer(GetParam(), data, 7);
    EXPECT_EQ(reader(GetParam(), data)->version(), 7u);
}

TEST_P(DataStream, MismatchedSectionFailsAndLaterReadsGiveDefaults)
{
    std::stringstream data;
    {
        auto out = writer(GetParam(), data);
        out->openTag("Written");
        *out << std::int32_t(5) << std::string("text");
        out->closeTag("Written");
    }
    auto in = reader(GetParam(), data);
    in->openTag("Expected");
    EXPECT_TRUE(in->fail());
    EXPECT_NE(in->errorMessage().find("Expected"), std::string::npos) << in->errorMessage();
    std::int32_t number = 99;
    std::string text = "old";
    *in >> number >> text;
    EXPECT_EQ(number, 0);
    EXPECT_EQ(text, "");
    EXPECT_TRUE(in->fail());
}

TEST_P(DataStream, EveryTruncationFailsCleanly)
{
    std::stringstream full;
    Record record{true, 1, 2, 3, 4, 5.5f, 6.25, "some text", {1, 2, 3, 4}};
    {
        auto out = writer(GetParam(), full);
        record.write(*out);
    }
    const std::string bytes = full.str();
    // Cut inside the record (a text stream cut at a line end may still read the lines before).
    for (std::size_t length = 0; length < bytes.size() - 1; ++length)
    {
        SCOPED_TRACE(length);
        std::stringstream cut(bytes.substr(0, length));
        auto in = reader(GetParam(), cut);
        Record back;
        back.read(*in);
        EXPECT_TRUE(in->fail());
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, DataStream, ::testing::Values(Encoding::Binary, Encoding::Text), encodingName);

TEST(BinaryDataStream, HeaderRecordsByteOrderAndValuesFollowIt)
{
    for (auto order : {Utilities::Endianness::Little, Utilities::Endianness::Big})
    {
        std::stringstream data;
        {
            BinaryDataOStream out(data, 1, order);
            EXPECT_EQ(out.endianness(), order);
            out << std::uint32_t(0x01020304);
        }
        const std::string bytes = data.str();
        ASSERT_EQ(bytes.size(), 13u);
        EXPECT_EQ(bytes.substr(0, 4), "CXDS");
        EXPECT_EQ(bytes[4], static_cast<char>(order));
        EXPECT_EQ(bytes[9], order == Utilities::Endianness::Big ? 1 : 4);
        BinaryDataIStream in(data);
        EXPECT_EQ(in.endianness(), order);
        EXPECT_EQ(in.read<std::uint32_t>(), 0x01020304u);
    }
}

TEST(BinaryDataStream, HugeLengthFailsWithoutAllocating)
{
    std::stringstream data;
    {
        BinaryDataOStream out(data, 1, Utilities::Endianness::Little);
        out << std::uint64_t(0xFFFFFFFFFFFFull) << std::uint64_t(1);
    }
    BinaryDataIStream in(data);
    std::string text;
    in >> text;
    EXPECT_TRUE(in.fail());
    EXPECT_NE(in.errorMessage().find("remain"), std::string::npos) << in.errorMessage();
    EXPECT_TRUE(text.empty());
}

TEST(BinaryDataStream, HugeLengthOnUnseekableStreamFailsAtTheEnd)
{
    // A stream buffer that cannot seek: the reader cannot know the size in advance.
    struct Unseekable : std::stringbuf
    {
        using std::stringbuf::stringbuf;
        pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override { return -1; }
        pos_type seekpos(pos_type, std::ios_base::openmode) override { return -1; }
    };
    std::stringstream data;
    {
        BinaryDataOStream out(data, 1, Utilities::Endianness::Little);
        out << std::uint64_t(1ull << 60);
        out << std::string(1000, 'x');
    }
    Unseekable buffer(data.str());
    std::istream stream(&buffer);
    BinaryDataIStream in(stream);
    ASSERT_TRUE(in.good());
    Utilities::bytearray bytes;
    in >> bytes;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(bytes.empty());
}

TEST(BinaryDataStream, CheckCountRefusesCountsLargerThanTheRest)
{
    std::stringstream data;
    {
        BinaryDataOStream out(data);
        out << std::uint64_t(3) << std::int32_t(1) << std::int32_t(2) << std::int32_t(3);
    }
    BinaryDataIStream in(data);
    const auto count = in.read<std::uint64_t>();
    EXPECT_TRUE(in.checkCount(count, 4));
    EXPECT_FALSE(in.checkCount(count + 1, 4));
    EXPECT_TRUE(in.fail());
}

TEST(BinaryDataStream, NotAStreamAndInvalidBooleanFail)
{
    std::stringstream garbage("this is not a data stream");
    BinaryDataIStream notStream(garbage);
    EXPECT_TRUE(notStream.fail());
    EXPECT_EQ(notStream.errorMessage(), "binary data stream: no stream header");

    std::stringstream data;
    {
        BinaryDataOStream out(data);
        out << std::uint32_t(7);
    }
    BinaryDataIStream in(data);
    bool flag = true;
    in >> flag;
    EXPECT_TRUE(in.fail());
    EXPECT_FALSE(flag);
}

TEST(TextDataStream, DumpIsIndentedByNestingWithLabelsInFront)
{
    std::stringstream data;
    {
        TextDataOStream out(data, 2);
        out.openTag("Outer");
        out.field("Count", std::uint64_t(2));
        out.label("Inner");
        out.openTag("Inner");
        out << true << 1.5 << "a\"b" << Utilities::bytearray{0xab, 0x01};
        out.closeTag("Inner");
        out.closeTag("Outer");
        out.closeTag("Unbalanced");
    }
    EXPECT_EQ(data.str(), "# data stream version 2\n"
                          "<Outer>\n"
                          "  Count: 2\n"
                          "  Inner:\n"
                          "  <Inner>\n"
                          "    true\n"
                          "    1.5\n"
                          "    \"a\\\"b\"\n"
                          "    hex:ab01\n"
                          "  </Inner>\n"
                          "</Outer>\n"
                          "</Unbalanced>\n");
}

TEST(TextDataStream, CorruptLinesFailWithTheirLineNumber)
{
    const struct
    {
        const char* text;
        std::function<void(DataIStream&)> read;
        const char* message;
    } rows[] = {
        {"# data stream version 1\nx\n", [](DataIStream& in) { in.read<std::int32_t>(); },
         "text data stream line 2: 'x' is not a 32-bit integer"},
        {"# data stream version 1\n99999999999\n", [](DataIStream& in) { in.read<std::int32_t>(); },
         "text data stream line 2: '99999999999' is not a 32-bit integer"},
        {"# data stream version 1\n\"open\n", [](DataIStream& in) { in.read<std::string>(); },
         "text data stream line 2: '\"open' is not a quoted string"},
        {"# data stream version 1\n\"bad \\q escape\"\n", [](DataIStream& in) { in.read<std::string>(); },
         "text data stream line 2: '\"bad \\q escape\"' is not a quoted string"},
        {"# data stream version 1\nhex:abc\n", [](DataIStream& in) { in.read<Utilities::bytearray>(); },
         "text data stream line 2: 'hex:abc' is not a byte array"},
        {"# data stream version 1\nOther: 1\n", [](DataIStream& in) {
             std::int32_t count = 0;
             in.field("Count", count);
         },
         "text data stream line 2: expected label 'Count', found 'Other: 1'"},
        {"# data stream version 1\n", [](DataIStream& in) { in.read<bool>(); },
         "text data stream ended reading a boolean"},
        {"no header\n", [](DataIStream&) {}, "text data stream: no stream header"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.text);
        std::stringstream data(row.text);
        TextDataIStream in(data);
        row.read(in);
        EXPECT_EQ(in.errorMessage(), row.message);
    }
}
