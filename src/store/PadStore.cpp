#include "store/PadStore.h"

#include "backup/AutomaticBackups.h"
#include "backup/DeviceBackupFile.h"
#include "backup/LayoutImport.h"
#include "backup/PresetApplication.h"
#include "device/Discovery.h"
#include "device/HardwareWriter.h"
#include "device/Lighting.h"
#include "input/FocusMap.h"
#include "input/HIDInputWatcher.h"
#include "input/LiveMatch.h"
#include "input/T3Map.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetStaging.h"
#include "store/Desktop.h"
#include "store/Log.h"
#include "store/Paths.h"
#include "store/SettingsStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace keyglass {

namespace {
using namespace std::chrono_literals;

constexpr auto ToastLifetime = std::chrono::milliseconds(3200);
constexpr auto FlashLifetime = std::chrono::milliseconds(450);
constexpr auto PeriodicInterval = std::chrono::milliseconds(3500);
constexpr auto LightingWriteDelay = std::chrono::milliseconds(40);
constexpr auto LightingSaveDelay = std::chrono::milliseconds(500);

std::string localShortTime()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H:%M", &local);
    return buffer;
}

std::string trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

std::string hex4(Keycode code)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%04X", code);
    return buffer;
}

std::string quotedList(const std::vector<std::string>& items)
{
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += "\"" + items[i] + "\"";
    }
    return text + "]";
}

bool inRange(int index, size_t size)
{
    return index >= 0 && static_cast<size_t>(index) < size;
}

} // namespace

PreferredSize preferredSizeFor(const DeviceModel* selected, bool severalDevices)
{
    if (!selected)
        return {440, 320};
    const int extra = severalDevices ? 34 : 0;
    int keys = 0;
    int columns = 0;
    for (const auto& key : selected->keys) {
        if (key.decal)
            continue;
        ++keys;
        columns = std::max(columns, key.col + 1);
    }
    const int encoders = static_cast<int>(selected->encoders.size());
    if (keys <= 2 && encoders < 2)
        return {460, 630 + extra};
    const int height = 635 + extra;
    if (columns <= 4 && encoders == 3)
        return {760, height};
    return {std::clamp(columns * 82 + 200, 620, 840), height};
}

struct PadStore::RefreshResult
{
    std::vector<DeviceModel> devices;
    std::set<std::string> endpointIDs;
    std::string refreshText;
};

PadStore::PadStore(PadStoreServices services) : m_services(services)
{
    if (auto stored = m_services.settings.value(ActivePresetSettingsKey); stored && stored->is_object()) {
        for (const auto& [deviceID, presetID] : stored->items()) {
            if (presetID.is_string())
                m_activePresetIDByDevice[deviceID] = presetID.get<std::string>();
        }
    }
    m_watcher = std::make_unique<HIDInputWatcher>(m_services.scheduler, m_services.input);
    reloadExternalMaps();
    refresh();

    std::weak_ptr<int> alive = m_alive;
    m_watcher->onDeviceKeycode = [this, alive](const std::string& deviceID, Keycode code) {
        m_services.scheduler.postMain([this, alive, deviceID, code] {
            if (alive.lock())
                handleLiveKeycode(deviceID, code);
        });
    };
    setAutoDetect(m_watcher->watch(m_devices));
    startPeriodicTimer();
}

PadStore::~PadStore()
{
    m_periodicTimer.cancel();
    for (auto& [id, token] : m_rgbWriteWorks)
        token.cancel();
    for (auto& [id, token] : m_rgbSaveWorks)
        token.cancel();
    m_alive.reset();
    if (m_watcher)
        m_watcher->stop();
}

int PadStore::addObserver(Observer observer)
{
    const int token = m_nextObserverToken++;
    m_observers.emplace(token, std::move(observer));
    return token;
}

void PadStore::removeObserver(int token)
{
    m_observers.erase(token);
}

void PadStore::notify()
{
    // Observers may add or remove observers; iterate over a snapshot of the tokens.
    std::vector<int> tokens;
    tokens.reserve(m_observers.size());
    for (const auto& [token, observer] : m_observers)
        tokens.push_back(token);
    for (int token : tokens) {
        if (auto it = m_observers.find(token); it != m_observers.end())
            it->second();
    }
}

