#include "host/scripting/PythonValue.h"

#include "host/scripting/PythonCoreInterpreter.h"

#include <pybind11/embed.h>

#include <stdexcept>

namespace py = pybind11;

namespace ScriptingSystem
{
PythonValue PythonValue::steal(_object* object)
{
    if (!object)
        return PythonValue();
    return PythonValue(std::shared_ptr<_object>(object,
                                                [](PyObject* o)
                                                {
                                                    py::gil_scoped_acquire lock;
                                                    Py_DECREF(o);
                                                }));
}

PythonValue PythonValue::borrow(_object* object)
{
    Py_XINCREF(object);
    return steal(object);
}

PythonValue PythonValue::fromDouble(double value)
{
    PythonCoreInterpreter::ensureStarted();
    py::gil_scoped_acquire lock;
    return steal(PyFloat_FromDouble(value));
}

PythonValue PythonValue::fromString(const std::string& value)
{
    PythonCoreInterpreter::ensureStarted();
    py::gil_scoped_acquire lock;
    PyObject* text = PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size()));
    if (!text)
        throw std::runtime_error("Python string: " + PythonCoreInterpreter::takeErrorMessage());
    return steal(text);
}

bool PythonValue::isNone() const
{
    return m_object.get() == Py_None;
}

double PythonValue::toDouble() const
{
    if (!m_object)
        throw std::runtime_error("Python value is empty, not a number");
    py::gil_scoped_acquire lock;
    const double value = PyFloat_AsDouble(m_object.get());
    if (value == -1.0 && PyErr_Occurred())
        throw std::runtime_error(PythonCoreInterpreter::takeErrorMessage());
    return value;
}

std::string PythonValue::toString() const
{
    if (!m_object)
        return {};
    py::gil_scoped_acquire lock;
    PyObject* text = PyObject_Str(m_object.get());
    if (!text)
        throw std::runtime_error(PythonCoreInterpreter::takeErrorMessage());
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    std::string result = utf8 ? std::string(utf8, static_cast<std::size_t>(size)) : std::string();
    Py_DECREF(text);
    if (!utf8)
        throw std::runtime_error(PythonCoreInterpreter::takeErrorMessage());
    return result;
}
} // namespace ScriptingSystem
