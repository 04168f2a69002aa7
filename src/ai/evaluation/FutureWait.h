#pragma once
// The blocking wait of the evaluators: internal to src/ai/evaluation.
#include "host/services/Failure.h"
#include "host/services/FutureEx.h"
#include "host/services/FutureExWatcher.h"

#include <QEventLoop>
#include <QObject>
#include <type_traits>

namespace Conflux
{
/// Waits for the future in a local event loop of this thread (its timers and queued calls go on meanwhile),
/// then returns its value or rethrows its failure; "Not Finished" and "No Results" (in the translation
/// context of Context) when it ended neither way.
template <class Context, class T> T waitFor(const Futures::FutureEx<T>& future)
{
    Futures::FutureExWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &Futures::FutureExWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished() && !future.hasFailed())
        loop.exec();
    if (const Log::FailureData failure = future.failure())
        failure.rethrow();
    if (!future.isFinished())
        throw Futures::Failure(Context::tr("Not Finished").toStdString());
    if (!future.hasResult())
        throw Futures::Failure(Context::tr("No Results").toStdString());
    if constexpr (!std::is_void_v<T>)
        return std::move(*future.result());
}
} // namespace Conflux
