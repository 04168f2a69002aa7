#include "host/services/FutureExRunner.h"

#include <QTimer>

namespace Futures
{
FutureExRunnerBase::FutureExRunnerBase(QObject* parent) : QObject(parent) {}

// The typed interface of FutureExRunner is destroyed before this destructor runs; an unfinished future
// has then already failed as abandoned.
FutureExRunnerBase::~FutureExRunnerBase() = default;

Tools::ToolProgress* FutureExRunnerBase::getProgress() const
{
    return interfaceProgress();
}

bool FutureExRunnerBase::isCancelled() const
{
    return interfaceCancelled();
}

void FutureExRunnerBase::startLater()
{
    QTimer::singleShot(1, Qt::PreciseTimer, this, &FutureExRunnerBase::start);
}

void FutureExRunnerBase::start()
{
    try
    {
        run();
        finishLater();
    }
    catch (...)
    {
        failLater(std::current_exception());
    }
}

void FutureExRunnerBase::run() {}

void FutureExRunnerBase::finishLater()
{
    QTimer::singleShot(1, Qt::PreciseTimer, this, [this] { runFinished({}); });
}

void FutureExRunnerBase::failLater(std::exception_ptr exception)
{
    QTimer::singleShot(1, Qt::PreciseTimer, this,
                       [this, failure = Log::FailureData::fromException(exception)]
                       { runFinished(failure ? failure : Log::FailureData("Unhandled Exception")); });
}

void FutureExRunnerBase::runFinished(const Log::FailureData& failure)
{
    if (failure)
        finishWithFailure(failure);
    else
    {
        publishResult();
        finishInterface();
    }
    if (m_autoDelete)
        deleteLater();
}
} // namespace Futures
