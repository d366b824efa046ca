#pragma once
// Runs the built keyglass-cli as a script would: arguments through the shell, `input` on standard input
// (empty by default), standard output and standard error captured separately, real pads and the
// environment's virtual pads out of the way. Call it inside a TempHome.

#include "support/TempHome.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace keyglass::test {

struct CliResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline CliResult runCli(const std::string& arguments, const std::string& input = {})
{
    const std::string home = std::getenv("HOME");
    const std::string errFile = home + "/cli-stderr.txt";
    const std::string inFile = home + "/cli-stdin.txt";
    writeText(inFile, input);
    const std::string command = "KEYGLASS_REAL_PADS=0 KEYGLASS_VIRTUAL_PADS= '" + std::string(KG_CLI_PATH) + "' " +
                                arguments + " 2>'" + errFile + "' <'" + inFile + "'";
    CliResult result;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            result.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.err = readText(errFile);
    return result;
}

} // namespace keyglass::test
