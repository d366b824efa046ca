#include "ui/views/GenericDeviceCard.h"

#include "device/LayoutOptions.h"
#include "device/Lighting.h"
#include "platform/Paths.h"
#include "presets/PresetLibrary.h"
#include "skins/SkinGeometry.h"
#include "store/PadStore.h"
#include "ui/AluminumChassis.h"
#include "ui/DeckView.h"
#include "ui/FlashTarget.h"
#include "ui/HardwareStudioSkinView.h"
#include "ui/HudStyle.h"
#include "ui/RGBControlSection.h"
#include "ui/StatusDot.h"
#include "ui/TapDanceRow.h"

#include <QActionGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace keyglass {

namespace {

QString colorwayEntryText(const SkinColorway& colorway)
{
    return "Hardware colorway: " + QString::fromStdString(colorway.name);
}

QToolButton* iconButton(QWidget* parent, const QString& name, const QString& symbolName, const QString& text = {})
{
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setIcon(hud::symbol(symbolName, hud::textPrimary(), 14));
    b->setIconSize(QSize(14, 14));
    b->setCursor(Qt::PointingHandCursor);
    if (!text.isEmpty()) {
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    b->setProperty("hudButton", true);
    return b;
}

constexpr Keycode TapDanceBase = 0x5700;
constexpr Keycode TapDanceMask = 0xFF00;

} // namespace

int GenericDeviceCard::shownTapDanceEntry(const DeviceModel& device)
{
    for (const auto& key : device.keys) {
        if (key.decal)
            continue;
        const Keycode code = device.keycodeAt(device.activeLayer, key.row, key.col);
        if ((code & TapDanceMask) == TapDanceBase && int(code & 0xFF) < int(device.tapDances.size()))
            return code & 0xFF;
    }
    return 0;
}

GenericDeviceCard::GenericDeviceCard(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    // Identity and layer row.
    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    m_name = new QLabel(this);
    m_name->setObjectName("deviceName");
    m_name->setFont(hud::uiFont(12.5, QFont::DemiBold));
    top->addWidget(m_name);
    m_status = new StatusDot(this);
    top->addWidget(m_status);
    m_proto = new QLabel(this);
    m_proto->setObjectName("secondary");
    m_proto->setFont(hud::monoFont(8));
    top->addWidget(m_proto);
    top->addStretch(1);

    m_layoutButton = iconButton(this, "layoutOptions", "keyboard.badge.ellipsis", "Layout");
    m_layoutButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_layoutButton->setPopupMode(QToolButton::InstantPopup);
    m_layoutButton->setToolTip("Layout options of this keyboard");
    m_layoutMenu = new QMenu(m_layoutButton);
    m_layoutButton->setMenu(m_layoutMenu);
    top->addWidget(m_layoutButton);

    m_prevLayer = iconButton(this, "previousLayer", "chevron.left");
    m_prevLayer->setToolTip("Previous layer");
    m_nextLayer = iconButton(this, "nextLayer", "chevron.right");
    m_nextLayer->setToolTip("Next layer");
    m_layerLabel = new QLabel(this);
    m_layerLabel->setObjectName("layerLabel");
    m_layerLabel->setFont(hud::uiFont(10.5, QFont::DemiBold));
    m_layerLabel->setAlignment(Qt::AlignCenter);
    m_layerLabel->setMinimumWidth(56);
    m_cycle = iconButton(this, "cycleLayer", "square.stack.3d.up");
    top->addWidget(m_prevLayer);
    top->addWidget(m_layerLabel);
    top->addWidget(m_nextLayer);
    top->addWidget(m_cycle);
    connect(m_prevLayer, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current(); d && d->activeLayer > 0)
            m_store.setActiveLayer(d->activeLayer - 1, d->id);
    });
    connect(m_nextLayer, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current(); d && d->activeLayer + 1 < d->layerCount)
            m_store.setActiveLayer(d->activeLayer + 1, d->id);
    });
    connect(m_cycle, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current(); d && d->layerCount > 0)
            m_store.setActiveLayer((d->activeLayer + 1) % d->layerCount, d->id);
    });
    column->addLayout(top);
    column->addWidget(buildSkinControls());

    // The deck.
    m_chassis = new AluminumChassis(this);
    m_deck = new DeckView;
    m_chassis->setContent(m_deck);
    connect(m_deck, &DeckView::keyTapped, this, &GenericDeviceCard::onKey);
    connect(m_deck, &DeckView::encoderTapped, this, &GenericDeviceCard::onEncoder);
    connect(m_deck, &DeckView::knobCenterTapped, this, &GenericDeviceCard::onKnobCenter);
    connect(m_deck, &DeckView::knobWheel, this, &GenericDeviceCard::onKnobWheel);
    column->addWidget(m_chassis, 0, Qt::AlignHCenter);

    // The photograph, when the pad has a skin and the studio is chosen.
    m_studio = new HardwareStudioSkinView(this);
    m_studio->hide();
    connect(m_studio, &HardwareStudioSkinView::keyTapped, this, &GenericDeviceCard::onKey);
    connect(m_studio, &HardwareStudioSkinView::encoderTapped, this, &GenericDeviceCard::onEncoder);
    connect(m_studio, &HardwareStudioSkinView::knobCenterTapped, this, &GenericDeviceCard::onKnobCenter);
    connect(m_studio, &HardwareStudioSkinView::layerButtonTapped, this, [this] {
        if (const DeviceModel* d = current())
            m_store.setActiveLayer(nextSkinLayer(d->activeLayer, d->layerCount), d->id);
    });
    column->addWidget(m_studio, 0, Qt::AlignHCenter);

    // Tap dance.
    m_tapSection = new QWidget(this);
    m_tapSection->setObjectName("glassBox");
    m_tapSection->setAttribute(Qt::WA_StyledBackground);
    auto* tapColumn = new QVBoxLayout(m_tapSection);
    tapColumn->setContentsMargins(10, 8, 10, 8);
    tapColumn->setSpacing(3);
    auto* tapHeader = new QHBoxLayout;
    m_tapTitle = new QLabel(m_tapSection);
    m_tapTitle->setObjectName("caption");
    m_tapTitle->setFont(hud::uiFont(8, QFont::Bold));
    tapHeader->addWidget(m_tapTitle);
    tapHeader->addStretch(1);
    auto* changeBase = new QPushButton("Change Base Key", m_tapSection);
    changeBase->setObjectName("changeBaseKey");
    changeBase->setProperty("hudButton", true);
    changeBase->setCursor(Qt::PointingHandCursor);
    connect(changeBase, &QPushButton::clicked, this, &GenericDeviceCard::onChangeBaseKey);
    tapHeader->addWidget(changeBase);
    tapColumn->addLayout(tapHeader);
    m_tapEntryBar = new QWidget(m_tapSection);
    m_tapEntryBar->setObjectName("tapDanceEntries");
    auto* entryGrid = new QGridLayout(m_tapEntryBar);
    entryGrid->setContentsMargins(0, 0, 0, 2);
    entryGrid->setSpacing(3);
    tapColumn->addWidget(m_tapEntryBar);
    for (int slot = 0; slot < 4; ++slot) {
        auto* row = new TapDanceRow(m_tapSection);
        row->setBadge(TapDanceRow::badgeForSlot(slot));
        connect(row, &TapDanceRow::tapped, this, [this, slot] { onTapDance(slot); });
        tapColumn->addWidget(row);
        m_tapRows.push_back(row);
    }
    column->addWidget(m_tapSection);

    // Lighting.
    m_lightingBox = new QWidget(this);
    m_lightingBox->setObjectName("glassBox");
    m_lightingBox->setAttribute(Qt::WA_StyledBackground);
    auto* lightColumn = new QVBoxLayout(m_lightingBox);
    lightColumn->setContentsMargins(10, 6, 10, 8);
    m_lighting = new RGBControlSection(m_lightingBox);
    lightColumn->addWidget(m_lighting);
    m_lighting->onToggle = [this] {
        if (const DeviceModel* d = current())
            m_store.toggleLighting(d->id);
    };
    m_lighting->onEffect = [this](std::uint8_t effect) {
        if (const DeviceModel* d = current())
            m_store.setLighting(d->id, std::nullopt, effect, std::nullopt, std::nullopt);
    };
    m_lighting->onBrightness = [this](std::uint8_t brightness) {
        if (const DeviceModel* d = current())
            m_store.setLighting(d->id, brightness, std::nullopt, std::nullopt, std::nullopt);
    };
    m_lighting->onColor = [this](std::uint8_t hue, std::uint8_t sat) {
        if (const DeviceModel* d = current())
            m_store.chooseLightingColor(d->id, hue, sat);
    };
    m_lighting->onSpeed = [this](std::uint8_t speed) {
        if (const DeviceModel* d = current())
            m_store.setLightingSpeed(d->id, speed);
    };
    column->addWidget(m_lightingBox);

    buildActionRow(column);
    column->addStretch(1);
}

