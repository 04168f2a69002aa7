#pragma once
#include "host/ai/tensor/Example.h"
#include "host/ai/training/ModuleTrainerResult.h"
#include "host/ai/tensor/Tensor.h"
#include "host/filesystem/ByteArray.h"

#include <optional>
#include <string>

namespace Tools
{
class ToolProgress;
}

namespace AISystem
{
/// A module that learns from examples. The network must not be used by anyone else while train runs.
class ModuleTrainer
{
public:
    virtual ~ModuleTrainer() = default;

    /// Trains on the training example until the RMS error reaches targetRMSError or
    /// maximumIterations iterations are done, then tests the testing example when it has cases.
    /// Weights (one per output, not negative, not all zero) weigh the outputs' errors; without them
    /// all outputs weigh alike. Progress gets the iteration and RMS error, and cancelling it stops
    /// the run with the network as trained so far. Bad examples or arguments raise
    /// std::invalid_argument saying which value is wrong; a run whose error stops being finite
    /// raises std::runtime_error and leaves the network as it was before the call.
    virtual ModuleTrainerResult train(const Example& training, const Example& testing, double targetRMSError,
                                      int maximumIterations, double learningRate,
                                      const std::optional<Tensor>& weights, Tools::ToolProgress* progress) = 0;
    /// How well the module reproduces the example.
    virtual ModuleTestResult test(const Example& example, const std::optional<Tensor>& weights,
                                  Tools::ToolProgress* progress) const = 0;
    /// The result of the last train call; empty before the first.
    virtual std::optional<ModuleTrainerResult> getLastTrainResult() const = 0;

    /// The trained module as loadable bytes.
    virtual Utilities::bytearray toByteArray() const = 0;
    /// Writes toByteArray() to a file; false when the file cannot be written.
    virtual bool toFile(const std::string& path) const = 0;
};
} // namespace AISystem
