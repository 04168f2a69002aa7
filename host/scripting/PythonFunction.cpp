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
    return call(arguments.data(), arguments.size());
}

PythonValue PythonFunction::call(std::initializer_list<PythonValue> arguments) const
{
    return call(arguments.begin(), arguments.size());
}

PythonValue PythonFunction::call(const PythonValue* arguments, std::size_t count) const
{
    py::gil_scoped_acquire lock;
    // The arguments go by vector call: no tuple is made for a call (controllers are called every
    // iteration), nor a vector for a few. The references stay with `arguments` for the call's length.
    constexpr std::size_t few = 4;
    PyObject* onStack[few];
    std::vector<PyObject*> onHeap(count > few ? count : 0);
    PyObject** vector = count > few ? onHeap.data() : onStack;
    for (std::size_t i = 0; i < count; ++i)
        vector[i] = arguments[i].isEmpty() ? Py_None : arguments[i].get();
    PythonTimeLimit limit;
    PyObject* result = PyObject_Vectorcall(m_callable.get(), vector, count, nullptr);
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
