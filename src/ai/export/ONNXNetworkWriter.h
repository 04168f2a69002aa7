#pragma once
#include "src/ai/export/ExportedNetwork.h"

#include <QString>

#include <string>

namespace Conflux
{
/// How an exported ONNX graph takes its inputs and gives its outputs.
enum class ONNXLayout
{
    /// One {cases, 1} graph input per model input and one graph output per model output, each named
    /// by its exchange path: what a user feeds by name in another runtime.
    NamedColumns,
    /// One {cases, inputs} graph input "inputs" and one {cases, outputs} output "outputs", the
    /// columns in the model's order (named in the metadata): what a runtime that feeds one matrix takes.
    SingleTensor,
};

struct ONNXExportOptions
{
    /// float32 tensors and weights whatever the network computes in; otherwise the network's own
    /// element type.
    bool float32 = false;
    ONNXLayout layout = ONNXLayout::NamedColumns;
};

/// Writes an extracted network as an ONNX model (opset 13) that, given inputs in standard units,
/// answers what `evaluate` answers: each input column scaled by its transform (Mul, Add), the
/// layers (Gemm, Tanh), each output column scaled back. The model's metadata properties hold, per
/// column, the name, description, quantity, standard unit, the unit the project shows with its
/// factor and offset, the bounds and the start value ("input.0.name", "input.0.unit", ...), and the
/// AI model's name and owner. Every model is checked with ONNX's checker and strict shape
/// inference before it is handed out.
class ONNXNetworkWriter
{
public:
    ONNXNetworkWriter() = delete;

    /// The serialised model; throws std::runtime_error when ONNX's checks refuse it.
    static std::string toBytes(const ExportedNetwork& network, const ONNXExportOptions& options);
    /// Writes the model to `path` atomically (the file is replaced whole or left as it was);
    /// throws std::runtime_error naming the path and the reason.
    static void write(const ExportedNetwork& network, const ONNXExportOptions& options, const QString& path);
};
} // namespace Conflux
