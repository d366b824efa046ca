#include "ui/views/PresetBrowserOverlay.h"

#include "keycodes/KeycodeExpression.h"
#include "keycodes/Keycodes.h"
#include "model/Text.h"
#include "presets/PresetLibrary.h"
#include "store/PadStore.h"
#include "ui/HudStyle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace keyglass {

namespace {

constexpr int CardMaxWidth = 600;
constexpr int OuterMargin = 12;

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QToolButton* symbolButton(const QString& name, const QString& symbolName, const QString& text, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setProperty("symbol", symbolName);
    b->setIcon(hud::symbol(symbolName, hud::textPrimary(), 13));
    b->setIconSize(QSize(13, 13));
    b->setCursor(Qt::PointingHandCursor);
    b->setFocusPolicy(Qt::NoFocus);
    if (!text.isEmpty()) {
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    b->setProperty("hudButton", true);
    return b;
}

// The list grows with its rows, so the card ends right under the last one; the layout shrinks it (and
// the list scrolls) only when the HUD is too short for all of them.
class FittingScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        const QSize inner = widget() ? widget()->sizeHint() : QSize();
        return {inner.width(), inner.height() + 2 * frameWidth()};
    }
    QSize minimumSizeHint() const override { return {0, 60}; }
};

// The preset's first layer on the shown pad's keys, drawn as small keycaps with their captions.
class MiniDeckPreview : public QWidget
{
public:
    struct Cap
    {
        QRectF unitRect;
        QString caption;
    };

    MiniDeckPreview(std::vector<Cap> caps, int knobs, QWidget* parent)
        : QWidget(parent), m_caps(std::move(caps)), m_knobs(knobs)
    {
        setObjectName("deckPreview");
        setFixedSize(92, 62);
        QStringList captions;
        for (const auto& cap : m_caps)
            captions << cap.caption;
        setAccessibleDescription(captions.join(", "));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 14));
        p.drawRoundedRect(QRectF(rect()), 6, 6);
        if (m_caps.empty() && m_knobs == 0)
            return;
        QRectF units;
        for (const auto& cap : m_caps)
            units = units.united(cap.unitRect);
        const qreal knobColumn = m_knobs > 0 ? 1.0 : 0.0;
        const qreal unitsWide = std::max<qreal>(units.width() + knobColumn, 1.0);
        const qreal unitsHigh = std::max<qreal>({units.height(), qreal(m_knobs), 1.0});
        const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
        const qreal scale = std::min(area.width() / unitsWide, area.height() / unitsHigh);
        const QPointF origin(area.left() + (area.width() - unitsWide * scale) / 2,
                             area.top() + (area.height() - unitsHigh * scale) / 2);
        QFont font = hud::uiFont(5.5, QFont::Medium);
        p.setFont(font);
        for (const auto& cap : m_caps) {
            const QRectF r(origin.x() + (cap.unitRect.x() - units.x()) * scale,
                           origin.y() + (cap.unitRect.y() - units.y()) * scale,
                           cap.unitRect.width() * scale,
                           cap.unitRect.height() * scale);
            const QRectF key = r.adjusted(1, 1, -1, -1);
            p.setPen(Qt::NoPen);
            p.setBrush(cap.caption.isEmpty() ? QColor(255, 255, 255, 18) : QColor(255, 255, 255, 40));
            p.drawRoundedRect(key, 2, 2);
            if (!cap.caption.isEmpty()) {
                p.setPen(hud::textPrimary());
                const QString text = p.fontMetrics().elidedText(cap.caption, Qt::ElideRight, int(key.width()));
                p.drawText(key, Qt::AlignCenter, text);
            }
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 50));
        for (int k = 0; k < m_knobs; ++k) {
            const QPointF centre(origin.x() + (unitsWide - 0.5) * scale, origin.y() + (k + 0.5) * scale);
            p.drawEllipse(centre, scale * 0.38, scale * 0.38);
        }
    }

private:
    std::vector<Cap> m_caps;
    int m_knobs = 0;
};

