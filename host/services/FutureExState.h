#pragma once
// The shared state behind FutureEx handles and their producers; not used directly by callers.
#include "host/services/FailureData.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

class QObject;

namespace Tools
{
class ToolProgress;
}

namespace Futures::Detail
{
/// Completion, failure, cancellation, progress and the callbacks waiting for completion. Thread-safe.
class StateBase
{
public:
    using Callback = std::function<void()>;

    StateBase() = default;
    StateBase(const StateBase&) = delete;
    StateBase& operator=(const StateBase&) = delete;
    virtual ~StateBase() = default;

    bool isFinished() const;
    bool isCancelled() const;
    bool hasFailed() const;
    bool hasResult() const;
    Log::FailureData failure() const;
    Tools::ToolProgress* progress() const;

    /// Attaches a progress object here and to every upstream state that has none.
    void attachProgress(Tools::ToolProgress* progress);
    /// Marks the state cancelled (a later result is dropped), cancels the attached progress and the upstream
    /// states. No effect once finished.
    void cancel();
    /// Links a state whose completion this one waits for: progress and cancellation reach it.
    void addUpstream(const std::shared_ptr<StateBase>& upstream);

    /// Finishes: with a failure, or else with the stored result (dropped when cancelled). Runs the callbacks
    /// in this thread. False when already finished.
    bool finish(const Log::FailureData& failure);
    /// Marks the state as finished and cancelled, without result; for default-constructed futures.
    void finishCancelledEmpty();

    /// Runs the callback once the state is finished: in the finishing thread, or at once in this thread
    /// when it is finished already.
    void onFinished(Callback callback);
    /// Runs `task` in the thread of `context` (queued through its event loop) once the state is finished;
    /// a null context runs it as onFinished does. When the context is destroyed before the task could run,
    /// `abandoned` runs instead, in whichever thread noticed it.
    void continueIn(QObject* context, Callback task, Callback abandoned);

    /// Blocks until finished or until timeoutMs (negative: no limit) passed. With a QCoreApplication it
    /// runs a local QEventLoop, so this thread's timers and queued calls go on; without one it sleeps.
    /// Returns isFinished().
    bool wait(int timeoutMs);

protected:
    virtual bool hasValueLocked() const = 0;
    virtual void dropValueLocked() = 0;
    /// True when a result may still be stored (neither finished nor cancelled).
    bool acceptsResultLocked() const { return !m_finished && !m_cancelled; }

    mutable std::mutex m_mutex;

private:
    void attachProgressIfNone(Tools::ToolProgress* progress);
    void cancelFrom(Tools::ToolProgress* alreadyCancelled);
    std::vector<std::shared_ptr<StateBase>> upstreamsLocked() const;

    std::condition_variable m_done;
    bool m_finished = false;
    bool m_cancelled = false;
    Log::FailureData m_failure;
    Tools::ToolProgress* m_progress = nullptr;
    std::vector<std::weak_ptr<StateBase>> m_upstreams;
    std::vector<Callback> m_callbacks;
};

/// The type a future of T stores: T itself, or an empty marker for void.
template <class T> using Stored = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

template <class T> class State : public StateBase
{
public:
    /// Stores the result unless the state is finished or cancelled; returns whether it was stored.
    bool storeResult(Stored<T> value)
    {
        std::lock_guard lock(m_mutex);
        if (!acceptsResultLocked())
            return false;
        m_value.emplace(std::move(value));
        return true;
    }

    std::optional<Stored<T>> value() const
    {
        std::lock_guard lock(m_mutex);
        return m_value;
    }

protected:
    bool hasValueLocked() const override { return m_value.has_value(); }
    void dropValueLocked() override { m_value.reset(); }

private:
    std::optional<Stored<T>> m_value;
};
} // namespace Futures::Detail
