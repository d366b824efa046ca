#include "support/TempHome.h"

#include "platform/Log.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace keyglass::test {

namespace fs = std::filesystem;

namespace {
const char* const Variables[] = {"HOME",
                                 "XDG_CONFIG_HOME",
                                 "XDG_DATA_HOME",
                                 "XDG_STATE_HOME",
                                 "XDG_CACHE_HOME",
                                 "KEYGLASS_VIRTUAL_PADS",
                                 "KEYGLASS_VIRTUAL_LATENCY_US",
                                 "KEYGLASS_REAL_PADS"};
constexpr const char* Unset = "\x01";
} // namespace

TempHome::TempHome()
{
    std::string pattern = (fs::temp_directory_path() / "keyglass-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    for (const char* name : Variables) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? old : Unset);
    }
    ::setenv("HOME", m_root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_root / ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_root / ".local/share").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_root / ".local/state").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (m_root / ".cache").c_str(), 1);
    ::unsetenv("KEYGLASS_VIRTUAL_PADS");
    ::unsetenv("KEYGLASS_VIRTUAL_LATENCY_US");
    ::setenv("KEYGLASS_REAL_PADS", "0", 1); // tests never reach real pads
}

TempHome::~TempHome()
{
    for (const auto& [name, value] : m_saved) {
        if (value == Unset)
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

LogCapture::LogCapture()
{
    setLogObserver(
        [](std::string_view line, void* context) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            static_cast<LogCapture*>(context)->m_lines.push_back(std::move(text));
        },
        this);
}

LogCapture::~LogCapture()
{
    setLogObserver(nullptr, nullptr);
}

bool LogCapture::contains(const std::string& fragment) const
{
    for (const auto& line : m_lines) {
        if (line.find(fragment) != std::string::npos)
            return true;
    }
    return false;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeText(const fs::path& path, const std::string& text)
{
    std::error_code ec;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), ec);
    std::ofstream(path, std::ios::binary) << text;
}

fs::path sharedCorpusDir()
{
    // KEYGLASS_CORPUS_DIR lets a developer rehearse the corpus tests against a folder of their own.
    const char* override = std::getenv("KEYGLASS_CORPUS_DIR");
    const fs::path dir = override && *override ? fs::path(override) : fs::path(KG_SHARED_DIR) / "corpus";
    std::error_code ec;
    return fs::is_directory(dir, ec) ? dir : fs::path();
}

} // namespace keyglass::test
