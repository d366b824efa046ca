#pragma once
// The presets library over the device card: the built-in, the user's own and the community presets
// that fit the shown pad, filtered by OS and a search text; load, clone & edit, share and delete per
// row; save the current layout, restore the latest automatic backup and open the presets folder. All
// preset logic is the store's; this view only keeps what is shown. Open while showingPresets is set.

#include "presets/DevicePreset.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace keyglass {

class PadStore;
struct DeviceModel;

enum class PresetTab
{
    official,
    custom,
    community
};
enum class FormMode
{
    none,
    clone,
    saveCurrent
};

/// "Windows" for a preset whose os is "windows" in any case, else "macOS".
QString presetOsLabel(const std::string& os);
/// The OS filter ("all", "macos", "windows") and the search text (name, application, category and OS
/// label, ignoring case) of the browser.
bool presetPassesFilter(const DevicePreset& preset, const QString& osFilter, const QString& searchText);
/// The presets of one tab that fit the device and pass the filter, sorted by name.
std::vector<DevicePreset> presetsForTab(const PadStore& store,
                                        const DeviceModel& device,
                                        PresetTab tab,
                                        const QString& osFilter,
                                        const QString& searchText);

class PresetBrowserOverlay : public QWidget
{
    Q_OBJECT
public:
    PresetBrowserOverlay(PadStore& store, QWidget* parent);

    /// Runs when the user closes the browser; by default it clears the store's showingPresets.
    std::function<void()> onClose;

    /// Shows the browser for the selected pad. Called again while open, it redraws from the store and
    /// keeps tab, filter, search and form.
    void open();
    void close();

    // ---- View state ----
    PresetTab activeTab() const { return m_activeTab; }
    void setActiveTab(PresetTab tab);
    const QString& osFilter() const { return m_osFilter; }
    void setOsFilter(const QString& filter);
    QString searchText() const;
    void setSearchText(const QString& text);
    FormMode formMode() const { return m_formMode; }
    void openCloneForm(const DevicePreset& source);
    void openSaveCurrentForm();
    void closeForm();
    void confirmForm();
    bool overwriteExistingCustom() const { return m_overwriteExistingCustom; }
    void setOverwriteExistingCustom(bool overwrite);
    /// The custom preset the form would update: the clone source, or the preset active on the pad.
    std::optional<DevicePreset> overwriteTarget() const;

    // ---- What is shown, for the HUD and tests ----
    const std::vector<DevicePreset>& shownPresets() const { return m_shown; }
    QWidget* rowFor(const std::string& presetID) const;
    int selectedRow() const { return m_selected; }
    QWidget* card() const { return m_card; }
    QScrollArea* listArea() const { return m_scroll; }
    QToolButton* tabButton(PresetTab tab) const;
    QLineEdit* searchField() const { return m_search; }
    QToolButton* clearSearchButton() const { return m_clearSearch; }
    QComboBox* osFilterPicker() const { return m_osPicker; }
    QLabel* emptyLabel() const { return m_empty; }
    QWidget* communityPanel() const { return m_communityPanel; }
    QLabel* communityState() const { return m_communityState; }
    QWidget* form() const { return m_form; }
    QLabel* formTitle() const { return m_formTitle; }
    QLineEdit* formNameField() const { return m_formName; }
    QLineEdit* formAppField() const { return m_formApp; }
    QComboBox* formOsPicker() const { return m_formOs; }
    QCheckBox* overwriteBox() const { return m_overwrite; }
    QPushButton* confirmButton() const { return m_confirm; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild();
    void rebuildRows(const DeviceModel& device);
    QWidget* makeRow(const DeviceModel& device, const DevicePreset& preset, bool active);
    void syncForm();
    void select(int row);
    void loadSelected();
    const DeviceModel* shownDevice() const;

    PadStore& m_store;
    std::string m_shownFor;

    PresetTab m_activeTab = PresetTab::official;
    QString m_osFilter = "all";
    FormMode m_formMode = FormMode::none;
    std::optional<DevicePreset> m_cloneSource;
    QString m_formCategory;
    bool m_overwriteExistingCustom = false;
    std::vector<DevicePreset> m_shown;
    int m_selected = -1;

    QWidget* m_card = nullptr;
    QLabel* m_subtitle = nullptr;
    std::vector<QToolButton*> m_tabs;
    QComboBox* m_osPicker = nullptr;
    QLineEdit* m_search = nullptr;
    QToolButton* m_clearSearch = nullptr;
    QWidget* m_communityPanel = nullptr;
    QLabel* m_communityState = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_list = nullptr;
    QVBoxLayout* m_rows = nullptr;
    QLabel* m_empty = nullptr;
    QWidget* m_toolbar = nullptr;
    QWidget* m_form = nullptr;
    QLabel* m_formTitle = nullptr;
    QLineEdit* m_formName = nullptr;
    QLineEdit* m_formApp = nullptr;
    QComboBox* m_formOs = nullptr;
    QCheckBox* m_overwrite = nullptr;
    QPushButton* m_confirm = nullptr;
};

} // namespace keyglass
