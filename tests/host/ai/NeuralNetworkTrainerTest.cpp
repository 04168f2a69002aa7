#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/services/ToolProgress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace AISystem;
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

// A smooth function of two variables with two outputs, sampled at the middles of a grid's cells
// (shifted within the cells by `shift`).
Example smoothExample(int side, double shift = 0.5)
{
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> outputs;
    for (int i = 0; i < side; ++i)
        for (int j = 0; j < side; ++j)
        {
            const double a = -1.0 + 2.0 * (i + shift) / side;
            const double b = -1.0 + 2.0 * (j + shift) / side;
            inputs.push_back({a, b});
            outputs.push_back({std::sin(2.0 * a) + 0.5 * b, a * b});
        }
    return Example(Tensor::fromRows(inputs), Tensor::fromRows(outputs), side * side);
}

// Root mean square error of one output column of a module on an example, in that output's units.
double columnError(const Module& module, const Example& example, int column)
{
    const Tensor predicted = module.eval(example.getInputs());
    double sum = 0.0;
    const auto rows = example.getOutputs().getDimensionSize(0);
    for (std::int64_t r = 0; r < rows; ++r)
    {
        const double error = predicted.at(r, column) - example.getOutputs().at(r, column);
        sum += error * error;
    }
    return std::sqrt(sum / rows);
}

// An air-cooled equipment item: inputs power (W), inlet temperature (°C), inlet flow (m³/s);
// output the outlet temperature. Its data are balanced apart from the noise.
struct AirCooledItem
{
    PhysicalModel model;
    Example example;

    AirCooledItem(int cases, double noise)
    {
        PhysicalModelStream air(PhysicalModelFluid::air());
        air.addInflow(0.0, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
        air.addOutflow(0.0, PhysicalModelValue::output(0), std::nullopt);
        model.addHeatSource(PhysicalModelValue::input(0));
        model.addStream(air);

        std::mt19937_64 generator(5);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        std::vector<std::vector<double>> inputs;
        std::vector<std::vector<double>> outputs;
        for (int i = 0; i < cases; ++i)
        {
            const double power = 500.0 + 1500.0 * unit(generator);
            const double inlet = 18.0 + 9.0 * unit(generator);
            const double flow = 0.08 + 0.1 * unit(generator);
            inputs.push_back({power, inlet, flow});
            outputs.push_back(
                {inlet + power / (1.19 * flow * 1006.0) + noise * (2.0 * unit(generator) - 1.0)});
        }
        example = Example(Tensor::fromRows(inputs), Tensor::fromRows(outputs), cases);
    }
};

class CancellingProgress : public Tools::ToolProgress
{
public:
    explicit CancellingProgress(int cancelAtMessage) : m_cancelAt(cancelAtMessage) {}
    void message(const std::string& text) override
    {
        messages.push_back(text);
        if (static_cast<int>(messages.size()) == m_cancelAt)
            cancel();
    }
    void error(const std::string&) override {}
    void setProgress(int position) override { positions.push_back(position); }
    void finished(bool) override {}

    std::vector<std::string> messages;
    std::vector<int> positions;

private:
    int m_cancelAt;
};

std::unique_ptr<NeuralNetworkTrainer> smoothNetwork(std::uint64_t seed,
                                                    TensorElementType type = TensorElementType::Double)
{
    NeuralNetworkTrainer::setManualSeed(seed);
    return std::make_unique<NeuralNetworkTrainer>(2, 2, std::vector<size_t>{16, 16}, type, std::nullopt,
                                                  NeuralNetworkType::Generic);
}
} // namespace

