#include "host/solver/ConfluxCntrl.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerUserDefinedDLL.h"
#include "host/solver/Project.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using CFDSolver::ConfluxCntrl;
using CFDSolver::ConfluxFiredEvent;
using CFDSolver::Project;
using TesseraSDK::EventType;
using namespace Conflux;

namespace
{
std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A small control as the file-parser mode with a user library beside it would leave it.
ConfluxCntrl smallControl()
{
    ConfluxCntrl control;
    control.active(true);
    control.pythonRequired(true);
    control.logLevel(ConfluxCntrl::logAll);
    control.setTriggerOnCFDgenerationEvents(true);
    CSVEventHandlerOptions options;
    options.directory = "/projects/hall/store/Conflux";
    options.syncMode = 20;
    options.clientHeartbeatGracePeriod = -1;
    auto* csv = control.getLinkers().addLinker(std::make_unique<LinkerCSVEventHandler>(options));
    control.addEventHandler(csv->getLibraryName(Utilities::OperatingSystem::Windows),
                            LinkerCSVEventHandler::getEventHandler());
    control.getLinkers().addLinker(std::make_unique<LinkerUserDefinedDLL>(
        "Chiller \"A\"",
        LinkerUserDefinedDLL::Files{{Utilities::OperatingSystem::Windows, "C:\\ctl\\chiller.dll"}}));
    control.addEventHandler("Chiller \"A\"", "onGeneration");
    control.getLinkers().addLinker(
        std::make_unique<LinkerPythonModule>("pumps", "def onGeneration(e):\n    pass\n"));
    return control;
}

std::string message(const std::function<void()>& action)
{
    try
    {
        action();
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    return "no exception";
}
} // namespace

TEST(ConfluxCntrl, RegistersAndClearsEventHandlers)
{
    ConfluxCntrl control;
    control.addEventHandler("ConfluxCSV.dll", "CSVEventHandler");
    control.addEventHandler("lib", "h");
    control.addEventHandler("lib", "h");
    ASSERT_EQ(control.getEventHandlers().size(), 3u);
    EXPECT_EQ(control.getEventHandlers()[0].library, "ConfluxCSV.dll");
    EXPECT_EQ(control.getEventHandlers()[0].handler, "CSVEventHandler");
    EXPECT_EQ(control.getEventHandlers()[2].library, "lib");
    control.clearEventHandlers();
    EXPECT_TRUE(control.getEventHandlers().empty());
}

TEST(ConfluxCntrl, TriggerCallsEveryHandlerAndRecordsIt)
{
    ConfluxCntrl control = smallControl();
    control.initialize();
    EXPECT_TRUE(control.isInitialized());
    for (const LinkerContainer& linker : control.getLinkers())
        EXPECT_TRUE(linker->isInitialized());

    control.triggerDLLEvent(EventType::CFDGeneration, true);
    const std::vector<ConfluxFiredEvent> expected{
        {EventType::CFDGeneration, "ConfluxCSV.dll", "CSVEventHandler"},
        {EventType::CFDGeneration, "Chiller \"A\"", "onGeneration"},
    };
    EXPECT_EQ(control.getFiredEvents(), expected);

    control.terminate();
    EXPECT_FALSE(control.isInitialized());
    for (const LinkerContainer& linker : control.getLinkers())
        EXPECT_FALSE(linker->isInitialized());
    // The record of the solve stays after it ended.
    EXPECT_EQ(control.getFiredEvents().size(), 2u);
}

TEST(ConfluxCntrl, TriggerRespectsTheSwitches)
{
    {
        SCOPED_TRACE("trigger on CFD generation off");
        ConfluxCntrl control = smallControl();
        control.setTriggerOnCFDgenerationEvents(false);
        control.initialize();
        control.triggerDLLEvent(EventType::CFDGeneration, true);
        EXPECT_TRUE(control.getFiredEvents().empty());
        // Other events still reach the handlers.
        control.triggerDLLEvent(static_cast<EventType>(202), false);
        EXPECT_EQ(control.getFiredEvents().size(), 2u);
    }
    {
        SCOPED_TRACE("inactive control");
        ConfluxCntrl control = smallControl();
        control.active(false);
        control.initialize();
        EXPECT_FALSE(control.isInitialized());
        EXPECT_NO_THROW(control.triggerDLLEvent(EventType::CFDGeneration, true));
        EXPECT_TRUE(control.getFiredEvents().empty());
        control.terminate();
    }
    {
        SCOPED_TRACE("not initialised");
        ConfluxCntrl control = smallControl();
        EXPECT_EQ(message([&] { control.triggerDLLEvent(EventType::CFDGeneration, true); }),
                  "Exchange event 201 triggered before the exchange control was initialised");
        EXPECT_TRUE(control.getFiredEvents().empty());
    }
}

TEST(ConfluxCntrl, EqualityCoversEverySetting)
{
    const ConfluxCntrl reference = smallControl();
    using Change = std::function<void(ConfluxCntrl&)>;
    const std::pair<const char*, Change> changes[] = {
        {"active", [](ConfluxCntrl& c) { c.active(false); }},
        {"pythonRequired", [](ConfluxCntrl& c) { c.pythonRequired(false); }},
        {"logLevel", [](ConfluxCntrl& c) { c.logLevel(1); }},
        {"trigger", [](ConfluxCntrl& c) { c.setTriggerOnCFDgenerationEvents(false); }},
        {"handlers", [](ConfluxCntrl& c) { c.addEventHandler("x", "y"); }},
        {"linkers",
         [](ConfluxCntrl& c) { c.getLinkers().addLinker(std::make_unique<LinkerCSVEventHandler>()); }},
    };
    for (const auto& [what, change] : changes)
    {
        SCOPED_TRACE(what);
        ConfluxCntrl changed = smallControl();
        EXPECT_TRUE(changed == reference);
        change(changed);
        EXPECT_FALSE(changed == reference);
    }
    // The solve's run state is not a setting.
    ConfluxCntrl run = smallControl();
    run.initialize();
    run.triggerDLLEvent(EventType::CFDGeneration, true);
    EXPECT_TRUE(run == reference);
}

TEST(ConfluxCntrlFile, WritesTheReadableGoldenFileAndReadsItBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ProjectData::ProjectStore store(dir.path().toStdString());
    const ConfluxCntrl control = smallControl();
    control.Write(store);

    const std::string golden = std::string(CONFLUX_TEST_DATA) + "/ConfluxControl.txt";
    // CONFLUX_UPDATE_GOLDEN=1 rewrites the golden file from this run (check the difference by eye).
    if (std::getenv("CONFLUX_UPDATE_GOLDEN") != nullptr)
        writeFile(golden, readFile(store.getConfluxControlFile()));
    EXPECT_EQ(readFile(store.getConfluxControlFile()), readFile(golden));

    const ConfluxCntrl back = ConfluxCntrl::Read(store);
    EXPECT_TRUE(back == control);
    // The golden file itself reads back to the same control.
    writeFile(store.getConfluxControlFile(), readFile(golden));
    EXPECT_TRUE(ConfluxCntrl::Read(store) == control);
}

TEST(ConfluxCntrlFile, FailuresNameTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString();
    {
        SCOPED_TRACE("missing store directory");
        const ProjectData::ProjectStore store(root + "/absent");
        const std::string text = message([&] { smallControl().Write(store); });
        EXPECT_EQ(text.rfind("Cannot write the exchange control " + root + "/absent/ConfluxControl.txt: ", 0),
                  0u)
            << text;
        EXPECT_EQ(message([&] { ConfluxCntrl::Read(store); })
                      .rfind("Cannot read the exchange control " + root + "/absent/ConfluxControl.txt: ", 0),
                  0u);
    }
    {
        SCOPED_TRACE("not a written control");
        const ProjectData::ProjectStore store(root);
        smallControl().Write(store);
        const std::string whole = readFile(store.getConfluxControlFile());
        const std::string cases[] = {
            "",
            "hello\n",
            whole.substr(0, whole.size() / 2),
            whole.substr(0, whole.find("<Linkers>")) +
                "<Linkers>\n  count: 1\n  type: 99\n</Linkers>\n</ConfluxCntrl>\n",
        };
        for (const std::string& content : cases)
        {
            SCOPED_TRACE(content);
            writeFile(store.getConfluxControlFile(), content);
            const std::string text = message([&] { ConfluxCntrl::Read(store); });
            EXPECT_EQ(
                text.rfind("Cannot read the exchange control " + store.getConfluxControlFile() + ": ", 0), 0u)
                << text;
        }
    }
}

TEST(Project, MakesItsStoreAndCarriesAControl)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string storeDir = dir.path().toStdString() + "/a/b/store";
    Project project(storeDir, "Hall 1", "");
    EXPECT_TRUE(std::filesystem::is_directory(storeDir));
    EXPECT_EQ(project.GetName(), "Hall 1");
    EXPECT_EQ(project.GetProjectStore().getStoreDirectoryName(), storeDir);
    ASSERT_NE(project.GetConfluxCntrl(), nullptr);
    EXPECT_FALSE(project.GetConfluxCntrl()->isActive());
    EXPECT_TRUE(*project.GetConfluxCntrl() == ConfluxCntrl());

    // An existing store is used as it is.
    Project again(storeDir, "Hall 1", "", Project::Exchange::WithoutControl);
    EXPECT_EQ(again.GetConfluxCntrl(), nullptr);
}

TEST(Project, RefusesAStoreItCannotHave)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string file = dir.path().toStdString() + "/plain";
    writeFile(file, "x");
    EXPECT_EQ(message([&] { Project("", "Hall", ""); }), "Solver project Hall: no store directory given");
    EXPECT_EQ(message([&] { Project(file, "Hall", ""); })
                  .rfind("Solver project Hall: cannot make the store directory " + file, 0),
              0u);
}
