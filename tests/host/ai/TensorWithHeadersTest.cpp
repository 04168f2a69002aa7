#include "host/ai/tensor/TensorWithHeaders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

using namespace AISystem;
using ::testing::ElementsAre;

namespace
{
class TensorWithHeadersFiles : public ::testing::Test
{
protected:
    std::string path(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

    std::string write(const std::string& name, const std::string& content) const
    {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }

    std::string read(const std::string& name) const
    {
        std::ifstream file(path(name), std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        return content.str();
    }

    QTemporaryDir m_dir;
};

std::string readError(const std::string& file)
{
    try
    {
        TensorWithHeaders::fromCSVFile(file, TensorElementType::Double, true);
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST_F(TensorWithHeadersFiles, WritesQuotedHeadersAndExactNumbersAndReadsThemBack)
{
    const Tensor tensor = Tensor::fromRows({{0.1, -2.5e-300, 1.0 / 3.0}, {1e10, 0, -7}});
    const std::vector<std::string> headers = {"Input: Server 1:Power (W)", "Target: \"Rack, A\":Flow",
                                              "Result: line\nbreak"};
    ASSERT_TRUE(TensorWithHeaders(tensor, headers).toCSVFile(path("data.csv")));
    EXPECT_EQ(read("data.csv"),
              "Input: Server 1:Power (W),\"Target: \"\"Rack, A\"\":Flow\",\"Result: line\nbreak\"\r\n"
              "0.1,-2.5e-300,0.3333333333333333\r\n"
              "1e+10,0,-7\r\n");

    const TensorWithHeaders back =
        TensorWithHeaders::fromCSVFile(path("data.csv"), TensorElementType::Double, true);
    EXPECT_EQ(back.getHeaders(), headers);
    EXPECT_EQ(back.getTensor(), tensor);
    EXPECT_THAT(back.getColumn(1).toDoubleVector(), ElementsAre(-2.5e-300, 0));
    EXPECT_EQ(back.getColumn(2).getTensorShape(), TensorShape({2, 1}));
    EXPECT_EQ(back.findColumn("Result: line\nbreak"), 2);
    EXPECT_EQ(back.findColumn("Input"), -1);
}

TEST_F(TensorWithHeadersFiles, RoundTripsFloatsInfinityAndNaN)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Tensor tensor = Tensor::fromValues({1, 3}, std::vector<float>{0.1f, INFINITY, nan});
    ASSERT_TRUE(TensorWithHeaders(tensor, {}).toCSVFile(path("f.csv")));
    EXPECT_EQ(read("f.csv"), "0.1,inf,nan\r\n");
    const Tensor back =
        TensorWithHeaders::fromCSVFile(path("f.csv"), TensorElementType::Float, false).getTensor();
    EXPECT_EQ(back.getElementType(), TensorElementType::Float);
    EXPECT_EQ(back.getElementValue(0), TensorElement(0.1f));
    EXPECT_TRUE(std::isinf(back.getDouble(1)));
    EXPECT_TRUE(std::isnan(back.getDouble(2)));
}

TEST_F(TensorWithHeadersFiles, FirstHeaderStartingWithByteOrderMarkReadsBackIntact)
{
    const std::string mark = "\xEF\xBB\xBF";
    for (const std::string& first : {mark, mark + "Power", mark + mark})
    {
        SCOPED_TRACE(first.size());
        const std::vector<std::string> headers = {first, "Flow"};
        ASSERT_TRUE(TensorWithHeaders(Tensor::fromRows({{1, 2}, {3, 4}}), headers).toCSVFile(path("m.csv")));
        const TensorWithHeaders back =
            TensorWithHeaders::fromCSVFile(path("m.csv"), TensorElementType::Double, true);
        EXPECT_EQ(back.getHeaders(), headers);
        EXPECT_EQ(back.getTensor(), Tensor::fromRows({{1, 2}, {3, 4}}));
    }
    // Only the file's first bytes can be taken for a mark: a later header stays bare.
    ASSERT_TRUE(TensorWithHeaders(Tensor::fromRows({{1, 2}}), {"a", mark + "b"}).toCSVFile(path("n.csv")));
    EXPECT_EQ(read("n.csv"), "a," + mark + "b\r\n1,2\r\n");
}

TEST_F(TensorWithHeadersFiles, ReadsTheFileVariantsUsersProduce)
{
    struct Row
    {
        const char* name;
        std::string content;
        std::vector<std::string> headers;
        std::vector<double> values;
        TensorShape shape;
    };
    const std::vector<Row> rows = {
        {"LF endings and blanks", "a,b\n 1 , +2\n\n3,4e0\n", {"a", "b"}, {1, 2, 3, 4}, {2, 2}},
        {"byte order mark, no final line end", "\xEF\xBB\xBFx\r\n5", {"x"}, {5}, {1, 1}},
        {"quoted numbers", "\"a\",\"b\"\n\"1.5\",2\n", {"a", "b"}, {1.5, 2}, {1, 2}},
        {"headers only", "Input: 1,Target: 1\r\n", {"Input: 1", "Target: 1"}, {}, {0, 2}},
        {"empty file", "", {}, {}, {}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const TensorWithHeaders table =
            TensorWithHeaders::fromCSVFile(write("v.csv", row.content), TensorElementType::Double, true);
        EXPECT_EQ(table.getHeaders(), row.headers);
        EXPECT_EQ(table.getTensor().toDoubleVector(), row.values);
        EXPECT_EQ(table.getTensor().getTensorShape(), row.shape);
    }
}

TEST_F(TensorWithHeadersFiles, BadFilesNameLineAndColumn)
{
    struct Row
    {
        const char* name;
        std::string content;
        std::string expected; // after the file path
    };
    const std::vector<Row> rows = {
        {"ragged", "a,b\n1,2\n3\n", ": line 3 has 1 columns, expected 2"},
        {"too wide", "a,b\n1,2,3\n", ": line 2 has 3 columns, expected 2"},
        {"text", "a,b\n1,2\n3,warm\n", ": line 3, column 2: \"warm\" is not a number"},
        {"empty cell", "a,b\n,2\n", ": line 2, column 1: \"\" is not a number"},
        {"trailing text", "a\n1.5kW\n", ": line 2, column 1: \"1.5kW\" is not a number"},
        {"out of range", "a\n1e999\n", ": line 2, column 1: \"1e999\" is out of range"},
        {"line after multi-line header", "\"a\nb\",c\n1,x\n", ": line 3, column 2: \"x\" is not a number"},
        {"unterminated quote", "a,b\n1,\"2\n", ": line 2, column 2: unterminated quoted field"},
        {"text after quote", "a,b\n1,\"2\"3\n", ": line 2, column 2: text after a closing quote"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const std::string file = write("bad.csv", row.content);
        EXPECT_EQ(readError(file), file + row.expected);
    }
    EXPECT_EQ(readError(path("missing.csv")), path("missing.csv") + ": cannot open the file");
}

TEST_F(TensorWithHeadersFiles, RejectsMismatchedHeadersAndUnwritablePaths)
{
    EXPECT_THROW(TensorWithHeaders(Tensor::fromRows({{1, 2}}), {"only one"}), std::invalid_argument);
    EXPECT_FALSE(TensorWithHeaders(Tensor::fromRows({{1}}), {}).toCSVFile(path("no/such/dir/x.csv")));
    EXPECT_THROW(TensorWithHeaders(Tensor::fromRows({{1, 2}}), {}).getColumn(2), std::out_of_range);
}
