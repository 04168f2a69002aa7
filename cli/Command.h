#pragma once
// A confluxtool subcommand. Each command's .cpp registers itself with a static
// CommandRegistration, so adding a command means adding one file.
#include <QCommandLineParser>

#include <optional>
#include <string>
#include <vector>

namespace ConfluxCli
{
struct Command
{
    std::string name;
    std::string summary;                              ///< one line for `confluxtool --help`
    std::string usage;                                ///< the full text of `confluxtool NAME --help`
    int (*run)(const std::vector<std::string>& args); ///< arguments after the command name
};

/// Every registered command, sorted by name.
const std::vector<Command>& commands();

/// The registered command of that name; throws std::logic_error when there is none.
const Command& command(const std::string& name);

struct CommandRegistration
{
    explicit CommandRegistration(Command command);
};

/// Exit status of a command line the command cannot make sense of, after printing why and the usage.
int usageError(const Command& command, const std::string& message);

/// Parses a command's arguments into `parser` with the command's options (`--help` is answered
/// before commands run). On an unknown option or an option without its value, prints why with the
/// usage and returns the exit status; returns nothing when the line parsed. An option's value name
/// says what it needs: "file name" gives "-o needs a file name".
std::optional<int> parseArguments(const Command& command, QCommandLineParser& parser,
                                  const QList<QCommandLineOption>& options,
                                  const std::vector<std::string>& args);

/// For commands that take exactly one project file and nothing else positional: the usage error's
/// exit status when the parsed line has none or several; nothing when it has one.
std::optional<int> expectOneProjectFile(const Command& command, const QCommandLineParser& parser);
} // namespace ConfluxCli
