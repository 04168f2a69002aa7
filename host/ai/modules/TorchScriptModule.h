#pragma once
#include "host/ai/modules/ModuleImpl.h"
#include "host/filesystem/ByteArray.h"

#include <memory>

namespace AISystem
{
/// Loads a TorchScript archive from memory; its forward takes one {cases, inputs} tensor and
/// returns one {cases, outputs} tensor. Throws std::runtime_error saying why it cannot.
std::shared_ptr<const ModuleImpl> loadTorchScriptModule(const Utilities::bytearray& bytes);
} // namespace AISystem
