#include "host/ai/modules/ONNXOperators.h"

#include <onnx/onnx_pb.h>

#include <Eigen/Dense>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <stdexcept>

namespace AISystem::ONNXOperators
{
namespace
{
using Shape = std::vector<std::int64_t>;
using Inputs = std::vector<const ONNXTensor*>;
using InputTypes = std::vector<std::optional<ONNXElementType>>;
using RowMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

/// Most operators give one output: they are compiled to one of these and wrapped.
using SingleKernel = std::function<ONNXTensor(const Inputs& inputs)>;

struct SingleNode
{
    SingleKernel kernel;
    ONNXElementType outputType = ONNXElementType::Float;
};

/// Matrix products above this many multiply-adds are refused rather than left to run for minutes.
constexpr std::int64_t maxProductWork = std::int64_t(1) << 31;

std::string number(double value)
{
    std::ostringstream text;
    text.precision(9);
    text << value;
    return text.str();
}

std::string dataTypeName(int code)
{
    if (onnx::TensorProto_DataType_IsValid(code))
    {
        std::string name = onnx::TensorProto_DataType_Name(static_cast<onnx::TensorProto_DataType>(code));
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        return name;
    }
    return "type " + std::to_string(code);
}

/// Rounds a result to what its element type holds: floats to the nearest float.
ONNXTensor rounded(ONNXTensor tensor)
{
    if (tensor.type == ONNXElementType::Float)
        for (double& v : tensor.values)
            v = static_cast<double>(static_cast<float>(v));
    return tensor;
}

ONNXTensor makeTensor(ONNXElementType type, Shape shape)
{
    ONNXTensor tensor;
    tensor.type = type;
    tensor.values.assign(static_cast<std::size_t>(elementCount(shape)), 0.0);
    tensor.shape = std::move(shape);
    return tensor;
}

/// An axis in [-rank, rank) (or [-rank, rank] where the operator allows the end) made non-negative.
std::int64_t normalisedAxis(std::int64_t axis, std::int64_t rank, const std::string& what,
                            bool allowEnd = false)
{
    const std::int64_t upper = allowEnd ? rank : rank - 1;
    if (axis < -rank || axis > upper)
        throw std::runtime_error(what + " = " + std::to_string(axis) + " is outside [" +
                                 std::to_string(-rank) + ", " + std::to_string(upper) +
                                 "] for an input of rank " + std::to_string(rank));
    return axis < 0 ? axis + rank : axis;
}

/// Steps through every index of an output shape, keeping the matching offset into each input
/// whose strides (aligned to the output's rank, 0 along broadcast dimensions) are given.
template <std::size_t N, typename F>
void forEachIndex(const Shape& out, const std::array<Shape, N>& strides, F&& f)
{
    const std::int64_t count = elementCount(out);
    if (count == 0)
        return;
    const std::size_t rank = out.size();
    Shape index(rank, 0);
    std::array<std::int64_t, N> offsets{};
    for (std::int64_t o = 0; o < count; ++o)
    {
        f(o, offsets);
        for (std::size_t d = rank; d-- > 0;)
        {
            ++index[d];
            for (std::size_t k = 0; k < N; ++k)
                offsets[k] += strides[k][d];
            if (index[d] < out[d])
                break;
            for (std::size_t k = 0; k < N; ++k)
                offsets[k] -= strides[k][d] * out[d];
            index[d] = 0;
        }
    }
}

/// Strides of a contiguous input read as an output of rank `rank` under numpy broadcasting.
Shape broadcastStrides(const Shape& in, std::size_t rank)
{
    Shape strides(rank, 0);
    std::int64_t stride = 1;
    for (std::size_t i = in.size(); i-- > 0;)
    {
        const std::size_t o = i + (rank - in.size());
        strides[o] = in[i] == 1 ? 0 : stride;
        stride *= in[i];
    }
    return strides;
}

Shape broadcastShape(const Shape& a, const Shape& b)
{
    const std::size_t rank = std::max(a.size(), b.size());
    Shape out(rank, 1);
    for (std::size_t i = 0; i < rank; ++i)
    {
        const std::int64_t da = i < rank - a.size() ? 1 : a[i - (rank - a.size())];
        const std::int64_t db = i < rank - b.size() ? 1 : b[i - (rank - b.size())];
        if (da != db && da != 1 && db != 1)
            throw std::runtime_error("inputs of shapes " + shapeText(a) + " and " + shapeText(b) +
                                     " do not broadcast");
        out[i] = da == 1 ? db : da;
    }
    return out;
}

template <typename F> ONNXTensor binary(const ONNXTensor& a, const ONNXTensor& b, F f)
{
    ONNXTensor out = makeTensor(a.type, broadcastShape(a.shape, b.shape));
    if (a.shape == b.shape)
        for (std::size_t i = 0; i < out.values.size(); ++i)
            out.values[i] = f(a.values[i], b.values[i]);
    else
    {
        const std::array<Shape, 2> strides{broadcastStrides(a.shape, out.shape.size()),
                                           broadcastStrides(b.shape, out.shape.size())};
        forEachIndex(out.shape, strides,
                     [&](std::int64_t o, const std::array<std::int64_t, 2>& at)
                     { out.values[o] = f(a.values[at[0]], b.values[at[1]]); });
    }
    return rounded(std::move(out));
}

template <typename F> ONNXTensor unary(const ONNXTensor& x, F f)
{
    ONNXTensor out = x;
    for (double& v : out.values)
        v = f(v);
    return rounded(std::move(out));
}

/// A node's attributes, each read at most once; whatever is left when finish is called is an
/// attribute the operator does not take.
class Attributes
{
public:
    explicit Attributes(const onnx::NodeProto& node)
    {
        for (const onnx::AttributeProto& attribute : node.attribute())
        {
            if (!attribute.ref_attr_name().empty())
                throw std::runtime_error("attribute '" + attribute.name() +
                                         "' refers to a function's attribute, which is not supported");
            if (!m_attributes.emplace(attribute.name(), &attribute).second)
                throw std::runtime_error("attribute '" + attribute.name() + "' is given twice");
        }
    }

