#pragma once
// Utilities::LinearTransform: x -> a*x + b, the form of every unit conversion and scaling.

namespace Utilities
{
template <typename T> struct LinearTransform
{
    T a = T(1);
    T b = T(0);

    T operator()(T x) const { return a * x + b; }
    bool isIdentity() const { return a == T(1) && b == T(0); }
    /// The transform that undoes this one; a must not be 0.
    LinearTransform inverse() const { return {T(1) / a, -b / a}; }
    bool operator==(const LinearTransform&) const = default;
};
} // namespace Utilities
