#include "ui/views/KeycodePickerOverlay.h"

#include "input/FocusMap.h"
#include "keycodes/KeycodeExpression.h"
#include "keycodes/KeycodeSafety.h"
#include "keycodes/KeycodeText.h"
#include "keycodes/Keycodes.h"
#include "model/Text.h"
#include "store/PadStore.h"
#include "ui/HudStyle.h"
#include "ui/TapDanceRow.h"
#include "ui/views/PickerWidgets.h"

#include <QButtonGroup>
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
#include <QScrollBar>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace keyglass {

namespace {

constexpr int CardMargin = 10;
constexpr int CardMaxWidth = 780;
const char* const UnrecognizedMessage = "Unrecognized QMK expression or hex code";

constexpr std::array PickerLayerActions{
    LayerAction::mo, LayerAction::tg, LayerAction::to, LayerAction::tt, LayerAction::osl, LayerAction::df};

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName("caption");
    label->setFont(hud::uiFont(8.5, QFont::DemiBold));
    return label;
}

QToolButton* segment(const QString& text, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setCheckable(true);
    b->setProperty("segment", true);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setFont(hud::uiFont(9, QFont::Medium));
    return b;
}

void fillTapKeys(QComboBox* combo, bool legacyKeycodes, std::uint8_t initial)
{
    // Long captions would otherwise widen the row past a narrow HUD.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(12);
    combo->clear();
    for (const BasicKeyBlock& block : basicKeyboard()) {
        for (const BasicKeySlot& key : block.keys) {
            const std::string title = describeKeycode(key.usage, legacyKeycodes, false, {}, {}).title;
            combo->addItem(QString::fromStdString(title + "   " + formatKeycode(key.usage, legacyKeycodes)),
                           int(key.usage));
        }
    }
    combo->setCurrentIndex(std::max(0, combo->findData(int(initial))));
}

std::uint8_t chosenUsage(const QComboBox* combo)
{
    return static_cast<std::uint8_t>(combo->currentData().toInt());
}

/// Keeps key presses that a scroll area would use for scrolling with the focused child.
class PickerScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

protected:
    void keyPressEvent(QKeyEvent* event) override { event->ignore(); }
};

} // namespace

QString KeycodePickerOverlay::tabTitle(Tab tab)
{
    switch (tab) {
    case Tab::t3Mac:
        return "T3 Mac";
    case Tab::t3Win:
        return "T3 Win";
    case Tab::focus:
        return "App Focus";
    case Tab::media:
        return "Media & OS";
    case Tab::custom:
        return "Custom";
    case Tab::raw:
        return "TD / Raw";
    }
    return {};
}

KeycodePickerOverlay::KeycodePickerOverlay(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName("keycodePicker");
    onClose = [this] { m_store.clearEditingTarget(); };

    m_card = new QWidget(this);
    m_card->setObjectName("sheetCard");
    m_card->setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(7);

    // Header.
    auto* headerRow = new QHBoxLayout;
    m_title = new QLabel("Remap Control", m_card);
    m_title->setObjectName("pickerTitle");
    m_title->setFont(hud::uiFont(13, QFont::DemiBold));
    headerRow->addWidget(m_title);
    headerRow->addStretch(1);
    auto* closeButton = new QToolButton(m_card);
    closeButton->setObjectName("closePicker");
    closeButton->setProperty("plain", true);
    closeButton->setIcon(hud::symbol("xmark", hud::textSecondary(), 12));
    closeButton->setText("Close");
    closeButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    closeButton->setToolTip("Close without changing the slot (Esc)");
    closeButton->setCursor(Qt::PointingHandCursor);
    connect(closeButton, &QToolButton::clicked, this, &KeycodePickerOverlay::close);
    headerRow->addWidget(closeButton);
    column->addLayout(headerRow);
    m_targetText = new QLabel(m_card);
    m_targetText->setObjectName("secondary");
    m_targetText->setWordWrap(true);
    column->addWidget(m_targetText);
    m_currentText = new QLabel(m_card);
    m_currentText->setObjectName("caption");
    m_currentText->setFont(hud::monoFont(8.5));
    m_currentText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(m_currentText);

    m_search = new QLineEdit(m_card);
    m_search->setObjectName("pickerSearch");
    m_search->setPlaceholderText("Filter actions...");
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this] { refreshSearch(); });
    connect(m_search, &QLineEdit::returnPressed, this, &KeycodePickerOverlay::pickFirstSearchHit);
    column->addWidget(m_search);

    // Tabs.
    auto* tabs = new QWidget(m_card);
    tabs->setStyleSheet("QToolButton[segment=\"true\"] { padding: 3px 4px; }");
    auto* tabRow = new QHBoxLayout(tabs);
    tabRow->setContentsMargins(0, 0, 0, 0);
    tabRow->setSpacing(4);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (Tab tab : AllTabs) {
        // "&" would mark a mnemonic on a button; doubled it shows as itself.
        QToolButton* b = segment(tabTitle(tab).replace("&", "&&"), tabs);
        b->setFont(hud::uiFont(8.5, QFont::Medium));
        b->setObjectName("tab-" + tabTitle(tab));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        group->addButton(b);
        connect(b, &QToolButton::clicked, this, [this, tab] { setSelectedTab(tab); });
        tabRow->addWidget(b);
        m_tabButtons.push_back(b);
    }
    column->addWidget(tabs);

    m_stack = new QStackedWidget(m_card);
    m_pages.push_back(makePage(buildOptionsPage(Tab::t3Mac)));
    m_pages.push_back(makePage(buildOptionsPage(Tab::t3Win)));
    m_pages.push_back(makePage(buildFocusPage()));
    m_pages.push_back(makePage(buildOptionsPage(Tab::media)));
    m_pages.push_back(makePage(buildCustomPage()));
    m_pages.push_back(makePage(buildRawPage()));
    for (QScrollArea* page : m_pages)
        m_stack->addWidget(page);
    m_searchContent = new QWidget;
    auto* searchColumn = new QVBoxLayout(m_searchContent);
    searchColumn->setContentsMargins(0, 0, 0, 0);
    m_searchEmpty = new QLabel("Nothing matches the filter.", m_searchContent);
    m_searchEmpty->setObjectName("secondary");
    searchColumn->addWidget(m_searchEmpty);
    auto* hits = new QWidget(m_searchContent);
    m_searchTiles = new TileFlowLayout(hits);
    searchColumn->addWidget(hits);
    searchColumn->addStretch(1);
    m_searchPage = makePage(m_searchContent);
    m_stack->addWidget(m_searchPage);
    column->addWidget(m_stack, 1);

    m_pickError = new QLabel(m_card);
    m_pickError->setObjectName("error");
    m_pickError->setWordWrap(true);
    m_pickError->hide();
    column->addWidget(m_pickError);

    auto* labelRow = new QHBoxLayout;
    auto* labelCaption = new QLabel("Label:", m_card);
    labelCaption->setObjectName("secondary");
    labelRow->addWidget(labelCaption);
    m_label = new QLineEdit(m_card);
    m_label->setObjectName("label");
    m_label->setPlaceholderText("Optional keycap title (e.g. Brush, Razor, New Chat)");
    labelRow->addWidget(m_label, 1);
    column->addLayout(labelRow);

    hide();
}

