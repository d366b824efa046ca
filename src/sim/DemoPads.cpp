#include "sim/DemoPads.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace keyglass {

namespace {

using Layer = std::vector<std::vector<Keycode>>;

constexpr Keycode KC_NO = 0x00;
constexpr Keycode KC_F13 = 0x68;
constexpr Keycode KC_MUTE = 0xA8, KC_VOLU = 0xA9, KC_VOLD = 0xAA, KC_MNXT = 0xAB, KC_MPRV = 0xAC, KC_MPLY = 0xAE;
constexpr Keycode KC_BRIU = 0xBD, KC_BRID = 0xBE;
constexpr Keycode KC_WH_U = 0xD9, KC_WH_D = 0xDA, KC_BTN3 = 0xD3;
constexpr Keycode KC_ENT = 0x28, KC_ESC = 0x29, KC_BSPC = 0x2A, KC_TAB = 0x2B;
constexpr Keycode KC_RGHT = 0x4F, KC_LEFT = 0x50, KC_DOWN = 0x51, KC_UP = 0x52;
constexpr Keycode KC_HOME = 0x4A, KC_PGUP = 0x4B, KC_DEL = 0x4C, KC_END = 0x4D, KC_PGDN = 0x4E;

constexpr Keycode ctl(Keycode k)
{
    return static_cast<Keycode>(0x0100 | k);
}
constexpr Keycode ctlShift(Keycode k)
{
    return static_cast<Keycode>(0x0300 | k);
}
constexpr Keycode alt(Keycode k)
{
    return static_cast<Keycode>(0x0400 | k);
}
constexpr Keycode gui(Keycode k)
{
    return static_cast<Keycode>(0x0800 | k);
}
constexpr Keycode td(int n)
{
    return static_cast<Keycode>(0x5700 | n);
}

constexpr Keycode HardwareLayerDown = 0x00F1;
constexpr Keycode HardwareLayerUp = 0x00F2;
constexpr std::int64_t MaxLatencyUs = 1'000'000;

// A 4x4 grid in rows 0-3; row 4 holds the two knob pushes and the hardware layer keys.
Layer grid(std::initializer_list<Keycode> keys, Keycode push0, Keycode push1)
{
    Layer layer(5, std::vector<Keycode>(4, KC_NO));
    int i = 0;
    for (Keycode k : keys) {
        layer[i / 4][i % 4] = k;
        ++i;
    }
    layer[4] = {push0, push1, HardwareLayerDown, HardwareLayerUp};
    return layer;
}

const char* const SolodialDefinition = R"({
  "name": "SoloDial",
  "vendorId": "0x5831",
  "productId": "0x4249",
  "lighting": "qmk_rgblight",
  "matrix": {"rows": 1, "cols": 1},
  "layouts": {
    "keymap": [
      [{"x": 0.5}, "0,0\n\n\n\ne", "0,1\n\n\n\ne"],
      [{"x": 1}, "0,0"]
    ]
  }
})";

} // namespace

VirtualPadConfig quadgridConfig()
{
    VirtualPadConfig s;
    s.vid = 0x1A86;
    s.pid = 0xFE16;
    s.manufacturer = "Loomworks";
    s.product = "QuadGrid Macropad";
    s.serial = "QG16-0412";
    s.viaVersion = 12;
    s.rows = 5;
    s.cols = 4;
    s.layers = 4;
    s.keymap = {
        // Media and editing.
        grid({KC_MPRV,
              KC_MPLY,
              KC_MNXT,
              KC_F13,
              ctl(0x1D),
              ctl(0x1B),
              ctl(0x06),
              ctl(0x19),
              ctl(0x16),
              KC_HOME,
              KC_UP,
              KC_END,
              KC_ESC,
              KC_LEFT,
              KC_DOWN,
              KC_RGHT},
             KC_MUTE,
             KC_BTN3),
        // Number pad.
        grid({0x5F, 0x60, 0x61, 0x54, 0x5C, 0x5D, 0x5E, 0x55, 0x59, 0x5A, 0x5B, 0x56, 0x62, 0x63, 0x58, 0x57},
             KC_BSPC,
             KC_TAB),
        // F13-F24 and Ctrl+F13-F16: App Focus triggers.
        grid({0x68,
              0x69,
              0x6A,
              0x6B,
              0x6C,
              0x6D,
              0x6E,
              0x6F,
              0x70,
              0x71,
              0x72,
              0x73,
              ctl(0x68),
              ctl(0x69),
              ctl(0x6A),
              ctl(0x6B)},
             KC_MUTE,
             KC_MPLY),
        // Window and tab shortcuts.
        grid({ctlShift(0x13),
              ctl(0x09),
              ctlShift(0x09),
              ctl(0x35),
              ctl(0x17),
              ctl(0x1A),
              ctlShift(0x17),
              ctl(KC_TAB),
              ctl(0x04),
              ctlShift(0x1D),
              KC_DEL,
              0x49,
              0x46,
              alt(KC_TAB),
              gui(0x0F),
              0xB2},
             KC_MUTE,
             KC_ENT),
    };
    s.encoderCount = 3;
    s.encoderMap = {
        {{KC_VOLD, KC_VOLU}, {KC_WH_D, KC_WH_U}, {ctl(0x2D), ctl(0x2E)}},
        {{KC_LEFT, KC_RGHT}, {KC_UP, KC_DOWN}, {KC_PGUP, KC_PGDN}},
        {{KC_VOLD, KC_VOLU}, {KC_MPRV, KC_MNXT}, {KC_WH_D, KC_WH_U}},
        {{KC_BRID, KC_BRIU}, {ctlShift(KC_TAB), ctl(KC_TAB)}, {KC_VOLD, KC_VOLU}},
    };
    s.encoderClicks = {MatrixCell{4, 0}, MatrixCell{4, 1}, std::nullopt};
    s.hardwareLayerKeys = {{{4, 2}, HardwareLayerDown}, {{4, 3}, HardwareLayerUp}};
    s.lighting = LightingDialect::channel;
    s.lightingFeature = LightingFeature::rgblight;
    s.keyboardLightingChannel = 1;
    s.lightingValues = VirtualLighting{true, 4, 128, 2, 170, 255};
    s.firmwareVersion = 0x00010400;
    return s;
}

