#include "host/ai/modules/NeuralNetworkModule.h"
#include "host/ai/training/NeuralNetworkTrainer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

using namespace AISystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace
{
template <typename F> std::string messageOf(F&& f)
{
    try
    {
        f();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no exception";
}

PhysicalModel waterLoop()
{
    PhysicalModelStream water(
        PhysicalModelFluid(PhysicalModelFluidDensityConstant(998.0),
                           PhysicalModelFluidSpecificHeatTemperatureCurve({{0.0, 4217.0}, {40.0, 4179.0}})));
    water.addInflow(0.0, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
    water.addOutflow(0.0, PhysicalModelValue::output(0), PhysicalModelValue::output(1, -1.0));
    PhysicalModel model;
    model.addHeatSource(PhysicalModelValue::input(0));
    model.addStream(water);
    return model;
}

// Inputs power, inlet temperature, flow; outputs outlet temperature and flow.
Example waterExample()
{
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> outputs;
    for (int i = 0; i < 40; ++i)
    {
        const double power = 1000.0 + 100.0 * i;
        const double inlet = 15.0 + 0.25 * i;
        const double flow = 0.0005 + 0.00001 * i;
        inputs.push_back({power, inlet, flow});
        outputs.push_back({inlet + power / (998.0 * flow * 4200.0), flow});
    }
    return Example(Tensor::fromRows(inputs), Tensor::fromRows(outputs), 40);
}

std::unique_ptr<NeuralNetworkTrainer> trainedWaterNetwork(TensorElementType type,
                                                          NeuralNetworkType networkType)
{
    NeuralNetworkTrainer::setManualSeed(99);
    auto network = std::make_unique<NeuralNetworkTrainer>(3, 2, std::vector<size_t>{6, 5}, type, waterLoop(),
                                                          networkType);
    network->train(waterExample(), Example(), 0.0, 40, 0.01, std::nullopt, nullptr);
    return network;
}
} // namespace

TEST(NeuralNetworkModule, SavedNetworkLoadsWithTheSameOutputs)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const Tensor inputs =
        Tensor::fromRows({{1500.0, 18.0, 0.0006}, {4000.0, 24.0, 0.0009}, {0.0, 20.0, 0.001}});
    for (const auto type : {TensorElementType::Float, TensorElementType::Double})
        for (const auto networkType : {NeuralNetworkType::Generic, NeuralNetworkType::PhysicsConserved})
        {
            SCOPED_TRACE(std::string(toString(type)) + " network of type " +
                         std::to_string(static_cast<int>(networkType)));
            const auto network = trainedWaterNetwork(type, networkType);
            const auto bytes = network->toByteArray();
            const Module loaded = Module::fromByteArray(ModuleType::NeuralNetwork, bytes);
            EXPECT_EQ(loaded.getType(), ModuleType::NeuralNetwork);
            EXPECT_EQ(loaded.eval(inputs), network->eval(inputs));
            const Tensor floatInputs = inputs.toElementType(TensorElementType::Float);
            EXPECT_EQ(loaded.eval(floatInputs).getElementType(), TensorElementType::Float);
            EXPECT_EQ(loaded.eval(floatInputs), network->eval(floatInputs));

            // The physical model travels with the network.
            ASSERT_TRUE(loaded.canCalcImbalanceResults());
            const Tensor outputs = Tensor::fromRows({{25.0, 0.0006}, {30.0, 0.0009}, {20.0, 0.001}});
            EXPECT_EQ(loaded.calcImbalanceResults(inputs, outputs),
                      network->calcImbalanceResults(inputs, outputs));

            // A file holds the same bytes.
            const std::string path = directory.filePath("network.ai").toStdString();
            ASSERT_TRUE(network->toFile(path));
            std::ifstream file(path, std::ios::binary);
            const Utilities::bytearray fromFile{std::istreambuf_iterator<char>(file),
                                                std::istreambuf_iterator<char>()};
            EXPECT_EQ(fromFile, bytes);
        }
}

TEST(NeuralNetworkModule, ImbalanceIsTheMeanOverTheCases)
{
    const auto network = trainedWaterNetwork(TensorElementType::Double, NeuralNetworkType::Generic);
    // 1 kg/s of water at constant flow; one case 100 W short, the other 300 W over.
    const Tensor inputs = Tensor::fromRows({{0.0, 20.0, 1.0 / 998.0}, {0.0, 20.0, 1.0 / 998.0}});
    const Tensor outputs = Tensor::fromRows({{20.0, 1.0 / 998.0}, {20.0, 1.0 / 998.0}});
    const auto balanced = network->calcImbalanceResults(inputs, outputs);
    ASSERT_TRUE(balanced);
    EXPECT_NEAR(balanced->energy, 0.0, 1e-9);
    const Tensor powered = Tensor::fromRows({{-100.0, 20.0, 1.0 / 998.0}, {300.0, 20.0, 1.0 / 998.0}});
    EXPECT_NEAR(network->calcImbalanceResults(powered, outputs)->energy, 100.0, 1e-9);
    // No result can be formed from tables that do not fit the network.
    EXPECT_FALSE(network->calcImbalanceResults(Tensor::fromRows({{1.0, 2.0}}), outputs));
}

TEST(NeuralNetworkModule, NetworkWithoutPhysicalModelComputesNoImbalance)
{
    NeuralNetworkTrainer::setManualSeed(1);
    NeuralNetworkTrainer network(2, 1, {3}, TensorElementType::Float, std::nullopt,
                                 NeuralNetworkType::Generic);
    const Module loaded = Module(loadNeuralNetworkModule(network.toByteArray()));
    EXPECT_FALSE(loaded.canCalcImbalanceResults());
    EXPECT_FALSE(loaded.calcImbalanceResults(Tensor::fromRows({{1.0, 2.0}}), Tensor::fromRows({{1.0}})));
    EXPECT_EQ(loaded.eval(Tensor::fromRows({{1.0, 2.0}})), network.eval(Tensor::fromRows({{1.0, 2.0}})));
    EXPECT_EQ(messageOf(
                  [&] {
                      loaded.eval(Tensor::fromRows({{1.0, 2.0, 3.0}}));
                  }),
              "NeuralNetwork module: inputs of shape {1, 3} given, the network takes {cases, 2}");
    EXPECT_EQ(
        loaded.eval(Tensor::createTensor(TensorShape{0, 2}, TensorElementType::Double)).getTensorShape(),
        (TensorShape{0, 1}));
}

TEST(NeuralNetworkModule, ArchiveRunsOnPlainTorchScript)
{
    // Without the energy correction the archive's own forward is the whole network.
    const auto network = trainedWaterNetwork(TensorElementType::Float, NeuralNetworkType::Generic);
    const Module plain = Module::fromByteArray(ModuleType::TorchScript, network->toByteArray());
    const Tensor inputs = Tensor::fromRows({{1500.0, 18.0, 0.0006}, {4000.0, 24.0, 0.0009}})
                              .toElementType(TensorElementType::Float);
    const Tensor expected = network->eval(inputs);
    const Tensor actual = plain.eval(inputs);
    ASSERT_EQ(actual.getTensorShape(), expected.getTensorShape());
    for (std::int64_t i = 0; i < expected.getElementCount(); ++i)
        EXPECT_NEAR(actual.getDouble(i), expected.getDouble(i), 1e-4 * std::abs(expected.getDouble(i)));
}

TEST(NeuralNetworkModule, BadBytesAreRefusedWithTheReason)
{
    NeuralNetworkTrainer::setManualSeed(1);
    const auto bytes =
        NeuralNetworkTrainer(2, 1, {3}, TensorElementType::Float, std::nullopt, NeuralNetworkType::Generic)
            .toByteArray();
    const Utilities::bytearray truncated(bytes.begin(),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    Utilities::bytearray garbled = bytes;
    for (size_t i = garbled.size() / 3; i < garbled.size() / 3 + 64; ++i)
        garbled[i] ^= 0x5a;

    EXPECT_EQ(messageOf([] { loadNeuralNetworkModule({}); }), "NeuralNetwork model data: the data is empty");
    EXPECT_THAT(messageOf([] { loadNeuralNetworkModule(Utilities::toByteArray("not a network")); }),
                StartsWith("NeuralNetwork model data: not a readable TorchScript archive ("));
    EXPECT_THAT(messageOf([&] { loadNeuralNetworkModule(truncated); }),
                StartsWith("NeuralNetwork model data: "));
    EXPECT_THAT(messageOf([&] { loadNeuralNetworkModule(garbled); }),
                StartsWith("NeuralNetwork model data: "));
    EXPECT_THROW(Module::fromByteArray(ModuleType::NeuralNetwork, truncated), std::runtime_error);

    // A TorchScript archive that the trainer did not write lacks the network's description.
    std::ifstream file(CONFLUX_TEST_DATA "/mlp_4_16_16_2.pt", std::ios::binary);
    const Utilities::bytearray otherArchive{std::istreambuf_iterator<char>(file),
                                            std::istreambuf_iterator<char>()};
    ASSERT_FALSE(otherArchive.empty());
    EXPECT_EQ(messageOf([&] { loadNeuralNetworkModule(otherArchive); }),
              "NeuralNetwork model data: the TorchScript archive has no conflux_network.txt: it was not "
              "written as a "
              "neural network");
}

// libtorch's TorchScript compiler crashes on some malformed code, so an archive's code is checked
// before libtorch sees it. The fuzzers' findings are kept and must stay clear errors.
TEST(NeuralNetworkModule, FuzzerFindingsAreClearErrors)
{
    const std::map<std::string, std::string> known = {
        {"misspelt-parameters-code.pt",
         "NeuralNetwork model data: the TorchScript code is not the code written for a network of 3 layers"},
    };
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(CONFLUX_FUZZ_REGRESSIONS "/neural_network_model"))
    {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        std::ifstream file(entry.path(), std::ios::binary);
        const Utilities::bytearray found{std::istreambuf_iterator<char>(file),
                                         std::istreambuf_iterator<char>()};
        const std::string message = messageOf([&] { loadNeuralNetworkModule(found); });
        if (known.count(name))
            EXPECT_EQ(message, known.at(name));
        else
            EXPECT_THAT(message, StartsWith("NeuralNetwork model data: "));
        ++count;
    }
    EXPECT_GE(count, 1);
}