QWidget* GenericDeviceCard::buildSkinControls()
{
    m_skinControls = new QWidget(this);
    m_skinControls->setObjectName("skinControls");
    auto* row = new QHBoxLayout(m_skinControls);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    // "3D Studio" / "2D Deck": two halves of one toggle, the chosen one checked.
    auto makeHalf = [this](const QString& name, const QString& text, bool studio) {
        auto* b = new QToolButton(m_skinControls);
        b->setObjectName(name);
        b->setText(text);
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setCursor(Qt::PointingHandCursor);
        b->setProperty("hudButton", true);
        connect(b, &QToolButton::clicked, this, [this, studio] { setUseStudioSkin(studio); });
        return b;
    };
    m_studioButton = makeHalf("studioSkin", "3D Studio", true);
    m_deckButton = makeHalf("drawnDeck", "2D Deck", false);
    m_deckButton->setChecked(true);
    row->addWidget(m_studioButton);
    row->addWidget(m_deckButton);

    m_colorwayButton = iconButton(m_skinControls, "colorway", "chevron.up.chevron.down");
    m_colorwayButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_colorwayButton->setPopupMode(QToolButton::InstantPopup);
    m_colorwayMenu = new QMenu(m_colorwayButton);
    m_colorwayButton->setMenu(m_colorwayMenu);
    row->addWidget(m_colorwayButton);
    row->addStretch(1);

    m_skinsFolder = iconButton(m_skinControls, "skinsFolder", "folder.badge.plus");
    m_skinsFolder->setToolTip("Open Skins folder to drop in custom OEM colorway PNGs + skin.json");
    connect(m_skinsFolder, &QToolButton::clicked, this, [this] {
        openSkinsFolder(m_store.desktop(), paths::userSkinsDir());
    });
    row->addWidget(m_skinsFolder);
    m_skinControls->hide();
    return m_skinControls;
}

