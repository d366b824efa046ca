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
#include "keycodes/KeycodeText.h"
#include "platform/Desktop.h"
#include "platform/DeviceAccess.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "presets/PresetLibrary.h"
#include "presets/PresetStaging.h"
#include "store/BackupWorkflow.h"
#include "store/LightingWrites.h"
#include "store/PreferredSize.h"
#include "store/PresetWorkflow.h"
#include "store/RefreshCycle.h"
#include "store/Staging.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace keyglass {

namespace {
using namespace std::chrono_literals;

constexpr auto ToastLifetime = std::chrono::milliseconds(3200);
constexpr auto FlashLifetime = std::chrono::milliseconds(450);
constexpr auto PeriodicInterval = std::chrono::milliseconds(3500);
} // namespace

PadStore::PadStore(PadStoreServices services)
    : m_services(services), m_lightingWrites(std::make_unique<LightingWrites>(services.scheduler, services.hid))
{
    m_activePresetIDByDevice = loadActivePresetChoices(m_services.settings, ActivePresetSettingsKey);
    m_communityBaseURL = keyglass::communityBaseURL(m_services.settings);
    if (m_services.http)
        m_community =
            std::make_unique<CommunityClient>(*m_services.http, m_communityBaseURL, m_services.communityTimeouts);
    m_watcher = std::make_unique<HIDInputWatcher>(m_services.scheduler, m_services.input);
    m_padsReleased = m_services.startReleased;
    if (m_padsReleased)
        m_lastRefreshText = std::string(PadsReleasedText);
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
    m_lightingWrites->cancelAll();
    m_alive.reset();
    if (m_watcher)
        m_watcher->stop();
}

int PadStore::addObserver(Observer observer)
{
    return m_observers.add(std::move(observer));
}

void PadStore::removeObserver(int token)
{
    m_observers.remove(token);
}

void PadStore::notify()
{
    m_observers.notifyAll();
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
    if (m_padsReleased)
        return;
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
        RefreshResult result = loadAndMergeDevices(hid, previous, presets, chosen);
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
    m_inaccessiblePads = std::move(result.inaccessible);
    m_lastRefreshText = std::move(result.refreshText);
    m_autoDetectEnabled = m_watcher->watch(m_devices);
    notify();
    if (onStatusChange)
        onStatusChange();
    if (onPreferredSizeChange)
        onPreferredSizeChange(preferredSize());

    logLine(refreshLogLine(m_devices));
}

void PadStore::setPadsReleased(bool released)
{
    if (released == m_padsReleased)
        return;
    if (released && m_isApplyingDeviceID) {
        showToast("Wait for Apply to finish before releasing the pads", true);
        return;
    }
    m_padsReleased = released;
    if (released) {
        m_lightingWrites->flushAll();
        m_lastRefreshText = std::string(PadsReleasedText);
        notify();
        logLine("Pads released for other apps");
        if (onStatusChange)
            onStatusChange();
    } else {
        logLine("Pads taken back");
        refresh();
    }
}

void PadStore::fixDeviceAccess()
{
    const auto fix = deviceAccessFix();
    if (!fix) {
        showToast(fix.error().message, true);
        return;
    }
    m_services.desktop.bringToFront();
    if (m_services.desktop.runAlert(deviceAccessAlert(*fix)) != 1)
        return;
    if (const auto ran = m_services.desktop.runAsAdministrator(fix->argv); !ran) {
        showToast("Could not install the access rule: " + ran.error().message, true);
        return;
    }
    logLine("Installed the RawHID access rule " + std::string(InstalledAccessRule));
    showToast("Access rule installed: replug the pad if it still does not show", false);
    refresh();
}

bool PadStore::refuseWhileReleased()
{
    if (!m_padsReleased)
        return false;
    showToast(std::string(PadsReleasedToast), true);
    return true;
}

void PadStore::periodicCheck()
{
    const auto mtime = focusFileModificationTime(paths::focusConfigFile());
    if (mtime != m_lastFocusMtime)
        reloadExternalMaps();
    m_lastFocusMtime = mtime;
    if (m_padsReleased)
        return;

    std::set<std::string> endpointIDs;
    for (const auto& endpoint : enumerateEndpoints(m_services.hid))
        endpointIDs.insert(deviceIdentifier(endpoint.vid, endpoint.pid));
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

// On a full keyboard an unmatched key is most of what the user types, so the log gets the code only
// with KEYGLASS_DEBUG_INPUT=1, and otherwise a count at 1, 10, 100... unmatched keys per pad.
void PadStore::logUnmatchedInput(const std::string& deviceID, Keycode code)
{
    if (const char* debug = std::getenv("KEYGLASS_DEBUG_INPUT"); debug && std::string_view(debug) == "1") {
        logLine("Live input unmatched on " + deviceID + ": qmk=" + hex4(code));
        return;
    }
    const std::uint64_t count = ++m_unmatchedInputCounts[deviceID];
    std::uint64_t power = 1;
    while (power < count && power <= UINT64_MAX / 10)
        power *= 10;
    if (power == count)
        logLine("Live input unmatched on " + deviceID + ": " + std::to_string(count) +
                (count == 1 ? " key so far" : " keys so far"));
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
        showToast(hardwareReservedMessage(row, col), true);
        return;
    }
    const EditingTarget target(EditingTarget::Key{deviceID, layer, row, col});
    if (!model->protectedLayerCells.contains(layerCellKey(layer, row, col))) {
        m_editingTarget = target;
        notify();
        return;
    }

    const std::string name = keyAction(*model, layer, row, col).title;
    const AlertRequest alert = unlockFirmwareCustomAlert(layer, row, col, name, model->keycodeAt(layer, row, col));
    m_services.desktop.bringToFront();
    if (m_services.desktop.runAlert(alert) != 1)
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
    return model ? stagedKeycode(*model, target) : 0;
}

