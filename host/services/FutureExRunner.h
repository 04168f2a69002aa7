#pragma once
#include "host/services/FailureData.h"
#include "host/services/FutureEx.h"

#include <QObject>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace Tools
{
class ToolProgress;
}

namespace Futures
{
/// The producer side of a future, without its value type; FutureExRunner supplies it.
class FutureExRunnerBase : public QObject
{
    Q_OBJECT
public:
    explicit FutureExRunnerBase(QObject* parent = nullptr);
    ~FutureExRunnerBase() override;

    /// The progress object attached to the runner's future (or to a future chained on it); null if none.
    Tools::ToolProgress* getProgress() const;
    /// Whether the runner's future was cancelled; long work may check it and stop early.
    bool isCancelled() const;

    /// Whether the runner deletes itself (deleteLater) once it has completed its future. Default true:
    /// a runner lives until its completion is delivered; its future stays valid afterwards. A runner that is
    /// not made with new (on the stack, or a member) must turn it off.
    void setAutoDelete(bool autoDelete) { m_autoDelete = autoDelete; }
    bool autoDelete() const { return m_autoDelete; }

    /// Schedules start() by a 1 ms precise single-shot timer on this runner, so that it runs from the event
    /// loop of the thread the runner lives in. May be called from any thread with an event loop.
    void startLater();

public slots:
    /// Does the work. The default calls run(); when it returns, the completion is scheduled (finishLater),
    /// when it throws, the failure (failLater). An override that does not call this must schedule one of
    /// them.
    virtual void start();

protected:
    /// The work; stores the result with FutureExRunner::setResult. May throw.
    virtual void run();

    /// Schedules runFinished with no failure, by a 1 ms single-shot timer on this runner.
    void finishLater();
    /// Schedules runFinished with the exception's failure, by a 1 ms single-shot timer on this runner.
    void failLater(std::exception_ptr exception);

    /// Completes the future: with the failure when there is one; else it publishes the stored result (unless
    /// the future is cancelled or finished) and reports the future finished. Then deletes the runner later
    /// when autoDelete() holds.
    virtual void runFinished(const Log::FailureData& failure);

    /// Hooks of FutureExRunner over its typed future interface.
    virtual void publishResult() = 0;
    virtual void finishWithFailure(const Log::FailureData& failure) = 0;
    virtual void finishInterface() = 0;
    virtual Tools::ToolProgress* interfaceProgress() const = 0;
    virtual bool interfaceCancelled() const = 0;

private:
    bool m_autoDelete = true;
};

/// A runner producing one T: a QObject whose start() does the work in the thread it lives in and completes
/// the future returned by future(). Base is FutureExRunnerBase or a class derived from it.
template <class T, class Base = FutureExRunnerBase> class FutureExRunner : public Base
{
    static_assert(std::is_base_of_v<FutureExRunnerBase, Base>, "Base must derive from FutureExRunnerBase");

public:
    template <class... Args> explicit FutureExRunner(Args&&... args) : Base(std::forward<Args>(args)...) {}

    /// The runner's future; take it before the runner is started.
    FutureEx<T> future() const { return m_interface.future(); }

protected:
    /// Stores the result that the completion publishes.
    void setResult(Detail::Stored<T> value) requires(!std::is_void_v<T>)
    {
        m_result.emplace(std::move(value));
    }
    const std::optional<Detail::Stored<T>>& result() const { return m_result; }

    void publishResult() override
    {
        if constexpr (std::is_void_v<T>)
            m_interface.reportResult();
        else if (m_result)
            m_interface.reportResult(std::move(*m_result));
    }
    void finishWithFailure(const Log::FailureData& failure) override { m_interface.reportFailure(failure); }
    void finishInterface() override { m_interface.reportFinished(); }
    Tools::ToolProgress* interfaceProgress() const override { return m_interface.progress(); }
    bool interfaceCancelled() const override { return m_interface.isCancelled(); }

private:
    FutureExInterface<T> m_interface;
    std::optional<Detail::Stored<T>> m_result;
};
} // namespace Futures
