#include "host/services/FutureExState.h"

#include "host/services/ToolProgress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

namespace Futures::Detail
{
namespace
{
// Runs the task once, or `abandoned` when it is destroyed unrun (a queued call dropped with its receiver).
class Delivery
{
public:
    Delivery(StateBase::Callback task, StateBase::Callback abandoned)
        : m_task(std::move(task)), m_abandoned(std::move(abandoned))
    {
    }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;
    ~Delivery()
    {
        if (!m_ran && m_abandoned)
            m_abandoned();
    }
    void run()
    {
        m_ran = true;
        m_task();
    }

private:
    StateBase::Callback m_task;
    StateBase::Callback m_abandoned;
    bool m_ran = false;
};

// The local event loop of a wait, reachable from the finishing thread until the wait ends.
struct Waiter
{
    std::mutex mutex;
    QEventLoop* loop = nullptr;
};
} // namespace

bool StateBase::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_finished;
}

bool StateBase::isCancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

bool StateBase::hasFailed() const
{
    std::lock_guard lock(m_mutex);
    return m_finished && m_failure.isFailure();
}

bool StateBase::hasResult() const
{
    std::lock_guard lock(m_mutex);
    return m_finished && hasValueLocked();
}

Log::FailureData StateBase::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

Tools::ToolProgress* StateBase::progress() const
{
    std::lock_guard lock(m_mutex);
    return m_progress;
}

std::vector<std::shared_ptr<StateBase>> StateBase::upstreamsLocked() const
{
    std::vector<std::shared_ptr<StateBase>> result;
    for (const auto& weak : m_upstreams)
        if (auto upstream = weak.lock())
            result.push_back(std::move(upstream));
    return result;
}

void StateBase::attachProgress(Tools::ToolProgress* progress)
{
    std::vector<std::shared_ptr<StateBase>> upstreams;
    {
        std::lock_guard lock(m_mutex);
        m_progress = progress;
        upstreams = upstreamsLocked();
    }
    for (const auto& upstream : upstreams)
        upstream->attachProgressIfNone(progress);
}

void StateBase::attachProgressIfNone(Tools::ToolProgress* progress)
{
    std::vector<std::shared_ptr<StateBase>> upstreams;
    {
        std::lock_guard lock(m_mutex);
        if (m_progress != nullptr)
            return;
        m_progress = progress;
        upstreams = upstreamsLocked();
    }
    for (const auto& upstream : upstreams)
        upstream->attachProgressIfNone(progress);
}

void StateBase::cancel()
{
    cancelFrom(nullptr);
}

void StateBase::cancelFrom(Tools::ToolProgress* alreadyCancelled)
{
    Tools::ToolProgress* progress = nullptr;
    std::vector<std::shared_ptr<StateBase>> upstreams;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished || m_cancelled)
            return;
        m_cancelled = true;
        progress = m_progress;
        upstreams = upstreamsLocked();
    }
    if (progress != nullptr && progress != alreadyCancelled)
        progress->cancel();
    for (const auto& upstream : upstreams)
        upstream->cancelFrom(progress != nullptr ? progress : alreadyCancelled);
}

void StateBase::addUpstream(const std::shared_ptr<StateBase>& upstream)
{
    Tools::ToolProgress* progress = nullptr;
    bool cancelled = false;
    {
        std::lock_guard lock(m_mutex);
        m_upstreams.push_back(upstream);
        progress = m_progress;
        cancelled = m_cancelled;
    }
    if (progress != nullptr)
        upstream->attachProgressIfNone(progress);
    if (cancelled)
        upstream->cancelFrom(progress);
}

bool StateBase::finish(const Log::FailureData& failure)
{
    std::vector<Callback> callbacks;
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return false;
        m_finished = true;
        if (failure)
        {
            m_failure = failure;
            dropValueLocked();
        }
        else if (m_cancelled)
            dropValueLocked();
        callbacks.swap(m_callbacks);
        m_upstreams.clear();
        // Notified under the lock: a waiter that wakes may drop the last reference to this state at once.
        m_done.notify_all();
    }
    for (auto& callback : callbacks)
        callback();
    return true;
}

void StateBase::finishCancelledEmpty()
{
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_cancelled = true;
}

void StateBase::onFinished(Callback callback)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_finished)
        {
            m_callbacks.push_back(std::move(callback));
            return;
        }
    }
    callback();
}

void StateBase::continueIn(QObject* context, Callback task, Callback abandoned)
{
    if (context == nullptr)
    {
        onFinished(std::move(task));
        return;
    }
    onFinished(
        [target = QPointer<QObject>(context), task = std::move(task), abandoned = std::move(abandoned)]
        {
            // The queued call owns the delivery alone, so it ends in the receiver's thread unless Qt drops
            // it.
            auto delivery = std::make_shared<Delivery>(task, abandoned);
            if (QObject* receiver = target.data())
                QMetaObject::invokeMethod(
                    receiver, [delivery = std::move(delivery)] { delivery->run(); }, Qt::QueuedConnection);
        });
}

bool StateBase::wait(int timeoutMs)
{
    if (isFinished())
        return true;
    if (QCoreApplication::instance() == nullptr)
    {
        std::unique_lock lock(m_mutex);
        if (timeoutMs < 0)
            m_done.wait(lock, [this] { return m_finished; });
        else
            m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_finished; });
        return m_finished;
    }

    QEventLoop loop;
    auto waiter = std::make_shared<Waiter>();
    waiter->loop = &loop;
    onFinished(
        [waiter]
        {
            std::lock_guard lock(waiter->mutex);
            if (waiter->loop != nullptr)
                QMetaObject::invokeMethod(waiter->loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    if (timeoutMs >= 0)
        QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    // The future may have finished before the callback was registered: then the callback has already posted
    // the quit, which exec() picks up.
    loop.exec();
    {
        std::lock_guard lock(waiter->mutex);
        waiter->loop = nullptr;
    }
    return isFinished();
}
} // namespace Futures::Detail
