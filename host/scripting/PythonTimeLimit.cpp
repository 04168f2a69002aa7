#include "host/scripting/PythonTimeLimit.h"

#include "host/scripting/PythonCoreInterpreter.h"

#include <pybind11/embed.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace py = pybind11;

namespace ScriptingSystem
{
namespace
{
using Clock = std::chrono::steady_clock;
constexpr auto repeatEvery = std::chrono::milliseconds(100);
std::atomic<std::chrono::milliseconds::rep> limitMs{30000};

/// The one watchdog thread of the process. Lock order everywhere: interpreter lock, then m_mutex;
/// the thread itself never holds m_mutex while it waits for the interpreter lock.
class Watchdog
{
public:
    static Watchdog& instance()
    {
        // Never destroyed: the thread may be waiting for the interpreter lock when the process ends.
        static Watchdog* watchdog = new Watchdog;
        return *watchdog;
    }

    /// Every Python call takes this path: no allocation once the list has grown to the number of
    /// limits in force at once.
    void add(unsigned long threadId, Clock::time_point deadline, std::atomic<bool>* fired)
    {
        std::lock_guard lock(m_mutex);
        m_entries.push_back(Entry{threadId, deadline, fired});
        // The watchdog wakes by itself at the deadline it waits for; waking it for a later one would
        // cost every call a thread switch.
        if (deadline < m_waitingUntil)
            m_wake.notify_one();
    }

    /// Removes the entry: the watchdog no longer touches its flag.
    void remove(const std::atomic<bool>* fired)
    {
        std::lock_guard lock(m_mutex);
        const auto found =
            std::find_if(m_entries.begin(), m_entries.end(), [fired](const Entry& entry) { return entry.fired == fired; });
        if (found == m_entries.end())
            return;
        *found = m_entries.back();
        m_entries.pop_back();
    }

private:
    struct Entry
    {
        unsigned long threadId;
        Clock::time_point deadline;
        std::atomic<bool>* fired; ///< the limit's own flag
    };

    Watchdog() : m_thread([this] { run(); }) { m_thread.detach(); }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;)
        {
            if (m_entries.empty())
            {
                m_waitingUntil = Clock::time_point::max();
                m_wake.wait(lock);
                continue;
            }
            Clock::time_point earliest = Clock::time_point::max();
            for (const Entry& entry : m_entries)
                earliest = std::min(earliest, entry.deadline);
            if (Clock::now() < earliest)
            {
                m_waitingUntil = earliest;
                m_wake.wait_until(lock, earliest);
                continue;
            }
            m_waitingUntil = Clock::time_point::min();
            lock.unlock();
            {
                py::gil_scoped_acquire gil;
                // Under the interpreter lock an entry cannot be removed meanwhile: its owner
                // removes it holding that lock, so the exception reaches the code it was meant for.
                std::lock_guard again(m_mutex);
                const Clock::time_point now = Clock::now();
                for (Entry& entry : m_entries)
                    if (entry.deadline <= now)
                    {
                        PyThreadState_SetAsyncExc(entry.threadId, PyExc_TimeoutError);
                        entry.fired->store(true);
                        entry.deadline = now + repeatEvery;
                    }
            }
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Entry> m_entries;
    /// The deadline the thread sleeps until (max: until woken; min: it is not asleep).
    Clock::time_point m_waitingUntil = Clock::time_point::max();
    std::thread m_thread;
};
} // namespace

PythonTimeLimit::PythonTimeLimit()
{
    Watchdog::instance().add(PyThread_get_thread_ident(), Clock::now() + limit(), &m_fired);
}

PythonTimeLimit::~PythonTimeLimit()
{
    Watchdog::instance().remove(&m_fired);
    if (m_fired.load())
        PyThreadState_SetAsyncExc(PyThread_get_thread_ident(), nullptr); // one still pending
}

bool PythonTimeLimit::expired() const
{
    return m_fired.load();
}

std::string PythonTimeLimit::message()
{
    std::ostringstream text;
    text << "did not finish within the time limit of " << static_cast<double>(limit().count()) / 1000.0
         << " s";
    return text.str();
}

std::chrono::milliseconds PythonTimeLimit::limit()
{
    return std::chrono::milliseconds(limitMs.load());
}

void PythonTimeLimit::setLimit(std::chrono::milliseconds limit)
{
    limitMs.store(limit.count());
}
} // namespace ScriptingSystem