void PadStore::startPeriodicTimer()
{
    std::weak_ptr<int> alive = m_alive;
    m_periodicTimer = m_services.scheduler.postMainAfter(PeriodicInterval, [this, alive] {
        if (!alive.lock())
            return;
        periodicCheck();
        startPeriodicTimer();
    });
}

void PadStore::setAutoDetect(bool enabled)
{
    if (m_autoDetectEnabled == enabled)
        return;
    m_autoDetectEnabled = enabled;
    notify();
}

const DeviceModel* PadStore::device(const std::string& deviceID) const
{
    const auto it = std::find_if(m_devices.begin(), m_devices.end(), [&](const auto& d) { return d.id == deviceID; });
    return it == m_devices.end() ? nullptr : &*it;
}

DeviceModel* PadStore::mutableDevice(const std::string& deviceID)
{
    return const_cast<DeviceModel*>(std::as_const(*this).device(deviceID));
}

const DeviceModel* PadStore::selectedDevice() const
{
    return m_selectedDeviceID ? device(*m_selectedDeviceID) : nullptr;
}

PreferredSize PadStore::preferredSize() const
{
    return preferredSizeFor(selectedDevice(), m_devices.size() > 1);
}

// ---- Refresh ----

void PadStore::reloadExternalMaps()
{
    m_t3Map = loadT3Map(paths::t3KeybindingsFile());
    m_focusMap = loadFocusMap(paths::focusConfigFile());
    m_availablePresets = loadPresets();
    m_lastFocusMtime = focusFileModificationTime(paths::focusConfigFile());
    notify();
}

void PadStore::refresh()
{
    reloadExternalMaps();
    std::map<std::string, DeviceModel> previous;
    for (const auto& model : m_devices)
        previous.emplace(model.id, model);

    std::weak_ptr<int> alive = m_alive;
    HidBackend& hid = m_services.hid;
    Scheduler& scheduler = m_services.scheduler;
    scheduler.postIO([this,
                      alive,
                      &hid,
                      &scheduler,
                      previous = std::move(previous),
                      presets = m_availablePresets,
                      chosen = m_activePresetIDByDevice] {
        // Runs on the I/O queue: reads only the snapshot and the HID backend, never the store (which may
        // be gone by the time this runs; the services outlive it).
        RefreshResult result;
        for (const auto& endpoint : enumerateEndpoints(hid)) {
            const std::string id = deviceIdentifier(endpoint.vid, endpoint.pid);
            result.endpointIDs.insert(id);
            const auto known = previous.find(id);
            auto loaded = loadDevice(hid, endpoint);
            if (!loaded) {
                if (known != previous.end()) {
                    DeviceModel carried = known->second;
                    carried.connected = true;
                    result.devices.push_back(std::move(carried));
                }
                continue;
            }
            DeviceModel model = std::move(*loaded);
            if (known != previous.end()) {
                const DeviceModel& before = known->second;
                model.presetOverlay = before.presetOverlay;
                model.activeLayer = std::min(before.activeLayer, std::max(0, model.layerCount - 1));
                if (before.dirty) {
                    model.keymap = before.keymap;
                    model.encoderMap = before.encoderMap;
                    model.tapDances = before.tapDances;
                    model.protectedLayerCells = before.protectedLayerCells;
                    model.dirty = true;
                }
            } else {
                model.presetOverlay = overlayForActivePreset(model, chosen, presets);
            }
            result.devices.push_back(std::move(model));
        }
        result.refreshText = localShortTime();
        scheduler.postMain([this, alive, result = std::move(result)]() mutable {
            if (alive.lock())
                publishRefresh(std::move(result));
        });
    });
}

void PadStore::publishRefresh(RefreshResult result)
{
    m_devices = std::move(result.devices);
    const bool selectionKept = m_selectedDeviceID && device(*m_selectedDeviceID);
    if (!selectionKept) {
        if (m_devices.empty())
            m_selectedDeviceID.reset();
        else
            m_selectedDeviceID = m_devices.front().id;
    }
    m_lastEndpointIDs = std::move(result.endpointIDs);
    m_lastRefreshText = std::move(result.refreshText);
    m_autoDetectEnabled = m_watcher->watch(m_devices);
    notify();
    if (onStatusChange)
        onStatusChange();
    if (onPreferredSizeChange)
        onPreferredSizeChange(preferredSize());

    std::vector<std::string> entries;
    for (const auto& model : m_devices)
        entries.push_back(model.displayName() + " [" + model.proto.label() + "]");
    logLine("Refreshed " + std::to_string(m_devices.size()) + " device(s): " + quotedList(entries));
}

