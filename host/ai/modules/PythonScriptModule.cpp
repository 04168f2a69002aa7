#include "host/ai/modules/PythonScriptModule.h"

#include "host/scripting/PythonCoreInterpreter.h"
#include "host/scripting/PythonTimeLimit.h"

#include <pybind11/embed.h>
#include <pybind11/numpy.h>

#include <stdexcept>

namespace py = pybind11;
using ScriptingSystem::PythonCoreInterpreter;
using ScriptingSystem::PythonTimeLimit;
using ScriptingSystem::PythonValue;

namespace AISystem
{
namespace
{
const char* const scriptName = "<python model>";

[[noreturn]] void fail(const std::string& message)
{
    throw std::runtime_error("Python model: " + message);
}

[[noreturn]] void failWithPythonError(const std::string& what, py::error_already_set& error)
{
    error.restore();
    fail(what + PythonCoreInterpreter::takeErrorMessage());
}

class PythonScriptModule : public ModuleImpl
{
public:
    PythonScriptModule(PythonValue evaluate, PythonValue numpy)
        : m_evaluate(std::move(evaluate)), m_numpy(std::move(numpy))
    {
    }

    ModuleType getType() const override { return ModuleType::Python; }

    Tensor eval(const Tensor& inputs) const override
    {
        const TensorElementType type = inputs.getElementType();
        if (inputs.getDimensionCount() != 2 || type == TensorElementType::None)
            fail("inputs must be a {cases, inputs} tensor of floats or doubles, not " +
                 inputs.getTensorShape().toString() + " " + toString(type));
        const std::int64_t rows = inputs.getDimensionSize(0);

        py::gil_scoped_acquire lock;
        py::object result;
        {
            PythonTimeLimit limit;
            try
            {
                py::object evaluate = py::reinterpret_borrow<py::object>(m_evaluate.get());
                result = evaluate(toPython(inputs));
            }
            catch (py::error_already_set& e)
            {
                if (!limit.expired())
                    failWithPythonError(
                        "evaluation of a " + inputs.getTensorShape().toString() + " input failed: ", e);
            }
            if (limit.expired())
                fail("evaluate " + PythonTimeLimit::message());
        }
        std::vector<double> values;
        std::int64_t width = m_numpy.isEmpty() ? -1 : fromNumpy(result, rows, values);
        if (width < 0)
            width = fromRows(result, rows, values);
        if (rows > 0)
        {
            // A model has one output width: a change between calls is a fault of the script.
            if (m_width && *m_width != width)
                fail("evaluate returned " + std::to_string(width) +
                     " outputs per row, earlier calls returned " + std::to_string(*m_width));
            m_width = width;
        }
        else
            width = m_width.value_or(0);
        return Tensor::fromValues({rows, width}, std::move(values)).toElementType(type);
    }

private:
    py::object toPython(const Tensor& inputs) const
    {
        const std::int64_t rows = inputs.getDimensionSize(0);
        const std::int64_t columns = inputs.getDimensionSize(1);
        if (!m_numpy.isEmpty())
        {
            if (inputs.getElementType() == TensorElementType::Float)
                return py::array_t<float>({rows, columns}, inputs.data<float>());
            return py::array_t<double>({rows, columns}, inputs.data<double>());
        }
        py::list list;
        for (std::int64_t r = 0; r < rows; ++r)
        {
            py::list row;
            for (std::int64_t c = 0; c < columns; ++c)
                row.append(inputs.getDouble(r * columns + c));
            list.append(std::move(row));
        }
        return list;
    }

    /// The fast path for a result that numpy turns into a 2-D array of one row per case; -1
    /// leaves the result to the row-by-row reader, which says precisely what is wrong.
    std::int64_t fromNumpy(const py::object& result, std::int64_t rows, std::vector<double>& values) const
    {
        py::array_t<double, py::array::c_style | py::array::forcecast> array;
        try
        {
            array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(result);
        }
        catch (py::error_already_set&)
        {
            PyErr_Clear();
            return -1;
        }
        PyErr_Clear();
        if (!array || array.ndim() != 2 || array.shape(0) != rows || (rows > 0 && array.shape(1) == 0))
            return -1;
        values.assign(array.data(), array.data() + array.size());
        return array.shape(1);
    }

