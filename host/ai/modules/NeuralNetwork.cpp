#include "host/ai/modules/NeuralNetwork.h"

#include "host/ai/physics/PhysicalModelBalance.h"

#include <caffe2/serialize/inline_container.h>
#include <torch/script.h>
#include <torch/torch.h>

#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace AISystem::detail
{
namespace
{
const char* const NetworkFile = "conflux_network.txt";
const char* const PhysicalModelFile = "conflux_physical_model.txt";
const char* const FormatLine = "conflux-neural-network 1";
// Larger layers than this are surely a mistake in the sizes, not a network anyone trains here.
constexpr size_t MaximumLayerSize = 1u << 16;
// Nor does anyone train a tanh network deeper than this; the bound also keeps model data from
// asking for code of any length.
constexpr size_t MaximumHiddenLayers = 100;

std::vector<int64_t> layerSizes(const NeuralNetworkLayout& layout)
{
    std::vector<int64_t> sizes{layout.inputs};
    for (size_t size : layout.hiddenLayers)
        sizes.push_back(static_cast<int64_t>(size));
    sizes.push_back(layout.outputs);
    return sizes;
}

torch::ScalarType scalarTypeOf(TensorElementType type)
{
    switch (type)
    {
    case TensorElementType::Float:
        return torch::kFloat32;
    case TensorElementType::Double:
        return torch::kFloat64;
    case TensorElementType::None:
        break;
    }
    throw std::invalid_argument("A neural network needs the element type float or double");
}

std::string shapeText(const torch::Tensor& tensor)
{
    std::string text = "{";
    for (int64_t d = 0; d < tensor.dim(); ++d)
        text += (d ? ", " : "") + std::to_string(tensor.size(d));
    return text + "}";
}

[[noreturn]] void badArchive(const std::string& what)
{
    throw std::runtime_error("NeuralNetwork model data: " + what);
}

std::string firstLine(const std::string& text)
{
    const auto end = text.find('\n');
    return end == std::string::npos ? text : text.substr(0, end);
}

std::string layoutText(const NeuralNetworkLayout& layout, bool scaled)
{
    std::ostringstream out;
    out << FormatLine << "\ninputs " << layout.inputs << "\noutputs " << layout.outputs << "\nhidden";
    for (size_t size : layout.hiddenLayers)
        out << ' ' << size;
    out << "\nelement " << toString(layout.elementType) << "\ntype " << static_cast<int>(layout.networkType)
        << "\nscaled " << (scaled ? 1 : 0) << "\nactivation tanh\n";
    return out.str();
}

NeuralNetworkLayout parseLayout(const std::string& text, bool& scaled)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != FormatLine)
        badArchive(std::string(NetworkFile) + " does not start with \"" + FormatLine + "\"");
    NeuralNetworkLayout layout;
    bool seen[6] = {};
    while (std::getline(in, line))
    {
        if (line.empty())
            continue;
        std::istringstream words(line);
        std::string key;
        words >> key;
        const auto fail = [&line](const std::string& what)
        { badArchive(std::string(NetworkFile) + " line \"" + line + "\": " + what); };
        long long number = 0;
        if (key == "inputs" || key == "outputs")
        {
            if (!(words >> number) || number < 1 || number > static_cast<long long>(MaximumLayerSize))
                fail("a count between 1 and " + std::to_string(MaximumLayerSize) + " expected");
            (key == "inputs" ? layout.inputs : layout.outputs) = static_cast<int>(number);
            seen[key == "inputs" ? 0 : 1] = true;
        }
        else if (key == "hidden")
        {
            while (words >> number)
            {
                if (number < 1 || number > static_cast<long long>(MaximumLayerSize))
                    fail("layer size " + std::to_string(number) + " is out of range");
                layout.hiddenLayers.push_back(static_cast<size_t>(number));
            }
            if (!words.eof())
                fail("layer sizes must be integers");
            seen[2] = true;
        }
        else if (key == "element")
        {
            std::string name;
            words >> name;
            if (name == "float")
                layout.elementType = TensorElementType::Float;
            else if (name == "double")
                layout.elementType = TensorElementType::Double;
            else
                fail("element type float or double expected");
            seen[3] = true;
        }
        else if (key == "type")
        {
            if (!(words >> number) || number < 1 || number > 3)
                fail("network type 1, 2 or 3 expected");
            layout.networkType = static_cast<NeuralNetworkType>(number);
            seen[4] = true;
        }
        else if (key == "scaled")
        {
            if (!(words >> number) || (number != 0 && number != 1))
                fail("0 or 1 expected");
            scaled = number == 1;
            seen[5] = true;
        }
        else if (key == "activation")
        {
            std::string name;
            words >> name;
            if (name != "tanh")
                fail("unknown activation \"" + name + "\"");
        }
        else
            fail("unknown entry \"" + key + "\"");
    }
    const char* names[6] = {"inputs", "outputs", "hidden", "element", "type", "scaled"};
    for (int i = 0; i < 6; ++i)
        if (!seen[i])
            badArchive(std::string(NetworkFile) + " has no \"" + names[i] + "\" entry");
    return layout;
}