    bool has(const std::string& name) const { return m_attributes.count(name) != 0; }

    double floatOr(const std::string& name, float fallback)
    {
        const onnx::AttributeProto* a = take(name, onnx::AttributeProto::FLOAT);
        return a == nullptr ? fallback : static_cast<double>(a->f());
    }

    std::int64_t intOr(const std::string& name, std::int64_t fallback)
    {
        const onnx::AttributeProto* a = take(name, onnx::AttributeProto::INT);
        return a == nullptr ? fallback : a->i();
    }

    std::optional<Shape> ints(const std::string& name)
    {
        const onnx::AttributeProto* a = take(name, onnx::AttributeProto::INTS);
        if (a == nullptr)
            return std::nullopt;
        return Shape(a->ints().begin(), a->ints().end());
    }

    std::optional<std::vector<double>> floats(const std::string& name)
    {
        const onnx::AttributeProto* a = take(name, onnx::AttributeProto::FLOATS);
        if (a == nullptr)
            return std::nullopt;
        return std::vector<double>(a->floats().begin(), a->floats().end());
    }

    const onnx::TensorProto* tensor(const std::string& name)
    {
        const onnx::AttributeProto* a = take(name, onnx::AttributeProto::TENSOR);
        return a == nullptr ? nullptr : &a->t();
    }

    /// Refuses the attributes not read, naming those the operator takes.
    void finish(const std::string& known) const
    {
        if (m_attributes.empty())
            return;
        const std::string& name = m_attributes.begin()->first;
        throw std::runtime_error("attribute '" + name + "' is not supported (" +
                                 (known.empty() ? std::string("the operator takes no attributes")
                                                : "the operator takes " + known) +
                                 ")");
    }

private:
    static onnx::AttributeProto::AttributeType typeOf(const onnx::AttributeProto& a)
    {
        if (a.type() != onnx::AttributeProto::UNDEFINED)
            return a.type();
        // Models older than the type field say it by the field they fill.
        if (a.has_f())
            return onnx::AttributeProto::FLOAT;
        if (a.has_i())
            return onnx::AttributeProto::INT;
        if (a.has_t())
            return onnx::AttributeProto::TENSOR;
        if (a.ints_size() > 0)
            return onnx::AttributeProto::INTS;
        if (a.floats_size() > 0)
            return onnx::AttributeProto::FLOATS;
        return onnx::AttributeProto::UNDEFINED;
    }

    const onnx::AttributeProto* take(const std::string& name, onnx::AttributeProto::AttributeType type)
    {
        const auto found = m_attributes.find(name);
        if (found == m_attributes.end())
            return nullptr;
        const onnx::AttributeProto* a = found->second;
        m_attributes.erase(found);
        if (typeOf(*a) != type)
            throw std::runtime_error("attribute '" + name + "' must be " +
                                     onnx::AttributeProto::AttributeType_Name(type) + ", not " +
                                     onnx::AttributeProto::AttributeType_Name(typeOf(*a)));
        return a;
    }

    std::map<std::string, const onnx::AttributeProto*> m_attributes;
};

void requireInputs(const InputTypes& types, std::size_t min, std::size_t max)
{
    if (types.size() < min || types.size() > max)
        throw std::runtime_error(
            "it has " + std::to_string(types.size()) + " inputs; the operator takes " +
            (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)));
    for (std::size_t i = 0; i < min; ++i)
        if (!types[i])
            throw std::runtime_error("input " + std::to_string(i + 1) + " is required but left out");
}

ONNXElementType requireFloating(const std::optional<ONNXElementType>& type, const std::string& what)
{
    if (*type == ONNXElementType::Int64)
        throw std::runtime_error(what + " is int64; the operator is evaluated for float and double only");
    return *type;
}

ONNXElementType requireSame(const InputTypes& types)
{
    std::optional<ONNXElementType> first;
    for (const auto& type : types)
    {
        if (!type)
            continue;
        if (first && *first != *type)
            throw std::runtime_error("its inputs are " + toString(*first) + " and " + toString(*type) +
                                     "; they must have one element type");
        first = type;
    }
    return *first;
}

void requireInt64(const std::optional<ONNXElementType>& type, const std::string& what)
{
    if (type && *type != ONNXElementType::Int64)
        throw std::runtime_error(what + " is " + toString(*type) + "; it must be int64");
}

Shape readInts(const ONNXTensor& tensor, const std::string& what)
{
    if (tensor.shape.size() != 1)
        throw std::runtime_error(what + " must be a 1-D tensor, not " + shapeText(tensor.shape));
    Shape values;
    for (double v : tensor.values)
    {
        // Beyond any size or axis a tensor here can have, and beyond what converts back exactly.
        if (std::abs(v) > static_cast<double>(maxElements))
            throw std::runtime_error(what + " holds " + number(v) + ", out of range");
        values.push_back(static_cast<std::int64_t>(v));
    }
    return values;
}

double scalar(const ONNXTensor& tensor, const std::string& what)
{
    if (tensor.values.size() != 1 || tensor.shape.size() > 1)
        throw std::runtime_error(what + " must be a scalar, not " + shapeText(tensor.shape));
    return tensor.values[0];
}

ONNXTensor reshaped(const ONNXTensor& x, Shape shape)
{
    ONNXTensor out = x;
    out.shape = std::move(shape);
    return out;
}

// Operators -------------------------------------------------------------------------------------

SingleNode compileBinary(const std::string& op, Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 2, 2);
    attributes.finish("");
    const ONNXElementType type = requireSame(types);
    const bool integer = type == ONNXElementType::Int64;
    SingleKernel kernel;
    if (op == "Add")
        kernel = [](const Inputs& in)
        { return binary(*in[0], *in[1], [](double a, double b) { return a + b; }); };
    else if (op == "Sub")
        kernel = [](const Inputs& in)
        { return binary(*in[0], *in[1], [](double a, double b) { return a - b; }); };
    else if (op == "Mul")
        kernel = [](const Inputs& in)
        { return binary(*in[0], *in[1], [](double a, double b) { return a * b; }); };
    else
        kernel = [integer](const Inputs& in)
        {
            return binary(*in[0], *in[1],
                          [integer](double a, double b)
                          {
                              if (!integer)
                                  return a / b;
                              if (b == 0)
                                  throw std::runtime_error("integer division by zero");
                              return std::trunc(a / b);
                          });
        };
    return {kernel, type};
}

