#include "backup/AutomaticBackups.h"

#include "backup/DeviceBackupFile.h"
#include "platform/AtomicFile.h"
#include "platform/JsonReading.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "presets/Slug.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <optional>
#include <tuple>

namespace keyglass {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

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

// Order of writing: the "savedAt" time in the file (UTC, so neither a daylight-saving change nor a
// move to another time zone reorders backups, as the local time in the name would), then the counter
// that tells apart backups written within the same second. Files without a time sort as oldest.
struct BackupAge
{
    std::string savedAt;
    long counter = 1;
    bool operator<(const BackupAge& other) const
    {
        return std::tie(savedAt, counter) < std::tie(other.savedAt, other.counter);
    }
};

// The optional "-N" after the name's "yyyyMMdd-HHmmss" stamp.
long counterFromName(std::string_view name)
{
    if (name.size() < 5)
        return 1;
    const std::string_view stem = name.substr(0, name.size() - 5); // ".json"
    const auto dash = stem.rfind('-');
    if (dash == std::string_view::npos || dash < 15)
        return 1;
    const std::string_view tail = stem.substr(dash + 1);
    const std::string_view stamp = stem.substr(dash - 15, 15);
    if (tail.size() > 5 || !allDigits(tail) || !allDigits(stamp.substr(0, 8)) || stamp[8] != '-' ||
        !allDigits(stamp.substr(9)))
        return 1;
    return std::stol(std::string(tail));
}

struct FoundBackup
{
    BackupAge age;
    fs::path file;
};

// A file is the device's when its content carries the device's vendor and product id and matrix size,
// whatever name the pad had when it was written: a renamed pad keeps its backups, and another pad that
// happens to share a name (or a name slug) never has its files listed, and so never pruned, for this
// one. The matrix size keeps apart hobby boards that ship with the same placeholder ids (QMK's
// 0xFEED), which a restore of the newest backup would otherwise mix up.
std::optional<BackupAge> backupOf(const fs::path& file, const DeviceModel& device)
{
    const auto parsed = readJsonFile(file, MaxBackupFileBytes);
    if (!parsed || !parsed->is_object())
        return std::nullopt;
    const json& doc = *parsed;
    const auto textOf = [&](const char* key) -> std::string {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    const auto intOf = [&](const char* key) -> std::optional<std::int64_t> {
        const auto it = doc.find(key);
        return it != doc.end() && it->is_number_integer() ? std::optional(it->get<std::int64_t>()) : std::nullopt;
    };
    if (textOf("vid") != hexId(device.vid) || textOf("pid") != hexId(device.pid) || intOf("rows") != device.rows ||
        intOf("cols") != device.cols || !doc.contains("keymap"))
        return std::nullopt;
    return BackupAge{textOf("savedAt"), counterFromName(file.filename().string())};
}

// Newest first.
std::vector<FoundBackup> findAutomaticBackups(const DeviceModel& device)
{
    std::vector<FoundBackup> found;
    std::error_code ec;
    for (fs::directory_iterator it(paths::autoBackupDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".json") != 0 ||
            name.find("-before-") == std::string::npos)
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError))
            continue;
        if (const auto age = backupOf(it->path(), device))
            found.push_back({*age, it->path()});
    }
    std::sort(found.begin(), found.end(), [](const FoundBackup& a, const FoundBackup& b) {
        if (b.age < a.age)
            return true;
        if (a.age < b.age)
            return false;
        return a.file.filename() > b.file.filename();
    });
    return found;
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

    const DeviceBackupFile backup = backupFromDevice(device);
    // Backups within the same second of "savedAt" are told apart by a counter that runs across
    // reasons and time zones, so that (savedAt, counter) orders them as written.
    const auto existing = findAutomaticBackups(device);
    long counter = 0;
    for (const FoundBackup& found : existing) {
        if (found.age.savedAt == backup.savedAt)
            counter = std::max(counter, found.age.counter);
    }
    const std::string base = slug(device.displayName()) + "-before-" + slug(reason) + "-" + localStamp();
    fs::path file;
    do {
        ++counter;
        file = folder / (counter == 1 ? base + ".json" : base + "-" + std::to_string(counter) + ".json");
    } while (fs::exists(file, ec) && counter < 100000);

    if (auto written = writeFileAtomically(file, encodeBackup(backup)); !written)
        return unexpected(written.error());

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
    std::vector<fs::path> out;
    for (auto& found : findAutomaticBackups(device))
        out.push_back(std::move(found.file));
    return out;
}

} // namespace keyglass