// The module a network is written as: its tensors, and TorchScript code that evaluates them.
torch::jit::Module scriptModule(const std::vector<torch::Tensor>& weights,
                                const std::vector<torch::Tensor>& biases,
                                const std::array<torch::Tensor, 4>& scaling)
{
    torch::jit::Module module("ConfluxNeuralNetwork");
    std::ostringstream source;
    source << "def forward(self, x):\n    h = (x - self.input_offset) / self.input_scale\n";
    for (size_t i = 0; i < weights.size(); ++i)
    {
        const std::string index = std::to_string(i);
        module.register_parameter("w" + index, weights[i].detach().clone(), false);
        module.register_parameter("b" + index, biases[i].detach().clone(), false);
        const std::string layer = "torch.addmm(self.b" + index + ", h, self.w" + index + ".t())";
        if (i + 1 < weights.size())
            source << "    h = torch.tanh(" << layer << ")\n";
        else
            source << "    return " << layer << " * self.output_scale + self.output_offset\n";
    }
    const char* const names[4] = {"input_offset", "input_scale", "output_offset", "output_scale"};
    for (size_t i = 0; i < scaling.size(); ++i)
        module.register_buffer(names[i], scaling[i].detach().clone());
    module.define(source.str());
    return module;
}

// The records of an archive that libtorch compiles or unpickles as code when it loads one: all
// but the pickled tensors (data.pkl, data/) and our own extra files.
std::map<std::string, std::string> codeRecords(caffe2::serialize::PyTorchStreamReader& reader)
{
    std::map<std::string, std::string> records;
    for (const std::string& name : reader.getAllRecords())
    {
        if (name == "data.pkl" || name.rfind("data/", 0) == 0 || name.rfind("extra/", 0) == 0)
            continue;
        const auto [data, size] = reader.getRecord(name);
        records.emplace(name, std::string(static_cast<const char*>(data.get()), size));
    }
    return records;
}

// The code records this class writes for a network of that many layers. libtorch's TorchScript
// compiler does not survive malformed source, so model bytes may hold no other code than this.
const std::map<std::string, std::string>& expectedCodeRecords(size_t layers)
{
    static std::mutex mutex;
    static std::map<size_t, std::map<std::string, std::string>> cache; // at most one per depth
    std::lock_guard lock(mutex);
    auto found = cache.find(layers);
    if (found != cache.end())
        return found->second;
    const auto tensor = [] { return torch::zeros({1, 1}); };
    std::vector<torch::Tensor> weights, biases;
    for (size_t i = 0; i < layers; ++i)
    {
        weights.push_back(tensor());
        biases.push_back(torch::zeros({1}));
    }
    std::ostringstream out;
    scriptModule(weights, biases, {torch::zeros({1}), torch::ones({1}), torch::zeros({1}), torch::ones({1})})
        .save(out);
    std::istringstream in(out.str());
    caffe2::serialize::PyTorchStreamReader reader(&in);
    return cache.emplace(layers, codeRecords(reader)).first->second;
}

std::string recordText(caffe2::serialize::PyTorchStreamReader& reader, const std::string& name)
{
    if (!reader.hasRecord(name))
        return {};
    const auto [data, size] = reader.getRecord(name);
    return std::string(static_cast<const char*>(data.get()), size);
}

