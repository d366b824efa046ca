#pragma once
// The one owner of Keyglass's state. Every view, the CLI and every feature go through it. All state
// lives on the main thread; every RawHID conversation runs on the scheduler's serial I/O queue with a
// copy of what it needs and hands plain values back to the main thread.

#include "backup/LayoutImport.h"
#include "community/CommunityClient.h"
#include "keycodes/Keycodes.h"
#include "model/DeviceModel.h"
#include "model/EditingTarget.h"
#include "platform/Scheduler.h"
#include "presets/DevicePreset.h"
#include "store/Observers.h"
#include "store/PreferredSize.h"
#include "store/RefreshCycle.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace keyglass {

class Desktop;
class HidBackend;
class HttpClient;
class HIDInputWatcher;
class InputEventSource;
class LightingWrites;
struct RefreshResult;
class SettingsStore;

/// What the store is given. Everything is owned by the caller and must outlive the store.
struct PadStoreServices
{
    Scheduler& scheduler;
    HidBackend& hid;
    InputEventSource& input;
    SettingsStore& settings;
    Desktop& desktop;
    /// Starts with the pads released: no first read until they are taken back.
    bool startReleased = false;
    /// The community service's HTTP client; without one sharing and the community list report that
    /// Loomshare is not connected.
    HttpClient* http = nullptr;
    CommunityClient::Timeouts communityTimeouts{};
};

class PadStore
{
public:
    static constexpr const char* ActivePresetSettingsKey = "Keyglass.activePresetByDevice";
    static constexpr std::string_view PadsReleasedText = "Pads released: other apps can use them";
    static constexpr std::string_view PadsReleasedToast =
        "Pads are released: choose \"Resume Pads\" in the tray menu first";

    /// Runs the start-up sequence: persisted preset choices, external maps, presets, the first refresh,
    /// the live input watcher and the 3.5-second periodic check.
    explicit PadStore(PadStoreServices services);
    ~PadStore();
    PadStore(const PadStore&) = delete;
    PadStore& operator=(const PadStore&) = delete;

    // ---- Observable state (main thread) ----
    const std::vector<DeviceModel>& devices() const { return m_devices; }
    const std::optional<std::string>& selectedDeviceID() const { return m_selectedDeviceID; }
    bool autoDetectEnabled() const { return m_autoDetectEnabled; }
    const std::string& lastRefreshText() const { return m_lastRefreshText; }
    bool isPinnedFloating() const { return m_isPinnedFloating; }
    bool editMode() const { return m_editMode; }
    bool showingPresets() const { return m_showingPresets; }
    const std::vector<DevicePreset>& availablePresets() const { return m_availablePresets; }
    const std::vector<DevicePreset>& communityPresets() const { return m_communityPresets; }
    bool isLoadingCommunityPresets() const { return m_isLoadingCommunityPresets; }
    /// Whether a community client is wired in; without one the community tab says it is not connected.
    bool communityConnected() const { return m_community != nullptr; }
    /// The community service's scheme and host (settings, environment or the default).
    const std::string& communityBaseURL() const { return m_communityBaseURL; }
    const std::optional<EditingTarget>& editingTarget() const { return m_editingTarget; }
    const std::optional<std::string>& isApplyingDeviceID() const { return m_isApplyingDeviceID; }
    const std::optional<std::string>& toastMessage() const { return m_toastMessage; }
    bool toastIsError() const { return m_toastIsError; }
    const T3Map& t3Map() const { return m_t3Map; }
    const FocusMap& focusMap() const { return m_focusMap; }
    const std::map<std::string, std::string>& activePresetIDByDevice() const { return m_activePresetIDByDevice; }

    /// Observers run on the main thread after every change of the state above (and of a device model).
    using Observer = Observers::Observer;
    int addObserver(Observer observer);
    void removeObserver(int token);

    /// Called when what the tray title shows may have changed.
    std::function<void()> onStatusChange;
    /// Called to bring an application to the front (App Focus triggers).
    std::function<void(const std::string& appPath)> onFocusApp;
    /// Called with the size that the host window should take.
    std::function<void(PreferredSize)> onPreferredSizeChange;