/// The activations and other elementwise functions of one input.
SingleNode compileUnary(const std::string& op, Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 1);
    const ONNXElementType type = *types[0];
    std::function<double(double)> f;
    std::string known;
    if (op == "Neg")
        f = [](double x) { return -x; };
    else if (op == "Relu")
        f = [](double x) { return x > 0 ? x : 0.0; };
    else if (op == "Identity")
        f = [](double x) { return x; };
    else
    {
        requireFloating(types[0], "input 1");
        if (op == "Tanh")
            f = [](double x) { return std::tanh(x); };
        else if (op == "Sigmoid")
            f = [](double x)
            {
                if (x >= 0)
                    return 1.0 / (1.0 + std::exp(-x));
                const double e = std::exp(x);
                return e / (1.0 + e);
            };
        else if (op == "Softplus")
            f = [](double x) { return x > 0 ? x + std::log1p(std::exp(-x)) : std::log1p(std::exp(x)); };
        else if (op == "LeakyRelu")
        {
            const double alpha = attributes.floatOr("alpha", 0.01f);
            known = "alpha";
            f = [alpha](double x) { return x >= 0 ? x : alpha * x; };
        }
        else if (op == "Elu")
        {
            const double alpha = attributes.floatOr("alpha", 1.0f);
            known = "alpha";
            f = [alpha](double x) { return x >= 0 ? x : alpha * std::expm1(x); };
        }
        else if (op == "Selu")
        {
            const double alpha = attributes.floatOr("alpha", 1.67326319217681884765625f);
            const double gamma = attributes.floatOr("gamma", 1.05070102214813232421875f);
            known = "alpha, gamma";
            f = [alpha, gamma](double x) { return x > 0 ? gamma * x : gamma * alpha * std::expm1(x); };
        }
        else // HardSigmoid
        {
            const double alpha = attributes.floatOr("alpha", 0.2f);
            const double beta = attributes.floatOr("beta", 0.5f);
            known = "alpha, beta";
            f = [alpha, beta](double x) { return std::clamp(alpha * x + beta, 0.0, 1.0); };
        }
    }
    attributes.finish(known);
    return {[f](const Inputs& in) { return unary(*in[0], f); }, type};
}

SingleNode compileClip(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 3);
    const ONNXElementType type = requireSame(types);
    // Before opset 11 the bounds were attributes; since then they are optional scalar inputs.
    const bool hasAttributes = attributes.has("min") || attributes.has("max");
    if (hasAttributes && types.size() > 1)
        throw std::runtime_error("it gives its bounds both as attributes and as inputs");
    const double lowest = type == ONNXElementType::Float ? -std::numeric_limits<float>::max()
                                                         : -std::numeric_limits<double>::max();
    const double min = attributes.floatOr("min", -std::numeric_limits<float>::max());
    const double max = attributes.floatOr("max", std::numeric_limits<float>::max());
    attributes.finish("min, max (before opset 11)");
    return {[hasAttributes, min, max, lowest](const Inputs& in)
            {
                double lo = hasAttributes ? min : lowest;
                double hi = hasAttributes ? max : -lowest;
                if (in.size() > 1 && in[1] != nullptr)
                    lo = scalar(*in[1], "min");
                if (in.size() > 2 && in[2] != nullptr)
                    hi = scalar(*in[2], "max");
                return unary(*in[0], [lo, hi](double x) { return std::min(std::max(x, lo), hi); });
            },
            type};
}

