#pragma once
#include "host/solver/ExchangeValues.h"

#include "host/scripting/PythonValue.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace CFDSolver
{
/// Exchange values as Python sees them: a dict from path to value (bool, int, float or str).
///
/// An object keeps the dict of one model's values between calls, its keys made once, and brings
/// only the values that changed up to date; each call gets a copy of its own to keep or change.
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
    /// How many values the dicts hold.
    std::size_t size() const { return m_entries.size(); }

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

    /// The pairs of a returned dict (None: none), each checked for a known path, a value of the
    /// node's kind and, with `writableOnly`, write access; throws Refused for the first that fails.
    static std::vector<Write> fromPython(const ScriptingSystem::PythonValue& mapping, const ExchangeValues& values,
                                         bool writableOnly);

private:
    struct Entry
    {
        const ExchangeValues::Value* value;
        ScriptingSystem::PythonValue key;
        std::optional<ExchangeScalar> last; ///< nothing until first put in the dict
        bool storedFloat = false;            ///< a single-precision node that held a value
        float lastFloat = 0.0F;              ///< its value as it was read
    };
    std::vector<Entry> m_entries;
    ScriptingSystem::PythonValue m_dict;
};
} // namespace CFDSolver
