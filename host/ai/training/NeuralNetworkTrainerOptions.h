#pragma once

namespace AISystem
{
/// The optimisers NeuralNetworkTrainer offers.
enum class NeuralNetworkOptimiser
{
    /// Full-batch Adam with the learning rate train is given.
    Adam,
    /// Full-batch L-BFGS with a strong Wolfe line search; the line search chooses the step
    /// lengths, so the learning rate train is given does not apply.
    LBFGS,
};

/// How NeuralNetworkTrainer trains.
struct NeuralNetworkTrainerOptions
{
    // L-BFGS reaches a given RMS error in a small fraction of Adam's time on smooth simulated data
    // such as the sample project's, so it is the default.
    NeuralNetworkOptimiser optimiser = NeuralNetworkOptimiser::LBFGS;

    bool operator==(const NeuralNetworkTrainerOptions&) const = default;
};
} // namespace AISystem