void GenericDeviceCard::setUseStudioSkin(bool on)
{
    m_useStudioSkin = on;
    resync();
}

void GenericDeviceCard::setSelectedColorwayID(const std::string& id)
{
    m_selectedColorwayID = id;
    resync();
}

void GenericDeviceCard::resync()
{
    if (const DeviceModel* d = current())
        sync(*d);
}

void GenericDeviceCard::rebuildColorwayMenu(const std::vector<SkinColorway>& colorways)
{
    // The old entries may be the one being triggered right now: they go when control returns to the loop.
    for (QAction* old : m_colorwayMenu->actions()) {
        m_colorwayMenu->removeAction(old);
        old->deleteLater();
    }
    if (m_colorwayGroup)
        m_colorwayGroup->deleteLater();
    m_colorwayGroup = new QActionGroup(m_colorwayMenu);
    m_menuColorways = colorways;
    for (const auto& colorway : colorways) {
        QPixmap swatch(12, 12);
        swatch.fill(QColor(QString::fromStdString(colorway.swatchHex)));
        QAction* action = new QAction(QIcon(swatch), colorwayEntryText(colorway), m_colorwayMenu);
        action->setCheckable(true);
        action->setActionGroup(m_colorwayGroup);
        m_colorwayMenu->addAction(action);
        const std::string id = colorway.id;
        connect(action, &QAction::triggered, this, [this, id] { setSelectedColorwayID(id); });
    }
}

