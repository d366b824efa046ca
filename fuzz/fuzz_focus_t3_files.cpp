// The hand-editable files of live input: the App Focus configuration, the T3 Code keybindings and
// .desktop entries. Each input is read as all three, then used as an existing focus file that a new
// binding rewrites.

#include "input/DesktopEntry.h"
#include "input/FocusMap.h"
#include "input/T3Map.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// Whatever the old text was, the rewritten one reads back with the new binding in it. In memory: the
// disk side of the rewrite has tests of its own, and fsync per input would leave no time to fuzz.
void checkBindRewrite(std::string_view text)
{
    const auto rewritten = keyglass::focusTextWithBinding(text, 0x0168, "/usr/bin/fuzzed");
    if (!rewritten)
        __builtin_trap();
    const auto map = keyglass::parseFocusMap(*rewritten);
    const auto it = map.find(0x0168);
    if (it == map.end() || it->second.path != "/usr/bin/fuzzed")
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const auto& [code, entry] : keyglass::parseFocusMap(text)) {
        if ((code & 0xFF) < 0x04 || (code >> 8) > 0x0F)
            __builtin_trap();
    }

    const auto& titles = keyglass::t3CommandTitles();
    for (const auto& [key, title] : keyglass::parseT3Map(text)) {
        bool known = false;
        for (const auto& [id, t] : titles)
            known = known || t == title;
        if (!known)
            __builtin_trap();
        for (const char c : key) {
            if (c >= 'A' && c <= 'Z')
                __builtin_trap();
        }
    }

    if (const auto entry = keyglass::parseDesktopEntry(text)) {
        for (const auto& arg : entry->exec) {
            if (arg.empty() && text.find("\"\"") == std::string_view::npos)
                __builtin_trap();
        }
    }

    checkBindRewrite(text);
    return 0;
}
