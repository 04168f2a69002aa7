#pragma once
// The QCoreApplication of the test program, made on first use (the test main comes from gtest_main),
// and a bounded wait that serves the event loop.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <functional>
#include <stdexcept>

namespace ServicesTest
{
inline QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "HostServicesTests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

/// Processes events until the condition holds or a generous guard time passed; returns the condition.
inline bool processEventsUntil(const std::function<bool()>& condition, int guardMs = 10000)
{
    app();
    QDeadlineTimer deadline(guardMs);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    return condition();
}

/// The future, once finished; a future that does not finish within a generous guard time fails the test
/// (by an exception) instead of hanging it.
template <class Future> const Future& settled(const Future& future)
{
    app();
    if (!future.wait(10000))
        throw std::runtime_error("the future did not finish");
    return future;
}
} // namespace ServicesTest