void PadStore::periodicCheck()
{
    std::set<std::string> endpointIDs;
    for (const auto& endpoint : enumerateEndpoints(m_services.hid))
        endpointIDs.insert(deviceIdentifier(endpoint.vid, endpoint.pid));

    const auto mtime = focusFileModificationTime(paths::focusConfigFile());
    if (mtime != m_lastFocusMtime)
        reloadExternalMaps();
    m_lastFocusMtime = mtime;

    if (endpointIDs != m_lastEndpointIDs)
        refresh();

    if (!m_autoDetectEnabled && m_watcher->accessGranted(m_devices))
        setAutoDetect(m_watcher->watch(m_devices));
}

// ---- Selection, layers, toasts ----

void PadStore::selectDevice(const std::string& deviceID)
{
    if (!device(deviceID) || m_selectedDeviceID == deviceID)
        return;
    m_selectedDeviceID = deviceID;
    m_editingTarget.reset();
    notify();
    if (onPreferredSizeChange)
        onPreferredSizeChange(preferredSize());
}

void PadStore::setActiveLayer(int layer, const std::string& deviceID)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    model->activeLayer = layer;
    notify();
    if (onStatusChange)
        onStatusChange();
}

void PadStore::setPinnedFloating(bool pinned)
{
    if (m_isPinnedFloating == pinned)
        return;
    m_isPinnedFloating = pinned;
    notify();
}

void PadStore::setEditMode(bool on)
{
    if (m_editMode == on)
        return;
    m_editMode = on;
    if (!on)
        m_editingTarget.reset();
    notify();
}

void PadStore::setShowingPresets(bool showing)
{
    if (m_showingPresets == showing)
        return;
    m_showingPresets = showing;
    notify();
}

void PadStore::showToast(std::string message, bool isError)
{
    m_toastMessage = message;
    m_toastIsError = isError;
    notify();
    scheduleToastExpiry(message);
}

void PadStore::scheduleToastExpiry(const std::string& message)
{
    std::weak_ptr<int> alive = m_alive;
    m_services.scheduler.postMainAfter(ToastLifetime, [this, alive, message] {
        if (!alive.lock() || m_toastMessage != message)
            return;
        m_toastMessage.reset();
        notify();
    });
}

// ---- Editing ----

void PadStore::chooseKey(const std::string& deviceID, int layer, int row, int col)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    if (model->protectedCells.contains(cellKey(row, col))) {
        showToast("Hardware-reserved slot (r" + std::to_string(row) + ",c" + std::to_string(col) +
                      ") cannot be remapped.",
                  true);
        return;
    }
    const EditingTarget target(EditingTarget::Key{deviceID, layer, row, col});
    if (!model->protectedLayerCells.contains(layerCellKey(layer, row, col))) {
        m_editingTarget = target;
        notify();
        return;
    }

    const Keycode code = model->keycodeAt(layer, row, col);
    const std::string name = keyAction(*model, layer, row, col).title;
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.message = "Unlock Firmware-Custom Key?";
    alert.informativeText = "Layer " + std::to_string(layer) + " (r" + std::to_string(row) + ",c" +
                            std::to_string(col) + ") currently holds " + name + " (0x" + hex4(code) +
                            "), a QMK QK_KB/QK_USER firmware keycode commonly used for Bluetooth pairing or "
                            "hardware modes.\n\nUnlock this slot for editing?";
    alert.buttons = {"Keep Locked", "Unlock & Edit"};
    m_services.desktop.bringToFront();
    const int answer = m_services.desktop.runAlert(alert);
    if (answer != 1)
        return;
    // The alert ran modally; look the device up again in case the list changed meanwhile.
    if (DeviceModel* current = mutableDevice(deviceID)) {
        current->unlock(layer, row, col);
        m_editingTarget = target;
        notify();
    }
}

void PadStore::chooseEncoder(const std::string& deviceID, int layer, int index, bool clockwise)
{
    if (!device(deviceID))
        return;
    m_editingTarget = EditingTarget(EditingTarget::Encoder{deviceID, layer, index, clockwise});
    notify();
}

