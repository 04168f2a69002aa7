// The per-linker settings: file-parser options, user-defined libraries, Python modules and the AI
// linker's update settings, each read from the sample project with one setting changed.
#include "GeneratorTestSupport.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/ValueAttribute.h"
#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerUserDefinedDLL.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace GeneratorTest;
using Conflux::LinkerType;

namespace
{
const std::string properties = "Conflux Control.FileParser Properties.";

/// Runs updateProject on the sample after `edit`; the error text, or empty when nothing was thrown.
struct Configured
{
    explicit Configured(const std::function<void(SampleProject&)>& edit, bool aiOff = true)
    {
        if (aiOff)
            p.exchangeOnly();
        edit(p);
        try
        {
            p.generator().updateProject(solver.get());
        }
        catch (const std::runtime_error& e)
        {
            error = e.what();
        }
    }
    const CFDSolver::ConfluxCntrl& control() const { return *solver->GetConfluxCntrl(); }
    std::vector<CFDSolver::ConfluxEventHandler> handlers() const { return control().getEventHandlers(); }

    SampleProject p;
    std::unique_ptr<CFDSolver::Project> solver = p.solverProject();
    std::string error;
};

void removeSetting(SampleProject& p, const std::string& path)
{
    Attribute* attribute = p.control->findAttribute(path);
    ASSERT_NE(attribute, nullptr) << path;
    attribute->getParent()->removeAttribute(attribute);
}

/// The sample's file-parser options.
Conflux::CSVEventHandlerOptions sampleOptions(const std::string& store)
{
    Conflux::CSVEventHandlerOptions o;
    o.directory = store + "/Conflux";
    o.inputFileTryAttempts = 20;
    o.syncStartIteration = 100;
    o.syncIterationInterval = 10;
    o.useFullEntityName = true;
    o.solverHeartbeatInterval = 5;
    o.clientHeartbeatGracePeriod = 30;
    return o;
}

QString writeFile(const SampleProject& p, const QString& name, const QByteArray& text)
{
    const QString path = p.temporary.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}
} // namespace

