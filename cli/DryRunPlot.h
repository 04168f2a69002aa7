#pragma once
// The dry run's plot: chosen exchange values over the iterations, drawn with Qt Charts into a PNG
// file without a display. The caller must have made a QApplication (the offscreen platform serves).
#include <QString>

#include <map>
#include <string>
#include <vector>

namespace ConfluxCli
{
/// Writes one line per path (its values, iteration 1 first) into `file`; throws std::runtime_error
/// naming the file when it cannot be written.
void plotDryRun(const std::map<std::string, std::vector<double>>& series, const QString& file);
} // namespace ConfluxCli
