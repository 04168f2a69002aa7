#pragma once
#include "host/ai/tensor/Tensor.h"

#include <cstdint>
#include <optional>

namespace AISystem
{
/// A per-column linear map: column i of a {cases, columns} tensor becomes
/// factor[i] * x + offset[i].
class TensorScalingTransform
{
public:
    /// From two one-dimensional tensors of equal length; throws std::invalid_argument otherwise.
    TensorScalingTransform(const Tensor& factors, const Tensor& offsets);

    std::int64_t size() const { return static_cast<std::int64_t>(m_factors.size()); }
    const std::vector<double>& getFactors() const { return m_factors; }
    const std::vector<double>& getOffsets() const { return m_offsets; }
    /// True when every column is left unchanged (all factors 1, all offsets 0).
    bool isIdentity() const;

    /// The transformed tensor, same shape and element type; throws std::invalid_argument
    /// naming the sizes when the column count differs from size().
    Tensor apply(const Tensor& tensor) const;
    /// The transform that undoes this one; empty when a factor is 0.
    std::optional<TensorScalingTransform> inverse() const;

    bool operator==(const TensorScalingTransform&) const = default;

private:
    TensorScalingTransform() = default;
    std::vector<double> m_factors;
    std::vector<double> m_offsets;
};
} // namespace AISystem
