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
    PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(arguments.size()));
    if (!tuple)
        throw std::runtime_error(PythonCoreInterpreter::takeErrorMessage());
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        PyObject* argument = arguments[i].isEmpty() ? Py_None : arguments[i].get();
        Py_INCREF(argument);
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(i), argument);
    }
    PythonTimeLimit limit;
    PyObject* result = PyObject_Call(m_callable.get(), tuple, nullptr);
    Py_DECREF(tuple);
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
