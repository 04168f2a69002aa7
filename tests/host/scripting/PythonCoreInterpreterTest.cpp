#include "host/scripting/PythonCoreInterpreter.h"
#include "host/scripting/PythonTimeLimit.h"

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

/// Shortens the time limit for one test.
struct ShortTimeLimit
{
    explicit ShortTimeLimit(std::chrono::milliseconds limit) { PythonTimeLimit::setLimit(limit); }
    ~ShortTimeLimit() { PythonTimeLimit::setLimit(saved); }
    std::chrono::milliseconds saved = PythonTimeLimit::limit();
};
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

TEST(PythonCoreInterpreter, ModulesNamedLikeImportableOnesDoNotReplaceThem)
{
    const PythonModule json = import("json", "def dumps(x):\n    return 'shadowed'\n");
    EXPECT_EQ(json.getName(), "json");
    EXPECT_TRUE(json.findFunction("dumps"));
    const PythonModule user = import("json_user", "import json\n\ndef run():\n    return json.dumps([1])\n");
    EXPECT_EQ(user.findFunction("run")->call().toString(), "[1]");

    // Controllers still import each other by their plain names, and see a new source once re-imported.
    import("plain_helper", "def value():\n    return 1\n");
    const PythonModule first =
        import("plain_user", "import plain_helper\n\ndef run():\n    return plain_helper.value()\n");
    EXPECT_EQ(first.findFunction("run")->call().toDouble(), 1.0);
    import("plain_helper", "def value():\n    return 2\n");
    const PythonModule second =
        import("plain_user2", "import plain_helper\n\ndef run():\n    return plain_helper.value()\n");
    EXPECT_EQ(second.findFunction("run")->call().toDouble(), 2.0);
}

TEST(PythonCoreInterpreter, TellsWhichNamesWouldShadowAModule)
{
    PythonCoreInterpreter interpreter;
    import("own_controller_name", "x = 1\n");
    const struct
    {
        const char* name;
        const char* kind;
    } rows[] = {{"json", "standard"},        {"os.path", "standard"},
                {"sys", "standard"},         {"numpy", "installed"},
                {"own_controller_name", ""}, {"no_such_module_anywhere", ""},
                {"Rack Controller", ""},     {"", ""}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(interpreter.importableModuleKind(row.name), row.kind);
    }
}

TEST(PythonCoreInterpreter, CodeRunningPastTheTimeLimitIsStopped)
{
    const ShortTimeLimit shortLimit(std::chrono::milliseconds(300));
    PythonCoreInterpreter interpreter;
    EXPECT_EQ(errorOf(
                  [&] {
                      interpreter.importCodeModule(
                          "looping", interpreter.compileExec("while True:\n    pass\n", "l.py"));
                  }),
              "Python module looping: running the module did not finish within the time limit of 0.3 s");
    // Catching the interruption once does not help: it is raised again.
    const PythonModule module = import("stubborn", R"py(
def spin():
    try:
        while True:
            pass
    except BaseException:
        pass
    while True:
        pass

def quick():
    return 5
)py");
    EXPECT_EQ(errorOf([&] { module.findFunction("spin")->call(); }),
              "Python function spin: did not finish within the time limit of 0.3 s");
    // Nothing is left pending for the next call.
    EXPECT_EQ(module.findFunction("quick")->call().toDouble(), 5.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(module.findFunction("quick")->call().toDouble(), 5.0);
}
