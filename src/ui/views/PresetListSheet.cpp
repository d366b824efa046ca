#include "ui/views/PresetListSheet.h"

#include "presets/PresetLibrary.h"
#include "store/PadStore.h"
#include "ui/HudStyle.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace keyglass {

PresetListSheet::PresetListSheet(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName("presetSheet");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);

    m_card = new QWidget(this);
    m_card->setObjectName("sheetCard");
    m_card->setAttribute(Qt::WA_StyledBackground);
    m_card->setMinimumWidth(380);
    m_card->setMaximumWidth(520);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(18, 16, 18, 16);
    column->setSpacing(8);

    auto* title = new QLabel("Presets Library", m_card);
    title->setFont(hud::uiFont(13, QFont::DemiBold));
    column->addWidget(title);
    m_subtitle = new QLabel(m_card);
    m_subtitle->setObjectName("secondary");
    m_subtitle->setWordWrap(true);
    column->addWidget(m_subtitle);

    auto* scroll = new QScrollArea(m_card);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
    m_list = new QWidget(scroll);
    m_rows = new QVBoxLayout(m_list);
    m_rows->setContentsMargins(0, 0, 0, 0);
    m_rows->setSpacing(6);
    scroll->setWidget(m_list);
    column->addWidget(scroll, 1);

    auto* toolbar = new QHBoxLayout;
    auto* restore = new QPushButton("Restore Backup", m_card);
    restore->setObjectName("restoreBackup");
    restore->setProperty("hudButton", true);
    restore->setToolTip("Restore the latest automatic backup created before applying a preset");
    connect(restore, &QPushButton::clicked, this, [this] {
        if (const DeviceModel* device = m_store.selectedDevice())
            m_store.restoreLatestAutoBackup(device->id);
    });
    toolbar->addWidget(restore);
    auto* folder = new QPushButton("Presets Folder", m_card);
    folder->setObjectName("presetsFolder");
    folder->setProperty("hudButton", true);
    folder->setToolTip("Open custom Presets folder");
    connect(folder, &QPushButton::clicked, this, [this] { m_store.openCustomPresetsFolder(); });
    toolbar->addWidget(folder);
    toolbar->addStretch(1);
    auto* done = new QPushButton("Close", m_card);
    done->setObjectName("closePresets");
    done->setProperty("hudButton", true);
    connect(done, &QPushButton::clicked, this, &PresetListSheet::close);
    toolbar->addWidget(done);
    column->addLayout(toolbar);

    outer->addWidget(m_card, 1, Qt::AlignHCenter);
    hide();
}

void PresetListSheet::open()
{
    const DeviceModel* device = m_store.selectedDevice();
    if (!device) {
        hide();
        return;
    }
    m_shownFor = device->id;
    rebuild();
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    show();
    raise();
}

void PresetListSheet::close()
{
    m_store.setShowingPresets(false);
}

void PresetListSheet::rebuild()
{
    while (QLayoutItem* item = m_rows->takeAt(0)) {
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    const DeviceModel* device = m_store.device(m_shownFor);
    if (!device)
        return;
    const QString name = QString::fromStdString(device->displayName());
    m_subtitle->setText(name + QString::fromUtf8(" · Per-app & per-OS layouts (firmware-custom keys stay protected)"));
    const DevicePreset* active = m_store.activePreset(device->id);

    int shown = 0;
    for (const DevicePreset& preset : m_store.availablePresets()) {
        if (!presetFitsDevice(preset, *device))
            continue;
        ++shown;
        auto* row = new QWidget(m_list);
        row->setObjectName("presetRow");
        row->setAttribute(Qt::WA_StyledBackground);
        row->setStyleSheet("#presetRow { background: rgba(255, 255, 255, 10); border-radius: 8px; }");
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(8, 4, 8, 4);
        auto* text = new QLabel(row);
        const QString os = QString::fromStdString(preset.os).toLower() == "windows" ? "Windows" : "macOS";
        text->setText("<b>" + QString::fromStdString(preset.name).toHtmlEscaped() + "</b><br><span>" +
                      QString::fromStdString(preset.appName).toHtmlEscaped() + QString::fromUtf8(" · ") + os +
                      (preset.builtIn ? "" : QString::fromUtf8(" · custom")) + "</span>");
        line->addWidget(text, 1);
        if (active && active->id == preset.id) {
            auto* badge = new QLabel(QString::fromUtf8("✓ Active"), row);
            badge->setObjectName("activeBadge");
            badge->setStyleSheet("color: #4cd97b; font-weight: 600;");
            line->addWidget(badge);
        }
        auto* load = new QPushButton("Load", row);
        load->setObjectName("load");
        load->setProperty("hudButton", true);
        load->setToolTip("Stage this preset onto " + name + " (click Apply to flash)");
        const DevicePreset copy = preset;
        const std::string deviceID = device->id;
        connect(load, &QPushButton::clicked, this, [this, copy, deviceID] { m_store.applyPreset(copy, deviceID, false); });
        line->addWidget(load);
        if (!preset.builtIn) {
            auto* remove = new QPushButton("Delete", row);
            remove->setObjectName("delete");
            remove->setProperty("hudButton", true);
            remove->setToolTip("Delete custom preset");
            connect(remove, &QPushButton::clicked, this, [this, copy] { m_store.deletePreset(copy); });
            line->addWidget(remove);
        }
        m_rows->addWidget(row);
    }
    if (shown == 0) {
        auto* empty = new QLabel("No presets match this device and filter. Click \"Save Current\" to create a custom "
                                 "preset.",
                                 m_list);
        empty->setObjectName("secondary");
        empty->setWordWrap(true);
        m_rows->addWidget(empty);
    }
    m_rows->addStretch(1);
}

void PresetListSheet::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(5, 6, 8, 150));
}

void PresetListSheet::mousePressEvent(QMouseEvent* event)
{
    if (!m_card->geometry().contains(event->position().toPoint()))
        close();
}

void PresetListSheet::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace keyglass
