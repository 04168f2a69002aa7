#pragma once
#include "host/scripting/PythonValue.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace ScriptingSystem
{
/// A callable found in a Python module.
class PythonFunction
{
public:
    PythonFunction(std::string name, PythonValue callable);

    const std::string& getName() const { return m_name; }
    /// Calls the function with positional arguments; a Python exception becomes a
    /// std::runtime_error carrying its type, message and line.
    PythonValue call(const std::vector<PythonValue>& arguments = {}) const;
    /// The same without a vector to make (controllers are called every iteration).
    PythonValue call(std::initializer_list<PythonValue> arguments) const;
    const PythonValue& getCallable() const { return m_callable; }

private:
    PythonValue call(const PythonValue* arguments, std::size_t count) const;

    std::string m_name;
    PythonValue m_callable;
};
} // namespace ScriptingSystem