    std::int64_t fromRows(const py::object& result, std::int64_t rows, std::vector<double>& values) const
    {
        if (!PySequence_Check(result.ptr()) || py::isinstance<py::str>(result))
            fail(std::string("evaluate returned ") + Py_TYPE(result.ptr())->tp_name +
                 ", expected one row of outputs per input row");
        const py::sequence sequence = py::reinterpret_borrow<py::sequence>(result);
        if (static_cast<std::int64_t>(sequence.size()) != rows)
            fail("evaluate returned " + std::to_string(sequence.size()) + " rows for " +
                 std::to_string(rows) + " input rows");
        std::int64_t width = -1;
        values.clear();
        for (std::int64_t r = 0; r < rows; ++r)
        {
            const py::object row = sequence[static_cast<std::size_t>(r)];
            if (!PySequence_Check(row.ptr()) || py::isinstance<py::str>(row))
                fail("row " + std::to_string(r) + " of evaluate's result is " + Py_TYPE(row.ptr())->tp_name +
                     ", not a sequence of outputs");
            const py::sequence cells = py::reinterpret_borrow<py::sequence>(row);
            const auto size = static_cast<std::int64_t>(cells.size());
            if (size == 0)
                fail("row " + std::to_string(r) + " of evaluate's result has no outputs");
            if (width >= 0 && size != width)
                fail("row " + std::to_string(r) + " of evaluate's result has " + std::to_string(size) +
                     " outputs, row 0 has " + std::to_string(width));
            width = size;
            for (std::int64_t c = 0; c < size; ++c)
            {
                const py::object cell = cells[static_cast<std::size_t>(c)];
                const double value = PyFloat_AsDouble(cell.ptr());
                if (value == -1.0 && PyErr_Occurred())
                {
                    PyErr_Clear();
                    fail("output " + std::to_string(c) + " of row " + std::to_string(r) +
                         " is not a number: " + py::repr(cell).cast<std::string>());
                }
                values.push_back(value);
            }
        }
        return std::max<std::int64_t>(width, 0);
    }

    PythonValue m_evaluate;
    PythonValue m_numpy;
    // Touched only while the interpreter lock is held.
    mutable std::optional<std::int64_t> m_width;
};
} // namespace

std::shared_ptr<const ModuleImpl> loadPythonScriptModule(const Utilities::bytearray& bytes)
{
    if (bytes.empty())
        fail("the script is empty");
    PythonCoreInterpreter interpreter;
    PythonValue code;
    try
    {
        code = interpreter.compileExec(Utilities::toString(bytes), scriptName);
    }
    catch (const std::runtime_error& e)
    {
        fail(e.what());
    }
    py::gil_scoped_acquire lock;
    // Each model runs in a namespace of its own, not registered as an importable module.
    py::dict globals;
    globals["__builtins__"] = py::reinterpret_borrow<py::object>(PyEval_GetBuiltins());
    globals["__name__"] = "__python_model__";
    {
        PythonTimeLimit limit;
        PyObject* executed = PyEval_EvalCode(code.get(), globals.ptr(), globals.ptr());
        if (limit.expired())
        {
            Py_XDECREF(executed);
            PyErr_Clear();
            fail("the script " + PythonTimeLimit::message());
        }
        if (!executed)
            fail(PythonCoreInterpreter::takeErrorMessage());
        Py_DECREF(executed);
    }
    PyObject* evaluate = PyDict_GetItemString(globals.ptr(), "evaluate");
    if (!evaluate || !PyCallable_Check(evaluate))
        fail("the script defines no function evaluate(inputs)");

    PythonValue numpy;
    try
    {
        numpy = PythonValue::borrow(py::module_::import("numpy").ptr());
    }
    catch (py::error_already_set&)
    {
        PyErr_Clear();
    }
    return std::make_shared<PythonScriptModule>(PythonValue::borrow(evaluate), numpy);
}
} // namespace AISystem