TEST(NeuralNetworkTrainer, LearnsSmoothFunctionBelowTargetError)
{
    for (const auto optimiser : {NeuralNetworkOptimiser::LBFGS, NeuralNetworkOptimiser::Adam})
        for (const auto type : {TensorElementType::Float, TensorElementType::Double})
        {
            SCOPED_TRACE(std::string(optimiser == NeuralNetworkOptimiser::LBFGS ? "L-BFGS " : "Adam ") +
                         toString(type));
            auto network = smoothNetwork(11, type);
            network->setOptions({optimiser});
            const Example training = smoothExample(12);
            const Example testing = smoothExample(7, 0.25);
            const auto result = network->train(training, testing, 0.03, 3000, 0.01, std::nullopt, nullptr);

            EXPECT_LE(result.rmsError, 0.03);
            EXPECT_LT(result.iterations, optimiser == NeuralNetworkOptimiser::LBFGS ? 300 : 3000);
            EXPECT_FALSE(result.cancelled);
            EXPECT_FALSE(result.imbalance);
            ASSERT_TRUE(result.testResult);
            EXPECT_LT(result.testResult->rmsError, 0.1);
            EXPECT_EQ(network->getLastTrainResult(), result);
            // The module evaluates the trained network: errors in the outputs' own units stay small.
            EXPECT_LT(columnError(*network, testing, 0), 0.05);
            EXPECT_LT(columnError(*network, testing, 1), 0.05);
            EXPECT_EQ(network->eval(testing.getInputs()).getElementType(), TensorElementType::Double);
            // Reloaded from its bytes, the network answers as it did.
            const Module reloaded = Module::fromByteArray(ModuleType::NeuralNetwork, network->toByteArray());
            EXPECT_EQ(reloaded.eval(testing.getInputs()), network->eval(testing.getInputs()));
        }
}

