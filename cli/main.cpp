// confluxtool: runs ConfluxTool's main jobs on a project file.
#include "cli/Command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace ConfluxCli
{
static std::vector<Command>& registry()
{
    static std::vector<Command> all;
    return all;
}

const std::vector<Command>& commands() { return registry(); }

CommandRegistration::CommandRegistration(Command command)
{
    auto& all = registry();
    all.push_back(std::move(command));
    std::sort(all.begin(), all.end(), [](const Command& l, const Command& r) { return l.name < r.name; });
}

int usageError(const Command& command, const std::string& message)
{
    std::cerr << "confluxtool " << command.name << ": " << message << "\n\n" << command.usage;
    return 2;
}
} // namespace ConfluxCli

static void printHelp(std::ostream& out)
{
    out << "Usage: confluxtool COMMAND [ARGS...]\n"
           "       confluxtool COMMAND --help\n\n"
           "Runs ConfluxTool's jobs on a data-centre project file (JSON).\n\nCommands:\n";
    for (const auto& command : ConfluxCli::commands())
        out << "  " << command.name << std::string(command.name.size() < 14 ? 14 - command.name.size() : 1, ' ')
            << command.summary << "\n";
}

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
    {
        printHelp(std::cerr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help")
    {
        printHelp(std::cout);
        return 0;
    }
    const auto& all = ConfluxCli::commands();
    const auto found =
        std::find_if(all.begin(), all.end(), [&](const ConfluxCli::Command& c) { return c.name == args[0]; });
    if (found == all.end())
    {
        std::cerr << "confluxtool: unknown command '" << args[0] << "'\n\n";
        printHelp(std::cerr);
        return 2;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (std::find(rest.begin(), rest.end(), "--help") != rest.end())
    {
        std::cout << found->usage;
        return 0;
    }
    try
    {
        return found->run(rest);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool " << found->name << ": " << error.what() << "\n";
        return 1;
    }
}
