#pragma once
// The operators an ONNX graph may use, for ONNXGraph only: each node is compiled once at load
// (attributes read and checked, element types inferred) into a kernel that runs it.
#include "host/ai/modules/ONNXGraph.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace onnx
{
class NodeProto;
class TensorProto;
} // namespace onnx

namespace AISystem::ONNXOperators
{
/// Runs a node on its inputs (null for an optional input the node leaves out), giving one tensor
/// per output the node lists. Throws std::runtime_error with a reason that the caller prefixes
/// with the node's description.
using Kernel = std::function<std::vector<ONNXTensor>(const std::vector<const ONNXTensor*>& inputs)>;

struct CompiledNode
{
    Kernel kernel;
    /// One per output the node lists, in its order.
    std::vector<ONNXElementType> outputTypes;
};

/// Checks a node of the default domain and compiles it. inputTypes has one entry per input the
/// node lists, empty for an input left out. Throws std::runtime_error with a reason (without the
/// node's description) for an operator, attribute, input count or element type it cannot take.
CompiledNode compile(const onnx::NodeProto& node,
                     const std::vector<std::optional<ONNXElementType>>& inputTypes);

/// The operators compile accepts, sorted.
const std::vector<std::string>& supportedOperators();

/// A tensor stored in a model (an initializer, a Constant's value, a test's input): float, double
/// or int64, its data in the typed field or little-endian raw_data, sized as its dimensions say.
ONNXTensor fromProto(const onnx::TensorProto& proto);

/// The element type of an ONNX data type code; throws naming the type for any other.
ONNXElementType elementType(int dataType);

/// The most elements a tensor may have, so that no model asks for more memory than a machine has.
constexpr std::int64_t maxElements = std::int64_t(1) << 24;

/// The element count of a shape; throws when a dimension is negative or the count exceeds maxElements.
std::int64_t elementCount(const std::vector<std::int64_t>& shape);

/// "{2, 3}".
std::string shapeText(const std::vector<std::int64_t>& shape);
} // namespace AISystem::ONNXOperators
