#pragma once
// The value records that describe one VIA/Vial pad as Keyglass knows it. Device I/O fills them, the
// store owns the list, the views draw them, presets and backups read and write their keymaps.

#include "model/Keycode.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace keyglass {

/// "%04X:%04X" of vendor and product id, e.g. "1A86:FE16".
std::string deviceIdentifier(int vid, int pid);
/// "row,col" in decimal, the form of `protectedCells` entries.
std::string cellKey(int row, int col);
/// "layer,row,col" in decimal, the form of `protectedLayerCells` entries.
std::string layerCellKey(int layer, int row, int col);

/// One choice of a layout option: the option's index in the definition's labels, and the choice.
struct LayoutChoice
{
    int group = 0;
    int choice = 0;
    bool operator==(const LayoutChoice&) const = default;
};

/// An option of a definition's layout ("layouts" -> "labels"): a toggle (no choices, off or on) or a
/// title with its choices.
struct LayoutOptionLabel
{
    std::string title;
    std::vector<std::string> choices;

    bool isToggle() const { return choices.empty(); }
    /// How many values the option takes: 2 for a toggle.
    int choiceCount() const { return isToggle() ? 2 : static_cast<int>(choices.size()); }
    bool operator==(const LayoutOptionLabel&) const = default;
};

struct PhysicalKey
{
    PhysicalKey() = default;
    /// An upright single-rectangle key that belongs to no layout option.
    PhysicalKey(
        std::string id, int row, int col, double x = 0, double y = 0, double w = 1, double h = 1, bool decal = false)
        : id(std::move(id)), row(row), col(col), x(x), y(y), w(w), h(h), decal(decal)
    {
    }

    std::string id; // "r<row>c<col>"
    int row = 0;
    int col = 0;
    double x = 0; // key units, origin top-left, y grows downwards
    double y = 0;
    double w = 1;
    double h = 1;
    bool decal = false; // drawn only, never read or written
    // Rotation in degrees, clockwise, about (rx, ry) in key units; x and y are before the rotation.
    double r = 0;
    double rx = 0;
    double ry = 0;
    // A second rectangle of the same cap (ISO Enter, stepped Caps Lock), placed relative to (x, y).
    // w2 = h2 = 0: the cap is the one rectangle.
    double x2 = 0;
    double y2 = 0;
    double w2 = 0;
    double h2 = 0;
    /// The layout option the key belongs to; none when it is always there.
    std::optional<LayoutChoice> option;

    bool hasSecondary() const { return w2 > 0 && h2 > 0; }
    bool operator==(const PhysicalKey&) const = default;
};

struct PhysicalEncoder
{
    int id = 0; // encoder index as the firmware numbers it
    std::string name;
    std::optional<int> clickRow; // matrix cell of the knob's push switch, when it has one
    std::optional<int> clickCol;

    bool hasClick() const { return clickRow.has_value() && clickCol.has_value(); }
    bool operator==(const PhysicalEncoder&) const = default;
};

struct TapDanceData
{
    Keycode onTap = 0;
    Keycode onHold = 0;
    Keycode onDoubleTap = 0;
    Keycode onTapHold = 0;
    Keycode tappingTerm = 0; // milliseconds, in the same 16-bit field

    /// Slot 0 onTap, 1 onHold, 2 onDoubleTap, 3 onTapHold; nullptr for any other slot.
    const Keycode* slot(int index) const;
    Keycode* slot(int index);
    bool operator==(const TapDanceData&) const = default;
};

enum class RGBProtocolKind
{
    none,
    qmkRgblight,  // legacy value ids 0x80-0x83 (VIA <= 10, Vial)
    viaCustomCh1, // a keyboard's own values on channel 1: 1 effect, 2 brightness, 3 speed, 4 colour
    qmkBacklight, // legacy value ids 0x09 brightness, 0x0A breathing (Vial "qmk_backlight")
    vialRgb,      // Vial's own lighting, value ids 0x40-0x44
    viaBacklight, // QMK channel 1 (VIA >= 11): 1 brightness, 2 breathing
    viaRgblight,  // QMK channel 2: 1 brightness, 2 effect, 3 speed, 4 colour
    viaRgbMatrix, // QMK channel 3: as channel 2
    viaLedMatrix, // QMK channel 5: 1 brightness, 2 effect, 3 speed
};

/// "none", "qmkRgblight", "viaCustomCh1", "qmkBacklight", "vialRgb", "viaBacklight", "viaRgblight",
/// "viaRgbMatrix", "viaLedMatrix".
std::string_view toString(RGBProtocolKind kind);
std::optional<RGBProtocolKind> rgbProtocolKindFromString(std::string_view text);

struct RGBState
{
    RGBProtocolKind kind = RGBProtocolKind::none;
    std::uint8_t brightness = 180;
    std::uint8_t effect = 1; // 0 means off
    std::uint8_t lastOnEffect = 1;
    std::uint8_t speed = 2;
    std::uint8_t hue = 170;
    std::uint8_t sat = 255;

    bool isOn() const { return effect != 0 && brightness != 0; }
    bool operator==(const RGBState&) const = default;
};

/// Whether the lighting of a kind has a colour (backlight and LED Matrix are single-colour), and an
/// effect speed that is offered and written: the QMK channels and VialRGB. The two older dialects
/// report a speed but it stays as the firmware has it; backlight has none.
bool lightingHasColor(RGBProtocolKind kind);
bool lightingHasSpeed(RGBProtocolKind kind);

