#include "host/ai/tensor/TensorBounds.h"

#include <stdexcept>
#include <string>

namespace AISystem
{
namespace
{
Tensor asVector(const Tensor& tensor, const char* what)
{
    if (tensor.getDimensionCount() > 1)
        throw std::invalid_argument(std::string("Tensor bounds: the ") + what +
                                    " must be a one-dimensional tensor, not " +
                                    tensor.getTensorShape().toString());
    if (tensor.isEmpty())
        return Tensor();
    return tensor.toElementType(TensorElementType::Float);
}
} // namespace

TensorBounds::TensorBounds(const Tensor& bounds)
{
    if (bounds.isEmpty())
        return;
    if (bounds.getDimensionCount() != 2 || bounds.getDimensionSize(0) != 2)
        throw std::invalid_argument("Tensor bounds: a single tensor must be empty or {2, columns}, not " +
                                    bounds.getTensorShape().toString());
    const std::int64_t columns = bounds.getDimensionSize(1);
    m_minima = asVector(bounds.slice(0, 0, 1).reshaped({columns}), "minima");
    m_maxima = asVector(bounds.slice(0, 1, 1).reshaped({columns}), "maxima");
}

TensorBounds::TensorBounds(const Tensor& minima, const Tensor& maxima)
    : m_minima(asVector(minima, "minima")), m_maxima(asVector(maxima, "maxima"))
{
    if (m_minima.getElementCount() != m_maxima.getElementCount())
        throw std::invalid_argument("Tensor bounds: " + std::to_string(m_minima.getElementCount()) +
                                    " minima but " + std::to_string(m_maxima.getElementCount()) + " maxima");
}

std::int64_t TensorBounds::findViolation(const Tensor& values) const
{
    if (isEmpty())
        return -1;
    if (values.getElementCount() != size())
        throw std::invalid_argument("Tensor bounds of " + std::to_string(size()) +
                                    " columns checked against " + std::to_string(values.getElementCount()) +
                                    " values");
    for (std::int64_t i = 0; i < size(); ++i)
    {
        // Bounds are kept as floats: compare in float so that a value equal to a bound is inside.
        const auto value = static_cast<float>(values.getDouble(i));
        if (!(value >= std::get<float>(m_minima.getElementValue(i)) &&
              value <= std::get<float>(m_maxima.getElementValue(i))))
            return i;
    }
    return -1;
}
} // namespace AISystem
