#pragma once
#include "host/ai/training/ModuleTrainerResult.h"

#include <optional>

namespace Conflux
{
/// What a training or testing run hands back through its future: the training run's result (for a test,
/// the network's last training result) and, for a test, the test of the example.
struct AIModelTrainerResult
{
    AISystem::ModuleTrainerResult training;
    std::optional<AISystem::ModuleTestResult> testing;

    bool operator==(const AIModelTrainerResult&) const = default;
};
} // namespace Conflux
