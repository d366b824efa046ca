#include "platform/Log.h"

#include "platform/Paths.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keyglass {

namespace {
std::mutex g_logMutex;
LogObserver g_observer = nullptr;
void* g_observerContext = nullptr;
LogConsole g_console = LogConsole::standardOutput;
// Opens the log for appending, refusing anything but a regular file: a FIFO put in its place would
// block every log line, a device would take them.
int openLogFile(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat status
    {
    };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Called with the log mutex held. The file keeps at most MaxLogBytes; the older half of the history
// is kept as keyglass.log.1.
void appendToLogFile(const std::string& line)
{
    const auto file = paths::logFile();
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    int fd = openLogFile(file);
    if (fd < 0)
        return;
    struct stat status
    {
    };
    if (::fstat(fd, &status) == 0 && static_cast<std::uintmax_t>(status.st_size) + line.size() > MaxLogBytes) {
        ::close(fd);
        std::filesystem::path previous = file;
        previous += ".1";
        std::filesystem::rename(file, previous, ec);
        fd = openLogFile(file);
        if (fd < 0)
            return;
    }
    const ssize_t written = ::write(fd, line.data(), line.size());
    (void)written; // a log line that cannot be written is dropped
    ::close(fd);
}
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

    appendToLogFile(line);
}

} // namespace keyglass
