#include "sim/VirtualPad.h"

#include "platform/AtomicFile.h"
#include "sim/WireFormat.h"
#include "sim/XzEncoder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <utility>

namespace keyglass {

namespace {

constexpr int MaxLayers = 32;
constexpr int MaxMatrix = 255;
constexpr int MaxEncoders = 255;
constexpr std::size_t MaxStateFileBytes = 8 * 1024 * 1024;

/// The config with every count inside what the firmware's wire fields can carry.
VirtualPadConfig normalised(VirtualPadConfig s)
{
    s.rows = std::clamp(s.rows, 1, MaxMatrix);
    s.cols = std::clamp(s.cols, 1, MaxMatrix);
    s.layers = std::clamp(s.layers, 1, MaxLayers);
    s.encoderCount = std::clamp(s.encoderCount, 0, MaxEncoders);
    s.comboCount = std::clamp(s.comboCount, 0, 255);
    s.keyOverrideCount = std::clamp(s.keyOverrideCount, 0, 255);
    s.macroCount = std::clamp(s.macroCount, 0, 255);
    s.macroBufferSize = std::clamp(s.macroBufferSize, 0, 0xFFFF);
    if (s.tapDances.size() > 255)
        s.tapDances.resize(255);
    if (s.viaVersion <= 0)
        s.viaVersion = s.vial ? 9 : 12;
    s.viaVersion = std::min(s.viaVersion, 0xFFFF);
    if (!s.viaEncoderCommands)
        s.viaEncoderCommands = !s.vial && s.viaVersion >= 10;
    if (s.vial && !s.vialInsecure && s.unlockKeys.empty())
        s.unlockKeys = {MatrixCell{0, 0}};
    if (s.unlockKeys.size() > 15)
        s.unlockKeys.resize(15);
    // Ids rising and unique, as the firmware reports them; without a list, a typical RGB Matrix build.
    if (s.lightingFeature == LightingFeature::vialRgb && s.vialRgbEffects.empty())
        s.vialRgbEffects = {1, 2, 3, 4, 6, 13, 24, 29, 39};
    std::sort(s.vialRgbEffects.begin(), s.vialRgbEffects.end());
    s.vialRgbEffects.erase(std::unique(s.vialRgbEffects.begin(), s.vialRgbEffects.end()), s.vialRgbEffects.end());
    std::erase(s.vialRgbEffects, std::uint16_t{0});
    return s;
}

std::vector<std::uint8_t> makeDefinitionStream(const VirtualPadConfig& config)
{
    if (config.definitionBlob)
        return *config.definitionBlob;
    if (config.definitionJson.empty())
        return {};
    // Vial's build re-serialises the JSON without spaces before compressing it.
    const auto parsed = nlohmann::json::parse(config.definitionJson, nullptr, false);
    if (parsed.is_discarded())
        return xzCompress(config.definitionJson);
    return xzCompress(parsed.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

sim::FirmwareRam bootRam(const VirtualPadConfig& s, const sim::Eeprom& eeprom)
{
    sim::FirmwareRam ram;
    ram.lighting = eeprom.savedLighting();
    ram.unlocked = sim::bootsUnlocked(s);
    return ram;
}

} // namespace

VirtualPad::VirtualPad(VirtualPadConfig config)
    : m_config(normalised(std::move(config))), m_definition(makeDefinitionStream(m_config)), m_eeprom(m_config),
      m_ram(bootRam(m_config, m_eeprom)), m_lighting(m_config, m_eeprom, m_ram),
      m_via(m_config, m_eeprom, m_ram, m_lighting, [this] { return uptimeMsLocked(); }),
      m_vial(m_config, m_eeprom, m_ram, m_definition, [this] { return m_clock(); }), m_input(m_config, m_eeprom),
      m_clock([] { return Clock::now(); }), m_bootTime(m_clock())
{
}

VirtualPad::~VirtualPad() = default;

std::string VirtualPad::identifier() const
{
    return deviceIdentifier(m_config.vid, m_config.pid);
}

std::uint32_t VirtualPad::uptimeMsLocked() const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_clock() - m_bootTime).count();
    return static_cast<std::uint32_t>(std::max<long long>(0, ms));
}

// --- the wire ---

RawHidReport VirtualPad::answer(const RawHidReport& request)
{
    std::lock_guard lock(m_mutex);
    const RawHidReport reply = handleLocked(request);
    saveIfAttached();
    return reply;
}

RawHidReport VirtualPad::handleLocked(const RawHidReport& request)
{
    RawHidReport r = request;
    if (m_vial.heldByUnlock(r))
        return r;
    if (sim::isCommand(r[0], sim::ViaCommand::VialPrefix) && m_config.vial)
        m_vial.handle(r);
    else
        m_via.handle(r);
    return r;
}

VirtualPad::Delivery VirtualPad::exchange(const RawHidReport& request)
{
    std::lock_guard lock(m_mutex);
    Delivery out;
    if (!m_faults.admits(m_received))
        return out;
    out.accepted = true;
    const std::uint64_t n = ++m_received;
    m_requests.push_back(request);

    // The firmware acts on the request even when its answer is lost on the way back.
    const RawHidReport reply = handleLocked(request);
    saveIfAttached();

    auto shaped = m_faults.deliver(n, request, reply);
    out.answer = shaped.answer;
    out.copies = shaped.copies;
    out.delay = shaped.delay;
    return out;
}

std::optional<RawHidReport> VirtualPad::receive(const RawHidReport& request)
{
    return exchange(request).answer;
}

std::vector<RawHidReport> VirtualPad::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void VirtualPad::clearRequests()
{
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

std::uint64_t VirtualPad::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

// --- EEPROM ---

Keycode VirtualPad::keycode(int layer, int row, int col) const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.keycode(layer, row, col);
}

void VirtualPad::setKeycode(int layer, int row, int col, Keycode code)
{
    std::lock_guard lock(m_mutex);
    m_eeprom.setKeycode(layer, row, col, code);
}

Keycode VirtualPad::encoder(int layer, int index, bool clockwise) const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.encoder(layer, index, clockwise);
}

