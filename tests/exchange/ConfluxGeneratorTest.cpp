// The exchange generator core: which linkers the exchange control gets for each mode and switch,
// the version check, the trigger and Python flags, the time-varying flag around the tree build,
// an unwritable document, and the sample project's written control and document.
#include "GeneratorTestSupport.h"

#include "src/exchange/LinkerAIPythonEventHandler.h"
#include "src/exchange/XMLDocGenerator.h"

#include "host/entitymodel/EntityReading.h"
#include "host/services/RecordingToolProgress.h"
#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerTrivialEventHandler.h"
#include "host/solver/LinkerUserDefinedDLL.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace GeneratorTest;
using Conflux::LinkerType;

namespace
{
std::string errorOf(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "(nothing thrown)";
}

/// A Python controller file in the sample's temporary directory, made the module's source.
void usePythonFile(const SampleProject& p, const QByteArray& text)
{
    const QString path = p.temporary.filePath("controller.py");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    EntityEditor::setValue(p.entity("controller"), "Python File", path.toStdString());
}

/// Records every edit of the solution control's time-varying flag, in order.
class TimeVaryingEdits : public EntityEditExtender
{
public:
    TimeVaryingEdits() { EntityEditor::registerEditExtender(this); }
    ~TimeVaryingEdits() override { EntityEditor::unregisterEditExtender(this); }
    void extendSetValueOperation(Entity*, Attribute* attribute, const std::string& value, bool) override
    {
        if (attribute->getTypeRef() == Time_Varying_t)
            values.push_back(value);
    }
    std::vector<std::string> values;
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

TEST(ConfluxGenerator, EachModeAddsItsLinkerAndUnsupportedSettingsAreRefused)
{
    struct Row
    {
        const char* mode; // empty: no mode set
        std::vector<LinkerType> linkers;
        const char* error;
    };
    const Row rows[] = {
        {"Default", {LinkerType::CSVEventHandler}, nullptr},
        {"FileParser", {LinkerType::CSVEventHandler}, nullptr},
        {"User Defined DLL", {LinkerType::UserDefinedDLL}, nullptr},
        {"Trivial", {LinkerType::TrivialEventHandler}, nullptr},
        {"Python Module", {LinkerType::PythonModule}, nullptr},
        {"", {}, "Unsupported Conflux Mode"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.mode);
        SampleProject p;
        p.exchangeOnly();
        usePythonFile(p, "def on_iteration():\n    pass\n");
        p.set("Conflux Control.Mode", TypeRef(row.mode));
        auto solver = p.solverProject();
        auto generator = p.generator();
        if (row.error)
            EXPECT_EQ(errorOf([&] { generator.updateProject(solver.get()); }), row.error);
        else
            generator.updateProject(solver.get());
        const auto& control = *solver->GetConfluxCntrl();
        EXPECT_TRUE(control.isActive());
        EXPECT_EQ(linkerTypes(control), row.linkers);
        EXPECT_EQ(control.pythonRequired(), row.linkers == std::vector{LinkerType::PythonModule});
        // The trigger is only written once the linkers are in place.
        EXPECT_EQ(control.getTriggerOnCFDgenerationEvents(), row.error == nullptr);
    }

    for (const char* version : {"Version 1", ""})
    {
        SCOPED_TRACE(version);
        SampleProject p;
        p.exchangeOnly();
        p.set("Conflux Control.Version", TypeRef(version));
        auto solver = p.solverProject();
        auto generator = p.generator();
        EXPECT_EQ(errorOf([&] { generator.updateProject(solver.get()); }), "Unsupported version");
        EXPECT_TRUE(solver->GetConfluxCntrl()->getLinkers().empty());
    }
    SampleProject p;
    p.exchangeOnly();
    p.set("Conflux Control.Version", TypeRef("Version 2"));
    auto solver = p.solverProject();
    p.generator().updateProject(solver.get());
    EXPECT_EQ(linkerTypes(*solver->GetConfluxCntrl()), std::vector{LinkerType::CSVEventHandler});
}

TEST(ConfluxGenerator, DefaultModeConfiguresTheFileParserExactlyAsFileParserMode)
{
    SampleProject p;
    auto configure = [&p](const char* mode)
    {
        p.set("Conflux Control.Mode", TypeRef(mode));
        auto solver = p.solverProject();
        p.generator().updateProject(solver.get());
        return std::move(*solver->GetConfluxCntrl());
    };
    const CFDSolver::ConfluxCntrl byDefault = configure("Default");
    const CFDSolver::ConfluxCntrl byName = configure("FileParser");
    EXPECT_TRUE(byDefault == byName);
    ASSERT_EQ(linkerTypes(byDefault), (std::vector{LinkerType::AIEventHandler, LinkerType::CSVEventHandler}));
    EXPECT_EQ(byDefault.getEventHandlers(), (std::vector<CFDSolver::ConfluxEventHandler>{
                                                {linkerAt<Conflux::LinkerAIEventHandler>(byDefault, 0)
                                                     .getLibraryName(Utilities::OperatingSystem::Windows),
                                                 Conflux::LinkerAIEventHandler::getEventHandler()},
                                                {linkerAt<Conflux::LinkerCSVEventHandler>(byDefault, 1)
                                                     .getLibraryName(Utilities::OperatingSystem::Windows),
                                                 Conflux::LinkerCSVEventHandler::getEventHandler()}}));
}

TEST(ConfluxGenerator, ExchangeSwitches)
{
    {
        SCOPED_TRACE("exchange off, AI on: only the AI linker, no version check, trigger written");
        SampleProject p;
        p.set("Conflux Control.Active", false);
        p.set("Conflux Control.Version", TypeRef("Version 1"));
        auto solver = p.solverProject();
        p.generator().updateProject(solver.get());
        const auto& control = *solver->GetConfluxCntrl();
        EXPECT_TRUE(control.isActive());
        EXPECT_EQ(linkerTypes(control), std::vector{LinkerType::AIEventHandler});
        EXPECT_EQ(control.getEventHandlers().size(), 1u);
        EXPECT_TRUE(control.getTriggerOnCFDgenerationEvents());
        EXPECT_TRUE(p.generator().isActive(true));
        EXPECT_FALSE(p.generator().isActive(false));
    }
    {
        SCOPED_TRACE("both off: only the active flag changes");
        SampleProject p;
        p.set("Conflux Control.Active", false);
        p.exchangeOnly();
        auto solver = p.solverProject();
        auto& control = *solver->GetConfluxCntrl();
        control.active(true);
        control.pythonRequired(true);
        control.getLinkers().addLinker(std::make_unique<Conflux::LinkerTrivialEventHandler>());
        control.addEventHandler("library", "handler");
        p.generator().updateProject(solver.get());
        EXPECT_FALSE(control.isActive());
        EXPECT_TRUE(control.pythonRequired());
        EXPECT_EQ(linkerTypes(control), std::vector{LinkerType::TrivialEventHandler});
        EXPECT_EQ(control.getEventHandlers().size(), 1u);
        EXPECT_FALSE(control.getTriggerOnCFDgenerationEvents());
        EXPECT_FALSE(p.generator().isActive(true));
    }
    {
        SCOPED_TRACE("bad version with AI on: thrown after the AI linker was added");
        SampleProject p;
        p.set("Conflux Control.Version", TypeRef("Version 1"));
        auto solver = p.solverProject();
        auto generator = p.generator();
        EXPECT_EQ(errorOf([&] { generator.updateProject(solver.get()); }), "Unsupported version");
        EXPECT_EQ(linkerTypes(*solver->GetConfluxCntrl()), std::vector{LinkerType::AIEventHandler});
        EXPECT_FALSE(solver->GetConfluxCntrl()->getTriggerOnCFDgenerationEvents());
    }
    for (const bool trigger : {false, true})
    {
        SCOPED_TRACE(trigger ? "trigger on" : "trigger off");
        SampleProject p;
        p.set("Conflux Control.Enable CFD Generation Events", trigger);
        auto solver = p.solverProject();
        solver->GetConfluxCntrl()->setTriggerOnCFDgenerationEvents(!trigger);
        p.generator().updateProject(solver.get());
        EXPECT_EQ(solver->GetConfluxCntrl()->getTriggerOnCFDgenerationEvents(), trigger);
    }
    {
        SCOPED_TRACE("no root, no project, no control: nothing happens");
        SampleProject p;
        auto without = p.solverProject(CFDSolver::Project::Exchange::WithoutControl);
        p.generator().updateProject(without.get());
        p.generator().updateProject(nullptr);
        auto solver = p.solverProject();
        Conflux::ConfluxGenerator rootless;
        rootless.updateProject(solver.get());
        EXPECT_FALSE(solver->GetConfluxCntrl()->isActive());
        EXPECT_FALSE(rootless.isActive(true));
        EXPECT_EQ(p.generator().generate(without.get(), CFDSolver::SolutionType::SteadyState),
                  (std::pair<bool, Conflux::ConfluxGenerator::AttributeMap>{false, {}}));
        EXPECT_FALSE(rootless.generate(solver.get(), CFDSolver::SolutionType::SteadyState).first);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(solver->GetProjectStore().getConfluxDoc())));
    }
}

