#pragma once
#include "host/ai/physics/ImbalanceResult.h"
#include "host/ai/modules/ModuleImpl.h"
#include "host/ai/modules/ModuleType.h"
#include "host/ai/tensor/Tensor.h"
#include "host/filesystem/ByteArray.h"

#include <memory>
#include <optional>

namespace AISystem
{
/// A runnable model: a value type over a shared, immutable implementation, so copies are cheap
/// and evaluate the same model.
///
/// Byte formats accepted by fromByteArray:
/// - None (0) and Trivial: any bytes; the module returns its inputs unchanged (identity).
/// - NeuralNetwork: the archive that NeuralNetworkTrainer writes.
/// - TorchScript: a TorchScript archive whose forward takes and returns one 2-D tensor.
/// - ONNX: an ONNX model with one input and one output (see ONNXModule.h).
/// - Python: UTF-8 source of a script defining `evaluate(inputs)` (see README.md).
/// - Transformed: not loadable from bytes (built with TranformedModule).
/// Bytes that cannot be loaded raise std::runtime_error saying what is wrong.
class Module
{
public:
    /// An identity module of type None.
    Module();
    explicit Module(std::shared_ptr<const ModuleImpl> impl);

    static Module fromByteArray(ModuleType type, const Utilities::bytearray& bytes);

    ModuleType getType() const;
    /// Outputs for inputs; rows are cases, a batch of rows is evaluated in one call.
    Tensor eval(const Tensor& inputs) const;
    /// Outputs per case for a number of inputs per case, where the module can tell (see ModuleImpl).
    std::optional<std::int64_t> getOutputWidth(std::int64_t inputs) const;
    bool canCalcImbalanceResults() const;
    std::optional<ImbalanceResult> calcImbalanceResults(const Tensor& inputs, const Tensor& outputs) const;

    const std::shared_ptr<const ModuleImpl>& getImpl() const { return m_impl; }

private:
    std::shared_ptr<const ModuleImpl> m_impl;
};
} // namespace AISystem
