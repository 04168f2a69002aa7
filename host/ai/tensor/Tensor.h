#pragma once
#include "host/ai/tensor/TensorElementType.h"
#include "host/ai/tensor/TensorShape.h"

#include <cstdint>
#include <iosfwd>
#include <utility>
#include <variant>
#include <vector>

namespace AISystem
{
/// An n-dimensional array of floats or doubles in contiguous row-major storage. For models and
/// data files dimension 0 counts cases (rows) and dimension 1 variables (columns).
/// A default tensor is empty: no dimensions, element type None.
class Tensor
{
public:
    Tensor() = default;

    /// A zero-filled tensor of the shape; element type None gives an empty tensor.
    static Tensor createTensor(const TensorShape& shape, TensorElementType type);
    /// A tensor of the shape filled with the value; its element type is the value's.
    static Tensor createTensor(const TensorShape& shape, const TensorElement& fill);
    /// A tensor holding the values (row-major); throws when their count does not fit the shape.
    static Tensor fromValues(const TensorShape& shape, std::vector<float> values);
    static Tensor fromValues(const TensorShape& shape, std::vector<double> values);
    /// A {rows.size(), columns} tensor from rows of equal length.
    static Tensor fromRows(const std::vector<std::vector<double>>& rows,
                           TensorElementType type = TensorElementType::Double);

    const TensorShape& getTensorShape() const { return m_shape; }
    std::int64_t getDimensionCount() const { return m_shape.getDimensionCount(); }
    std::int64_t getDimensionSize(std::int64_t dimension) const
    {
        return m_shape.getDimensionSize(dimension);
    }
    std::int64_t getElementCount() const { return m_shape.getElementCount(); }
    TensorElementType getElementType() const;
    /// True when the tensor holds no element.
    bool isEmpty() const { return getElementCount() == 0; }

    /// Element by flat (row-major) index; throws std::out_of_range naming index and count.
    TensorElement getElementValue(std::int64_t index) const;
    /// Stores the value converted to this tensor's element type; an empty value is rejected.
    void setElementValue(std::int64_t index, const TensorElement& value);
    /// Element by flat index as a double.
    double getDouble(std::int64_t index) const { return toDouble(getElementValue(index)); }
    /// Element (row, column) of a two-dimensional tensor as a double.
    double at(std::int64_t row, std::int64_t column) const;

    /// Raw storage; throws std::logic_error when T is not the element type.
    template <typename T> const T* data() const;
    template <typename T> T* data();
    /// All elements as doubles, row-major.
    std::vector<double> toDoubleVector() const;
    /// A copy with the given element type (values converted).
    Tensor toElementType(TensorElementType type) const;
    /// A copy with another shape of the same element count.
    Tensor reshaped(const TensorShape& shape) const;

    /// `length` entries along the dimension, starting at `start`, `step` apart.
    Tensor slice(std::int64_t dimension, std::int64_t start, std::int64_t length,
                 std::int64_t step = 1) const;
    /// Inserts `other` along the dimension before position `index` (0..size); the other
    /// dimensions must agree. Inserting into an empty tensor without dimensions gives `other`.
    void insert(std::int64_t dimension, std::int64_t index, const Tensor& other);
    /// Inserts `other` at the end of the dimension.
    void append(std::int64_t dimension, const Tensor& other);
    /// Removes `count` entries along the dimension from `index` on.
    void remove(std::int64_t dimension, std::int64_t index, std::int64_t count = 1);
    /// Minimum and maximum along the dimension (the dimension reduced away: minmax(0) of a
    /// {rows, columns} tensor gives two {columns} tensors). Both are empty when the dimension
    /// has size 0.
    std::pair<Tensor, Tensor> minmax(std::int64_t dimension) const;

    Tensor& operator/=(double divisor);
    friend Tensor operator/(Tensor tensor, double divisor) { return tensor /= divisor; }

    /// Same shape, element type and values.
    bool operator==(const Tensor& other) const;

private:
    using Storage = std::variant<std::monostate, std::vector<float>, std::vector<double>>;
    Tensor(TensorShape shape, Storage storage);

    TensorShape m_shape;
    Storage m_storage;
};

/// Prints the shape and element type, then one line per row.
std::ostream& operator<<(std::ostream& stream, const Tensor& tensor);

extern template const float* Tensor::data<float>() const;
extern template const double* Tensor::data<double>() const;
extern template float* Tensor::data<float>();
extern template double* Tensor::data<double>();
} // namespace AISystem
