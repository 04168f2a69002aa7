// The mapping a Python handler is called with: it reads the exchange model only for what the
// handler asks, yet behaves as the dict of readable values it stands for, its changes write
// nothing, and a handler that keeps it past the call keeps the values it showed.
// Python's headers come before Qt's, whose `slots` macro they would meet otherwise.
#include <pybind11/embed.h>

#include "tests/dryrun/DryRunTestSupport.h"

#include "src/exchange/ConfluxGenerator.h"
#include "src/model/Attribute.h"

#include "host/scripting/PythonCoreInterpreter.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/ExchangeSession.h"
#include "host/solver/Project.h"
#include "host/solver/PythonModuleHandler.h"
#include "host/solver/PythonValueMapping.h"

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

using namespace DryRunTest;

namespace
{
/// A session over the sample's generated exchange model that records what handlers did.
class RecordingSession : public CFDSolver::ExchangeSession
{
public:
    explicit RecordingSession(const Conflux::Model::EntityCollection& model) : m_values(model) {}
    int iteration() const override { return 1; }
    const CFDSolver::ExchangeValues& values() const override { return m_values; }
    void checkRange(const CFDSolver::ExchangeValues::Value&, double) const override {}
    void valuesRead(const std::string&, std::size_t) override {}
    void valueWritten(const std::string&, const CFDSolver::ExchangeValues::Value& value) override
    {
        written.push_back(value.path);
    }
    void writeRefused(const std::string&, const std::string& path, const std::string& reason) override
    {
        refused.push_back(path + ": " + reason);
    }

    std::vector<std::string> written;
    std::vector<std::string> refused;

private:
    CFDSolver::ExchangeValues m_values;
};

/// The sample generated for its Python module, and a handler module of the test's own source
/// whose globals INLET, SUPPLY and FULL_INLET (the inlet's full path) are set.
class HandlerFixture
{
public:
    HandlerFixture() : solver(sample.file("store"), "sample", std::string())
    {
        sample.aiModelsOff();
        sample.setControl("Conflux Control.Mode", "Python Module");
        Conflux::ConfluxGenerator generator;
        generator.setRootEntity(sample.root);
        generator.updateProject(&solver);
        generator.generate(&solver, CFDSolver::SolutionType::SteadyState);
        session.emplace(solver.GetConfluxCntrl()->getModelCollection());
    }

    void load(const std::string& source)
    {
        ScriptingSystem::PythonCoreInterpreter interpreter;
        const std::string full = session->values().find(rackInlet)->attribute->getAttributePath(true).toString();
        // A value the handler may not read, should the sample have one.
        std::string unreadable;
        for (const auto& value : session->values().values())
            if (!TesseraSDK::canRead(value.attribute->getAccessType()))
                unreadable = value.path;
        module.emplace(interpreter.importCodeModule(
            "mapping_probe", interpreter.compileExec("INLET = '" + rackInlet + "'\nSUPPLY = '" + crahSupply +
                                                         "'\nFULL_INLET = '" + full + "'\nUNREADABLE = '" +
                                                         unreadable + "'\n" + source,
                                                     "mapping_probe.py")));
        handler = std::make_unique<CFDSolver::PythonModuleHandler>("mapping_probe", *module->findFunction("handler"));
    }
    /// The handler's call; its failure's message, or "" when it succeeded.
    std::string call()
    {
        try
        {
            handler->call(TesseraSDK::EventType::Iteration, *session);
        }
        catch (const std::runtime_error& error)
        {
            return error.what();
        }
        return {};
    }
    /// What a module-level function returns, as str().
    std::string probe(const std::string& function, std::vector<ScriptingSystem::PythonValue> arguments = {}) const
    {
        return module->findFunction(function)->call(arguments).toString();
    }
    double supply() const
    {
        return std::get<double>(
            CFDSolver::ExchangeValues::read(*session->values().find(crahSupply)->attribute, false));
    }
    /// Sets a module global to a value made by C++.
    void setGlobal(const char* name, const ScriptingSystem::PythonValue& value) const
    {
        pybind11::gil_scoped_acquire lock;
        pybind11::handle(module->getObject().get()).attr(name) = pybind11::handle(value.get());
    }
    void setSupply(double value) const
    {
        CFDSolver::ExchangeValues::write(*session->values().find(crahSupply)->attribute, value, false);
    }

