#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace keyglass {

namespace fs = std::filesystem;

namespace {

Error systemError(const fs::path& path, int error)
{
    return Error(path.filename().string() + ": " + std::strerror(error));
}

// Closes a descriptor on every path out of a function.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view contents)
{
    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// The file a write to `path` must replace: the final target of a chain of symbolic links (a relative
// link is relative to its own folder). A dangling link names the file it would create.
fs::path resolveLinks(const fs::path& path)
{
    fs::path current = path;
    for (int hops = 0; hops < 32; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec)))
            return current;
        const fs::path target = fs::read_symlink(current, ec);
        if (ec)
            return current;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current;
}

} // namespace

Expected<void> writeFileAtomically(const fs::path& requested, std::string_view contents, bool privateFile)
{
    const fs::path path = resolveLinks(requested);
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    fs::create_directories(folder, ec);
    if (ec)
        return unexpected(Error(folder.string() + ": " + ec.message()));

    mode_t mode = privateFile ? 0600 : 0644;
    if (struct stat existing{}; ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        mode = existing.st_mode & 0777;

    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0)
        return unexpected(systemError(requested, errno));
    const auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        return unexpected(systemError(requested, error));
    };
    if (!writeAll(file.get(), contents) || ::fchmod(file.get(), mode) != 0 || ::fsync(file.get()) != 0)
        return fail(errno);
    if (::close(file.release()) != 0)
        return fail(errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        return fail(errno);

    // The rename lives in the folder: flush it too. A folder that cannot be opened or flushed (some
    // file systems refuse fsync on folders) leaves the new file in place, which is still complete.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return {};
}

Expected<std::string> readFileCapped(const fs::path& path, std::size_t maxBytes)
{
    // O_NONBLOCK so that opening a FIFO returns at once instead of waiting for a writer.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return unexpected(systemError(path, errno));
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0)
        return unexpected(systemError(path, errno));
    if (S_ISDIR(info.st_mode))
        return unexpected(Error(path.filename().string() + ": is a folder, not a file"));
    if (!S_ISREG(info.st_mode))
        return unexpected(Error(path.filename().string() + ": not a regular file"));

    const auto tooLarge = [&] {
        return unexpected(
            Error(path.filename().string() + ": file is larger than " + std::to_string(maxBytes / 1024) + " KiB"));
    };
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        return tooLarge();
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return unexpected(systemError(path, errno));
        }
        if (got == 0)
            return data;
        // The file may have grown since fstat.
        if (data.size() + static_cast<size_t>(got) > maxBytes)
            return tooLarge();
        data.append(buffer, static_cast<size_t>(got));
    }
}

} // namespace keyglass
