#include "host/services/ConsoleToolProgress.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <signal.h>
#include <unistd.h>

namespace Tools
{
namespace
{
// The progress that the installed SIGINT handler cancels; only atomics are touched in the handler.
std::atomic<std::atomic<bool>*> g_interruptFlag{nullptr};

extern "C" void onInterrupt(int)
{
    std::atomic<bool>* flag = g_interruptFlag.load();
    if (flag == nullptr || flag->exchange(true))
    {
        // A second Ctrl-C: stop at once, as the terminal user expects.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    static const char notice[] = "\nCancelling... (press Ctrl-C again to stop at once)\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, notice, sizeof notice - 1);
}
} // namespace

struct ConsoleToolProgress::InterruptGuard::Saved
{
    struct sigaction previous;
    std::atomic<bool>* previousFlag;
};

ConsoleToolProgress::InterruptGuard::InterruptGuard(ConsoleToolProgress& progress)
    : m_saved(std::make_unique<Saved>())
{
    m_saved->previousFlag = g_interruptFlag.exchange(&progress.m_interrupted);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &m_saved->previous);
}

ConsoleToolProgress::InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &m_saved->previous, nullptr);
    g_interruptFlag.store(m_saved->previousFlag);
}

ConsoleToolProgress::ConsoleToolProgress()
    : ConsoleToolProgress(std::cout, std::cerr, ::isatty(STDERR_FILENO) ? Mode::Terminal : Mode::Plain)
{
}

ConsoleToolProgress::ConsoleToolProgress(std::ostream& out, std::ostream& err, Mode mode)
    : m_out(out), m_err(err), m_mode(mode)
{
}

ConsoleToolProgress::~ConsoleToolProgress()
{
    std::lock_guard lock(m_mutex);
    eraseBarLocked();
}

void ConsoleToolProgress::message(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    eraseBarLocked();
    m_out << text << '\n';
    m_out.flush();
    drawBarLocked();
}

void ConsoleToolProgress::error(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    eraseBarLocked();
    m_err << "error: " << text << '\n';
    m_err.flush();
    drawBarLocked();
}

void ConsoleToolProgress::setProgress(int position)
{
    std::lock_guard lock(m_mutex);
    position = clampPosition(position);
    if (m_mode == Mode::Plain || (position == m_position && m_barShown))
        return;
    m_position = position;
    drawBarLocked();
}

void ConsoleToolProgress::finished(bool)
{
    std::lock_guard lock(m_mutex);
    eraseBarLocked();
    m_position = -1;
}

void ConsoleToolProgress::setStatus(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    if (m_mode == Mode::Plain || text == m_status)
        return;
    m_status = text;
    drawBarLocked();
}

bool ConsoleToolProgress::isCancelled() const
{
    return m_interrupted.load() || ToolProgress::isCancelled();
}

std::string ConsoleToolProgress::barText(int position, int width)
{
    position = clampPosition(position);
    if (width < 1)
        width = 1;
    const int filled = position * width / MaximumPosition;
    std::string bar = "[" + std::string(filled, '=');
    if (filled < width)
        bar += ">" + std::string(width - filled - 1, ' ');
    const std::string percent = std::to_string(position);
    return bar + "] " + std::string(3 - percent.size(), ' ') + percent + "%";
}

void ConsoleToolProgress::eraseBarLocked()
{
    if (!m_barShown)
        return;
    m_err << "\r\033[K";
    m_err.flush();
    m_barShown = false;
}

void ConsoleToolProgress::drawBarLocked()
{
    if (m_mode == Mode::Plain || m_position < 0)
        return;
    m_err << '\r' << barText(m_position) << (m_status.empty() ? "" : "  ") << m_status << "\033[K";
    m_err.flush();
    m_barShown = true;
}
} // namespace Tools
