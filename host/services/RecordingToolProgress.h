#pragma once
#include "host/services/ToolProgress.h"

#include <mutex>
#include <string>
#include <vector>

namespace Tools
{
/// A progress interface that records every call in order, for tests of the code that reports progress.
/// cancel() is recorded as well; isCancelled() is answered but not recorded.
class RecordingToolProgress : public ToolProgress
{
public:
    enum class Kind
    {
        Message,
        Error,
        Progress,
        Finished,
        Cancel
    };

    struct Call
    {
        Kind kind;
        std::string text; ///< the line of Message and Error, empty otherwise
        int value = 0;    ///< the clamped position of Progress, 1/0 for Finished(true/false), 0 otherwise

        bool operator==(const Call&) const = default;
    };

    void message(const std::string& text) override;
    void error(const std::string& text) override;
    void setProgress(int position) override;
    void finished(bool success) override;
    void cancel() override;

    /// Cancels when the n-th (1-based) informational line arrives, before recording it; 0 never does.
    void cancelOnMessage(int n);

    /// A copy of every call so far, in order.
    std::vector<Call> calls() const;
    /// The texts of the calls of one kind, in order.
    std::vector<std::string> texts(Kind kind) const;
    /// A readable line per call ("message: ...", "error: ...", "progress: 40", "finished: true", "cancel").
    std::vector<std::string> transcript() const;
    void clear();

private:
    void record(Call call);

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;
    int m_messages = 0;
    int m_cancelOnMessage = 0;
};
} // namespace Tools