TEST(ConfluxGenerator, PythonRequiredAndTheAILinkerKind)
{
    {
        SCOPED_TRACE("a neural network: AI linker, no Python; a stale flag is reset");
        SampleProject p;
        auto solver = p.solverProject();
        solver->GetConfluxCntrl()->pythonRequired(true);
        auto generator = p.generator();
        generator.updateProject(solver.get());
        EXPECT_FALSE(solver->GetConfluxCntrl()->pythonRequired());
        EXPECT_EQ(linkerTypes(*solver->GetConfluxCntrl()),
                  (std::vector{LinkerType::AIEventHandler, LinkerType::CSVEventHandler}));
        EXPECT_TRUE(generator.generate(solver.get(), CFDSolver::SolutionType::SteadyState).first);
        EXPECT_FALSE(solver->GetConfluxCntrl()->pythonRequired());
    }
    {
        SCOPED_TRACE("a Python AI model in use: AI-Python linker and Python required");
        SampleProject p;
        EntityEditor::setValue(p.entity("Server A01-1 Surrogate"), Model_Type_t, Python_t);
        auto solver = p.solverProject();
        p.generator().updateProject(solver.get());
        const auto& control = *solver->GetConfluxCntrl();
        EXPECT_TRUE(control.pythonRequired());
        ASSERT_EQ(linkerTypes(control),
                  (std::vector{LinkerType::AIPythonEventHandler, LinkerType::CSVEventHandler}));
        EXPECT_EQ(control.getEventHandlers().front().handler,
                  Conflux::LinkerAIEventHandler::getEventHandler());
        EXPECT_NE(
            dynamic_cast<const Conflux::LinkerAIPythonEventHandler*>(control.getLinkers().begin()->get()),
            nullptr);
        EXPECT_EQ(Conflux::linkerTypeToString(LinkerType::AIPythonEventHandler),
                  Conflux::linkerTypeToString(control.getLinkers().begin()->get()->getType()));
    }
    {
        SCOPED_TRACE("a Python AI model whose owner does not use it: plain AI linker");
        SampleProject p;
        EntityEditor::setValue(p.entity("Server A01-1 Surrogate"), Model_Type_t, Python_t);
        EntityEditor::setValue(p.entity("Server A01-1"), "Cooling.Modelling Level", TypeRef("Simple"));
        auto solver = p.solverProject();
        p.generator().updateProject(solver.get());
        EXPECT_FALSE(solver->GetConfluxCntrl()->pythonRequired());
        EXPECT_EQ(linkerTypes(*solver->GetConfluxCntrl()).front(), LinkerType::AIEventHandler);
    }
    {
        SCOPED_TRACE("a Python-module linker left in the control sets the flag in generate");
        SampleProject p;
        auto solver = p.solverProject();
        auto generator = p.generator();
        generator.updateProject(solver.get());
        solver->GetConfluxCntrl()->getLinkers().addLinker(
            std::make_unique<Conflux::LinkerPythonModule>("extra", "pass\n"));
        EXPECT_FALSE(solver->GetConfluxCntrl()->pythonRequired());
        generator.generate(solver.get(), CFDSolver::SolutionType::SteadyState);
        EXPECT_TRUE(solver->GetConfluxCntrl()->pythonRequired());
    }
}

