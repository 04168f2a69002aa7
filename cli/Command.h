#pragma once
// A confluxtool subcommand. Each command's .cpp registers itself with a static
// CommandRegistration, so adding a command means adding one file.
#include <string>
#include <vector>

namespace ConfluxCli
{
struct Command
{
    std::string name;
    std::string summary; ///< one line for `confluxtool --help`
    std::string usage;   ///< the full text of `confluxtool NAME --help`
    int (*run)(const std::vector<std::string>& args); ///< arguments after the command name
};

/// Every registered command, sorted by name.
const std::vector<Command>& commands();

struct CommandRegistration
{
    explicit CommandRegistration(Command command);
};

/// Exit status of a command line the command cannot make sense of, after printing why and the usage.
int usageError(const Command& command, const std::string& message);
} // namespace ConfluxCli
