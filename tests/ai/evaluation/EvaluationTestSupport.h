#pragma once
// Small modules with known answers for the evaluation tests, and the test application and waits.
#include "host/ai/modules/Module.h"
#include "host/ai/modules/ModuleImpl.h"
#include "host/services/FutureEx.h"

#include "tests/host/services/TestApp.h"

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace EvaluationTest
{
// The test program's application and bounded waits are the services tests' own.
using ServicesTest::app;
using ServicesTest::processEventsUntil;
using ServicesTest::settled;

/// Outputs 2·x and x + 1 for each input column x; a negative input throws std::domain_error. With
/// imbalance, the energy is the sum of the inputs and the mass the sum of the outputs (over all cases).
class AffineImpl : public AISystem::ModuleImpl
{
public:
    explicit AffineImpl(bool imbalance = false) : m_imbalance(imbalance) {}

    AISystem::ModuleType getType() const override { return AISystem::ModuleType::Trivial; }
    AISystem::Tensor eval(const AISystem::Tensor& inputs) const override
    {
        ++calls;
        const std::int64_t rows = inputs.getDimensionSize(0);
        const std::int64_t columns = inputs.getDimensionSize(1);
        AISystem::Tensor outputs =
            AISystem::Tensor::createTensor({rows, 2 * columns}, AISystem::TensorElementType::Double);
        for (std::int64_t r = 0; r < rows; ++r)
            for (std::int64_t c = 0; c < columns; ++c)
            {
                const double x = inputs.at(r, c);
                if (x < 0)
                    throw std::domain_error("negative input " + std::to_string(x));
                outputs.setElementValue(r * 2 * columns + 2 * c, 2 * x);
                outputs.setElementValue(r * 2 * columns + 2 * c + 1, x + 1);
            }
        return outputs;
    }
    bool canCalcImbalanceResults() const override { return m_imbalance; }
    std::optional<AISystem::ImbalanceResult>
    calcImbalanceResults(const AISystem::Tensor& inputs, const AISystem::Tensor& outputs) const override
    {
        if (inputs.isEmpty())
            return std::nullopt;
        AISystem::ImbalanceResult result;
        for (double x : inputs.toDoubleVector())
            result.energy += x;
        for (double y : outputs.toDoubleVector())
            result.mass += y;
        return result;
    }

    mutable std::atomic<int> calls{0};

private:
    bool m_imbalance;
};

inline AISystem::Module affineModule(bool imbalance = false)
{
    return AISystem::Module(std::make_shared<AffineImpl>(imbalance));
}

/// The text of the future's failure (empty when it did not fail).
template <class T> std::string failureText(const Futures::FutureEx<T>& future)
{
    return future.failure().message();
}
} // namespace EvaluationTest
