#pragma once
// A firmware emulator: QMK with VIA (optionally Vial) as seen from the far side of the RawHID wire.
// Every request is answered the way the firmware answers it: the 32-byte request buffer is edited in
// place and sent back, so bytes a handler does not write are echoed. Writes land in an emulated EEPROM
// that can be kept in a JSON state file. Faults can be injected per request, and live input (key
// presses, knob turns) is emitted as the HID usages the firmware would send.
//
// Thread safety: every public member locks the pad, so one I/O thread may talk to it while the main
// thread inspects it or presses keys. The input sink is called without the lock held.

#include "model/Expected.h"
#include "device/HidBackend.h"
#include "model/DeviceModel.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace keyglass {

enum class LightingDialect
{
    none,           // no lighting compiled in: 0x07/0x08/0x09 answer 0xFF
    legacyRgblight, // value ids 0x80-0x83, data from byte 2 (VIA <= 10 and every Vial build)
    channel,        // [cmd, channel, value id, data from byte 3] (VIA >= 11)
};

/// The pad's light as the firmware keeps it. `mode` survives switching off: real rgblight remembers
/// its mode while disabled.
struct VirtualLighting
{
    bool enabled = true;
    std::uint8_t mode = 1;
    std::uint8_t brightness = 180;
    std::uint8_t speed = 2;
    std::uint8_t hue = 170;
    std::uint8_t sat = 255;

    /// What a "get effect" answers on a dialect that reports 0 while off.
    std::uint8_t effect() const { return enabled ? mode : 0; }
    bool operator==(const VirtualLighting&) const = default;
};

/// A matrix cell.
struct MatrixCell
{
    int row = 0;
    int col = 0;
    bool operator==(const MatrixCell&) const = default;
};

/// Keys the firmware handles itself, before the keymap: 0x00F1 steps one layer down, 0x00F2 one up.
struct HardwareLayerKey
{
    MatrixCell cell;
    Keycode code = 0x00F1;
};

struct VirtualPadSpec
{
    int vid = 0;
    int pid = 0;
    std::string manufacturer;
    std::string product;
    std::string serial;

    /// 0 picks the personality's version: 9 for Vial builds, 12 for plain VIA.
    int viaVersion = 0;

    bool vial = false;
    std::uint32_t vialVersion = 6;
    std::uint64_t vialUid = 0;
    /// Keyboard definition as JSON text; served minified and xz-compressed. Text that is not JSON is
    /// compressed as it is (a broken definition is a legitimate test subject).
    std::string definitionJson;
    /// Served instead of the compressed definition when set (exact bytes, for tests).
    std::optional<std::vector<std::uint8_t>> definitionBlob;
    /// False models a Vial build without VIAL_INSECURE that has not been unlocked.
    bool vialUnlocked = true;
    std::vector<MatrixCell> unlockKeys;

    int rows = 1;
    int cols = 1;
    int layers = 4;
    /// keymap[layer][row][col]; missing entries are KC_NO.
    Keymap keymap;

    int encoderCount = 0;
    /// encoderMap[layer][encoder] = {counter-clockwise, clockwise}.
    EncoderMap encoderMap;
    /// The push switch of each encoder, by encoder index (none for a wheel without push).
    std::vector<std::optional<MatrixCell>> encoderClicks;
    /// VIA 0x14/0x15 compiled in; by default VIA >= 10 without Vial.
    std::optional<bool> viaEncoderCommands;

    std::vector<TapDanceData> tapDances;
    int comboCount = 0;
    int keyOverrideCount = 0;

    LightingDialect lighting = LightingDialect::none;
    VirtualLighting lightingValues;
    /// Channel form only: also answer QMK's rgblight channel 2 (same light).
    bool rgblightChannel = true;

    std::vector<HardwareLayerKey> hardwareLayerKeys;

    int macroCount = 16;
    int macroBufferSize = 512;
    std::uint32_t layoutOptions = 0;
    std::uint32_t firmwareVersion = 0;
};

class VirtualPad
{
public:
    using InputSink =
        std::function<void(const VirtualPad&, std::uint16_t usagePage, std::uint16_t usage, std::int32_t value)>;

