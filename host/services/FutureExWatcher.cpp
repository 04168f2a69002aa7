#include "host/services/FutureExWatcher.h"

namespace Futures
{
FutureExWatcherBase::FutureExWatcherBase(QObject* parent) : QObject(parent) {}

bool FutureExWatcherBase::isFinished() const
{
    return m_state && m_state->isFinished();
}

void FutureExWatcherBase::watch(std::shared_ptr<Detail::StateBase> state)
{
    m_state = std::move(state);
    const auto generation = ++m_generation;
    // The task runs queued in this watcher's thread, so reading m_generation needs no lock.
    m_state->continueIn(this,
                        [this, generation]
                        {
                            if (generation != m_generation)
                                return;
                            if (const auto failure = m_state->failure())
                                emit failed(QString::fromStdString(failure.message()));
                            emit finished();
                        },
                        {});
}
} // namespace Futures