    // ---- Devices, selection, refresh ----
    /// Starts one refresh cycle and returns at once; the result is published on the main thread.
    void refresh();
    /// Runs the periodic check now (the store also runs it every 3.5 s by itself).
    void periodicCheck();
    /// Lets go of every pad so another configurator can use it: pending lighting saves are sent now,
    /// then nothing talks to the pads (no rescans, reads, writes) until they are taken back. Refused
    /// with a toast while an Apply is running.
    void setPadsReleased(bool released);
    bool padsReleased() const { return m_padsReleased; }
    /// Pads on the bus that the user may not open, as the last refresh found them.
    const std::vector<InaccessiblePad>& inaccessiblePads() const { return m_inaccessiblePads; }
    /// "Fix access…": shows the exact commands that install the udev rule and, when the user agrees,
    /// runs them as administrator, then rescans.
    void fixDeviceAccess();
    void selectDevice(const std::string& deviceID);
    const DeviceModel* selectedDevice() const;
    const DeviceModel* device(const std::string& deviceID) const;
    void setActiveLayer(int layer, const std::string& deviceID);
    PreferredSize preferredSize() const;
    void setPinnedFloating(bool pinned);
    void setEditMode(bool on);
    void setShowingPresets(bool showing);

    /// Shows a transient status line for 3.2 s; a newer toast is never cut short.
    void showToast(std::string message, bool isError);

    // ---- Editing ----
    /// The guarded way to open the picker on a key: hardware-reserved keys are refused with a toast,
    /// firmware-custom keys ask before unlocking.
    void chooseKey(const std::string& deviceID, int layer, int row, int col);
    void chooseEncoder(const std::string& deviceID, int layer, int index, bool clockwise);
    void chooseTapDance(const std::string& deviceID, int index, int slot);
    void clearEditingTarget();
    Keycode currentKeycode(const EditingTarget& target) const;
    /// Stages `code` into the target slot. A label, when given, is trimmed; an empty one removes the slot's
    /// custom caption. Out-of-range targets change nothing.
    void assign(const EditingTarget& target, Keycode code, std::optional<std::string> label = std::nullopt);
    /// Stages a typed expression after the safety rules: returns the refusal or parse message instead of
    /// staging when it is not safe.
    std::optional<std::string> assignExpression(const EditingTarget& target,
                                                std::string_view expression,
                                                std::optional<std::string> label = std::nullopt);
    /// Stages the tapping term of a tap-dance entry (see stageTappingTerm).
    void setTappingTerm(const std::string& deviceID, int index, Keycode milliseconds);
    /// Writes the staged model to the pad on the I/O queue; the result comes back as a toast.
    void apply(const std::string& deviceID);
    /// Drops staged edits and reads the pad again.
    void revert(const std::string& deviceID);

    // ---- Layout ----
    /// Writes a layout option to the pad (refused while edits are staged) and reads the pad again, so
    /// the keys of the new choice are drawn and read.
    void setLayoutOption(const std::string& deviceID, int group, int choice);
    /// Validates and stores a VIA definition, then rescans: a plain VIA pad with its vendor and product
    /// id is read with the definition's layout from then on.
    void addViaDefinition(const std::filesystem::path& file);
    /// "Load VIA Definition...": asks for the file, then adds it.
    void chooseViaDefinition();

    // ---- Lighting ----
    void setLighting(const std::string& deviceID,
                     std::optional<std::uint8_t> brightness,
                     std::optional<std::uint8_t> effect,
                     std::optional<std::uint8_t> hue,
                     std::optional<std::uint8_t> sat);
    void toggleLighting(const std::string& deviceID);
    /// The effect speed, on lighting that has one (lightingHasSpeed); ignored on any other.
    void setLightingSpeed(const std::string& deviceID, std::uint8_t speed);
    /// A colour from the lighting section: it also switches the lights on (see lightingColorPick).
    void chooseLightingColor(const std::string& deviceID, std::uint8_t hue, std::uint8_t sat);

    // ---- Live input ----
    void handleLiveKeycode(const std::string& deviceID, Keycode code);
    HIDInputWatcher& watcher() { return *m_watcher; }
    /// Re-reads the T3 map, the focus map, the preset list and the focus file's modification time.
    void reloadExternalMaps();
    /// "Bind New App...": binds `appPath` to a trigger (the slot's own trigger when it has one, else the
    /// first free one) and stages the trigger on the current editing target, with `label` as its caption
    /// when one is given.
    void bindNewFocusApp(const std::string& appPath, std::optional<std::string> label = std::nullopt);
    /// "Bind New App...": asks for an application (a .desktop entry or a program), starting in
    /// /usr/share/applications, then binds it as bindNewFocusApp does.
    void chooseFocusApp(std::optional<std::string> label = std::nullopt);

