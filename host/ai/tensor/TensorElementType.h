#pragma once
// AISystem::TensorElementType and the element value that tensors hand out and take in.
#include <variant>

namespace AISystem
{
/// The arithmetic type of a tensor's elements; None for a tensor that holds nothing.
enum class TensorElementType : int
{
    None = 0,
    Float = 1,
    Double = 2,
};

/// One element: empty (no element type), a float or a double.
using TensorElement = std::variant<std::monostate, float, double>;

/// The element type that a value of TensorElement carries.
inline TensorElementType elementTypeOf(const TensorElement& value)
{
    return static_cast<TensorElementType>(value.index());
}

/// The value as a double; an empty element reads as 0.
inline double toDouble(const TensorElement& value)
{
    if (const float* f = std::get_if<float>(&value))
        return *f;
    if (const double* d = std::get_if<double>(&value))
        return *d;
    return 0.0;
}

const char* toString(TensorElementType type);
} // namespace AISystem
