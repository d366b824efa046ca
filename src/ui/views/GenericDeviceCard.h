#pragma once

#include "model/DeviceModel.h"
#include "skins/SkinLookup.h"

#include <QWidget>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QActionGroup;
class QLabel;
class QMenu;
class QToolButton;
class QPushButton;
class QVBoxLayout;

namespace keyglass {

class AluminumChassis;
class DeckView;
class HardwareStudioSkinView;
class PadStore;
class RGBControlSection;
class StatusDot;
class TapDanceRow;

/// What Alt+click does on a demo pad: the shell wires these to the virtual pads, so a newcomer sees
/// live highlighting without hardware. Unset outside demo mode.
struct DemoActions
{
    std::function<bool(const std::string& deviceID, int row, int col)> press;
    std::function<bool(const std::string& deviceID, int encoder, bool clockwise)> turn;
    explicit operator bool() const { return press || turn; }
};

/// The selected device: status, layer control, the deck in its chassis, tap-dance rows, lighting and
/// the action row. Reads everything from the store on each sync and sends every gesture to it.
class GenericDeviceCard : public QWidget
{
    Q_OBJECT
public:
    GenericDeviceCard(PadStore& store, QWidget* parent = nullptr);

    /// Redraws from the store's current state of `device`.
    void sync(const DeviceModel& device);
    void setDemoActions(DemoActions actions) { m_demo = std::move(actions); }
    void setMaximumDeckWidth(int width);
    /// The preset browser to open from the Presets button; none yet means a toast says so.

    DeckView* deck() const { return m_deck; }
    RGBControlSection* lighting() const { return m_lighting; }
    const std::vector<TapDanceRow*>& tapDanceRows() const { return m_tapRows; }
    QLabel* layerLabel() const { return m_layerLabel; }
    QToolButton* cycleButton() const { return m_cycle; }
    QToolButton* actionButton(const QString& objectName) const;
    StatusDot* statusDot() const { return m_status; }
    QLabel* tapDanceTitle() const { return m_tapTitle; }
    /// One button per tap-dance entry the pad reported; the checked one is shown in the rows.
    const std::vector<QToolButton*>& tapDanceEntryButtons() const { return m_tapEntryButtons; }

    // Hardware skin: shown instead of the deck while `useStudioSkin` is on and the pad has a skin.
    HardwareStudioSkinView* studioView() const { return m_studio; }
    QWidget* skinControls() const { return m_skinControls; }
    QToolButton* studioButton() const { return m_studioButton; }
    QToolButton* deckButton() const { return m_deckButton; }
    QToolButton* colorwayButton() const { return m_colorwayButton; }
    QMenu* colorwayMenu() const { return m_colorwayMenu; }
    /// "Layout": the definition's layout options, and "Load VIA Definition..." on VIA pads.
    QToolButton* layoutButton() const { return m_layoutButton; }
    QMenu* layoutMenu() const { return m_layoutMenu; }
    QToolButton* skinsFolderButton() const { return m_skinsFolder; }
    bool useStudioSkin() const { return m_useStudioSkin; }
    void setUseStudioSkin(bool on);
    const std::string& selectedColorwayID() const { return m_selectedColorwayID; }
    void setSelectedColorwayID(const std::string& id);

    /// The tap-dance entry the card shows: the one a key of the shown layer calls, else the first.
    static int shownTapDanceEntry(const DeviceModel& device);

private:
    void onKey(int row, int col, Qt::KeyboardModifiers mods);
    void onEncoder(int index, bool clockwise, Qt::KeyboardModifiers mods);
    void onKnobCenter(int index, Qt::KeyboardModifiers mods);
    void onKnobWheel(int index, bool clockwise, Qt::KeyboardModifiers mods);
    void onTapDance(int slot);
    void onTapDanceEntry(int entry);
    void syncTapDanceEntries(const DeviceModel& device, int shown);
    void onChangeBaseKey();
    void buildActionRow(QVBoxLayout* column);
    QWidget* buildSkinControls();
    void syncSkin(const DeviceModel& device, const QColor& accent);
    void rebuildColorwayMenu(const std::vector<SkinColorway>& colorways);
    void syncLayoutMenu(const DeviceModel& device);
    void resync();
    const DeviceModel* current() const;

    PadStore& m_store;
    std::string m_deviceID;
    DemoActions m_demo;
    int m_shownTapEntry = 0;
    /// The entry the user picked, per pad; without one the card shows the entry the layer calls.
    std::map<std::string, int> m_pickedTapEntry;

    QLabel* m_name = nullptr;
    QLabel* m_proto = nullptr;
    StatusDot* m_status = nullptr;
    QToolButton* m_prevLayer = nullptr;
    QToolButton* m_nextLayer = nullptr;
    QLabel* m_layerLabel = nullptr;
    QToolButton* m_cycle = nullptr;
    AluminumChassis* m_chassis = nullptr;
    DeckView* m_deck = nullptr;
    QWidget* m_tapSection = nullptr;
    QLabel* m_tapTitle = nullptr;
    std::vector<TapDanceRow*> m_tapRows;
    QWidget* m_tapEntryBar = nullptr;
    std::vector<QToolButton*> m_tapEntryButtons;
    QWidget* m_lightingBox = nullptr;
    RGBControlSection* m_lighting = nullptr;
    QWidget* m_actions = nullptr;
    QToolButton* m_layoutButton = nullptr;
    QMenu* m_layoutMenu = nullptr;
    // What the layout menu was built for.
    std::vector<LayoutOptionLabel> m_menuLabels;
    std::uint32_t m_menuOptions = 0;
    bool m_menuForVia = false;
    bool m_menuBuilt = false;

    // View state of this card, not stored anywhere.
    bool m_useStudioSkin = false;
    std::string m_selectedColorwayID;
    std::optional<HardwareSkin> m_skin;
    int m_maxDeckWidth = 600;
    HardwareStudioSkinView* m_studio = nullptr;
    QWidget* m_skinControls = nullptr;
    QToolButton* m_studioButton = nullptr;
    QToolButton* m_deckButton = nullptr;
    QToolButton* m_colorwayButton = nullptr;
    QMenu* m_colorwayMenu = nullptr;
    QActionGroup* m_colorwayGroup = nullptr;
    std::vector<SkinColorway> m_menuColorways; // what the menu's entries show, in order
    QToolButton* m_skinsFolder = nullptr;
};

} // namespace keyglass
