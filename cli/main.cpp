// confluxtool: runs ConfluxTool's main jobs on a project file.
#include "cli/Command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace ConfluxCli
{
static std::vector<Command>& registry()
{
    static std::vector<Command> all;
    return all;
}

const std::vector<Command>& commands()
{
    return registry();
}

CommandRegistration::CommandRegistration(Command command)
{
    auto& all = registry();
    all.push_back(std::move(command));
    std::sort(all.begin(), all.end(), [](const Command& l, const Command& r) { return l.name < r.name; });
}

const Command& command(const std::string& name)
{
    for (const Command& candidate : registry())
        if (candidate.name == name)
            return candidate;
    throw std::logic_error("confluxtool has no command '" + name + "'");
}

int usageError(const Command& command, const std::string& message)
{
    std::cerr << "confluxtool " << command.name << ": " << message << "\n\n" << command.usage;
    return 2;
}

std::optional<int> parseArguments(const Command& command, QCommandLineParser& parser,
                                  const QList<QCommandLineOption>& options,
                                  const std::vector<std::string>& args)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(options);
    QStringList line{QString::fromStdString(command.name)};
    for (const std::string& arg : args)
        line << QString::fromStdString(arg);
    if (parser.parse(line))
        return std::nullopt;
    // The parser names an unknown option without its dashes: show it as it was written.
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
    {
        for (const std::string& arg : args)
        {
            const QString written = QString::fromStdString(arg).section('=', 0, 0);
            if (written.startsWith('-') && written.mid(written.startsWith("--") ? 2 : 1) == unknown.front())
                return usageError(command, "unknown option '" + written.toStdString() + "'");
        }
        return usageError(command, "unknown option '" + unknown.front().toStdString() + "'");
    }
    // Otherwise an option ended the line without its value.
    const QString last = args.empty() ? QString() : QString::fromStdString(args.back());
    const QString name = last.mid(last.startsWith("--") ? 2 : 1);
    for (const QCommandLineOption& option : options)
        if (option.names().contains(name) && !option.valueName().isEmpty())
            return usageError(command, last.toStdString() + " needs a " + option.valueName().toStdString());
    return usageError(command, parser.errorText().toStdString());
}

std::optional<int> expectOneProjectFile(const Command& command, const QCommandLineParser& parser)
{
    const qsizetype count = parser.positionalArguments().size();
    if (count == 1)
        return std::nullopt;
    return usageError(command, count == 0 ? "a project file is needed" : "only one project file is taken");
}
} // namespace ConfluxCli

static void printHelp(std::ostream& out)
{
    out << "Usage: confluxtool COMMAND [ARGS...]\n"
           "       confluxtool COMMAND --help\n\n"
           "Runs ConfluxTool's jobs on a data-centre project file (JSON).\n\nCommands:\n";
    for (const auto& command : ConfluxCli::commands())
        out << "  " << command.name
            << std::string(command.name.size() < 14 ? 14 - command.name.size() : 1, ' ') << command.summary
            << "\n";
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
