#pragma once
#include "host/ai/modules/ModuleImpl.h"
#include "host/filesystem/ByteArray.h"

#include <memory>

namespace AISystem
{
/// Loads a Python model: UTF-8 source defining `evaluate(inputs)`, which takes rows of input
/// values (a 2-D numpy array when numpy is importable, else a list of lists of floats) and
/// returns one row of output values per input row. Throws std::runtime_error with Python's
/// message and line when the script does not compile or run, or defines no `evaluate`.
std::shared_ptr<const ModuleImpl> loadPythonScriptModule(const Utilities::bytearray& bytes);
} // namespace AISystem
