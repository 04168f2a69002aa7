#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerCollection.h"
#include "host/solver/LinkerFactory.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerTrivialEventHandler.h"
#include "host/solver/LinkerUserDefinedDLL.h"
#include "host/solver/LinkerValidator.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace Conflux;
using Utilities::OperatingSystem;

namespace
{
CSVEventHandlerOptions someCSVOptions()
{
    CSVEventHandlerOptions o;
    o.directory = "/store/Conflux";
    o.inputFileTryAttempts = 5;
    o.fileMode = 2;
    o.syncMode = 20;
    o.syncStartIteration = 7;
    o.syncIterationInterval = 3;
    o.useFullEntityName = true;
    o.stateFileMode = 2;
    o.parseFailureHandling = 1;
    o.solverHeartbeatInterval = 3;
    o.clientHeartbeatGracePeriod = -1;
    return o;
}

// One linker of every solver-library kind, with settings other than the defaults.
std::vector<std::unique_ptr<LinkerAbstract>> everyLinker()
{
    std::vector<std::unique_ptr<LinkerAbstract>> linkers;
    linkers.push_back(std::make_unique<LinkerTrivialEventHandler>());
    linkers.push_back(std::make_unique<LinkerCSVEventHandler>(someCSVOptions()));
    linkers.push_back(std::make_unique<LinkerUserDefinedDLL>(
        "Chiller control", LinkerUserDefinedDLL::Files{{OperatingSystem::Windows, "C:\\ctl\\chiller.dll"},
                                                       {OperatingSystem::Linux, "/opt/ctl/libchiller.so"}}));
    linkers.push_back(
        std::make_unique<LinkerPythonModule>("pump_logic", "def on_event(e):\n    return \"ok\"\t\\\n"));
    return linkers;
}

enum class Encoding
{
    Binary,
    Text
};

// Writes with `write`, then reads back with `read`; returns the read stream's error (empty when good).
std::string roundTrip(Encoding encoding, const std::function<void(FileSystem::DataOStream&)>& write,
                      const std::function<void(FileSystem::DataIStream&)>& read)
{
    std::stringstream buffer;
    if (encoding == Encoding::Binary)
    {
        FileSystem::BinaryDataOStream out(buffer, 1, Utilities::Endianness::Big);
        write(out);
        EXPECT_TRUE(out.good()) << out.errorMessage();
    }
    else
    {
        FileSystem::TextDataOStream out(buffer);
        write(out);
        EXPECT_TRUE(out.good()) << out.errorMessage();
    }
    if (encoding == Encoding::Binary)
    {
        FileSystem::BinaryDataIStream in(buffer);
        read(in);
        return in.errorMessage();
    }
    FileSystem::TextDataIStream in(buffer);
    read(in);
    return in.errorMessage();
}

const char* name(Encoding e)
{
    return e == Encoding::Binary ? "binary" : "text";
}
} // namespace

TEST(Linker, EveryKindReadsBackEqualInBothEncodings)
{
    for (Encoding encoding : {Encoding::Binary, Encoding::Text})
    {
        for (const auto& linker : everyLinker())
        {
            SCOPED_TRACE(std::string(name(encoding)) + " " + linkerTypeToString(linker->getType()));
            std::unique_ptr<LinkerAbstract> back = LinkerFactory::create(linker->getType());
            ASSERT_NE(back, nullptr);
            // The trivial linker has no settings; every other one is given non-default ones.
            if (linker->getType() != LinkerType::TrivialEventHandler)
            {
                EXPECT_FALSE(*back == *linker) << "the test needs settings other than the defaults";
            }
            const std::string error = roundTrip(
                encoding, [&](FileSystem::DataOStream& s) { linker->write(s); },
                [&](FileSystem::DataIStream& s) { back->read(s); });
            EXPECT_EQ(error, "");
            EXPECT_TRUE(*back == *linker);
            EXPECT_EQ(back->getName(), linker->getName());
        }
    }
}

