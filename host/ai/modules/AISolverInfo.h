#pragma once
#include "host/ai/modules/ModuleType.h"
#include "host/ai/tensor/TensorBounds.h"
#include "host/ai/tensor/TensorScalingTransform.h"
#include "host/filesystem/ByteArray.h"

#include <optional>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace AISystem
{
/// What the solver needs to run a model: its type and data, and the scaling and bounds of its
/// inputs and outputs.
struct AISolverInfo
{
    ModuleType moduleType = ModuleType::None;
    Utilities::bytearray modelData;
    std::optional<TensorScalingTransform> inputTransform;
    TensorBounds inputBounds;
    std::optional<TensorScalingTransform> outputTransform;
    TensorBounds outputBounds;

    bool operator==(const AISolverInfo&) const = default;
};

FileSystem::DataOStream& operator<<(FileSystem::DataOStream& stream, const AISolverInfo& info);
/// Reads what operator<< wrote; a corrupt record fails the stream (check `fail()`) and leaves
/// `info` unchanged.
FileSystem::DataIStream& operator>>(FileSystem::DataIStream& stream, AISolverInfo& info);
} // namespace AISystem
