#include "input/T3Map.h"

#include "keycodes/KeycodeText.h"
#include "platform/AtomicFile.h"

#include <nlohmann/json.hpp>

namespace keyglass {

namespace {
// Real keybindings files are a few kilobytes.
constexpr std::size_t MaxT3FileBytes = 4 * 1024 * 1024;
} // namespace

const std::map<std::string_view, std::string_view>& t3CommandTitles()
{
    static const std::map<std::string_view, std::string_view> titles = {
        {"chat.new", "New Thread"},
        {"chat.newLocal", "New Local"},
        {"chat.newWithoutProject", "Scratch Thread"},
        {"thread.pin", "Pin Thread"},
        {"thread.settle", "Settle Thread"},
        {"thread.copyReference", "Copy PR / Ref"},
        {"thread.previous", "Prev Thread"},
        {"thread.next", "Next Thread"},
        {"thread.steerQueuedMessage", "Steer Queued"},
        {"sidebar.toggle", "Sidebar"},
        {"terminal.toggle", "Terminal"},
        {"diff.toggle", "Diff Panel"},
        {"preview.toggle", "Preview"},
        {"rightPanel.toggle", "Right Panel"},
        {"threadPanel.toggle", "Thread Details"},
        {"modelPicker.toggle", "Model Picker"},
        {"composer.effort", "Effort"},
        {"composer.mode", "Permissions"},
        {"composer.branch", "Git Branch"},
        {"composer.workspace", "Workspace"},
        {"composer.host", "Host"},
        {"composer.dictation", "Dictation"},
        {"composer.stash", "Stash Prompt"},
        {"commandPalette.toggle", "Palette"},
        {"filePicker.toggle", "File Picker"},
        {"projectSearch.toggle", "Search Files"},
        {"navigation.back", "Nav Back"},
        {"navigation.forward", "Nav Forward"},
        {"workspace.focusNext", "Next Pane"},
        {"workspace.focusPrevious", "Prev Pane"},
        {"editor.openFavorite", "Open Editor"},
        {"preview.refresh", "Refresh"},
        {"preview.zoomIn", "Zoom In"},
        {"preview.zoomOut", "Zoom Out"},
        {"preview.resetZoom", "Reset Zoom"},
    };
    return titles;
}

T3Map parseT3Map(std::string_view text)
{
    using nlohmann::json;
    const json root = json::parse(text.begin(), text.end(), nullptr, false);
    if (root.is_discarded() || !root.is_array())
        return {};
    for (const auto& binding : root) {
        if (!binding.is_object())
            return {};
    }

    const auto& titles = t3CommandTitles();
    T3Map map;
    for (const auto& binding : root) {
        const auto key = binding.find("key");
        const auto command = binding.find("command");
        if (key == binding.end() || command == binding.end() || !key->is_string() || !command->is_string())
            continue;
        const auto title = titles.find(command->get_ref<const std::string&>());
        if (title == titles.end())
            continue;

        std::string keyString = asciiLower(key->get_ref<const std::string&>());
        std::string when;
        if (const auto it = binding.find("when"); it != binding.end() && it->is_string())
            when = it->get<std::string>();

        // A terminal- or preview-only binding must not hide the one that works everywhere else.
        const bool focusScoped = when.find("terminalFocus") != std::string::npos || when == "previewFocus";
        if (map.contains(keyString) && focusScoped && when.find("!terminalFocus") == std::string::npos)
            continue;
        map[std::move(keyString)] = std::string(title->second);
    }
    return map;
}

T3Map loadT3Map(const std::filesystem::path& file)
{
    const auto text = readFileCapped(file, MaxT3FileBytes);
    if (!text)
        return {};
    return parseT3Map(*text);
}

} // namespace keyglass