void PadStore::chooseTapDance(const std::string& deviceID, int index, int slot)
{
    if (!device(deviceID))
        return;
    m_editingTarget = EditingTarget(EditingTarget::TapDance{deviceID, index, slot});
    notify();
}

void PadStore::clearEditingTarget()
{
    if (!m_editingTarget)
        return;
    m_editingTarget.reset();
    notify();
}

Keycode PadStore::currentKeycode(const EditingTarget& target) const
{
    const DeviceModel* model = device(target.deviceID());
    if (!model)
        return 0;
    if (const auto* key = target.key())
        return model->keycodeAt(key->layer, key->row, key->col);
    if (const auto* encoder = target.encoder())
        return model->encoderKeycodeAt(encoder->layer, encoder->index, encoder->cw);
    const auto* tapDance = target.tapDance();
    if (!inRange(tapDance->index, model->tapDances.size()))
        return 0;
    const Keycode* slot = model->tapDances[static_cast<size_t>(tapDance->index)].slot(tapDance->slot);
    return slot ? *slot : 0;
}

namespace {
PresetLabelOverlay& ensureOverlay(DeviceModel& model)
{
    if (!model.presetOverlay) {
        PresetLabelOverlay overlay;
        overlay.presetName = "Custom";
        overlay.appName = "Custom";
        overlay.os = "macos";
        overlay.builtIn = false;
        model.presetOverlay = std::move(overlay);
    }
    return *model.presetOverlay;
}
} // namespace

void PadStore::assign(const EditingTarget& target, Keycode code, std::optional<std::string> label)
{
    DeviceModel* model = mutableDevice(target.deviceID());
    if (!model)
        return;

    std::map<std::string, PresetSlotLabel> PresetLabelOverlay::*labels = nullptr;
    std::string labelKey;
    if (const auto* key = target.key()) {
        if (!inRange(key->layer, model->keymap.size()) ||
            !inRange(key->row, model->keymap[static_cast<size_t>(key->layer)].size()) ||
            !inRange(key->col, model->keymap[static_cast<size_t>(key->layer)][static_cast<size_t>(key->row)].size()))
            return;
        model->keymap[static_cast<size_t>(key->layer)][static_cast<size_t>(key->row)][static_cast<size_t>(key->col)] =
            code;
        labels = &PresetLabelOverlay::keyLabels;
        labelKey = keyLabelKey(key->layer, key->row, key->col);
    } else if (const auto* encoder = target.encoder()) {
        if (!inRange(encoder->layer, model->encoderMap.size()) ||
            !inRange(encoder->index, model->encoderMap[static_cast<size_t>(encoder->layer)].size()))
            return;
        auto& pair = model->encoderMap[static_cast<size_t>(encoder->layer)][static_cast<size_t>(encoder->index)];
        if (pair.size() < 2)
            return;
        pair[encoder->cw ? 1 : 0] = code;
        labels = &PresetLabelOverlay::encoderLabels;
        labelKey = encoderLabelKey(encoder->layer, encoder->index, encoder->cw);
    } else {
        const auto* tapDance = target.tapDance();
        if (!inRange(tapDance->index, model->tapDances.size()))
            return;
        Keycode* slot = model->tapDances[static_cast<size_t>(tapDance->index)].slot(tapDance->slot);
        if (!slot)
            return;
        *slot = code;
        labels = &PresetLabelOverlay::tapDanceLabels;
        labelKey = tapDanceLabelKey(tapDance->index, tapDance->slot);
    }

    if (label) {
        const std::string text = trimmed(*label);
        auto& map = ensureOverlay(*model).*labels;
        if (text.empty())
            map.erase(labelKey);
        else
            map[labelKey] = PresetSlotLabel{code, text};
    }
    model->dirty = true;
    notify();
}

std::optional<std::string> PadStore::assignExpression(const EditingTarget& target,
                                                      std::string_view expression,
                                                      std::optional<std::string> label)
{
    const DeviceModel* model = device(target.deviceID());
    if (!model)
        return std::nullopt;
    const bool legacy = model->legacyKeycodes();
    if (auto refusal = validateExpression(expression, legacy))
        return refusal;
    const auto code = parseKeycodeExpression(expression, legacy);
    if (!code)
        return "Unrecognized QMK expression \"" + trimmed(expression) + "\"";
    assign(target, *code, std::move(label));
    return std::nullopt;
}

