#pragma once
#include "host/scripting/PythonModule.h"
#include "host/scripting/PythonValue.h"

#include <string>

namespace ScriptingSystem
{
/// Access to the process's embedded Python interpreter. The interpreter starts with the first
/// PythonCoreInterpreter and lives until the process ends; any number of these objects may
/// exist, on any thread: every call takes the interpreter lock itself.
class PythonCoreInterpreter
{
public:
    PythonCoreInterpreter();

    /// Compiles source text as a module body; `fileName` is what error messages and tracebacks
    /// call it. Throws std::runtime_error with Python's message and line on a syntax error.
    PythonValue compileExec(const std::string& source, const std::string& fileName);
    /// Runs compiled code as the body of a new module of that name. The module lives in a
    /// namespace of its own (sys.modules holds it as "confluxtool_modules.NAME", replacing an
    /// earlier one), so it never replaces a module that other code imports. Throws
    /// std::runtime_error with Python's message and line when running the body raises or when
    /// it runs past PythonTimeLimit.
    PythonModule importCodeModule(const std::string& moduleName, const PythonValue& code);
    /// "standard" when `import NAME` (its first dotted part) would find a module of Python's
    /// standard library, "installed" when it would find another installed module, else "". A module
    /// file in the working folder (on the path through "" or ".") is not installed: it is usually the
    /// controller's own file, found because the program runs beside it.
    std::string importableModuleKind(const std::string& moduleName);

    /// Starts the interpreter if it is not running yet (called by the constructor).
    static void ensureStarted();
    /// Formats the pending Python exception as "Type: message (file, line N)" and clears it;
    /// the caller holds the interpreter lock.
    static std::string takeErrorMessage();
};
} // namespace ScriptingSystem