// ---- Pages ----

QScrollArea* KeycodePickerOverlay::makePage(QWidget* content)
{
    auto* scroll = new PickerScrollArea(m_stack);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setStyleSheet(
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
        "QScrollBar:vertical { width: 8px; background: transparent; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,0.20); border-radius: 4px; min-height: 28px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }");
    content->setParent(scroll);
    scroll->setWidget(content);
    return scroll;
}

QWidget* KeycodePickerOverlay::section(QWidget* parent, QVBoxLayout* column, const QString& title)
{
    column->addSpacing(4);
    column->addWidget(caption(title.toUpper(), parent));
    auto* holder = new QWidget(parent);
    column->addWidget(holder);
    return holder;
}

void KeycodePickerOverlay::fillTiles(TileFlowLayout* layout,
                                     QWidget* parent,
                                     const std::vector<PickerEntry>& entries,
                                     const std::function<void(const PickerEntry&)>& onPick)
{
    const Keycode current = m_target ? m_store.currentKeycode(*m_target) : Keycode(0);
    // Unchanged entries keep their tiles, and with them the keyboard focus.
    if (layout->count() == static_cast<int>(entries.size())) {
        bool same = true;
        for (int i = 0; same && i < layout->count(); ++i) {
            auto* t = qobject_cast<PickerTile*>(layout->itemAt(i)->widget());
            same = t && t->entry() == entries[static_cast<size_t>(i)];
        }
        if (same) {
            for (int i = 0; i < layout->count(); ++i) {
                auto* t = static_cast<PickerTile*>(layout->itemAt(i)->widget());
                t->setCurrent(m_target && t->entry().code == current);
            }
            return;
        }
    }
    layout->clear();
    for (const PickerEntry& entry : entries) {
        auto* tile = new PickerTile(entry, parent);
        tile->setCurrent(m_target && entry.code == current);
        connect(tile, &PickerTile::clicked, this, [onPick, tile] { onPick(tile->entry()); });
        layout->addWidget(tile);
    }
    layout->invalidate();
    parent->updateGeometry();
}

QWidget* KeycodePickerOverlay::buildOptionsPage(Tab tab)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 2, 4, 2);
    auto* holder = new QWidget(content);
    auto* tiles = new TileFlowLayout(holder);
    column->addWidget(holder);
    column->addStretch(1);
    if (tab == Tab::media) {
        m_mediaTiles = tiles;
        m_mediaContent = holder;
    } else {
        const size_t i = tab == Tab::t3Win ? 1 : 0;
        m_t3Tiles[i] = tiles;
        m_t3Content[i] = holder;
    }
    return content;
}

