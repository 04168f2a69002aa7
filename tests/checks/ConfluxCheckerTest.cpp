#include "src/checks/ConfluxChecker.h"
#include "tests/model/builders/BuilderTestSupport.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/entitymodel/SchemaLoader.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

using namespace EntityModel;
using Conflux::ConfluxChecker;

namespace
{
/// A detached project holding controller entities, and a temporary folder for their files.
class Controllers
{
public:
    Controllers()
    {
        SchemaLoader::ensureBuiltInLoaded();
        m_project = EntityEditor::createDetachedEntity(Project_t, "Checks");
    }

    Entity* project() const { return m_project.get(); }

    Entity* library(const std::string& windowsFile, const std::string& linuxFile) const
    {
        Entity* library =
            EntityEditor::createEntity(User_Defined_DLL_t, project(), AttributePath("UserDefinedDLLList"),
                                       nullptr, true, true, false, "Library");
        EntityEditor::setValue(library, Windows_Library_t / Dynamic_Link_Library_File_t, windowsFile);
        EntityEditor::setValue(library, Linux_Library_t / Shared_Object_File_t, linuxFile);
        return library;
    }

    Entity* script(const std::string& name, const std::string& source,
                   const std::vector<std::string>& handlers) const
    {
        Entity* module = EntityEditor::createEntity(
            Python_Module_t, project(), AttributePath("PythonModulesList"), nullptr, true, true, false, name);
        EntityEditor::setValue(module, Source_t, Script_t);
        EntityEditor::setValue(module, Python_Script_t, source);
        for (const std::string& handler : handlers)
            EntityEditor::createEntity(Event_Handler_t, module, Event_Handlers_t, nullptr, true, true, false,
                                       handler);
        return module;
    }

    /// A file in the temporary folder with that content; its full path.
    std::string file(const std::string& name, const std::string& content) const
    {
        const std::string path = m_dir.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path) << content;
        return path;
    }
    std::string path(const std::string& name) const
    {
        return m_dir.filePath(QString::fromStdString(name)).toStdString();
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Entity, EntityEditorDeleter> m_project;
};

std::vector<std::string> messages(const std::vector<EntityError>& errors)
{
    std::vector<std::string> result;
    for (const EntityError& error : errors)
        result.push_back(error.getMessage());
    return result;
}

std::vector<EntityError> check(ConfluxChecker& checker, std::set<Entity*> entities)
{
    std::vector<EntityError> errors;
    checker.checkEntities(entities, errors);
    return errors;
}

/// Restores the installation's access rights when a test has changed them.
struct RightsGuard
{
    ConfluxAccessRights saved = InstallationSettings::current().confluxAccessRights();
    ~RightsGuard() { InstallationSettings::current().setConfluxAccessRights(saved); }
};
} // namespace

TEST(ConfluxChecker, LibraryFileMustExistForThisPlatform)
{
    struct Row
    {
        const char* name;
        bool windows;
        bool linuxExists;
        const char* linuxName;
        std::string expected;
    };
    const Row rows[] = {
        {"present", true, true, "libpresent.so", ""},
        {"only the other platform", true, false, "",
         "User Defined DLL - No library selected specified for current platform"},
        {"missing on disk", false, false, "libmissing.so", "User Defined DLL - Unable to access - "},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Controllers c;
        std::string linuxFile;
        if (*row.linuxName)
            linuxFile = row.linuxExists ? c.file(row.linuxName, "ELF") : c.path(row.linuxName);
        Entity* library = c.library(row.windows ? "C:\\bridge.dll" : "", linuxFile);
        ConfluxChecker checker;
        const std::vector<EntityError> errors = check(checker, {library});
        if (row.expected.empty())
        {
            EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0].getMessage());
            continue;
        }
        ASSERT_EQ(errors.size(), 1u);
        const std::string expected =
            row.expected.back() == ' ' ? row.expected + linuxFile : row.expected; // the missing file is named
        EXPECT_EQ(errors[0].getMessage(), expected);
        EXPECT_EQ(errors[0].getEntity(), library);
        EXPECT_EQ(errors[0].getGroup(), "");
    }
}

