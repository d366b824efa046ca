#pragma once
// The keycode picker over the HUD while the store has an editing target: ready-made keycodes in tabs,
// a drawn keyboard with a modifier row, layer and mod-tap builders, App Focus triggers, tap dances and
// a free QMK expression, plus an optional keycap title. Choosing anything stages the keycode on the
// slot and closes the sheet; nothing is written to the pad here.

#include "keycodes/PickerEntries.h"
#include "model/EditingTarget.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace keyglass {

class BasicKeyboardView;
class KeyCaptureButton;
class PadStore;
class PickerTile;
class TileFlowLayout;
struct DeviceModel;

class KeycodePickerOverlay : public QWidget
{
    Q_OBJECT
public:
    enum class Tab
    {
        t3Mac,
        t3Win,
        focus,
        media,
        custom,
        raw,
    };
    static constexpr std::array AllTabs{Tab::t3Mac, Tab::t3Win, Tab::focus, Tab::media, Tab::custom, Tab::raw};
    static QString tabTitle(Tab tab);

    /// How a search hit is picked: with the option's title as default label, or bare.
    struct SearchHit
    {
        Tab tab;
        PickerEntry entry;
        bool titleIsDefaultLabel = false;
    };

    KeycodePickerOverlay(PadStore& store, QWidget* parent);

    /// Runs when the sheet closes; by default it clears the store's editing target.
    std::function<void()> onClose;

    /// Shows the sheet for `target`. A new target starts a fresh view state; the same target again
    /// only redraws what the store holds.
    void open(const EditingTarget& target);
    /// Discards the view state and calls onClose.
    void close();
    /// Discards the view state and hides, without onClose (the target was cleared elsewhere).
    void dismiss();
    const std::optional<EditingTarget>& target() const { return m_target; }

    // ---- View state ----
    Tab selectedTab() const { return m_selectedTab; }
    void setSelectedTab(Tab tab);
    QString searchText() const;
    void setSearchText(const QString& text);
    ModifierChoice modifiers() const;
    void setModifiers(ModifierChoice mods);
    std::optional<QString> rawError() const;
    QString customLabel() const;

    // ---- Picking ----
    /// Stages `code` with the custom label (trimmed) or else `defaultLabel`, then closes. A code the
    /// safety rules block is refused with its reason and the sheet stays open.
    void pick(Keycode code, std::optional<std::string> defaultLabel);
    /// A basic key of the drawn keyboard with the "Modifiers:" row applied.
    void pickBasicKey(std::uint8_t usage);
    void pickTapDance(int index);
    /// Parses the expression field; on failure shows "Unrecognized QMK expression or hex code" (or the
    /// safety reason) and stays open.
    void applyExpression();
    /// Enter in the search field: picks the first hit that is not blocked.
    void pickFirstSearchHit();
    /// The hits of the search text across all tabs, the current tab's first.
    std::vector<SearchHit> searchHits() const;

    // ---- Parts, for tests ----
    QLabel* headerTitle() const { return m_title; }
    QLabel* targetLabel() const { return m_targetText; }
    QLineEdit* searchField() const { return m_search; }
    QLineEdit* expressionField() const { return m_rawField; }
    QLabel* expressionPreview() const { return m_rawPreview; }
    QLabel* errorLabel() const { return m_rawErrorLabel; }
    QLineEdit* labelField() const { return m_label; }
    QAbstractButton* tabButton(Tab tab) const;
    QAbstractButton* modifierToggle(int bit) const; // 0x01 Control, 0x02 Shift, 0x04 Option, 0x08 Command
    BasicKeyboardView* keyboard() const { return m_keyboard; }
    KeyCaptureButton* pressAKey() const { return m_capture; }
    QComboBox* layerChooser() const { return m_layerChooser; }
    QComboBox* layerTapKeyChooser() const { return m_ltTapKey; }
    PickerTile* layerTile(LayerAction action) const;
    QToolButton* bindAppButton() const { return m_bindApp; }
    QLabel* focusPrompt() const { return m_focusPrompt; }
    QSpinBox* tappingTermField() const { return m_tappingTerm; }
    QWidget* tapDanceEntryBox() const { return m_tdEntry; }
    QLabel* pickError() const { return m_pickError; }
    /// The tile of the current page (or of the search results) with that entry id.
    PickerTile* tile(const QString& id) const;
    QScrollArea* page(Tab tab) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const DeviceModel* device() const;
    bool legacy() const;
    bool windowsStyle() const;
    QString describeTarget(const EditingTarget& target) const;

