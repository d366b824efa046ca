#pragma once

#include "ui/views/GenericDeviceCard.h"

#include <QList>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <vector>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QToolButton;
class QHBoxLayout;

namespace keyglass {

class PadStore;
class PresetBrowserOverlay;
class KeycodePickerOverlay;

/// The whole HUD: header, device switcher, the selected device's card or the empty state, the toast,
/// and the keycode picker while the store has an editing target. Observes the store and redraws from it.
class HUDRootView : public QWidget
{
    Q_OBJECT
public:
    explicit HUDRootView(PadStore& store, QWidget* parent = nullptr);
    ~HUDRootView() override;

    /// The size to show the HUD at: the store's preferred size, grown where the content needs more.
    QSize shownSize() const;

    /// true = pop out into the floating panel, false = back to the popover.
    std::function<void(bool)> onTogglePin;
    std::function<void()> onQuit;

    void setDemoActions(DemoActions actions);
    /// Redraws from the store (also runs on every store notification).
    void sync();

    // Parts, for the shell and for tests.
    QWidget* emptyState() const { return m_empty; }
    GenericDeviceCard* card() const { return m_card; }
    KeycodePickerOverlay* picker() const { return m_picker; }
    PresetBrowserOverlay* presetBrowser() const { return m_presetBrowser; }
    QLabel* autoSyncLabel() const { return m_autoSync; }
    QToolButton* enableAutoSyncButton() const { return m_enableAutoSync; }
    QWidget* autoSyncNote() const { return m_note; }
    QToolButton* editToggle() const { return m_edit; }
    QToolButton* pinButton() const { return m_pin; }
    QToolButton* rescanButton() const { return m_rescan; }
    QToolButton* quitButton() const { return m_quit; }
    QWidget* deviceSwitcher() const { return m_switcher; }
    QWidget* toast() const { return m_toast; }
    QLabel* toastText() const { return m_toastText; }
    QString toastSymbol() const { return m_toastSymbol; }

    /// The local .json files among dropped URLs: VIA definitions to add.
    static std::vector<std::filesystem::path> droppedDefinitionFiles(const QList<QUrl>& urls);
    /// What a drop onto the HUD does: adds every dropped .json file as a VIA definition.
    void addDroppedDefinitions(const QList<QUrl>& urls);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildEmptyState();
    QWidget* buildNote();
    QWidget* buildBanner(QLabel*& text,
                         const char* textName,
                         const QString& action,
                         const char* actionName,
                         const QString& tooltip,
                         std::function<void()> onAction);
    QWidget* buildAccessBanner();
    QWidget* buildPartialLoadBanner();
    void syncSwitcher();

    PadStore& m_store;
    int m_observer = 0;
    bool m_syncing = false;

    QLabel* m_autoSync = nullptr;
    QLabel* m_autoSyncIcon = nullptr;
    QToolButton* m_enableAutoSync = nullptr;
    QToolButton* m_edit = nullptr;
    QToolButton* m_pin = nullptr;
    QToolButton* m_rescan = nullptr;
    QToolButton* m_quit = nullptr;
    QWidget* m_note = nullptr;
    QWidget* m_accessBanner = nullptr;
    QLabel* m_accessText = nullptr;
    QWidget* m_partialBanner = nullptr;
    QLabel* m_partialText = nullptr;
    QWidget* m_switcher = nullptr;
    QHBoxLayout* m_switcherRow = nullptr;
    std::vector<std::string> m_switcherIDs;
    std::vector<QToolButton*> m_switcherButtons;
    QWidget* m_empty = nullptr;
    GenericDeviceCard* m_card = nullptr;
    QWidget* m_toast = nullptr;
    QLabel* m_toastIcon = nullptr;
    QLabel* m_toastText = nullptr;
    QString m_toastSymbol;
    KeycodePickerOverlay* m_picker = nullptr;
    PresetBrowserOverlay* m_presetBrowser = nullptr;
};

} // namespace keyglass