SingleNode compileGemm(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 2, 3);
    const ONNXElementType type = requireSame(types);
    requireFloating(types[0], "input A");
    const double alpha = attributes.floatOr("alpha", 1.0f);
    const double beta = attributes.floatOr("beta", 1.0f);
    const std::int64_t transA = attributes.intOr("transA", 0);
    const std::int64_t transB = attributes.intOr("transB", 0);
    attributes.finish("alpha, beta, transA, transB");
    for (const auto& [name, value] : {std::pair{"transA", transA}, std::pair{"transB", transB}})
        if (value != 0 && value != 1)
            throw std::runtime_error(std::string(name) + " = " + std::to_string(value) +
                                     " is neither 0 nor 1");
    return {[=](const Inputs& in)
            {
                const ONNXTensor& a = *in[0];
                const ONNXTensor& b = *in[1];
                if (a.shape.size() != 2 || b.shape.size() != 2)
                    throw std::runtime_error("A is " + shapeText(a.shape) + " and B is " +
                                             shapeText(b.shape) + "; both must be matrices");
                const std::int64_t m = transA ? a.shape[1] : a.shape[0];
                const std::int64_t k = transA ? a.shape[0] : a.shape[1];
                const std::int64_t kb = transB ? b.shape[1] : b.shape[0];
                const std::int64_t n = transB ? b.shape[0] : b.shape[1];
                if (k != kb)
                    throw std::runtime_error("A is " + shapeText(a.shape) +
                                             " (transA = " + std::to_string(transA) + ") and B is " +
                                             shapeText(b.shape) + " (transB = " + std::to_string(transB) +
                                             "): their inner sizes " + std::to_string(k) + " and " +
                                             std::to_string(kb) + " differ");
                if (m * n > 0 && k > maxProductWork / (m * n))
                    throw std::runtime_error("a product of " + shapeText({m, k}) + " by " +
                                             shapeText({k, n}) + " is too large to evaluate");
                ONNXTensor y = makeTensor(a.type, {m, n});
                Eigen::Map<const RowMatrix> ma(a.values.data(), a.shape[0], a.shape[1]);
                Eigen::Map<const RowMatrix> mb(b.values.data(), b.shape[0], b.shape[1]);
                Eigen::Map<RowMatrix> my(y.values.data(), m, n);
                if (transA && transB)
                    my.noalias() = ma.transpose() * mb.transpose();
                else if (transA)
                    my.noalias() = ma.transpose() * mb;
                else if (transB)
                    my.noalias() = ma * mb.transpose();
                else
                    my.noalias() = ma * mb;
                my *= alpha;
                if (in.size() > 2 && in[2] != nullptr && beta != 0.0)
                {
                    const ONNXTensor& c = *in[2];
                    const Shape target{m, n};
                    if (c.shape.size() > 2 || broadcastShape(c.shape, target) != target)
                        throw std::runtime_error("C is " + shapeText(c.shape) +
                                                 " and does not broadcast to " + shapeText(target));
                    const std::array<Shape, 1> strides{broadcastStrides(c.shape, 2)};
                    forEachIndex(target, strides,
                                 [&](std::int64_t o, const std::array<std::int64_t, 1>& at)
                                 { y.values[o] += beta * c.values[at[0]]; });
                }
                return rounded(std::move(y));
            },
            type};
}

SingleNode compileMatMul(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 2, 2);
    attributes.finish("");
    const ONNXElementType type = requireSame(types);
    requireFloating(types[0], "input A");
    return {[](const Inputs& in)
            {
                Shape sa = in[0]->shape;
                Shape sb = in[1]->shape;
                if (sa.empty() || sb.empty())
                    throw std::runtime_error("A is " + shapeText(sa) + " and B is " + shapeText(sb) +
                                             "; scalars have no matrix product");
                const bool vectorA = sa.size() == 1;
                const bool vectorB = sb.size() == 1;
                if (vectorA)
                    sa.insert(sa.begin(), 1);
                if (vectorB)
                    sb.push_back(1);
                const std::int64_t m = sa[sa.size() - 2];
                const std::int64_t k = sa.back();
                const std::int64_t n = sb.back();
                if (sb[sb.size() - 2] != k)
                    throw std::runtime_error("A is " + shapeText(in[0]->shape) + " and B is " +
                                             shapeText(in[1]->shape) + ": their inner sizes " +
                                             std::to_string(k) + " and " + std::to_string(sb[sb.size() - 2]) +
                                             " differ");
                const Shape batchA(sa.begin(), sa.end() - 2);
                const Shape batchB(sb.begin(), sb.end() - 2);
                const Shape batch = broadcastShape(batchA, batchB);
                Shape outShape = batch;
                outShape.push_back(m);
                outShape.push_back(n);
                ONNXTensor y = makeTensor(in[0]->type, outShape);
                const std::int64_t batches = elementCount(batch);
                if (m * n > 0 && k > maxProductWork / (m * n * std::max<std::int64_t>(batches, 1)))
                    throw std::runtime_error("a product of " + shapeText(sa) + " by " + shapeText(sb) +
                                             " is too large to evaluate");
                Shape stridesA = broadcastStrides(batchA, batch.size());
                Shape stridesB = broadcastStrides(batchB, batch.size());
                for (std::int64_t& s : stridesA)
                    s *= m * k;
                for (std::int64_t& s : stridesB)
                    s *= k * n;
                const std::array<Shape, 2> strides{stridesA, stridesB};
                forEachIndex(batch, strides,
                             [&](std::int64_t o, const std::array<std::int64_t, 2>& at)
                             {
                                 Eigen::Map<const RowMatrix> ma(in[0]->values.data() + at[0], m, k);
                                 Eigen::Map<const RowMatrix> mb(in[1]->values.data() + at[1], k, n);
                                 Eigen::Map<RowMatrix>(y.values.data() + o * m * n, m, n).noalias() = ma * mb;
                             });
                if (vectorA)
                    y.shape.erase(y.shape.end() - 2);
                if (vectorB)
                    y.shape.pop_back();
                return rounded(std::move(y));
            },
            type};
}