    explicit VirtualPad(VirtualPadSpec padSpec);
    ~VirtualPad();
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    /// A pad for a Vial keyboard definition (vial.json text, or the path of such a file): matrix and
    /// keys from the definition, plausible keycodes on four layers, encoders from the "idx,dir ... e"
    /// legends.
    static Expected<std::shared_ptr<VirtualPad>> fromVialDefinition(std::string_view text);
    static Expected<std::shared_ptr<VirtualPad>> fromVialDefinitionFile(const std::filesystem::path& path);

    const VirtualPadSpec& padSpec() const { return m_spec; }
    /// "%04X:%04X" of vid and pid.
    std::string identifier() const;

    // --- the wire ---

    /// What one request produced on the wire.
    struct Delivery
    {
        bool accepted = false; // false: the pad is disconnected and the write fails
        std::optional<RawHidReport> answer;
        int copies = 0;    // 2 when the answer is sent twice
        Duration delay{0}; // extra time before the answer arrives
    };

    /// One request as the USB stack delivers it: recorded, passed through the injected faults, then
    /// answered.
    Delivery exchange(const RawHidReport& request);
    /// The answer of exchange(), when there is one.
    std::optional<RawHidReport> receive(const RawHidReport& request);
    /// The firmware alone: the answer to one request, without faults or recording (the state file is
    /// still saved after a write).
    RawHidReport answer(const RawHidReport& request);

    std::vector<RawHidReport> requests() const;
    void clearRequests();
    /// Requests received since the pad was made (clearRequests() does not reset it).
    std::uint64_t requestCount() const;

    // --- EEPROM ---

    int rows() const { return m_spec.rows; }
    int cols() const { return m_spec.cols; }
    int layerCount() const { return m_spec.layers; }
    int encoderCount() const { return m_spec.encoderCount; }
    /// 0 when out of range.
    Keycode keycode(int layer, int row, int col) const;
    void setKeycode(int layer, int row, int col, Keycode code);
    Keycode encoder(int layer, int index, bool clockwise) const;
    void setEncoder(int layer, int index, bool clockwise, Keycode code);
    int tapDanceCount() const;
    /// Entry i; a default entry when out of range.
    TapDanceData tapDance(int index) const;
    void setTapDance(int index, const TapDanceData& entry);
    /// The light as it is now.
    VirtualLighting lighting() const;
    /// The light as last saved to EEPROM.
    VirtualLighting savedLighting() const;
    /// True when the current light equals the saved one.
    bool lightingPersisted() const;
    int lightingSaveCount() const;
    std::vector<std::uint8_t> macroBuffer() const;
    std::uint32_t layoutOptions() const;
    bool vialUnlocked() const;
    int deviceIndicationCount() const;
    /// The xz stream served by FE 02 (empty for a pad without definition).
    std::vector<std::uint8_t> compressedDefinition() const;

    // --- state file ---

    /// Loads EEPROM contents from a state file. A missing, unreadable or malformed file (or one made
    /// for another matrix) changes nothing and returns an error saying why.
    Expected<void> loadState(const std::filesystem::path& path);
    Expected<void> loadStateJson(std::string_view text);
    Expected<void> saveState(const std::filesystem::path& path) const;
    std::string stateJson() const;
    /// Loads the file now (a missing or broken file leaves the EEPROM as it is) and saves it after
    /// every request that changed the EEPROM.
    void attachStateFile(const std::filesystem::path& path);
    std::optional<std::filesystem::path> stateFile() const;

    // --- faults (request numbers count from the next request: 1 = the next one) ---

    void setRefuseOpen(bool refuse);
    bool refusesOpen() const;
    void dropAnswer(int nth);
    void dropAllAnswers(bool on);
    void garbleAnswer(int nth);
    void garbleAllAnswers(bool on);
    /// Byte 0 of the answer becomes a different command id.
    void wrongEchoAnswer(int nth);
    void wrongEchoAllAnswers(bool on);
    /// The answer is sent twice (the copy stays queued for the next read).
    void duplicateAnswer(int nth);
    /// The answer arrives `delay` after the request on the backend's clock.
    void delayAnswer(int nth, Duration delay);
    /// Every answer to this VIA command (or to this Vial sub-command) carries `byte0`.
    void overrideByte0(std::uint8_t command, std::uint8_t byte0);
    void overrideVialByte0(std::uint8_t subCommand, std::uint8_t byte0);
    /// Real time spent per exchange (benchmarks and the demo only).
    void setLatency(Duration latency);
    Duration latency() const;
    /// The next `n` requests are answered; after that writes fail and reads report a disconnect.
    void disconnectAfter(int n);
    bool isDisconnected() const;
    void clearFaults();
    /// Seed of the garbage generator.
    void setGarbageSeed(std::uint32_t seed);

