// The FMU's weights file: written and read back unchanged, and read defensively, since it reaches
// the runtime inside someone else's process.
#include "fmu/NetworkDescription.h"
#include "tests/fmu/HandMadeNetworks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace ConfluxFmuTest;

TEST(NetworkDescription, WritesTextThatReadsBackUnchanged)
{
    for (const bool single : {false, true})
    {
        auto d = handMadeNetwork(21, single);
        d.balance = airBalance(single);
        d.balance->streams.front().fluid = {true, 0.0, 28.96, 101325.0, {{-10.0, 1000.0}, {50.0, 1010.0}}};
        d.inputs[0].name = "Rack A01 [1-32].Inlet\nTemperature";
        const auto text = ConfluxFmu::writeNetworkDescription(d);
        auto read = ConfluxFmu::parseNetworkDescription(text);
        d.inputs[0].name = "Rack A01 [1-32].Inlet Temperature";
        EXPECT_EQ(read, d);
        EXPECT_EQ(ConfluxFmu::writeNetworkDescription(read), text);
    }
}

TEST(NetworkDescription, RefusesDamagedTextNamingTheLine)
{
    const auto text = ConfluxFmu::writeNetworkDescription(handMadeNetwork(22, false));
    const auto replace = [&text](const std::string& from, const std::string& to) {
        std::string changed = text;
        const auto at = changed.find(from);
        if (at == std::string::npos)
            throw std::logic_error("no " + from);
        return changed.replace(at, from.size(), to);
    };
    struct Row
    {
        const char* what;
        std::string text;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"empty", "", "network file ends where the header was expected (after line 0)"},
        {"another format", replace("conflux-fmu-network 1", "conflux-fmu-network 2"),
         "network file, line 1: \"conflux-fmu-network 1\" expected (a newer or unknown format)"},
        {"unknown element type", replace("element double", "element half"),
         "network file, line 3: element type \"half\" is neither double nor float"},
        {"huge input count", replace("inputs 3", "inputs 4000000000"),
         "network file, line 4: 4000000000 is outside 1 to 100000"},
        {"NaN bound", replace("input 15 35", "input nan 35"), "network file, line 5: \"nan\" is not a finite number"},
        {"infinite weight", replace("weights ", "weights inf "),
         "network file, line 13: \"inf\" is not a finite number"},
        {"layer that does not fit", replace("layer 3 6 tanh", "layer 4 6 tanh"),
         "network file, line 12: 4 is outside 3 to 3"},
        {"unknown activation", replace("layer 3 6 tanh", "layer 3 6 relu"),
         "network file, line 12: unknown activation \"relu\" (tanh or linear expected)"},
        {"truncated", text.substr(0, text.find("balance")), "network file ends where the balance was expected (after line 26)"},
        {"trailing text", text + "more\n", "network file, line 29: nothing may follow \"end\""},
        {"balance entry without a balance", replace("end\n", "heat-source input 1 1\nend\n"),
         "network file, line 28: \"end\" expected after \"balance none\""},
        {"column out of range", replace("balance none\nend\n", "balance imbalance\nheat-source input 7 1\nend\n"),
         "network file, line 28: 7 is outside 0 to 2"},
        {"start outside bounds", replace("input 15 35 25", "input 15 35 45"),
         "network file: Network description: input 'Server.Inlet Temperature' has start 45 outside its bounds 15 to 35"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        try
        {
            ConfluxFmu::parseNetworkDescription(row.text);
            ADD_FAILURE() << "read without an error";
        }
        catch (const std::runtime_error& e)
        {
            EXPECT_EQ(std::string(e.what()), row.message);
        }
    }
}

TEST(NetworkDescription, TheFuzzersSeedFilesReadAndCarryOnlyFiniteNumbers)
{
    const std::filesystem::path corpus = std::filesystem::path(CONFLUX_FUZZ_REGRESSIONS) / ".." / "corpus" / "fmu_network";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
    {
        SCOPED_TRACE(entry.path().string());
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const auto d = ConfluxFmu::parseNetworkDescription(text.str());
        EXPECT_EQ(ConfluxFmu::parseNetworkDescription(ConfluxFmu::writeNetworkDescription(d)), d);
        ++files;
    }
    EXPECT_GE(files, 2);
}