void VirtualPad::setEncoder(int layer, int index, bool clockwise, Keycode code)
{
    std::lock_guard lock(m_mutex);
    m_eeprom.setEncoder(layer, index, clockwise, code);
}

int VirtualPad::tapDanceCount() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.tapDanceCount();
}

TapDanceData VirtualPad::tapDance(int index) const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.tapDance(index);
}

void VirtualPad::setTapDance(int index, const TapDanceData& entry)
{
    std::lock_guard lock(m_mutex);
    m_eeprom.setTapDance(index, entry);
}

VirtualLighting VirtualPad::lighting() const
{
    std::lock_guard lock(m_mutex);
    return m_ram.lighting;
}

VirtualLighting VirtualPad::savedLighting() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.savedLighting();
}

bool VirtualPad::lightingPersisted() const
{
    std::lock_guard lock(m_mutex);
    return m_ram.lighting == m_eeprom.savedLighting();
}

int VirtualPad::lightingSaveCount() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.lightingSaveCount();
}

std::vector<std::uint8_t> VirtualPad::macroBuffer() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.macros();
}

std::uint32_t VirtualPad::layoutOptions() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.layoutOptions();
}

bool VirtualPad::vialUnlocked() const
{
    std::lock_guard lock(m_mutex);
    return m_ram.unlocked;
}

int VirtualPad::deviceIndicationCount() const
{
    std::lock_guard lock(m_mutex);
    return m_ram.deviceIndications;
}

int VirtualPad::bootloaderJumpCount() const
{
    std::lock_guard lock(m_mutex);
    return m_ram.bootloaderJumps;
}

std::vector<std::uint8_t> VirtualPad::compressedDefinition() const
{
    std::lock_guard lock(m_mutex);
    return m_definition;
}

// --- state file ---

std::string VirtualPad::stateJson() const
{
    std::lock_guard lock(m_mutex);
    return m_eeprom.stateJson();
}

Expected<void> VirtualPad::loadStateJson(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    auto loaded = m_eeprom.loadStateJson(text);
    if (loaded)
        m_ram.lighting = m_eeprom.savedLighting(); // the firmware shows what it reads at boot
    return loaded;
}

Expected<void> VirtualPad::loadState(const std::filesystem::path& path)
{
    auto text = readFileCapped(path, MaxStateFileBytes);
    if (!text)
        return unexpected(text.error());
    return loadStateJson(*text);
}

Expected<void> VirtualPad::saveState(const std::filesystem::path& path) const
{
    return writeFileAtomically(path, stateJson());
}

void VirtualPad::attachStateFile(const std::filesystem::path& path)
{
    (void)loadState(path); // a missing or broken file means a fresh EEPROM
    std::lock_guard lock(m_mutex);
    m_stateFile = path;
    (void)m_eeprom.takeChanged();
}

std::optional<std::filesystem::path> VirtualPad::stateFile() const
{
    std::lock_guard lock(m_mutex);
    return m_stateFile;
}

void VirtualPad::saveIfAttached()
{
    if (m_eeprom.takeChanged() && m_stateFile)
        (void)writeFileAtomically(*m_stateFile, m_eeprom.stateJson());
}

// --- faults ---

std::optional<std::uint64_t> VirtualPad::ahead(int nth) const
{
    if (nth <= 0)
        return std::nullopt;
    return m_received + static_cast<std::uint64_t>(nth);
}

void VirtualPad::setRefuseOpen(bool refuse)
{
    std::lock_guard lock(m_mutex);
    m_faults.setRefuseOpen(refuse);
}

