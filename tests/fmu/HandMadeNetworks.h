#pragma once
// Test support: small networks made by hand (seeded weights) as exported FMUs, and their outputs
// computed the plain way, layer after layer without any folding.
#include "fmu/NetworkDescription.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace ConfluxFmuTest
{
inline ConfluxFmu::NetworkDescription handMadeNetwork(std::uint64_t seed, bool singlePrecision,
                                                      std::vector<int> hidden = {6, 5})
{
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> weight(-1.0, 1.0);
    ConfluxFmu::NetworkDescription d;
    d.token = "{00000000-0000-0000-0000-00000000000" + std::to_string(seed % 10) + "}";
    d.singlePrecision = singlePrecision;
    d.inputs = {{"Server.Inlet Temperature", 15.0, 35.0, 25.0, 1.0, 0.0, 25.0, 5.0},
                {"Server.Power", 100.0, 900.0, 500.0, 1.0, 0.0, 500.0, 200.0},
                {"Server.Fan Speed", 0.2, 1.0, 0.6, 100.0, 0.0, 60.0, 20.0}};
    d.outputs = {{"Server.Exhaust Temperature", 30.0, 6.0, 1.0, 0.0}, {"Server.Air Flow", 0.05, 0.01, 1.0, 0.0}};
    int width = 3;
    hidden.push_back(2);
    for (size_t l = 0; l < hidden.size(); ++l)
    {
        ConfluxFmu::NetworkLayer layer;
        layer.inputs = width;
        layer.outputs = hidden[l];
        layer.activation = l + 1 < hidden.size() ? ConfluxFmu::Activation::Tanh : ConfluxFmu::Activation::Linear;
        for (int k = 0; k < layer.inputs * layer.outputs; ++k)
            layer.weights.push_back(weight(random));
        for (int k = 0; k < layer.outputs; ++k)
            layer.bias.push_back(0.1 * weight(random));
        d.layers.push_back(layer);
        width = layer.outputs;
    }
    return d;
}

/// The server's air stream: heat in from the power input, air in at the inlet temperature with the
/// output flow, out at the exhaust temperature.
inline ConfluxFmu::Balance airBalance(bool conserve)
{
    using V = ConfluxFmu::BalanceValue;
    ConfluxFmu::Balance balance;
    balance.conserve = conserve;
    balance.heatSources.push_back({V::Kind::Input, 1, 1.0, 0.0});
    ConfluxFmu::BalanceStream stream;
    stream.fluid.density = 1.19;
    stream.fluid.specificHeat = {{0.0, 1006.0}};
    stream.inflows.push_back({0.0, {V::Kind::Input, 0, 1.0, 0.0}, V{V::Kind::Output, 1, 1.0, 0.0}});
    stream.outflows.push_back({0.0, {V::Kind::Output, 0, 1.0, 0.0}, std::nullopt});
    balance.streams.push_back(stream);
    return balance;
}

/// Outputs (and imbalances) the plain way, in double or, for a float network, with each layer
/// rounded to float.
inline std::vector<double> referenceOutputs(const ConfluxFmu::NetworkDescription& d, const std::vector<double>& x)
{
    std::vector<double> model(x.size());
    std::vector<double> values(x.size());
    for (size_t i = 0; i < x.size(); ++i)
    {
        model[i] = d.inputs[i].unitFactor * x[i] + d.inputs[i].unitOffset;
        values[i] = (model[i] - d.inputs[i].normOffset) / d.inputs[i].normScale;
    }
    for (const auto& layer : d.layers)
    {
        std::vector<double> next(static_cast<size_t>(layer.outputs));
        for (int o = 0; o < layer.outputs; ++o)
        {
            double sum = layer.bias[static_cast<size_t>(o)];
            for (int i = 0; i < layer.inputs; ++i)
                sum += layer.weights[static_cast<size_t>(o * layer.inputs + i)] * values[static_cast<size_t>(i)];
            next[static_cast<size_t>(o)] = layer.activation == ConfluxFmu::Activation::Tanh ? std::tanh(sum) : sum;
        }
        values = next;
    }
    std::vector<double> y(values.size());
    for (size_t o = 0; o < values.size(); ++o)
        y[o] = values[o] * d.outputs[o].normScale + d.outputs[o].normOffset;
    std::vector<double> result;
    for (size_t o = 0; o < y.size(); ++o)
        result.push_back(d.outputs[o].unitFactor * y[o] + d.outputs[o].unitOffset);
    if (d.balance)
    {
        // Only the air balance above: P + ṁ·cp·(T_in - T_out), ṁ = ρ·|V|, mass balanced by sharing.
        const double mass = 1.19 * std::abs(y[1]);
        result.push_back(model[1] + mass * 1006.0 * model[0] - mass * 1006.0 * y[0]);
        result.push_back(0.0);
    }
    return result;
}

/// An unpacked FMU folder: resources/network.txt and the runtime under binaries/PLATFORM/ID.so.
inline std::filesystem::path makeFmuFolder(const std::filesystem::path& root, const ConfluxFmu::NetworkDescription& d,
                                           const std::string& platform, const std::string& identifier)
{
    namespace fs = std::filesystem;
    fs::create_directories(root / "resources");
    fs::create_directories(root / "binaries" / platform);
    {
        std::FILE* file = std::fopen((root / "resources" / "network.txt").c_str(), "wb");
        if (!file)
            throw std::runtime_error("cannot write the network file");
        const std::string text = ConfluxFmu::writeNetworkDescription(d);
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    const auto binary = root / "binaries" / platform / (identifier + ".so");
    fs::copy_file(CONFLUX_FMU_RUNTIME, binary, fs::copy_options::overwrite_existing);
    return binary;
}
} // namespace ConfluxFmuTest
