#pragma once
#include <atomic>
#include <string>

namespace Conflux::Model
{
class Attribute;

/// Sees the value reads and writes that a controller makes through the SDK on the calling thread,
/// while a `Scope` installs it: the solver's record of what each controller did, and its bounds.
/// Without one (the usual case) the SDK path pays one relaxed load of a process-wide count per call.
class ControllerAccessObserver
{
public:
    virtual ~ControllerAccessObserver() = default;

    /// A checked read that succeeded.
    virtual void read(const Attribute& attribute) = 0;
    /// Before a checked write of a number: throws std::runtime_error saying why the model does not
    /// take it (the SDK call then fails with that message).
    virtual void checkWrite(const Attribute& attribute, double value) = 0;
    /// A checked write that succeeded.
    virtual void written(const Attribute& attribute) = 0;
    /// A checked write that the model refused, with the message the controller receives.
    virtual void refused(const Attribute& attribute, const std::string& reason) = 0;

    /// The observer of the calling thread; null when none is installed.
    static ControllerAccessObserver* current()
    {
        // The count spares the thread-local look-up while no thread has one, the usual case.
        return s_installed.load(std::memory_order_relaxed) == 0 ? nullptr : s_current;
    }

    /// Installs an observer for the calling thread for its lifetime, and puts the previous back.
    class Scope
    {
    public:
        explicit Scope(ControllerAccessObserver* observer) : m_previous(s_current)
        {
            s_current = observer;
            s_installed.fetch_add(1, std::memory_order_relaxed);
        }
        ~Scope()
        {
            s_installed.fetch_sub(1, std::memory_order_relaxed);
            s_current = m_previous;
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        ControllerAccessObserver* m_previous;
    };

private:
    // constinit: no dynamic initialisation, so the thread-local is reached without a wrapper call.
    static constinit thread_local ControllerAccessObserver* s_current;
    /// How many scopes are open, on all threads.
    static std::atomic<int> s_installed;
};
} // namespace Conflux::Model
