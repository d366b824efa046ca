#pragma once
// Reads QMK's keycode data (data/constants/keycodes/*.hjson) the way QMK merges it, so tests can
// hold the checked-in vocabulary against the data. Only released versions count: files named
// keycodes_<version>[_<feature>].hjson directly in the folder.

#include "support/TempHome.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace keyglass::test {

/// hjson as QMK writes it turned into JSON: comments out, and commas where a line break separates
/// members.
inline std::string hjsonToJson(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < text.size())
                out += text[++i];
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
            out += c;
        } else if ((c == '/' && i + 1 < text.size() && text[i + 1] == '/') || c == '#') {
            while (i < text.size() && text[i] != '\n')
                ++i;
            out += '\n';
        } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
            const auto end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
        } else {
            out += c;
        }
    }
    // Outside strings now only structure is left, so patterns over it are safe enough for QMK's files.
    out = std::regex_replace(out, std::regex(R"~((["}\]0-9el])(\s*\n\s*)(["{\[]))~"), "$1,$2$3");
    return std::regex_replace(out, std::regex(R"~(,(\s*[}\]]))~"), "$1");
}

/// QMK's merge: objects key by key, "!delete!" removes, a "!reset!" key empties the object first,
/// lists grow unless they start with "!reset!".
inline void mergeQmk(nlohmann::json& base, const nlohmann::json& update)
{
    if (update.contains("!reset!"))
        base = nlohmann::json::object();
    for (const auto& [key, value] : update.items()) {
        if (key == "!reset!")
            continue;
        if (value.is_string() && value.get<std::string>() == "!delete!") {
            base.erase(key);
        } else if (value.is_object() && base.contains(key) && base[key].is_object()) {
            mergeQmk(base[key], value);
        } else if (value.is_array() && !value.empty() && value[0] == "!reset!") {
            base[key] = nlohmann::json(value.begin() + 1, value.end());
        } else if (value.is_array() && base.contains(key) && base[key].is_array()) {
            for (const auto& item : value) {
                if (std::find(base[key].begin(), base[key].end(), item) == base[key].end())
                    base[key].push_back(item);
            }
        } else {
            base[key] = value;
        }
    }
}

struct ReleasedQmkData
{
    nlohmann::json merged = nlohmann::json::object();
    std::map<std::string, std::vector<unsigned>> everyName; // any version's name -> its codes
    std::size_t files = 0;
    std::vector<std::string> unreadable;
};

inline unsigned qmkHex(const std::string& text)
{
    return static_cast<unsigned>(std::stoul(text, nullptr, 16));
}

inline ReleasedQmkData loadReleasedQmkData(const std::filesystem::path& dir)
{
    namespace fs = std::filesystem;
    static const std::regex fileName(R"(keycodes_(\d+)\.(\d+)\.(\d+)(?:_([a-z0-9_]+))?\.hjson)");
    std::vector<std::tuple<int, int, int, std::string, fs::path>> files;
    std::error_code ec;
    for (const auto& item : fs::directory_iterator(dir, ec)) {
        std::smatch m;
        const std::string name = item.path().filename().string();
        if (item.is_regular_file(ec) && std::regex_match(name, m, fileName))
            files.emplace_back(std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), m[4].str(), item.path());
    }
    std::sort(files.begin(), files.end());
    ReleasedQmkData data;
    std::map<std::string, nlohmann::json> streams;
    for (const auto& [major, minor, patch, feature, path] : files) {
        const std::string text = hjsonToJson(readText(path));
        ++data.files;
        if (text.find_first_not_of(" \t\r\n") == std::string::npos)
            continue;
        const auto doc = nlohmann::json::parse(text, nullptr, false);
        if (!doc.is_object()) {
            data.unreadable.push_back(path.filename().string());
            continue;
        }
        if (doc.contains("keycodes")) {
            for (const auto& [code, entry] : doc["keycodes"].items()) {
                if (!entry.is_object() || code == "!reset!")
                    continue;
                if (entry.contains("key"))
                    data.everyName[entry["key"].get<std::string>()].push_back(qmkHex(code));
                for (const auto& alias : entry.value("aliases", nlohmann::json::array())) {
                    if (alias != "!reset!")
                        data.everyName[alias.get<std::string>()].push_back(qmkHex(code));
                }
            }
        }
        auto& stream = streams[feature];
        if (stream.is_null())
            stream = nlohmann::json::object();
        mergeQmk(stream, doc);
    }
    for (const auto& [feature, stream] : streams)
        mergeQmk(data.merged, stream);
    return data;
}

} // namespace keyglass::test