    // ---- Presets and backups ----
    void applyPreset(const DevicePreset& preset, const std::string& deviceID, bool openEditMode);
    /// The preset last applied to the device, when it is still in the list.
    const DevicePreset* activePreset(const std::string& deviceID) const;
    void saveCurrentAsPreset(const std::string& deviceID,
                             const std::string& name,
                             const std::string& appName,
                             const std::string& os,
                             const std::string& category);
    void saveEditsToActivePreset(const std::string& deviceID);
    void clonePreset(const DevicePreset& source,
                     const std::string& deviceID,
                     const std::string& name,
                     const std::string& appName,
                     const std::string& os);
    void deletePreset(const DevicePreset& preset);
    /// Saves the device's current layout into the custom preset `existing` instead of a new one.
    void overwriteWithCurrentLayout(const std::string& deviceID,
                                    const DevicePreset& existing,
                                    const std::string& name,
                                    const std::string& appName,
                                    const std::string& os,
                                    const std::string& category);
    /// Renames the custom preset `existing` in place, then applies it with Edit Mode opened (the clone
    /// form's "Update" path).
    void overwriteAndEditPreset(const DevicePreset& existing,
                                const std::string& deviceID,
                                const std::string& name,
                                const std::string& appName,
                                const std::string& os);
    /// Publishes a preset to Loomshare after the local safety check (against the device's legacy flag
    /// when `deviceID` names a pad); on success the link goes to the clipboard and the list reloads.
    void sharePreset(const DevicePreset& preset, const std::string& deviceID);
    /// Reloads `communityPresets`; a failure keeps the old list and shows why.
    void loadCommunityPresets();
    void openCustomPresetsFolder();
    void saveBackup(const std::string& deviceID);
    void restore(const std::string& deviceID);
    void restoreLatestAutoBackup(const std::string& deviceID);
    void loadLayoutFile(const std::filesystem::path& file, const std::string& deviceID);

    // ---- What the views show ----
    /// The label of a slot on a layer: keycode labels with the layer's modifier style, the T3 and focus
    /// maps, and the preset caption of the slot when it still holds the preset's keycode.
    KeyAction keyAction(const DeviceModel& device, int layer, int row, int col) const;
    KeyAction encoderAction(const DeviceModel& device, int layer, int index, bool clockwise) const;
    KeyAction tapDanceAction(const DeviceModel& device, int index, int slot) const;
    /// The desktop seam, for view actions that involve no device (showing the skins folder).
    Desktop& desktop() const { return m_services.desktop; }

private:
    void logUnmatchedInput(const std::string& deviceID, Keycode code);
    /// True, with a toast, when the pads are released and must not be talked to.
    bool refuseWhileReleased();
    void notify();
    DeviceModel* mutableDevice(const std::string& deviceID);
    void publishRefresh(RefreshResult result);
    /// Writes the active preset choices to the settings; a failure is an error toast, so callers call
    /// this after showing their own toast.
    void persistActivePresets();
    void scheduleToastExpiry(const std::string& message);
    void startPeriodicTimer();
    void setAutoDetect(bool enabled);
    void stageImport(const std::string& deviceID, const std::function<Expected<ImportResult>(DeviceModel&)>& load);

    PadStoreServices m_services;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0); // delayed tasks hold it weakly

    std::vector<DeviceModel> m_devices;
    std::optional<std::string> m_selectedDeviceID;
    bool m_autoDetectEnabled = false;
    std::string m_lastRefreshText;
    bool m_isPinnedFloating = false;
    bool m_editMode = false;
    bool m_showingPresets = false;
    std::vector<DevicePreset> m_availablePresets;
    std::vector<DevicePreset> m_communityPresets;
    bool m_isLoadingCommunityPresets = false;
    int m_communityLoadsInFlight = 0;
    std::string m_communityBaseURL;
    std::unique_ptr<CommunityClient> m_community;
    std::optional<EditingTarget> m_editingTarget;
    std::optional<std::string> m_isApplyingDeviceID;
    bool m_padsReleased = false;
    std::vector<InaccessiblePad> m_inaccessiblePads;
    std::optional<std::string> m_toastMessage;
    bool m_toastIsError = false;
    T3Map m_t3Map;
    FocusMap m_focusMap;

    std::map<std::string, std::string> m_activePresetIDByDevice;
    std::map<std::string, std::uint64_t> m_unmatchedInputCounts;
    std::unique_ptr<HIDInputWatcher> m_watcher;
    std::unique_ptr<LightingWrites> m_lightingWrites;
    std::set<std::string> m_lastEndpointIDs;
    std::optional<std::filesystem::file_time_type> m_lastFocusMtime;
    CancelToken m_periodicTimer;

    Observers m_observers;
};

} // namespace keyglass