std::vector<MiniDeckPreview::Cap>
previewCaps(const PadStore& store, const DeviceModel& device, const DevicePreset& preset)
{
    const PresetLayer* first = nullptr;
    for (const auto& layer : preset.layers) {
        if (!first || layer.index < first->index)
            first = &layer;
    }
    const bool legacy = device.legacyKeycodes();
    const bool windows = asciiLower(first && first->os ? *first->os : preset.os) == "windows";
    std::vector<MiniDeckPreview::Cap> caps;
    for (const auto& key : device.keys) {
        if (key.decal)
            continue;
        MiniDeckPreview::Cap cap{QRectF(key.x, key.y, key.w, key.h), {}};
        if (first && key.row < int(first->keys.size()) && key.col < int(first->keys[size_t(key.row)].size())) {
            const std::string& expression = first->keys[size_t(key.row)][size_t(key.col)];
            std::string label;
            if (first->keyLabels && key.row < int(first->keyLabels->size()) &&
                key.col < int((*first->keyLabels)[size_t(key.row)].size()))
                label = trimmed((*first->keyLabels)[size_t(key.row)][size_t(key.col)]);
            if (label.empty() && !trimWhitespace(expression).empty()) {
                if (const auto code = parseKeycodeExpression(expression, legacy))
                    label = describeKeycode(*code, legacy, windows, store.t3Map(), store.focusMap()).title;
            }
            cap.caption = fromStd(label);
        }
        caps.push_back(std::move(cap));
    }
    return caps;
}

QString layerSummary(const DevicePreset& preset)
{
    QStringList names;
    std::vector<const PresetLayer*> layers;
    for (const auto& layer : preset.layers)
        layers.push_back(&layer);
    std::sort(layers.begin(), layers.end(), [](const auto* a, const auto* b) { return a->index < b->index; });
    for (const auto* layer : layers)
        names << (trimWhitespace(layer->name).empty() ? "Layer " + QString::number(layer->index)
                                                      : fromStd(layer->name));
    return names.join(QString::fromUtf8(" · "));
}

} // namespace

QString presetOsLabel(const std::string& os)
{
    return asciiLower(os) == "windows" ? QStringLiteral("Windows") : QStringLiteral("macOS");
}