TEST(ConfluxGenerator, AIPythonLinkerIsCopiedComparedAndReadBackAsItsOwnKind)
{
    Conflux::AIEventHandlerOptions options;
    options.updateMode = 20;
    const Conflux::LinkerAIPythonEventHandler linker(options);
    const Conflux::LinkerAIEventHandler plain(options);
    EXPECT_EQ(linker.getType(), LinkerType::AIPythonEventHandler);
    const auto copy = linker.clone();
    EXPECT_EQ(copy->getType(), LinkerType::AIPythonEventHandler);
    EXPECT_TRUE(*copy == linker);
    EXPECT_FALSE(linker == plain);
    EXPECT_FALSE(plain == linker);
    EXPECT_FALSE(linker == Conflux::LinkerAIPythonEventHandler());

    QTemporaryDir dir;
    const ProjectData::ProjectStore store(dir.path().toStdString());
    CFDSolver::ConfluxCntrl control;
    control.active(true);
    control.getLinkers().addLinker(linker.clone());
    control.getLinkers().addLinker(plain.clone());
    control.Write(store);
    const CFDSolver::ConfluxCntrl read = CFDSolver::ConfluxCntrl::Read(store);
    EXPECT_TRUE(read == control);
    EXPECT_EQ(linkerTypes(read), (std::vector{LinkerType::AIPythonEventHandler, LinkerType::AIEventHandler}));
    EXPECT_TRUE(
        readFile(QString::fromStdString(store.getConfluxControlFile()))
            .contains(("Linker:" + Conflux::linkerTypeToString(LinkerType::AIPythonEventHandler)).c_str()));
}

