// The dense evaluator and training kernels against libtorch, which stays the reference.
#include "host/ai/dense/DenseKernel.h"
#include "host/ai/modules/NeuralNetwork.h"
#include "host/ai/modules/NeuralNetworkModuleImpl.h"

#include <gtest/gtest.h>
#include <torch/torch.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace AISystem;
using namespace AISystem::detail;

namespace
{
std::vector<const DenseKernel*> kernels()
{
    std::vector<const DenseKernel*> all{&DenseKernel::baseline()};
    if (DenseKernel::avx2())
        all.push_back(DenseKernel::avx2());
    return all;
}

// A network of the shape with every weight, bias and scale drawn at random (not the zero biases
// and unit scaling a new network has).
NeuralNetwork randomNetwork(int inputs, std::vector<size_t> hidden, int outputs, TensorElementType type,
                            std::uint64_t seed)
{
    NeuralNetwork network(
        {inputs, outputs, std::move(hidden), type, NeuralNetworkType::Generic, std::nullopt}, seed);
    torch::manual_seed(seed);
    torch::NoGradGuard noGrad;
    for (auto parameter : network.parameters())
        parameter.uniform_(-1.0, 1.0);
    const auto options = torch::TensorOptions().dtype(network.scalarType());
    network.setScaling(torch::randn({50, inputs}, options) * 3.0 + 5.0,
                       torch::randn({50, outputs}, options) * 40.0 - 7.0);
    return network;
}

Tensor randomInputs(std::int64_t rows, int columns, TensorElementType type)
{
    std::vector<double> values(static_cast<size_t>(rows * columns));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = 5.0 + 6.0 * std::sin(1.7 * static_cast<double>(i) + 0.3);
    return Tensor::fromValues(TensorShape{rows, columns}, std::move(values)).toElementType(type);
}
} // namespace

TEST(DenseNetwork, MatchesLibtorchForEveryShapeBatchAndKernel)
{
    struct Shape
    {
        int inputs;
        std::vector<size_t> hidden;
        int outputs;
    };
    // Sizes that are and are not multiples of the vector width; no hidden layer; several.
    const std::vector<Shape> shapes{
        {16, {64, 64}, 8}, {6, {32, 32}, 3}, {1, {}, 1}, {3, {5}, 2}, {7, {13, 9, 11}, 5}};
    for (const auto elementType : {TensorElementType::Double, TensorElementType::Float})
        for (size_t s = 0; s < shapes.size(); ++s)
        {
            const auto& shape = shapes[s];
            const auto network =
                randomNetwork(shape.inputs, shape.hidden, shape.outputs, elementType, 10 + s);
            // Relative to each output's spread: an output near zero has no relative precision to keep.
            const double tolerance = elementType == TensorElementType::Double ? 1e-12 : 1e-5;
            const auto spread = network.outputScale().to(torch::kFloat64);
            for (const DenseKernel* kernel : kernels())
            {
                const auto dense = network.toDense(kernel);
                // Batches of one, a few, and more than a kernel block; inputs of both element types.
                for (const std::int64_t rows : {1, 3, 300})
                    for (const auto inputType : {TensorElementType::Double, TensorElementType::Float})
                    {
                        SCOPED_TRACE(std::string(kernel->name) + " network " + toString(elementType) +
                                     " shape " + std::to_string(s) + " rows " + std::to_string(rows) +
                                     " inputs " + toString(inputType));
                        const Tensor inputs = randomInputs(rows, shape.inputs, inputType);
                        const Tensor outputs = dense.eval(inputs);
                        ASSERT_EQ(outputs.getTensorShape(), (TensorShape{rows, shape.outputs}));
                        ASSERT_EQ(outputs.getElementType(), inputType);
                        torch::NoGradGuard noGrad;
                        auto expected = network.forward(toTorch(inputs, network.scalarType()));
                        if (inputType == TensorElementType::Float)
                            expected = expected.to(torch::kFloat32);
                        expected = expected.to(torch::kFloat64).contiguous();
                        const double* reference = expected.data_ptr<double>();
                        double worst = 0.0;
                        for (std::int64_t i = 0; i < outputs.getElementCount(); ++i)
                        {
                            const double allowed =
                                std::abs(reference[i]) + spread[i % shape.outputs].item<double>();
                            worst = std::max(worst, std::abs(outputs.getDouble(i) - reference[i]) / allowed);
                        }
                        EXPECT_LE(worst, tolerance);
                    }
            }
        }
}

TEST(DenseNetwork, ModuleEvaluatesWithTheDenseNetworkUnlessPhysicsConserved)
{
    const NeuralNetwork generic = randomNetwork(3, {4}, 1, TensorElementType::Double, 3);
    EXPECT_NE(NeuralNetworkModuleImpl(generic.snapshot()).getDense(), nullptr);
    PhysicalModelStream air(PhysicalModelFluid::air());
    air.addInflow(0.0, PhysicalModelValue::input(1), PhysicalModelValue::input(2));
    air.addOutflow(0.0, PhysicalModelValue::output(0), std::nullopt);
    PhysicalModel model;
    model.addHeatSource(PhysicalModelValue::input(0));
    model.addStream(air);
    const NeuralNetwork conserved(
        {3, 1, {4}, TensorElementType::Double, NeuralNetworkType::PhysicsConserved, model}, 3);
    EXPECT_EQ(NeuralNetworkModuleImpl(conserved.snapshot()).getDense(), nullptr);
}