QWidget* KeycodePickerOverlay::buildFocusPage()
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 2, 4, 2);
    m_focusPrompt = new QLabel(QString::fromUtf8("Select an App Focus trigger (uses F13–F24 / ⌃F13–⌃F16):"), content);
    m_focusPrompt->setObjectName("secondary");
    m_focusPrompt->setWordWrap(true);
    column->addWidget(m_focusPrompt);
    m_focusContent = new QWidget(content);
    m_focusTiles = new TileFlowLayout(m_focusContent);
    column->addWidget(m_focusContent);
    auto* row = new QHBoxLayout;
    m_bindApp = new QToolButton(content);
    m_bindApp->setObjectName("bindApp");
    m_bindApp->setText("Bind New App...");
    m_bindApp->setProperty("hudButton", true);
    m_bindApp->setFocusPolicy(Qt::StrongFocus);
    // The same trigger range as the prompt above.
    m_bindApp->setToolTip(
        QString::fromUtf8("Choose an application; this key becomes its App Focus trigger (uses F13–F24 / ⌃F13–⌃F16)"));
    connect(m_bindApp, &QToolButton::clicked, this, [this] {
        if (!m_target)
            return;
        const std::string label = trimmed(m_label->text().toStdString());
        std::optional<std::string> custom;
        if (!label.empty())
            custom = label;
        // The store stages the trigger and clears the target, which closes the sheet.
        m_store.chooseFocusApp(custom);
    });
    row->addWidget(m_bindApp);
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    return content;
}

QWidget* KeycodePickerOverlay::buildCustomPage()
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 2, 4, 2);
    column->setSpacing(5);

    auto* modRow = new QHBoxLayout;
    modRow->setSpacing(4);
    auto* modCaption = new QLabel("Modifiers:", content);
    modCaption->setObjectName("secondary");
    modRow->addWidget(modCaption);
    // Command, Shift, Option, Control, as the row reads; each toggle knows its QMK bit.
    const std::array<std::tuple<const char*, const char*, int>, 4> mods{{{"⌘ Cmd", "Command", 0x08},
                                                                         {"⇧ Shift", "Shift", 0x02},
                                                                         {"⌥ Opt", "Option", 0x04},
                                                                         {"⌃ Ctrl", "Control", 0x01}}};
    for (size_t i = 0; i < mods.size(); ++i) {
        const auto& [text, name, bit] = mods[i];
        QToolButton* b = segment(QString::fromUtf8(text), content);
        b->setObjectName(QString("mod-%1").arg(bit));
        b->setToolTip(QString::fromUtf8(name) + " with the key picked from the keyboard below");
        b->setProperty("modBit", bit);
        modRow->addWidget(b);
        m_modToggles[i] = b;
    }
    modRow->addStretch(1);
    column->addLayout(modRow);
    auto* captureRow = new QHBoxLayout;
    m_capture = new KeyCaptureButton(content);
    connect(m_capture, &KeyCaptureButton::keyCaptured, this, [this](std::uint8_t usage, ModifierChoice held) {
        pick(withModifiers(usage, held), std::nullopt);
    });
    captureRow->addWidget(m_capture);
    auto* captureHint = new QLabel("or click a key below", content);
    captureHint->setObjectName("caption");
    captureRow->addWidget(captureHint);
    captureRow->addStretch(1);
    column->addLayout(captureRow);

    m_keyboard = new BasicKeyboardView(content);
    connect(m_keyboard, &BasicKeyboardView::keyChosen, this, &KeycodePickerOverlay::pickBasicKey);
    column->addWidget(m_keyboard);

    // Layers.
    column->addSpacing(4);
    column->addWidget(caption("LAYERS", content));
    auto* layerRow = new QHBoxLayout;
    layerRow->addWidget(new QLabel("Layer", content));
    m_layerChooser = new QComboBox(content);
    m_layerChooser->setObjectName("layerChooser");
    connect(m_layerChooser, &QComboBox::currentIndexChanged, this, [this] { refreshLayerTiles(); });
    layerRow->addWidget(m_layerChooser);
    layerRow->addSpacing(10);
    layerRow->addWidget(new QLabel("LT tap key", content));
    m_ltTapKey = new QComboBox(content);
    m_ltTapKey->setObjectName("layerTapKey");
    connect(m_ltTapKey, &QComboBox::currentIndexChanged, this, [this] { refreshLayerTiles(); });
    layerRow->addWidget(m_ltTapKey, 1);
    column->addLayout(layerRow);
    m_layerContent = new QWidget(content);
    m_layerTiles = new TileFlowLayout(m_layerContent, 96);
    column->addWidget(m_layerContent);

    // Mod-Tap.
    column->addSpacing(4);
    column->addWidget(caption("MOD-TAP", content));
    auto* mtRow = new QHBoxLayout;
    mtRow->setSpacing(6);
    mtRow->addWidget(new QLabel("Hold", content));
    const std::array<const char*, 4> mtNames{"Ctrl", "Shift", "Alt", "GUI"};
    for (size_t i = 0; i < mtNames.size(); ++i) {
        m_mtMods[i] = new QCheckBox(mtNames[i], content);
        m_mtMods[i]->setObjectName(QString("mt-%1").arg(mtNames[i]));
        connect(m_mtMods[i], &QCheckBox::toggled, this, [this] { refreshModTap(); });
        mtRow->addWidget(m_mtMods[i]);
    }
    m_mtRight = new QCheckBox("Right", content);
    m_mtRight->setToolTip("Hold the right-hand modifiers");
    connect(m_mtRight, &QCheckBox::toggled, this, [this] { refreshModTap(); });
    mtRow->addWidget(m_mtRight);
    mtRow->addStretch(1);
    column->addLayout(mtRow);
    mtRow = new QHBoxLayout;
    mtRow->addWidget(new QLabel("Tap", content));
    m_mtTapKey = new QComboBox(content);
    m_mtTapKey->setObjectName("modTapKey");
    connect(m_mtTapKey, &QComboBox::currentIndexChanged, this, [this] { refreshModTap(); });
    mtRow->addWidget(m_mtTapKey, 1);
    column->addLayout(mtRow);
    auto* mtHolder = new QWidget(content);
    auto* mtTiles = new TileFlowLayout(mtHolder, 160);
    m_mtTile = new PickerTile(PickerEntry{"mt", "Mod-Tap", "choose a modifier to hold", {}, 0, {}}, mtHolder);
    connect(m_mtTile, &PickerTile::clicked, this, [this] { pick(m_mtTile->entry().code, std::nullopt); });
    mtTiles->addWidget(m_mtTile);
    column->addWidget(mtHolder);

    m_customSections = new QWidget(content);
    m_customSectionsColumn = new QVBoxLayout(m_customSections);
    m_customSectionsColumn->setContentsMargins(0, 0, 0, 0);
    m_customSectionsColumn->setSpacing(5);
    column->addWidget(m_customSections);
    column->addStretch(1);
    return content;
}