void GenericDeviceCard::syncLayoutMenu(const DeviceModel& device)
{
    const bool via = !device.proto.isVial();
    m_layoutButton->setVisible(via || !device.layoutLabels.empty());
    if (m_menuBuilt && device.layoutLabels == m_menuLabels && device.layoutOptions == m_menuOptions &&
        via == m_menuForVia)
        return;
    m_menuBuilt = true;
    m_menuLabels = device.layoutLabels;
    m_menuOptions = device.layoutOptions;
    m_menuForVia = via;
    // The old entries may be the one being triggered right now: they go when control returns to the loop.
    for (QAction* old : m_layoutMenu->actions()) {
        m_layoutMenu->removeAction(old);
        old->deleteLater();
    }
    const auto chosen = chosenLayoutChoices(device);
    for (std::size_t group = 0; group < device.layoutLabels.size(); ++group) {
        const LayoutOptionLabel& label = device.layoutLabels[group];
        const QString title =
            QString::fromStdString(label.title.empty() ? "Option " + std::to_string(group + 1) : label.title);
        const int g = static_cast<int>(group);
        if (label.isToggle()) {
            auto* action = new QAction(title, m_layoutMenu);
            action->setCheckable(true);
            action->setChecked(chosen[group] == 1);
            connect(action, &QAction::triggered, this, [this, g](bool on) {
                if (const DeviceModel* d = current())
                    m_store.setLayoutOption(d->id, g, on ? 1 : 0);
            });
            m_layoutMenu->addAction(action);
            continue;
        }
        auto* sub = new QMenu(title, m_layoutMenu);
        auto* exclusive = new QActionGroup(sub);
        for (std::size_t choice = 0; choice < label.choices.size(); ++choice) {
            auto* action = new QAction(QString::fromStdString(label.choices[choice]), sub);
            action->setCheckable(true);
            action->setActionGroup(exclusive);
            action->setChecked(chosen[group] == static_cast<int>(choice));
            const int c = static_cast<int>(choice);
            connect(action, &QAction::triggered, this, [this, g, c] {
                if (const DeviceModel* d = current())
                    m_store.setLayoutOption(d->id, g, c);
            });
            sub->addAction(action);
        }
        sub->setEnabled(label.choices.size() > 1);
        m_layoutMenu->addAction(sub->menuAction());
    }
    if (via) {
        if (!device.layoutLabels.empty())
            m_layoutMenu->addSeparator();
        auto* load = new QAction(QString::fromUtf8("Load VIA Definition..."), m_layoutMenu);
        load->setObjectName("loadViaDefinition");
        connect(load, &QAction::triggered, this, [this] { m_store.chooseViaDefinition(); });
        m_layoutMenu->addAction(load);
    }
}

void GenericDeviceCard::syncSkin(const DeviceModel& device, const QColor& accent)
{
    // Read from disk on every redraw: a skin dropped into the folder appears without a restart.
    m_skin = findSkin(device);
    m_skinControls->setVisible(m_skin.has_value());
    const bool studio = m_skin && m_useStudioSkin;
    m_chassis->setVisible(!studio);
    m_studio->setVisible(studio);
    m_studioButton->setChecked(m_useStudioSkin);
    m_deckButton->setChecked(!m_useStudioSkin);
    if (!m_skin)
        return;

    const SkinColorway* chosen = selectedColorway(m_skin->manifest, m_selectedColorwayID);
    m_colorwayButton->setText(chosen ? colorwayEntryText(*chosen) : QString());
    m_colorwayButton->setEnabled(!m_skin->manifest.colorways.empty());
    if (m_skin->manifest.colorways != m_menuColorways)
        rebuildColorwayMenu(m_skin->manifest.colorways);
    const auto entries = m_colorwayMenu->actions();
    for (qsizetype i = 0; i < entries.size(); ++i)
        entries[i]->setChecked(chosen && chosen->id == m_menuColorways[std::size_t(i)].id);
    if (!studio)
        return;

    // Tall photographs would push the rest of the card out of the window.
    constexpr double MaxStudioHeight = 400;
    const int width = std::min(
        m_maxDeckWidth, int(MaxStudioHeight * m_skin->manifest.aspectRatio) + 2 * HardwareStudioSkinView::GlowMargin);
    m_studio->setDisplayWidth(width);
    m_studio->setSkin(*m_skin, m_selectedColorwayID);
    HardwareStudioSkinView::Labels labels;
    labels.key = [this, &device](int row, int col) { return m_store.keyAction(device, device.activeLayer, row, col); };
    labels.encoder = [this, &device](int index, bool cw) {
        return m_store.encoderAction(device, device.activeLayer, index, cw);
    };
    m_studio->setDevice(device, labels, m_store.editMode(), accent);
}