bool VirtualPad::refusesOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_faults.refusesOpen();
}

void VirtualPad::dropAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (const auto n = ahead(nth))
        m_faults.dropAnswer(*n);
}

void VirtualPad::dropAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults.dropAllAnswers(on);
}

void VirtualPad::garbleAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (const auto n = ahead(nth))
        m_faults.garbleAnswer(*n);
}

void VirtualPad::garbleAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults.garbleAllAnswers(on);
}

void VirtualPad::wrongEchoAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (const auto n = ahead(nth))
        m_faults.wrongEchoAnswer(*n);
}

void VirtualPad::wrongEchoAllAnswers(bool on)
{
    std::lock_guard lock(m_mutex);
    m_faults.wrongEchoAllAnswers(on);
}

void VirtualPad::duplicateAnswer(int nth)
{
    std::lock_guard lock(m_mutex);
    if (const auto n = ahead(nth))
        m_faults.duplicateAnswer(*n);
}

void VirtualPad::delayAnswer(int nth, Duration delay)
{
    std::lock_guard lock(m_mutex);
    if (const auto n = ahead(nth); n && delay.count() > 0)
        m_faults.delayAnswer(*n, delay);
}

void VirtualPad::overrideByte0(std::uint8_t command, std::uint8_t byte0)
{
    std::lock_guard lock(m_mutex);
    m_faults.overrideByte0(command, byte0);
}

void VirtualPad::overrideVialByte0(std::uint8_t subCommand, std::uint8_t byte0)
{
    std::lock_guard lock(m_mutex);
    m_faults.overrideVialByte0(subCommand, byte0);
}

void VirtualPad::setLatency(Duration latency)
{
    std::lock_guard lock(m_mutex);
    m_faults.setLatency(latency);
}

Duration VirtualPad::latency() const
{
    std::lock_guard lock(m_mutex);
    return m_faults.latency();
}

void VirtualPad::disconnectAfter(int n)
{
    std::lock_guard lock(m_mutex);
    m_faults.disconnectAt(m_received + static_cast<std::uint64_t>(std::max(0, n)));
}

bool VirtualPad::isDisconnected() const
{
    std::lock_guard lock(m_mutex);
    return m_faults.isDisconnected();
}

void VirtualPad::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

void VirtualPad::setGarbageSeed(std::uint32_t seed)
{
    std::lock_guard lock(m_mutex);
    m_faults.setGarbageSeed(seed);
}

// --- power and clock ---

void VirtualPad::powerCycle()
{
    std::lock_guard lock(m_mutex);
    // Counted for the tests, not firmware state.
    const int indications = m_ram.deviceIndications;
    const int jumps = m_ram.bootloaderJumps;
    m_ram = bootRam(m_config, m_eeprom);
    m_ram.deviceIndications = indications;
    m_ram.bootloaderJumps = jumps;
    m_input.reset();
    m_faults.reconnect();
    m_bootTime = m_clock();
}

void VirtualPad::setClock(std::function<TimePoint()> clock)
{
    std::lock_guard lock(m_mutex);
    if (!clock)
        return;
    m_clock = std::move(clock);
    m_bootTime = m_clock();
}

// --- live input ---

void VirtualPad::sendToHost(const std::vector<HidUsageEvent>& events)
{
    InputSink sink;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
    }
    if (!sink)
        return;
    for (const auto& e : events)
        sink(*this, e.page, e.usage, e.value);
}

void VirtualPad::setInputSink(InputSink sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

void VirtualPad::press(int row, int col)
{
    std::vector<HidUsageEvent> events;
    {
        std::lock_guard lock(m_mutex);
        events = m_input.press(row, col);
    }
    sendToHost(events);
}

void VirtualPad::turn(int index, bool clockwise)
{
    std::vector<HidUsageEvent> events;
    {
        std::lock_guard lock(m_mutex);
        events = m_input.turn(index, clockwise);
    }
    sendToHost(events);
}

bool VirtualPad::click(int index)
{
    std::optional<MatrixCell> cell;
    {
        std::lock_guard lock(m_mutex);
        cell = m_input.clickCell(index);
    }
    if (!cell)
        return false;
    press(cell->row, cell->col);
    return true;
}

void VirtualPad::hold(int row, int col)
{
    std::lock_guard lock(m_mutex);
    if (!m_ram.isHeld({row, col}))
        m_ram.held.push_back({row, col});
}

void VirtualPad::release(int row, int col)
{
    std::lock_guard lock(m_mutex);
    std::erase(m_ram.held, MatrixCell{row, col});
}

void VirtualPad::setActiveLayer(int layer)
{
    std::lock_guard lock(m_mutex);
    m_input.setActiveLayer(layer);
}

int VirtualPad::activeLayer() const
{
    std::lock_guard lock(m_mutex);
    return m_input.activeLayer();
}

} // namespace keyglass
