#pragma once
// keyglass-cli: a scriptable front end on the same core as the desktop app. Each command lives in its
// own file and registers itself here; main() only dispatches.
//
// Output rules shared by every command: one result per line on standard output; errors on standard
// error; exit 0 when every input was understood, 1 otherwise, 2 for a usage error.

#include "model/Expected.h"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass::cli {

struct Invocation
{
    std::vector<std::string> args;        // after the command words, with global options removed
    std::vector<std::string> virtualPads; // --virtual PAD (repeatable) and $KEYGLASS_VIRTUAL_PADS
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
};

using CommandFn = int (*)(Invocation&);

/// True, with the error's message on standard error, when `value` holds an error.
template <class T> bool reportError(const Invocation& call, const Expected<T>& value)
{
    if (value)
        return false;
    call.err << value.error().message << "\n";
    return true;
}

/// Registers a command under one or two words ("devices", "keycode parse"). Returns true so it can
/// initialise a static in the command's file.
bool registerCommand(std::string_view words, std::string_view usage, CommandFn run);

/// The positional inputs, or, when there are none, one input per line of standard input.
std::vector<std::string> inputsOrStdin(Invocation& call, const std::vector<std::string>& positional);

/// Removes a boolean flag from `args`; true when it was there.
bool takeFlag(std::vector<std::string>& args, std::string_view flag);
/// Removes "--name VALUE" (or "--name=VALUE") from `args` and returns VALUE; the last one wins.
/// `missingValue` is set when the option was given without a value.
std::vector<std::string>
takeOption(std::vector<std::string>& args, std::string_view name, bool* missingValue = nullptr);

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

} // namespace keyglass::cli