    QScrollArea* makePage(QWidget* content);
    QWidget* section(QWidget* parent, QVBoxLayout* column, const QString& title);
    void fillTiles(TileFlowLayout* layout,
                   QWidget* parent,
                   const std::vector<PickerEntry>& entries,
                   const std::function<void(const PickerEntry&)>& onPick);
    QWidget* buildOptionsPage(Tab tab);
    QWidget* buildFocusPage();
    QWidget* buildCustomPage();
    QWidget* buildRawPage();

    void rebuildForTarget();
    void refreshFromStore();
    void refreshLayerTiles();
    void refreshModTap();
    void refreshSearch();
    void refreshRawPreview();
    void showPickError(const QString& message);
    void layOutCard();
    std::vector<PickerEntry> focusEntries() const;
    std::vector<PickerEntry> tapDanceEntries() const;
    std::vector<PickerEntry> basicEntries() const;
    std::vector<PickerEntry> layerEntries() const;

    PadStore& m_store;
    std::optional<EditingTarget> m_target;
    std::string m_lastDeviceID;
    Tab m_selectedTab = Tab::custom;

    QWidget* m_card = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_targetText = nullptr;
    QLabel* m_currentText = nullptr;
    QLineEdit* m_search = nullptr;
    std::vector<QToolButton*> m_tabButtons;
    QStackedWidget* m_stack = nullptr;
    std::vector<QScrollArea*> m_pages;
    QScrollArea* m_searchPage = nullptr;
    TileFlowLayout* m_searchTiles = nullptr;
    QWidget* m_searchContent = nullptr;
    QLabel* m_searchEmpty = nullptr;
    QLineEdit* m_label = nullptr;
    QLabel* m_pickError = nullptr;

    // Catalogue tabs.
    std::array<TileFlowLayout*, 2> m_t3Tiles{};
    std::array<QWidget*, 2> m_t3Content{};
    TileFlowLayout* m_mediaTiles = nullptr;
    QWidget* m_mediaContent = nullptr;
    // App Focus.
    QLabel* m_focusPrompt = nullptr;
    TileFlowLayout* m_focusTiles = nullptr;
    QWidget* m_focusContent = nullptr;
    QToolButton* m_bindApp = nullptr;
    // Custom.
    std::array<QToolButton*, 4> m_modToggles{};
    KeyCaptureButton* m_capture = nullptr;
    BasicKeyboardView* m_keyboard = nullptr;
    QComboBox* m_layerChooser = nullptr;
    QComboBox* m_ltTapKey = nullptr;
    TileFlowLayout* m_layerTiles = nullptr;
    QWidget* m_layerContent = nullptr;
    std::array<QCheckBox*, 4> m_mtMods{};
    QCheckBox* m_mtRight = nullptr;
    QComboBox* m_mtTapKey = nullptr;
    PickerTile* m_mtTile = nullptr;
    QWidget* m_customSections = nullptr;
    QVBoxLayout* m_customSectionsColumn = nullptr;
    // TD / Raw.
    QWidget* m_tdEntry = nullptr;
    QLabel* m_tdEntryTitle = nullptr;
    std::array<QPushButton*, 4> m_tdSlots{};
    QSpinBox* m_tappingTerm = nullptr;
    TileFlowLayout* m_tdTiles = nullptr;
    QWidget* m_tdContent = nullptr;
    QLabel* m_tdEmpty = nullptr;
    QLineEdit* m_rawField = nullptr;
    QLabel* m_rawPreview = nullptr;
    QLabel* m_rawErrorLabel = nullptr;
    QPushButton* m_rawApply = nullptr;
};

} // namespace keyglass