QWidget* KeycodePickerOverlay::buildRawPage()
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 2, 4, 2);
    column->setSpacing(6);

    // The whole entry when a tap-dance slot is being edited.
    m_tdEntry = new QWidget(content);
    m_tdEntry->setObjectName("glassBox");
    m_tdEntry->setAttribute(Qt::WA_StyledBackground);
    auto* entryColumn = new QVBoxLayout(m_tdEntry);
    entryColumn->setContentsMargins(10, 8, 10, 8);
    entryColumn->setSpacing(4);
    m_tdEntryTitle = caption({}, m_tdEntry);
    entryColumn->addWidget(m_tdEntryTitle);
    auto* slotRow = new QHBoxLayout;
    slotRow->setSpacing(6);
    for (int slot = 0; slot < 4; ++slot) {
        auto* b = new QPushButton(m_tdEntry);
        b->setObjectName(QString("tdSlot-%1").arg(slot));
        b->setProperty("hudButton", true);
        b->setCheckable(true);
        b->setToolTip("Edit this slot instead");
        // Four slots share a narrow card: long captions are cut rather than widening the sheet.
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        connect(b, &QPushButton::clicked, this, [this, slot] {
            const auto* td = m_target ? m_target->tapDance() : nullptr;
            if (td && td->slot != slot)
                m_store.chooseTapDance(td->deviceID, td->index, slot);
            else
                refreshFromStore();
        });
        slotRow->addWidget(b, 1);
        m_tdSlots[static_cast<size_t>(slot)] = b;
    }
    entryColumn->addLayout(slotRow);
    auto* termRow = new QHBoxLayout;
    termRow->addWidget(new QLabel("Tapping term:", m_tdEntry));
    m_tappingTerm = new QSpinBox(m_tdEntry);
    m_tappingTerm->setObjectName("tappingTerm");
    m_tappingTerm->setRange(1, 9999);
    m_tappingTerm->setSuffix(" ms");
    m_tappingTerm->setToolTip("How long a press may last to count as a tap; staged like the slots");
    connect(m_tappingTerm, &QSpinBox::editingFinished, this, [this] {
        if (const auto* td = m_target ? m_target->tapDance() : nullptr)
            m_store.setTappingTerm(td->deviceID, td->index, static_cast<Keycode>(m_tappingTerm->value()));
    });
    termRow->addWidget(m_tappingTerm);
    termRow->addStretch(1);
    entryColumn->addLayout(termRow);
    column->addWidget(m_tdEntry);

    column->addWidget(caption("Tap Dance Slots", content));
    m_tdEmpty = new QLabel("This device has no tap-dance entries.", content);
    m_tdEmpty->setObjectName("secondary");
    column->addWidget(m_tdEmpty);
    m_tdContent = new QWidget(content);
    m_tdTiles = new TileFlowLayout(m_tdContent, 150);
    column->addWidget(m_tdContent);

    column->addSpacing(6);
    column->addWidget(caption("QMK Expression or Hex Code", content));
    auto* rawRow = new QHBoxLayout;
    m_rawField = new QLineEdit(content);
    m_rawField->setObjectName("expression");
    m_rawField->setPlaceholderText("e.g. SGUI(KC_D), LCTL(KC_K), MO(1), 0x0A12");
    m_rawField->setFont(hud::monoFont(10));
    connect(m_rawField, &QLineEdit::textChanged, this, [this] {
        m_rawErrorLabel->hide();
        refreshRawPreview();
    });
    connect(m_rawField, &QLineEdit::returnPressed, this, &KeycodePickerOverlay::applyExpression);
    rawRow->addWidget(m_rawField, 1);
    m_rawApply = new QPushButton("Stage", content);
    m_rawApply->setObjectName("applyExpression");
    m_rawApply->setProperty("hudButton", true);
    m_rawApply->setProperty("primary", true);
    connect(m_rawApply, &QPushButton::clicked, this, &KeycodePickerOverlay::applyExpression);
    rawRow->addWidget(m_rawApply);
    column->addLayout(rawRow);
    m_rawPreview = new QLabel(content);
    m_rawPreview->setObjectName("secondary");
    m_rawPreview->setWordWrap(true);
    m_rawPreview->setFont(hud::monoFont(9));
    column->addWidget(m_rawPreview);
    m_rawErrorLabel = new QLabel(content);
    m_rawErrorLabel->setObjectName("error");
    m_rawErrorLabel->setWordWrap(true);
    m_rawErrorLabel->hide();
    column->addWidget(m_rawErrorLabel);
    column->addStretch(1);
    return content;
}

