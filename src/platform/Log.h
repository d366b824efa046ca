#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace keyglass {

/// Writes "[<UTC ISO-8601 time>] <message>\n" to standard output (flushed at once) and appends it to
/// the log file (paths::logFile(); file and folder are created on first write). Failures are ignored.
/// Thread-safe. A log file about to grow past MaxLogBytes becomes keyglass.log.1 (replacing the older
/// one) and a new file is begun; anything but a regular file at the log's path is never written.
void logLine(std::string_view message);

constexpr std::uintmax_t MaxLogBytes = 4 * 1024 * 1024;

/// Where log lines are echoed besides the log file: standard output by default (the desktop app), standard
/// error or nowhere for front ends whose standard output is their result (the CLI).
enum class LogConsole
{
    standardOutput,
    standardError,
    none,
};
void setLogConsole(LogConsole console);

/// While set, log lines also go to this callback (tests capture them). Not for production use.
using LogObserver = void (*)(std::string_view line, void* context);
void setLogObserver(LogObserver observer, void* context);

/// Formats a system time as "2026-12-07T10:15:00Z".
std::string isoTimestampUTC();

} // namespace keyglass