TEST(ConfluxGeneratorLinkers, FileParserSettings)
{
    using Options = Conflux::CSVEventHandlerOptions;
    struct Row
    {
        const char* name;
        std::function<void(SampleProject&)> edit;
        std::function<void(Options&)> expect;
    };
    auto set = [](const std::string& path, EditValue value)
    { return [path, value](SampleProject& p) { p.set(properties + path, value); }; };
    const Row rows[] = {
        {"the sample", [](SampleProject&) {}, [](Options&) {}},
        {"sequential files", set("File Mode", TypeRef("Sequential Files")),
         [](Options& o) { o.fileMode = 2; }},
        {"strict state file", set("State File Mode", TypeRef("Strict")),
         [](Options& o) { o.stateFileMode = 1; }},
        {"no state file keeps the heartbeat defaults",
         [](SampleProject& p)
         {
             p.set(properties + "State File Mode", TypeRef("No State File"));
             p.set(properties + "Solver heart beat interval", 2.1);
         },
         [](Options& o)
         {
             o.stateFileMode = 2;
             o.solverHeartbeatInterval = 10;
         }},
        {"heartbeat rounded up",
         [](SampleProject& p)
         {
             p.set(properties + "Solver heart beat interval", 2.1);
             p.set(properties + "Client heartbeat check grace period", 12.5);
         },
         [](Options& o)
         {
             o.solverHeartbeatInterval = 3;
             o.clientHeartbeatGracePeriod = 13;
         }},
        {"grace period check off", set("Client heartbeat check grace period", 0.0),
         [](Options& o) { o.clientHeartbeatGracePeriod = -1; }},
        {"heartbeat off",
         [](SampleProject& p)
         {
             p.set(properties + "Solver heart beat interval", 2.1);
             p.set(properties + "Use Alive HeartBeat", false);
         },
         [](Options& o) { o.solverHeartbeatInterval = 10; }},
        {"parse failure strict", set("Parse Failure Handling", TypeRef("Strict")),
         [](Options& o) { o.parseFailureHandling = 1; }},
        {"parse failure ignore", set("Parse Failure Handling", TypeRef("Ignore")),
         [](Options& o) { o.parseFailureHandling = 2; }},
        {"attempts not limited", set("Limit input file try attempts", No_t),
         [](Options& o) { o.inputFileTryAttempts = -1; }},
        {"an attempt count of 0 is ignored",
         [](SampleProject& p) {
             static_cast<IntAttribute*>(p.control->findAttribute(properties + "Input file try attempts"))
                 ->setInt(0);
         },
         [](Options& o) { o.inputFileTryAttempts = -1; }},
        {"no limit setting",
         [](SampleProject& p) { removeSetting(p, properties + "Limit input file try attempts"); },
         [](Options& o) { o.inputFileTryAttempts = -1; }},
        {"each time step on a time-varying solve",
         [](SampleProject& p)
         {
             p.set("Transient.Time Varying", true);
             p.set(properties + "Sync Mode", TypeRef("Each Time Step"));
         },
         [](Options& o)
         {
             o.syncMode = 20;
             o.syncStartIteration = 0;
             o.syncIterationInterval = 1;
         }},
        {"each time step while hidden reads the interval",
         [](SampleProject& p)
         {
             p.set("Transient.Time Varying", true);
             p.set(properties + "Sync Mode", TypeRef("Each Time Step"));
             p.set("Transient.Time Varying", false);
         },
         [](Options&) {}},
        {"no sync interval or start",
         [](SampleProject& p)
         {
             removeSetting(p, properties + "Sync Iteration Interval");
             removeSetting(p, properties + "Sync Start Iteration");
         },
         [](Options& o)
         {
             o.syncStartIteration = 0;
             o.syncIterationInterval = 1;
         }},
        {"short entity names", set("Use Full Entity Name in CSV", false),
         [](Options& o) { o.useFullEntityName = false; }},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Configured c(row.edit);
        ASSERT_EQ(c.error, "");
        ASSERT_EQ(linkerTypes(c.control()), std::vector{LinkerType::CSVEventHandler});
        Options expected = sampleOptions(c.p.storeDirectory());
        row.expect(expected);
        const auto& linker = linkerAt<Conflux::LinkerCSVEventHandler>(c.control(), 0);
        EXPECT_EQ(linker.getOptions(), expected);
        EXPECT_EQ(c.handlers(), (std::vector<CFDSolver::ConfluxEventHandler>{
                                    {linker.getLibraryName(Utilities::OperatingSystem::Windows),
                                     Conflux::LinkerCSVEventHandler::getEventHandler()}}));
    }
}

