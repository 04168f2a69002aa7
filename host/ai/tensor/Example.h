#pragma once
#include "host/ai/tensor/Tensor.h"

#include <cstdint>

namespace AISystem
{
/// Training or testing data: an input and an output tensor (rows are cases) and the number
/// of cases they are meant to hold. The count is set by whoever fills the example; it is not
/// derived from the tensors.
class Example
{
public:
    Example() = default;
    Example(Tensor inputs, Tensor outputs, std::int64_t numberOfCases = 0);

    const Tensor& getInputs() const { return m_inputs; }
    Tensor& getInputs() { return m_inputs; }
    void setInputs(Tensor inputs) { m_inputs = std::move(inputs); }
    const Tensor& getOutputs() const { return m_outputs; }
    Tensor& getOutputs() { return m_outputs; }
    void setOutputs(Tensor outputs) { m_outputs = std::move(outputs); }

    std::int64_t getNumberOfCases() const { return m_numberOfCases; }
    void setNumberOfCases(std::int64_t count) { m_numberOfCases = count; }

    bool operator==(const Example&) const = default;

private:
    Tensor m_inputs;
    Tensor m_outputs;
    std::int64_t m_numberOfCases = 0;
};
} // namespace AISystem
