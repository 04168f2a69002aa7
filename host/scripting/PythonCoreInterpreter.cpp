#include "host/scripting/PythonCoreInterpreter.h"

#include "host/scripting/PythonTimeLimit.h"

#include <pybind11/embed.h>

#include <mutex>
#include <stdexcept>

namespace py = pybind11;

namespace ScriptingSystem
{
namespace
{
const std::string modulesPackage = "confluxtool_modules.";

// Modules imported by importCodeModule live under modulesPackage. This finder, last on the
// import path, lets one controller still import another by its plain name, and only when no
// other finder knows that name, so they never hide a standard or installed module.
const char* const finderSource = R"py(
import sys, importlib.abc, importlib.util

class ConfluxModuleFinder(importlib.abc.MetaPathFinder, importlib.abc.Loader):
    confluxtool_modules = True

    def find_spec(self, name, path=None, target=None):
        if path is None and "confluxtool_modules." + name in sys.modules:
            return importlib.util.spec_from_loader(name, self)
        return None

    def create_module(self, spec):
        return sys.modules["confluxtool_modules." + spec.name]

    def exec_module(self, module):
        pass

sys.meta_path.append(ConfluxModuleFinder())
)py";
} // namespace

void PythonCoreInterpreter::ensureStarted()
{
    static std::once_flag started;
    std::call_once(started,
                   []
                   {
                       if (!Py_IsInitialized())
                       {
                           // The host keeps its own signal handlers; the interpreter is never
                           // finalised because objects of it may outlive any one owner until the
                           // process ends.
                           py::initialize_interpreter(false);
                           // Release the start-up's lock so that every thread can take it in turn.
                           PyEval_SaveThread();
                       }
                       py::gil_scoped_acquire lock;
                       py::dict scope;
                       scope["__builtins__"] = py::module_::import("builtins");
                       py::exec(finderSource, scope);
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
    // A namespace of its own: a module named like "json" must not replace json for everyone else.
    const std::string qualified = modulesPackage + moduleName;
    // Executing into a module of that name imported before would keep its old definitions; another
    // controller that imported it by its plain name would keep them too.
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* previous = PyDict_GetItemString(modules, qualified.c_str());
    if (previous && PyDict_GetItemString(modules, moduleName.c_str()) == previous)
        PyDict_DelItemString(modules, moduleName.c_str());
    if (PyDict_DelItemString(modules, qualified.c_str()) != 0)
        PyErr_Clear();
    PythonTimeLimit limit;
    PyObject* module = PyImport_ExecCodeModule(qualified.c_str(), code.get());
    if (limit.expired())
    {
        Py_XDECREF(module);
        PyErr_Clear();
        if (PyDict_DelItemString(PyImport_GetModuleDict(), qualified.c_str()) != 0)
            PyErr_Clear();
        throw std::runtime_error("Python module " + moduleName + ": running the module " +
                                 PythonTimeLimit::message());
    }
    if (!module)
        throw std::runtime_error(takeErrorMessage());
    return PythonModule(moduleName, PythonValue::steal(module));
}

namespace
{
/// Whether a module spec was found in the working folder: a module file there, or a package folder.
bool inWorkingFolder(const py::object& spec)
{
    const py::object origin = spec.attr("origin");
    if (origin.is_none() || !py::isinstance<py::str>(origin) || !spec.attr("has_location").cast<bool>())
        return false;
    const py::object path = py::module_::import("os").attr("path");
    py::object folder = path.attr("dirname")(path.attr("abspath")(origin));
    if (!spec.attr("submodule_search_locations").is_none())
        folder = path.attr("dirname")(folder);
    return folder.equal(py::module_::import("os").attr("getcwd")());
}
} // namespace

std::string PythonCoreInterpreter::importableModuleKind(const std::string& moduleName)
{
    py::gil_scoped_acquire lock;
    try
    {
        const py::str top = py::str(moduleName).attr("split")(".")[py::int_(0)];
        if (!top.attr("isidentifier")().cast<bool>())
            return {};
        const py::module_ sys = py::module_::import("sys");
        if (sys.attr("stdlib_module_names").contains(top) || sys.attr("builtin_module_names").contains(top))
            return "standard";
        // Modules of this interpreter's own controllers are no installed modules.
        const py::object loaded = sys.attr("modules").attr("get")(top);
        if (!loaded.is_none())
            return py::str(py::getattr(loaded, "__name__", py::str()))
                               .cast<std::string>()
                               .rfind(modulesPackage, 0) == 0
                       ? std::string()
                       : std::string("installed");
        py::object spec = py::module_::import("importlib.util").attr("find_spec")(top);
        if (!spec.is_none() && inWorkingFolder(spec))
        {
            // Look again past the working folder, for an installed module of that name behind it.
            const py::object os = py::module_::import("os");
            const py::object cwd = os.attr("getcwd")();
            py::list elsewhere;
            for (const py::handle entry : py::list(sys.attr("path")))
                if (py::isinstance<py::str>(entry) && !py::str(entry).equal(py::str("")) &&
                    !os.attr("path").attr("abspath")(entry).equal(cwd))
                    elsewhere.append(entry);
            spec = py::module_::import("importlib.machinery").attr("PathFinder").attr("find_spec")(top, elsewhere);
        }
        if (spec.is_none() || py::hasattr(spec.attr("loader"), "confluxtool_modules"))
            return {};
        return "installed";
    }
    catch (py::error_already_set&)
    {
        // A finder that fails on the name cannot import it either.
        PyErr_Clear();
        return {};
    }
}
} // namespace ScriptingSystem