TEST(DenseKernel, TanhIsAccurateEverywhere)
{
    std::vector<double> values{0.0,
                               -0.0,
                               1e-300,
                               -1e-20,
                               0.625,
                               -0.625,
                               0.6249999999,
                               20.0,
                               -40.0,
                               400.0,
                               1e300,
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()};
    for (int i = -3000; i <= 3000; ++i)
        values.push_back(i * 0.00731);
    // An odd count so that the tail beyond the last full vector is computed too.
    if (values.size() % 2 == 0)
        values.push_back(0.3);
    for (const DenseKernel* kernel : kernels())
    {
        SCOPED_TRACE(kernel->name);
        std::vector<double> doubles = values;
        kernel->tanhDouble(doubles.data(), static_cast<std::int64_t>(doubles.size()));
        std::vector<float> floats(values.begin(), values.end());
        kernel->tanhFloat(floats.data(), static_cast<std::int64_t>(floats.size()));
        double worstDouble = 0.0;
        double worstFloat = 0.0;
        for (size_t i = 0; i < values.size(); ++i)
        {
            const double expected = std::tanh(values[i]);
            worstDouble =
                std::max(worstDouble, std::abs(doubles[i] - expected) / std::max(std::abs(expected), 1e-300));
            const double expectedFloat = std::tanh(static_cast<double>(static_cast<float>(values[i])));
            worstFloat = std::max(worstFloat, std::abs(floats[i] - expectedFloat) /
                                                  std::max(std::abs(expectedFloat), 1e-30));
        }
        EXPECT_LE(worstDouble, 4e-16);
        EXPECT_LE(worstFloat, 1e-6);
        std::vector<double> nan{std::numeric_limits<double>::quiet_NaN()};
        kernel->tanhDouble(nan.data(), 1);
        EXPECT_TRUE(std::isnan(nan[0]));
    }
}

TEST(DenseKernel, LossAndGradientMatchAutograd)
{
    for (const auto elementType : {TensorElementType::Double, TensorElementType::Float})
        for (const DenseKernel* kernel : kernels())
        {
            SCOPED_TRACE(std::string(kernel->name) + " " + toString(elementType));
            const auto network = randomNetwork(4, {9, 6}, 3, elementType, 21);
            const auto type = network.scalarType();
            const auto options = torch::TensorOptions().dtype(type);
            // More cases than a kernel block, so that blocks' gradients are summed.
            const std::int64_t rows = 600;
            const auto inputs = torch::randn({rows, 4}, options);
            const auto targets = torch::randn({rows, 3}, options);
            const auto errorWeights = torch::tensor({0.5, 1.0, 2.0}, options) / static_cast<double>(rows);
            auto parameters = network.parameters();
            std::vector<torch::Tensor> gradients;
            std::vector<DenseTrainingLayer<double>> doubleLayers;
            std::vector<DenseTrainingLayer<float>> floatLayers;
            for (size_t i = 0; i < parameters.size(); i += 2)
            {
                gradients.push_back(torch::full_like(parameters[i], 7.0).detach());
                gradients.push_back(torch::full_like(parameters[i + 1], 7.0).detach());
                const int in = static_cast<int>(parameters[i].size(1));
                const int out = static_cast<int>(parameters[i].size(0));
                if (elementType == TensorElementType::Double)
                    doubleLayers.push_back(
                        {parameters[i].data_ptr<double>(), parameters[i + 1].data_ptr<double>(),
                         gradients[i].data_ptr<double>(), gradients[i + 1].data_ptr<double>(), in, out});
                else
                    floatLayers.push_back(
                        {parameters[i].data_ptr<float>(), parameters[i + 1].data_ptr<float>(),
                         gradients[i].data_ptr<float>(), gradients[i + 1].data_ptr<float>(), in, out});
            }
            double loss = 0.0;
            if (elementType == TensorElementType::Double)
            {
                std::vector<double> scratch(static_cast<size_t>(trainingScratchSize(doubleLayers.data(), 3)));
                loss = kernel->lossDouble(doubleLayers.data(), 3, inputs.data_ptr<double>(),
                                          targets.data_ptr<double>(), errorWeights.data_ptr<double>(), rows,
                                          true, scratch.data());
            }
            else
            {
                std::vector<float> scratch(static_cast<size_t>(trainingScratchSize(floatLayers.data(), 3)));
                loss = kernel->lossFloat(floatLayers.data(), 3, inputs.data_ptr<float>(),
                                         targets.data_ptr<float>(), errorWeights.data_ptr<float>(), rows,
                                         true, scratch.data());
            }

            // The same loss through autograd, on the unscaled layers.
            auto hidden = inputs;
            for (size_t i = 0; i + 2 < parameters.size(); i += 2)
                hidden = torch::tanh(torch::addmm(parameters[i + 1], hidden, parameters[i].t()));
            const auto last = torch::addmm(parameters.back(), hidden, parameters[parameters.size() - 2].t());
            const auto expected = ((last - targets).pow(2) * errorWeights).sum();
            expected.backward();
            const double tolerance = elementType == TensorElementType::Double ? 1e-12 : 1e-5;
            EXPECT_NEAR(loss, expected.item<double>(), tolerance * expected.item<double>());
            for (size_t i = 0; i < parameters.size(); ++i)
            {
                const auto difference = (gradients[i] - parameters[i].grad()).abs().max().item<double>();
                EXPECT_LE(difference, tolerance * parameters[i].grad().abs().max().item<double>())
                    << "parameter " << i;
            }
        }
}
