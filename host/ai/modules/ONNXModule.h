#pragma once
#include "host/ai/modules/ModuleImpl.h"
#include "host/filesystem/ByteArray.h"

#include <memory>

namespace AISystem
{
/// Loads an ONNX model from memory (one input {cases, inputs}, one output {cases, outputs}).
/// Throws std::runtime_error saying why it cannot, naming an operator the runtime lacks.
std::shared_ptr<const ModuleImpl> loadONNXModule(const Utilities::bytearray& bytes);
} // namespace AISystem
