#pragma once
#include <QThread>

#include <string>

namespace EntityModel
{
/// A thread whose run calls do_run and keeps an exception from leaving the thread: its text is
/// kept (lastError) and reported with qWarning.
class SafeQThread : public QThread
{
    Q_OBJECT
public:
    explicit SafeQThread(QObject* parent = nullptr);
    ~SafeQThread() override;

    /// The text of the exception that ended the last run (empty when none).
    std::string lastError() const { return lastError_; }

protected:
    void run() override;
    virtual void do_run() = 0;

private:
    std::string lastError_;
};
} // namespace EntityModel
