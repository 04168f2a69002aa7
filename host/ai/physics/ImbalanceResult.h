#pragma once

namespace AISystem
{
/// The energy and mass imbalance of a model's outputs for its inputs, in that order.
struct ImbalanceResult
{
    double energy = 0.0;
    double mass = 0.0;

    bool operator==(const ImbalanceResult&) const = default;
};
} // namespace AISystem