void PadStore::apply(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    m_isApplyingDeviceID = deviceID;
    notify();

    std::weak_ptr<int> alive = m_alive;
    HidBackend& hid = m_services.hid;
    Scheduler& scheduler = m_services.scheduler;
    scheduler.postIO([this, alive, &hid, &scheduler, snapshot = *model] {
        auto written = writeDeviceToHardware(hid, snapshot);
        scheduler.postMain([this, alive, id = snapshot.id, written = std::move(written)] {
            if (!alive.lock())
                return;
            m_isApplyingDeviceID.reset();
            if (!written) {
                showToast(written.error().message, true);
                return;
            }
            std::string name = id;
            if (DeviceModel* current = mutableDevice(id)) {
                current->dirty = false;
                name = current->displayName();
            }
            showToast("Applied " + std::to_string(*written) + " mappings to " + name, false);
            refresh();
        });
    });
}

void PadStore::revert(const std::string& deviceID)
{
    if (DeviceModel* model = mutableDevice(deviceID)) {
        model->dirty = false;
        notify();
    }
    refresh();
    showToast("Reverted unsaved edits from hardware", false);
}

// ---- Lighting ----

void PadStore::setLighting(const std::string& deviceID,
                           std::optional<std::uint8_t> brightness,
                           std::optional<std::uint8_t> effect,
                           std::optional<std::uint8_t> hue,
                           std::optional<std::uint8_t> sat)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    RGBState state = model->rgb;
    if (brightness)
        state.brightness = *brightness;
    if (effect) {
        state.effect = *effect;
        if (*effect != 0)
            state.lastOnEffect = *effect;
    }
    if (hue)
        state.hue = *hue;
    if (sat)
        state.sat = *sat;
    model->rgb = state;
    notify();

    const int vid = model->vid;
    const int pid = model->pid;
    HidBackend& hid = m_services.hid;
    if (auto pending = m_rgbWriteWorks.find(deviceID); pending != m_rgbWriteWorks.end())
        pending->second.cancel();
    m_rgbWriteWorks[deviceID] = m_services.scheduler.postIOAfter(
        LightingWriteDelay, [&hid, vid, pid, state] { writeLighting(hid, vid, pid, state, false); });
    if (auto pending = m_rgbSaveWorks.find(deviceID); pending != m_rgbSaveWorks.end())
        pending->second.cancel();
    m_rgbSaveWorks[deviceID] = m_services.scheduler.postIOAfter(
        LightingSaveDelay, [&hid, vid, pid, state] { writeLighting(hid, vid, pid, state, true); });
}

void PadStore::toggleLighting(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    if (model->rgb.isOn()) {
        setLighting(deviceID, std::nullopt, std::uint8_t{0}, std::nullopt, std::nullopt);
        return;
    }
    const std::uint8_t brightness = model->rgb.brightness == 0 ? std::uint8_t{180} : model->rgb.brightness;
    const std::uint8_t effect = model->rgb.lastOnEffect >= 2 ? model->rgb.lastOnEffect : std::uint8_t{1};
    setLighting(deviceID, brightness, effect, std::nullopt, std::nullopt);
}

// ---- Live input ----

void PadStore::handleLiveKeycode(const std::string& deviceID, Keycode code)
{
    if (!device(deviceID))
        return;
    if (m_selectedDeviceID != deviceID) {
        m_selectedDeviceID = deviceID;
        m_editingTarget.reset();
        notify();
        if (onPreferredSizeChange)
            onPreferredSizeChange(preferredSize());
    }
    if (const auto focus = m_focusMap.find(code); focus != m_focusMap.end()) {
        logLine("Focus trigger from " + deviceID + ": qmk=0x" + hex4(code) + " -> " + focus->second.path);
        if (onFocusApp)
            onFocusApp(focus->second.path);
    }

    DeviceModel* model = mutableDevice(deviceID); // the focus callback may have changed the list
    if (!model)
        return;
    const auto match = findLiveMatch(*model, code);
    if (!match) {
        logLine("Live input unmatched on " + deviceID + ": qmk=0x" + hex4(code));
        return;
    }
    model->activeLayer = match->layer;
    model->flashTarget = match->flashId;
    notify();

    std::weak_ptr<int> alive = m_alive;
    m_services.scheduler.postMainAfter(FlashLifetime, [this, alive, deviceID, flash = match->flashId] {
        if (!alive.lock())
            return;
        DeviceModel* current = mutableDevice(deviceID);
        if (current && current->flashTarget == flash) {
            current->flashTarget.reset();
            notify();
        }
    });
    if (onStatusChange)
        onStatusChange();
}

