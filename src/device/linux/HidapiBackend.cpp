#include "device/linux/HidapiBackend.h"

#include "model/DeviceModel.h"
#include "platform/Log.h"

#include <hidapi/hidapi.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace keyglass {

namespace {
// Input reports are 32 bytes; a larger buffer keeps an unexpected longer report whole.
constexpr std::size_t ReadBufferSize = 64;

std::string toUtf8(const wchar_t* text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void initialiseHidapi()
{
    static std::once_flag once;
    std::call_once(once, [] { hid_init(); });
}

/// hidapi does not keep errno, so the node is tried once more to learn why it refused.
int openErrno(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno;
}

void logPermissionProblemOnce(const HidInterfaceInfo& info)
{
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard lock(mutex);
        if (!reported.insert(info.path).second)
            return;
    }
    logLine("No permission to open " + info.path + " (" + deviceIdentifier(info.vid, info.pid) +
            "); install the udev rule " + HidrawUdevRuleName +
            " into /etc/udev/rules.d (see packaging/README.md) and replug the pad");
}

/// hidapi's own words for the last failure; the text may be missing.
std::string hidapiError(hid_device* device)
{
    const std::string text = toUtf8(hid_error(device));
    return text.empty() ? "no reason given" : text;
}

class HidapiDevice : public HidDevice
{
public:
    HidapiDevice(hid_device* device, std::string path) : m_device(device), m_path(std::move(path)) {}
    ~HidapiDevice() override { hid_close(m_device); }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    bool write(const RawHidReport& report) override
    {
        // hidraw takes the report id in front: 0, then the 32 report bytes.
        unsigned char buffer[RawHidReportSize + 1] = {0};
        std::memcpy(buffer + 1, report.data(), report.size());
        const int written = hid_write(m_device, buffer, sizeof buffer);
        if (written == static_cast<int>(sizeof buffer))
            return true;
        // A short write left part of the request behind: the pad would act on a truncated command.
        reportOnce(written < 0 ? "RawHID write to " + m_path + " failed: " + hidapiError(m_device)
                               : "RawHID write to " + m_path + " was short: " + std::to_string(written) + " of " +
                                     std::to_string(sizeof buffer) + " bytes");
        return false;
    }

    HidReadResult read(Duration timeout) override
    {
        // hidapi counts whole milliseconds; round up so a short wait is still a wait.
        const auto micros = std::max<Duration::rep>(timeout.count(), 0);
        const int millis = static_cast<int>(std::min<Duration::rep>((micros + 999) / 1000, 60000));
        unsigned char buffer[ReadBufferSize];
        const int n = hid_read_timeout(m_device, buffer, sizeof buffer, millis);
        if (n < 0) {
            reportOnce("RawHID read from " + m_path + " failed: " + hidapiError(m_device));
            return {HidReadStatus::disconnected, {}};
        }
        if (n == 0)
            return {HidReadStatus::timeout, {}};
        return {HidReadStatus::report,
                std::vector<std::uint8_t>(buffer,
                                          buffer + std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer))};
    }

private:
    // One line per device and session: a pad that went away fails every later call the same way.
    void reportOnce(const std::string& line)
    {
        if (m_reported)
            return;
        m_reported = true;
        logLine(line);
    }

    hid_device* m_device;
    std::string m_path;
    bool m_reported = false;
};
} // namespace

HidapiBackend::HidapiBackend()
{
    initialiseHidapi();
}

std::vector<HidInterfaceInfo> HidapiBackend::enumerate(std::uint16_t usagePage, std::uint16_t usage)
{
    std::vector<HidInterfaceInfo> found;
    hid_device_info* list = hid_enumerate(0, 0);
    for (const hid_device_info* it = list; it; it = it->next) {
        if (it->usage_page != usagePage || it->usage != usage || !it->path)
            continue;
        found.push_back(HidInterfaceInfo{it->path,
                                         it->vendor_id,
                                         it->product_id,
                                         it->usage_page,
                                         it->usage,
                                         toUtf8(it->manufacturer_string),
                                         toUtf8(it->product_string),
                                         toUtf8(it->serial_number)});
    }
    hid_free_enumeration(list);
    return found;
}

Expected<std::unique_ptr<HidDevice>> HidapiBackend::open(const HidInterfaceInfo& info)
{
    if (hid_device* device = hid_open_path(info.path.c_str()))
        return std::unique_ptr<HidDevice>(std::make_unique<HidapiDevice>(device, info.path));
    const std::string reason = hidapiError(nullptr);
    const int error = openErrno(info.path);
    if (error == EACCES || error == EPERM) {
        logPermissionProblemOnce(info);
        return unexpected(Error("no permission to open " + info.path, HidOpenNoPermission));
    }
    std::string message = "could not open " + info.path + ": ";
    message += error ? std::string(std::strerror(error)) : reason;
    return unexpected(Error(message));
}

} // namespace keyglass
