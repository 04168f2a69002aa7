#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace AISystem
{
/// The sizes of a tensor's dimensions, outermost first ({rows, columns} for a table of cases).
class TensorShape
{
public:
    TensorShape() = default;
    TensorShape(std::initializer_list<std::int64_t> sizes);
    explicit TensorShape(std::vector<std::int64_t> sizes);

    std::int64_t getDimensionCount() const { return static_cast<std::int64_t>(m_sizes.size()); }
    /// Size of one dimension; throws std::out_of_range naming the dimension and the count.
    std::int64_t getDimensionSize(std::int64_t dimension) const;
    void setDimensionSize(std::int64_t dimension, std::int64_t size);
    /// Product of the sizes: 0 for a shape without dimensions.
    std::int64_t getElementCount() const;
    const std::vector<std::int64_t>& getSizes() const { return m_sizes; }

    /// "{2, 3}".
    std::string toString() const;
    bool operator==(const TensorShape&) const = default;

private:
    std::vector<std::int64_t> m_sizes;
};
} // namespace AISystem
