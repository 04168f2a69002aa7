#pragma once
#include "host/solver/ExchangeValues.h"

#include <memory>
#include <string>
#include <vector>

namespace Conflux
{
/// The solver's side of the exchange values in a dry run, set at the start of each iteration
/// before the controllers run: the project's values held (nothing changes), a trace (one row per
/// iteration), or a plant (a Python function of the iteration and the values).
class SolverValues
{
public:
    virtual ~SolverValues() = default;

    /// The held values when both files are empty, else the trace or the plant. Throws
    /// DryRunInputError naming the file for one that cannot be read, names no value, has a unit
    /// other than the value's, too few rows for `iterations`, or (a plant) does not define
    /// `plant(iteration, values)`.
    static std::unique_ptr<SolverValues> create(const std::string& traceFile, const std::string& plantFile,
                                                int iterations, const CFDSolver::ExchangeValues& values);

    /// The values this source sets every iteration (a trace's columns); empty when not known ahead.
    virtual std::vector<const CFDSolver::ExchangeValues::Value*> paths() const { return {}; }
    /// Sets the values of an iteration (1 for the first) and returns those it set. Throws
    /// std::runtime_error when a plant fails or returns what the model does not take.
    virtual std::vector<const CFDSolver::ExchangeValues::Value*> apply(int iteration,
                                                                      const CFDSolver::ExchangeValues& values) = 0;
};
} // namespace Conflux
