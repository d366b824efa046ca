#include "platform/Log.h"

#include "platform/Paths.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

namespace keyglass {

namespace {
std::mutex g_logMutex;
LogObserver g_observer = nullptr;
void* g_observerContext = nullptr;
LogConsole g_console = LogConsole::standardOutput;
} // namespace

std::string isoTimestampUTC()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

void setLogConsole(LogConsole console)
{
    std::lock_guard lock(g_logMutex);
    g_console = console;
}

void setLogObserver(LogObserver observer, void* context)
{
    std::lock_guard lock(g_logMutex);
    g_observer = observer;
    g_observerContext = context;
}

void logLine(std::string_view message)
{
    std::string line = "[" + isoTimestampUTC() + "] ";
    line.append(message);
    line.push_back('\n');

    std::lock_guard lock(g_logMutex);
    if (std::FILE* console = g_console == LogConsole::standardOutput  ? stdout
                             : g_console == LogConsole::standardError ? stderr
                                                                      : nullptr) {
        std::fwrite(line.data(), 1, line.size(), console);
        std::fflush(console);
    }
    if (g_observer)
        g_observer(line, g_observerContext);

    const auto file = paths::logFile();
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (std::FILE* out = std::fopen(file.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fclose(out);
    }
}

} // namespace keyglass
