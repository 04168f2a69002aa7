// User-defined controller libraries at solve time: the sample's bridge, a controller built by the
// other compiler, and libraries that cannot run.
#include "tests/dryrun/DryRunTestSupport.h"

#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace DryRunTest;

namespace
{
const std::string bridge = CONFLUX_EXAMPLES_DIR "/libbms_bridge.so";

/// The sample in library mode with its library's Linux file and selected handler replaced.
void useLibrary(const SampleProject& sample, const std::string& file, const std::string& handler = "onBmsUpdate")
{
    sample.aiModelsOff();
    EntityEditor::setValue(sample.entity("Site BMS Bridge"), "Linux Library.Shared Object File", file);
    sample.entity("onBmsUpdate")->setName(handler);
}

Conflux::DryRunOptions libraryOptions(const SampleProject& sample, int iterations)
{
    auto options = sample.options(iterations);
    options.mode = Conflux::LinkerType::UserDefinedDLL;
    return options;
}

/// The walk's counts as the exchange document of the sample has them: the same tree, written by
/// the XML generator rather than walked through the SDK.
std::string documentCounts()
{
    QFile file(CONFLUX_EXAMPLES_DIR "/sample-datacentre.exchange.xml");
    if (!file.open(QIODevice::ReadOnly))
        return "<no document>";
    const QString text = QString::fromUtf8(file.readAll());
    const auto count = [&text](const char* pattern) { return std::to_string(text.count(QRegularExpression(pattern))); };
    return "walk entities=" + count("<Entity ") + " composites=" + count("<Composite ") +
           " links=" + count("<(List|Link|Array) ") + " values=" + count("<(Float|Double|Integer|Boolean|String) ");
}

std::string inputError(const SampleProject& sample, const Conflux::DryRunOptions& options)
{
    try
    {
        sample.run(options);
    }
    catch (const Conflux::DryRunInputError& error)
    {
        return error.what();
    }
    return "<no error>";
}
} // namespace

TEST(DryRunLibrary, TheSampleBridgeSetsTheWaterSupplyAndReportsTheRefusedWrite)
{
    SampleProject sample;
    sample.aiModelsOff();
    auto options = libraryOptions(sample, 4);
    const Conflux::DryRunSummary summary = sample.run(options);
    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;
    const std::string water = "Facility Water Loop.Supply Temperature";
    const Log log(options.logFile);
    ASSERT_EQ(log.rows.size(), 4u);
    // The air supply is held at 18 °C: the water goes 2 K below it.
    EXPECT_DOUBLE_EQ(log.number(3, water), 16.0);
    EXPECT_EQ(log.text(3, water + ": written by"), "Site BMS Bridge");
    // Three reads and a write and a refused write per iteration.
    EXPECT_EQ(summary.controllers.at("Site BMS Bridge").reads, 8u);
    EXPECT_EQ(summary.controllers.at("Site BMS Bridge").writes, 4u);
    const std::pair<std::string, std::string> refused{rackInlet, "User has no write access"};
    ASSERT_EQ(summary.refusedWrites.count(refused), 1u);
    EXPECT_EQ(summary.refusedWrites.at(refused), 4);
}

#ifdef CROSS_CONTROLLER
// Every build folder writes the one library beside the sample, and each suite loads whichever
// copy was written last: a copy needing a sanitizer's runtime would not load into the others.
TEST(DryRunLibrary, TheSampleBridgeNeedsNoSanitizerRuntime)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("--dynamic"), QStringLiteral("--undefined-only"),
                                    QString::fromStdString(bridge)});
    ASSERT_TRUE(nm.waitForFinished(30000)) << "nm did not run on " << bridge;
    ASSERT_EQ(nm.exitCode(), 0) << nm.readAllStandardError().toStdString();
    const QString undefined = QString::fromUtf8(nm.readAllStandardOutput());
    EXPECT_FALSE(undefined.contains(QRegularExpression(QStringLiteral("__(asan|ubsan|tsan|sanitizer)"))))
        << undefined.toStdString();
}

