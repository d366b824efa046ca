#include "ui/views/HUDRootView.h"

#include "store/PadStore.h"
#include "ui/HudStyle.h"
#include "ui/views/KeycodePickerOverlay.h"
#include "ui/views/PresetBrowserOverlay.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLinearGradient>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace keyglass {

namespace {

constexpr int Margin = 14;
constexpr int SwitcherHeight = 34;

QString hudStyleSheet()
{
    return QStringLiteral(R"(
QLabel { color: #eceef2; }
QLabel#secondary { color: #9aa1ad; }
QLabel#caption { color: #8a909c; }
QLabel#error { color: #ff9f0a; }
QLabel#hudTitle { color: #f4f5f7; }
QToolButton[hudButton="true"], QPushButton[hudButton="true"] {
    color: #eceef2; background: rgba(255,255,255,0.07); border: 1px solid rgba(255,255,255,0.10);
    border-radius: 7px; padding: 4px 9px; }
QToolButton[hudButton="true"]:hover, QPushButton[hudButton="true"]:hover { background: rgba(255,255,255,0.14); }
QToolButton[hudButton="true"]:pressed, QPushButton[hudButton="true"]:pressed { background: rgba(255,255,255,0.04); }
QToolButton[hudButton="true"]:disabled, QPushButton[hudButton="true"]:disabled {
    color: #5c626d; background: rgba(255,255,255,0.03); border-color: rgba(255,255,255,0.05); }
QToolButton[primary="true"], QPushButton[primary="true"] { font-weight: 600; padding: 4px 12px; }
QPushButton[primary="true"] { background: #5aa9ff; color: #0b0d10; border: none; }
QToolButton[plain="true"] { color: #c9ced6; background: transparent; border: none; border-radius: 6px; padding: 3px 5px; }
QToolButton[plain="true"]:hover { background: rgba(255,255,255,0.10); }
QToolButton[segment="true"] { color: #9aa1ad; background: rgba(255,255,255,0.05); border: 1px solid rgba(255,255,255,0.08);
    border-radius: 8px; padding: 3px 10px; }
QToolButton[segment="true"]:checked { color: #f4f5f7; background: rgba(255,255,255,0.16); border-color: rgba(255,255,255,0.2); }
QWidget#glassBox { background: rgba(255,255,255,0.035); border: 1px solid rgba(255,255,255,0.07); border-radius: 10px; }
QWidget#toast { background: rgba(20,22,26,0.92); border: 1px solid rgba(255,255,255,0.10); border-radius: 9px; }
QWidget#sheetCard { background: #1c1f25; border: 1px solid rgba(255,255,255,0.14); border-radius: 14px; }
QLineEdit { background: rgba(0,0,0,0.35); color: #eceef2; border: 1px solid rgba(255,255,255,0.14); border-radius: 6px;
    padding: 5px 7px; selection-background-color: #5aa9ff; }
QLineEdit:focus { border-color: #5aa9ff; }
QSlider::groove:horizontal { height: 4px; background: rgba(255,255,255,0.12); border-radius: 2px; }
QSlider::sub-page:horizontal { background: #e8eaef; border-radius: 2px; }
QSlider::handle:horizontal { width: 14px; height: 14px; margin: -5px 0; border-radius: 7px; background: #f4f5f7;
    border: 1px solid rgba(0,0,0,0.4); }
QToolButton#effectMenu { color: #eceef2; background: transparent; border: none; padding: 2px 4px; }
QToolButton#effectMenu::menu-indicator { image: none; }
QMenu { background: #22252b; color: #eceef2; border: 1px solid rgba(255,255,255,0.12); padding: 4px; }
QMenu::item { padding: 4px 18px; border-radius: 4px; }
QMenu::item:selected { background: rgba(90,169,255,0.35); }
QToolTip { color: #eceef2; background: #22252b; border: 1px solid rgba(255,255,255,0.14); }
)");
}

QToolButton* headerButton(QWidget* parent, const QString& name, const QString& symbolName)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setProperty("plain", true);
    b->setIcon(hud::symbol(symbolName, QColor(0xc9, 0xce, 0xd6), 15));
    b->setIconSize(QSize(15, 15));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QLabel* symbolLabel(QWidget* parent, const QString& symbolName, const QColor& color, int size)
{
    auto* label = new QLabel(parent);
    label->setPixmap(hud::symbolPixmap(symbolName, color, size, parent->devicePixelRatioF()));
    label->setFixedSize(size, size);
    return label;
}

} // namespace

std::vector<std::filesystem::path> HUDRootView::droppedDefinitionFiles(const QList<QUrl>& urls)
{
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : urls)
        if (url.isLocalFile() && url.toLocalFile().endsWith(".json", Qt::CaseInsensitive))
            files.emplace_back(url.toLocalFile().toStdString());
    return files;
}

void HUDRootView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !droppedDefinitionFiles(event->mimeData()->urls()).empty())
        event->acceptProposedAction();
}

void HUDRootView::dropEvent(QDropEvent* event)
{
    if (droppedDefinitionFiles(event->mimeData()->urls()).empty())
        return;
    event->acceptProposedAction();
    addDroppedDefinitions(event->mimeData()->urls());
}

void HUDRootView::addDroppedDefinitions(const QList<QUrl>& urls)
{
    for (const auto& file : droppedDefinitionFiles(urls))
        m_store.addViaDefinition(file);
}

HUDRootView::HUDRootView(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName("hudRoot");
    setAttribute(Qt::WA_TranslucentBackground);
    setStyleSheet(hudStyleSheet());
    setFont(hud::uiFont(10));
    setAcceptDrops(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Margin, 10, Margin, Margin);
    column->setSpacing(10);
    column->addWidget(buildHeader());
    column->addWidget(buildNote());
    column->addWidget(buildAccessBanner());
    column->addWidget(buildPartialLoadBanner());

    m_switcher = new QWidget(this);
    m_switcher->setFixedHeight(SwitcherHeight - 10);
    m_switcherRow = new QHBoxLayout(m_switcher);
    m_switcherRow->setContentsMargins(0, 0, 0, 0);
    m_switcherRow->setSpacing(6);
    m_switcherRow->addStretch(1);
    column->addWidget(m_switcher);

    m_empty = buildEmptyState();
    column->addWidget(m_empty, 1);
    m_card = new GenericDeviceCard(store, this);
    column->addWidget(m_card, 1);

    m_toast = new QWidget(this);
    m_toast->setObjectName("toast");
    m_toast->setAttribute(Qt::WA_StyledBackground);
    auto* toastRow = new QHBoxLayout(m_toast);
    toastRow->setContentsMargins(10, 6, 10, 6);
    toastRow->setSpacing(7);
    m_toastIcon = new QLabel(m_toast);
    m_toastIcon->setFixedSize(14, 14);
    toastRow->addWidget(m_toastIcon);
    m_toastText = new QLabel(m_toast);
    m_toastText->setObjectName("toastText");
    m_toastText->setFont(hud::uiFont(9.5, QFont::Medium));
    m_toastText->setWordWrap(true);
    toastRow->addWidget(m_toastText, 1);
    column->addWidget(m_toast);

    m_picker = new KeycodePickerOverlay(store, this);
    m_presetBrowser = new PresetBrowserOverlay(store, this);

    m_observer = m_store.addObserver([this] { sync(); });
    sync();
}

QSize HUDRootView::shownSize() const
{
    const PreferredSize preferred = m_store.preferredSize();
    const QSize minimum = minimumSizeHint();
    const int width = std::max(preferred.width, minimum.width());
    // Wrapped texts need less height at the width the HUD gets than at its narrowest.
    int height = minimum.height();
    if (layout() && layout()->hasHeightForWidth())
        height = layout()->totalMinimumHeightForWidth(width);
    return QSize(width, std::max(preferred.height, height));
}

HUDRootView::~HUDRootView()
{
    m_store.removeObserver(m_observer);
}

void HUDRootView::setDemoActions(DemoActions actions)
{
    m_card->setDemoActions(std::move(actions));
}

QWidget* HUDRootView::buildHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    row->addWidget(symbolLabel(header, "dial.high.fill", hud::defaultAccent(), 18));
    auto* title = new QLabel("Keyglass", header);
    title->setObjectName("hudTitle");
    title->setFont(hud::uiFont(13.5, QFont::Bold));
    row->addWidget(title);
    row->addSpacing(6);

    m_autoSyncIcon = symbolLabel(header, "bolt.fill", QColor(0xff, 0xd6, 0x0a), 12);
    row->addWidget(m_autoSyncIcon);
    m_autoSync = new QLabel("Auto-Sync", header);
    m_autoSync->setObjectName("autoSync");
    m_autoSync->setFont(hud::uiFont(11, QFont::Medium));
    row->addWidget(m_autoSync);
    m_enableAutoSync = headerButton(header, "enableAutoSync", "bolt.slash");
    m_enableAutoSync->setText("Enable Auto-Sync");
    m_enableAutoSync->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_enableAutoSync->setFont(hud::uiFont(10, QFont::Medium));
    connect(m_enableAutoSync, &QToolButton::clicked, this, [this] { m_note->setVisible(true); });
    row->addWidget(m_enableAutoSync);
    row->addStretch(1);

    m_edit = headerButton(header, "editToggle", "pencil");
    m_edit->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_edit->setFont(hud::uiFont(10, QFont::Medium));
    m_edit->setToolTip("Click any keycap, knob, or Tap Dance slot to remap it, then click Apply to flash to hardware");
    connect(m_edit, &QToolButton::clicked, this, [this] { m_store.setEditMode(!m_store.editMode()); });
    row->addWidget(m_edit);

    m_pin = headerButton(header, "pin", "pin");
    connect(m_pin, &QToolButton::clicked, this, [this] {
        const bool floating = !m_store.isPinnedFloating();
        if (onTogglePin)
            onTogglePin(floating);
        else
            m_store.setPinnedFloating(floating);
    });
    row->addWidget(m_pin);

    m_rescan = headerButton(header, "rescan", "arrow.clockwise");
    connect(m_rescan, &QToolButton::clicked, this, [this] { m_store.refresh(); });
    row->addWidget(m_rescan);

    m_quit = headerButton(header, "quit", "power");
    m_quit->setToolTip("Quit Keyglass");
    connect(m_quit, &QToolButton::clicked, this, [this] {
        if (onQuit)
            onQuit();
    });
    row->addWidget(m_quit);
    return header;
}

QWidget* HUDRootView::buildNote()
{
    m_note = new QWidget(this);
    m_note->setObjectName("glassBox");
    m_note->setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(m_note);
    row->setContentsMargins(10, 8, 6, 8);
    row->setSpacing(8);
    auto* icon = symbolLabel(m_note, "bolt.fill", hud::errorOrange(), 14);
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QLabel(m_note);
    text->setObjectName("autoSyncNote");
    text->setWordWrap(true);
    text->setFont(hud::uiFont(9.5));
    text->setText(QString::fromUtf8(
        "Auto-Sync reads the key presses your pads send. Let your user read their input devices: install "
        "the udev rule that ships with Keyglass (then replug the pad) or join the \"input\" group and log in "
        "again. Auto-Sync switches on by itself once the pads can be read."));
    row->addWidget(text, 1);
    auto* close = new QToolButton(m_note);
    close->setObjectName("closeNote");
    close->setProperty("plain", true);
    close->setIcon(hud::symbol("xmark", hud::textSecondary(), 10));
    close->setToolTip("Dismiss");
    connect(close, &QToolButton::clicked, m_note, &QWidget::hide);
    row->addWidget(close, 0, Qt::AlignTop);
    m_note->hide();
    return m_note;
}

// A warning line above the card with one action: the text is set by sync().
QWidget* HUDRootView::buildBanner(QLabel*& text,
                                  const char* textName,
                                  const QString& action,
                                  const char* actionName,
                                  const QString& tooltip,
                                  std::function<void()> onAction)
{
    auto* banner = new QWidget(this);
    banner->setObjectName("glassBox");
    banner->setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(banner);
    row->setContentsMargins(10, 8, 8, 8);
    row->setSpacing(8);
    row->addWidget(symbolLabel(banner, "exclamationmark.triangle.fill", hud::errorOrange(), 14), 0, Qt::AlignTop);
    text = new QLabel(banner);
    text->setObjectName(textName);
    text->setWordWrap(true);
    text->setFont(hud::uiFont(9.5));
    row->addWidget(text, 1);
    auto* button = new QPushButton(action, banner);
    button->setObjectName(actionName);
    button->setProperty("hudButton", true);
    button->setProperty("primary", true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(tooltip);
    connect(button, &QPushButton::clicked, this, std::move(onAction));
    row->addWidget(button, 0, Qt::AlignVCenter);
    banner->hide();
    return banner;
}

// A pad is on the bus but its RawHID node is closed to this user: say so and offer to install the rule.
QWidget* HUDRootView::buildAccessBanner()
{
    m_accessBanner = buildBanner(m_accessText,
                                 "accessText",
                                 QString::fromUtf8("Fix access…"),
                                 "fixAccess",
                                 "Install the udev rule that lets you open VIA and Vial pads (asks for a password)",
                                 [this] { m_store.fixDeviceAccess(); });
    return m_accessBanner;
}

// The selected pad was read only in part: its card shows what could be read, and Apply waits for a reload.
QWidget* HUDRootView::buildPartialLoadBanner()
{
    m_partialBanner = buildBanner(
        m_partialText, "partialText", "Reload", "reloadPartial", "Read the pad again; edits you staged stay", [this] {
            m_store.refresh();
        });
    return m_partialBanner;
}

QWidget* HUDRootView::buildEmptyState()
{
    auto* empty = new QWidget(this);
    empty->setObjectName("emptyState");
    auto* column = new QVBoxLayout(empty);
    column->setSpacing(10);
    column->addStretch(1);
    auto* icon = symbolLabel(empty, "keyboard.badge.ellipsis", hud::textSecondary(), 46);
    column->addWidget(icon, 0, Qt::AlignHCenter);
    auto* title = new QLabel("No Vial or VIA Devices Detected", empty);
    title->setObjectName("emptyTitle");
    title->setFont(hud::uiFont(13, QFont::DemiBold));
    title->setAlignment(Qt::AlignCenter);
    column->addWidget(title);
    auto* text = new QLabel("Connect any QMK/Vial or VIA-compatible macropad or keyboard via USB and click Refresh.\n"
                            "(If Vial.app is open, close it first so RawHID is free.)",
                            empty);
    text->setObjectName("emptyText");
    text->setProperty("role", "secondary");
    text->setStyleSheet("color: #9aa1ad;");
    text->setFont(hud::uiFont(10));
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    column->addWidget(text);
    auto* scan = new QPushButton("Scan USB Devices", empty);
    scan->setObjectName("scan");
    scan->setProperty("hudButton", true);
    scan->setProperty("primary", true);
    scan->setCursor(Qt::PointingHandCursor);
    connect(scan, &QPushButton::clicked, this, [this] { m_store.refresh(); });
    column->addWidget(scan, 0, Qt::AlignHCenter);
    column->addStretch(2);
    return empty;
}

void HUDRootView::syncSwitcher()
{
    std::vector<std::string> ids;
    for (const auto& d : m_store.devices())
        ids.push_back(d.id);
    if (ids != m_switcherIDs) {
        m_switcherIDs = ids;
        for (auto* b : m_switcherButtons) {
            b->hide();
            b->deleteLater(); // may be the button whose click led here
        }
        m_switcherButtons.clear();
        for (const auto& d : m_store.devices()) {
            auto* b = new QToolButton(m_switcher);
            b->setProperty("segment", true);
            b->setCheckable(true);
            b->setText(QString::fromStdString(d.displayName()));
            b->setCursor(Qt::PointingHandCursor);
            const std::string id = d.id;
            connect(b, &QToolButton::clicked, this, [this, id] { m_store.selectDevice(id); });
            m_switcherRow->insertWidget(int(m_switcherButtons.size()), b);
            m_switcherButtons.push_back(b);
        }
    }
    for (std::size_t i = 0; i < m_switcherButtons.size(); ++i)
        m_switcherButtons[i]->setChecked(m_store.selectedDeviceID() == m_switcherIDs[i]);
    m_switcher->setVisible(m_switcherIDs.size() > 1);
}

void HUDRootView::sync()
{
    if (m_syncing)
        return;
    m_syncing = true;

    const bool autoSync = m_store.autoDetectEnabled();
    m_autoSync->setVisible(autoSync);
    m_autoSyncIcon->setVisible(autoSync);
    m_enableAutoSync->setVisible(!autoSync);
    if (autoSync)
        m_note->hide();

    const bool editing = m_store.editMode();
    m_edit->setText(editing ? "Done Editing" : "Edit Mappings");
    m_edit->setIcon(editing ? hud::symbol("pencil.circle.fill", hud::defaultAccent(), 15)
                            : hud::symbol("pencil", QColor(0xc9, 0xce, 0xd6), 15));
    m_edit->setProperty("active", editing);

    const bool floating = m_store.isPinnedFloating();
    m_pin->setToolTip(floating ? "Return to menu bar popover" : "Pop out as floating window");
    m_pin->setIcon(hud::symbol(floating ? "pin.fill" : "pin", QColor(0xc9, 0xce, 0xd6), 15));
    m_rescan->setToolTip("Re-scan USB RawHID devices (" + QString::fromStdString(m_store.lastRefreshText()) + ")");

    syncSwitcher();

    const auto& closed = m_store.inaccessiblePads();
    m_accessBanner->setVisible(!closed.empty());
    if (!closed.empty()) {
        const QString who =
            closed.size() == 1 ? QString::fromStdString(closed.front().name) : QString::number(closed.size()) + " pads";
        m_accessText->setText(who + (closed.size() == 1 ? " is" : " are") +
                              " connected, but Keyglass is not allowed to open " +
                              (closed.size() == 1 ? "it." : "them."));
    }

    const DeviceModel* selected = m_store.selectedDevice();
    m_partialBanner->setVisible(selected && selected->isPartial());
    if (selected && selected->isPartial()) {
        const int unread = selected->unreadCount();
        m_partialText->setText(QString::number(unread) + (unread == 1 ? " key" : " keys") + " of " +
                               QString::fromStdString(selected->displayName()) +
                               " could not be read. Apply stays off until a reload reads them all.");
    }
    m_empty->setVisible(!selected);
    m_card->setVisible(selected != nullptr);
    if (selected) {
        const PreferredSize size = m_store.preferredSize();
        m_card->setMaximumDeckWidth(std::max(size.width, width()) - 2 * Margin - 40);
        m_card->sync(*selected);
    }

    const auto& toast = m_store.toastMessage();
    m_toast->setVisible(toast.has_value());
    if (toast) {
        m_toastSymbol = m_store.toastIsError() ? "exclamationmark.triangle.fill" : "checkmark.circle.fill";
        const QColor tint = m_store.toastIsError() ? hud::errorOrange() : hud::liveGreen();
        m_toastIcon->setPixmap(hud::symbolPixmap(m_toastSymbol, tint, 14, devicePixelRatioF()));
        m_toastText->setText(QString::fromStdString(*toast));
    } else {
        m_toastSymbol.clear();
    }

    if (const auto& target = m_store.editingTarget())
        m_picker->open(*target);
    else if (m_picker->target())
        m_picker->dismiss();
    else
        m_picker->hide();
    if (m_store.showingPresets() && !m_store.editingTarget())
        m_presetBrowser->open();
    else
        m_presetBrowser->hide();

    m_syncing = false;
}

void HUDRootView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_picker->isVisible())
        m_picker->setGeometry(rect());
    if (m_presetBrowser->isVisible())
        m_presetBrowser->setGeometry(rect());
}

void HUDRootView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(r, 14, 14);
    QLinearGradient glass(r.topLeft(), r.bottomLeft());
    QColor top = hud::panelTop(), bottom = hud::panelBottom();
    top.setAlpha(246);
    bottom.setAlpha(250);
    glass.setColorAt(0, top);
    glass.setColorAt(1, bottom);
    p.fillPath(shape, glass);
    // A soft sheen across the top, like light on a glass pane.
    QLinearGradient sheen(r.topLeft(), QPointF(r.left(), r.top() + 90));
    sheen.setColorAt(0, QColor(255, 255, 255, 14));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillPath(shape, sheen);
    p.setPen(QPen(hud::hairline(), 1));
    p.drawPath(shape);
}

} // namespace keyglass
