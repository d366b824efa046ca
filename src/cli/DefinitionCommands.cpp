// keyglass-cli definition add|list|remove: the VIA definitions that give plain VIA pads their layout.

#include "cli/Cli.h"
#include "device/ViaDefinitions.h"

#include <ostream>

namespace keyglass::cli {

namespace {

std::string describe(const ViaDefinitionSummary& summary)
{
    return summary.deviceID() + " " + summary.name + " (" + std::to_string(summary.rows) + "x" +
           std::to_string(summary.cols) + " matrix, " + std::to_string(summary.keyCount) + " keys, " +
           std::to_string(summary.optionCount) + " layout options)";
}

int runAdd(Invocation& call)
{
    for (const auto& arg : call.args)
        if (arg.size() > 1 && arg.starts_with("-")) {
            call.err << "keyglass-cli definition add: unknown option " << arg << "\n";
            return ExitUsage;
        }
    const auto files = inputsOrStdin(call, call.args);
    if (files.empty()) {
        call.err << "usage: keyglass-cli definition add FILE...\n";
        return ExitUsage;
    }
    int result = ExitOk;
    for (const auto& file : files) {
        const auto added = addViaDefinitionFile(file);
        if (!added) {
            call.err << "keyglass-cli definition add: " << added.error().message << "\n";
            result = ExitFailed;
            continue;
        }
        call.out << "added " << describe(*added) << " as " << viaDefinitionPath(added->vid, added->pid).string()
                 << "\n";
    }
    return result;
}

int runList(Invocation& call)
{
    if (!call.args.empty()) {
        call.err << "usage: keyglass-cli definition list\n";
        return ExitUsage;
    }
    for (const auto& summary : listViaDefinitions())
        call.out << describe(summary) << "\n";
    return ExitOk;
}

int runRemove(Invocation& call)
{
    const auto ids = inputsOrStdin(call, call.args);
    if (ids.empty()) {
        call.err << "usage: keyglass-cli definition remove VID:PID...\n";
        return ExitUsage;
    }
    int result = ExitOk;
    for (const auto& text : ids) {
        const auto id = parseDeviceID(text);
        if (!id) {
            call.err << "keyglass-cli definition remove: " << text << ": not a device id such as 1A86:FE16\n";
            result = ExitFailed;
            continue;
        }
        const auto removed = removeViaDefinition(id->first, id->second);
        if (!removed) {
            call.err << "keyglass-cli definition remove: " << removed.error().message << "\n";
            result = ExitFailed;
        } else if (!*removed) {
            call.err << "keyglass-cli definition remove: no definition stored for " << text << "\n";
            result = ExitFailed;
        } else {
            call.out << "removed " << text << "\n";
        }
    }
    return result;
}

const bool registered =
    registerCommand("definition add", "definition add FILE... store VIA definitions for plain VIA pads", runAdd) &&
    registerCommand("definition list", "definition list        the stored VIA definitions", runList) &&
    registerCommand("definition remove", "definition remove ID.. forget the definition of a pad (VID:PID)", runRemove);

} // namespace

} // namespace keyglass::cli