void PadStore::bindNewFocusApp(const std::string& appPath)
{
    std::optional<Keycode> current;
    if (m_editingTarget)
        current = currentKeycode(*m_editingTarget);
    const Keycode code = chooseFocusTrigger(current, m_focusMap);
    auto bound = bindFocusApp(paths::focusConfigFile(), code, appPath);
    if (!bound) {
        showToast(bound.error().message, true);
        return;
    }
    reloadExternalMaps();
    showToast("Bound " + *bound + " to Focus config", false);
    if (m_editingTarget) {
        const EditingTarget target = *m_editingTarget;
        assign(target, code);
        clearEditingTarget();
    }
}

void PadStore::chooseFocusApp()
{
    OpenPanelRequest request;
    request.title = "Bind New App";
    request.message = "Choose the application an App Focus key brings to the front: a .desktop entry or a program";
    request.directory = std::filesystem::path("/usr/share/applications");
    m_services.desktop.bringToFront();
    if (const auto app = m_services.desktop.chooseOpenFile(request))
        bindNewFocusApp(app->string());
}

// ---- Presets ----

void PadStore::persistActivePresets()
{
    nlohmann::json value = nlohmann::json::object();
    for (const auto& [deviceID, presetID] : m_activePresetIDByDevice)
        value[deviceID] = presetID;
    m_services.settings.setValue(ActivePresetSettingsKey, value);
}

const DevicePreset* PadStore::activePreset(const std::string& deviceID) const
{
    const auto chosen = m_activePresetIDByDevice.find(deviceID);
    if (chosen == m_activePresetIDByDevice.end())
        return nullptr;
    const auto it = std::find_if(m_availablePresets.begin(), m_availablePresets.end(), [&](const DevicePreset& p) {
        return p.id == chosen->second;
    });
    return it == m_availablePresets.end() ? nullptr : &*it;
}

void PadStore::applyPreset(const DevicePreset& preset, const std::string& deviceID, bool openEditMode)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    if (auto applied = applyPresetToDevice(preset, *model); !applied) {
        showToast(applied.error().message, true);
        return;
    }
    m_activePresetIDByDevice[deviceID] = preset.id;
    persistActivePresets();
    if (openEditMode)
        m_editMode = true;
    m_showingPresets = false;
    showToast(presetLoadedToast(preset, openEditMode), false);
}

void PadStore::saveCurrentAsPreset(const std::string& deviceID,
                                   const std::string& name,
                                   const std::string& appName,
                                   const std::string& os,
                                   const std::string& category)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const DevicePreset preset = presetFromDevice(*model, name, appName, os, category);
    if (auto saved = savePreset(preset); !saved) {
        showToast("Failed to save preset: " + saved.error().message, true);
        return;
    }
    m_activePresetIDByDevice[deviceID] = preset.id;
    persistActivePresets();
    m_availablePresets = loadPresets();
    showToast("Saved custom preset \"" + preset.name + "\"", false);
}

void PadStore::saveEditsToActivePreset(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    const DevicePreset* active = activePreset(deviceID);
    if (!model)
        return;
    if (!active || active->builtIn || active->community.value_or(false)) {
        showToast("No custom preset is active on " + model->displayName() +
                      " — use Save Current in the presets library",
                  true);
        return;
    }
    const DevicePreset updated = updatePresetFromDevice(*active, *model);
    if (auto saved = savePreset(updated); !saved) {
        showToast("Failed to save preset: " + saved.error().message, true);
        return;
    }
    m_availablePresets = loadPresets();
    showToast("Saved custom preset \"" + updated.name + "\"", false);
}

