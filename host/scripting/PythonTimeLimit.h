#pragma once
#include <atomic>
#include <chrono>
#include <string>

namespace ScriptingSystem
{
/// Bounds how long the Python code that the calling thread runs within the object's lifetime may
/// take. A watchdog thread raises TimeoutError in the running code when the limit passes (and
/// again every 100 ms, should the code catch it), so that a script looping for ever cannot hang
/// the program. Python code is only interrupted between bytecodes: one long native call (a
/// `time.sleep`, a large numpy operation) is stopped when it returns, and code that catches the
/// interruption every time and carries on is never stopped.
///
/// Construct and destroy it while holding the interpreter lock.
class PythonTimeLimit
{
public:
    PythonTimeLimit();
    ~PythonTimeLimit();
    PythonTimeLimit(const PythonTimeLimit&) = delete;
    PythonTimeLimit& operator=(const PythonTimeLimit&) = delete;

    /// Whether the limit passed while the code ran; the caller then reports `message()` rather
    /// than Python's TimeoutError.
    bool expired() const;
    /// "did not finish within the time limit of 30 s".
    static std::string message();

    /// The limit for every Python call of the process: 30 s unless set otherwise.
    static std::chrono::milliseconds limit();
    static void setLimit(std::chrono::milliseconds limit);

private:
    /// Set by the watchdog when the limit passed, while it holds the object's entry.
    std::atomic<bool> m_fired{false};
};
} // namespace ScriptingSystem