void GenericDeviceCard::buildActionRow(QVBoxLayout* column)
{
    m_actions = new QWidget(this);
    auto* row = new QHBoxLayout(m_actions);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    auto* presets = iconButton(m_actions, "presets", "square.grid.2x2.fill", "Presets");
    presets->setToolTip("Browse built-in & custom presets per device, app, and OS (Clone, Edit & Save)");
    connect(presets, &QToolButton::clicked, this, [this] { m_store.setShowingPresets(true); });
    row->addWidget(presets);

    auto* save = iconButton(m_actions, "savePreset", "square.and.arrow.down", "Save");
    connect(save, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current())
            m_store.saveEditsToActivePreset(d->id);
    });
    row->addWidget(save);

    auto* backup = iconButton(m_actions, "backup", "arrow.down.doc", "Back Up");
    connect(backup, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current())
            m_store.saveBackup(d->id);
    });
    row->addWidget(backup);

    auto* restore = iconButton(m_actions, "restore", "arrow.up.doc", "Restore");
    restore->setToolTip("Restore mappings from backup (.json) or Vial (.vil)");
    connect(restore, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current())
            m_store.restore(d->id);
    });
    row->addWidget(restore);

    row->addStretch(1);

    auto* discard = iconButton(m_actions, "discard", "arrow.uturn.backward", "Discard");
    discard->setToolTip("Discard unsaved edits");
    connect(discard, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current())
            m_store.revert(d->id);
    });
    row->addWidget(discard);

    auto* apply = new QToolButton(m_actions);
    apply->setObjectName("apply");
    apply->setProperty("hudButton", true);
    apply->setProperty("primary", true);
    apply->setText("Apply");
    apply->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    apply->setIconSize(QSize(14, 14));
    apply->setCursor(Qt::PointingHandCursor);
    connect(apply, &QToolButton::clicked, this, [this] {
        if (const DeviceModel* d = current())
            m_store.apply(d->id);
    });
    row->addWidget(apply);
    column->addWidget(m_actions);
}

QToolButton* GenericDeviceCard::actionButton(const QString& objectName) const
{
    return m_actions->findChild<QToolButton*>(objectName);
}

const DeviceModel* GenericDeviceCard::current() const
{
    return m_store.device(m_deviceID);
}

void GenericDeviceCard::setMaximumDeckWidth(int width)
{
    m_maxDeckWidth = width;
    m_deck->setMaximumDeckWidth(width);
}

