#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/modules/ModuleType.h"
#include "host/ai/tensor/Tensor.h"

#include <cstdint>
#include <optional>

namespace AISystem
{
/// What a runtime implements so that a Module can run it. Implementations are immutable after
/// construction: one instance is shared by every copy of a Module, so eval and
/// calcImbalanceResults must be safe to call from several threads at once.
class ModuleImpl
{
public:
    virtual ~ModuleImpl() = default;

    virtual ModuleType getType() const = 0;
    /// Outputs for a {cases, inputs} tensor: {cases, outputs}, same element type as the inputs.
    /// Throws std::runtime_error naming the sizes on a shape it cannot take.
    virtual Tensor eval(const Tensor& inputs) const = 0;

    /// The number of outputs per case for a number of inputs per case, where the module can tell
    /// without running user code (an ONNX graph evaluates one case of zeros); empty otherwise.
    /// Throws std::runtime_error when the module cannot take that many inputs.
    virtual std::optional<std::int64_t> getOutputWidth(std::int64_t /*inputs*/) const { return std::nullopt; }

    virtual bool canCalcImbalanceResults() const { return false; }
    /// Energy and mass imbalance of outputs for inputs; empty when none can be formed.
    virtual std::optional<ImbalanceResult> calcImbalanceResults(const Tensor& /*inputs*/,
                                                                const Tensor& /*outputs*/) const
    {
        return std::nullopt;
    }
};
} // namespace AISystem