// ---- State ----

const DeviceModel* KeycodePickerOverlay::device() const
{
    return m_target ? m_store.device(m_target->deviceID()) : nullptr;
}

bool KeycodePickerOverlay::legacy() const
{
    const DeviceModel* d = device();
    return d && d->legacyKeycodes();
}

bool KeycodePickerOverlay::windowsStyle() const
{
    const DeviceModel* d = device();
    if (!d || !m_target)
        return false;
    int layer = d->activeLayer;
    if (const auto* key = m_target->key())
        layer = key->layer;
    else if (const auto* enc = m_target->encoder())
        layer = enc->layer;
    return isWindowsStyleLayer(*d, layer);
}

QString KeycodePickerOverlay::describeTarget(const EditingTarget& target) const
{
    const DeviceModel* d = m_store.device(target.deviceID());
    const QString name = d ? QString::fromStdString(d->displayName()) : QString::fromStdString(target.deviceID());
    if (const auto* key = target.key())
        return name + QString::fromUtf8(" · Layer %1 · Key row %2, column %3")
                          .arg(key->layer)
                          .arg(key->row + 1)
                          .arg(key->col + 1);
    if (const auto* enc = target.encoder())
        return name + QString::fromUtf8(" · Layer %1 · Knob %2 · %3")
                          .arg(enc->layer)
                          .arg(enc->index + 1)
                          .arg(enc->cw ? "Clockwise" : "Counter-clockwise");
    const auto* td = target.tapDance();
    return name + QString::fromUtf8(" · Tap Dance %1 · %2").arg(td->index).arg(TapDanceRow::badgeForSlot(td->slot));
}

void KeycodePickerOverlay::open(const EditingTarget& target)
{
    if (!m_target || !(*m_target == target)) {
        // The modifier row stays while the user keeps remapping the same pad.
        const bool sameDevice = m_lastDeviceID == target.deviceID();
        m_lastDeviceID = target.deviceID();
        m_target = target;
        m_search->clear();
        m_rawField->clear();
        m_rawErrorLabel->hide();
        m_pickError->hide();
        m_label->clear();
        m_capture->setChecked(false);
        if (!sameDevice)
            setModifiers({});
        rebuildForTarget();
        setSelectedTab(target.tapDance() ? Tab::raw : Tab::custom);
    } else {
        refreshFromStore();
    }
    layOutCard();
    show();
    raise();
    if (!m_card->isAncestorOf(focusWidget()))
        m_search->setFocus(Qt::OtherFocusReason);
}

void KeycodePickerOverlay::close()
{
    dismiss();
    if (onClose)
        onClose();
}

void KeycodePickerOverlay::dismiss()
{
    m_target.reset();
    m_capture->setChecked(false);
    hide();
}

void KeycodePickerOverlay::setSelectedTab(Tab tab)
{
    m_selectedTab = tab;
    const auto index = static_cast<size_t>(tab);
    m_tabButtons[index]->setChecked(true);
    refreshSearch();
}

QString KeycodePickerOverlay::searchText() const
{
    return m_search->text();
}

void KeycodePickerOverlay::setSearchText(const QString& text)
{
    m_search->setText(text);
}

ModifierChoice KeycodePickerOverlay::modifiers() const
{
    ModifierChoice mods;
    for (QToolButton* b : m_modToggles) {
        if (!b->isChecked())
            continue;
        switch (b->property("modBit").toInt()) {
        case 0x01:
            mods.ctrl = true;
            break;
        case 0x02:
            mods.shift = true;
            break;
        case 0x04:
            mods.alt = true;
            break;
        case 0x08:
            mods.gui = true;
            break;
        }
    }
    return mods;
}

void KeycodePickerOverlay::setModifiers(ModifierChoice mods)
{
    const unsigned mask = mods.mask();
    for (QToolButton* b : m_modToggles)
        b->setChecked(mask & unsigned(b->property("modBit").toInt()));
}

QAbstractButton* KeycodePickerOverlay::modifierToggle(int bit) const
{
    for (QToolButton* b : m_modToggles)
        if (b->property("modBit").toInt() == bit)
            return b;
    return nullptr;
}

std::optional<QString> KeycodePickerOverlay::rawError() const
{
    if (m_rawErrorLabel->isHidden())
        return std::nullopt;
    return m_rawErrorLabel->text();
}

