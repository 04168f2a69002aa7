#pragma once
// The console progress of `confluxtool train`.
#include "host/services/ConsoleToolProgress.h"

#include <QElapsedTimer>

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ConfluxCli
{
/// Console progress of a training run. It reads the AI library's "Iteration N RMS Error X" lines: on a
/// terminal they become the status after the bar (iteration, RMS error, elapsed time), otherwise plain
/// lines with the elapsed time added; and it keeps them as the run's RMS error history.
class TrainingProgress : public Tools::ConsoleToolProgress
{
public:
    explicit TrainingProgress(int maximumIterations);
    TrainingProgress(std::ostream& out, std::ostream& err, Mode mode, int maximumIterations);

    void message(const std::string& text) override;

    /// (iteration, RMS error) in the order reported.
    std::vector<std::pair<int, double>> history() const;

    /// The iteration and RMS error of a progress line of the AI library's trainer; empty for other lines.
    static std::optional<std::pair<int, double>> parseIterationLine(const std::string& text);

private:
    std::string elapsed() const;

    const int m_maximumIterations;
    QElapsedTimer m_clock;
    mutable std::mutex m_historyMutex;
    std::vector<std::pair<int, double>> m_history;
};
} // namespace ConfluxCli
