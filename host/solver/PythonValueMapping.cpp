#include "host/solver/PythonValueMapping.h"

#include "host/scripting/PythonCoreInterpreter.h"

#include "src/model/Attribute.h"

#include <pybind11/embed.h>

#include <limits>
#include <utility>

namespace py = pybind11;

namespace CFDSolver
{
namespace
{
py::object toObject(const ExchangeScalar& value)
{
    if (const bool* flag = std::get_if<bool>(&value))
        return py::bool_(*flag);
    if (const int* whole = std::get_if<int>(&value))
        return py::int_(*whole);
    if (const double* number = std::get_if<double>(&value))
        return py::float_(*number);
    return py::str(std::get<std::string>(value));
}

std::string typeName(const py::handle& object)
{
    return py::str(py::type::handle_of(object).attr("__name__")).cast<std::string>();
}

/// The object as an exchange value, or the reason it is none. Numbers that are no Python float
/// or int (numpy's, say) count by what they convert to.
std::pair<ExchangeScalar, std::string> fromObject(const py::handle& object)
{
    PyObject* raw = object.ptr();
    if (PyBool_Check(raw))
        return {object.cast<bool>(), {}};
    if (PyUnicode_Check(raw))
        return {object.cast<std::string>(), {}};
    if (PyLong_Check(raw) || (!PyFloat_Check(raw) && PyIndex_Check(raw)))
    {
        const py::object whole = py::reinterpret_steal<py::object>(PyNumber_Index(raw));
        int overflow = 0;
        const long value = whole ? PyLong_AsLongAndOverflow(whole.ptr(), &overflow) : 0;
        if (!whole || overflow != 0 || value < std::numeric_limits<int>::min() ||
            value > std::numeric_limits<int>::max())
        {
            PyErr_Clear();
            return {0, "the whole number " + py::str(object).cast<std::string>() + " is too large"};
        }
        return {static_cast<int>(value), {}};
    }
    if (PyFloat_Check(raw) || PyObject_HasAttrString(raw, "__float__"))
    {
        const double value = PyFloat_AsDouble(raw);
        if (value == -1.0 && PyErr_Occurred())
        {
            PyErr_Clear();
            return {0, "the value " + py::repr(object).cast<std::string>() + " is not a number"};
        }
        return {value, {}};
    }
    return {0, "a value of type '" + typeName(object) + "' is not a number, boolean or text"};
}
} // namespace

PythonValueMapping::PythonValueMapping(const ExchangeValues& values, bool readableOnly)
{
    ScriptingSystem::PythonCoreInterpreter::ensureStarted();
    py::gil_scoped_acquire lock;
    for (const ExchangeValues::Value& value : values.values())
        if (!readableOnly || TesseraSDK::canRead(value.attribute->getAccessType()))
            m_entries.push_back({&value, ScriptingSystem::PythonValue::steal(py::str(value.path).release().ptr()),
                                 std::nullopt, false, 0.0F});
    m_dict = ScriptingSystem::PythonValue::steal(py::dict().release().ptr());
}

PythonValueMapping::~PythonValueMapping() = default;

ScriptingSystem::PythonValue PythonValueMapping::current()
{
    py::gil_scoped_acquire lock;
    PyObject* dict = m_dict.get();
    for (Entry& entry : m_entries)
    {
        const Conflux::Model::Attribute& attribute = *entry.value->attribute;
        // Most values stay as they were between calls; a single-precision one is compared before
        // it is turned into the decimal it was written as.
        if (entry.storedFloat)
        {
            // It held a value at the last call, so it holds one now: values are never taken away.
            const float now = attribute.getFloatValue(ExchangeValues::chronology, false);
            if (now == entry.lastFloat)
                continue;
            entry.lastFloat = now;
        }
        ExchangeScalar value = ExchangeValues::read(attribute, false);
        if (!entry.storedFloat && attribute.getAttributeType(false) == TesseraSDK::AttributeType::Float &&
            attribute.hasValue(ExchangeValues::chronology))
        {
            entry.storedFloat = true;
            entry.lastFloat = attribute.getFloatValue(ExchangeValues::chronology, false);
        }
        if (entry.last && *entry.last == value)
            continue;
        const py::object object = toObject(value);
        if (PyDict_SetItem(dict, entry.key.get(), object.ptr()) != 0)
            throw py::error_already_set();
        entry.last = std::move(value);
    }
    return ScriptingSystem::PythonValue::steal(PyDict_Copy(dict));
}

PythonValueMapping::Refused::Refused(std::string path, std::string reason)
    : std::runtime_error(path.empty() ? reason : "'" + path + "': " + reason), m_path(std::move(path)),
      m_reason(std::move(reason))
{
}

std::vector<PythonValueMapping::Write> PythonValueMapping::fromPython(const ScriptingSystem::PythonValue& mapping,
                                                                      const ExchangeValues& values, bool writableOnly)
{
    std::vector<Write> writes;
    py::gil_scoped_acquire lock;
    const py::handle returned(mapping.get());
    if (!returned || returned.is_none())
        return writes;
    if (!PyDict_Check(returned.ptr()))
        throw Refused({}, "returned a value of type '" + typeName(returned) + "', not a mapping from path to value");
    for (const auto& [key, item] : py::reinterpret_borrow<py::dict>(returned))
    {
        if (!PyUnicode_Check(key.ptr()))
            throw Refused({}, "the key " + py::repr(key).cast<std::string>() + " is not a path (text)");
        const std::string path = key.cast<std::string>();
        const ExchangeValues::Value* target = values.find(path);
        if (target == nullptr)
            throw Refused(path, "no value of the exchange model has this path");
        auto [value, why] = fromObject(item);
        if (why.empty())
            why = ExchangeValues::kindMismatch(*target->attribute, value);
        if (!why.empty())
            throw Refused(path, why);
        if (writableOnly && !TesseraSDK::canWrite(target->attribute->getAccessType()))
            throw Refused(path, "User has no write access");
        writes.push_back({target, std::move(value)});
    }
    return writes;
}
} // namespace CFDSolver