torch::Tensor readTensor(const torch::jit::Module& module, const std::string& name, torch::ScalarType type,
                         const std::vector<int64_t>& shape)
{
    if (!module.hasattr(name))
        badArchive("the archive has no tensor \"" + name + "\"");
    const auto value = module.attr(name);
    if (!value.isTensor())
        badArchive("\"" + name + "\" is not a tensor");
    auto tensor = value.toTensor().detach().clone().contiguous();
    if (tensor.sizes().vec() != shape)
        badArchive("tensor \"" + name + "\" has the shape " + shapeText(tensor) + ", the layout needs " +
                   shapeText(torch::empty(shape)));
    if (tensor.scalar_type() != type)
        badArchive("tensor \"" + name + "\" has the element type " +
                   std::string(c10::toString(tensor.scalar_type())) + ", the layout says " +
                   c10::toString(type));
    if (!torch::isfinite(tensor).all().item<bool>())
        badArchive("tensor \"" + name + "\" holds non-finite values");
    return tensor;
}
} // namespace

void NeuralNetworkLayout::validate() const
{
    if (inputs < 1 || outputs < 1)
        throw std::invalid_argument("A neural network needs at least one input and one output, not " +
                                    std::to_string(inputs) + " inputs and " + std::to_string(outputs) +
                                    " outputs");
    if (hiddenLayers.size() > MaximumHiddenLayers)
        throw std::invalid_argument("A neural network has at most " + std::to_string(MaximumHiddenLayers) +
                                    " hidden layers, not " + std::to_string(hiddenLayers.size()));
    for (size_t i = 0; i < hiddenLayers.size(); ++i)
        if (hiddenLayers[i] < 1 || hiddenLayers[i] > MaximumLayerSize)
            throw std::invalid_argument("Hidden layer " + std::to_string(i + 1) + " has " +
                                        std::to_string(hiddenLayers[i]) + " nodes; it needs 1 to " +
                                        std::to_string(MaximumLayerSize));
    scalarTypeOf(elementType);
    const int type = static_cast<int>(networkType);
    if (type < static_cast<int>(NeuralNetworkType::Generic) ||
        type > static_cast<int>(NeuralNetworkType::PhysicsConserved))
        throw std::invalid_argument("Unknown neural network type " + std::to_string(type));
    switch (networkType)
    {
    case NeuralNetworkType::Generic:
        break;
    case NeuralNetworkType::PhysicsInformed:
        if (!physicalModel)
            throw std::invalid_argument("A physics-informed network needs a physical model");
        break;
    case NeuralNetworkType::PhysicsConserved:
        if (!physicalModel)
            throw std::invalid_argument("A physics-conserved network needs a physical model");
        if (!physicalModel->hasOutputTemperature())
            throw std::invalid_argument(
                "A physics-conserved network needs a physical model with an output temperature to correct");
        break;
    }
    if (physicalModel)
        physicalModel->validate(inputs, outputs);
}

NeuralNetwork::NeuralNetwork(NeuralNetworkLayout layout, std::uint64_t seed) : m_layout(std::move(layout))
{
    m_layout.validate();
    const auto type = scalarType();
    std::mt19937_64 generator(seed);
    const auto sizes = layerSizes(m_layout);
    for (size_t layer = 0; layer + 1 < sizes.size(); ++layer)
    {
        const int64_t in = sizes[layer];
        const int64_t out = sizes[layer + 1];
        // Glorot-uniform weights suit tanh layers; biases start at zero.
        const double bound = std::sqrt(6.0 / static_cast<double>(in + out));
        std::vector<double> values(static_cast<size_t>(in * out));
        for (double& value : values)
            value = (2.0 * static_cast<double>(generator() >> 11) * 0x1.0p-53 - 1.0) * bound;
        m_weights.push_back(torch::from_blob(values.data(), {out, in}, torch::kFloat64).to(type).clone());
        m_biases.push_back(torch::zeros({out}, torch::TensorOptions().dtype(type)));
    }
    for (auto& tensor : m_weights)
        tensor.set_requires_grad(true);
    for (auto& tensor : m_biases)
        tensor.set_requires_grad(true);
    const auto options = torch::TensorOptions().dtype(type);
    m_inputOffset = torch::zeros({m_layout.inputs}, options);
    m_inputScale = torch::ones({m_layout.inputs}, options);
    m_outputOffset = torch::zeros({m_layout.outputs}, options);
    m_outputScale = torch::ones({m_layout.outputs}, options);
}

torch::ScalarType NeuralNetwork::scalarType() const
{
    return scalarTypeOf(m_layout.elementType);
}