TEST(DryRunLibrary, AControllerBuiltByTheOtherCompilerMeetsTheSDKAsSpecified)
{
    SCOPED_TRACE(CROSS_COMPILER);
    // Held open here too, so that its report can be read after the solve unloads it.
    QLibrary library(CROSS_CONTROLLER);
    ASSERT_TRUE(library.load()) << library.errorString().toStdString();
    using Report = const char* (*)();
    const auto report = reinterpret_cast<Report>(library.resolve("crossControllerReport"));
    ASSERT_NE(report, nullptr);

    SampleProject sample;
    useLibrary(sample, CROSS_CONTROLLER);
    const Conflux::DryRunSummary summary = sample.run(libraryOptions(sample, 2));
    ASSERT_TRUE(summary.succeeded()) << summary.firstFailure;
    EXPECT_EQ(std::string(report()),
              "root Sample Data Centre 1-1\n" + documentCounts() +
                  "\n"
                  "find missing status=-2\n"
              "supply Supply Temperature unit=°C hasUnits=1 access=3 read=0 value=18.000000\n"
              "write with unit status=0 value=17.750000\n"
              "write in K status=-2 message=Invalid Unit\n"
              "chronology 3 status=0 value=17.500000 chronology 0 value=17.750000\n"
              "flow -1 status=-2 message=-1 is below the minimum 0 kept=3.500000\n"
              "write read-only status=-2 last=-2 message=User has no write access\n"
              "read after refusal status=0 message=\n");
    EXPECT_EQ(summary.refusedWrites.size(), 3u);
}

TEST(DryRunLibrary, ANonZeroReturnIsAControllerFailureNamingLibraryHandlerAndIteration)
{
    SampleProject sample;
    useLibrary(sample, CROSS_CONTROLLER, "failingHandler");
    const Conflux::DryRunSummary summary = sample.run(libraryOptions(sample, 3));
    EXPECT_EQ(summary.iterationsRun, 1);
    EXPECT_EQ(summary.firstFailure, "Controller library 'Site BMS Bridge' (" CROSS_CONTROLLER
                                    "), handler 'failingHandler', iteration 1: returned 7");
}
#endif

TEST(DryRunLibrary, LibrariesThatCannotRunAreNamedWithTheirFileBeforeTheFirstEvent)
{
    SampleProject sample;
    const std::string notALibrary = sample.write("notes.so", "these are notes, not a library\n");
    // The bridge with its ELF class byte turned to 32 bits: a library of another architecture.
    std::string bytes;
    {
        std::ifstream in(bridge, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(bytes.size(), 16u);
    bytes[4] = 1;
    const std::string otherArchitecture = sample.write("libother.so", bytes);
    struct Case
    {
        const char* name;
        std::string file;
        std::string handler;
        std::string message;
    };
    const std::string what = "Controller library 'Site BMS Bridge': ";
    const std::vector<Case> cases{
        {"missing file", sample.file("libnone.so"), "onBmsUpdate",
         what + "cannot load " + sample.file("libnone.so") + ": the file does not exist"},
        {"missing handler", bridge, "onSomethingElse", what + bridge + " has no event handler 'onSomethingElse'"},
        {"not a library", notALibrary, "onBmsUpdate", what + "cannot load " + notALibrary + ": "},
        {"other architecture", otherArchitecture, "onBmsUpdate", what + "cannot load " + otherArchitecture + ": "},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        SampleProject project;
        useLibrary(project, c.file, c.handler);
        auto options = libraryOptions(project, 2);
        const std::string message = inputError(project, options);
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
        if (std::string(c.name) == "other architecture")
        {
            EXPECT_NE(message.find("ELFCLASS32"), std::string::npos) << message;
        }
        EXPECT_TRUE(Log(options.logFile).rows.empty());
    }
}
