#pragma once
#include <memory>
#include <string>

struct _object;

namespace ScriptingSystem
{
/// A reference to a Python object, usable and copyable from any thread without holding the
/// interpreter lock (the last copy releases the object under the lock). A default value is
/// empty (no object).
class PythonValue
{
public:
    PythonValue() = default;
    /// Takes over a new (owned) reference; null gives an empty value.
    static PythonValue steal(_object* object);
    /// Adds a reference of its own; the caller holds the interpreter lock.
    static PythonValue borrow(_object* object);

    static PythonValue fromDouble(double value);
    static PythonValue fromString(const std::string& value);

    bool isEmpty() const { return !m_object; }
    bool isNone() const;
    /// The object as a float; throws std::runtime_error when Python cannot convert it.
    double toDouble() const;
    /// Python's str() of the object ("" for an empty value).
    std::string toString() const;

    /// The object itself, for code that talks to Python directly under the interpreter lock.
    _object* get() const { return m_object.get(); }

private:
    explicit PythonValue(std::shared_ptr<_object> object) : m_object(std::move(object)) {}
    std::shared_ptr<_object> m_object;
};
} // namespace ScriptingSystem