    SampleProject sample;
    CFDSolver::Project solver;
    std::optional<RecordingSession> session;
    std::optional<ScriptingSystem::PythonModule> module;
    std::unique_ptr<CFDSolver::PythonModuleHandler> handler;
};

/// Runs each step on the handler's mapping and on REFERENCE (the dict of readable values the
/// handler contract promises, made by PythonValueMapping::current()), recording repr() of each
/// expression or the exception it raised; "!" marks a statement.
const char* const differentialSource = R"py(
def run(steps, values):
    out = []
    for step in steps:
        try:
            if step.startswith('!'):
                exec(step[1:], {'values': values, 'INLET': INLET, 'SUPPLY': SUPPLY, 'FULL_INLET': FULL_INLET,
                              'UNREADABLE': UNREADABLE})
                out.append('done')
            else:
                out.append(repr(eval(step, {'values': values, 'INLET': INLET, 'SUPPLY': SUPPLY,
                                            'FULL_INLET': FULL_INLET, 'UNREADABLE': UNREADABLE,
                                            'REFERENCE_COPY': REFERENCE_COPY})))
        except Exception as error:
            out.append(type(error).__name__ + ': ' + str(error))
    return out

lazy = []
plain = []

def handler(values):
    global lazy, plain
    lazy = run(STEPS, values)
    plain = run(STEPS, REFERENCE)

def count():
    return len(lazy)

def lazy_row(i):
    return lazy[int(i)]

def plain_row(i):
    return plain[int(i)]
)py";
} // namespace

TEST(PythonHandlerMapping, ReadsChangesAndCopiesExactlyAsTheDictOfReadableValues)
{
    // In order: reads while the mapping reads the model, then changes (after which it is a dict
    // of its own), then reads again.
    const std::vector<std::string> steps{
        "values[INLET]",
        "values.get(SUPPLY)",
        "values.get('Data Hall 1.Nowhere')",
        "values.get('Data Hall 1.Nowhere', 7)",
        "values['Data Hall 1.Nowhere']",
        "values[FULL_INLET]", // a full path finds a value to write, but is no key of the mapping
        "values[UNREADABLE]",
        "values[3]",
        "values[[1]]",
        "values.get()",
        "INLET in values",
        "FULL_INLET in values",
        "3 in values",
        "len(values)",
        "bool(values)",
        "list(values)",
        "[k for k in values]",
        "sorted(values.keys()) == sorted(list(values))",
        "list(values.items())",
        "list(values.values())",
        "dict(values)",
        "{**values}",
        "values.copy()",
        "type(values.copy()).__name__",
        "values == REFERENCE_COPY",
        "values != {}",
        "values | {'extra': 1}",
        "{'extra': 1} | values",
        "list(reversed(values))[:2]",
        "__import__('copy').deepcopy(values)",
        "__import__('pickle').loads(__import__('pickle').dumps(values))",
        "__import__('json').dumps(dict(values))[:60]",
        "isinstance(values, __import__('collections.abc').abc.Mapping)",
        "isinstance(values, __import__('collections.abc').abc.MutableMapping)",
        "!values[SUPPLY] = 15.5",
        "values[SUPPLY]",
        "!del values[INLET]",
        "INLET in values",
        "values.get(INLET, 'gone')",
        "len(values)",
        "!del values['Data Hall 1.Nowhere']",
        "values.pop(SUPPLY)",
        "values.setdefault('extra', 2)",
        "!values.update({'more': 3}, other=4)",
        "!values |= {'last': 5}",
        "list(values)[-4:]",
        "values.popitem()",
        "repr(values)[:40]",
        "!values.clear()",
        "len(values)",
        "values",
    };
    HandlerFixture fixture;
    fixture.load(differentialSource);
    fixture.setSupply(18.5);
    CFDSolver::PythonValueMapping reference(fixture.session->values(), true);
    fixture.setGlobal("REFERENCE", reference.current());
    fixture.setGlobal("REFERENCE_COPY", reference.current());
    {
        pybind11::gil_scoped_acquire lock;
        pybind11::list list;
        for (const std::string& step : steps)
            list.append(step);
        fixture.setGlobal("STEPS", ScriptingSystem::PythonValue::borrow(list.ptr()));
    }
    ASSERT_EQ(fixture.call(), "");
    ASSERT_EQ(fixture.probe("count"), std::to_string(steps.size()));
    for (std::size_t i = 0; i < steps.size(); ++i)
    {
        SCOPED_TRACE(steps[i]);
        const std::vector<ScriptingSystem::PythonValue> row{ScriptingSystem::PythonValue::fromDouble(double(i))};
        EXPECT_EQ(fixture.probe("lazy_row", row), fixture.probe("plain_row", row));
    }
    // Its changes stayed its own: nothing was written or refused, the model kept its supply.
    EXPECT_TRUE(fixture.session->written.empty());
    EXPECT_TRUE(fixture.session->refused.empty());
    EXPECT_DOUBLE_EQ(fixture.supply(), 18.5);
}

