#include "host/entitymodel/SafeQThread.h"

#include <QtGlobal>

#include <exception>

namespace EntityModel
{
SafeQThread::SafeQThread(QObject* parent) : QThread(parent) {}

SafeQThread::~SafeQThread()
{
    // QThread aborts the process when destroyed while running.
    stopAndWait();
}

void SafeQThread::stopAndWait()
{
    if (!isRunning())
        return;
    requestInterruption();
    quit();
    wait();
}

void SafeQThread::run()
{
    lastError_.clear();
    try
    {
        do_run();
    }
    catch (const std::exception& e)
    {
        lastError_ = e.what();
    }
    catch (...)
    {
        lastError_ = "Unknown exception";
    }
    if (!lastError_.empty())
        qWarning("%s: %s", qPrintable(objectName()), lastError_.c_str());
}
} // namespace EntityModel
