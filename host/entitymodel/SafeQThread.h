#pragma once
#include <QThread>

#include <string>

namespace EntityModel
{
/// A thread whose run calls do_run and keeps an exception from leaving the thread: its text is
/// kept (lastError) and reported with qWarning.
///
/// Destroying it while it runs asks it to stop (requestInterruption, for do_run to look at) and
/// waits until it has. A derived class whose do_run uses its own members calls stopAndWait() in
/// its own destructor, before those members go.
class SafeQThread : public QThread
{
    Q_OBJECT
public:
    explicit SafeQThread(QObject* parent = nullptr);
    ~SafeQThread() override;

    /// The text of the exception that ended the last run (empty when none).
    std::string lastError() const { return lastError_; }

protected:
    /// Requests interruption and waits for the thread to finish; does nothing when it is not running.
    void stopAndWait();
    void run() override;
    virtual void do_run() = 0;

private:
    std::string lastError_;
};
} // namespace EntityModel
