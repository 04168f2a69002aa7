#include "host/solver/PythonValueMapping.h"

#include "host/scripting/PythonCoreInterpreter.h"

#include "src/model/Attribute.h"

#include <pybind11/embed.h>

#include <algorithm>
#include <array>
#include <cstdint>
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

/// The lent mapping: while `owner` is set it reads the owner's entries, once `dict` is set (after
/// a change, or when Python kept it past its call) it is that dict.
struct PythonValueMapping::Slots
{
    struct Object
    {
        PyObject_HEAD
        PythonValueMapping* owner;
        PyObject* dict;
    };

    static Object* self(PyObject* object) { return reinterpret_cast<Object*>(object); }

    static PyTypeObject* type()
    {
        // Made under the interpreter lock, which every caller holds.
        static PyTypeObject* made = nullptr;
        if (made == nullptr)
        {
            PyObject* created = PyType_FromSpec(&spec);
            if (created == nullptr)
                throw std::runtime_error("Python exchange mapping type: " +
                                         ScriptingSystem::PythonCoreInterpreter::takeErrorMessage());
            // isinstance(values, collections.abc.Mapping) holds, as it does for a dict.
            try
            {
                py::module_::import("collections.abc").attr("MutableMapping").attr("register")(py::handle(created));
            }
            catch (py::error_already_set&)
            {
                PyErr_Clear();
            }
            made = reinterpret_cast<PyTypeObject*>(created);
        }
        return made;
    }

    static bool isMapping(PyObject* object) { return type() != nullptr && Py_IS_TYPE(object, type()); }

    /// Sets a Python RuntimeError saying what the C++ exception says.
    static void raise(const std::exception& error) { PyErr_SetString(PyExc_RuntimeError, error.what()); }

    static void keyError(PyObject* key)
    {
        PyObject* arguments = PyTuple_Pack(1, key);
        if (arguments != nullptr)
        {
            PyErr_SetObject(PyExc_KeyError, arguments);
            Py_DECREF(arguments);
        }
    }

    /// Turns the mapping into a dict of the values it shows now; -1 with a Python error on failure.
    static int materialise(Object* mapping)
    {
        if (mapping->dict != nullptr)
            return 0;
        PyObject* dict = PyDict_New();
        if (dict == nullptr)
            return -1;
        if (PythonValueMapping* owner = mapping->owner)
            for (Entry& entry : owner->m_entries)
            {
                try
                {
                    owner->refresh(entry);
                }
                catch (const std::exception& error)
                {
                    Py_DECREF(dict);
                    raise(error);
                    return -1;
                }
                if (PyDict_SetItem(dict, entry.key, entry.object) != 0)
                {
                    Py_DECREF(dict);
                    return -1;
                }
            }
        mapping->dict = dict;
        mapping->owner = nullptr;
        if (!PyObject_GC_IsTracked(reinterpret_cast<PyObject*>(mapping)))
            PyObject_GC_Track(mapping);
        return 0;
    }

    /// The owner's entry of a key; null with no Python error when there is none.
    static Entry* entry(Object* mapping, PyObject* key)
    {
        const std::size_t position = mapping->owner->find(key);
        return position < mapping->owner->m_entries.size() ? &mapping->owner->m_entries[position] : nullptr;
    }

    /// The value of a key as a new reference; null with no Python error when there is none.
    static PyObject* lookup(Object* mapping, PyObject* key)
    {
        if (mapping->owner == nullptr && materialise(mapping) < 0)
            return nullptr;
        if (mapping->dict != nullptr)
            return Py_XNewRef(PyDict_GetItemWithError(mapping->dict, key));
        Entry* found = entry(mapping, key);
        if (found == nullptr)
            return nullptr;
        try
        {
            mapping->owner->refresh(*found);
        }
        catch (const std::exception& error)
        {
            raise(error);
            return nullptr;
        }
        return Py_NewRef(found->object);
    }

    static Py_ssize_t length(PyObject* object)
    {
        Object* mapping = self(object);
        if (mapping->dict != nullptr)
            return PyDict_Size(mapping->dict);
        return mapping->owner != nullptr ? static_cast<Py_ssize_t>(mapping->owner->m_entries.size()) : 0;
    }

    static PyObject* subscript(PyObject* object, PyObject* key)
    {
        PyObject* value = lookup(self(object), key);
        if (value == nullptr && !PyErr_Occurred())
            keyError(key);
        return value;
    }

    static int assign(PyObject* object, PyObject* key, PyObject* value)
    {
        Object* mapping = self(object);
        if (materialise(mapping) < 0)
            return -1;
        return value != nullptr ? PyDict_SetItem(mapping->dict, key, value) : PyDict_DelItem(mapping->dict, key);
    }