std::vector<torch::Tensor> NeuralNetwork::parameters() const
{
    std::vector<torch::Tensor> all;
    for (size_t i = 0; i < m_weights.size(); ++i)
    {
        all.push_back(m_weights[i]);
        all.push_back(m_biases[i]);
    }
    return all;
}

void NeuralNetwork::setScaling(const torch::Tensor& inputs, const torch::Tensor& outputs)
{
    // A column that does not vary (or only by rounding) keeps scale 1, so it cannot blow up.
    const auto scaling = [](const torch::Tensor& data, torch::Tensor& offset, torch::Tensor& scale)
    {
        offset = data.mean(0).detach();
        const auto spread = data.std(0, /*unbiased=*/false).detach();
        const auto floor = 1e-9 * torch::clamp_min(offset.abs(), 1.0);
        scale = torch::where(spread > floor, spread, torch::ones_like(spread));
    };
    torch::NoGradGuard noGrad;
    scaling(inputs, m_inputOffset, m_inputScale);
    scaling(outputs, m_outputOffset, m_outputScale);
    m_hasScaling = true;
}

void NeuralNetwork::foldTransforms(const std::vector<std::pair<double, double>>& inputs,
                                   const std::vector<std::pair<double, double>>& outputs)
{
    const auto column = [this](const std::vector<std::pair<double, double>>& maps, bool factors)
    {
        std::vector<double> values;
        for (const auto& [factor, offset] : maps)
            values.push_back(factors ? factor : offset);
        return torch::tensor(values, torch::TensorOptions().dtype(torch::kFloat64)).to(scalarType());
    };
    torch::NoGradGuard noGrad;
    // x' = a x + b feeds (x' - offset) / scale = (x - (offset - b) / a) / (scale / a);
    // y = A y' + B of y' = z scale + offset is z (A scale) + (A offset + B).
    m_inputOffset = (m_inputOffset - column(inputs, false)) / column(inputs, true);
    m_inputScale = m_inputScale / column(inputs, true);
    m_outputOffset = m_outputOffset * column(outputs, true) + column(outputs, false);
    m_outputScale = m_outputScale * column(outputs, true);
    m_hasScaling = true;
}

torch::Tensor NeuralNetwork::forward(const torch::Tensor& inputs) const
{
    auto hidden = (inputs - m_inputOffset) / m_inputScale;
    for (size_t i = 0; i + 1 < m_weights.size(); ++i)
        hidden = torch::tanh(torch::addmm(m_biases[i], hidden, m_weights[i].t()));
    auto outputs =
        torch::addmm(m_biases.back(), hidden, m_weights.back().t()) * m_outputScale + m_outputOffset;
    switch (m_layout.networkType)
    {
    case NeuralNetworkType::Generic:
    case NeuralNetworkType::PhysicsInformed:
        return outputs;
    case NeuralNetworkType::PhysicsConserved:
        return conserveEnergy(*m_layout.physicalModel, inputs, outputs);
    }
    return outputs;
}

DenseNetwork NeuralNetwork::toDense(const DenseKernel* kernel) const
{
    const auto values = [](const torch::Tensor& tensor)
    {
        const auto doubles = tensor.detach().to(torch::kFloat64).contiguous();
        return std::vector<double>(doubles.data_ptr<double>(), doubles.data_ptr<double>() + doubles.numel());
    };
    std::vector<DenseNetwork::Layer> layers;
    for (size_t i = 0; i < m_weights.size(); ++i)
        layers.push_back({static_cast<int>(m_weights[i].size(1)), static_cast<int>(m_weights[i].size(0)),
                          values(m_weights[i]), values(m_biases[i])});
    return DenseNetwork(layers, values(m_inputOffset), values(m_inputScale), values(m_outputOffset),
                        values(m_outputScale), m_layout.elementType, kernel);
}

NeuralNetwork NeuralNetwork::snapshot() const
{
    NeuralNetwork copy;
    copy.m_layout = m_layout;
    for (const auto& tensor : m_weights)
        copy.m_weights.push_back(tensor.detach().clone());
    for (const auto& tensor : m_biases)
        copy.m_biases.push_back(tensor.detach().clone());
    copy.m_inputOffset = m_inputOffset.detach().clone();
    copy.m_inputScale = m_inputScale.detach().clone();
    copy.m_outputOffset = m_outputOffset.detach().clone();
    copy.m_outputScale = m_outputScale.detach().clone();
    copy.m_hasScaling = m_hasScaling;
    return copy;
}