TEST(ConfluxChecker, PythonScriptsAreCompiledAndTheirHandlersLookedUp)
{
    struct Row
    {
        const char* name;
        const char* source;
        std::vector<std::string> handlers;
        std::string expected; ///< empty: no error; ending in "*": a prefix
    };
    const Row rows[] = {
        {"every handler defined",
         "import math\n\ndef on_start(v=None):\n    return {}\n\non_step = lambda v=None: {}\n",
         {"on_start", "on_step"},
         ""},
        {"empty script without handlers", "", {}, ""},
        {"empty script with a handler",
         "",
         {"on_start"},
         "Python Module - Missing function definition for : on_start"},
        {"only the first missing handler",
         "def on_start():\n    pass\n",
         {"on_start", "on_step", "on_stop"},
         "Python Module - Missing function definition for : on_step"},
        {"names that are no functions",
         "class on_start:\n    pass\non_step = 3\n",
         {"on_step"},
         "Python Module - Missing function definition for : on_step"},
        {"syntax error", "def on_start(:\n    pass\n", {"on_start"}, "Python Module - SyntaxError*"},
        {"failure while importing", "x = 1 / 0\n", {}, "Python Module - ZeroDivisionError*"},
    };
    ConfluxChecker checker;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Controllers c;
        Entity* module = c.script("checked_controller", row.source, row.handlers);
        const std::vector<EntityError> errors = check(checker, {module});
        if (row.expected.empty())
        {
            EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0].getMessage());
            continue;
        }
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].getEntity(), module);
        if (row.expected.back() == '*')
            EXPECT_EQ(errors[0].getMessage().rfind(row.expected.substr(0, row.expected.size() - 1), 0), 0u)
                << errors[0].getMessage();
        else
            EXPECT_EQ(errors[0].getMessage(), row.expected);
    }
}

TEST(ConfluxChecker, SyntaxErrorsCarryPythonsLine)
{
    Controllers c;
    Entity* module = c.script("broken_controller", "x = 1\ny = (\n", {});
    ConfluxChecker checker;
    const std::vector<EntityError> errors = check(checker, {module});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].getMessage().find("<string>"), std::string::npos) << errors[0].getMessage();
    EXPECT_NE(errors[0].getMessage().find("line 2"), std::string::npos) << errors[0].getMessage();
}

TEST(ConfluxChecker, PythonSourceKinds)
{
    Controllers c;
    ConfluxChecker checker;

    Entity* fromFile = c.script("file_controller", "", {"on_step"});
    EntityEditor::setValue(fromFile, Source_t, File_t);
    EntityEditor::setValue(fromFile, Python_File_t,
                           c.file("controller.py", "def on_step(v=None):\n    return {}\n"));
    EXPECT_TRUE(check(checker, {fromFile}).empty());

    const std::string missing = c.path("no-such-controller.py");
    EntityEditor::setValue(fromFile, Python_File_t, missing);
    EXPECT_EQ(messages(check(checker, {fromFile})),
              std::vector<std::string>{"Python Module - Unable to read : " + missing});

    const std::string folder = c.path("");
    EntityEditor::setValue(fromFile, Python_File_t, folder);
    EXPECT_EQ(messages(check(checker, {fromFile})),
              std::vector<std::string>{"Python Module - Unable to read : " + folder});

    // A source of neither kind is not checked, even with handlers that nothing defines.
    Entity* neither = c.script("unsourced_controller", "def (", {"on_step"});
    neither->removeAttribute(neither->findAttribute(Source_t));
    EXPECT_TRUE(check(checker, {neither}).empty());
}

TEST(ConfluxChecker, AModuleCheckedAgainIsCheckedOnItsNewSource)
{
    Controllers c;
    ConfluxChecker checker;
    Entity* module = c.script("edited_controller", "def on_step(v=None):\n    return {}\n", {"on_step"});
    EXPECT_TRUE(check(checker, {module}).empty());
    EntityEditor::setValue(module, Python_Script_t, "def on_stop(v=None):\n    return {}\n");
    EXPECT_EQ(messages(check(checker, {module})),
              std::vector<std::string>{"Python Module - Missing function definition for : on_step"});
}

TEST(ConfluxChecker, EachControllerOfTheSetAndBelowItIsCheckedOnce)
{
    Controllers c;
    Entity* module = c.script("twice_listed", "", {"on_step"});
    Entity* library = c.library("", "");
    ConfluxChecker checker;

    std::vector<std::string> found = messages(check(checker, {module, c.project(), nullptr}));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "Python Module - Missing function definition for : on_step",
                         "User Defined DLL - No library selected specified for current platform"}));

    // Entities that are no controllers and own none add nothing; errors already listed stay.
    std::vector<EntityError> errors{EntityError(library, "earlier", "")};
    const std::vector<Entity*> linked = getLinkedEntities(module, Event_Handlers_t);
    std::set<Entity*> handlers(linked.begin(), linked.end());
    checker.checkEntities(handlers, errors);
    std::set<Entity*> all{c.project()};
    checker.checkFlowNetworkOnlyEntities(all, errors);
    EXPECT_EQ(messages(errors), std::vector<std::string>{"earlier"});
}