    static int contains(PyObject* object, PyObject* key)
    {
        Object* mapping = self(object);
        if (mapping->owner == nullptr && materialise(mapping) < 0)
            return -1;
        return PyDict_Contains(mapping->dict != nullptr ? mapping->dict : mapping->owner->m_index, key);
    }

    static PyObject* iterate(PyObject* object)
    {
        Object* mapping = self(object);
        if (mapping->owner == nullptr && materialise(mapping) < 0)
            return nullptr;
        return PyObject_GetIter(mapping->dict != nullptr ? mapping->dict : mapping->owner->m_keys);
    }

    static PyObject* get(PyObject* object, PyObject* const* arguments, Py_ssize_t count)
    {
        if (count < 1 || count > 2)
        {
            PyErr_Format(PyExc_TypeError, count < 1 ? "get expected at least 1 argument, got %zd"
                                                    : "get expected at most 2 arguments, got %zd",
                         count);
            return nullptr;
        }
        PyObject* value = lookup(self(object), arguments[0]);
        if (value == nullptr && !PyErr_Occurred())
            value = Py_NewRef(count == 2 ? arguments[1] : Py_None);
        return value;
    }

    /// The dict the mapping is now (borrowed), or the object itself when it is no lent mapping.
    static PyObject* asDict(PyObject* object)
    {
        if (!isMapping(object))
            return object;
        Object* mapping = self(object);
        return materialise(mapping) < 0 ? nullptr : mapping->dict;
    }

    // Everything else is what a dict does: the mapping becomes one first.
    static constexpr const char* delegated[] = {"keys",       "items", "values",  "copy",        "pop",
                                                "popitem",    "setdefault", "update", "clear", "__reversed__"};

    template <std::size_t Method>
    static PyObject* delegate(PyObject* object, PyObject* const* arguments, Py_ssize_t positional, PyObject* names)
    {
        PyObject* dict = asDict(object);
        if (dict == nullptr)
            return nullptr;
        const Py_ssize_t all = positional + (names != nullptr ? PyTuple_GET_SIZE(names) : 0);
        std::vector<PyObject*> stack(static_cast<std::size_t>(all) + 1);
        stack[0] = dict;
        std::copy(arguments, arguments + all, stack.begin() + 1);
        PyObject* name = PyUnicode_InternFromString(delegated[Method]);
        if (name == nullptr)
            return nullptr;
        PyObject* result = PyObject_VectorcallMethod(name, stack.data(), static_cast<std::size_t>(positional) + 1,
                                                     names);
        Py_DECREF(name);
        return result;
    }

    static PyObject* compare(PyObject* left, PyObject* right, int operation)
    {
        PyObject* mine = asDict(left);
        PyObject* other = mine != nullptr ? asDict(right) : nullptr;
        return other != nullptr ? PyObject_RichCompare(mine, other, operation) : nullptr;
    }

    static PyObject* either(PyObject* left, PyObject* right)
    {
        PyObject* mine = asDict(left);
        PyObject* other = mine != nullptr ? asDict(right) : nullptr;
        return other != nullptr ? PyNumber_Or(mine, other) : nullptr;
    }

    static PyObject* update(PyObject* object, PyObject* other)
    {
        PyObject* dict = asDict(object);
        PyObject* result = dict != nullptr ? PyNumber_InPlaceOr(dict, other) : nullptr;
        if (result == nullptr)
            return nullptr;
        Py_DECREF(result);
        return Py_NewRef(object);
    }

    static PyObject* repr(PyObject* object)
    {
        PyObject* dict = asDict(object);
        return dict != nullptr ? PyObject_Repr(dict) : nullptr;
    }

    /// Copied and pickled as a dict.
    static PyObject* reduce(PyObject* object, PyObject*)
    {
        PyObject* dict = asDict(object);
        return dict != nullptr ? Py_BuildValue("(O(N))", &PyDict_Type, PyDict_Copy(dict)) : nullptr;
    }

    static int traverse(PyObject* object, visitproc visit, void* arg)
    {
        Py_VISIT(self(object)->dict);
        Py_VISIT(Py_TYPE(object));
        return 0;
    }

    static int clear(PyObject* object)
    {
        Py_CLEAR(self(object)->dict);
        return 0;
    }

    static void deallocate(PyObject* object)
    {
        PyTypeObject* objectType = Py_TYPE(object);
        PyObject_GC_UnTrack(object);
        Py_CLEAR(self(object)->dict);
        objectType->tp_free(object);
        Py_DECREF(objectType);
    }

