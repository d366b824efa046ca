#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace keyglass::test {

/// Points HOME and the XDG folders at a fresh temporary folder for the lifetime of the object, so a
/// test never touches the real home, settings or log, and front ends started by the test see no real pads. Restores the
/// previous values afterwards.
class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return m_root; }

private:
    std::filesystem::path m_root;
    std::vector<std::pair<std::string, std::string>> m_saved; // name, previous value ("\x01" = unset)
};

/// Collects log lines while alive.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    const std::vector<std::string>& lines() const { return m_lines; }
    bool contains(const std::string& fragment) const;

private:
    std::vector<std::string> m_lines;
};

/// Text of a file, or an empty string.
std::string readText(const std::filesystem::path& path);
void writeText(const std::filesystem::path& path, const std::string& text);

/// ../shared next to the source tree (keyboard definitions, layout files, keycode data), or an empty
/// path when it is not there.
std::filesystem::path sharedCorpusDir();

} // namespace keyglass::test
