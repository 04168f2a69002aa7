#pragma once
#include "host/services/Failure.h"
#include "host/services/FailureData.h"
#include "host/services/FutureExState.h"

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

class QObject;

namespace Tools
{
class ToolProgress;
}

namespace Futures
{
template <class T> class FutureExInterface;
template <class T> class FutureExWatcher;
template <class T> class FutureEx;

namespace Detail
{
template <class U> struct Unwrap
{
    using type = U;
    static constexpr bool isFuture = false;
};
template <class V> struct Unwrap<FutureEx<V>>
{
    using type = V;
    static constexpr bool isFuture = true;
};

/// What a continuation returns: it takes the finished input future, or else its value (nothing for void).
template <class T, class F> struct Continuation
{
    static constexpr bool takesFuture = std::is_invocable_v<F&, const FutureEx<T>&>;
    static auto returned()
    {
        if constexpr (takesFuture)
            return std::type_identity<std::invoke_result_t<F&, const FutureEx<T>&>>{};
        else if constexpr (std::is_void_v<T>)
            return std::type_identity<std::invoke_result_t<F&>>{};
        else
            return std::type_identity<std::invoke_result_t<F&, T&&>>{};
    }
    using Returned = typename decltype(returned())::type;
    using Result = typename Unwrap<Returned>::type;
};
} // namespace Detail

/// A handle on the outcome of an asynchronous operation: a value (none for void), or a failure carrying
/// the exception that was raised. Copies share one outcome. Cancellation asks the producer to stop and drops
/// a value that arrives later; the future is finished only when its producer says so.
/// A default-constructed future is finished and cancelled, without value.
template <class T> class FutureEx
{
public:
    using value_type = T;

    FutureEx() : m_state(std::make_shared<Detail::State<T>>()) { m_state->finishCancelledEmpty(); }

    /// Finished in any way: with a value, with a failure, or cancelled without value.
    bool isFinished() const { return m_state->isFinished(); }
    bool isCancelled() const { return m_state->isCancelled(); }
    bool hasFailed() const { return m_state->hasFailed(); }
    /// Finished with a value (for void: finished successfully and not cancelled).
    bool hasResult() const { return m_state->hasResult(); }
    /// The failure; empty unless hasFailed().
    Log::FailureData failure() const { return m_state->failure(); }

    /// The value once finished with one; empty otherwise. Does not wait.
    std::optional<T> result() const requires(!std::is_void_v<T>)
    {
        if (!m_state->hasResult())
            return std::nullopt;
        return m_state->value();
    }

    /// Asks the producer to stop: marks the future cancelled, cancels the attached progress and the futures
    /// this one waits for. No effect on a finished future.
    void cancel() const { m_state->cancel(); }

    /// Attaches a progress object (not owned; it must outlive the operation). Futures this one waits for
    /// and that have none get it too, so the runner doing the work reports through it.
    void attachProgress(Tools::ToolProgress* progress) const { m_state->attachProgress(progress); }
    Tools::ToolProgress* progress() const { return m_state->progress(); }

    /// Waits until finished, or for at most timeoutMs (negative: no limit), serving this thread's event
    /// loop meanwhile (continuations and timers of this thread still run). Returns isFinished().
    bool wait(int timeoutMs = -1) const { return m_state->wait(timeoutMs); }

    /// Waits, then returns the value; rethrows the failure's exception; throws Futures::Failure
    /// "Not Finished" when the wait ended early and "No Results" when finished without value.
    T get() const
    {
        wait();
        if (const auto failed = failure())
            failed.rethrow();
        if (!isFinished())
            throw Failure("Not Finished");
        if (!hasResult())
            throw Failure("No Results");
        if constexpr (!std::is_void_v<T>)
            return *m_state->value();
    }

    /// Chains f, run in the thread of `context` (queued through its event loop) once this future is
    /// finished. f takes either this future (finished) or its value (nothing for void); in the second form a
    /// failure passes on unchanged and a missing value fails with Futures::Failure "No Result". f's return
    /// value is the returned future's value; a returned FutureEx is followed. An exception thrown by f fails
    /// the returned future. A null context runs f in the thread that finishes this future. If the context
    /// is destroyed first, the returned future fails. Cancelling the returned future cancels this one and
    /// skips f.
    template <class F>
    FutureEx<typename Detail::Continuation<T, std::decay_t<F>>::Result> then(QObject* context, F&& f) const;

private:
    template <class> friend class FutureEx;
    template <class> friend class FutureExInterface;
    template <class> friend class FutureExWatcher;

    explicit FutureEx(std::shared_ptr<Detail::State<T>> state) : m_state(std::move(state)) {}

    /// Makes `next` follow `inner`: its value, failure or end; progress and cancellation reach `inner`.
    template <class R>
    static void follow(const FutureEx<R>& inner, const std::shared_ptr<FutureExInterface<R>>& next)
    {
        next->future().m_state->addUpstream(inner.m_state);
        inner.m_state->onFinished(
            [inner, next]
            {
                if (inner.hasFailed())
                {
                    next->reportFailure(inner.failure());
                    return;
                }
                if (inner.hasResult())
                {
                    if constexpr (std::is_void_v<R>)
                        next->reportResult();
                    else
                        next->reportResult(*inner.m_state->value());
                }
                next->reportFinished();
            });
    }

    std::shared_ptr<Detail::State<T>> m_state;
};

/// The producer side of a future: stores one value, reports a failure, reports the end. Move-only.
/// Destroying an unfinished interface fails its future ("The operation was abandoned before it finished"),
/// so waiters never hang on a producer that is gone.
template <class T> class FutureExInterface
{
public:
    FutureExInterface() : m_state(std::make_shared<Detail::State<T>>()) {}
    FutureExInterface(FutureExInterface&&) noexcept = default;
    FutureExInterface& operator=(FutureExInterface&& other) noexcept
    {
        if (this != &other)
        {
            abandon();
            m_state = std::move(other.m_state);
        }
        return *this;
    }
    FutureExInterface(const FutureExInterface&) = delete;
    FutureExInterface& operator=(const FutureExInterface&) = delete;
    ~FutureExInterface() { abandon(); }

    FutureEx<T> future() const { return FutureEx<T>(m_state); }

    /// Stores the value unless the future is cancelled or finished; it is published by reportFinished.
    bool reportResult(Detail::Stored<T> value) requires(!std::is_void_v<T>)
    {
        return m_state->storeResult(std::move(value));
    }
    /// Marks a void operation successful unless the future is cancelled or finished.
    bool reportResult() requires(std::is_void_v<T>) { return m_state->storeResult({}); }
    /// Finishes with the failure (an empty record counts as "Unhandled Exception"). False when finished.
    bool reportFailure(const Log::FailureData& failure)
    {
        return m_state->finish(failure ? failure : Log::FailureData("Unhandled Exception"));
    }
    /// Finishes with the stored value, if any. False when already finished.
    bool reportFinished() { return m_state->finish({}); }

    bool isCancelled() const { return m_state->isCancelled(); }
    bool isFinished() const { return m_state->isFinished(); }
    Tools::ToolProgress* progress() const { return m_state->progress(); }

private:
    template <class> friend class FutureEx;

    void abandon()
    {
        if (m_state)
            m_state->finish(Log::FailureData("The operation was abandoned before it finished"));
    }

    std::shared_ptr<Detail::State<T>> m_state;
};

/// A future that is finished with the value.
template <class T> FutureEx<std::decay_t<T>> makeReadyFuture(T&& value)
{
    FutureExInterface<std::decay_t<T>> producer;
    producer.reportResult(std::forward<T>(value));
    producer.reportFinished();
    return producer.future();
}

/// A void future that is finished successfully.
inline FutureEx<void> makeReadyFuture()
{
    FutureExInterface<void> producer;
    producer.reportResult();
    producer.reportFinished();
    return producer.future();
}

/// A future that is finished with the failure.
template <class T> FutureEx<T> makeFailedFuture(const Log::FailureData& failure)
{
    FutureExInterface<T> producer;
    producer.reportFailure(failure);
    return producer.future();
}

/// A future that is finished with the exception (std::make_exception_ptr, std::current_exception).
template <class T> FutureEx<T> makeFailedFuture(std::exception_ptr exception)
{
    return makeFailedFuture<T>(Log::FailureData::fromException(std::move(exception)));
}

template <class T>
template <class F>
FutureEx<typename Detail::Continuation<T, std::decay_t<F>>::Result> FutureEx<T>::then(QObject* context,
                                                                                      F&& f) const
{
    using Fn = std::decay_t<F>;
    using C = Detail::Continuation<T, Fn>;
    using R = typename C::Result;
    using Returned = typename C::Returned;

    auto next = std::make_shared<FutureExInterface<R>>();
    FutureEx<R> chained = next->future();
    chained.m_state->addUpstream(m_state);

    auto fn = std::make_shared<Fn>(std::forward<F>(f));
    const FutureEx<T> input = *this;
    auto task = [input, next, fn]
    {
        if (next->isCancelled())
        {
            next->reportFinished();
            return;
        }
        if constexpr (!C::takesFuture)
        {
            // The value form passes a failure on unchanged and needs a value.
            if (input.hasFailed())
            {
                next->reportFailure(input.failure());
                return;
            }
            if (!input.hasResult())
            {
                next->reportFailure(
                    Log::FailureData::fromException(std::make_exception_ptr(Failure("No Result"))));
                return;
            }
        }
        try
        {
            auto invoke = [&]() -> Returned
            {
                if constexpr (C::takesFuture)
                    return std::invoke(*fn, input);
                else if constexpr (std::is_void_v<T>)
                    return std::invoke(*fn);
                else
                    return std::invoke(*fn, *input.m_state->value());
            };
            if constexpr (Detail::Unwrap<Returned>::isFuture)
                follow<R>(invoke(), next);
            else if constexpr (std::is_void_v<Returned>)
            {
                invoke();
                next->reportResult();
                next->reportFinished();
            }
            else
            {
                next->reportResult(invoke());
                next->reportFinished();
            }
        }
        catch (...)
        {
            next->reportFailure(Log::FailureData::fromCurrentException());
        }
    };
    auto abandoned = [next]
    { next->reportFailure(Log::FailureData("The context of a continuation was destroyed before it ran")); };
    m_state->continueIn(context, std::move(task), std::move(abandoned));
    return chained;
}
} // namespace Futures
