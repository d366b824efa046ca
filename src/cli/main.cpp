#include "cli/Cli.h"
#include "platform/Log.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>

namespace keyglass::cli {

namespace {
struct Command
{
    std::string usage;
    CommandFn run;
};

std::map<std::string, Command, std::less<>>& registry()
{
    static std::map<std::string, Command, std::less<>> commands;
    return commands;
}

void printUsage(std::ostream& out)
{
    out << "usage: keyglass-cli [--verbose] [--virtual PAD]... COMMAND [ARGS]\n\n";
    for (const auto& [words, command] : registry())
        out << "  " << command.usage << "\n";
    out << "\nPAD is quadgrid, solodial or the path of a vial.json, optionally followed by @STATEFILE.\n"
           "KEYGLASS_VIRTUAL_PADS (comma-separated PADs) adds virtual pads too.\n";
}
} // namespace

bool registerCommand(std::string_view words, std::string_view usage, CommandFn run)
{
    registry()[std::string(words)] = Command{std::string(usage), run};
    return true;
}

std::vector<std::string> inputsOrStdin(Invocation& call, const std::vector<std::string>& positional)
{
    if (!positional.empty())
        return positional;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(call.in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool takeFlag(std::vector<std::string>& args, std::string_view flag)
{
    const auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

std::vector<std::string> takeOption(std::vector<std::string>& args, std::string_view name, bool* missingValue)
{
    std::vector<std::string> values;
    const std::string prefix = std::string(name) + "=";
    for (size_t i = 0; i < args.size();) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                if (missingValue)
                    *missingValue = true;
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            values.push_back(args[i + 1]);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + 2));
            continue;
        }
        if (args[i].starts_with(prefix)) {
            values.push_back(args[i].substr(prefix.size()));
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    return values;
}

} // namespace keyglass::cli

int main(int argc, char** argv)
{
    using namespace keyglass::cli;
    std::vector<std::string> args(argv + 1, argv + argc);

    // Standard output carries the commands' results; the log still goes to its file, and to standard
    // error with --verbose.
    keyglass::setLogConsole(takeFlag(args, "--verbose") ? keyglass::LogConsole::standardError
                                                        : keyglass::LogConsole::none);

    bool missing = false;
    std::vector<std::string> pads;
    if (const char* env = std::getenv("KEYGLASS_VIRTUAL_PADS"); env && *env) {
        std::stringstream list(env);
        std::string padArgument;
        while (std::getline(list, padArgument, ','))
            if (!padArgument.empty())
                pads.push_back(padArgument);
    }
    for (auto& padArgument : takeOption(args, "--virtual", &missing))
        pads.push_back(padArgument);
    if (missing) {
        std::cerr << "keyglass-cli: --virtual needs a pad (quadgrid, solodial or a vial.json path)\n";
        return ExitUsage;
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? std::cerr : std::cout);
        return args.empty() ? ExitUsage : ExitOk;
    }

    const auto& commands = registry();
    auto found = commands.end();
    size_t consumed = 0;
    if (args.size() >= 2) {
        found = commands.find(args[0] + " " + args[1]);
        consumed = 2;
    }
    if (found == commands.end()) {
        found = commands.find(args[0]);
        consumed = 1;
    }
    if (found == commands.end()) {
        std::cerr << "keyglass-cli: unknown command '" << args[0] << "'\n\n";
        printUsage(std::cerr);
        return ExitUsage;
    }
    Invocation call{std::vector<std::string>(args.begin() + static_cast<std::ptrdiff_t>(consumed), args.end()),
                    pads,
                    std::cout,
                    std::cerr,
                    std::cin};
    return found->second.run(call);
}
