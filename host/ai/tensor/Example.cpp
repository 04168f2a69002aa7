#include "host/ai/tensor/Example.h"

namespace AISystem
{
Example::Example(Tensor inputs, Tensor outputs, std::int64_t numberOfCases)
    : m_inputs(std::move(inputs)), m_outputs(std::move(outputs)), m_numberOfCases(numberOfCases)
{
}
} // namespace AISystem
