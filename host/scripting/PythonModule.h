#pragma once
#include "host/scripting/PythonFunction.h"
#include "host/scripting/PythonValue.h"

#include <optional>
#include <string>

namespace ScriptingSystem
{
/// An imported Python module.
class PythonModule
{
public:
    PythonModule(std::string name, PythonValue module);

    const std::string& getName() const { return m_name; }
    /// The module-level function of that name (a def or lambda defined or imported at module
    /// level); empty when there is none or the name is bound to something that is no function,
    /// such as a class or a number.
    std::optional<PythonFunction> findFunction(const std::string& name) const;
    const PythonValue& getObject() const { return m_module; }

private:
    std::string m_name;
    PythonValue m_module;
};
} // namespace ScriptingSystem