QString KeycodePickerOverlay::customLabel() const
{
    return m_label->text();
}

QAbstractButton* KeycodePickerOverlay::tabButton(Tab tab) const
{
    return m_tabButtons[static_cast<size_t>(tab)];
}

QScrollArea* KeycodePickerOverlay::page(Tab tab) const
{
    return m_pages[static_cast<size_t>(tab)];
}

PickerTile* KeycodePickerOverlay::layerTile(LayerAction action) const
{
    return m_layerContent->findChild<PickerTile*>("tile-layer-" + QString::fromUtf8(layerActionName(action)));
}

PickerTile* KeycodePickerOverlay::tile(const QString& id) const
{
    QWidget* shown = m_stack->currentWidget();
    return shown ? shown->findChild<PickerTile*>("tile-" + id) : nullptr;
}

// ---- Building from the device ----

std::vector<PickerEntry> KeycodePickerOverlay::focusEntries() const
{
    std::vector<PickerEntry> entries;
    for (Keycode code : focusTriggerCodes()) {
        PickerEntry entry = pickerEntryFor(code, legacy(), "focus-" + asciiLower(formatKeycode(code, false)));
        const KeyAction action = describeKeycode(code, legacy(), false, {}, m_store.focusMap());
        entry.title = action.title;
        const auto bound = m_store.focusMap().find(code);
        entry.subtitle = bound != m_store.focusMap().end() ? action.shortcut : action.shortcut + " · free";
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<PickerEntry> KeycodePickerOverlay::tapDanceEntries() const
{
    std::vector<PickerEntry> entries;
    const DeviceModel* d = device();
    if (!d)
        return entries;
    for (size_t i = 0; i < d->tapDances.size() && i < 256; ++i) {
        const auto code = static_cast<Keycode>(0x5700 | i);
        PickerEntry entry = pickerEntryFor(code, legacy(), "td-" + std::to_string(i));
        std::string slotTitles;
        for (int slot = 0; slot < 4; ++slot) {
            if (slot)
                slotTitles += " · ";
            slotTitles += m_store.tapDanceAction(*d, int(i), slot).title;
        }
        entry.subtitle = slotTitles;
        entry.names += " TD(" + std::to_string(i) + ")";
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<PickerEntry> KeycodePickerOverlay::basicEntries() const
{
    std::vector<PickerEntry> entries;
    for (const BasicKeyBlock& block : basicKeyboard())
        for (const BasicKeySlot& key : block.keys)
            entries.push_back(pickerEntryFor(key.usage, legacy(), "key-" + std::to_string(key.usage)));
    return entries;
}

std::vector<PickerEntry> KeycodePickerOverlay::layerEntries() const
{
    std::vector<PickerEntry> entries;
    const int layer = std::max(0, m_layerChooser->currentIndex());
    for (LayerAction action : PickerLayerActions) {
        const auto code = layerKeycode(action, layer, 0, legacy());
        if (!code)
            continue;
        entries.push_back(pickerEntryFor(*code, legacy(), "layer-" + std::string(layerActionName(action))));
    }
    const auto lt = layerKeycode(LayerAction::lt, layer, chosenUsage(m_ltTapKey), legacy());
    PickerEntry entry = lt ? pickerEntryFor(*lt, legacy(), "layer-LT")
                           : PickerEntry{"layer-LT", "LT", "", {}, 0, std::string("LT reaches layers 0–15 only")};
    entries.push_back(std::move(entry));
    return entries;
}

void KeycodePickerOverlay::rebuildForTarget()
{
    const DeviceModel* d = device();
    const bool old = legacy();
    const std::uint8_t ltKey = m_ltTapKey->count() ? chosenUsage(m_ltTapKey) : 0x2C;
    const std::uint8_t mtKey = m_mtTapKey->count() ? chosenUsage(m_mtTapKey) : 0x04;

    auto option = [this](const PickerEntry& entry) { pick(entry.code, entry.title); };
    auto bare = [this](const PickerEntry& entry) { pick(entry.code, std::nullopt); };
    for (size_t i = 0; i < 2; ++i) {
        std::vector<PickerEntry> entries;
        for (const auto& o : t3Options(i == 1))
            entries.push_back(pickerEntryFor(o, old));
        fillTiles(m_t3Tiles[i], m_t3Content[i], entries, option);
    }
    std::vector<PickerEntry> media;
    for (const auto& o : mediaOptions(old))
        media.push_back(pickerEntryFor(o, old));
    fillTiles(m_mediaTiles, m_mediaContent, media, option);
    fillTiles(m_focusTiles, m_focusContent, focusEntries(), bare);

    m_keyboard->setLabels(old, windowsStyle());
    {
        const QSignalBlocker blockLayers(m_layerChooser);
        const QSignalBlocker blockLt(m_ltTapKey);
        const QSignalBlocker blockMt(m_mtTapKey);
        m_layerChooser->clear();
        const int layers = std::clamp(d ? d->layerCount : 1, 1, 32);
        for (int layer = 0; layer < layers; ++layer)
            m_layerChooser->addItem(QString("Layer %1").arg(layer), layer);
        fillTapKeys(m_ltTapKey, old, ltKey);
        fillTapKeys(m_mtTapKey, old, mtKey);
    }
    refreshLayerTiles();
    refreshModTap();

    // Fixed sections, rebuilt for the pad's numbering and lighting.
    while (QLayoutItem* item = m_customSectionsColumn->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete item;
    }
    for (const PickerSection& s : customSections(old, d ? d->rgb.kind : RGBProtocolKind::none)) {
        QWidget* holder = section(m_customSections, m_customSectionsColumn, QString::fromStdString(s.title));
        holder->setObjectName(QString::fromStdString("section-" + s.id));
        auto* tiles = new TileFlowLayout(holder, 104);
        fillTiles(tiles, holder, s.entries, bare);
    }

    refreshFromStore();
}

void KeycodePickerOverlay::refreshLayerTiles()
{
    fillTiles(
        m_layerTiles, m_layerContent, layerEntries(), [this](const PickerEntry& e) { pick(e.code, std::nullopt); });
}

void KeycodePickerOverlay::refreshModTap()
{
    ModifierChoice mods;
    mods.ctrl = m_mtMods[0]->isChecked();
    mods.shift = m_mtMods[1]->isChecked();
    mods.alt = m_mtMods[2]->isChecked();
    mods.gui = m_mtMods[3]->isChecked();
    const auto code = modTapKeycode(mods, m_mtRight->isChecked(), chosenUsage(m_mtTapKey), legacy());
    if (code)
        m_mtTile->setEntry(pickerEntryFor(*code, legacy(), "mt"));
    else
        m_mtTile->setEntry(PickerEntry{"mt", "Mod-Tap", "", {}, 0, std::string("Choose a modifier to hold")});
}

void KeycodePickerOverlay::refreshFromStore()
{
    if (!m_target)
        return;
    const DeviceModel* d = device();
    m_targetText->setText(describeTarget(*m_target));
    const Keycode code = m_store.currentKeycode(*m_target);
    const KeyAction now = describeKeycode(code, legacy(), windowsStyle(), m_store.t3Map(), m_store.focusMap());
    m_currentText->setText("Now: " + QString::fromStdString(now.title + "  ·  " + formatKeycode(code, legacy())));

    const auto* td = m_target->tapDance();
    const bool wholeEntry = td && d && td->index >= 0 && static_cast<size_t>(td->index) < d->tapDances.size();
    m_tdEntry->setVisible(wholeEntry);
    if (wholeEntry) {
        m_tdEntryTitle->setText(QString("TAP DANCE %1 · TD(%1)").arg(td->index));
        for (int slot = 0; slot < 4; ++slot) {
            QPushButton* b = m_tdSlots[static_cast<size_t>(slot)];
            const KeyAction action = m_store.tapDanceAction(*d, td->index, slot);
            b->setText(TapDanceRow::badgeForSlot(slot) + "\n" + QString::fromStdString(action.title));
            b->setChecked(slot == td->slot);
        }
        if (!m_tappingTerm->hasFocus()) {
            const QSignalBlocker block(m_tappingTerm);
            m_tappingTerm->setValue(d->tapDances[static_cast<size_t>(td->index)].tappingTerm);
        }
    }
    const auto tds = tapDanceEntries();
    m_tdEmpty->setVisible(tds.empty());
    fillTiles(m_tdTiles, m_tdContent, tds, [this](const PickerEntry& e) { pickTapDance(e.code & 0xFF); });
    fillTiles(
        m_focusTiles, m_focusContent, focusEntries(), [this](const PickerEntry& e) { pick(e.code, std::nullopt); });
    refreshRawPreview();
}

// ---- Search ----

std::vector<KeycodePickerOverlay::SearchHit> KeycodePickerOverlay::searchHits() const
{
    std::vector<SearchHit> hits;
    const std::string query = m_search->text().toStdString();
    if (trimmed(query).empty())
        return hits;
    const bool old = legacy();
    auto add = [&](Tab tab, const PickerEntry& entry, bool option) {
        if (pickerEntryMatches(entry, query))
            hits.push_back(SearchHit{tab, entry, option});
    };
    for (const auto& o : t3Options(false))
        add(Tab::t3Mac, pickerEntryFor(o, old), true);
    for (const auto& o : t3Options(true))
        add(Tab::t3Win, pickerEntryFor(o, old), true);
    for (const auto& e : focusEntries())
        add(Tab::focus, e, false);
    for (const auto& o : mediaOptions(old))
        add(Tab::media, pickerEntryFor(o, old), true);
    for (const auto& e : basicEntries())
        add(Tab::custom, e, false);
    for (const auto& e : layerEntries())
        add(Tab::custom, e, false);
    for (const auto& s : customSections(old, device() ? device()->rgb.kind : RGBProtocolKind::none))
        for (const auto& e : s.entries)
            add(Tab::custom, e, false);
    for (const auto& e : tapDanceEntries())
        add(Tab::raw, e, false);
    std::stable_partition(hits.begin(), hits.end(), [this](const SearchHit& h) { return h.tab == m_selectedTab; });
    return hits;
}

void KeycodePickerOverlay::refreshSearch()
{
    const auto hits = searchHits();
    if (trimmed(m_search->text().toStdString()).empty()) {
        m_stack->setCurrentWidget(page(m_selectedTab));
        return;
    }
    m_searchTiles->clear();
    QWidget* holder = m_searchTiles->parentWidget();
    constexpr size_t MaxShown = 120;
    for (size_t i = 0; i < hits.size() && i < MaxShown; ++i) {
        PickerEntry shown = hits[i].entry;
        shown.id = "hit-" + std::to_string(i);
        shown.subtitle += "  ·  " + tabTitle(hits[i].tab).toStdString();
        auto* t = new PickerTile(shown, holder);
        const SearchHit hit = hits[i];
        connect(t, &PickerTile::clicked, this, [this, hit] {
            pick(hit.entry.code, hit.titleIsDefaultLabel ? std::optional<std::string>(hit.entry.title) : std::nullopt);
        });
        m_searchTiles->addWidget(t);
    }
    m_searchTiles->invalidate();
    m_searchEmpty->setVisible(hits.empty());
    holder->updateGeometry();
    m_stack->setCurrentWidget(m_searchPage);
}

void KeycodePickerOverlay::pickFirstSearchHit()
{
    for (const SearchHit& hit : searchHits()) {
        if (hit.entry.blocked)
            continue;
        pick(hit.entry.code, hit.titleIsDefaultLabel ? std::optional<std::string>(hit.entry.title) : std::nullopt);
        return;
    }
}

// ---- Picking ----

void KeycodePickerOverlay::showPickError(const QString& message)
{
    m_pickError->setText(message);
    m_pickError->show();
}

void KeycodePickerOverlay::pick(Keycode code, std::optional<std::string> defaultLabel)
{
    if (!m_target)
        return;
    // Never stage what the safety rules refuse, whichever way it was chosen.
    if (const auto refusal = keycodeBlockReason(code, formatKeycode(code, legacy()), legacy())) {
        showPickError(QString::fromStdString(*refusal));
        return;
    }
    std::optional<std::string> label = trimmed(m_label->text().toStdString());
    if (label->empty())
        label = std::move(defaultLabel);
    // The store redraws the HUD while staging; the target stays set until then, so that redraw finds
    // the sheet as it is instead of opening a fresh one.
    m_store.assign(*m_target, code, std::move(label));
    dismiss();
    if (onClose)
        onClose();
}

void KeycodePickerOverlay::pickBasicKey(std::uint8_t usage)
{
    pick(withModifiers(usage, modifiers()), std::nullopt);
}

void KeycodePickerOverlay::pickTapDance(int index)
{
    pick(static_cast<Keycode>(0x5700 | (index & 0xFF)), std::nullopt);
}

void KeycodePickerOverlay::refreshRawPreview()
{
    const std::string text = trimmed(m_rawField->text().toStdString());
    if (text.empty()) {
        m_rawPreview->clear();
        m_rawApply->setEnabled(false);
        return;
    }
    if (const auto refusal = validateExpression(text, legacy())) {
        const bool unparsed = refusal->starts_with("Unrecognized");
        m_rawPreview->setText(unparsed ? QString(UnrecognizedMessage) : QString::fromStdString(*refusal));
        m_rawApply->setEnabled(false);
        return;
    }
    const Keycode code = *parseKeycodeExpression(text, legacy());
    const KeyAction action = describeKeycode(code, legacy(), windowsStyle(), m_store.t3Map(), m_store.focusMap());
    QString preview =
        QString::fromStdString(hex4(code) + "  ·  " + formatKeycode(code, legacy()) + "  ·  " + action.title);
    if (!action.shortcut.empty() && action.shortcut != action.title)
        preview += QString::fromStdString(" — " + action.shortcut);
    m_rawPreview->setText(preview);
    m_rawApply->setEnabled(true);
}

void KeycodePickerOverlay::applyExpression()
{
    if (!m_target)
        return;
    const std::string text = m_rawField->text().toStdString();
    const auto code = parseKeycodeExpression(text, legacy());
    if (!code) {
        m_rawErrorLabel->setText(UnrecognizedMessage);
        m_rawErrorLabel->show();
        return;
    }
    // Bootloader words and blocked codes are refused with the safety rules' own words.
    if (const auto refusal = validateExpression(text, legacy())) {
        m_rawErrorLabel->setText(QString::fromStdString(*refusal));
        m_rawErrorLabel->show();
        return;
    }
    m_rawErrorLabel->hide();
    pick(*code, std::nullopt);
}

// ---- Geometry and events ----

void KeycodePickerOverlay::layOutCard()
{
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    const int w = std::min(width() - 2 * CardMargin, CardMaxWidth);
    m_card->setGeometry((width() - w) / 2, CardMargin, w, height() - 2 * CardMargin);
}

void KeycodePickerOverlay::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutCard();
}

void KeycodePickerOverlay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(5, 6, 8, 150));
}

void KeycodePickerOverlay::mousePressEvent(QMouseEvent* event)
{
    // Presses on the card's own labels bubble up here too; only the dimmed backdrop closes the sheet.
    if (m_card->geometry().contains(event->position().toPoint()))
        return;
    close();
}

void KeycodePickerOverlay::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace keyglass