TEST(Linker, CollectionReadsBackEqualInBothEncodings)
{
    LinkerCollection written;
    for (auto& linker : everyLinker())
        written.addLinker(std::move(linker));
    written.addLinker(std::make_unique<LinkerCSVEventHandler>());
    for (Encoding encoding : {Encoding::Binary, Encoding::Text})
    {
        SCOPED_TRACE(name(encoding));
        LinkerCollection back;
        const std::string error = roundTrip(
            encoding, [&](FileSystem::DataOStream& s) { written.write(s); },
            [&](FileSystem::DataIStream& s) { back.read(s); });
        EXPECT_EQ(error, "");
        ASSERT_EQ(back.size(), 5u);
        EXPECT_TRUE(back == written);
    }
}

TEST(Linker, WrittenRecordIsTaggedWithItsKind)
{
    std::stringstream buffer;
    FileSystem::TextDataOStream out(buffer);
    LinkerPythonModule("m", "x = 1\n").write(out);
    EXPECT_EQ(buffer.str(), "# data stream version 1\n"
                            "<Linker:PythonModule>\n"
                            "  name: \"m\"\n"
                            "  source: \"x = 1\\n\"\n"
                            "</Linker:PythonModule>\n");
}

TEST(Linker, EachSettingTakesPartInEquality)
{
    using Mutation = std::function<void(CSVEventHandlerOptions&)>;
    const std::pair<const char*, Mutation> fields[] = {
        {"directory", [](auto& o) { o.directory += "x"; }},
        {"inputFileTryAttempts", [](auto& o) { ++o.inputFileTryAttempts; }},
        {"fileMode", [](auto& o) { ++o.fileMode; }},
        {"syncMode", [](auto& o) { ++o.syncMode; }},
        {"syncStartIteration", [](auto& o) { ++o.syncStartIteration; }},
        {"syncIterationInterval", [](auto& o) { ++o.syncIterationInterval; }},
        {"useFullEntityName", [](auto& o) { o.useFullEntityName = !o.useFullEntityName; }},
        {"stateFileMode", [](auto& o) { ++o.stateFileMode; }},
        {"parseFailureHandling", [](auto& o) { ++o.parseFailureHandling; }},
        {"solverHeartbeatInterval", [](auto& o) { ++o.solverHeartbeatInterval; }},
        {"clientHeartbeatGracePeriod", [](auto& o) { ++o.clientHeartbeatGracePeriod; }},
    };
    const LinkerCSVEventHandler reference(someCSVOptions());
    for (const auto& [field, mutate] : fields)
    {
        SCOPED_TRACE(field);
        CSVEventHandlerOptions changed = someCSVOptions();
        mutate(changed);
        const LinkerCSVEventHandler other(changed);
        EXPECT_FALSE(other == reference);
        // And the changed value survives a round trip.
        LinkerCSVEventHandler back;
        roundTrip(
            Encoding::Text, [&](FileSystem::DataOStream& s) { other.write(s); },
            [&](FileSystem::DataIStream& s) { back.read(s); });
        EXPECT_EQ(back.getOptions(), changed);
    }

    const LinkerUserDefinedDLL dll("a", {{OperatingSystem::Windows, "a.dll"}});
    EXPECT_FALSE(dll == LinkerUserDefinedDLL("b", {{OperatingSystem::Windows, "a.dll"}}));
    EXPECT_FALSE(dll == LinkerUserDefinedDLL("a", {{OperatingSystem::Linux, "a.dll"}}));
    EXPECT_FALSE(LinkerPythonModule("a", "x") == LinkerPythonModule("a", "y"));
    // Different kinds never compare equal, even without settings.
    EXPECT_FALSE(LinkerTrivialEventHandler() == LinkerCSVEventHandler());
}

