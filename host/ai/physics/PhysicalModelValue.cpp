#include "host/ai/physics/PhysicalModelValue.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace AISystem
{
PhysicalModelValue::PhysicalModelValue(PhysicalModelValueType type, int index, double factor, double value)
    : m_type(type), m_index(index), m_factor(factor), m_value(value)
{
    switch (type)
    {
    case PhysicalModelValueType::Fixed:
        m_index = 0;
        break;
    case PhysicalModelValueType::Input:
    case PhysicalModelValueType::Output:
        if (index < 0)
            throw std::invalid_argument("Physical model value refers to column " + std::to_string(index));
        break;
    }
    if (!std::isfinite(factor) || !std::isfinite(value))
        throw std::invalid_argument("Physical model value has a non-finite factor or value (" + std::to_string(factor) +
                                    ", " + std::to_string(value) + ")");
}

double PhysicalModelValue::evaluate(const std::vector<double>& inputs, const std::vector<double>& outputs) const
{
    switch (m_type)
    {
    case PhysicalModelValueType::Fixed:
        return m_factor * m_value;
    case PhysicalModelValueType::Input:
        if (static_cast<size_t>(m_index) >= inputs.size())
            throw std::out_of_range("Physical model refers to input " + std::to_string(m_index) + " of " +
                                    std::to_string(inputs.size()));
        return m_factor * inputs[m_index];
    case PhysicalModelValueType::Output:
        if (static_cast<size_t>(m_index) >= outputs.size())
            throw std::out_of_range("Physical model refers to output " + std::to_string(m_index) + " of " +
                                    std::to_string(outputs.size()));
        return m_factor * outputs[m_index];
    }
    throw std::logic_error("Unknown physical model value type");
}
} // namespace AISystem
