#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <fstream>
#include <unistd.h>

namespace keyglass {

namespace fs = std::filesystem;

namespace {
Error systemError(const fs::path& path, int error)
{
    return Error(path.filename().string() + ": " + std::strerror(error));
}
} // namespace

Expected<void> writeFileAtomically(const fs::path& path, std::string_view contents)
{
    std::error_code ec;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    fs::create_directories(folder, ec);
    if (ec)
        return unexpected(Error(folder.string() + ": " + ec.message()));

    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return unexpected(systemError(path, errno));

    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            return unexpected(systemError(path, error));
        }
        written += static_cast<size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(pattern.c_str());
        return unexpected(systemError(path, error));
    }
    if (::rename(pattern.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(pattern.c_str());
        return unexpected(systemError(path, error));
    }
    return {};
}

Expected<std::string> readFileCapped(const fs::path& path, std::size_t maxBytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return unexpected(systemError(path, errno ? errno : ENOENT));
    std::string data;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<size_t>(in.gcount());
        if (data.size() + got > maxBytes)
            return unexpected(Error(path.filename().string() + ": file is larger than " +
                                    std::to_string(maxBytes / 1024) + " KiB"));
        data.append(buffer, got);
    }
    if (in.bad())
        return unexpected(systemError(path, errno));
    return data;
}

} // namespace keyglass
