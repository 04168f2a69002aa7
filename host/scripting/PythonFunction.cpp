#include "host/scripting/PythonFunction.h"

#include "host/scripting/PythonCoreInterpreter.h"
#include "host/scripting/PythonTimeLimit.h"

#include <pybind11/embed.h>

#include <stdexcept>

namespace py = pybind11;

namespace ScriptingSystem
{
PythonFunction::PythonFunction(std::string name, PythonValue callable)
    : m_name(std::move(name)), m_callable(std::move(callable))
{
}

PythonValue PythonFunction::call(const std::vector<PythonValue>& arguments) const
{
    py::gil_scoped_acquire lock;
    // The arguments go by vector call: no tuple is made for a call (controllers are called every
    // iteration). The references stay with `arguments` for the call's length.
    std::vector<PyObject*> vector;
    vector.reserve(arguments.size());
    for (const PythonValue& argument : arguments)
        vector.push_back(argument.isEmpty() ? Py_None : argument.get());
    PythonTimeLimit limit;
    PyObject* result = PyObject_Vectorcall(m_callable.get(), vector.data(), vector.size(), nullptr);
    if (limit.expired())
    {
        Py_XDECREF(result);
        PyErr_Clear();
        throw std::runtime_error("Python function " + m_name + ": " + PythonTimeLimit::message());
    }
    if (!result)
        throw std::runtime_error("Python function " + m_name + ": " +
                                 PythonCoreInterpreter::takeErrorMessage());
    return PythonValue::steal(result);
}
} // namespace ScriptingSystem
