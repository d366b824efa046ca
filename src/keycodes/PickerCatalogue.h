#pragma once
// Ready-made keycodes offered by the keycode picker's T3 and media tabs.

#include "model/DeviceModel.h"

#include <string>
#include <vector>

namespace keyglass {

struct PresetKeyOption
{
    std::string id; // unique within its list
    std::string title;
    std::string subtitle; // the shortcut or QMK name shown under the title
    Keycode code = 0;

    bool operator==(const PresetKeyOption&) const = default;
};

/// The 24 T3 Code commands; `windows` swaps Command for Control in codes and subtitles.
std::vector<PresetKeyOption> t3Options(bool windows);

/// The 15 media and desktop actions; `legacyKeycodes` moves the mouse wheel to 0xF9/0xFA.
std::vector<PresetKeyOption> mediaOptions(bool legacyKeycodes);

} // namespace keyglass