    /// A new mapping reading `owner`, not tracked by the collector while it holds no dict.
    static PyObject* make(PythonValueMapping* owner)
    {
        PyTypeObject* mappingType = type();
        PyObject* object = mappingType->tp_alloc(mappingType, 0);
        if (object == nullptr)
            throw py::error_already_set();
        PyObject_GC_UnTrack(object);
        self(object)->owner = owner;
        self(object)->dict = nullptr;
        return object;
    }

    template <std::size_t... Method>
    static std::array<PyMethodDef, sizeof...(Method) + 3> methods(std::index_sequence<Method...>)
    {
        return {{{"get", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&get)), METH_FASTCALL, nullptr},
                 {"__reduce__", &reduce, METH_NOARGS, nullptr},
                 {delegated[Method],
                  reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&delegate<Method>)),
                  METH_FASTCALL | METH_KEYWORDS, nullptr}...,
                 {nullptr, nullptr, 0, nullptr}}};
    }

    static inline std::array methodTable = methods(std::make_index_sequence<std::size(delegated)>());
    static inline PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate)},
        {Py_tp_traverse, reinterpret_cast<void*>(&traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(&clear)},
        {Py_tp_iter, reinterpret_cast<void*>(&iterate)},
        {Py_tp_repr, reinterpret_cast<void*>(&repr)},
        {Py_tp_richcompare, reinterpret_cast<void*>(&compare)},
        {Py_tp_hash, reinterpret_cast<void*>(&PyObject_HashNotImplemented)},
        {Py_tp_methods, methodTable.data()},
        {Py_mp_length, reinterpret_cast<void*>(&length)},
        {Py_mp_subscript, reinterpret_cast<void*>(&subscript)},
        {Py_mp_ass_subscript, reinterpret_cast<void*>(&assign)},
        {Py_sq_contains, reinterpret_cast<void*>(&contains)},
        {Py_nb_or, reinterpret_cast<void*>(&either)},
        {Py_nb_inplace_or, reinterpret_cast<void*>(&update)},
        {0, nullptr}};
    static inline PyType_Spec spec = {"confluxtool.ExchangeMapping", sizeof(Object), 0,
                                      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION |
                                          Py_TPFLAGS_MAPPING,
                                      slots};
};

PythonValueMapping::PythonValueMapping(const ExchangeValues& values, bool readableOnly) : m_values(values)
{
    ScriptingSystem::PythonCoreInterpreter::ensureStarted();
    py::gil_scoped_acquire lock;
    for (const ExchangeValues::Value& value : values.values())
        if (!readableOnly || TesseraSDK::canRead(value.attribute->getAccessType()))
            m_entries.push_back({&value, py::str(value.path).release().ptr(), nullptr, std::nullopt, false, 0.0F});
    py::dict index;
    py::tuple keys(m_entries.size());
    for (std::size_t i = 0; i < m_entries.size(); ++i)
    {
        index[py::handle(m_entries[i].key)] = py::int_(i);
        keys[i] = py::reinterpret_borrow<py::object>(m_entries[i].key);
    }
    m_index = index.release().ptr();
    m_keys = keys.release().ptr();
    m_dict = py::dict().release().ptr();
}

PythonValueMapping::~PythonValueMapping()
{
    py::gil_scoped_acquire lock;
    if (!m_lent.isEmpty())
    {
        // Nobody but this object holds it between calls; should anything, it keeps its values.
        if (Py_REFCNT(m_lent.get()) > 1 && Slots::materialise(Slots::self(m_lent.get())) < 0)
            PyErr_Clear();
        Slots::self(m_lent.get())->owner = nullptr;
        m_lent = {};
    }
    for (auto& [key, index] : m_recent)
        Py_XDECREF(key);
    for (Entry& entry : m_entries)
    {
        Py_XDECREF(entry.key);
        Py_XDECREF(entry.object);
    }
    Py_XDECREF(m_dict);
    Py_XDECREF(m_index);
    Py_XDECREF(m_keys);
}

std::size_t PythonValueMapping::find(PyObject* key) const
{
    const bool exact = PyUnicode_CheckExact(key);
    auto& recent = m_recent[(reinterpret_cast<std::uintptr_t>(key) >> 4) % m_recent.size()];
    if (exact && recent.first == key)
        return recent.second;
    PyObject* position = PyDict_GetItemWithError(m_index, key);
    if (position == nullptr)
        return m_entries.size();
    const auto index = static_cast<std::size_t>(PyLong_AsSsize_t(position));
    if (exact)
    {
        Py_INCREF(key);
        Py_XSETREF(recent.first, key);
        recent.second = index;
    }
    return index;
}