/// Which configuration protocol a device speaks: plain VIA, or Vial on top of VIA.
class DeviceProtocol
{
public:
    struct Via
    {
        int viaVersion = 0;
        bool operator==(const Via&) const = default;
    };
    struct Vial
    {
        int viaVersion = 0;
        int vialVersion = 0;
        std::uint64_t uid = 0;
        bool operator==(const Vial&) const = default;
    };

    DeviceProtocol() = default;
    static DeviceProtocol via(int viaVersion) { return DeviceProtocol(Via{viaVersion}); }
    static DeviceProtocol vial(int viaVersion, int vialVersion, std::uint64_t uid)
    {
        return DeviceProtocol(Vial{viaVersion, vialVersion, uid});
    }

    bool isVial() const { return std::holds_alternative<Vial>(m_value); }
    int viaVersion() const;
    /// Vial protocol version; 0 for a plain VIA device.
    int vialVersion() const;
    std::uint64_t uid() const;
    /// "VIA v12" or "Vial v6".
    std::string label() const;
    /// True for VIA up to protocol 10 and Vial up to protocol 5: QMK's keycode numbering before 0.19.
    bool legacyKeycodes() const;
    /// True for VIA protocol 10 (QMK 0.18): old numbering, but TO(n) on the wire is 0x5000 | n.
    bool writesAlignedLayerMoves() const;

    bool operator==(const DeviceProtocol&) const = default;

private:
    explicit DeviceProtocol(std::variant<Via, Vial> value) : m_value(value) {}
    std::variant<Via, Vial> m_value{Via{}};
};

/// A caption that holds only while its slot still carries `code`.
struct PresetSlotLabel
{
    Keycode code = 0;
    std::string label;

    bool operator==(const PresetSlotLabel&) const = default;
};

/// Captions taken from the preset last applied to a device (or typed in the picker).
/// Position keys: keys "layer,row,col"; knobs "layer,encoder,direction" (1 clockwise); tap dances
/// "index,slot".
struct PresetLabelOverlay
{
    std::string presetID;
    std::string presetName;
    std::string appName;
    std::string os;
    bool builtIn = false;
    std::map<int, std::string> layerNames;
    std::map<int, std::string> layerOS;
    std::map<std::string, PresetSlotLabel> keyLabels;
    std::map<std::string, PresetSlotLabel> encoderLabels;
    std::map<std::string, PresetSlotLabel> tapDanceLabels;
    std::map<int, std::map<Keycode, std::string>> layerCodeFallback;

    bool operator==(const PresetLabelOverlay&) const = default;
};

struct DeviceModel
{
    std::string id; // deviceIdentifier(vid, pid)
    int vid = 0;
    int pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;
    DeviceProtocol proto;
    bool connected = false;
    bool liveRead = false;
    int rows = 0;
    int cols = 0;
    int layerCount = 0;
    std::vector<PhysicalKey> keys;
    std::vector<PhysicalEncoder> encoders;
    int tapDanceCount = 0;
    Keymap keymap;
    EncoderMap encoderMap;
    std::vector<TapDanceData> tapDances;
    RGBState rgb;
    int activeLayer = 0;
    std::optional<std::string> flashTarget;
    bool dirty = false;
    std::optional<std::string> statusMessage;
    std::set<std::string> protectedCells;      // "row,col": hardware-reserved on every layer
    std::set<std::string> protectedLayerCells; // "layer,row,col": firmware-custom, locked until unlocked
    std::optional<PresetLabelOverlay> presetOverlay;
    /// The options of the layout and the value the pad holds for them (VIA "layout options"); `keys`
    /// holds only the keys of the chosen choices.
    std::vector<LayoutOptionLabel> layoutLabels;
    std::uint32_t layoutOptions = 0;
    /// What the last load could not read (no answer, or an answer that was not for the request): keys
    /// "layer,row,col", knobs "layer,encoder". Their values in keymap/encoderMap are placeholders, so a
    /// partial model must never be written back whole.
    std::set<std::string> unreadCells;
    std::set<std::string> unreadEncoders;
    /// Tap-dance entries by index; they keep their place in tapDances with default values.
    std::set<int> unreadTapDances;
    /// The effect ids the firmware reports it supports (VialRGB); empty when the dialect does not say.
    std::vector<std::uint16_t> lightingEffectIds;

    /// The keymap entry; 0 when any index is negative or out of range.
    Keycode keycodeAt(int layer, int row, int col) const;
    /// encoderMap[layer][encoder][1] for clockwise, [0] otherwise; 0 when out of range or when the
    /// entry holds fewer than two keycodes.
    Keycode encoderKeycodeAt(int layer, int encoder, bool clockwise) const;
    bool isProtected(int layer, int row, int col) const;
    /// Removes "layer,row,col" from protectedLayerCells; hardware-reserved cells stay protected.
    void unlock(int layer, int row, int col);
    /// Manufacturer and product, without repeating a manufacturer the product already starts with.
    std::string displayName() const;
    bool legacyKeycodes() const { return proto.legacyKeycodes(); }
    bool isPartial() const { return !unreadCells.empty() || !unreadEncoders.empty() || !unreadTapDances.empty(); }
    /// Keys, knobs and tap dances the last load could not read.
    int unreadCount() const
    {
        return static_cast<int>(unreadCells.size() + unreadEncoders.size() + unreadTapDances.size());
    }

    bool operator==(const DeviceModel&) const = default;
};

} // namespace keyglass
