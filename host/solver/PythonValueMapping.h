#pragma once
#include "host/solver/ExchangeValues.h"

#include "host/scripting/PythonValue.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace CFDSolver
{
/// Exchange values as Python sees them: a dict from path to value (bool, int, float or str).
class PythonValueMapping
{
public:
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

    /// The values (only those controllers may read when `readableOnly`) as a new dict; `count`
    /// receives how many it holds.
    static ScriptingSystem::PythonValue toPython(const ExchangeValues& values, bool readableOnly, std::size_t& count);
    /// The pairs of a returned dict (None: none), each checked for a known path, a value of the
    /// node's kind and, with `writableOnly`, write access; throws Refused for the first that fails.
    static std::vector<Write> fromPython(const ScriptingSystem::PythonValue& mapping, const ExchangeValues& values,
                                         bool writableOnly);
};
} // namespace CFDSolver