TEST(ConfluxGenerator, TimeVaryingFlagIsForcedOnForTheBuildOfTimeVaryingSolvesAndRestored)
{
    struct Row
    {
        CFDSolver::SolutionType type;
        bool flag;
        std::vector<std::string> edits;
    };
    const Row rows[] = {
        {CFDSolver::SolutionType::SteadyState, false, {}},
        {CFDSolver::SolutionType::SteadyStateThermalOnly, false, {}},
        {CFDSolver::SolutionType::Transient, false, {"true", "false"}},
        {CFDSolver::SolutionType::TransientFailure, false, {"true", "false"}},
        {CFDSolver::SolutionType::Transient, true, {"true"}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(CFDSolver::solutionTypeToString(row.type) + (row.flag ? " time-varying" : " steady"));
        SampleProject p;
        p.set("Transient.Time Varying", row.flag);
        auto solver = p.solverProject();
        auto generator = p.generator();
        generator.updateProject(solver.get());
        TimeVaryingEdits edits;
        EXPECT_TRUE(generator.generate(solver.get(), row.type).first);
        EXPECT_EQ(edits.values, row.edits);
        EXPECT_EQ(getBoolValue(p.control, Transient_t / Time_Varying_t, !row.flag), row.flag);
    }

    // The functor builder fails on an AI model input whose entity is outside the exchange; the
    // user's flag must still be put back.
    SampleProject p;
    EntityEditor::setValue(p.entity("Server A01-1 Inlet"), "Conflux.Active", false);
    auto solver = p.solverProject();
    auto generator = p.generator();
    generator.updateProject(solver.get());
    TimeVaryingEdits edits;
    EXPECT_NE(errorOf([&] { generator.generate(solver.get(), CFDSolver::SolutionType::Transient); })
                  .find("Server A01-1 Inlet"),
              std::string::npos);
    EXPECT_EQ(edits.values, (std::vector<std::string>{"true", "false"}));
    EXPECT_FALSE(getBoolValue(p.control, Transient_t / Time_Varying_t, true));
}

TEST(ConfluxGenerator, AFailedGenerationLeavesTheEarlierDocumentAndControlAsTheyWere)
{
    struct Row
    {
        const char* name;
        std::function<void(SampleProject&, const std::string& staged)> spoil;
        std::string error;
    };
    const Row rows[] = {
        {"the document cannot be written",
         [](SampleProject&, const std::string& staged)
         { ASSERT_TRUE(QDir().mkpath(QString::fromStdString(staged))); },
         "Cannot write the exchange model document '"},
        {"an entity name XML cannot carry",
         [](SampleProject& p, const std::string&)
         { p.entity("Rack A02")->setName(std::string("Rack\0A02", 8)); },
         "Entity 'Rack\\u0000A02' (Project.Rooms.Data Hall 1.Cabinets.Rack\\u0000A02): its name holds the "
         "control character U+0000, which an XML document cannot carry"},
        {"a deeper entity's name",
         [](SampleProject& p, const std::string&)
         {
             p.entity("Server A01-1")
                 ->setName("Server\x01"
                           "A01-1");
         },
         "Entity 'Server\\u0001A01-1' (Project.Rooms.Data Hall 1.Cabinets.Rack A01.IT Equipment "
         "List.Server\\u0001A01-1): its name holds the control character U+0001"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        SampleProject p;
        auto first = p.solverProject();
        auto generator = p.generator();
        generator.updateProject(first.get());
        ASSERT_TRUE(generator.generate(first.get(), CFDSolver::SolutionType::SteadyState).first);
        const auto& store = first->GetProjectStore();
        const QByteArray document = readFile(QString::fromStdString(store.getConfluxDoc()));
        const QByteArray control = readFile(QString::fromStdString(store.getConfluxControlFile()));
        const std::string staged = CFDSolver::ConfluxCntrl::stagedDocument(store);

        row.spoil(p, staged);
        auto second = p.solverProject();
        generator.updateProject(second.get());
        const std::string error =
            errorOf([&] { generator.generate(second.get(), CFDSolver::SolutionType::SteadyState); });
        EXPECT_EQ(error.rfind(row.error, 0), 0u) << error;
        EXPECT_EQ(readFile(QString::fromStdString(store.getConfluxDoc())), document);
        EXPECT_EQ(readFile(QString::fromStdString(store.getConfluxControlFile())), control);
        EXPECT_NO_THROW(CFDSolver::ConfluxCntrl::Read(store));
        QDir().rmdir(QString::fromStdString(staged));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(staged)));
    }
}

