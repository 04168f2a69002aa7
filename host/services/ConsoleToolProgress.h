#pragma once
#include "host/services/ToolProgress.h"

#include <atomic>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>

namespace Tools
{
/// Progress on a console. On a terminal a bar ("[=====>    ]  42%") sits on the last line of the error
/// stream and is redrawn in place, with lines printed above it; otherwise plain lines are written:
/// messages on the output stream, "error: ..." lines on the error stream, and no bar.
class ConsoleToolProgress : public ToolProgress
{
public:
    enum class Mode
    {
        Plain,
        Terminal
    };

    /// Writes to std::cout and std::cerr; Terminal mode when stderr is a terminal.
    ConsoleToolProgress();
    /// Writes to the given streams in the given mode (the streams must outlive the progress).
    ConsoleToolProgress(std::ostream& out, std::ostream& err, Mode mode);
    ~ConsoleToolProgress() override;

    void message(const std::string& text) override;
    void error(const std::string& text) override;
    void setProgress(int position) override;
    void finished(bool success) override;
    bool isCancelled() const override;
    /// A short status (one line) shown after the bar on a terminal, replacing the previous one; nothing is
    /// shown in plain mode.
    void setStatus(const std::string& text);

    Mode mode() const { return m_mode; }
    /// The bar line as drawn for a position, without control characters.
    static std::string barText(int position, int width = 40);

    /// While it exists, the first Ctrl-C (SIGINT) cancels the progress and says so on stderr; a second
    /// one ends the program as SIGINT normally does. One guard at a time; the previous handler is
    /// restored on destruction.
    class InterruptGuard
    {
    public:
        explicit InterruptGuard(ConsoleToolProgress& progress);
        InterruptGuard(const InterruptGuard&) = delete;
        InterruptGuard& operator=(const InterruptGuard&) = delete;
        ~InterruptGuard();

    private:
        struct Saved;
        std::unique_ptr<Saved> m_saved;
    };

private:
    friend class InterruptGuard;
    void eraseBarLocked();
    void drawBarLocked();

    std::ostream& m_out;
    std::ostream& m_err;
    const Mode m_mode;
    std::mutex m_mutex;
    int m_position = -1; ///< -1 while no bar is shown
    bool m_barShown = false;
    std::string m_status;
    std::atomic<bool> m_interrupted{false};
};
} // namespace Tools
