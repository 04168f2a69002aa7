#pragma once
#include "host/solver/ExchangeValues.h"

#include <QFile>

#include <string>
#include <unordered_map>
#include <vector>

namespace Conflux
{
/// The per-iteration log of a dry run, a comma-separated file: "Iteration", then one column per
/// exchange value that controllers may read or write or that the solver's side sets
/// ("PATH (UNIT)", or "PATH" for a value without unit), then for each value controllers may write
/// a column "PATH: written by" naming who wrote it in that iteration ("solver" for the trace or
/// plant, empty when nobody did).
///
/// Each row is handed to the system as soon as it is written, so that a controller that brings
/// the process down loses no earlier row; that is why the log is not saved atomically.
class DryRunLog
{
public:
    /// Opens (replaces) the file and writes the header; throws DryRunInputError naming the file
    /// when it cannot be written.
    DryRunLog(const std::string& file, const CFDSolver::ExchangeValues& values,
              const std::vector<const CFDSolver::ExchangeValues::Value*>& solverValues);

    /// Writes the values as they stand, with who wrote each in this iteration. Throws
    /// std::runtime_error naming the file when the row cannot be written.
    void writeRow(int iteration, const std::unordered_map<const Conflux::Model::Attribute*, std::string>& writers);

    /// A field as the file holds it: quoted (quotes doubled) when it has a comma, quote or line break.
    static std::string field(const std::string& text);

private:
    void writeLine(const std::string& line);

    std::string m_name;
    QFile m_file;
    std::vector<const CFDSolver::ExchangeValues::Value*> m_columns;
    std::vector<const CFDSolver::ExchangeValues::Value*> m_writable;
};
} // namespace Conflux