TEST(Linker, NamesItsLibraryPerPlatform)
{
    struct Row
    {
        std::unique_ptr<LinkerAbstract> linker;
        const char* name;
        const char* windows;
        const char* linux;
    };
    Row rows[] = {
        {std::make_unique<LinkerTrivialEventHandler>(), "ConfluxTrivial", "ConfluxTrivial.dll",
         "libConfluxTrivial.so"},
        {std::make_unique<LinkerCSVEventHandler>(), "ConfluxCSV", "ConfluxCSV.dll", "libConfluxCSV.so"},
        {std::make_unique<LinkerPythonModule>("pumps", "pass"), "pumps", "ConfluxPython.dll",
         "libConfluxPython.so"},
        {std::make_unique<LinkerUserDefinedDLL>(
             "ctl", LinkerUserDefinedDLL::Files{{OperatingSystem::Windows, "c.dll"},
                                                {OperatingSystem::Linux, "libc.so"}}),
         "ctl", "c.dll", "libc.so"},
        {std::make_unique<LinkerUserDefinedDLL>(
             "win only", LinkerUserDefinedDLL::Files{{OperatingSystem::Windows, "w.dll"}}),
         "win only", "w.dll", ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.linker->getName(), row.name);
        EXPECT_EQ(row.linker->getLibraryName(OperatingSystem::Windows), row.windows);
        EXPECT_EQ(row.linker->getLibraryName(OperatingSystem::Linux), row.linux);
    }
    EXPECT_EQ(LinkerTrivialEventHandler::getEventHandler(), "TrivialEventHandler");
    EXPECT_EQ(LinkerCSVEventHandler::getEventHandler(), "CSVEventHandler");
}

TEST(Linker, KindNamesAndNumbers)
{
    const std::pair<int, const char*> kinds[] = {
        {0, "None"},           {1, "TrivialEventHandler"}, {2, "CSVEventHandler"},     {3, "AIEventHandler"},
        {4, "UserDefinedDLL"}, {5, "PythonModule"},        {6, "AIPythonEventHandler"}};
    for (const auto& [number, text] : kinds)
    {
        SCOPED_TRACE(text);
        ASSERT_TRUE(linkerTypeFromInt(number).has_value());
        EXPECT_EQ(linkerTypeToString(*linkerTypeFromInt(number)), text);
    }
    EXPECT_FALSE(linkerTypeFromInt(7).has_value());
    EXPECT_FALSE(linkerTypeFromInt(-1).has_value());
    EXPECT_EQ(linkerTypeToString(static_cast<LinkerType>(9)), "Unknown9");
}

TEST(LinkerRead, BadRecordsFailTheStreamAndChangeNothing)
{
    LinkerCollection collection;
    collection.addLinker(std::make_unique<LinkerTrivialEventHandler>());
    const LinkerCollection before = collection;

    struct Row
    {
        const char* what;
        std::string text;
        const char* error;
    };
    const std::string header = "# data stream version 1\n";
    const Row rows[] = {
        {"unknown kind", header + "<Linkers>\ncount: 1\ntype: 42\n</Linkers>\n",
         "no linker of type 42 is known"},
        {"kind of another library not registered", header + "<Linkers>\ncount: 1\ntype: 0\n</Linkers>\n",
         "no linker of type 0 is known"},
        {"record of another kind", header + "<Linkers>\ncount: 1\ntype: 1\n<Linker:CSVEventHandler>\n", ""},
        {"unknown platform",
         header + "<Linkers>\ncount: 1\ntype: 4\n<Linker:UserDefinedDLL>\nname: \"x\"\nfileCount: 1\n"
                  "platform: 3\nfile: \"x.dll\"\n</Linker:UserDefinedDLL>\n</Linkers>\n",
         "Library x: unknown platform 3"},
        {"truncated",
         header +
             "<Linkers>\ncount: 2\ntype: 1\n<Linker:TrivialEventHandler>\n</Linker:TrivialEventHandler>\n",
         ""},
        {"huge count", header + "<Linkers>\ncount: 4000000000\n", ""},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        std::istringstream in(row.text);
        FileSystem::TextDataIStream stream(in);
        collection.read(stream);
        EXPECT_TRUE(stream.fail());
        EXPECT_NE(stream.errorMessage().find(row.error), std::string::npos) << stream.errorMessage();
        EXPECT_TRUE(collection == before);
    }
}
