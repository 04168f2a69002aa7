#include "host/ai/tensor/Tensor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

using namespace AISystem;
using ::testing::ElementsAre;

namespace
{
// A {rows, columns} double tensor holding 10 * row + column.
Tensor grid(std::int64_t rows, std::int64_t columns)
{
    std::vector<double> values;
    for (std::int64_t r = 0; r < rows; ++r)
        for (std::int64_t c = 0; c < columns; ++c)
            values.push_back(10.0 * r + c);
    return Tensor::fromValues({rows, columns}, values);
}

template <typename F> std::string errorOf(F&& action)
{
    try
    {
        action();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST(Tensor, CreatesByShapeWithElementTypeOrFillValue)
{
    const Tensor zeros = Tensor::createTensor({2, 3}, TensorElementType::Float);
    EXPECT_EQ(zeros.getElementType(), TensorElementType::Float);
    EXPECT_EQ(zeros.getDimensionCount(), 2);
    EXPECT_EQ(zeros.getDimensionSize(1), 3);
    EXPECT_EQ(zeros.getElementValue(5), TensorElement(0.0f));

    const Tensor filled = Tensor::createTensor({4}, TensorElement(2.5));
    EXPECT_EQ(filled.getElementType(), TensorElementType::Double);
    EXPECT_EQ(filled.toDoubleVector(), std::vector<double>(4, 2.5));

    EXPECT_TRUE(Tensor::createTensor({3}, TensorElement()).isEmpty());
    EXPECT_EQ(Tensor::createTensor({3}, TensorElement()).getElementType(), TensorElementType::None);
    EXPECT_EQ(Tensor::createTensor({0, 4}, TensorElementType::Double).getTensorShape(), TensorShape({0, 4}));
}

TEST(Tensor, ElementValuesConvertToTheTensorsType)
{
    Tensor tensor = Tensor::createTensor({2, 2}, TensorElementType::Float);
    tensor.setElementValue(3, 1.25);
    EXPECT_EQ(tensor.getElementValue(3), TensorElement(1.25f));
    Tensor doubles = tensor.toElementType(TensorElementType::Double);
    doubles.setElementValue(0, 0.1f);
    EXPECT_EQ(doubles.getElementValue(0), TensorElement(double(0.1f)));
    EXPECT_EQ(doubles.at(1, 1), 1.25);
}

TEST(Tensor, IndexAndShapeErrorsNameDimensionAndSizes)
{
    Tensor tensor = grid(2, 3);
    struct Row
    {
        const char* name;
        std::function<void()> action;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"get", [&] { tensor.getElementValue(6); },
         "Tensor element index 6 out of range: the tensor {2, 3} has 6 elements"},
        {"set negative", [&] { tensor.setElementValue(-1, 1.0); },
         "Tensor element index -1 out of range: the tensor {2, 3} has 6 elements"},
        {"set empty", [&] { tensor.setElementValue(0, TensorElement()); },
         "Tensor: cannot store an empty element at index 0"},
        {"dimension", [&] { tensor.getDimensionSize(2); },
         "Tensor dimension 2 out of range: the tensor has 2 dimensions"},
        {"slice", [&] { tensor.slice(1, 2, 2, 1); },
         "Tensor slice of dimension 1 (size 3): start 2, length 2, step 1 out of range"},
        {"insert", [&] { tensor.insert(1, 0, grid(3, 1)); },
         "Tensor insert along dimension 1: dimension 0 has size 3, expected 2"},
        {"insert position", [&] { tensor.insert(0, 3, grid(1, 3)); },
         "Tensor insert: position 3 out of range of dimension 0 (size 2)"},
        {"remove", [&] { tensor.remove(1, 2, 2); },
         "Tensor remove: entries 2 to 3 out of range of dimension 1 (size 3)"},
        {"values",
         [] {
             Tensor::fromValues({2, 2}, std::vector<double>(3));
         },
         "Tensor: 3 values do not fill shape {2, 2}"},
        {"raw data", [&] { tensor.data<float>(); }, "Tensor: raw float data requested of a double tensor"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(errorOf(row.action), row.message);
    }
    EXPECT_EQ(tensor, grid(2, 3)) << "a failed operation leaves the tensor unchanged";
}

TEST(Tensor, SlicesColumnsAndRows)
{
    const Tensor tensor = grid(3, 4);
    const Tensor column = tensor.slice(1, 2, 1, 1);
    EXPECT_EQ(column.getTensorShape(), TensorShape({3, 1}));
    EXPECT_THAT(column.toDoubleVector(), ElementsAre(2, 12, 22));
    EXPECT_THAT(tensor.slice(1, 0, 2, 1).toDoubleVector(), ElementsAre(0, 1, 10, 11, 20, 21));
    EXPECT_THAT(tensor.slice(1, 1, 2, 2).toDoubleVector(), ElementsAre(1, 3, 11, 13, 21, 23));
    EXPECT_THAT(tensor.slice(0, 2, 1).toDoubleVector(), ElementsAre(20, 21, 22, 23));
    EXPECT_EQ(tensor.slice(0, 3, 0).getTensorShape(), TensorShape({0, 4}));
}

TEST(Tensor, InsertsAppendsAndRemovesAlongADimension)
{
    Tensor tensor = grid(2, 2);
    tensor.insert(1, 1, Tensor::createTensor({2, 1}, TensorElement(7.0f)));
    EXPECT_THAT(tensor.toDoubleVector(), ElementsAre(0, 7, 1, 10, 7, 11));
    EXPECT_EQ(tensor.getElementType(), TensorElementType::Double) << "inserted floats are widened";
    tensor.append(0, grid(1, 3));
    EXPECT_EQ(tensor.getTensorShape(), TensorShape({3, 3}));
    EXPECT_THAT(tensor.slice(0, 2, 1).toDoubleVector(), ElementsAre(0, 1, 2));
    tensor.remove(1, 0);
    EXPECT_THAT(tensor.toDoubleVector(), ElementsAre(7, 1, 7, 11, 1, 2));
    tensor.remove(0, 0, 3);
    EXPECT_EQ(tensor.getTensorShape(), TensorShape({0, 2}));

    // Columns appended one by one to an empty tensor build a table, as data files are read.
    Tensor table;
    table.append(1, grid(2, 1));
    table.append(1, grid(2, 1) / 2.0);
    EXPECT_THAT(table.toDoubleVector(), ElementsAre(0, 0, 10, 5));
    Tensor empty = Tensor::createTensor({0, 2}, TensorElementType::Double);
    empty.append(1, Tensor::createTensor({0, 1}, TensorElementType::Double));
    EXPECT_EQ(empty.getTensorShape(), TensorShape({0, 3}));
}

TEST(Tensor, MinMaxPerColumnAndRow)
{
    Tensor tensor = Tensor::fromRows({{3, -1}, {-2, 5}, {1, std::nan("")}});
    const auto [low, high] = tensor.minmax(0);
    EXPECT_THAT(low.toDoubleVector(), ElementsAre(-2, -1)) << "NaN is ignored";
    EXPECT_THAT(high.toDoubleVector(), ElementsAre(3, 5));
    EXPECT_THAT(tensor.minmax(1).second.toDoubleVector(), ElementsAre(3, 5, 1));
    const auto [noLow, noHigh] = Tensor::createTensor({0, 2}, TensorElementType::Double).minmax(0);
    EXPECT_TRUE(noLow.isEmpty());
    EXPECT_TRUE(noHigh.isEmpty());
}

TEST(Tensor, DividesAndPrints)
{
    const Tensor half = Tensor::fromValues({2, 2}, std::vector<float>{1, 2, 3, 4}) / 2.0;
    EXPECT_EQ(half.getElementType(), TensorElementType::Float);
    std::ostringstream text;
    text << half;
    EXPECT_EQ(text.str(), "Tensor {2, 2} float\n0.5 1\n1.5 2\n");
    std::ostringstream empty;
    empty << Tensor();
    EXPECT_EQ(empty.str(), "Tensor {} none\n");
}