void PadStore::assign(const EditingTarget& target, Keycode code, std::optional<std::string> label)
{
    DeviceModel* model = mutableDevice(target.deviceID());
    if (model && stageKeycode(*model, target, code, label))
        notify();
}

std::optional<std::string>
PadStore::assignExpression(const EditingTarget& target, std::string_view expression, std::optional<std::string> label)
{
    const DeviceModel* model = device(target.deviceID());
    if (!model)
        return std::nullopt;
    const auto code = safeExpressionKeycode(expression, model->legacyKeycodes());
    if (!code)
        return code.error().message;
    assign(target, *code, std::move(label));
    return std::nullopt;
}

void PadStore::setTappingTerm(const std::string& deviceID, int index, Keycode milliseconds)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model || index < 0 || static_cast<size_t>(index) >= model->tapDances.size())
        return;
    const Keycode before = model->tapDances[static_cast<size_t>(index)].tappingTerm;
    if (stageTappingTerm(*model, index, milliseconds) &&
        model->tapDances[static_cast<size_t>(index)].tappingTerm != before)
        notify();
}

void PadStore::apply(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model || refuseWhileReleased())
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
    if (refuseWhileReleased())
        return;
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
    if (!model || refuseWhileReleased())
        return;
    model->rgb = lightingWith(model->rgb, brightness, effect, hue, sat);
    notify();
    m_lightingWrites->schedule(deviceID, model->vid, model->pid, model->rgb);
}

void PadStore::setLightingSpeed(const std::string& deviceID, std::uint8_t speed)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model || !lightingHasSpeed(model->rgb.kind) || refuseWhileReleased())
        return;
    model->rgb.speed = speed;
    notify();
    m_lightingWrites->schedule(deviceID, model->vid, model->pid, model->rgb);
}

void PadStore::toggleLighting(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const LightingToggle toggle = lightingToggle(model->rgb);
    setLighting(deviceID, toggle.brightness, toggle.effect, std::nullopt, std::nullopt);
}

void PadStore::chooseLightingColor(const std::string& deviceID, std::uint8_t hue, std::uint8_t sat)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    const LightingColorPick pick = lightingColorPick(model->rgb);
    setLighting(deviceID, pick.brightness, pick.effect, hue, sat);
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
        logLine("Focus trigger from " + deviceID + ": qmk=" + hex4(code) + " -> " + focus->second.path);
        if (onFocusApp)
            onFocusApp(focus->second.path);
    }

    DeviceModel* model = mutableDevice(deviceID); // the focus callback may have changed the list
    if (!model)
        return;
    const auto match = findLiveMatch(*model, code);
    if (!match) {
        logUnmatchedInput(deviceID, code);
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

void PadStore::bindNewFocusApp(const std::string& appPath, std::optional<std::string> label)
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
        assign(target, code, std::move(label));
        clearEditingTarget();
    }
}

void PadStore::chooseFocusApp(std::optional<std::string> label)
{
    OpenPanelRequest request;
    request.title = "Bind New App";
    request.message = "Choose the application an App Focus key brings to the front: a .desktop entry or a program";
    request.directory = std::filesystem::path("/usr/share/applications");
    m_services.desktop.bringToFront();
    if (const auto app = m_services.desktop.chooseOpenFile(request))
        bindNewFocusApp(app->string(), std::move(label));
}

// ---- Backups ----

void PadStore::saveBackup(const std::string& deviceID)
{
    const DeviceModel* model = device(deviceID);
    if (!model)
        return;
    m_services.desktop.bringToFront();
    const auto file = m_services.desktop.chooseSaveFile(backupSavePanel(*model));
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
    m_services.desktop.bringToFront();
    if (const auto file = m_services.desktop.chooseOpenFile(restorePanel(*model)))
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

void PadStore::stageImport(const std::string& deviceID, const std::function<Expected<ImportResult>(DeviceModel&)>& load)
{
    DeviceModel* model = mutableDevice(deviceID);
    if (!model)
        return;
    auto staged = stageImportedLayout(*model, load);
    if (!staged) {
        showToast(staged.error().message, true);
        return;
    }
    notify();
    showToast(staged->toast, false);
    if (staged->lighting)
        setLighting(deviceID,
                    staged->lighting->brightness,
                    staged->lighting->effect,
                    staged->lighting->hue,
                    staged->lighting->sat);
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