void NeuralNetwork::restore(const NeuralNetwork& other)
{
    torch::NoGradGuard noGrad;
    for (size_t i = 0; i < m_weights.size(); ++i)
    {
        m_weights[i].copy_(other.m_weights[i]);
        m_biases[i].copy_(other.m_biases[i]);
    }
    m_inputOffset = other.m_inputOffset.clone();
    m_inputScale = other.m_inputScale.clone();
    m_outputOffset = other.m_outputOffset.clone();
    m_outputScale = other.m_outputScale.clone();
    m_hasScaling = other.m_hasScaling;
}

Utilities::bytearray NeuralNetwork::toByteArray() const
{
    auto module =
        scriptModule(m_weights, m_biases, {m_inputOffset, m_inputScale, m_outputOffset, m_outputScale});
    torch::jit::ExtraFilesMap extra{{NetworkFile, layoutText(m_layout, m_hasScaling)}};
    if (m_layout.physicalModel)
        extra[PhysicalModelFile] = m_layout.physicalModel->toText();
    std::ostringstream out;
    module.save(out, extra);
    const std::string bytes = out.str();
    return Utilities::bytearray(bytes.begin(), bytes.end());
}

NeuralNetwork NeuralNetwork::fromByteArray(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        badArchive("the data is empty");
    const std::string archive(bytes.begin(), bytes.end());
    std::string networkText;
    std::string physicalModelText;
    std::map<std::string, std::string> code;
    // The archive is read record by record first: its code must be checked before libtorch
    // compiles it.
    const auto unreadable = [](const std::string& why)
    { badArchive("not a readable TorchScript archive (" + firstLine(why) + ")"); };
    try
    {
        std::istringstream in(archive);
        caffe2::serialize::PyTorchStreamReader reader(&in);
        networkText = recordText(reader, std::string("extra/") + NetworkFile);
        physicalModelText = recordText(reader, std::string("extra/") + PhysicalModelFile);
        code = codeRecords(reader);
    }
    catch (const c10::Error& e)
    {
        unreadable(e.what_without_backtrace());
    }
    catch (const std::exception& e)
    {
        unreadable(e.what());
    }
    if (networkText.empty())
        badArchive(std::string("the TorchScript archive has no ") + NetworkFile +
                   ": it was not written as a neural network");

    NeuralNetwork network;
    bool scaled = false;
    network.m_layout = parseLayout(networkText, scaled);
    network.m_hasScaling = scaled;
    try
    {
        if (!physicalModelText.empty())
            network.m_layout.physicalModel = PhysicalModel::fromText(physicalModelText);
        network.m_layout.validate();
    }
    catch (const std::exception& e)
    {
        badArchive(e.what());
    }
    const auto type = network.scalarType();
    const auto sizes = layerSizes(network.m_layout);
    if (code != expectedCodeRecords(sizes.size() - 1))
        badArchive("the TorchScript code is not the code written for a network of " +
                   std::to_string(sizes.size() - 1) + " layers");
    torch::jit::Module module;
    try
    {
        std::istringstream in(archive);
        module = torch::jit::load(in, torch::kCPU);
    }
    catch (const c10::Error& e)
    {
        unreadable(e.what_without_backtrace());
    }
    catch (const std::exception& e)
    {
        unreadable(e.what());
    }
    try
    {
        for (size_t i = 0; i + 1 < sizes.size(); ++i)
        {
            const std::string index = std::to_string(i);
            network.m_weights.push_back(readTensor(module, "w" + index, type, {sizes[i + 1], sizes[i]}));
            network.m_biases.push_back(readTensor(module, "b" + index, type, {sizes[i + 1]}));
        }
        network.m_inputOffset = readTensor(module, "input_offset", type, {sizes.front()});
        network.m_inputScale = readTensor(module, "input_scale", type, {sizes.front()});
        network.m_outputOffset = readTensor(module, "output_offset", type, {sizes.back()});
        network.m_outputScale = readTensor(module, "output_scale", type, {sizes.back()});
    }
    catch (const c10::Error& e)
    {
        badArchive(firstLine(e.what_without_backtrace()));
    }
    if (!(network.m_inputScale > 0).all().item<bool>() || !(network.m_outputScale > 0).all().item<bool>())
        badArchive("a scale is not positive");
    return network;
}
} // namespace AISystem::detail
