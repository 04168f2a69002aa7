#include "host/ai/tensor/TensorShape.h"

#include <stdexcept>

namespace AISystem
{
namespace
{
void checkSizes(const std::vector<std::int64_t>& sizes)
{
    for (std::size_t i = 0; i < sizes.size(); ++i)
        if (sizes[i] < 0)
            throw std::invalid_argument("Tensor shape: dimension " + std::to_string(i) +
                                        " has negative size " + std::to_string(sizes[i]));
}
} // namespace

TensorShape::TensorShape(std::initializer_list<std::int64_t> sizes) : m_sizes(sizes)
{
    checkSizes(m_sizes);
}

TensorShape::TensorShape(std::vector<std::int64_t> sizes) : m_sizes(std::move(sizes))
{
    checkSizes(m_sizes);
}

std::int64_t TensorShape::getDimensionSize(std::int64_t dimension) const
{
    if (dimension < 0 || dimension >= getDimensionCount())
        throw std::out_of_range("Tensor dimension " + std::to_string(dimension) +
                                " out of range: the tensor has " + std::to_string(getDimensionCount()) +
                                " dimensions");
    return m_sizes[static_cast<std::size_t>(dimension)];
}

void TensorShape::setDimensionSize(std::int64_t dimension, std::int64_t size)
{
    getDimensionSize(dimension);
    if (size < 0)
        throw std::invalid_argument("Tensor shape: dimension " + std::to_string(dimension) +
                                    " cannot have negative size " + std::to_string(size));
    m_sizes[static_cast<std::size_t>(dimension)] = size;
}

std::int64_t TensorShape::getElementCount() const
{
    if (m_sizes.empty())
        return 0;
    std::int64_t count = 1;
    for (std::int64_t size : m_sizes)
        count *= size;
    return count;
}

std::string TensorShape::toString() const
{
    std::string text = "{";
    for (std::size_t i = 0; i < m_sizes.size(); ++i)
        text += (i ? ", " : "") + std::to_string(m_sizes[i]);
    return text + "}";
}
} // namespace AISystem