TEST(ConfluxChecker, RefusedLinkerKindIsReportedOnTheController)
{
    RightsGuard guard;
    ConfluxAccessRights rights = ConfluxAccessRights::all();
    rights.setAllowed(5, false);
    InstallationSettings::current().setConfluxAccessRights(rights);

    Controllers c;
    Entity* module = c.script("refused_controller", "", {});
    Entity* library = c.library("", "");
    ConfluxChecker checker;
    const std::vector<EntityError> pythonErrors = check(checker, {module});
    ASSERT_EQ(pythonErrors.size(), 1u);
    EXPECT_EQ(pythonErrors[0].getMessage().rfind("Python Module - ", 0), 0u);
    EXPECT_GT(pythonErrors[0].getMessage().size(), std::string("Python Module - ").size());
    // The library check goes on to its own problem.
    EXPECT_EQ(
        messages(check(checker, {library})),
        std::vector<std::string>{"User Defined DLL - No library selected specified for current platform"});
}

TEST(ConfluxChecker, ModuleNamesThatWouldShadowAnImportableModuleAreErrors)
{
    Controllers c;
    ConfluxChecker checker;
    const struct
    {
        const char* name;
        const char* expected;
    } rows[] = {
        {"json",
         "Python Module - The module name \"json\" would shadow the standard Python module of that name"},
        {"numpy",
         "Python Module - The module name \"numpy\" would shadow the installed Python module of that name"},
        {"rack_cooling_controller", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.name);
        Entity* module = c.script(
            row.name, "import json\n\ndef on_step(v=None):\n    return json.loads('{}')\n", {"on_step"});
        const std::vector<std::string> found = messages(check(checker, {module}));
        EXPECT_EQ(found,
                  row.expected[0] ? std::vector<std::string>{row.expected} : std::vector<std::string>{});
    }
}

TEST(ConfluxChecker, AModuleFileInTheWorkingFolderDoesNotShadowItself)
{
    // Checked from the folder that holds it, as `cd examples; confluxtool check ...` does: the
    // interpreter's path reaches the file through the working folder, which is no installation.
    Controllers c;
    const std::string file = c.file("beside_controller.py", "def on_step(v=None):\n    return {}\n");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(c.path(""))));
    Entity* module = c.script("beside_controller", "", {"on_step"});
    EntityEditor::setValue(module, Source_t, File_t);
    EntityEditor::setValue(module, Python_File_t, file);
    ConfluxChecker checker;
    const std::vector<std::string> found = messages(check(checker, {module}));
    // A package folder of that name beside it is no installed module either; the standard
    // library still is one.
    QDir(QString::fromStdString(c.path(""))).mkpath("beside_package");
    c.file("beside_package/__init__.py", "");
    Entity* package = c.script("beside_package", "def on_step(v=None):\n    return {}\n", {"on_step"});
    const std::vector<std::string> packageFound = messages(check(checker, {package}));
    c.file("json.py", "");
    Entity* json = c.script("json", "def on_step(v=None):\n    return {}\n", {"on_step"});
    const std::vector<std::string> jsonFound = messages(check(checker, {json}));
    QDir::setCurrent(before);
    EXPECT_EQ(found, std::vector<std::string>{});
    EXPECT_EQ(packageFound, std::vector<std::string>{});
    EXPECT_EQ(jsonFound, std::vector<std::string>{"Python Module - The module name \"json\" would shadow the "
                                                  "standard Python module of that name"});
}

TEST(ConfluxChecker, ShortcutsThatLeadNowhereAreReportedOnTheirEntity)
{
    using namespace BuilderTest;
    const auto rackType =
        entityType("Rack", {exchangeSwitch(true), Def(AttributeKind::Double, "Power", "1000").flagged(),
                            Def(AttributeKind::Double, "Note", "1"),
                            Def(AttributeKind::Shortcut, "Quick").flagged().targets({"Note", "Power"}),
                            Def(AttributeKind::Shortcut, "Broken").flagged().targets({"Note"})});
    auto hall = make(
        entityType("Hall", {exchangeSwitch(true), Def(AttributeKind::List, "Racks").linked({"Rack"}, false)}),
        "Hall");
    Entity* rack = adopt(hall.get(), "Racks", make(rackType, "Rack A"));

    ConfluxChecker checker;
    checker.setRootEntity(hall.get());
    const auto errors = check(checker, {hall.get()});
    EXPECT_EQ(messages(errors),
              (std::vector<std::string>{
                  "Rack - Shortcut 'Hall.Racks.Rack A.Quick' cannot reach its target 'Note'",
                  "Rack - Shortcut 'Hall.Racks.Rack A.Broken' cannot reach its target 'Note'"}));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].getEntity(), rack);
    // Only entities of the set, or below them, are concerned.
    auto other = make(rackType, "Elsewhere");
    EXPECT_TRUE(check(checker, {other.get()}).empty());
}
