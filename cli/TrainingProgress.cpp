#include "cli/TrainingProgress.h"

#include <cstdio>
#include <regex>

namespace ConfluxCli
{
TrainingProgress::TrainingProgress(int maximumIterations) : m_maximumIterations(maximumIterations)
{
    m_clock.start();
}

TrainingProgress::TrainingProgress(std::ostream& out, std::ostream& err, Mode mode, int maximumIterations)
    : ConsoleToolProgress(out, err, mode), m_maximumIterations(maximumIterations)
{
    m_clock.start();
}

std::optional<std::pair<int, double>> TrainingProgress::parseIterationLine(const std::string& text)
{
    static const std::regex line(R"(Iteration (\d+) RMS Error ([-+0-9.eEinfa]+))");
    std::smatch match;
    if (!std::regex_match(text, match, line))
        return std::nullopt;
    try
    {
        return std::pair{std::stoi(match[1].str()), std::stod(match[2].str())};
    }
    catch (const std::exception&)
    {
        return std::nullopt;
    }
}

std::string TrainingProgress::elapsed() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(m_clock.elapsed()) / 1000.0);
    return text;
}

void TrainingProgress::message(const std::string& text)
{
    const auto point = parseIterationLine(text);
    if (!point)
    {
        ConsoleToolProgress::message(text);
        return;
    }
    {
        std::lock_guard lock(m_historyMutex);
        m_history.push_back(*point);
    }
    char rms[32];
    std::snprintf(rms, sizeof rms, "%.4g", point->second);
    if (mode() == Mode::Terminal)
        setStatus("iteration " + std::to_string(point->first) + "/" + std::to_string(m_maximumIterations) +
                  "  RMS error " + rms + "  " + elapsed());
    else
        ConsoleToolProgress::message(text + " (" + elapsed() + ")");
}

std::vector<std::pair<int, double>> TrainingProgress::history() const
{
    std::lock_guard lock(m_historyMutex);
    return m_history;
}
} // namespace ConfluxCli
