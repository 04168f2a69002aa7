#pragma once
#include "host/ai/tensor/Tensor.h"

#include <cstdint>

namespace AISystem
{
/// Per-column minimum and maximum of a model's inputs or outputs (the range it was trained on).
class TensorBounds
{
public:
    /// No bounds.
    TensorBounds() = default;
    /// From one tensor: an empty tensor gives no bounds, a {2, columns} tensor holds the minima
    /// in row 0 and the maxima in row 1.
    explicit TensorBounds(const Tensor& bounds);
    /// From two one-dimensional tensors of equal length.
    TensorBounds(const Tensor& minima, const Tensor& maxima);

    bool isEmpty() const { return m_minima.isEmpty(); }
    std::int64_t size() const { return m_minima.getElementCount(); }
    /// One-dimensional float tensors (empty without bounds).
    const Tensor& getMinima() const { return m_minima; }
    const Tensor& getMaxima() const { return m_maxima; }
    /// Index of the first column of `values` (one row) outside its bounds, or -1.
    std::int64_t findViolation(const Tensor& values) const;

    bool operator==(const TensorBounds&) const = default;

private:
    Tensor m_minima;
    Tensor m_maxima;
};
} // namespace AISystem