SingleNode compileReshape(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 2, 2);
    requireInt64(types[1], "the shape input");
    const bool allowZero = attributes.intOr("allowzero", 0) != 0;
    attributes.finish("allowzero");
    return {[allowZero](const Inputs& in)
            {
                const ONNXTensor& x = *in[0];
                Shape shape = readInts(*in[1], "the shape input");
                std::optional<std::size_t> inferred;
                std::int64_t known = 1;
                bool zeros = false;
                for (std::size_t i = 0; i < shape.size(); ++i)
                {
                    if (shape[i] == 0 && !allowZero)
                    {
                        if (i >= x.shape.size())
                            throw std::runtime_error("shape " + shapeText(shape) + " copies dimension " +
                                                     std::to_string(i) + " of an input of shape " +
                                                     shapeText(x.shape));
                        shape[i] = x.shape[i];
                    }
                    if (shape[i] == -1)
                    {
                        if (inferred)
                            throw std::runtime_error("shape " + shapeText(shape) + " has more than one -1");
                        inferred = i;
                        continue;
                    }
                    if (shape[i] < 0)
                        throw std::runtime_error("shape " + shapeText(shape) + " has a negative dimension");
                    if (shape[i] > 0 && known > maxElements / shape[i])
                        throw std::runtime_error("shape " + shapeText(shape) + " is too large");
                    if (shape[i] > 0)
                        known *= shape[i];
                    else
                        zeros = true;
                }
                const auto count = static_cast<std::int64_t>(x.values.size());
                if (inferred)
                {
                    if (zeros || count % known != 0)
                        throw std::runtime_error("an input of shape " + shapeText(x.shape) +
                                                 " cannot be reshaped to " + shapeText(shape));
                    shape[*inferred] = count / known;
                }
                else if ((zeros ? 0 : known) != count)
                    throw std::runtime_error("an input of shape " + shapeText(x.shape) +
                                             " cannot be reshaped to " + shapeText(shape));
                return reshaped(x, shape);
            },
            *types[0]};
}

SingleNode compileFlatten(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 1);
    const std::int64_t axis = attributes.intOr("axis", 1);
    attributes.finish("axis");
    return {[axis](const Inputs& in)
            {
                const ONNXTensor& x = *in[0];
                const auto rank = static_cast<std::int64_t>(x.shape.size());
                const std::int64_t a = normalisedAxis(axis, rank, "axis", true);
                std::int64_t outer = 1;
                for (std::int64_t i = 0; i < a; ++i)
                    outer *= x.shape[i];
                const std::int64_t inner =
                    outer == 0 ? 0 : static_cast<std::int64_t>(x.values.size()) / outer;
                std::int64_t innerDims = 1;
                for (std::int64_t i = a; i < rank; ++i)
                    innerDims *= x.shape[i];
                return reshaped(x, {outer, outer == 0 ? innerDims : inner});
            },
            *types[0]};
}

SingleNode compileConcat(Attributes& attributes, const InputTypes& types)
{
    if (types.empty())
        throw std::runtime_error("it has no inputs");
    for (std::size_t i = 0; i < types.size(); ++i)
        if (!types[i])
            throw std::runtime_error("input " + std::to_string(i + 1) + " is left out");
    const ONNXElementType type = requireSame(types);
    if (!attributes.has("axis"))
        throw std::runtime_error("attribute 'axis' is required");
    const std::int64_t axis = attributes.intOr("axis", 0);
    attributes.finish("axis");
    return {[axis, type](const Inputs& in)
            {
                const Shape& first = in[0]->shape;
                const auto rank = static_cast<std::int64_t>(first.size());
                const std::int64_t a = normalisedAxis(axis, rank, "axis");
                Shape out = first;
                out[a] = 0;
                for (const ONNXTensor* x : in)
                {
                    Shape masked = x->shape;
                    if (masked.size() == first.size())
                        masked[a] = first[a];
                    if (masked != first)
                        throw std::runtime_error("inputs of shapes " + shapeText(first) + " and " +
                                                 shapeText(x->shape) + " differ outside axis " +
                                                 std::to_string(a));
                    out[a] += x->shape[a];
                }
                ONNXTensor y = makeTensor(type, out);
                std::int64_t outer = 1;
                for (std::int64_t i = 0; i < a; ++i)
                    outer *= out[i];
                std::size_t at = 0;
                for (std::int64_t o = 0; o < outer; ++o)
                    for (const ONNXTensor* x : in)
                    {
                        const std::size_t block =
                            outer == 0 ? 0 : x->values.size() / static_cast<std::size_t>(outer);
                        const auto from = x->values.begin() + static_cast<std::ptrdiff_t>(o * block);
                        std::copy(from, from + static_cast<std::ptrdiff_t>(block), y.values.begin() + at);
                        at += block;
                    }
                return y;
            },
            type};
}

SingleNode compileConstant(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 0, 0);
    for (const char* unsupported : {"sparse_value", "value_string", "value_strings"})
        if (attributes.has(unsupported))
            throw std::runtime_error(std::string("attribute '") + unsupported +
                                     "' is not supported: only dense numeric constants are");
    std::vector<ONNXTensor> given;
    if (const onnx::TensorProto* value = attributes.tensor("value"))
        given.push_back(fromProto(*value));
    if (attributes.has("value_float"))
        given.push_back({ONNXElementType::Float, {}, {attributes.floatOr("value_float", 0.0f)}});
    if (auto values = attributes.floats("value_floats"))
        given.push_back({ONNXElementType::Float, {static_cast<std::int64_t>(values->size())}, *values});
    if (attributes.has("value_int"))
        given.push_back(
            {ONNXElementType::Int64, {}, {static_cast<double>(attributes.intOr("value_int", 0))}});
    if (auto values = attributes.ints("value_ints"))
        given.push_back({ONNXElementType::Int64,
                         {static_cast<std::int64_t>(values->size())},
                         std::vector<double>(values->begin(), values->end())});
    attributes.finish("value, value_float, value_floats, value_int, value_ints");
    if (given.size() != 1)
        throw std::runtime_error("it must have exactly one value attribute, not " +
                                 std::to_string(given.size()));
    ONNXTensor value = std::move(given.front());
    const ONNXElementType type = value.type;
    return {[value](const Inputs&) { return value; }, type};
}