TEST(ConfluxGeneratorLinkers, FileParserLogLevelAndErrors)
{
    for (const auto& row : std::vector<std::pair<const char*, int>>{{"Error Only", 1}, {"All", 4}, {"Warnings", 2}})
    {
        // Named, not a structured binding: clang 14 does not let the lambda below capture one.
        const char* level = row.first;
        const int expected = row.second;
        SCOPED_TRACE(level);
        Configured c([&](SampleProject& p) { p.set("Conflux Control.Log Level", TypeRef(level)); });
        EXPECT_EQ(c.control().logLevel(), expected);
    }

    struct Row
    {
        const char* name;
        std::function<void(SampleProject&)> edit;
        const char* error;
    };
    const Row rows[] = {
        {"no file mode", [](SampleProject& p) { removeSetting(p, properties + "File Mode"); },
         "Invalid File Mode."},
        {"no settings at all",
         [](SampleProject& p)
         {
             static_cast<CompositeAttribute*>(
                 p.control->findAttribute(properties.substr(0, properties.size() - 1)))
                 ->removeAllAttributes();
         },
         "Invalid File Mode."},
        {"unknown file mode", [](SampleProject& p) { p.set(properties + "File Mode", TypeRef()); },
         "Invalid FileParser Mode."},
        {"limited attempts without a count",
         [](SampleProject& p) { removeSetting(p, properties + "Input file try attempts"); },
         "Invalid Conflux Mode."},
        {"limited attempts counted in text",
         [](SampleProject& p)
         {
             removeSetting(p, properties + "Input file try attempts");
             static_cast<CompositeAttribute*>(
                 p.control->findAttribute(properties.substr(0, properties.size() - 1)))
                 ->addAttribute(std::make_unique<StringAttribute>(TypeRef(Input_file_try_attempts_t), "20"));
         },
         "Invalid Conflux Mode."},
        // Whole seconds go to the solver as 32-bit counts: a value that does not fit is refused by name.
        {"a heartbeat too long for the solver",
         [](SampleProject& p) { p.set(properties + "Solver heart beat interval", 3e9); },
         "Conflux setting 'Conflux Control.FileParser Properties.Solver heart beat interval' is 3e+09 s, "
         "outside "
         "the range 0 to 86400 s"},
        {"a negative grace period",
         [](SampleProject& p) { p.set(properties + "Client heartbeat check grace period", -1.5); },
         "Conflux setting 'Conflux Control.FileParser Properties.Client heartbeat check grace period' is "
         "-1.5 s, "
         "outside the range 0 to 86400 s"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Configured c(
            [&](SampleProject& p)
            {
                p.set("Conflux Control.Log Level", TypeRef("Error Only"));
                row.edit(p);
            });
        EXPECT_EQ(c.error, row.error);
        EXPECT_TRUE(c.control().getLinkers().empty());
        EXPECT_TRUE(c.handlers().empty());
        EXPECT_EQ(c.control().logLevel(), 1);
    }
}

TEST(ConfluxGeneratorLinkers, UserDefinedLibraries)
{
    const auto mode = [](SampleProject& p) { p.set("Conflux Control.Mode", TypeRef("User Defined DLL")); };
    const std::string dllHandler = "Conflux Control.User Defined DLL Properties.Event Handler";
    using Files = Conflux::LinkerUserDefinedDLL::Files;
    constexpr auto windows = Utilities::OperatingSystem::Windows;
    constexpr auto linux = Utilities::OperatingSystem::Linux;
    {
        SCOPED_TRACE("the sample: one library with both files and the selected handler");
        Configured c(mode);
        ASSERT_EQ(c.error, "");
        ASSERT_EQ(linkerTypes(c.control()), std::vector{LinkerType::UserDefinedDLL});
        const auto& linker = linkerAt<Conflux::LinkerUserDefinedDLL>(c.control(), 0);
        EXPECT_EQ(linker.getName(), "Site BMS Bridge");
        EXPECT_EQ(linker.getFiles(), (Files{{windows, CONFLUX_EXAMPLES_DIR "/bms_bridge.dll"},
                                            {linux, CONFLUX_EXAMPLES_DIR "/libbms_bridge.so"}}));
        EXPECT_EQ(c.handlers(),
                  (std::vector<CFDSolver::ConfluxEventHandler>{{"Site BMS Bridge", "onBmsUpdate"}}));
    }
    {
        SCOPED_TRACE("two libraries of the selected name both register the handler");
        Configured c(
            [&](SampleProject& p)
            {
                mode(p);
                Entity* second = EntityEditor::createEntity(User_Defined_DLL_t, p.root, UserDefinedDLLList_t,
                                                            nullptr, true, true, false, "Site BMS Bridge");
                EntityEditor::setValue(second, "Linux Library.Shared Object File", "libsecond.so");
                Entity* other = EntityEditor::createEntity(User_Defined_DLL_t, p.root, UserDefinedDLLList_t,
                                                           nullptr, true, true, false, "Other");
                EntityEditor::setValue(other, "Windows Library.Dynamic Link Library File", "other.dll");
            });
        ASSERT_EQ(c.error, "");
        EXPECT_EQ(linkerTypes(c.control()).size(), 3u);
        EXPECT_EQ(linkerAt<Conflux::LinkerUserDefinedDLL>(c.control(), 1).getFiles(),
                  (Files{{linux, "libsecond.so"}}));
        EXPECT_EQ(c.handlers(), (std::vector<CFDSolver::ConfluxEventHandler>{
                                    {"Site BMS Bridge", "onBmsUpdate"}, {"Site BMS Bridge", "onBmsUpdate"}}));
    }
    {
        SCOPED_TRACE("a handler of another library or no selection: added without a handler");
        Configured other(
            [&](SampleProject& p)
            {
                mode(p);
                EntityEditor::removeAllEntities(p.control, dllHandler);
                ASSERT_TRUE(EntityEditor::addEntity(p.control, dllHandler, p.entity("on_iteration")));
            });
        EXPECT_EQ(linkerTypes(other.control()), std::vector{LinkerType::UserDefinedDLL});
        EXPECT_TRUE(other.handlers().empty());
        Configured unselected(
            [&](SampleProject& p)
            {
                mode(p);
                EntityEditor::removeAllEntities(p.control, dllHandler);
            });
        EXPECT_EQ(linkerTypes(unselected.control()), std::vector{LinkerType::UserDefinedDLL});
        EXPECT_TRUE(unselected.handlers().empty());
    }
    {
        SCOPED_TRACE("a hidden Linux file is ignored");
        Configured c(
            [&](SampleProject& p)
            {
                mode(p);
                EntityEditor::setValue(p.entity("Site BMS Bridge"), "Linux Library.Enabled", false);
            });
        EXPECT_EQ(linkerAt<Conflux::LinkerUserDefinedDLL>(c.control(), 0).getFiles(),
                  (Files{{windows, CONFLUX_EXAMPLES_DIR "/bms_bridge.dll"}}));
    }
    struct Row
    {
        const char* name;
        std::function<void(SampleProject&)> edit;
        const char* error;
    };
    const Row rows[] = {
        {"only a hidden Linux file",
         [](SampleProject& p)
         {
             EntityEditor::setValue(p.entity("Site BMS Bridge"), "Linux Library.Enabled", false);
             EntityEditor::setValue(p.entity("Site BMS Bridge"), "Windows Library.Dynamic Link Library File",
                                    "");
         },
         "Error : No Library specified."},
        {"no file at all",
         [](SampleProject& p)
         {
             EntityEditor::setValue(p.entity("Site BMS Bridge"), "Linux Library.Shared Object File", "");
             EntityEditor::setValue(p.entity("Site BMS Bridge"), "Windows Library.Dynamic Link Library File",
                                    "");
         },
         "Error : No Library specified."},
        // The selection is cleared first so that nothing refers to the libraries taken away.
        {"an empty list",
         [&](SampleProject& p)
         {
             EntityEditor::removeAllEntities(p.control, dllHandler);
             EntityEditor::removeAllEntities(p.root, UserDefinedDLLList_t);
         },
         "Error : No User-Defined DLL connected to the project"},
        {"no list",
         [&](SampleProject& p)
         {
             EntityEditor::removeAllEntities(p.control, dllHandler);
             p.root->removeAttribute(p.root->findAttribute(UserDefinedDLLList_t, false));
         },
         ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        Configured c(
            [&](SampleProject& p)
            {
                mode(p);
                row.edit(p);
            });
        EXPECT_EQ(c.error, row.error);
        EXPECT_TRUE(c.control().getLinkers().empty());
        EXPECT_TRUE(c.handlers().empty());
    }
}

TEST(ConfluxGeneratorLinkers, PythonModules)
{
    const auto fileModule = [](SampleProject& p, const QString& path)
    {
        p.set("Conflux Control.Mode", TypeRef("Python Module"));
        EntityEditor::setValue(p.entity("controller"), "Python File", path.toStdString());
    };
    const QByteArray script = "def on_iteration():\n    pass\n";
    {
        SCOPED_TRACE("a module read from its file, with the selected handler");
        Configured c([&](SampleProject& p) { fileModule(p, writeFile(p, "controller.py", script)); });
        ASSERT_EQ(c.error, "");
        ASSERT_EQ(linkerTypes(c.control()), std::vector{LinkerType::PythonModule});
        const auto& linker = linkerAt<Conflux::LinkerPythonModule>(c.control(), 0);
        EXPECT_EQ(linker.getName(), "controller");
        EXPECT_EQ(linker.getSource(), script.toStdString());
        EXPECT_EQ(c.handlers(),
                  (std::vector<CFDSolver::ConfluxEventHandler>{{"controller", "on_iteration"}}));
        EXPECT_TRUE(c.control().pythonRequired());
    }
    {
        SCOPED_TRACE("a module given as a script");
        Configured c(
            [&](SampleProject& p)
            {
                p.set("Conflux Control.Mode", TypeRef("Python Module"));
                EntityEditor::setValue(p.entity("controller"), "Source", TypeRef("Script"));
                EntityEditor::setValue(p.entity("controller"), "Python Script", "x = 1\n");
            });
        ASSERT_EQ(c.error, "");
        EXPECT_EQ(linkerAt<Conflux::LinkerPythonModule>(c.control(), 0).getSource(), "x = 1\n");
    }

    struct Row
    {
        const char* name;
        std::function<std::string(SampleProject&)> edit; // returns the expected error
    };
    const Row rows[] = {
        {"unreadable file",
         [&](SampleProject& p)
         {
             const QString path = p.temporary.filePath("missing.py");
             fileModule(p, path);
             return "Unable to read : " + path.toStdString();
         }},
        {"a folder as the file",
         [&](SampleProject& p)
         {
             fileModule(p, p.temporary.path());
             return "Unable to read : " + p.temporary.path().toStdString();
         }},
        {"empty file",
         [&](SampleProject& p)
         {
             const QString path = writeFile(p, "empty.py", "");
             fileModule(p, path);
             return "Empty Python Script defined in : controller\nfile : " + path.toStdString();
         }},
        {"empty script",
         [](SampleProject& p)
         {
             p.set("Conflux Control.Mode", TypeRef("Python Module"));
             EntityEditor::setValue(p.entity("controller"), "Source", TypeRef("Script"));
             return std::string("Empty Python Script defined in : controller");
         }},
        {"no module",
         [](SampleProject& p)
         {
             p.set("Conflux Control.Mode", TypeRef("Python Module"));
             EntityEditor::removeAllEntities(p.control,
                                             "Conflux Control.Python Module Properties.Event Handler");
             EntityEditor::removeAllEntities(p.root, PythonModulesList_t);
             return std::string("Error : No Python Modules defined in the project");
         }},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        std::string expected;
        Configured c([&](SampleProject& p) { expected = row.edit(p); });
        EXPECT_EQ(c.error, expected);
        EXPECT_TRUE(c.control().getLinkers().empty());
    }
}

TEST(ConfluxGeneratorLinkers, AIUpdateSettings)
{
    {
        SCOPED_TRACE("every N iterations");
        Configured c([](SampleProject&) {}, false);
        const auto& options = linkerAt<Conflux::LinkerAIEventHandler>(c.control(), 0).getOptions();
        EXPECT_EQ(options.updateMode, 10);
        EXPECT_EQ(options.updateIterationInterval, 5);
        EXPECT_EQ(options.updateStartIteration, 50);
    }
    {
        SCOPED_TRACE("each time step keeps the interval defaults");
        Configured c(
            [](SampleProject& p)
            {
                p.set("Transient.Time Varying", true);
                p.set("AI Model Control.Update Mode", TypeRef("Each Time Step"));
            },
            false);
        ASSERT_EQ(c.error, "");
        const auto& options = linkerAt<Conflux::LinkerAIEventHandler>(c.control(), 0).getOptions();
        EXPECT_EQ(options.updateMode, 20);
        EXPECT_EQ(options.updateIterationInterval, 1);
        EXPECT_EQ(options.updateStartIteration, 0);
    }
}