bool presetPassesFilter(const DevicePreset& preset, const QString& osFilter, const QString& searchText)
{
    if (osFilter.compare("all", Qt::CaseInsensitive) != 0 &&
        fromStd(preset.os).compare(osFilter, Qt::CaseInsensitive) != 0)
        return false;
    const QString needle = searchText.trimmed();
    if (needle.isEmpty())
        return true;
    for (const QString& field :
         {fromStd(preset.name), fromStd(preset.appName), fromStd(preset.category), presetOsLabel(preset.os)}) {
        if (field.contains(needle, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::vector<DevicePreset> presetsForTab(
    const PadStore& store, const DeviceModel& device, PresetTab tab, const QString& osFilter, const QString& searchText)
{
    const auto& source = tab == PresetTab::community ? store.communityPresets() : store.availablePresets();
    std::vector<DevicePreset> shown;
    for (const DevicePreset& preset : source) {
        const bool community = preset.community.value_or(false);
        if (tab == PresetTab::official && !preset.builtIn)
            continue;
        if (tab == PresetTab::custom && (preset.builtIn || community))
            continue;
        if (presetFitsDevice(preset, device) && presetPassesFilter(preset, osFilter, searchText))
            shown.push_back(preset);
    }
    std::stable_sort(shown.begin(), shown.end(), [](const DevicePreset& a, const DevicePreset& b) {
        return fromStd(a.name).compare(fromStd(b.name), Qt::CaseInsensitive) < 0;
    });
    return shown;
}

PresetBrowserOverlay::PresetBrowserOverlay(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName("presetBrowser");
    setFocusPolicy(Qt::StrongFocus);
    onClose = [this] { m_store.setShowingPresets(false); };

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(OuterMargin, OuterMargin, OuterMargin, OuterMargin);
    m_card = new QWidget(this);
    m_card->setObjectName("sheetCard");
    m_card->setAttribute(Qt::WA_StyledBackground);
    m_card->setMaximumWidth(CardMaxWidth);
    m_card->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(8);

    // Header.
    auto* titleRow = new QHBoxLayout;
    auto* title = new QLabel("Presets Library", m_card);
    title->setObjectName("browserTitle");
    title->setFont(hud::uiFont(13, QFont::DemiBold));
    titleRow->addWidget(title, 1);
    auto* done = symbolButton("closePresets", "xmark", {}, m_card);
    done->setToolTip("Close");
    connect(done, &QToolButton::clicked, this, &PresetBrowserOverlay::close);
    titleRow->addWidget(done);
    column->addLayout(titleRow);
    m_subtitle = new QLabel(m_card);
    m_subtitle->setObjectName("secondary");
    m_subtitle->setWordWrap(true);
    column->addWidget(m_subtitle);

    // Tabs, OS filter and search.
    auto* tabRow = new QHBoxLayout;
    tabRow->setSpacing(4);
    const struct
    {
        PresetTab tab;
        const char* name;
        const char* title;
    } tabs[] = {{PresetTab::official, "tabOfficial", "Official"},
                {PresetTab::custom, "tabCustom", "My Presets"},
                {PresetTab::community, "tabCommunity", "Community"}};
    for (const auto& t : tabs) {
        auto* b = new QToolButton(m_card);
        b->setObjectName(t.name);
        b->setText(t.title);
        b->setCheckable(true);
        b->setAutoExclusive(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setProperty("hudButton", true);
        if (t.tab == PresetTab::community) {
            b->setProperty("symbol", "globe");
            b->setIcon(hud::symbol("globe", hud::textPrimary(), 13));
            b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        }
        const PresetTab tab = t.tab;
        connect(b, &QToolButton::clicked, this, [this, tab] { setActiveTab(tab); });
        m_tabs.push_back(b);
        tabRow->addWidget(b);
    }
    tabRow->addStretch(1);
    m_osPicker = new QComboBox(m_card);
    m_osPicker->setObjectName("osFilter");
    m_osPicker->addItem("All OS", "all");
    m_osPicker->addItem("macOS", "macos");
    m_osPicker->addItem("Windows", "windows");
    m_osPicker->setFocusPolicy(Qt::NoFocus);
    connect(m_osPicker, &QComboBox::activated, this, [this](int index) {
        setOsFilter(m_osPicker->itemData(index).toString());
    });
    tabRow->addWidget(m_osPicker);
    column->addLayout(tabRow);

    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(4);
    m_search = new QLineEdit(m_card);
    m_search->setObjectName("search");
    m_search->setPlaceholderText("Filter apps (T3 Code, Photoshop, Lightroom, Premiere, Claude...)");
    connect(m_search, &QLineEdit::textChanged, this, [this] { rebuild(); });
    searchRow->addWidget(m_search, 1);
    m_clearSearch = symbolButton("clearSearch", "xmark.circle.fill", {}, m_card);
    m_clearSearch->setToolTip("Clear");
    connect(m_clearSearch, &QToolButton::clicked, this, [this] { setSearchText({}); });
    searchRow->addWidget(m_clearSearch);
    column->addLayout(searchRow);

    // The community tab's notice and connection state.
    m_communityPanel = new QWidget(m_card);
    m_communityPanel->setObjectName("communityPanel");
    auto* communityColumn = new QVBoxLayout(m_communityPanel);
    communityColumn->setContentsMargins(0, 0, 0, 0);
    communityColumn->setSpacing(4);
    auto* noticeRow = new QHBoxLayout;
    auto* warning = new QLabel(m_communityPanel);
    warning->setObjectName("noticeSymbol");
    warning->setProperty("symbol", "exclamationmark.triangle.fill");
    warning->setPixmap(hud::symbolPixmap("exclamationmark.triangle.fill", hud::errorOrange(), 13, devicePixelRatioF()));
    warning->setAlignment(Qt::AlignTop);
    noticeRow->addWidget(warning);
    auto* notice = new QLabel("Community presets are shared by other users. Review keys before clicking Apply. "
                              "Bootloader/reset codes (QK_BOOT, EE_CLR), QK_KB/QK_USER firmware keys, and hardware "
                              "slots are blocked, and your board is auto-backed up before loading.",
                              m_communityPanel);
    notice->setObjectName("communityNotice");
    notice->setWordWrap(true);
    notice->setFont(hud::uiFont(8.5));
    noticeRow->addWidget(notice, 1);
    communityColumn->addLayout(noticeRow);
    auto* stateRow = new QHBoxLayout;
    m_communityState = new QLabel(m_communityPanel);
    m_communityState->setObjectName("communityState");
    m_communityState->setWordWrap(true);
    stateRow->addWidget(m_communityState, 1);
    auto* refresh = symbolButton("refreshCommunity", "arrow.clockwise", "Refresh", m_communityPanel);
    refresh->setToolTip("Reload the community presets");
    connect(refresh, &QToolButton::clicked, this, [this] { m_store.loadCommunityPresets(); });
    stateRow->addWidget(refresh);
    communityColumn->addLayout(stateRow);
    column->addWidget(m_communityPanel);

    // The form (in place of the list while it is open).
    m_form = new QWidget(m_card);
    m_form->setObjectName("presetForm");
    auto* formColumn = new QVBoxLayout(m_form);
    formColumn->setContentsMargins(0, 4, 0, 4);
    formColumn->setSpacing(6);
    m_formTitle = new QLabel(m_form);
    m_formTitle->setObjectName("formTitle");
    m_formTitle->setFont(hud::uiFont(11, QFont::DemiBold));
    formColumn->addWidget(m_formTitle);
    auto* fields = new QHBoxLayout;
    m_formName = new QLineEdit(m_form);
    m_formName->setObjectName("formName");
    m_formName->setPlaceholderText("Preset Name");
    m_formName->setFixedWidth(135);
    fields->addWidget(m_formName);
    m_formApp = new QLineEdit(m_form);
    m_formApp->setObjectName("formApp");
    m_formApp->setPlaceholderText("App (e.g. Photoshop)");
    m_formApp->setFixedWidth(120);
    fields->addWidget(m_formApp);
    m_formOs = new QComboBox(m_form);
    m_formOs->setObjectName("formOS");
    m_formOs->addItem("macOS", "macos");
    m_formOs->addItem("Windows", "windows");
    fields->addWidget(m_formOs);
    fields->addStretch(1);
    formColumn->addLayout(fields);
    m_overwrite = new QCheckBox(m_form);
    m_overwrite->setObjectName("overwriteExistingCustom");
    connect(m_overwrite, &QCheckBox::toggled, this, [this](bool on) { setOverwriteExistingCustom(on); });
    formColumn->addWidget(m_overwrite);
    auto* formButtons = new QHBoxLayout;
    formButtons->addStretch(1);
    auto* cancel = new QPushButton("Cancel", m_form);
    cancel->setObjectName("formCancel");
    cancel->setProperty("hudButton", true);
    connect(cancel, &QPushButton::clicked, this, &PresetBrowserOverlay::closeForm);
    formButtons->addWidget(cancel);
    m_confirm = new QPushButton(m_form);
    m_confirm->setObjectName("formConfirm");
    m_confirm->setProperty("hudButton", true);
    m_confirm->setProperty("primary", true);
    connect(m_confirm, &QPushButton::clicked, this, &PresetBrowserOverlay::confirmForm);
    formButtons->addWidget(m_confirm);
    formColumn->addLayout(formButtons);
    column->addWidget(m_form);

    // The list.
    m_scroll = new FittingScrollArea(m_card);
    m_scroll->setObjectName("presetList");
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
    m_list = new QWidget(m_scroll);
    m_rows = new QVBoxLayout(m_list);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(6);
    m_empty = new QLabel("No presets match this device and filter. Click \"Save Current\" to create a custom preset.",
                         m_list);
    m_empty->setObjectName("emptyList");
    m_empty->setWordWrap(true);
    m_rows->addWidget(m_empty);
    m_scroll->setWidget(m_list);
    column->addWidget(m_scroll, 1);

    // Toolbar.
    m_toolbar = new QWidget(m_card);
    auto* toolbar = new QHBoxLayout(m_toolbar);
    toolbar->setContentsMargins(0, 0, 0, 0);
    toolbar->setSpacing(6);
    auto* save = symbolButton("saveCurrent", "plus.square.on.square", "Save Current", m_toolbar);
    save->setToolTip("Save this device's current layout as a reusable custom preset");
    connect(save, &QToolButton::clicked, this, &PresetBrowserOverlay::openSaveCurrentForm);
    toolbar->addWidget(save);
    auto* restore = symbolButton("restoreBackup", "clock.arrow.circlepath", "Restore Backup", m_toolbar);
    restore->setToolTip("Restore the latest automatic backup created before applying a preset");
    connect(restore, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* device = shownDevice())
            m_store.restoreLatestAutoBackup(device->id);
    });
    toolbar->addWidget(restore);
    toolbar->addStretch(1);
    auto* folder = symbolButton("presetsFolder", "folder", {}, m_toolbar);
    folder->setToolTip("Open custom Presets folder in Finder");
    connect(folder, &QToolButton::clicked, this, [this] { m_store.openCustomPresetsFolder(); });
    toolbar->addWidget(folder);
    column->addWidget(m_toolbar);

    // The card takes the width up to its maximum and the height of its content; the rest stays dimmed.
    auto* middle = new QHBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_card, 100);
    middle->addStretch(1);
    outer->addStretch(1);
    outer->addLayout(middle);
    outer->addStretch(1);
    hide();
}

const DeviceModel* PresetBrowserOverlay::shownDevice() const
{
    return m_shownFor.empty() ? nullptr : m_store.device(m_shownFor);
}

void PresetBrowserOverlay::open()
{
    const DeviceModel* device = m_store.selectedDevice();
    if (!device) {
        hide();
        return;
    }
    if (!isVisible() || device->id != m_shownFor) {
        // A fresh opening starts from the official list without a form.
        m_shownFor = device->id;
        m_activeTab = PresetTab::official;
        m_formMode = FormMode::none;
        m_cloneSource.reset();
        m_overwriteExistingCustom = false;
        m_selected = -1;
    }
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    rebuild();
    show();
    raise();
    if (!m_search->hasFocus() && !m_form->isAncestorOf(focusWidget()))
        setFocus();
}

void PresetBrowserOverlay::close()
{
    if (onClose)
        onClose();
}

void PresetBrowserOverlay::setActiveTab(PresetTab tab)
{
    const bool entering = tab == PresetTab::community && m_activeTab != PresetTab::community;
    m_activeTab = tab;
    m_selected = -1;
    rebuild();
    if (entering && m_store.communityConnected() && !m_store.isLoadingCommunityPresets())
        m_store.loadCommunityPresets();
}

void PresetBrowserOverlay::setOsFilter(const QString& filter)
{
    const QString lower = filter.toLower();
    m_osFilter = lower == "macos" || lower == "windows" ? lower : QStringLiteral("all");
    rebuild();
}

QString PresetBrowserOverlay::searchText() const
{
    return m_search->text();
}

void PresetBrowserOverlay::setSearchText(const QString& text)
{
    m_search->setText(text); // rebuilds through textChanged
}

std::optional<DevicePreset> PresetBrowserOverlay::overwriteTarget() const
{
    const DevicePreset* candidate = nullptr;
    if (m_formMode == FormMode::clone && m_cloneSource)
        candidate = &*m_cloneSource;
    else if (m_formMode == FormMode::saveCurrent)
        candidate = m_store.activePreset(m_shownFor);
    if (!candidate || candidate->builtIn || candidate->community.value_or(false))
        return std::nullopt;
    return *candidate;
}

void PresetBrowserOverlay::openCloneForm(const DevicePreset& source)
{
    m_formMode = FormMode::clone;
    m_cloneSource = source;
    m_overwriteExistingCustom = false;
    m_formName->setText(fromStd(source.name) + " (Custom)");
    m_formApp->setText(fromStd(source.appName));
    m_formOs->setCurrentIndex(asciiLower(source.os) == "windows" ? 1 : 0);
    m_formCategory = fromStd(source.category);
    rebuild();
    m_formName->setFocus();
}

void PresetBrowserOverlay::openSaveCurrentForm()
{
    const DeviceModel* device = shownDevice();
    if (!device)
        return;
    m_formMode = FormMode::saveCurrent;
    m_cloneSource.reset();
    m_overwriteExistingCustom = false;
    const DevicePreset* active = m_store.activePreset(device->id);
    m_formName->setText(active ? fromStd(active->name) : QString());
    m_formApp->setText(active ? fromStd(active->appName) : QString());
    const bool windows = active ? asciiLower(active->os) == "windows" : isWindowsStyleLayer(*device, 0);
    m_formOs->setCurrentIndex(windows ? 1 : 0);
    m_formCategory = active && !active->category.empty() ? fromStd(active->category) : QStringLiteral("Custom");
    rebuild();
    m_formName->setFocus();
}

void PresetBrowserOverlay::closeForm()
{
    m_formMode = FormMode::none;
    m_cloneSource.reset();
    m_overwriteExistingCustom = false;
    rebuild();
    setFocus();
}

void PresetBrowserOverlay::setOverwriteExistingCustom(bool overwrite)
{
    const auto target = overwriteTarget();
    overwrite = overwrite && target.has_value();
    if (overwrite == m_overwriteExistingCustom)
        return;
    m_overwriteExistingCustom = overwrite;
    if (overwrite)
        m_formName->setText(fromStd(target->name));
    syncForm();
}

void PresetBrowserOverlay::confirmForm()
{
    const DeviceModel* device = shownDevice();
    if (!device || m_formMode == FormMode::none)
        return;
    const std::string deviceID = device->id;
    const std::string name = m_formName->text().toStdString();
    const std::string app = m_formApp->text().toStdString();
    const std::string os = m_formOs->currentData().toString().toStdString();
    const std::string category = m_formCategory.toStdString();
    const FormMode mode = m_formMode;
    const std::optional<DevicePreset> source = m_cloneSource;
    const std::optional<DevicePreset> existing = m_overwriteExistingCustom ? overwriteTarget() : std::nullopt;
    m_formMode = FormMode::none;
    m_cloneSource.reset();
    m_overwriteExistingCustom = false;
    if (mode == FormMode::saveCurrent) {
        if (existing)
            m_store.overwriteWithCurrentLayout(deviceID, *existing, name, app, os, category);
        else
            m_store.saveCurrentAsPreset(deviceID, name, app, os, category);
        setActiveTab(PresetTab::custom);
    } else if (source) {
        // Both paths open the result in Edit Mode, which closes the browser.
        if (existing)
            m_store.overwriteAndEditPreset(*existing, deviceID, name, app, os);
        else
            m_store.clonePreset(*source, deviceID, name, app, os);
    }
    if (isVisible())
        rebuild();
}

void PresetBrowserOverlay::rebuild()
{
    const DeviceModel* device = shownDevice();
    if (!device)
        return;
    const QString name = fromStd(device->displayName());
    m_subtitle->setText(name + QString::fromUtf8(" · Per-app & per-OS layouts (firmware-custom keys stay protected)"));
    for (size_t i = 0; i < m_tabs.size(); ++i)
        m_tabs[i]->setChecked(int(i) == int(m_activeTab));
    m_osPicker->setCurrentIndex(std::max(0, m_osPicker->findData(m_osFilter)));
    m_clearSearch->setVisible(!m_search->text().isEmpty());

    const bool community = m_activeTab == PresetTab::community;
    m_communityPanel->setVisible(community && m_formMode == FormMode::none);
    if (m_store.isLoadingCommunityPresets())
        m_communityState->setText(QString::fromUtf8("Loading community presets…"));
    else if (!m_store.communityConnected())
        m_communityState->setText("Not connected to Loomshare Community");
    else
        m_communityState->setText(QString::number(m_store.communityPresets().size()) + " shared preset(s)");

    syncForm();
    rebuildRows(*device);
}

void PresetBrowserOverlay::syncForm()
{
    const bool open = m_formMode != FormMode::none;
    m_form->setVisible(open);
    m_scroll->setVisible(!open);
    m_toolbar->setVisible(!open);
    if (!open)
        return;
    const bool clone = m_formMode == FormMode::clone;
    m_formTitle->setText(clone ? "Clone & Edit Preset" : "Save Current Layout as Custom Preset");
    const auto target = overwriteTarget();
    m_overwrite->setVisible(target.has_value());
    if (target)
        m_overwrite->setText("Update existing custom preset \"" + fromStd(target->name) + "\"");
    {
        const QSignalBlocker block(m_overwrite);
        m_overwrite->setChecked(m_overwriteExistingCustom);
    }
    if (m_overwriteExistingCustom && target)
        m_confirm->setText("Update \"" + fromStd(target->name) + "\"");
    else
        m_confirm->setText(clone ? "Clone & Enter Edit Mode" : "Save Preset");
}

void PresetBrowserOverlay::rebuildRows(const DeviceModel& device)
{
    while (m_rows->count() > 1) {
        QLayoutItem* item = m_rows->takeAt(1);
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    m_shown = presetsForTab(m_store, device, m_activeTab, m_osFilter, m_search->text());
    const DevicePreset* active = m_store.activePreset(device.id);
    for (const DevicePreset& preset : m_shown) {
        QWidget* row = makeRow(device, preset, active && active->id == preset.id);
        m_rows->addWidget(row);
        row->show(); // at once, not on the next pass of the event loop
    }
    m_empty->setVisible(m_shown.empty());
    m_selected = m_shown.empty() ? -1 : std::min(m_selected, int(m_shown.size()) - 1);
    select(m_selected);
    m_list->adjustSize();
    m_scroll->updateGeometry();
}

QWidget* PresetBrowserOverlay::makeRow(const DeviceModel& device, const DevicePreset& preset, bool active)
{
    auto* row = new QWidget(m_list);
    row->setObjectName("presetRow");
    row->setProperty("presetID", fromStd(preset.id));
    row->setAttribute(Qt::WA_StyledBackground);
    row->setStyleSheet("#presetRow { background: rgba(255, 255, 255, 10); border-radius: 8px; }"
                       "#presetRow[selected=\"true\"] { background: rgba(90, 169, 255, 40); }");
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(8, 6, 8, 6);
    line->setSpacing(8);
    line->addWidget(
        new MiniDeckPreview(previewCaps(m_store, device, preset), int(device.encoders.size()), row), 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* nameRow = new QHBoxLayout;
    auto* name = new QLabel(fromStd(preset.name), row);
    name->setObjectName("presetName");
    name->setFont(hud::uiFont(10, QFont::DemiBold));
    nameRow->addWidget(name, 1);
    if (active) {
        auto* badge = new QLabel(QString::fromUtf8("✓ Active"), row);
        badge->setObjectName("activeBadge");
        badge->setProperty("symbol", "checkmark.circle.fill");
        badge->setToolTip("Active on " + fromStd(device.displayName()));
        badge->setStyleSheet("color: #4cd97b; font-weight: 600;");
        nameRow->addWidget(badge);
    }
    text->addLayout(nameRow);

    // An application named like the OS (a system preset) is not repeated as "macOS · macOS".
    const QString os = presetOsLabel(preset.os);
    QStringList details;
    if (fromStd(preset.appName).compare(os, Qt::CaseInsensitive) != 0 && !preset.appName.empty())
        details << fromStd(preset.appName);
    details << os;
    if (!preset.category.empty())
        details << fromStd(preset.category);
    if (preset.community.value_or(false) && preset.author)
        details << "by " + fromStd(*preset.author);
    auto* detail = new QLabel(details.join(QString::fromUtf8(" · ")), row);
    detail->setObjectName("presetDetails");
    detail->setFont(hud::uiFont(8.5));
    text->addWidget(detail);
    auto* layers = new QLabel(layerSummary(preset), row);
    layers->setObjectName("presetLayers");
    layers->setFont(hud::uiFont(8));
    layers->setWordWrap(true);
    text->addWidget(layers);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(4);
    const std::string deviceID = device.id;
    const QString deviceName = fromStd(device.displayName());
    auto* load = new QPushButton("Load", row);
    load->setObjectName("load");
    load->setProperty("hudButton", true);
    load->setFocusPolicy(Qt::NoFocus);
    load->setToolTip("Stage this preset onto " + deviceName + " (click Apply to flash)");
    connect(
        load, &QPushButton::clicked, this, [this, preset, deviceID] { m_store.applyPreset(preset, deviceID, false); });
    actions->addWidget(load);
    auto* clone = symbolButton("cloneEdit", "doc.on.doc", "Clone & Edit", row);
    clone->setToolTip("Duplicate this preset into your custom library and open Edit Mode");
    connect(clone, &QToolButton::clicked, this, [this, preset] { openCloneForm(preset); });
    actions->addWidget(clone);
    if (!preset.community.value_or(false)) {
        auto* share = symbolButton("share", "square.and.arrow.up", "Share", row);
        share->setToolTip("Validate & publish this preset to Loomshare Community and copy share link");
        connect(
            share, &QToolButton::clicked, this, [this, preset, deviceID] { m_store.sharePreset(preset, deviceID); });
        actions->addWidget(share);
    }
    if (!preset.builtIn && !preset.community.value_or(false)) {
        auto* remove = symbolButton("delete", "trash", {}, row);
        remove->setToolTip("Delete custom preset");
        connect(remove, &QToolButton::clicked, this, [this, preset] { m_store.deletePreset(preset); });
        actions->addWidget(remove);
    }
    actions->addStretch(1);
    text->addLayout(actions);
    line->addLayout(text, 1);
    return row;
}

QWidget* PresetBrowserOverlay::rowFor(const std::string& presetID) const
{
    for (int i = 1; i < m_rows->count(); ++i) {
        QWidget* row = m_rows->itemAt(i)->widget();
        if (row && row->property("presetID").toString() == fromStd(presetID))
            return row;
    }
    return nullptr;
}

QToolButton* PresetBrowserOverlay::tabButton(PresetTab tab) const
{
    return m_tabs[size_t(tab)];
}

void PresetBrowserOverlay::select(int row)
{
    m_selected = row;
    for (int i = 1; i < m_rows->count(); ++i) {
        QWidget* widget = m_rows->itemAt(i)->widget();
        if (!widget)
            continue;
        const bool selected = i - 1 == row;
        if (widget->property("selected").toBool() != selected) {
            widget->setProperty("selected", selected);
            widget->style()->unpolish(widget);
            widget->style()->polish(widget);
        }
        if (selected)
            m_scroll->ensureWidgetVisible(widget);
    }
}

void PresetBrowserOverlay::loadSelected()
{
    const DeviceModel* device = shownDevice();
    if (!device || m_selected < 0 || m_selected >= int(m_shown.size()))
        return;
    const DevicePreset preset = m_shown[size_t(m_selected)];
    m_store.applyPreset(preset, device->id, false);
}

void PresetBrowserOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(5, 6, 8, 150));
}

void PresetBrowserOverlay::mousePressEvent(QMouseEvent* event)
{
    if (!m_card->geometry().contains(event->position().toPoint()))
        close();
}

void PresetBrowserOverlay::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_formMode != FormMode::none)
            closeForm();
        else
            close();
        return;
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (m_formMode == FormMode::none && !m_shown.empty()) {
            const int step = event->key() == Qt::Key_Down ? 1 : -1;
            const int last = int(m_shown.size()) - 1;
            select(m_selected < 0 ? (step > 0 ? 0 : last) : std::clamp(m_selected + step, 0, last));
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_formMode != FormMode::none)
            confirmForm();
        else
            loadSelected();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace keyglass