TEST(NeuralNetworkTrainer, TrainingInChunksIsTrainingInOneRun)
{
    // The optimiser's state (Adam's moments, L-BFGS's history) carries over from chunk to chunk.
    const AirCooledItem item(40, 3.0);
    struct Case
    {
        const char* name;
        NeuralNetworkOptimiser optimiser;
        NeuralNetworkType type;
    };
    const Case cases[] = {
        {"Adam, generic", NeuralNetworkOptimiser::Adam, NeuralNetworkType::Generic},
        {"L-BFGS, generic", NeuralNetworkOptimiser::LBFGS, NeuralNetworkType::Generic},
        {"Adam, physics-informed", NeuralNetworkOptimiser::Adam, NeuralNetworkType::PhysicsInformed},
        {"L-BFGS, physics-informed", NeuralNetworkOptimiser::LBFGS, NeuralNetworkType::PhysicsInformed},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const auto make = [&]
        {
            NeuralNetworkTrainer::setManualSeed(5);
            auto network = std::make_unique<NeuralNetworkTrainer>(
                3, 1, std::vector<size_t>{8, 8}, TensorElementType::Double, item.model, c.type);
            network->setOptions({c.optimiser});
            return network;
        };
        auto once = make();
        auto chunked = make();
        const auto whole = once->train(item.example, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
        chunked->train(item.example, Example(), 0.0, 50, 0.01, std::nullopt, nullptr);
        const auto second = chunked->train(item.example, Example(), 0.0, 50, 0.01, std::nullopt, nullptr);
        EXPECT_EQ(second.rmsError, whole.rmsError);
        EXPECT_EQ(chunked->toByteArray(), once->toByteArray());
    }
}

TEST(NeuralNetworkTrainer, ADivergingRunFailsAndLeavesTheNetworkAsItWas)
{
    // A step this large throws the weights to about 1e300: the squared errors overflow.
    auto network = smoothNetwork(3);
    network->setOptions({NeuralNetworkOptimiser::Adam});
    const Example training = smoothExample(6);
    network->train(training, Example(), 0.0, 5, 0.01, std::nullopt, nullptr);
    const auto before = network->toByteArray();
    const auto lastResult = network->getLastTrainResult();

    EXPECT_EQ(messageOf([&] { network->train(training, Example(), 0.0, 20, 1e300, std::nullopt, nullptr); }),
              "Training diverged at iteration 1 (the RMS error is not finite); the network is left as it "
              "was, try a smaller learning rate");
    EXPECT_EQ(network->toByteArray(), before);
    EXPECT_EQ(network->getLastTrainResult(), lastResult);

    // Nor does the failed run leave its mark on the optimiser: training on continues as if it never ran.
    auto untouched = smoothNetwork(3);
    untouched->setOptions({NeuralNetworkOptimiser::Adam});
    untouched->train(training, Example(), 0.0, 5, 0.01, std::nullopt, nullptr);
    network->train(training, Example(), 0.0, 10, 0.01, std::nullopt, nullptr);
    untouched->train(training, Example(), 0.0, 10, 0.01, std::nullopt, nullptr);
    EXPECT_EQ(network->toByteArray(), untouched->toByteArray());
}

TEST(NeuralNetworkTrainer, SameSeedGivesSameNetwork)
{
    const Example training = smoothExample(8);
    auto first = smoothNetwork(3);
    auto second = smoothNetwork(3);
    auto other = smoothNetwork(4);
    EXPECT_EQ(first->eval(training.getInputs()), second->eval(training.getInputs()));
    EXPECT_FALSE(first->eval(training.getInputs()) == other->eval(training.getInputs()));

    const auto a = first->train(training, Example(), 0.0, 50, 0.01, std::nullopt, nullptr);
    const auto b = second->train(training, Example(), 0.0, 50, 0.01, std::nullopt, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(first->eval(training.getInputs()), second->eval(training.getInputs()));
    EXPECT_EQ(first->toByteArray(), second->toByteArray());
}

TEST(NeuralNetworkTrainer, WeightsShiftAccuracyBetweenOutputs)
{
    const Example training = smoothExample(10);
    auto favourFirst = smoothNetwork(21);
    auto favourSecond = smoothNetwork(21);
    favourFirst->train(training, Example(), 0.0, 150, 0.01, Tensor::fromRows({{0.95, 0.05}}), nullptr);
    favourSecond->train(training, Example(), 0.0, 150, 0.01, Tensor::fromRows({{0.05, 0.95}}), nullptr);
    EXPECT_LT(columnError(*favourFirst, training, 0), columnError(*favourSecond, training, 0));
    EXPECT_LT(columnError(*favourSecond, training, 1), columnError(*favourFirst, training, 1));

    // The reported error is the weighted one: a weight of zero leaves that output out.
    const auto onlyFirst = favourFirst->test(training, Tensor::fromRows({{1.0, 0.0}}), nullptr);
    const auto evenly = favourFirst->test(training, std::nullopt, nullptr);
    EXPECT_LT(onlyFirst.rmsError, evenly.rmsError);
}

TEST(NeuralNetworkTrainer, ContinuesFromTrainedWeightsUntilReset)
{
    const Example training = smoothExample(10);
    auto network = smoothNetwork(8);
    const auto first = network->train(training, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
    const auto continued = network->train(training, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
    EXPECT_LT(continued.rmsError, first.rmsError);

    // A new network from the same seed starts over and repeats the first run exactly.
    auto reset = smoothNetwork(8);
    EXPECT_EQ(reset->train(training, Example(), 0.0, 100, 0.01, std::nullopt, nullptr).rmsError,
              first.rmsError);

    const std::vector<size_t> layers{16, 16};
    EXPECT_TRUE(network->canContinue(2, 2, layers, TensorElementType::Double, std::nullopt,
                                     NeuralNetworkType::Generic));
    EXPECT_FALSE(network->canContinue(3, 2, layers, TensorElementType::Double, std::nullopt,
                                      NeuralNetworkType::Generic));
    EXPECT_FALSE(network->canContinue(2, 2, {16}, TensorElementType::Double, std::nullopt,
                                      NeuralNetworkType::Generic));
    EXPECT_FALSE(network->canContinue(2, 2, layers, TensorElementType::Float, std::nullopt,
                                      NeuralNetworkType::Generic));
    EXPECT_TRUE(network->canContinue(2, 2, layers, TensorElementType::None, std::nullopt,
                                     NeuralNetworkType::Generic));
}

TEST(NeuralNetworkTrainer, ReadBackFromItsBytesItTrainsFurtherFromWhereItStopped)
{
    const Example training = smoothExample(10);
    auto network = smoothNetwork(8);
    const auto first = network->train(training, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
    const auto restored = NeuralNetworkTrainer::fromByteArray(network->toByteArray());
    EXPECT_EQ(restored->eval(training.getInputs()), network->eval(training.getInputs()));
    EXPECT_FALSE(restored->getLastTrainResult().has_value());
    EXPECT_TRUE(restored->canContinue(2, 2, {16, 16}, TensorElementType::Double, std::nullopt,
                                      NeuralNetworkType::Generic));
    const auto continued = restored->train(training, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
    EXPECT_LT(continued.rmsError, first.rmsError);
    EXPECT_THROW(NeuralNetworkTrainer::fromByteArray(Utilities::bytearray{1, 2, 3}), std::runtime_error);
}

TEST(NeuralNetworkTrainer, ReportsProgressAndStopsWhenCancelled)
{
    const Example training = smoothExample(8);
    auto network = smoothNetwork(2);
    CancellingProgress progress(3);
    const auto result = network->train(training, Example(), 0.0, 1000, 0.01, std::nullopt, &progress);
    EXPECT_TRUE(result.cancelled);
    // Lines come every 50 iterations; the third asks to stop, checked before the next iteration.
    EXPECT_EQ(result.iterations, 101);
    ASSERT_EQ(progress.messages.size(), 4u);
    EXPECT_THAT(progress.messages[0], StartsWith("Iteration 0 RMS Error "));
    EXPECT_THAT(progress.messages[2], StartsWith("Iteration 100 RMS Error "));
    EXPECT_THAT(progress.messages[3], StartsWith("Iteration 101 RMS Error "));
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 5, 10, 100}));
    // The network keeps what it learned before the stop.
    EXPECT_EQ(network->test(training, std::nullopt, nullptr).rmsError, result.rmsError);
}

TEST(NeuralNetworkTrainer, RefusesBadExamplesAndArguments)
{
    auto network = smoothNetwork(1);
    const Example good = smoothExample(3);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case
    {
        const char* name;
        Example training;
        Example testing;
        double learningRate;
        int iterations;
        std::optional<Tensor> weights;
        std::string message;
    };
    const Case cases[] = {
        {"input columns", Example(Tensor::fromRows({{1.0, 2.0, 3.0}}), Tensor::fromRows({{1.0, 2.0}})),
         Example(), 0.01, 10, std::nullopt, "Training inputs have 3 columns, the network has 2 inputs"},
        {"output columns", Example(Tensor::fromRows({{1.0, 2.0}}), Tensor::fromRows({{1.0}})), Example(),
         0.01, 10, std::nullopt, "Training outputs have 1 columns, the network has 2 outputs"},
        {"rows", Example(Tensor::fromRows({{1.0, 2.0}, {3.0, 4.0}}), Tensor::fromRows({{1.0, 2.0}})),
         Example(), 0.01, 10, std::nullopt, "Training example has 2 input rows and 1 output rows"},
        {"no cases",
         Example(Tensor::createTensor(TensorShape{0, 2}, TensorElementType::Double),
                 Tensor::createTensor(TensorShape{0, 2}, TensorElementType::Double)),
         Example(), 0.01, 10, std::nullopt, "Training example has no cases"},
        {"no tables", Example(), Example(), 0.01, 10, std::nullopt,
         "Training inputs must be a table {cases, 2}, not {}"},
        {"non-finite input",
         Example(Tensor::fromRows({{1.0, 2.0}, {nan, 4.0}}), Tensor::fromRows({{1.0, 2.0}, {3.0, 4.0}})),
         Example(), 0.01, 10, std::nullopt,
         "Training inputs hold the non-finite value nan at row 1, column 0"},
        {"non-finite testing output", good,
         Example(Tensor::fromRows({{1.0, 2.0}}),
                 Tensor::fromRows({{1.0, std::numeric_limits<double>::infinity()}})),
         0.01, 10, std::nullopt, "Testing outputs hold the non-finite value inf at row 0, column 1"},
        {"weight count", good, Example(), 0.01, 10, Tensor::fromRows({{1.0, 2.0, 3.0}}),
         "Output weights {1, 3} hold 3 values, the network has 2 outputs"},
        {"negative weight", good, Example(), 0.01, 10, Tensor::fromRows({{1.0, -2.0}}),
         "Output weight 1 is -2: weights must be finite and not negative"},
        {"zero weights", good, Example(), 0.01, 10, Tensor::fromRows({{0.0, 0.0}}),
         "Output weights are all zero"},
        {"learning rate", good, Example(), 0.0, 10, std::nullopt,
         "The learning rate must be finite and positive, not 0"},
        {"iterations", good, Example(), 0.01, -1, std::nullopt,
         "The maximum number of iterations must not be negative, not -1"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(messageOf(
                      [&] {
                          network->train(c.training, c.testing, 0.01, c.iterations, c.learningRate, c.weights,
                                         nullptr);
                      }),
                  c.message);
    }
    EXPECT_FALSE(network->getLastTrainResult());
}

TEST(NeuralNetworkTrainer, RefusesLayoutsThatMakeNoNetwork)
{
    const AirCooledItem item(10, 0.0);
    PhysicalModel inletOnly;
    PhysicalModelStream stream(PhysicalModelFluid::air());
    stream.addInflow(0.0, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
    inletOnly.addStream(stream);
    struct Case
    {
        const char* name;
        int inputs;
        std::vector<size_t> layers;
        std::optional<PhysicalModel> model;
        NeuralNetworkType type;
        std::string message;
    };
    const Case cases[] = {
        {"no inputs",
         0,
         {4},
         std::nullopt,
         NeuralNetworkType::Generic,
         "A neural network needs at least one input and one output, not 0 inputs and 1 outputs"},
        {"empty layer",
         3,
         {4, 0},
         std::nullopt,
         NeuralNetworkType::Generic,
         "Hidden layer 2 has 0 nodes; it needs 1 to 65536"},
        {"too deep", 3, std::vector<size_t>(101, 4), std::nullopt, NeuralNetworkType::Generic,
         "A neural network has at most 100 hidden layers, not 101"},
        {"informed without model",
         3,
         {4},
         std::nullopt,
         NeuralNetworkType::PhysicsInformed,
         "A physics-informed network needs a physical model"},
        {"conserved without output temperature",
         3,
         {4},
         inletOnly,
         NeuralNetworkType::PhysicsConserved,
         "A physics-conserved network needs a physical model with an output temperature to correct"},
        {"model beyond the inputs",
         2,
         {4},
         item.model,
         NeuralNetworkType::PhysicsInformed,
         "Physical model: stream 1 inflow 1 flow refers to input 2 but the network has 2 inputs"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(
            messageOf(
                [&]
                { NeuralNetworkTrainer(c.inputs, 1, c.layers, TensorElementType::Float, c.model, c.type); }),
            c.message);
    }
}

TEST(NeuralNetworkTrainer, PhysicsInformedTrainingLowersImbalance)
{
    // Few noisy cases: a generic fit follows the noise, the balance holds the informed fit back.
    const AirCooledItem item(40, 3.0);
    const auto trained = [&](NeuralNetworkType type)
    {
        NeuralNetworkTrainer::setManualSeed(17);
        NeuralNetworkTrainer network(3, 1, {16, 16}, TensorElementType::Double, item.model, type);
        return network.train(item.example, Example(), 0.0, 1500, 0.01, std::nullopt, nullptr);
    };
    const auto generic = trained(NeuralNetworkType::Generic);
    const auto informed = trained(NeuralNetworkType::PhysicsInformed);
    ASSERT_TRUE(generic.imbalance);
    ASSERT_TRUE(informed.imbalance);
    EXPECT_LT(informed.imbalance->energy, 0.5 * generic.imbalance->energy);
    EXPECT_LT(informed.rmsError, 0.6);
}

TEST(NeuralNetworkTrainer, PhysicsConservedOutputsCloseTheBalance)
{
    const AirCooledItem item(150, 1.5);
    NeuralNetworkTrainer::setManualSeed(17);
    NeuralNetworkTrainer network(3, 1, {8, 8}, TensorElementType::Double, item.model,
                                 NeuralNetworkType::PhysicsConserved);
    const auto result = network.train(item.example, Example(), 0.0, 100, 0.01, std::nullopt, nullptr);
    ASSERT_TRUE(result.imbalance);
    EXPECT_LT(result.imbalance->energy, 1e-6);
    EXPECT_LT(result.rmsError, 0.5);

    ASSERT_TRUE(network.canCalcImbalanceResults());
    const Tensor inputs = Tensor::fromRows({{1200.0, 22.0, 0.1}});
    const Tensor outputs = network.eval(inputs);
    const auto imbalance = network.calcImbalanceResults(inputs, outputs);
    ASSERT_TRUE(imbalance);
    EXPECT_NEAR(imbalance->energy, 0.0, 1e-6);
    // The balance fixes the outlet: 1200 W into 0.119 kg/s of air.
    EXPECT_NEAR(outputs.at(0, 0), 22.0 + 1200.0 / (1.19 * 0.1 * 1006.0), 1e-6);
}

TEST(NeuralNetworkTrainer, FoldedValueTransformsLeaveTheAnswersAndSurviveTheBytes)
{
    // A network trained on values a caller mapped first (a unit and a scaling) takes the unmapped
    // values once the maps are folded in, and answers as before.
    auto network = smoothNetwork(3);
    const Example training = smoothExample(6);
    network->train(training, Example(), 0.0, 20, 0.01, std::nullopt, nullptr);
    const std::vector<std::pair<double, double>> inputs{{5.0 / 9.0, -160.0 / 9.0}, {0.2, -4.8}};
    const std::vector<std::pair<double, double>> outputs{{2.0, 1.0}, {1.0, 0.0}};
    const Tensor callers = Tensor::fromRows({{-0.5, 0.25}, {0.75, -1.0}, {0.0, 0.0}});
    std::vector<std::vector<double>> mapped;
    for (std::int64_t r = 0; r < 3; ++r)
        mapped.push_back({inputs[0].first * callers.at(r, 0) + inputs[0].second,
                          inputs[1].first * callers.at(r, 1) + inputs[1].second});
    const Tensor before = network->eval(Tensor::fromRows(mapped));

    network->foldValueTransforms(inputs, outputs);
    const auto reloaded = NeuralNetworkTrainer::fromByteArray(network->toByteArray());
    for (const Module* module : {static_cast<const Module*>(network.get()), static_cast<const Module*>(reloaded.get())})
    {
        const Tensor after = module->eval(callers);
        for (std::int64_t r = 0; r < 3; ++r)
            for (std::int64_t j = 0; j < 2; ++j)
                EXPECT_NEAR(after.at(r, j), outputs[static_cast<size_t>(j)].first * before.at(r, j) +
                                                outputs[static_cast<size_t>(j)].second,
                            1e-9)
                    << r << "," << j;
    }

    EXPECT_EQ(messageOf([&] { network->foldValueTransforms({{1.0, 0.0}}, outputs); }),
              "1 input transforms for a network of 2 inputs");
    EXPECT_EQ(messageOf([&] { network->foldValueTransforms({{1.0, 0.0}, {-1.0, 0.0}}, outputs); }),
              "The transform of input 2 (-1 x + 0) cannot be folded into the network: its factor must be finite "
              "and positive");
}