void PadStore::clonePreset(const DevicePreset& source,
                           const std::string& deviceID,
                           const std::string& name,
                           const std::string& appName,
                           const std::string& os)
{
    auto clone = keyglass::clonePreset(source, name, appName, os);
    if (!clone) {
        showToast("Failed to clone preset: " + clone.error().message, true);
        return;
    }
    m_availablePresets = loadPresets();
    showToast("Cloned \"" + clone->name + "\" — edit keys, then save or Apply", false);
    applyPreset(*clone, deviceID, true);
}

void PadStore::deletePreset(const DevicePreset& preset)
{
    if (!deleteCustomPreset(preset)) {
        showToast("Could not delete preset", true);
        return;
    }
    std::erase_if(m_activePresetIDByDevice, [&](const auto& entry) { return entry.second == preset.id; });
    persistActivePresets();
    m_availablePresets = loadPresets();
    showToast("Deleted custom preset \"" + preset.name + "\"", false);
}

void PadStore::openCustomPresetsFolder()
{
    std::error_code ec;
    std::filesystem::create_directories(paths::customPresetsDir(), ec);
    m_services.desktop.openFolder(paths::customPresetsDir());
}

// ---- Backups ----

void PadStore::saveBackup(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    SavePanelRequest request;
    request.title = "Back Up " + model->displayName() + " Layout";
    request.proposedFileName = proposedBackupFileName(*model);
    request.allowedExtensions = {"json"};
    m_services.desktop.bringToFront();
    const auto file = m_services.desktop.chooseSaveFile(request);
    if (!file)
        return;
    model = device(deviceID); // the panel was modal
    if (!model)
        return;
    if (auto written = writeBackupFile(*model, *file); !written) {
        showToast("Backup failed: " + written.error().message, true);
        return;
    }
    showToast("Saved backup to " + file->filename().string(), false);
}

void PadStore::restore(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    OpenPanelRequest request;
    request.title = "Restore Layout to " + model->displayName();
    // The original list plus the two formats people actually have: VIA's "Save + Load" export and a
    // QMK keymap.json.
    request.message = "Select a Keyglass backup (.json), auto-backup, VIA snapshot or \"Save + Load\" export "
                      "(.json), QMK keymap.json, or Vial layout (.vil)";
    std::error_code ec;
    if (std::filesystem::is_directory(paths::autoBackupDir(), ec))
        request.directory = paths::autoBackupDir();
    m_services.desktop.bringToFront();
    if (const auto file = m_services.desktop.chooseOpenFile(request))
        loadLayoutFile(*file, deviceID);
}

void PadStore::restoreLatestAutoBackup(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    stageImport(deviceID, [](DeviceModel& staged) { return restoreLatestAutomaticBackup(staged); });
}

void PadStore::loadLayoutFile(const std::filesystem::path& file, const std::string& deviceID)
{
    stageImport(deviceID, [&file](DeviceModel& staged) { return keyglass::loadLayoutFile(file, staged); });
}

void PadStore::stageImport(const std::string& deviceID,
                           const std::function<Expected<ImportResult>(DeviceModel&)>& load)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    DeviceModel staged = *model;
    auto imported = load(staged);
    if (!imported) {
        showToast(imported.error().message, true);
        return;
    }
    const RGBState lightingBefore = model->rgb;
    const RGBState lightingAfter = staged.rgb;
    staged.rgb = lightingBefore;
    *model = std::move(staged);
    notify();
    showToast(imported->toast, false);
    // Lighting is not part of Apply: a restored lighting state goes out through the lighting path.
    if (lightingAfter != lightingBefore && lightingBefore.kind != RGBProtocolKind::none)
        setLighting(deviceID, lightingAfter.brightness, lightingAfter.effect, lightingAfter.hue, lightingAfter.sat);
}

// ---- Labels ----

KeyAction PadStore::keyAction(const DeviceModel& model, int layer, int row, int col) const
{
    return labelledKeyAction(model, layer, row, col, m_t3Map, m_focusMap);
}

KeyAction PadStore::encoderAction(const DeviceModel& model, int layer, int index, bool clockwise) const
{
    return labelledEncoderAction(model, layer, index, clockwise, m_t3Map, m_focusMap);
}

KeyAction PadStore::tapDanceAction(const DeviceModel& model, int index, int slot) const
{
    return labelledTapDanceAction(model, index, slot, model.activeLayer, m_t3Map, m_focusMap);
}

} // namespace keyglass
