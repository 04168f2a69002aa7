#include "host/scripting/PythonCoreInterpreter.h"

#include <pybind11/embed.h>

#include <mutex>
#include <stdexcept>

namespace py = pybind11;

namespace ScriptingSystem
{
void PythonCoreInterpreter::ensureStarted()
{
    static std::once_flag started;
    std::call_once(started,
                   []
                   {
                       if (Py_IsInitialized())
                           return;
                       // The host keeps its own signal handlers; the interpreter is never finalised
                       // because objects of it may outlive any one owner until the process ends.
                       py::initialize_interpreter(false);
                       // Release the lock taken by start-up so that every thread can take it in turn.
                       PyEval_SaveThread();
                   });
}

std::string PythonCoreInterpreter::takeErrorMessage()
{
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type)
        return "unknown Python error";
    PyErr_NormalizeException(&type, &value, &traceback);
    py::object typeObject = py::reinterpret_steal<py::object>(type);
    py::object valueObject = py::reinterpret_steal<py::object>(value);
    py::object tracebackObject = py::reinterpret_steal<py::object>(traceback);

    std::string message;
    try
    {
        message = py::str(typeObject.attr("__name__")).cast<std::string>();
        const std::string text = valueObject ? py::str(valueObject).cast<std::string>() : std::string();
        if (!text.empty())
            message += ": " + text;
        // A syntax error names its file and line in its own text; others get the innermost frame.
        const bool isSyntaxError = PyErr_GivenExceptionMatches(type, PyExc_SyntaxError);
        if (!isSyntaxError && tracebackObject && !tracebackObject.is_none())
        {
            py::list frames = py::module_::import("traceback").attr("extract_tb")(tracebackObject);
            if (!frames.empty())
            {
                py::object last = frames[frames.size() - 1];
                message += " (" + py::str(last.attr("filename")).cast<std::string>() + ", line " +
                           py::str(last.attr("lineno")).cast<std::string>() + ")";
            }
        }
    }
    catch (const py::error_already_set& e)
    {
        message += " [" + std::string(e.what()) + "]";
    }
    PyErr_Clear();
    return message;
}

PythonCoreInterpreter::PythonCoreInterpreter()
{
    ensureStarted();
}

PythonValue PythonCoreInterpreter::compileExec(const std::string& source, const std::string& fileName)
{
    if (source.find('\0') != std::string::npos)
        throw std::runtime_error("Python source " + fileName + " contains a null byte");
    py::gil_scoped_acquire lock;
    PyObject* code = Py_CompileString(source.c_str(), fileName.c_str(), Py_file_input);
    if (!code)
        throw std::runtime_error(takeErrorMessage());
    return PythonValue::steal(code);
}

PythonModule PythonCoreInterpreter::importCodeModule(const std::string& moduleName, const PythonValue& code)
{
    py::gil_scoped_acquire lock;
    if (code.isEmpty() || !PyCode_Check(code.get()))
        throw std::runtime_error("Python module " + moduleName + ": the value to import is no compiled code");
    if (moduleName.empty() || moduleName.find('\0') != std::string::npos)
        throw std::runtime_error("Python module name \"" + moduleName + "\" is not valid");
    // Executing into a module of that name imported before would keep its old definitions.
    if (PyDict_DelItemString(PyImport_GetModuleDict(), moduleName.c_str()) != 0)
        PyErr_Clear();
    PyObject* module = PyImport_ExecCodeModule(moduleName.c_str(), code.get());
    if (!module)
        throw std::runtime_error(takeErrorMessage());
    return PythonModule(moduleName, PythonValue::steal(module));
}
} // namespace ScriptingSystem
