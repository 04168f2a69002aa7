#include "host/scripting/PythonModule.h"

#include <pybind11/embed.h>

namespace py = pybind11;

namespace ScriptingSystem
{
PythonModule::PythonModule(std::string name, PythonValue module)
    : m_name(std::move(name)), m_module(std::move(module))
{
}

std::optional<PythonFunction> PythonModule::findFunction(const std::string& name) const
{
    if (m_module.isEmpty())
        return std::nullopt;
    py::gil_scoped_acquire lock;
    // The module's own namespace only: no module-level __getattr__, no attributes of classes.
    PyObject* dictionary = PyModule_Check(m_module.get()) ? PyModule_GetDict(m_module.get()) : nullptr;
    if (!dictionary)
        return std::nullopt;
    PyObject* object = PyDict_GetItemString(dictionary, name.c_str());
    if (!object || !(PyFunction_Check(object) || PyCFunction_Check(object)))
        return std::nullopt;
    return PythonFunction(name, PythonValue::borrow(object));
}
} // namespace ScriptingSystem
