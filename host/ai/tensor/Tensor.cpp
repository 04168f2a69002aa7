#include "host/ai/tensor/Tensor.h"

#include <cmath>
#include <ostream>
#include <stdexcept>
#include <string>

namespace AISystem
{
const char* toString(TensorElementType type)
{
    switch (type)
    {
    case TensorElementType::None:
        return "none";
    case TensorElementType::Float:
        return "float";
    case TensorElementType::Double:
        return "double";
    }
    return "unknown";
}

namespace
{
std::string str(std::int64_t value)
{
    return std::to_string(value);
}

// Sizes before, at and after a dimension: the storage is [outer][size][inner].
struct Split
{
    std::int64_t outer = 1;
    std::int64_t size = 0;
    std::int64_t inner = 1;
};

Split splitAt(const TensorShape& shape, std::int64_t dimension)
{
    Split split;
    split.size = shape.getDimensionSize(dimension);
    for (std::int64_t d = 0; d < dimension; ++d)
        split.outer *= shape.getDimensionSize(d);
    for (std::int64_t d = dimension + 1; d < shape.getDimensionCount(); ++d)
        split.inner *= shape.getDimensionSize(d);
    return split;
}

template <typename To, typename From> std::vector<To> convert(const std::vector<From>& values)
{
    return std::vector<To>(values.begin(), values.end());
}
} // namespace

Tensor::Tensor(TensorShape shape, Storage storage) : m_shape(std::move(shape)), m_storage(std::move(storage))
{
}

Tensor Tensor::createTensor(const TensorShape& shape, TensorElementType type)
{
    const auto count = static_cast<std::size_t>(shape.getElementCount());
    switch (type)
    {
    case TensorElementType::None:
        return Tensor();
    case TensorElementType::Float:
        return Tensor(shape, std::vector<float>(count, 0.0f));
    case TensorElementType::Double:
        return Tensor(shape, std::vector<double>(count, 0.0));
    }
    throw std::invalid_argument("Tensor: unknown element type " + str(static_cast<int>(type)));
}

Tensor Tensor::createTensor(const TensorShape& shape, const TensorElement& fill)
{
    const auto count = static_cast<std::size_t>(shape.getElementCount());
    if (const float* f = std::get_if<float>(&fill))
        return Tensor(shape, std::vector<float>(count, *f));
    if (const double* d = std::get_if<double>(&fill))
        return Tensor(shape, std::vector<double>(count, *d));
    return Tensor();
}

Tensor Tensor::fromValues(const TensorShape& shape, std::vector<float> values)
{
    if (static_cast<std::int64_t>(values.size()) != shape.getElementCount())
        throw std::invalid_argument("Tensor: " + std::to_string(values.size()) +
                                    " values do not fill shape " + shape.toString());
    return Tensor(shape, std::move(values));
}

Tensor Tensor::fromValues(const TensorShape& shape, std::vector<double> values)
{
    if (static_cast<std::int64_t>(values.size()) != shape.getElementCount())
        throw std::invalid_argument("Tensor: " + std::to_string(values.size()) +
                                    " values do not fill shape " + shape.toString());
    return Tensor(shape, std::move(values));
}

Tensor Tensor::fromRows(const std::vector<std::vector<double>>& rows, TensorElementType type)
{
    const std::size_t columns = rows.empty() ? 0 : rows.front().size();
    std::vector<double> values;
    values.reserve(rows.size() * columns);
    for (std::size_t r = 0; r < rows.size(); ++r)
    {
        if (rows[r].size() != columns)
            throw std::invalid_argument("Tensor: row " + std::to_string(r) + " has " +
                                        std::to_string(rows[r].size()) + " values, row 0 has " +
                                        std::to_string(columns));
        values.insert(values.end(), rows[r].begin(), rows[r].end());
    }
    TensorShape shape{static_cast<std::int64_t>(rows.size()), static_cast<std::int64_t>(columns)};
    return fromValues(shape, std::move(values)).toElementType(type);
}

TensorElementType Tensor::getElementType() const
{
    return static_cast<TensorElementType>(m_storage.index());
}

TensorElement Tensor::getElementValue(std::int64_t index) const
{
    if (index < 0 || index >= getElementCount())
        throw std::out_of_range("Tensor element index " + str(index) + " out of range: the tensor " +
                                m_shape.toString() + " has " + str(getElementCount()) + " elements");
    if (const auto* f = std::get_if<std::vector<float>>(&m_storage))
        return (*f)[static_cast<std::size_t>(index)];
    return std::get<std::vector<double>>(m_storage)[static_cast<std::size_t>(index)];
}

void Tensor::setElementValue(std::int64_t index, const TensorElement& value)
{
    if (index < 0 || index >= getElementCount())
        throw std::out_of_range("Tensor element index " + str(index) + " out of range: the tensor " +
                                m_shape.toString() + " has " + str(getElementCount()) + " elements");
    if (std::holds_alternative<std::monostate>(value))
        throw std::invalid_argument("Tensor: cannot store an empty element at index " + str(index));
    if (auto* f = std::get_if<std::vector<float>>(&m_storage))
        (*f)[static_cast<std::size_t>(index)] = static_cast<float>(toDouble(value));
    else
        std::get<std::vector<double>>(m_storage)[static_cast<std::size_t>(index)] = toDouble(value);
}

double Tensor::at(std::int64_t row, std::int64_t column) const
{
    if (getDimensionCount() != 2)
        throw std::invalid_argument("Tensor: element (row, column) of a tensor of shape " +
                                    m_shape.toString());
    const std::int64_t rows = getDimensionSize(0);
    const std::int64_t columns = getDimensionSize(1);
    if (row < 0 || row >= rows || column < 0 || column >= columns)
        throw std::out_of_range("Tensor element (" + str(row) + ", " + str(column) +
                                ") out of range of shape " + m_shape.toString());
    return getDouble(row * columns + column);
}

template <typename T> const T* Tensor::data() const
{
    if (const auto* values = std::get_if<std::vector<T>>(&m_storage))
        return values->data();
    throw std::logic_error(std::string("Tensor: raw ") + (std::is_same_v<T, float> ? "float" : "double") +
                           " data requested of a " + toString(getElementType()) + " tensor");
}

template <typename T> T* Tensor::data()
{
    return const_cast<T*>(std::as_const(*this).data<T>());
}

template const float* Tensor::data<float>() const;
template const double* Tensor::data<double>() const;
template float* Tensor::data<float>();
template double* Tensor::data<double>();

std::vector<double> Tensor::toDoubleVector() const
{
    return std::visit(
        [](const auto& values) -> std::vector<double>
        {
            if constexpr (std::is_same_v<std::decay_t<decltype(values)>, std::monostate>)
                return {};
            else
                return convert<double>(values);
        },
        m_storage);
}

Tensor Tensor::toElementType(TensorElementType type) const
{
    if (type == getElementType())
        return *this;
    switch (type)
    {
    case TensorElementType::None:
        return Tensor();
    case TensorElementType::Float:
        if (const auto* d = std::get_if<std::vector<double>>(&m_storage))
            return Tensor(m_shape, convert<float>(*d));
        return Tensor();
    case TensorElementType::Double:
        if (const auto* f = std::get_if<std::vector<float>>(&m_storage))
            return Tensor(m_shape, convert<double>(*f));
        return Tensor();
    }
    throw std::invalid_argument("Tensor: unknown element type " + str(static_cast<int>(type)));
}

Tensor Tensor::reshaped(const TensorShape& shape) const
{
    if (shape.getElementCount() != getElementCount())
        throw std::invalid_argument("Tensor: cannot reshape " + m_shape.toString() + " to " +
                                    shape.toString());
    return Tensor(shape, m_storage);
}

Tensor Tensor::slice(std::int64_t dimension, std::int64_t start, std::int64_t length, std::int64_t step) const
{
    const Split split = splitAt(m_shape, dimension);
    if (step < 1)
        throw std::invalid_argument("Tensor slice: step " + str(step) + " must be at least 1");
    if (length < 0 || start < 0 || (length > 0 && start + (length - 1) * step >= split.size) ||
        (length == 0 && start > split.size))
        throw std::out_of_range("Tensor slice of dimension " + str(dimension) + " (size " + str(split.size) +
                                "): start " + str(start) + ", length " + str(length) + ", step " + str(step) +
                                " out of range");
    TensorShape shape = m_shape;
    shape.setDimensionSize(dimension, length);
    return std::visit(
        [&](const auto& values) -> Tensor
        {
            using Values = std::decay_t<decltype(values)>;
            if constexpr (std::is_same_v<Values, std::monostate>)
                return Tensor();
            else
            {
                Values result;
                result.reserve(static_cast<std::size_t>(split.outer * length * split.inner));
                for (std::int64_t o = 0; o < split.outer; ++o)
                    for (std::int64_t k = 0; k < length; ++k)
                    {
                        auto first = values.begin() + (o * split.size + start + k * step) * split.inner;
                        result.insert(result.end(), first, first + split.inner);
                    }
                return Tensor(shape, std::move(result));
            }
        },
        m_storage);
}

void Tensor::insert(std::int64_t dimension, std::int64_t index, const Tensor& other)
{
    if (getDimensionCount() == 0)
    {
        if (index != 0)
            throw std::out_of_range("Tensor insert: position " + str(index) + " in an empty tensor");
        *this = other;
        return;
    }
    if (other.getDimensionCount() == 0)
        return;
    const Split split = splitAt(m_shape, dimension);
    if (other.getDimensionCount() != getDimensionCount())
        throw std::invalid_argument("Tensor insert: a tensor of shape " + other.m_shape.toString() +
                                    " does not fit a tensor of shape " + m_shape.toString());
    for (std::int64_t d = 0; d < getDimensionCount(); ++d)
        if (d != dimension && other.getDimensionSize(d) != getDimensionSize(d))
            throw std::invalid_argument("Tensor insert along dimension " + str(dimension) + ": dimension " +
                                        str(d) + " has size " + str(other.getDimensionSize(d)) +
                                        ", expected " + str(getDimensionSize(d)));
    if (index < 0 || index > split.size)
        throw std::out_of_range("Tensor insert: position " + str(index) + " out of range of dimension " +
                                str(dimension) + " (size " + str(split.size) + ")");
    const Tensor converted = other.toElementType(getElementType());
    const std::int64_t added = other.getDimensionSize(dimension);
    std::visit(
        [&](auto& values)
        {
            using Values = std::decay_t<decltype(values)>;
            if constexpr (!std::is_same_v<Values, std::monostate>)
            {
                const Values& source = std::get<Values>(converted.m_storage);
                Values result;
                result.reserve(values.size() + source.size());
                for (std::int64_t o = 0; o < split.outer; ++o)
                {
                    auto row = values.begin() + o * split.size * split.inner;
                    result.insert(result.end(), row, row + index * split.inner);
                    auto added_row = source.begin() + o * added * split.inner;
                    result.insert(result.end(), added_row, added_row + added * split.inner);
                    result.insert(result.end(), row + index * split.inner, row + split.size * split.inner);
                }
                values = std::move(result);
            }
        },
        m_storage);
    m_shape.setDimensionSize(dimension, split.size + added);
}

void Tensor::append(std::int64_t dimension, const Tensor& other)
{
    insert(dimension, getDimensionCount() == 0 ? 0 : getDimensionSize(dimension), other);
}

void Tensor::remove(std::int64_t dimension, std::int64_t index, std::int64_t count)
{
    const Split split = splitAt(m_shape, dimension);
    if (index < 0 || count < 0 || index + count > split.size)
        throw std::out_of_range("Tensor remove: entries " + str(index) + " to " + str(index + count - 1) +
                                " out of range of dimension " + str(dimension) + " (size " + str(split.size) +
                                ")");
    std::visit(
        [&](auto& values)
        {
            using Values = std::decay_t<decltype(values)>;
            if constexpr (!std::is_same_v<Values, std::monostate>)
            {
                Values result;
                result.reserve(values.size() - static_cast<std::size_t>(split.outer * count * split.inner));
                for (std::int64_t o = 0; o < split.outer; ++o)
                {
                    auto row = values.begin() + o * split.size * split.inner;
                    result.insert(result.end(), row, row + index * split.inner);
                    result.insert(result.end(), row + (index + count) * split.inner,
                                  row + split.size * split.inner);
                }
                values = std::move(result);
            }
        },
        m_storage);
    m_shape.setDimensionSize(dimension, split.size - count);
}

std::pair<Tensor, Tensor> Tensor::minmax(std::int64_t dimension) const
{
    const Split split = splitAt(m_shape, dimension);
    if (split.size == 0 || getElementType() == TensorElementType::None)
        return {Tensor(), Tensor()};
    std::vector<std::int64_t> sizes = m_shape.getSizes();
    sizes.erase(sizes.begin() + dimension);
    if (sizes.empty())
        sizes.push_back(1);
    const TensorShape shape(sizes);
    Tensor minimum = createTensor(shape, getElementType());
    Tensor maximum = createTensor(shape, getElementType());
    std::visit(
        [&](const auto& values)
        {
            using Values = std::decay_t<decltype(values)>;
            if constexpr (!std::is_same_v<Values, std::monostate>)
            {
                Values& lows = std::get<Values>(minimum.m_storage);
                Values& highs = std::get<Values>(maximum.m_storage);
                for (std::int64_t o = 0; o < split.outer; ++o)
                    for (std::int64_t i = 0; i < split.inner; ++i)
                    {
                        const auto at = [&](std::int64_t k)
                        { return values[(o * split.size + k) * split.inner + i]; };
                        auto low = at(0);
                        auto high = low;
                        for (std::int64_t k = 1; k < split.size; ++k)
                        {
                            low = std::fmin(low, at(k));
                            high = std::fmax(high, at(k));
                        }
                        lows[o * split.inner + i] = low;
                        highs[o * split.inner + i] = high;
                    }
            }
        },
        m_storage);
    return {std::move(minimum), std::move(maximum)};
}

Tensor& Tensor::operator/=(double divisor)
{
    std::visit(
        [&](auto& values)
        {
            if constexpr (!std::is_same_v<std::decay_t<decltype(values)>, std::monostate>)
                for (auto& value : values)
                    value = static_cast<std::decay_t<decltype(value)>>(value / divisor);
        },
        m_storage);
    return *this;
}

bool Tensor::operator==(const Tensor& other) const
{
    return m_shape == other.m_shape && m_storage == other.m_storage;
}

std::ostream& operator<<(std::ostream& stream, const Tensor& tensor)
{
    stream << "Tensor " << tensor.getTensorShape().toString() << ' ' << toString(tensor.getElementType());
    const std::int64_t count = tensor.getElementCount();
    if (count == 0)
        return stream << '\n';
    const std::int64_t columns = tensor.getDimensionSize(tensor.getDimensionCount() - 1);
    for (std::int64_t i = 0; i < count; ++i)
        stream << (i % columns == 0 ? "\n" : " ") << tensor.getDouble(i);
    return stream << '\n';
}
} // namespace AISystem