TEST(ConfluxGenerator, TheControlNamesItsDocumentAndRefusesAnother)
{
    SampleProject p;
    auto solver = p.solverProject();
    auto generator = p.generator();
    generator.updateProject(solver.get());
    ASSERT_TRUE(generator.generate(solver.get(), CFDSolver::SolutionType::SteadyState).first);
    const auto& store = solver->GetProjectStore();
    const QString documentPath = QString::fromStdString(store.getConfluxDoc());
    EXPECT_EQ(solver->GetConfluxCntrl()->documentStamp(),
              Conflux::XMLDocGenerator::documentStamp(readFile(documentPath)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(CFDSolver::ConfluxCntrl::stagedDocument(store))));

    // A document of another generation beside the control (a run stopped between the two files).
    QFile document(documentPath);
    ASSERT_TRUE(document.open(QIODevice::Append));
    document.write("<!-- another run -->\n");
    document.close();
    EXPECT_EQ(errorOf([&] { CFDSolver::ConfluxCntrl::Read(store); }),
              "Cannot read the exchange control " + store.getConfluxControlFile() +
                  ": the exchange document " + store.getConfluxDoc() + " is not the one it was written with");

    // A generation with nothing to exchange leaves no earlier document beside its control.
    std::vector<Entity*> all;
    p.root->getOwnedChildEntities(all);
    for (Entity* e : all)
        EntityEditor::setValueNoThrow(e, "Conflux.Active", false, false);
    p.exchangeOnly();
    generator.updateProject(solver.get());
    ASSERT_TRUE(generator.generate(solver.get(), CFDSolver::SolutionType::SteadyState).first);
    EXPECT_FALSE(QFile::exists(documentPath));
    EXPECT_EQ(CFDSolver::ConfluxCntrl::Read(store).documentStamp(), "");
}

TEST(ConfluxGenerator, SampleProjectWritesTheReviewedControlAndDocument)
{
    SampleProject p;
    auto solver = p.solverProject();
    auto generator = p.generator();
    generator.updateProject(solver.get());
    const auto [done, map] = generator.generate(solver.get(), CFDSolver::SolutionType::SteadyState);
    ASSERT_TRUE(done);
    const auto& store = solver->GetProjectStore();

    // The document is the one export-model writes for the sample. The control names the store
    // directory; the reviewed copy has "STORE" in its place.
    QByteArray control = readFile(QString::fromStdString(store.getConfluxControlFile()));
    control.replace(QByteArray::fromStdString(store.getStoreDirectoryName()), "STORE");
    const std::string stamp = solver->GetConfluxCntrl()->documentStamp();
    ASSERT_FALSE(stamp.empty());
    control.replace(QByteArray::fromStdString(stamp), "STAMP");
    EXPECT_EQ(control.toStdString(),
              readFile(CONFLUX_TEST_DATA "/sample-datacentre.control.txt").toStdString());
    EXPECT_EQ(readFile(QString::fromStdString(store.getConfluxDoc())).toStdString(),
              readFile(CONFLUX_EXAMPLES_DIR "/sample-datacentre.exchange.xml").toStdString());

    const CFDSolver::ConfluxCntrl read = CFDSolver::ConfluxCntrl::Read(store);
    EXPECT_TRUE(read == *solver->GetConfluxCntrl());
    EXPECT_EQ(linkerTypes(read), (std::vector{LinkerType::AIEventHandler, LinkerType::CSVEventHandler}));
    const auto& ai = linkerAt<Conflux::LinkerAIEventHandler>(read, 0);
    ASSERT_EQ(ai.getOptions().functors.size(), 1u);
    EXPECT_EQ(ai.getOptions().functors[0].getName(), "Server A01-1 Surrogate");
    EXPECT_EQ(read.getEventHandlers().size(), 2u);
    EXPECT_EQ(read.logLevel(), CFDSolver::ConfluxCntrl::logAll);

    // The CFD-generation event reaches both handlers once, and the control is left terminated.
    EXPECT_FALSE(generator.processEvents(solver.get()));
    const auto& fired = solver->GetConfluxCntrl()->getFiredEvents();
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0].type, TesseraSDK::EventType::CFDGeneration);
    EXPECT_FALSE(solver->GetConfluxCntrl()->isInitialized());
    EXPECT_FALSE(generator.processEvents(nullptr));
}