TEST(PythonHandlerMapping, ReturningTheMappingWritesOrRefusesAsReturningTheDictWould)
{
    struct Case
    {
        const char* name;
        std::string body; ///< the handler's body; `given` is the mapping or the reference dict
        std::string refusal;
    };
    const std::string where = "Python handler 'handler' of module 'mapping_probe', iteration 1: ";
    std::string firstReadOnly;
    {
        const HandlerFixture fixture;
        for (const auto& value : fixture.session->values().values())
            if (TesseraSDK::canRead(value.attribute->getAccessType()) &&
                !TesseraSDK::canWrite(value.attribute->getAccessType()) && firstReadOnly.empty())
                firstReadOnly = value.path;
    }
    const std::vector<Case> cases{
        {"all of it: the first read-only path is refused", "return given",
         where + "'" + firstReadOnly + "': User has no write access"},
        {"changed to the writable value", "given.clear()\n    given[SUPPLY] = 17.25\n    return given", ""},
        {"a value of the wrong kind put in", "given.clear()\n    given[SUPPLY] = 'cold'\n    return given",
         where + "'" + crahSupply + "': the value is not a number"},
    };
    for (const Case& c : cases)
        for (const bool lazy : {true, false})
        {
            SCOPED_TRACE(std::string(c.name) + (lazy ? ", the mapping" : ", the dict"));
            HandlerFixture fixture;
            fixture.load("def handler(values):\n    given = values if LAZY else REFERENCE\n    " + c.body + "\n");
            CFDSolver::PythonValueMapping reference(fixture.session->values(), true);
            fixture.setGlobal("REFERENCE", reference.current());
            {
                pybind11::gil_scoped_acquire lock;
                fixture.setGlobal("LAZY", ScriptingSystem::PythonValue::borrow(lazy ? Py_True : Py_False));
            }
            fixture.setSupply(18.5);
            EXPECT_EQ(fixture.call(), c.refusal);
            if (c.refusal.empty())
            {
                EXPECT_EQ(fixture.session->written, std::vector<std::string>{crahSupply});
                EXPECT_DOUBLE_EQ(fixture.supply(), 17.25);
            }
            else
            {
                EXPECT_TRUE(fixture.session->written.empty());
                EXPECT_DOUBLE_EQ(fixture.supply(), 18.5);
            }
        }
}

TEST(PythonHandlerMapping, AMappingKeptPastItsCallKeepsTheValuesItShowed)
{
    HandlerFixture fixture;
    fixture.load(R"py(
import gc
kept = []
iterators = []
supplies = []

def handler(values):
    supplies.append(values[SUPPLY])
    if len(supplies) == 2:
        kept.append(values)
        iterators.append(iter(values))
    if len(supplies) == 3:
        # Kept by the exception's traceback and a closure, and holding itself.
        values['itself'] = values
        kept.append(lambda: values)
        raise ValueError('sensor lost')

def seen():
    gc.collect()
    first = kept[0]
    return repr((supplies, first[SUPPLY], first.get(INLET) is not None, len(first), next(iterators[0]) in first,
                 kept[1]()[SUPPLY], kept[1]()['itself'] is kept[1](), first is not kept[1]()))
)py");
    // Not kept: each call reads the model as it is then.
    fixture.setSupply(18.5);
    ASSERT_EQ(fixture.call(), "");
    fixture.setSupply(19.25);
    ASSERT_EQ(fixture.call(), "");
    fixture.setSupply(20.0);
    EXPECT_NE(fixture.call().find("ValueError: sensor lost"), std::string::npos);
    fixture.setSupply(21.0);
    ASSERT_EQ(fixture.call(), "");
    const std::size_t readable = CFDSolver::PythonValueMapping(fixture.session->values(), true).size();
    const std::string expected = "([18.5, 19.25, 20.0, 21.0], 19.25, True, " + std::to_string(readable) +
                                 ", True, 20.0, True, True)";
    EXPECT_EQ(fixture.probe("seen"), expected);
    // The handler and its model gone, what Python kept still reads.
    fixture.handler.reset();
    fixture.session.reset();
    EXPECT_EQ(fixture.probe("seen"), expected);
}
