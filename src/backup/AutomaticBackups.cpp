#include "backup/AutomaticBackups.h"

#include "backup/DeviceBackupFile.h"
#include "presets/Slug.h"
#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <tuple>

namespace keyglass {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::size_t MaxBackupBytes = 16u << 20;

std::string localStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char buffer[32];
    const size_t n = std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &parts);
    return std::string(buffer, n);
}

std::string hexId(int value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
    return buffer;
}

bool allDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Order of writing, read from the name: the "yyyyMMdd-HHmmss" stamp, then the same-second counter.
// Names without a stamp sort as oldest.
struct BackupAge
{
    std::string stamp;
    long counter = 1;
    bool operator<(const BackupAge& other) const { return std::tie(stamp, counter) < std::tie(other.stamp, other.counter); }
};

BackupAge ageFromName(std::string_view name)
{
    BackupAge age;
    if (name.size() < 5)
        return age;
    std::string_view stem = name.substr(0, name.size() - 5); // ".json"
    // Optional "-N" counter after the stamp.
    if (const auto dash = stem.rfind('-'); dash != std::string_view::npos) {
        const std::string_view tail = stem.substr(dash + 1);
        if (tail.size() <= 5 && allDigits(tail)) {
            age.counter = std::stol(std::string(tail));
            stem = stem.substr(0, dash);
        }
    }
    if (stem.size() >= 15) {
        const std::string_view stamp = stem.substr(stem.size() - 15);
        if (allDigits(stamp.substr(0, 8)) && stamp[8] == '-' && allDigits(stamp.substr(9)))
            age.stamp = std::string(stamp.substr(0, 8)) + std::string(stamp.substr(9));
    }
    return age;
}

bool belongsTo(const fs::path& file, const DeviceModel& device)
{
    const auto text = readFileCapped(file, MaxBackupBytes);
    if (!text)
        return false;
    const json doc = json::parse(*text, nullptr, false);
    if (!doc.is_object())
        return false;
    const auto matches = [&](const char* key, const std::string& expected) {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_string() && it->get_ref<const std::string&>() == expected;
    };
    return matches("device", device.displayName()) && matches("vid", hexId(device.vid)) &&
           matches("pid", hexId(device.pid));
}

} // namespace

Expected<fs::path> writeBackupFile(const DeviceModel& device, const fs::path& file)
{
    const std::string text = encodeBackup(backupFromDevice(device));
    if (auto written = writeFileAtomically(file, text); !written)
        return unexpected(written.error());
    return file;
}

Expected<fs::path> writeAutomaticBackup(const DeviceModel& device, std::string_view reason)
{
    const fs::path folder = paths::autoBackupDir();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        return unexpected(Error(folder.string() + ": " + (ec ? ec.message() : std::string("not a folder"))));

    const std::string prefix = slug(device.displayName()) + "-before-";
    const std::string stamp = localStamp();
    // Backups within the same second are told apart by a counter that runs across reasons, so that
    // (stamp, counter) orders them as written.
    const std::string stampKey = stamp.substr(0, 8) + stamp.substr(9);
    long counter = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (const BackupAge age = ageFromName(name); age.stamp == stampKey)
            counter = std::max(counter, age.counter);
    }
    const std::string base = prefix + slug(reason) + "-" + stamp;
    fs::path file;
    do {
        ++counter;
        file = folder / (counter == 1 ? base + ".json" : base + "-" + std::to_string(counter) + ".json");
    } while (fs::exists(file, ec) && counter < 100000);

    auto written = writeBackupFile(device, file);
    if (!written)
        return written;

    const auto backups = listAutomaticBackups(device);
    for (size_t i = AutomaticBackupsKept; i < backups.size(); ++i) {
        if (backups[i] != file)
            fs::remove(backups[i], ec);
    }
    logLine("Auto-backed up " + device.displayName() + " to " + file.string());
    return file;
}

std::vector<fs::path> listAutomaticBackups(const DeviceModel& device)
{
    const std::string prefix = slug(device.displayName()) + "-before-";
    std::vector<std::pair<BackupAge, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(paths::autoBackupDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 5 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 5, 5, ".json") != 0)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || !belongsTo(it->path(), device))
            continue;
        found.emplace_back(ageFromName(name), it->path());
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (b.first < a.first)
            return true;
        if (a.first < b.first)
            return false;
        return a.second.filename() > b.second.filename();
    });
    std::vector<fs::path> out;
    out.reserve(found.size());
    for (auto& entry : found)
        out.push_back(std::move(entry.second));
    return out;
}

} // namespace keyglass
