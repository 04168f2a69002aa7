#pragma once
#include "host/ai/physics/ImbalanceResult.h"

#include <optional>

namespace AISystem
{
/// How well a module reproduces an example. The RMS error is dimensionless: each output's error is
/// divided by that output's standard deviation in the training data, and the outputs' mean squares
/// are averaged with the output weights. The imbalance, present for a module with a physical model,
/// is the root mean square over the cases of the energy (W) and mass (kg/s) imbalance.
struct ModuleTestResult
{
    double rmsError = 0.0;
    std::optional<ImbalanceResult> imbalance;

    bool operator==(const ModuleTestResult&) const = default;
};

/// The outcome of a training run: its RMS error and imbalance on the training example (as in
/// ModuleTestResult), the test of the testing example when it had cases, the iterations done, and
/// whether the run stopped because it was cancelled.
struct ModuleTrainerResult
{
    double rmsError = 0.0;
    std::optional<ImbalanceResult> imbalance;
    std::optional<ModuleTestResult> testResult;
    int iterations = 0;
    bool cancelled = false;

    bool operator==(const ModuleTrainerResult&) const = default;
};
} // namespace AISystem