SingleNode compileCast(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 1);
    if (!attributes.has("to"))
        throw std::runtime_error("attribute 'to' is required");
    const std::int64_t to = attributes.intOr("to", 0);
    attributes.finish("to");
    if (to != onnx::TensorProto::FLOAT && to != onnx::TensorProto::DOUBLE && to != onnx::TensorProto::INT64)
        throw std::runtime_error("to = " + dataTypeName(static_cast<int>(to)) +
                                 " is not supported (only float, double and int64 are)");
    const ONNXElementType target = elementType(static_cast<int>(to));
    return {[target](const Inputs& in)
            {
                ONNXTensor y = *in[0];
                y.type = target;
                if (target == ONNXElementType::Int64)
                    for (double& v : y.values)
                    {
                        if (!std::isfinite(v) || std::abs(v) >= 9.2e18)
                            throw std::runtime_error("the value " + number(v) + " has no int64");
                        v = std::trunc(v);
                    }
                return rounded(std::move(y));
            },
            target};
}

SingleNode compileTranspose(Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 1);
    const std::optional<Shape> perm = attributes.ints("perm");
    attributes.finish("perm");
    if (perm)
    {
        Shape sorted = *perm;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < sorted.size(); ++i)
            if (sorted[i] != static_cast<std::int64_t>(i))
                throw std::runtime_error("perm = " + shapeText(*perm) + " is not a permutation");
    }
    return {[perm](const Inputs& in)
            {
                const ONNXTensor& x = *in[0];
                const std::size_t rank = x.shape.size();
                Shape order(rank);
                std::iota(order.rbegin(), order.rend(), 0);
                if (perm)
                {
                    if (perm->size() != rank)
                        throw std::runtime_error("perm = " + shapeText(*perm) +
                                                 " does not fit an input of shape " + shapeText(x.shape));
                    order = *perm;
                }
                Shape inStrides(rank, 1);
                for (std::size_t i = rank; i-- > 1;)
                    inStrides[i - 1] = inStrides[i] * x.shape[i];
                Shape out(rank);
                std::array<Shape, 1> strides{Shape(rank)};
                for (std::size_t i = 0; i < rank; ++i)
                {
                    out[i] = x.shape[order[i]];
                    strides[0][i] = inStrides[order[i]];
                }
                ONNXTensor y = makeTensor(x.type, out);
                forEachIndex(out, strides,
                             [&](std::int64_t o, const std::array<std::int64_t, 1>& at)
                             { y.values[o] = x.values[at[0]]; });
                return y;
            },
            *types[0]};
}

/// Squeeze and Unsqueeze: the axes are an attribute before opset 13 and an optional input since.
SingleNode compileSqueeze(bool squeeze, Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 2);
    requireInt64(types.size() > 1 ? types[1] : std::nullopt, "the axes input");
    const std::optional<Shape> attribute = attributes.ints("axes");
    attributes.finish("axes (before opset 13)");
    if (attribute && types.size() > 1)
        throw std::runtime_error("it gives its axes both as an attribute and as an input");
    if (!squeeze && !attribute && (types.size() < 2 || !types[1]))
        throw std::runtime_error("it gives no axes");
    return {[squeeze, attribute](const Inputs& in)
            {
                const ONNXTensor& x = *in[0];
                std::optional<Shape> axes = attribute;
                if (in.size() > 1 && in[1] != nullptr)
                    axes = readInts(*in[1], "the axes input");
                const auto rank = static_cast<std::int64_t>(x.shape.size());
                if (!squeeze)
                {
                    const std::int64_t outRank = rank + static_cast<std::int64_t>(axes->size());
                    std::set<std::int64_t> at;
                    for (std::int64_t axis : *axes)
                        if (!at.insert(normalisedAxis(axis, outRank, "axis")).second)
                            throw std::runtime_error("axes " + shapeText(*axes) + " repeat an axis");
                    Shape out;
                    std::size_t next = 0;
                    for (std::int64_t i = 0; i < outRank; ++i)
                        out.push_back(at.count(i) ? 1 : x.shape[next++]);
                    return reshaped(x, out);
                }
                std::set<std::int64_t> at;
                if (axes)
                    for (std::int64_t axis : *axes)
                    {
                        const std::int64_t a = normalisedAxis(axis, rank, "axis");
                        if (x.shape[a] != 1)
                            throw std::runtime_error("axis " + std::to_string(axis) +
                                                     " of an input of shape " + shapeText(x.shape) +
                                                     " is not 1");
                        at.insert(a);
                    }
                Shape out;
                for (std::int64_t i = 0; i < rank; ++i)
                    if (axes ? at.count(i) == 0 : x.shape[i] != 1)
                        out.push_back(x.shape[i]);
                return reshaped(x, out);
            },
            *types[0]};
}

/// The sizes of Split's parts along an axis of `dim` elements: the sizes given, or `parts` equal
/// ones, or (num_outputs) parts of the rounded-up share with a smaller last one.
Shape splitSizes(const std::optional<Shape>& given, bool byNumOutputs, std::size_t parts, std::int64_t dim,
                 const Shape& inputShape, std::int64_t axis)
{
    const auto count = static_cast<std::int64_t>(parts);
    const std::string along = " along axis " + std::to_string(axis) + " of an input of shape " + shapeText(inputShape);
    if (given)
    {
        if (given->size() != parts)
            throw std::runtime_error("split = " + shapeText(*given) + " gives " + std::to_string(given->size()) +
                                     " sizes for " + std::to_string(parts) + " outputs");
        std::int64_t sum = 0;
        for (std::int64_t size : *given)
        {
            if (size < 0 || size > maxElements)
                throw std::runtime_error("split = " + shapeText(*given) + " has a size out of range");
            sum += size;
        }
        if (sum != dim)
            throw std::runtime_error("split = " + shapeText(*given) + " adds up to " + std::to_string(sum) +
                                     ", not to the " + std::to_string(dim) + " elements" + along);
        return *given;
    }
    if (byNumOutputs)
    {
        const std::int64_t share = (dim + count - 1) / count;
        if (share * (count - 1) > dim)
            throw std::runtime_error("the " + std::to_string(dim) + " elements" + along + " do not make " +
                                     std::to_string(count) + " parts of " + std::to_string(share));
        Shape sizes(parts, share);
        sizes.back() = dim - share * (count - 1);
        return sizes;
    }
    if (dim % count != 0)
        throw std::runtime_error("the " + std::to_string(dim) + " elements" + along + " do not split into " +
                                 std::to_string(count) + " equal parts");
    return Shape(parts, dim / count);
}