void GenericDeviceCard::sync(const DeviceModel& device)
{
    m_deviceID = device.id;
    const QString name = QString::fromStdString(device.displayName());
    m_name->setText(name);
    m_status->setState(device.connected, device.liveRead);
    m_proto->setText(QString::fromStdString(device.proto.label()));

    // Layer control.
    const int maxLayer = std::max(0, device.layerCount - 1);
    m_layerLabel->setText("Layer " + QString::number(device.activeLayer));
    const bool singleKnob = deviceProfile(device) == std::optional<std::string>("solodial");
    m_cycle->setVisible(singleKnob);
    m_prevLayer->setVisible(!singleKnob);
    m_nextLayer->setVisible(!singleKnob);
    m_cycle->setToolTip(QString::fromUtf8("Cycle Solodial preview layer (0–") + QString::number(maxLayer) + ")");
    m_prevLayer->setEnabled(device.activeLayer > 0);
    m_nextLayer->setEnabled(device.activeLayer < maxLayer);

    // Deck.
    const bool editing = m_store.editMode();
    m_chassis->setRgb(device.rgb);
    const QColor accent = m_chassis->accentColor();
    DeckView::Labels labels;
    labels.key = [this, &device](int row, int col) { return m_store.keyAction(device, device.activeLayer, row, col); };
    labels.encoder = [this, &device](int index, bool cw) {
        return m_store.encoderAction(device, device.activeLayer, index, cw);
    };
    m_deck->setDevice(device, labels, editing, accent);
    syncSkin(device, accent);
    syncLayoutMenu(device);

    // Tap dance.
    const bool hasTapDance = device.tapDanceCount > 0 && !device.tapDances.empty();
    m_tapSection->setVisible(hasTapDance);
    if (hasTapDance) {
        int shown = shownTapDanceEntry(device);
        if (const auto picked = m_pickedTapEntry.find(device.id);
            picked != m_pickedTapEntry.end() && picked->second < int(device.tapDances.size()))
            shown = picked->second;
        // A live press of another entry's slot brings that entry up, so the flash is seen.
        for (int entry = 0; entry < int(device.tapDances.size()); ++entry)
            for (int slot = 0; slot < 4; ++slot)
                if (flashHitsTapDance(device.flashTarget, entry, slot))
                    shown = entry;
        m_shownTapEntry = shown;
        syncTapDanceEntries(device, shown);
        m_tapTitle->setText(TapDanceRow::sectionTitle(m_shownTapEntry));
        for (int slot = 0; slot < 4; ++slot) {
            TapDanceRow* row = m_tapRows[slot];
            row->setAction(m_store.tapDanceAction(device, m_shownTapEntry, slot));
            row->setAccentColor(accent);
            row->setEditable(editing);
            row->setHighlighted(flashHitsTapDance(device.flashTarget, m_shownTapEntry, slot));
        }
    }

    // Lighting.
    const bool hasLighting = device.rgb.kind != RGBProtocolKind::none;
    m_lightingBox->setVisible(hasLighting);
    if (hasLighting)
        m_lighting->setState(device.rgb, device.connected, lightingEffects(device.rgb.kind, device.lightingEffectIds));

    // Actions.
    const std::string quotedName = device.displayName();
    actionButton("backup")->setToolTip("Back up " + QString::fromStdString(quotedName) + " mappings to JSON");
    QToolButton* apply = actionButton("apply");
    const bool applying = m_store.isApplyingDeviceID() == device.id;
    apply->setText(applying ? QString::fromUtf8("Applying…") : "Apply");
    apply->setIcon(hud::symbol("checkmark.circle.fill", applying ? hud::textSecondary() : hud::inkOn(accent), 14));
    apply->setToolTip("Write staged changes directly to " + QString::fromStdString(quotedName) + " EEPROM");
    apply->setEnabled(device.dirty && !applying && device.connected);
    apply->setProperty("busy", applying);
    // Restyling re-polishes the button: only when the light's colour changed, not on every flash.
    const QString applyStyle = QString("QToolButton#apply:enabled { background: %1; color: %2; }")
                                   .arg(accent.name(), hud::inkOn(accent).name());
    if (apply->styleSheet() != applyStyle)
        apply->setStyleSheet(applyStyle);
    actionButton("discard")->setEnabled(device.dirty && !applying);

    QToolButton* save = actionButton("savePreset");
    const DevicePreset* active = m_store.activePreset(device.id);
    const bool customActive = active && !active->builtIn && !active->community.value_or(false);
    save->setVisible(customActive);
    save->setEnabled(customActive && device.dirty);
    if (active)
        save->setToolTip("Save edits back into custom preset \"" + QString::fromStdString(active->name) + "\"");
}

void GenericDeviceCard::onKey(int row, int col, Qt::KeyboardModifiers mods)
{
    const DeviceModel* d = current();
    if (!d)
        return;
    if (m_store.editMode()) {
        m_store.chooseKey(d->id, d->activeLayer, row, col);
        return;
    }
    if ((mods & Qt::AltModifier) && m_demo.press)
        m_demo.press(d->id, row, col);
}

void GenericDeviceCard::onEncoder(int index, bool clockwise, Qt::KeyboardModifiers mods)
{
    const DeviceModel* d = current();
    if (!d)
        return;
    if (m_store.editMode()) {
        m_store.chooseEncoder(d->id, d->activeLayer, index, clockwise);
        return;
    }
    if ((mods & Qt::AltModifier) && m_demo.turn)
        m_demo.turn(d->id, index, clockwise);
}

