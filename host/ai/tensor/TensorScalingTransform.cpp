#include "host/ai/tensor/TensorScalingTransform.h"

#include <stdexcept>
#include <string>

namespace AISystem
{
namespace
{
std::vector<double> vectorOf(const Tensor& tensor, const char* what)
{
    if (tensor.getDimensionCount() > 1)
        throw std::invalid_argument(std::string("Scaling transform: the ") + what +
                                    " must be a one-dimensional tensor, not " +
                                    tensor.getTensorShape().toString());
    return tensor.toDoubleVector();
}
} // namespace

TensorScalingTransform::TensorScalingTransform(const Tensor& factors, const Tensor& offsets)
    : m_factors(vectorOf(factors, "factors")), m_offsets(vectorOf(offsets, "offsets"))
{
    if (m_factors.size() != m_offsets.size())
        throw std::invalid_argument("Scaling transform: " + std::to_string(m_factors.size()) +
                                    " factors but " + std::to_string(m_offsets.size()) + " offsets");
}

bool TensorScalingTransform::isIdentity() const
{
    for (std::size_t i = 0; i < m_factors.size(); ++i)
        if (m_factors[i] != 1.0 || m_offsets[i] != 0.0)
            return false;
    return true;
}

Tensor TensorScalingTransform::apply(const Tensor& tensor) const
{
    const std::int64_t columns =
        tensor.getDimensionCount() == 0 ? 0 : tensor.getDimensionSize(tensor.getDimensionCount() - 1);
    if (columns != size())
        throw std::invalid_argument("Scaling transform of " + std::to_string(size()) +
                                    " columns applied to a tensor of shape " +
                                    tensor.getTensorShape().toString());
    Tensor result = tensor;
    const std::int64_t count = tensor.getElementCount();
    auto scale = [&](auto* values)
    {
        for (std::int64_t i = 0; i < count; ++i)
        {
            const auto column = static_cast<std::size_t>(i % columns);
            values[i] = static_cast<std::remove_pointer_t<decltype(values)>>(m_factors[column] * values[i] +
                                                                             m_offsets[column]);
        }
    };
    switch (result.getElementType())
    {
    case TensorElementType::None:
        break;
    case TensorElementType::Float:
        scale(result.data<float>());
        break;
    case TensorElementType::Double:
        scale(result.data<double>());
        break;
    }
    return result;
}

std::optional<TensorScalingTransform> TensorScalingTransform::inverse() const
{
    TensorScalingTransform result;
    for (std::size_t i = 0; i < m_factors.size(); ++i)
    {
        if (m_factors[i] == 0.0)
            return std::nullopt;
        result.m_factors.push_back(1.0 / m_factors[i]);
        result.m_offsets.push_back(-m_offsets[i] / m_factors[i]);
    }
    return result;
}
} // namespace AISystem
