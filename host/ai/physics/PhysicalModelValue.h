#pragma once
#include <vector>

namespace AISystem
{
/// Where a physical model value comes from.
enum class PhysicalModelValueType : int
{
    Fixed = 1,  ///< the value itself
    Input = 2,  ///< a column of the network's inputs
    Output = 3, ///< a column of the network's outputs
};

/// One quantity of a physical model: factor × a column of the inputs or outputs, or factor × a fixed
/// value. Temperatures are in °C, flows in m³/s, heat in W.
class PhysicalModelValue
{
public:
    /// Throws std::invalid_argument for a negative column of an input or output value, or a
    /// non-finite factor or value.
    PhysicalModelValue(PhysicalModelValueType type, int index, double factor, double value);

    static PhysicalModelValue fixed(double value) { return {PhysicalModelValueType::Fixed, 0, 1.0, value}; }
    static PhysicalModelValue input(int column, double factor = 1.0)
    {
        return {PhysicalModelValueType::Input, column, factor, 0.0};
    }
    static PhysicalModelValue output(int column, double factor = 1.0)
    {
        return {PhysicalModelValueType::Output, column, factor, 0.0};
    }

    PhysicalModelValueType getType() const { return m_type; }
    int getIndex() const { return m_index; }
    double getFactor() const { return m_factor; }
    double getValue() const { return m_value; }

    /// The value for one case; throws std::out_of_range naming the column when it is missing.
    double evaluate(const std::vector<double>& inputs, const std::vector<double>& outputs) const;

    bool operator==(const PhysicalModelValue&) const = default;

private:
    PhysicalModelValueType m_type;
    int m_index;
    double m_factor;
    double m_value;
};
} // namespace AISystem