/// Split: the sizes are an attribute before opset 13 and an optional input since; opset 18 may give
/// num_outputs instead, the parts then being equal but for a smaller last one.
CompiledNode compileSplit(std::size_t outputs, Attributes& attributes, const InputTypes& types)
{
    requireInputs(types, 1, 2);
    requireInt64(types.size() > 1 ? types[1] : std::nullopt, "the split input");
    const std::int64_t axis = attributes.intOr("axis", 0);
    const std::optional<Shape> attribute = attributes.ints("split");
    const bool byNumOutputs = attributes.has("num_outputs");
    const std::int64_t numOutputs = attributes.intOr("num_outputs", 0);
    attributes.finish("axis, num_outputs (since opset 18), split (before opset 13)");
    const bool sizesInput = types.size() > 1 && types[1];
    if (attribute && sizesInput)
        throw std::runtime_error("it gives its split sizes both as an attribute and as an input");
    if (byNumOutputs && (attribute || sizesInput))
        throw std::runtime_error("it gives both num_outputs and split sizes");
    if (byNumOutputs && numOutputs != static_cast<std::int64_t>(outputs))
        throw std::runtime_error("num_outputs = " + std::to_string(numOutputs) + " but it has " +
                                 std::to_string(outputs) + " outputs");
    if (attribute && attribute->size() != outputs)
        throw std::runtime_error("split = " + shapeText(*attribute) + " gives " +
                                 std::to_string(attribute->size()) + " sizes for " + std::to_string(outputs) +
                                 " outputs");
    if (attribute)
        for (std::int64_t size : *attribute)
            if (size < 0 || size > maxElements)
                throw std::runtime_error("split = " + shapeText(*attribute) + " has a size out of range");
    const ONNXElementType type = *types[0];
    Kernel kernel = [=](const Inputs& in)
    {
        const ONNXTensor& x = *in[0];
        const auto rank = static_cast<std::int64_t>(x.shape.size());
        if (rank == 0)
            throw std::runtime_error("a scalar cannot be split");
        const std::int64_t a = normalisedAxis(axis, rank, "axis");
        std::optional<Shape> given = attribute;
        if (in.size() > 1 && in[1] != nullptr)
            given = readInts(*in[1], "the split input");
        const Shape sizes = splitSizes(given, byNumOutputs, outputs, x.shape[a], x.shape, a);
        std::int64_t inner = 1;
        for (std::int64_t i = a + 1; i < rank; ++i)
            inner *= x.shape[i];
        const std::int64_t outer = x.shape[a] * inner == 0 ? 0 : elementCount(x.shape) / (x.shape[a] * inner);
        std::vector<ONNXTensor> parts;
        std::int64_t offset = 0;
        for (std::int64_t size : sizes)
        {
            Shape shape = x.shape;
            shape[a] = size;
            ONNXTensor part = makeTensor(x.type, shape);
            auto to = part.values.begin();
            for (std::int64_t o = 0; o < outer; ++o)
            {
                const auto from = x.values.begin() + (o * x.shape[a] + offset) * inner;
                to = std::copy(from, from + size * inner, to);
            }
            offset += size;
            parts.push_back(std::move(part));
        }
        return parts;
    };
    return {kernel, std::vector<ONNXElementType>(outputs, type)};
}

using Compiler = std::function<CompiledNode(const onnx::NodeProto& node, const InputTypes&)>;
using SingleCompiler = std::function<SingleNode(const std::string& op, Attributes&, const InputTypes&)>;

/// An operator of one output, its kernel giving a list of one.
Compiler single(SingleCompiler compiler)
{
    return [compiler](const onnx::NodeProto& node, const InputTypes& types)
    {
        if (node.output_size() != 1 || node.output(0).empty())
            throw std::runtime_error("it has " + std::to_string(node.output_size()) +
                                     " outputs; the operator gives 1");
        Attributes attributes(node);
        SingleNode compiled = compiler(node.op_type(), attributes, types);
        return CompiledNode{[kernel = std::move(compiled.kernel)](const Inputs& in)
                            {
                                std::vector<ONNXTensor> outputs;
                                outputs.push_back(kernel(in));
                                return outputs;
                            },
                            {compiled.outputType}};
    };
}