void GenericDeviceCard::onKnobCenter(int index, Qt::KeyboardModifiers mods)
{
    const DeviceModel* d = current();
    if (!d)
        return;
    for (const auto& e : d->encoders) {
        if (e.id != index || !e.hasClick())
            continue;
        if (m_store.editMode())
            m_store.chooseKey(d->id, d->activeLayer, *e.clickRow, *e.clickCol);
        else if ((mods & Qt::AltModifier) && m_demo.press)
            m_demo.press(d->id, *e.clickRow, *e.clickCol);
        return;
    }
}

void GenericDeviceCard::onKnobWheel(int index, bool clockwise, Qt::KeyboardModifiers mods)
{
    const DeviceModel* d = current();
    if (d && !m_store.editMode() && (mods & Qt::AltModifier) && m_demo.turn)
        m_demo.turn(d->id, index, clockwise);
}

void GenericDeviceCard::onTapDance(int slot)
{
    const DeviceModel* d = current();
    if (d && m_store.editMode())
        m_store.chooseTapDance(d->id, m_shownTapEntry, slot);
}

void GenericDeviceCard::syncTapDanceEntries(const DeviceModel& device, int shown)
{
    const int count = int(device.tapDances.size());
    auto* grid = static_cast<QGridLayout*>(m_tapEntryBar->layout());
    if (int(m_tapEntryButtons.size()) != count) {
        for (QToolButton* b : m_tapEntryButtons) {
            m_tapEntryBar->layout()->removeWidget(b);
            b->hide();
            b->deleteLater();
        }
        m_tapEntryButtons.clear();
        constexpr int PerRow = 8;
        for (int entry = 0; entry < count; ++entry) {
            auto* b = new QToolButton(m_tapEntryBar);
            b->setObjectName("tapDanceEntry");
            b->setText("TD" + QString::number(entry));
            b->setCheckable(true);
            b->setAutoRaise(true);
            b->setCursor(Qt::PointingHandCursor);
            b->setProperty("hudButton", true);
            b->setFont(hud::uiFont(8, QFont::DemiBold));
            connect(b, &QToolButton::clicked, this, [this, entry] { onTapDanceEntry(entry); });
            grid->addWidget(b, entry / PerRow, entry % PerRow);
            m_tapEntryButtons.push_back(b);
        }
    }
    // A single entry needs no chooser.
    m_tapEntryBar->setVisible(count > 1);
    for (int entry = 0; entry < count; ++entry) {
        QToolButton* b = m_tapEntryButtons[std::size_t(entry)];
        b->setChecked(entry == shown);
        const TapDanceData& td = device.tapDances[std::size_t(entry)];
        const bool empty = td.onTap == 0 && td.onHold == 0 && td.onDoubleTap == 0 && td.onTapHold == 0;
        b->setToolTip(empty ? "Tap Dance " + QString::number(entry) + " (empty)"
                            : "Tap Dance " + QString::number(entry));
        b->setEnabled(!device.unreadTapDances.contains(entry));
    }
}

void GenericDeviceCard::onTapDanceEntry(int entry)
{
    if (const DeviceModel* d = current()) {
        m_pickedTapEntry[d->id] = entry;
        resync();
    }
}

void GenericDeviceCard::onChangeBaseKey()
{
    const DeviceModel* d = current();
    if (!d)
        return;
    // The base key is the key that calls the shown tap dance; without one, the first key.
    const Keycode wanted = TapDanceBase | Keycode(m_shownTapEntry);
    const PhysicalKey* base = nullptr;
    for (const auto& key : d->keys) {
        if (key.decal)
            continue;
        if (!base)
            base = &key;
        if (d->keycodeAt(d->activeLayer, key.row, key.col) == wanted) {
            base = &key;
            break;
        }
    }
    if (!base)
        return;
    if (!m_store.editMode())
        m_store.setEditMode(true);
    m_store.chooseKey(d->id, d->activeLayer, base->row, base->col);
}

} // namespace keyglass
