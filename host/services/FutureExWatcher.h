#pragma once
#include "host/services/FutureEx.h"

#include <QObject>
#include <cstdint>
#include <memory>

namespace Futures
{
/// The signals of a watcher; see FutureExWatcher.
class FutureExWatcherBase : public QObject
{
    Q_OBJECT
public:
    explicit FutureExWatcherBase(QObject* parent = nullptr);

    /// Whether the watched future is finished (false while none is watched).
    bool isFinished() const;

signals:
    /// The watched future finished (value, failure or cancellation); emitted in the watcher's thread.
    void finished();
    /// The watched future finished with a failure; emitted just before finished().
    void failed(const QString& message);

protected:
    void watch(std::shared_ptr<Detail::StateBase> state);

private:
    std::shared_ptr<Detail::StateBase> m_state;
    std::uint64_t m_generation = 0;
};

/// Watches one future at a time and tells by signals, in the watcher's own thread, when it finishes.
/// A future that is already finished is signalled from the event loop, never inside setFuture.
template <class T> class FutureExWatcher : public FutureExWatcherBase
{
public:
    using FutureExWatcherBase::FutureExWatcherBase;

    /// Watches `future` instead of the previous one (whose end is then no longer signalled).
    void setFuture(const FutureEx<T>& future)
    {
        m_future = future;
        watch(future.m_state);
    }
    FutureEx<T> future() const { return m_future; }

private:
    FutureEx<T> m_future;
};
} // namespace Futures
