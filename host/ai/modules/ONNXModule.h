#pragma once
#include "host/ai/modules/ModuleImpl.h"
#include "host/filesystem/ByteArray.h"

#include <memory>

namespace AISystem
{
/// Loads an ONNX model from memory: a graph with one input {cases, inputs} and one declared output
/// {cases, outputs} (or {cases} for one output), float or double, evaluated by ONNXGraph. Throws
/// std::runtime_error saying why it cannot, naming the node, operator and attribute at fault.
std::shared_ptr<const ModuleImpl> loadONNXModule(const Utilities::bytearray& bytes);
} // namespace AISystem
