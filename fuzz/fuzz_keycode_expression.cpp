// Any text given to the expression parser yields a keycode or none; a keycode it yields formats back
// to text that parses to the same keycode, and the captions and safety checks accept it. The same
// text as the picker's search filter matches or not, and never crashes.

#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/Keycodes.h"
#include "keycodes/PickerEntries.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace keyglass;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const T3Map t3{{"mod+shift+o", "New Thread"}, {"f6", "Next Pane"}};
    static const FocusMap focus{{0x0068, FocusEntry{"Safari", "/Applications/Safari.app"}}};

    static const PickerEntry caps = pickerEntryFor(0x7C73, false);
    (void)pickerEntryMatches(caps, text);
    for (bool legacy : {false, true}) {
        const auto code = parseKeycodeExpression(text, legacy);
        (void)validateExpression(text, legacy);
        if (!code)
            continue;
        const std::string formatted = formatKeycode(*code, legacy);
        if (formatted.empty() || parseKeycodeExpression(formatted, legacy) != code)
            std::abort();
        if (pickerEntryFor(*code, legacy).title.empty())
            std::abort();
        for (bool windows : {false, true}) {
            if (describeKeycode(*code, legacy, windows, t3, focus).title.empty())
                std::abort();
        }
    }
    return 0;
}