bool PythonValueMapping::refresh(Entry& entry)
{
    const Conflux::Model::Attribute& attribute = *entry.value->attribute;
    // Most values stay as they were between calls; a single-precision one is compared before it
    // is turned into the decimal it was written as.
    if (entry.storedFloat)
    {
        // It held a value at the last read, so it holds one now: values are never taken away.
        const float now = attribute.getFloatValue(ExchangeValues::chronology, false);
        if (now == entry.lastFloat)
            return false;
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
        return false;
    PyObject* object = toObject(value).release().ptr();
    Py_XSETREF(entry.object, object);
    entry.last = std::move(value);
    return true;
}

ScriptingSystem::PythonValue PythonValueMapping::current()
{
    py::gil_scoped_acquire lock;
    for (Entry& entry : m_entries)
    {
        refresh(entry);
        // A lent mapping may have read the change first: the dict's own item tells.
        PyObject* held = PyDict_GetItemWithError(m_dict, entry.key);
        if (held != entry.object && PyDict_SetItem(m_dict, entry.key, entry.object) != 0)
            throw py::error_already_set();
    }
    return ScriptingSystem::PythonValue::steal(PyDict_Copy(m_dict));
}

void PythonValueMapping::beginLease()
{
    if (m_lent.isEmpty())
        m_lent = ScriptingSystem::PythonValue::steal(Slots::make(this));
    Slots::self(m_lent.get())->owner = this;
}

void PythonValueMapping::endLease()
{
    Slots::Object* lent = Slots::self(m_lent.get());
    if (Py_REFCNT(m_lent.get()) > 1)
    {
        // Python keeps it (a global, a closure, the returned value): it keeps the call's values,
        // and the next call gets a new one.
        if (Slots::materialise(lent) < 0)
            PyErr_Clear();
        lent->owner = nullptr;
        m_lent = {};
        return;
    }
    PyObject_GC_UnTrack(m_lent.get());
    Py_CLEAR(lent->dict);
}

PythonValueMapping::Lease::Lease(PythonValueMapping& owner) : m_owner(owner)
{
    m_owner.beginLease();
}

PythonValueMapping::Lease::~Lease()
{
    m_owner.endLease();
}

const ScriptingSystem::PythonValue& PythonValueMapping::Lease::mapping() const
{
    return m_owner.m_lent;
}

PythonValueMapping::Refused::Refused(std::string path, std::string reason)
    : std::runtime_error(path.empty() ? reason : "'" + path + "': " + reason), m_path(std::move(path)),
      m_reason(std::move(reason))
{
}

std::vector<PythonValueMapping::Write> PythonValueMapping::fromPython(const ScriptingSystem::PythonValue& mapping,
                                                                      const ExchangeValues& values, bool writableOnly)
{
    py::gil_scoped_acquire lock;
    return collect(mapping, values, writableOnly, nullptr);
}

std::vector<PythonValueMapping::Write> PythonValueMapping::writes(const ScriptingSystem::PythonValue& mapping,
                                                                  bool writableOnly) const
{
    return collect(mapping, m_values, writableOnly, this);
}

std::vector<PythonValueMapping::Write> PythonValueMapping::collect(const ScriptingSystem::PythonValue& mapping,
                                                                   const ExchangeValues& values, bool writableOnly,
                                                                   const PythonValueMapping* known)
{
    std::vector<Write> writes;
    const py::handle returned(mapping.get());
    if (!returned || returned.is_none())
        return writes;
    PyObject* dict = Slots::isMapping(returned.ptr()) ? Slots::asDict(returned.ptr()) : returned.ptr();
    if (dict == nullptr)
        throw py::error_already_set();
    if (!PyDict_Check(dict))
        throw Refused({}, "returned a value of type '" + typeName(returned) + "', not a mapping from path to value");
    writes.reserve(static_cast<std::size_t>(PyDict_Size(dict)));
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(dict, &position, &key, &item))
    {
        // Held: converting the value may run Python code (__float__, __index__) that changes the dict.
        const py::object keyHeld = py::reinterpret_borrow<py::object>(key);
        const py::object itemHeld = py::reinterpret_borrow<py::object>(item);
        if (!PyUnicode_Check(key))
            throw Refused({}, "the key " + py::repr(key).cast<std::string>() + " is not a path (text)");
        // The paths of this object's values are found without leaving Python; others (full paths,
        // values it does not hold) by their text.
        const ExchangeValues::Value* target = nullptr;
        std::string given; // the key's text, when it is no path of this object's
        if (known != nullptr)
            if (const std::size_t entry = known->find(key); entry < known->m_entries.size())
                target = known->m_entries[entry].value;
        if (PyErr_Occurred())
            throw py::error_already_set();
        if (target == nullptr)
        {
            given = py::handle(key).cast<std::string>();
            target = values.find(given);
            if (target == nullptr)
                throw Refused(given, "no value of the exchange model has this path");
        }
        const std::string& path = given.empty() ? target->path : given;
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
