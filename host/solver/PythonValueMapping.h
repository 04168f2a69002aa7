#pragma once
#include "host/solver/ExchangeValues.h"

#include "host/scripting/PythonValue.h"

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

struct _object;

namespace CFDSolver
{
/// Exchange values as Python sees them: a mapping from path to value (bool, int, float or str).
///
/// `current()` gives a new dict of every value. `lend()` gives, for the length of one call, a
/// mapping that reads each value from the model only when Python asks for it (a handler reading
/// two of sixty values pays for two). It behaves as a dict of its own: assigning to it or deleting
/// from it changes that copy only, its other methods (`keys`, `items`, `copy`, `pop`, ...) are
/// dict's, `copy()` and `dict(mapping)` give a plain dict. When the call ends, a mapping that
/// Python still holds keeps the values it had during the call.
class PythonValueMapping
{
public:
    /// The values (only those controllers may read when `readableOnly`) of `values`, which must
    /// outlive the object.
    PythonValueMapping(const ExchangeValues& values, bool readableOnly);
    ~PythonValueMapping();
    PythonValueMapping(const PythonValueMapping&) = delete;
    PythonValueMapping& operator=(const PythonValueMapping&) = delete;

    /// A new dict of the current values.
    ScriptingSystem::PythonValue current();
    /// How many values the mappings hold.
    std::size_t size() const { return m_entries.size(); }

    /// The lent mapping of one call; the caller holds the interpreter lock while it lives.
    class Lease
    {
    public:
        explicit Lease(PythonValueMapping& owner);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        /// The mapping to pass to Python.
        const ScriptingSystem::PythonValue& mapping() const;

    private:
        PythonValueMapping& m_owner;
    };
    /// The read-through mapping for one call (see the class comment). The caller holds the
    /// interpreter lock; one lease at a time.
    Lease lend() { return Lease(*this); }

    /// A pair of a returned mapping that the model does not take: the path (empty when the
    /// mapping itself is wrong) and why.
    class Refused : public std::runtime_error
    {
    public:
        Refused(std::string path, std::string reason);
        const std::string& path() const { return m_path; }
        const std::string& reason() const { return m_reason; }

    private:
        std::string m_path;
        std::string m_reason;
    };

    struct Write
    {
        const ExchangeValues::Value* target;
        ExchangeScalar value;
    };

    /// The pairs of a returned dict or lent mapping (None: none), each checked for a known path, a
    /// value of the node's kind and, with `writableOnly`, write access; throws Refused for the
    /// first that fails.
    static std::vector<Write> fromPython(const ScriptingSystem::PythonValue& mapping, const ExchangeValues& values,
                                         bool writableOnly);
    /// The same for the values of this object's model; the caller holds the interpreter lock.
    std::vector<Write> writes(const ScriptingSystem::PythonValue& mapping, bool writableOnly) const;

private:
    struct Slots;
    friend struct Slots;

    struct Entry
    {
        const ExchangeValues::Value* value;
        _object* key = nullptr;              ///< owned
        _object* object = nullptr;           ///< owned; the value as Python saw it last
        std::optional<ExchangeScalar> last;  ///< nothing until first read
        bool storedFloat = false;            ///< a single-precision node that held a value
        float lastFloat = 0.0F;              ///< its value as it was read
    };
    /// The position of a path's entry; size() with no Python error when there is none. The caller
    /// holds the interpreter lock.
    std::size_t find(_object* key) const;
    /// Brings the entry's object up to date; true when it changed. Throws what reading throws.
    bool refresh(Entry& entry);
    /// Makes the lent mapping read the model (a new one when Python kept the last).
    void beginLease();
    /// Ends the lent mapping's call: one that Python still holds gets the values it showed.
    void endLease();

    static std::vector<Write> collect(const ScriptingSystem::PythonValue& mapping, const ExchangeValues& values,
                                      bool writableOnly, const PythonValueMapping* known);

    const ExchangeValues& m_values;
    std::vector<Entry> m_entries;
    _object* m_dict = nullptr;    ///< owned; current()'s dict, kept up to date
    _object* m_index = nullptr;   ///< owned; path -> position in m_entries
    _object* m_keys = nullptr;    ///< owned; the paths in order, a tuple
    /// Path objects met lately (owned) and their entries: a handler asks with the same constants
    /// every call, found by identity without comparing their text.
    mutable std::array<std::pair<_object*, std::size_t>, 16> m_recent{};
    /// The lent mapping, reused while nobody else holds it.
    ScriptingSystem::PythonValue m_lent;
};
} // namespace CFDSolver
