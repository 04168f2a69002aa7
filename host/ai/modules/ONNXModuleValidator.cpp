#include "host/ai/modules/ONNXModuleValidator.h"

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace AISystem
{
namespace
{
// Field numbers and element types below are those of the published onnx.proto.
enum WireType : std::uint32_t
{
    Varint = 0,
    Fixed64 = 1,
    LengthDelimited = 2,
    Fixed32 = 5
};

constexpr int maxDepth = 32; // subgraphs nest through attributes; real models nest a few levels
constexpr std::uint64_t maxElements = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t maxDimensions = 32; // the runtime's own limit on a blob's dimensions

struct Invalid : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

struct Field
{
    std::uint32_t number = 0;
    std::uint32_t wire = 0;
    std::uint64_t value = 0; // varint and fixed values
    std::string_view bytes;  // length-delimited content
};

/// One protobuf message's fields, in order; every length is checked against what remains.
class FieldReader
{
public:
    FieldReader(std::string_view bytes, std::string path) : m_bytes(bytes), m_path(std::move(path)) {}

    bool next(Field& field)
    {
        if (m_at == m_bytes.size())
            return false;
        const std::uint64_t tag = varint();
        field.number = static_cast<std::uint32_t>(tag >> 3);
        field.wire = static_cast<std::uint32_t>(tag & 7);
        if (tag >> 3 == 0 || tag >> 3 > 536870911)
            fail("field number " + std::to_string(tag >> 3) + " is not valid");
        switch (field.wire)
        {
        case Varint:
            field.value = varint();
            break;
        case Fixed64:
            field.value = fixed(8);
            break;
        case Fixed32:
            field.value = fixed(4);
            break;
        case LengthDelimited:
        {
            const std::uint64_t size = varint();
            if (size > m_bytes.size() - m_at)
                fail("field " + std::to_string(field.number) + " claims " + std::to_string(size) +
                     " bytes where " + std::to_string(m_bytes.size() - m_at) + " remain");
            field.bytes = m_bytes.substr(m_at, static_cast<std::size_t>(size));
            m_at += static_cast<std::size_t>(size);
            break;
        }
        default:
            fail("field " + std::to_string(field.number) + " has wire type " + std::to_string(field.wire));
        }
        return true;
    }

    [[noreturn]] void fail(const std::string& what) const { throw Invalid(m_path + ": " + what); }
    const std::string& path() const { return m_path; }

    /// The varints of a packed repeated field, or of one unpacked element.
    static std::vector<std::uint64_t> varints(const Field& field, const std::string& path)
    {
        if (field.wire == Varint)
            return {field.value};
        FieldReader packed(field.bytes, path);
        std::vector<std::uint64_t> values;
        while (packed.m_at < packed.m_bytes.size())
            values.push_back(packed.varint());
        return values;
    }

private:
    std::uint64_t varint()
    {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7)
        {
            if (m_at == m_bytes.size())
                fail("a number runs past the end of its message");
            const auto byte = static_cast<std::uint8_t>(m_bytes[m_at++]);
            value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        fail("a number is longer than ten bytes");
    }

    std::uint64_t fixed(std::size_t size)
    {
        if (m_bytes.size() - m_at < size)
            fail("a fixed-size number runs past the end of its message");
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(m_bytes[m_at + i])) << (8 * i);
        m_at += size;
        return value;
    }

    std::string_view m_bytes;
    std::string m_path;
    std::size_t m_at = 0;
};

void expectWire(const FieldReader& reader, const Field& field, std::uint32_t wire)
{
    if (field.wire != wire)
        reader.fail("field " + std::to_string(field.number) + " has wire type " + std::to_string(field.wire) +
                    ", expected " + std::to_string(wire));
}

/// A singular message field given twice is merged by the parser: refuse it rather than check a merge.
void expectOnce(const FieldReader& reader, std::map<std::uint32_t, int>& seen, const Field& field)
{
    if (++seen[field.number] > 1)
        reader.fail("field " + std::to_string(field.number) + " is given more than once");
}

/// Bytes per element of a tensor data type; 0 for strings, -1 for a type that does not exist.
int elementSize(std::uint64_t type)
{
    switch (type)
    {
    case 1:
        return 4; // FLOAT
    case 2:
        return 1; // UINT8
    case 3:
        return 1; // INT8
    case 4:
        return 2; // UINT16
    case 5:
        return 2; // INT16
    case 6:
        return 4; // INT32
    case 7:
        return 8; // INT64
    case 8:
        return 0; // STRING
    case 9:
        return 1; // BOOL
    case 10:
        return 2; // FLOAT16
    case 11:
        return 8; // DOUBLE
    case 12:
        return 4; // UINT32
    case 13:
        return 8; // UINT64
    case 14:
        return 8; // COMPLEX64
    case 15:
        return 16; // COMPLEX128
    case 16:
        return 2; // BFLOAT16
    default:
        return -1;
    }
}

/// The typed field that holds values of a data type, and how many of its entries make one element.
std::pair<std::uint32_t, std::uint64_t> typedField(std::uint64_t type)
{
    switch (type)
    {
    case 1:
        return {4, 1}; // float_data
    case 14:
        return {4, 2};
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 9:
    case 10:
    case 16:
        return {5, 1}; // int32_data
    case 7:
        return {7, 1}; // int64_data
    case 8:
        return {6, 1}; // string_data
    case 11:
        return {10, 1}; // double_data
    case 15:
        return {10, 2};
    case 12:
    case 13:
        return {11, 1}; // uint64_data
    default:
        return {0, 0};
    }
}

void checkGraph(std::string_view bytes, const std::string& path, int depth, bool main);

void checkTensor(std::string_view bytes, const std::string& path)
{
    FieldReader reader(bytes, path);
    Field field;
    std::vector<std::uint64_t> dims;
    std::uint64_t dataType = 0;
    std::optional<std::size_t> rawSize;
    std::map<std::uint32_t, std::uint64_t> typedCounts;
    bool external = false;
    while (reader.next(field))
    {
        switch (field.number)
        {
        case 1:
            for (std::uint64_t dim : FieldReader::varints(field, path))
                dims.push_back(dim);
            break;
        case 2:
            expectWire(reader, field, Varint);
            dataType = field.value;
            break;
        case 3:
            reader.fail("segmented tensors are not supported");
        case 4: // float_data: fixed32, packed or not
            expectWire(reader, field, field.wire == Fixed32 ? Fixed32 : LengthDelimited);
            if (field.wire == LengthDelimited && field.bytes.size() % 4 != 0)
                reader.fail("float data of " + std::to_string(field.bytes.size()) + " bytes");
            typedCounts[4] += field.wire == Fixed32 ? 1 : field.bytes.size() / 4;
            break;
        case 10: // double_data: fixed64
            expectWire(reader, field, field.wire == Fixed64 ? Fixed64 : LengthDelimited);
            if (field.wire == LengthDelimited && field.bytes.size() % 8 != 0)
                reader.fail("double data of " + std::to_string(field.bytes.size()) + " bytes");
            typedCounts[10] += field.wire == Fixed64 ? 1 : field.bytes.size() / 8;
            break;
        case 5:
        case 7:
        case 11: // int32_data, int64_data, uint64_data: varints
            if (field.wire != Varint)
                expectWire(reader, field, LengthDelimited);
            typedCounts[field.number] += FieldReader::varints(field, path).size();
            break;
        case 6:
            expectWire(reader, field, LengthDelimited);
            ++typedCounts[6];
            break;
        case 9:
            expectWire(reader, field, LengthDelimited);
            rawSize = field.bytes.size();
            break;
        case 13:
            external = true;
            break;
        case 14:
            expectWire(reader, field, Varint);
            external = external || field.value != 0;
            break;
        default:
            break;
        }
    }
    if (external)
        reader.fail("tensor data in external files is not supported");
    const int size = elementSize(dataType);
    if (size < 0)
        reader.fail("tensor data type " + std::to_string(dataType) + " does not exist");
    if (dims.size() > maxDimensions)
        reader.fail(std::to_string(dims.size()) + " dimensions, at most " + std::to_string(maxDimensions));
    std::uint64_t elements = 1;
    for (std::uint64_t dim : dims)
    {
        if (dim > maxElements || (dim != 0 && elements > maxElements / dim))
            reader.fail("the dimensions hold more than " + std::to_string(maxElements) + " elements");
        elements *= dim;
    }
    const auto [typed, perElement] = typedField(dataType);
    std::uint64_t typedTotal = 0;
    for (const auto& [number, count] : typedCounts)
    {
        if (number != typed && count != 0)
            reader.fail("data type " + std::to_string(dataType) + " with values in field " +
                        std::to_string(number));
        typedTotal += count;
    }
    if (rawSize && *rawSize != 0)
    {
        if (size == 0)
            reader.fail("string tensor with raw data");
        if (typedTotal != 0)
            reader.fail("tensor with both raw and typed data");
        if (*rawSize != elements * static_cast<std::uint64_t>(size))
            reader.fail("raw data of " + std::to_string(*rawSize) + " bytes for " + std::to_string(elements) +
                        " elements of " + std::to_string(size) + " bytes");
        return;
    }
    if (typedTotal != elements * perElement)
        reader.fail(std::to_string(typedTotal) + " values for " + std::to_string(elements) + " elements");
}

/// Checks a message's own wire format and that of the messages it nests, known or not.
void checkValueInfo(std::string_view bytes, const std::string& path)
{
    // ValueInfoProto.type -> TypeProto.tensor_type -> shape -> dim: dim_value must not be negative.
    FieldReader info(bytes, path);
    Field field;
    std::map<std::uint32_t, int> seen;
    while (info.next(field))
    {
        if (field.number != 2)
            continue;
        expectWire(info, field, LengthDelimited);
        expectOnce(info, seen, field);
        FieldReader type(field.bytes, path + ".type");
        Field typeField;
        std::map<std::uint32_t, int> seenType;
        while (type.next(typeField))
        {
            if (typeField.number != 1)
                continue;
            expectWire(type, typeField, LengthDelimited);
            expectOnce(type, seenType, typeField);
            FieldReader tensor(typeField.bytes, path + ".type.tensor_type");
            Field tensorField;
            std::map<std::uint32_t, int> seenTensor;
            while (tensor.next(tensorField))
            {
                if (tensorField.number == 1)
                {
                    expectWire(tensor, tensorField, Varint);
                    if (elementSize(tensorField.value) < 0)
                        tensor.fail("element type " + std::to_string(tensorField.value) + " does not exist");
                }
                if (tensorField.number != 2)
                    continue;
                expectWire(tensor, tensorField, LengthDelimited);
                expectOnce(tensor, seenTensor, tensorField);
                FieldReader shape(tensorField.bytes, path + ".shape");
                Field dim;
                std::size_t dims = 0;
                while (shape.next(dim))
                {
                    if (dim.number != 1)
                        continue;
                    expectWire(shape, dim, LengthDelimited);
                    if (++dims > maxDimensions)
                        shape.fail("more than " + std::to_string(maxDimensions) + " dimensions");
                    FieldReader value(dim.bytes, path + ".shape.dim");
                    Field valueField;
                    while (value.next(valueField))
                        if (valueField.number == 1)
                        {
                            expectWire(value, valueField, Varint);
                            if (static_cast<std::int64_t>(valueField.value) < 0 ||
                                valueField.value > maxElements)
                                value.fail("dimension " +
                                           std::to_string(static_cast<std::int64_t>(valueField.value)));
                        }
                }
            }
        }
    }
}

void checkAttribute(std::string_view bytes, const std::string& path, int depth)
{
    FieldReader reader(bytes, path);
    Field field;
    std::map<std::uint32_t, int> seen;
    std::size_t index = 0;
    while (reader.next(field))
    {
        switch (field.number)
        {
        case 1:
        case 4:
        case 9:
        case 13:
        case 21:
            expectWire(reader, field, LengthDelimited);
            break;
        case 5:
            expectWire(reader, field, LengthDelimited);
            expectOnce(reader, seen, field);
            checkTensor(field.bytes, path + ".t");
            break;
        case 10:
            expectWire(reader, field, LengthDelimited);
            checkTensor(field.bytes, path + ".tensors[" + std::to_string(index++) + "]");
            break;
        case 6:
            expectWire(reader, field, LengthDelimited);
            expectOnce(reader, seen, field);
            checkGraph(field.bytes, path + ".g", depth + 1, false);
            break;
        case 11:
            expectWire(reader, field, LengthDelimited);
            checkGraph(field.bytes, path + ".graphs[" + std::to_string(index++) + "]", depth + 1, false);
            break;
        case 22:
        case 23:
        case 14:
        case 15:
            reader.fail("sparse tensors and type attributes are not supported");
        default:
            break;
        }
    }
}

/// Operators whose importer reads a fixed number of inputs without counting them first.
std::size_t minimumInputs(std::string_view op)
{
    static const std::map<std::string_view, std::size_t> counts = {{"Add", 2},
                                                                   {"Sub", 2},
                                                                   {"Mul", 2},
                                                                   {"Div", 2},
                                                                   {"Pow", 2},
                                                                   {"MatMul", 2},
                                                                   {"Gemm", 2},
                                                                   {"Conv", 2},
                                                                   {"ConvTranspose", 2},
                                                                   {"PRelu", 2},
                                                                   {"Gather", 2},
                                                                   {"Expand", 2},
                                                                   {"Tile", 2},
                                                                   {"Equal", 2},
                                                                   {"Greater", 2},
                                                                   {"Less", 2},
                                                                   {"GreaterOrEqual", 2},
                                                                   {"LessOrEqual", 2},
                                                                   {"And", 2},
                                                                   {"Or", 2},
                                                                   {"Xor", 2},
                                                                   {"Mod", 2},
                                                                   {"BitShift", 2},
                                                                   {"CumSum", 2},
                                                                   {"QuantizeLinear", 2},
                                                                   {"DequantizeLinear", 2},
                                                                   {"MatMulInteger", 2},
                                                                   {"LayerNormalization", 2},
                                                                   {"InstanceNormalization", 3},
                                                                   {"Where", 3},
                                                                   {"Range", 3},
                                                                   {"LSTM", 3},
                                                                   {"GRU", 3},
                                                                   {"RNN", 3},
                                                                   {"Scatter", 3},
                                                                   {"ScatterElements", 3},
                                                                   {"ScatterND", 3},
                                                                   {"GatherElements", 2},
                                                                   {"GatherND", 2},
                                                                   {"BatchNormalization", 5},
                                                                   {"QLinearConv", 8},
                                                                   {"QLinearMatMul", 8},
                                                                   {"QLinearAdd", 8},
                                                                   {"QLinearMul", 8},
                                                                   {"QGemm", 8},
                                                                   {"QLinearConcat", 3},
                                                                   {"QLinearLeakyRelu", 4},
                                                                   {"QLinearSigmoid", 4},
                                                                   {"QLinearAveragePool", 4},
                                                                   {"QLinearGlobalAveragePool", 4},
                                                                   {"QLinearSoftmax", 4},
                                                                   {"Constant", 0},
                                                                   {"RandomNormal", 0},
                                                                   {"RandomUniform", 0}};
    const auto found = counts.find(op);
    return found == counts.end() ? 1 : found->second;
}

void checkNode(std::string_view bytes, const std::string& path, int depth)
{
    FieldReader reader(bytes, path);
    Field field;
    std::size_t inputs = 0;
    std::size_t outputs = 0;
    std::size_t attributes = 0;
    std::string_view op;
    while (reader.next(field))
    {
        switch (field.number)
        {
        case 1:
            expectWire(reader, field, LengthDelimited);
            ++inputs;
            break;
        case 2:
            expectWire(reader, field, LengthDelimited);
            ++outputs;
            break;
        case 3:
        case 6:
        case 7:
            expectWire(reader, field, LengthDelimited);
            break;
        case 4:
            expectWire(reader, field, LengthDelimited);
            op = field.bytes;
            break;
        case 5:
            expectWire(reader, field, LengthDelimited);
            checkAttribute(field.bytes, path + ".attribute[" + std::to_string(attributes++) + "]", depth);
            break;
        default:
            break;
        }
    }
    if (op.empty())
        reader.fail("the node has no operator");
    if (outputs == 0)
        reader.fail("the " + std::string(op) + " node has no output");
    if (inputs < minimumInputs(op))
        reader.fail("the " + std::string(op) + " node has " + std::to_string(inputs) + " inputs, it needs " +
                    std::to_string(minimumInputs(op)));
}

void checkGraph(std::string_view bytes, const std::string& path, int depth, bool main)
{
    if (depth > maxDepth)
        throw Invalid(path + ": graphs nest deeper than " + std::to_string(maxDepth) + " levels");
    FieldReader reader(bytes, path);
    Field field;
    std::map<std::uint32_t, std::size_t> counts;
    while (reader.next(field))
    {
        const std::size_t index = counts[field.number]++;
        switch (field.number)
        {
        case 1:
            expectWire(reader, field, LengthDelimited);
            checkNode(field.bytes, path + ".node[" + std::to_string(index) + "]", depth);
            break;
        case 5:
            expectWire(reader, field, LengthDelimited);
            checkTensor(field.bytes, path + ".initializer[" + std::to_string(index) + "]");
            break;
        case 11:
        case 12:
        case 13:
            expectWire(reader, field, LengthDelimited);
            checkValueInfo(field.bytes, path +
                                            (field.number == 11   ? ".input["
                                             : field.number == 12 ? ".output["
                                                                  : ".value_info[") +
                                            std::to_string(index) + "]");
            break;
        case 15:
            reader.fail("sparse initializers are not supported");
        case 2:
        case 10:
            expectWire(reader, field, LengthDelimited);
            break;
        default:
            break;
        }
    }
    if (counts[1] == 0)
        reader.fail("the graph has no nodes");
    if (main && counts[11] == 0)
        reader.fail("the graph has no inputs");
    if (counts[12] == 0)
        reader.fail("the graph has no outputs");
}
} // namespace

std::string validateONNXModel(const Utilities::bytearray& bytes)
{
    try
    {
        const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        FieldReader reader(view, "model");
        Field field;
        std::map<std::uint32_t, int> seen;
        bool graph = false;
        while (reader.next(field))
        {
            switch (field.number)
            {
            case 7:
                expectWire(reader, field, LengthDelimited);
                expectOnce(reader, seen, field);
                checkGraph(field.bytes, "graph", 0, true);
                graph = true;
                break;
            case 1:
            case 5:
                expectWire(reader, field, Varint);
                break;
            case 2:
            case 3:
            case 4:
            case 6:
            case 8:
            case 14:
                expectWire(reader, field, LengthDelimited);
                break;
            case 20:
            case 25:
                reader.fail("training information and model-local functions are not supported");
            default:
                break;
            }
        }
        if (!graph)
            reader.fail("no graph");
        return {};
    }
    catch (const Invalid& e)
    {
        return e.what();
    }
}
} // namespace AISystem
