#pragma once
// The training report's plots, drawn with Qt Charts into PNG files without a display. The caller
// must have made a QApplication (the offscreen platform serves).
#include <QString>

#include <utility>
#include <vector>

namespace ConfluxCli
{
/// One output's fit: its name (the column header) with the targets and the network's predictions of
/// the training and testing cases.
struct OutputFit
{
    QString name;
    std::vector<double> trainingTargets;
    std::vector<double> trainingPredictions;
    std::vector<double> testingTargets;
    std::vector<double> testingPredictions;
};

/// Writes the plots of a training run; each throws std::runtime_error naming the file it cannot write.
class TrainingReport
{
public:
    /// The RMS error against the iteration, on a logarithmic axis; values that are not positive are left out.
    static void plotRmsHistory(const std::vector<std::pair<int, double>>& history, const QString& file);
    /// Predicted against target values of one output, training and testing cases, with the identity line.
    static void plotFit(const OutputFit& fit, const QString& file);
};
} // namespace ConfluxCli
