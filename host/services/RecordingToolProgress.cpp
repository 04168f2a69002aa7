#include "host/services/RecordingToolProgress.h"

namespace Tools
{
void RecordingToolProgress::message(const std::string& text)
{
    bool cancelNow = false;
    {
        std::lock_guard lock(m_mutex);
        cancelNow = ++m_messages == m_cancelOnMessage;
    }
    if (cancelNow)
        cancel();
    record({Kind::Message, text, 0});
}

void RecordingToolProgress::error(const std::string& text)
{
    record({Kind::Error, text, 0});
}

void RecordingToolProgress::setProgress(int position)
{
    record({Kind::Progress, {}, clampPosition(position)});
}

void RecordingToolProgress::finished(bool success)
{
    record({Kind::Finished, {}, success ? 1 : 0});
}

void RecordingToolProgress::cancel()
{
    ToolProgress::cancel();
    record({Kind::Cancel, {}, 0});
}

void RecordingToolProgress::cancelOnMessage(int n)
{
    std::lock_guard lock(m_mutex);
    m_cancelOnMessage = n;
}

std::vector<RecordingToolProgress::Call> RecordingToolProgress::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<std::string> RecordingToolProgress::texts(Kind kind) const
{
    std::vector<std::string> result;
    for (const auto& call : calls())
        if (call.kind == kind)
            result.push_back(call.text);
    return result;
}

std::vector<std::string> RecordingToolProgress::transcript() const
{
    std::vector<std::string> lines;
    for (const auto& call : calls())
    {
        switch (call.kind)
        {
        case Kind::Message:
            lines.push_back("message: " + call.text);
            break;
        case Kind::Error:
            lines.push_back("error: " + call.text);
            break;
        case Kind::Progress:
            lines.push_back("progress: " + std::to_string(call.value));
            break;
        case Kind::Finished:
            lines.push_back(call.value ? "finished: true" : "finished: false");
            break;
        case Kind::Cancel:
            lines.push_back("cancel");
            break;
        }
    }
    return lines;
}

void RecordingToolProgress::clear()
{
    std::lock_guard lock(m_mutex);
    m_calls.clear();
    m_messages = 0;
}

void RecordingToolProgress::record(Call call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}
} // namespace Tools