    // --- live input ---

    void setInputSink(InputSink sink);
    /// Taps the key at (row, col) on the active layer and emits what the firmware sends for it.
    /// A layer key that works while held (MO, OSL) stays held until the next press, turn or click
    /// completes, like a finger on MO(1) while another key is tapped.
    void press(int row, int col);
    /// One detent of encoder `index`.
    void turn(int index, bool clockwise);
    /// Pushes encoder `index`; returns false when it has no push switch.
    bool click(int index);
    void setActiveLayer(int layer);
    int activeLayer() const;

    /// The clock used for uptime (the backend's clock when a backend holds the pad).
    void setClock(std::function<TimePoint()> clock);
    /// What unplugging and plugging back in does to the firmware: RAM state goes back to what the
    /// EEPROM holds (unsaved lighting is lost, layers return to the default, a Vial pad locks again
    /// unless it is an insecure build), uptime restarts and an injected disconnect is over.
    void powerCycle();

private:
    struct Event
    {
        std::uint16_t page;
        std::uint16_t usage;
        std::int32_t value;
    };
    struct Faults;

    RawHidReport handleLocked(const RawHidReport& request);
    void handleVia(RawHidReport& r);
    void handleVial(RawHidReport& r);
    void handleKeyboardValue(RawHidReport& r, bool set);
    void handleLighting(RawHidReport& r);
    void handleLegacyLighting(RawHidReport& r);
    void handleChannelLighting(RawHidReport& r);
    void handleDynamicEntry(RawHidReport& r);
    void resetDynamicKeymap();

    bool modernKeycodes() const;
    Keycode firewall(Keycode code) const;
    std::size_t keyIndex(int layer, int row, int col) const;
    std::size_t encoderIndex(int layer, int index, bool clockwise) const;
    void saveIfAttached();
    std::string stateJsonLocked() const;
    Expected<void> loadStateLocked(std::string_view text);

    Keycode resolveKeyLocked(int row, int col) const;
    Keycode resolveEncoderLocked(int index, bool clockwise) const;
    int highestLayerLocked() const;
    void tapKeycodeLocked(Keycode code, std::vector<Event>& out, int depth);
    void releaseHeldLayerLocked();
    void sendToHost(const std::vector<Event>& events);

    void fillFromSpec();

    mutable std::mutex m_mutex;
    VirtualPadSpec m_spec;
    std::vector<std::uint8_t> m_definition;

    std::vector<Keycode> m_keymap;   // layer -> row -> col
    std::vector<Keycode> m_encoders; // layer -> encoder -> {ccw, cw}
    std::vector<TapDanceData> m_tapDances;
    std::vector<std::array<std::uint8_t, 10>> m_combos;
    std::vector<std::array<std::uint8_t, 10>> m_keyOverrides;
    std::vector<std::uint8_t> m_macros;
    VirtualLighting m_lighting;
    VirtualLighting m_savedLighting;
    int m_lightingSaves = 0;
    std::uint32_t m_layoutOptions = 0;
    int m_deviceIndications = 0;

    bool m_unlocked = true;
    bool m_unlockInProgress = false;
    int m_unlockCounter = 0;

    bool m_eepromChanged = false;
    std::optional<std::filesystem::path> m_stateFile;

    std::vector<RawHidReport> m_requests;
    std::uint64_t m_received = 0;
    std::unique_ptr<Faults> m_faults;

    std::function<TimePoint()> m_clock;
    TimePoint m_bootTime;

    InputSink m_sink;
    std::uint32_t m_layerState = 0;
    std::uint32_t m_defaultLayerState = 1;
    std::optional<int> m_heldLayer; // MO/OSL held across the next tap
};

} // namespace keyglass
