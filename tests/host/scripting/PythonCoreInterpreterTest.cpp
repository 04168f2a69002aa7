#include "host/scripting/PythonCoreInterpreter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace ScriptingSystem;
using ::testing::HasSubstr;

namespace
{
PythonModule import(const std::string& name, const std::string& source)
{
    PythonCoreInterpreter interpreter;
    return interpreter.importCodeModule(name, interpreter.compileExec(source, "<string>"));
}

std::string errorOf(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    return "no error";
}
} // namespace

TEST(PythonCoreInterpreter, FindsModuleLevelFunctionsOnly)
{
    const PythonModule module = import("handlers", R"(
import math
from math import sqrt

def onStart():
    return 1

onStop = lambda: 2
VALUE = 3

class Handler:
    def onStep(self):
        return 4
)");
    struct Row
    {
        const char* name;
        bool found;
    };
    for (const Row& row :
         {Row{"onStart", true}, Row{"onStop", true}, Row{"sqrt", true}, Row{"onStep", false},
          Row{"Handler", false}, Row{"VALUE", false}, Row{"math", false}, Row{"missing", false}})
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(module.findFunction(row.name).has_value(), row.found);
    }
    EXPECT_EQ(module.findFunction("onStart")->call().toDouble(), 1.0);
    EXPECT_EQ(module.getName(), "handlers");
}

TEST(PythonCoreInterpreter, SyntaxErrorCarriesMessageAndLine)
{
    PythonCoreInterpreter interpreter;
    const std::string message =
        errorOf([&] { interpreter.compileExec("x = 1\n\ndef broken(:\n    pass\n", "controller.py"); });
    EXPECT_THAT(message, HasSubstr("SyntaxError"));
    EXPECT_THAT(message, HasSubstr("controller.py"));
    EXPECT_THAT(message, HasSubstr("line 3"));
}

TEST(PythonCoreInterpreter, ImportErrorCarriesMessageAndLine)
{
    PythonCoreInterpreter interpreter;
    const PythonValue code = interpreter.compileExec("a = 1\nb = undefined_name + a\n", "module.py");
    EXPECT_EQ(errorOf([&] { interpreter.importCodeModule("failing", code); }),
              "NameError: name 'undefined_name' is not defined (module.py, line 2)");
    EXPECT_EQ(errorOf([&] { interpreter.compileExec("import no_such_module_here\n", "m.py"); }), "no error");
    EXPECT_THAT(errorOf([&] { import("importing", "import no_such_module_here\n"); }),
                HasSubstr("No module named 'no_such_module_here'"));
}

TEST(PythonCoreInterpreter, RejectsWhatIsNoCode)
{
    PythonCoreInterpreter interpreter;
    EXPECT_THAT(errorOf([&] { interpreter.importCodeModule("m", PythonValue()); }),
                HasSubstr("no compiled code"));
    EXPECT_THAT(errorOf([&] { interpreter.importCodeModule("m", PythonValue::fromDouble(1.0)); }),
                HasSubstr("no compiled code"));
    EXPECT_THAT(errorOf([&] { interpreter.compileExec(std::string("a = 1\0", 6), "nul.py"); }),
                HasSubstr("null byte"));
}

TEST(PythonCoreInterpreter, FunctionExceptionsBecomeErrors)
{
    const PythonModule module = import("raising", "def fail(x):\n    raise ValueError('bad value %s' % x)\n");
    EXPECT_EQ(errorOf([&] { module.findFunction("fail")->call({PythonValue::fromString("7")}); }),
              "Python function fail: ValueError: bad value 7 (<string>, line 2)");
}

TEST(PythonCoreInterpreter, WorksFromSeveralThreadsAndInterpreters)
{
    // Modules imported on one thread are used on others; each thread has its own interpreter object.
    const PythonModule module = import("shared", "def twice(x):\n    return 2 * x\n");
    std::vector<std::future<double>> results;
    for (int i = 0; i < 4; ++i)
        results.push_back(std::async(
            std::launch::async,
            [&module, i]
            {
                PythonCoreInterpreter interpreter;
                const PythonModule local = interpreter.importCodeModule(
                    "local" + std::to_string(i), interpreter.compileExec("k = 10\n", "t.py"));
                double sum = 0;
                for (int k = 0; k < 50; ++k)
                    sum += module.findFunction("twice")->call({PythonValue::fromDouble(i)}).toDouble();
                return sum + (local.findFunction("k") ? 1000.0 : 0.0);
            }));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(results[i].get(), 100.0 * i);
}

TEST(PythonCoreInterpreter, ValuesConvertOrSayWhy)
{
    EXPECT_EQ(PythonValue::fromString("héllo").toString(), "héllo");
    EXPECT_EQ(PythonValue::fromDouble(2.5).toString(), "2.5");
    EXPECT_TRUE(PythonValue().isEmpty());
    EXPECT_THAT(errorOf([] { PythonValue::fromString("abc").toDouble(); }), HasSubstr("TypeError"));
}
