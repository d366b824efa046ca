#pragma once
// A firmware emulator: QMK with VIA (optionally Vial) as seen from the far side of the RawHID wire.
// Every request is answered the way the firmware answers it: the 32-byte request buffer is edited in
// place and sent back, so bytes a handler does not write are echoed. Writes land in an emulated EEPROM
// that can be kept in a JSON state file. Faults can be injected per request, and live input (key
// presses, knob turns) is emitted as the HID usages the firmware would send.
//
// The pad itself only locks, records requests and runs each exchange through its parts: the Eeprom,
// the firmware's RAM, the VIA, Vial and lighting handlers that answer the wire, the FaultInjector and
// the InputEmitter. VirtualPadFactory builds pads from Vial definitions.
//
// Thread safety: every public member locks the pad, so one I/O thread may talk to it while the main
// thread inspects it or presses keys. The input sink is called without the lock held.

#include "device/HidBackend.h"
#include "model/DeviceModel.h"
#include "model/Expected.h"
#include "sim/Eeprom.h"
#include "sim/FaultInjector.h"
#include "sim/FirmwareRam.h"
#include "sim/InputEmitter.h"
#include "sim/LightingHandler.h"
#include "sim/ViaHandler.h"
#include "sim/VialHandler.h"
#include "sim/VirtualPadConfig.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyglass {

class VirtualPad
{
public:
    using InputSink =
        std::function<void(const VirtualPad&, std::uint16_t usagePage, std::uint16_t usage, std::int32_t value)>;

    explicit VirtualPad(VirtualPadConfig config);
    ~VirtualPad();
    VirtualPad(const VirtualPad&) = delete;
    VirtualPad& operator=(const VirtualPad&) = delete;

    /// A pad for a Vial keyboard definition (see vialDefinitionConfig): the vial.json text itself, or
    /// the file that holds it.
    static Expected<std::shared_ptr<VirtualPad>> fromVialDefinitionText(std::string_view text);
    static Expected<std::shared_ptr<VirtualPad>> fromVialDefinitionFile(const std::filesystem::path& path);

    const VirtualPadConfig& config() const { return m_config; }
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

    int rows() const { return m_config.rows; }
    int cols() const { return m_config.cols; }
    int layerCount() const { return m_config.layers; }
    int encoderCount() const { return m_config.encoderCount; }
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
    /// Bootloader jumps the firmware performed (a locked Vial pad refuses them).
    int bootloaderJumpCount() const;
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
    /// Holds the switch at (row, col) down until release(): nothing is typed, but the firmware sees it
    /// held (the Vial unlock counts only while its unlock keys are held).
    void hold(int row, int col);
    void release(int row, int col);
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
    RawHidReport handleLocked(const RawHidReport& request);
    void saveIfAttached();
    std::uint32_t uptimeMsLocked() const;
    /// Request number `nth` from now, or none for a number that is not ahead.
    std::optional<std::uint64_t> ahead(int nth) const;
    void sendToHost(const std::vector<HidUsageEvent>& events);

    mutable std::mutex m_mutex;
    VirtualPadConfig m_config;
    std::vector<std::uint8_t> m_definition;

    // The firmware: what it persists, what it holds in RAM, and the handlers answering the wire.
    sim::Eeprom m_eeprom;
    sim::FirmwareRam m_ram;
    sim::LightingHandler m_lighting;
    sim::ViaHandler m_via;
    sim::VialHandler m_vial;
    sim::InputEmitter m_input;
    std::function<TimePoint()> m_clock;
    TimePoint m_bootTime;

    // The world around it: the USB link with its faults, the host's view of the pad, the state file.
    sim::FaultInjector m_faults;
    std::vector<RawHidReport> m_requests;
    std::uint64_t m_received = 0;
    std::optional<std::filesystem::path> m_stateFile;
    InputSink m_sink;
};

} // namespace keyglass
