#pragma once
#include <atomic>
#include <string>

namespace Tools
{
/// The application's progress interface: a long operation reports informational and error lines and a
/// position through it, asks it whether the user wants to stop, and closes it when done.
/// Every operation may be called from any thread; implementations serialise their own output.
/// Cancellation is kept here so that every implementation answers isCancelled() the same way.
class ToolProgress
{
public:
    /// The range of setProgress: a percentage.
    static constexpr int MinimumPosition = 0;
    static constexpr int MaximumPosition = 100;

    ToolProgress() = default;
    ToolProgress(const ToolProgress&) = delete;
    ToolProgress& operator=(const ToolProgress&) = delete;
    virtual ~ToolProgress() = default;

    /// Posts an informational line (it may hold line feeds).
    virtual void message(const std::string& text) = 0;
    /// Posts an error line.
    virtual void error(const std::string& text) = 0;
    /// Sets the position, a percentage; values outside [0, 100] are clamped by the implementations.
    virtual void setProgress(int position) = 0;
    /// Closes the operation's progress; `success` tells whether it ended as intended.
    virtual void finished(bool success) = 0;

    /// Asks the operation to stop at its next check. Sticky: nothing resets it.
    virtual void cancel() { m_cancelled.store(true); }
    /// Whether someone asked the operation to stop.
    virtual bool isCancelled() const { return m_cancelled.load(); }

    /// Clamps a position into [MinimumPosition, MaximumPosition].
    static int clampPosition(int position)
    {
        return position < MinimumPosition ? MinimumPosition
                                          : (position > MaximumPosition ? MaximumPosition : position);
    }

private:
    std::atomic<bool> m_cancelled{false};
};
} // namespace Tools