VirtualPadConfig solodialConfig()
{
    VirtualPadConfig s;
    s.vid = 0x5831;
    s.pid = 0x4249;
    s.manufacturer = "Tinkerloop";
    s.product = "SoloDial Knob";
    s.serial = "vial:f64c2b3c";
    s.viaVersion = 9;
    s.vial = true;
    s.vialVersion = 6;
    s.vialUid = 0x5D1A7C0F3E92B481ull;
    s.definitionJson = SolodialDefinition;
    s.rows = 1;
    s.cols = 1;
    s.layers = 4;
    s.keymap = {{{td(0)}}, {{KC_MPLY}}, {{KC_MUTE}}, {{0x0001}}};
    s.encoderCount = 1;
    s.encoderMap = {
        {{KC_VOLD, KC_VOLU}},
        {{KC_MPRV, KC_MNXT}},
        {{KC_WH_D, KC_WH_U}},
        {{KC_BRID, KC_BRIU}},
    };
    s.encoderClicks = {MatrixCell{0, 0}};
    s.tapDances.assign(8, TapDanceData{0, 0, 0, 0, 200});
    s.tapDances[0] = {KC_MPLY, KC_MUTE, KC_MNXT, KC_MPRV, 200};
    s.tapDances[1] = {KC_F13, ctl(KC_F13), 0x69, KC_NO, 200};
    s.tapDances[2] = {ctl(0x06), ctl(0x19), ctl(0x1B), KC_NO, 180};
    s.comboCount = 8;
    s.keyOverrideCount = 8;
    s.lighting = LightingDialect::legacyRgblight;
    s.lightingFeature = LightingFeature::rgblight;
    s.lightingValues = VirtualLighting{true, 9, 200, 1, 170, 255};
    s.unlockKeys = {MatrixCell{0, 0}};
    return s;
}

std::shared_ptr<VirtualPad> makeQuadgrid()
{
    return std::make_shared<VirtualPad>(quadgridConfig());
}

std::shared_ptr<VirtualPad> makeSolodial()
{
    return std::make_shared<VirtualPad>(solodialConfig());
}

std::optional<Duration> virtualLatencyFromEnvironment()
{
    const char* value = std::getenv("KEYGLASS_VIRTUAL_LATENCY_US");
    if (!value || !*value)
        return std::nullopt;
    const std::string_view text(value);
    std::int64_t us = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), us);
    if (ec != std::errc() || end != text.data() + text.size() || us < 0)
        return std::nullopt;
    return Duration(std::min(us, MaxLatencyUs));
}

Expected<std::shared_ptr<VirtualPad>> makeVirtualPad(std::string_view padArgument)
{
    // Either side may contain '@' (paths do), so the split is the first '@' after a known model or
    // an existing file.
    auto isModel = [](std::string_view m) {
        std::error_code ec;
        return m == "quadgrid" || m == "solodial" ||
               (!m.empty() && std::filesystem::is_regular_file(std::filesystem::path(std::string(m)), ec));
    };
    std::string_view model = padArgument;
    std::optional<std::filesystem::path> stateFile;
    if (!isModel(padArgument)) {
        for (auto at = padArgument.find('@'); at != std::string_view::npos; at = padArgument.find('@', at + 1)) {
            if (!isModel(padArgument.substr(0, at)))
                continue;
            if (at + 1 >= padArgument.size())
                return unexpected(
                    Error("Missing state file after '@' in virtual pad \"" + std::string(padArgument) + "\"",
                          0,
                          "VirtualPad"));
            model = padArgument.substr(0, at);
            stateFile = std::filesystem::path(std::string(padArgument.substr(at + 1)));
            break;
        }
    }
    std::shared_ptr<VirtualPad> pad;
    if (model == "quadgrid") {
        pad = makeQuadgrid();
    } else if (model == "solodial") {
        pad = makeSolodial();
    } else {
        const std::filesystem::path path{std::string(model)};
        std::error_code ec;
        if (model.empty() || !std::filesystem::is_regular_file(path, ec))
            return unexpected(Error("Unknown virtual pad \"" + std::string(model) +
                                        "\" (use quadgrid, solodial or the path of a vial.json)",
                                    0,
                                    "VirtualPad"));
        auto made = VirtualPad::fromVialDefinitionFile(path);
        if (!made)
            return unexpected(Error(
                "Cannot make a virtual pad from " + path.string() + ": " + made.error().message, 0, "VirtualPad"));
        pad = std::move(*made);
    }
    if (stateFile)
        pad->attachStateFile(*stateFile);
    if (const auto latency = virtualLatencyFromEnvironment())
        pad->setLatency(*latency);
    return pad;
}

} // namespace keyglass
