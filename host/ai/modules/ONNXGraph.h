#pragma once
#include "host/filesystem/ByteArray.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace AISystem
{
/// The element types an ONNX graph's tensors may have here: the floats a network computes in and
/// the 64-bit integers of shapes and axes.
enum class ONNXElementType
{
    Float,
    Double,
    Int64,
};

/// "float", "double" or "int64".
std::string toString(ONNXElementType type);

/// A dense tensor of an ONNX graph. Values of every element type are held as doubles (exact for
/// floats and for the integers of shapes); a Float tensor only ever holds values a float can.
struct ONNXTensor
{
    ONNXElementType type = ONNXElementType::Float;
    std::vector<std::int64_t> shape;
    std::vector<double> values;

    /// Parses a serialized TensorProto (an input_N.pb of ONNX's node tests). Throws
    /// std::runtime_error on bytes that are no tensor of a supported element type.
    static ONNXTensor fromProtoBytes(const Utilities::bytearray& bytes);
};

/// An ONNX model's main graph, parsed with ONNX's own protobuf classes and evaluated by this
/// library: dense graphs of Gemm, MatMul, the elementwise arithmetic and activations, and the shape
/// operators (the list is in docs/onnx-conformance.md). Every node's operator, attributes, input
/// count and element types are checked when the graph loads, so anything it cannot evaluate exactly
/// is refused then, naming the node, its operator, the attribute and why. Float graphs compute each
/// operator in double and round its result to float; double graphs compute in double throughout.
/// Immutable once loaded: run may be called from several threads at once.
class ONNXGraph
{
public:
    /// A graph input (one that no initializer gives) or output as the model declares it.
    struct Port
    {
        std::string name;
        ONNXElementType type = ONNXElementType::Float;
        /// Each dimension's size; -1 where the model names it (a batch size) or leaves it open.
        std::vector<std::int64_t> shape;
        /// False when the model declares no shape at all.
        bool hasShape = false;
    };

    /// Throws std::runtime_error saying what cannot be loaded and where.
    static ONNXGraph fromBytes(const Utilities::bytearray& bytes);

    const std::vector<Port>& inputs() const;
    const std::vector<Port>& outputs() const;

    /// The graph's declared outputs, in order, for its inputs by name. Only the nodes the outputs
    /// depend on run. Throws std::runtime_error naming the node on a shape it cannot take.
    std::vector<ONNXTensor> run(const std::map<std::string, ONNXTensor>& inputs) const;

private:
    struct Impl;
    explicit ONNXGraph(std::shared_ptr<const Impl> impl);
    std::shared_ptr<const Impl> m_impl;
};
} // namespace AISystem