const std::map<std::string, Compiler>& compilers()
{
    static const std::map<std::string, Compiler> table = []
    {
        std::map<std::string, Compiler> t;
        for (const char* op : {"Add", "Sub", "Mul", "Div"})
            t[op] = single(compileBinary);
        for (const char* op : {"Neg", "Relu", "Identity", "Tanh", "Sigmoid", "Softplus", "LeakyRelu", "Elu",
                               "Selu", "HardSigmoid"})
            t[op] = single(compileUnary);
        const auto plain = [](SingleNode (*compiler)(Attributes&, const InputTypes&))
        {
            return single([compiler](const std::string&, Attributes& a, const InputTypes& i)
                          { return compiler(a, i); });
        };
        t["Clip"] = plain(compileClip);
        t["Gemm"] = plain(compileGemm);
        t["MatMul"] = plain(compileMatMul);
        t["Reshape"] = plain(compileReshape);
        t["Flatten"] = plain(compileFlatten);
        t["Concat"] = plain(compileConcat);
        t["Constant"] = plain(compileConstant);
        t["Cast"] = plain(compileCast);
        t["Transpose"] = plain(compileTranspose);
        t["Squeeze"] = single([](const std::string&, Attributes& a, const InputTypes& i)
                              { return compileSqueeze(true, a, i); });
        t["Unsqueeze"] = single([](const std::string&, Attributes& a, const InputTypes& i)
                                { return compileSqueeze(false, a, i); });
        t["Split"] = [](const onnx::NodeProto& node, const InputTypes& types)
        {
            if (node.output_size() == 0)
                throw std::runtime_error("it has no outputs");
            for (int i = 0; i < node.output_size(); ++i)
                if (node.output(i).empty())
                    throw std::runtime_error("output " + std::to_string(i + 1) + " is left out");
            Attributes attributes(node);
            return compileSplit(static_cast<std::size_t>(node.output_size()), attributes, types);
        };
        return t;
    }();
    return table;
}
} // namespace

CompiledNode compile(const onnx::NodeProto& node, const InputTypes& inputTypes)
{
    const auto found = compilers().find(node.op_type());
    if (found == compilers().end())
        throw std::runtime_error("the operator is not supported");
    return found->second(node, inputTypes);
}

const std::vector<std::string>& supportedOperators()
{
    static const std::vector<std::string> names = []
    {
        std::vector<std::string> n;
        for (const auto& [name, compiler] : compilers())
            n.push_back(name);
        return n;
    }();
    return names;
}

ONNXElementType elementType(int dataType)
{
    switch (dataType)
    {
    case onnx::TensorProto::FLOAT:
        return ONNXElementType::Float;
    case onnx::TensorProto::DOUBLE:
        return ONNXElementType::Double;
    case onnx::TensorProto::INT64:
        return ONNXElementType::Int64;
    default:
        throw std::runtime_error("element type " + dataTypeName(dataType) +
                                 " is not supported (only float, double and int64 are)");
    }
}

std::int64_t elementCount(const Shape& shape)
{
    // The product of the non-zero dimensions is bounded too, so that no product of some of them
    // (a flattened size, a matrix's rows times columns) overflows, even in a tensor of no elements.
    std::int64_t product = 1;
    bool empty = false;
    for (std::int64_t d : shape)
    {
        if (d < 0)
            throw std::runtime_error("the shape " + shapeText(shape) + " has a negative dimension");
        if (d == 0)
        {
            empty = true;
            continue;
        }
        if (product > maxElements / d)
            throw std::runtime_error("the shape " + shapeText(shape) + " has more than " +
                                     std::to_string(maxElements) + " elements");
        product *= d;
    }
    return empty ? 0 : product;
}

std::string shapeText(const Shape& shape)
{
    std::string text = "{";
    for (std::size_t i = 0; i < shape.size(); ++i)
        text += (i ? ", " : "") + std::to_string(shape[i]);
    return text + "}";
}

ONNXTensor fromProto(const onnx::TensorProto& proto)
{
    if (proto.data_location() == onnx::TensorProto::EXTERNAL)
        throw std::runtime_error("its data is stored outside the model, which is not supported");
    if (proto.has_segment())
        throw std::runtime_error("it is a segment of a tensor, which is not supported");
    ONNXTensor tensor;
    tensor.type = elementType(proto.data_type());
    tensor.shape.assign(proto.dims().begin(), proto.dims().end());
    const std::int64_t count = elementCount(tensor.shape);
    const std::size_t size = static_cast<std::size_t>(count);
    static_assert(std::endian::native == std::endian::little, "raw_data is read as little-endian");
    if (proto.has_raw_data())
    {
        const std::string& raw = proto.raw_data();
        const std::size_t width = tensor.type == ONNXElementType::Float ? 4 : 8;
        if (raw.size() != size * width)
            throw std::runtime_error("it holds " + std::to_string(raw.size()) +
                                     " bytes of data where its shape " + shapeText(tensor.shape) + " of " +
                                     toString(tensor.type) + " needs " + std::to_string(size * width));
        tensor.values.resize(size);
        for (std::size_t i = 0; i < size; ++i)
        {
            const char* at = raw.data() + i * width;
            switch (tensor.type)
            {
            case ONNXElementType::Float:
            {
                float v;
                std::memcpy(&v, at, 4);
                tensor.values[i] = v;
                break;
            }
            case ONNXElementType::Double:
                std::memcpy(&tensor.values[i], at, 8);
                break;
            case ONNXElementType::Int64:
            {
                std::int64_t v;
                std::memcpy(&v, at, 8);
                tensor.values[i] = static_cast<double>(v);
                break;
            }
            }
        }
        return tensor;
    }
    std::size_t given = 0;
    switch (tensor.type)
    {
    case ONNXElementType::Float:
        given = static_cast<std::size_t>(proto.float_data_size());
        if (given == size)
            tensor.values.assign(proto.float_data().begin(), proto.float_data().end());
        break;
    case ONNXElementType::Double:
        given = static_cast<std::size_t>(proto.double_data_size());
        if (given == size)
            tensor.values.assign(proto.double_data().begin(), proto.double_data().end());
        break;
    case ONNXElementType::Int64:
        given = static_cast<std::size_t>(proto.int64_data_size());
        if (given == size)
            for (std::int64_t v : proto.int64_data())
                tensor.values.push_back(static_cast<double>(v));
        break;
    }
    if (given != size)
        throw std::runtime_error("it holds " + std::to_string(given) + " values where its shape " +
                                 shapeText(tensor.shape) + " needs " + std::to_string(size));
    return tensor;
}
} // namespace AISystem::ONNXOperators
