#pragma once
#include "host/filesystem/ByteArray.h"

#include <string>

namespace AISystem
{
/// Checks ONNX model bytes before the runtime parses them: the protobuf wire format of the
/// ModelProto and everything it nests (graphs, nodes, attributes, tensors, value infos) is
/// walked, every length must fit inside its parent, the model must have a graph with nodes,
/// inputs and outputs, and each tensor's data must hold exactly what its dimensions and type
/// say. Tensors kept in external files are refused. The runtime trusts all of this and reads
/// out of bounds (or aborts) where it does not hold.
///
/// Returns an empty string for bytes that pass, else what is wrong and where.
std::string validateONNXModel(const Utilities::bytearray& bytes);
} // namespace AISystem
