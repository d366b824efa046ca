#include "ui/HardwareStudioSkinView.h"

#include "skins/SkinGeometry.h"
#include "ui/FlashTarget.h"
#include "ui/HudStyle.h"
#include "ui/SculptedKeycap.h"

#include <QEasingCurve>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVariantAnimation>

#include <cmath>

namespace keyglass {

namespace {

QColor fallbackFill()
{
    return QColor::fromRgbF(float(MissingImageRGB[0]), float(MissingImageRGB[1]), float(MissingImageRGB[2]));
}

QColor glowQColor(const RGBState& rgb, double opacity)
{
    const GlowColor c = glowColor(rgb);
    return QColor::fromHsvF(float(std::min(c.hue, 0.9999)), float(c.saturation), float(c.value), float(opacity));
}

} // namespace

// --- SkinKeyLabel ---------------------------------------------------------------------------------

SkinKeyLabel::SkinKeyLabel(QWidget* parent) : QWidget(parent), m_accent(hud::defaultAccent())
{
    setAttribute(Qt::WA_Hover);
}

void SkinKeyLabel::setAction(const KeyAction& action)
{
    if (action == m_action)
        return;
    m_action = action;
    setToolTip(SculptedKeycap::toolTipFor(m_action, m_locked));
    update();
}

void SkinKeyLabel::setLocked(bool locked)
{
    if (locked == m_locked)
        return;
    m_locked = locked;
    setToolTip(SculptedKeycap::toolTipFor(m_action, m_locked));
    update();
}

void SkinKeyLabel::setLit(bool lit)
{
    if (lit != m_lit) {
        m_lit = lit;
        update();
    }
}

void SkinKeyLabel::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    setCursor(editable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    update();
}

void SkinKeyLabel::setInk(bool darkInk, const QColor& accent)
{
    if (darkInk == m_darkInk && accent == m_accent)
        return;
    m_darkInk = darkInk;
    m_accent = accent;
    update();
}

void SkinKeyLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
}

void SkinKeyLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = m_pressed;
    m_pressed = false;
    if (wasPressed && rect().contains(event->position().toPoint()))
        emit tapped(event->modifiers());
}

void SkinKeyLabel::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
}

void SkinKeyLabel::leaveEvent(QEvent*)
{
    m_hover = false;
    m_pressed = false;
    update();
}

void SkinKeyLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF cap = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = std::min<qreal>(8, cap.height() * 0.16);

    // The photographed cap lights up under the label: a wash of the accent with a brighter rim.
    if (m_lit) {
        QColor wash = m_accent;
        wash.setAlphaF(0.62f);
        p.setPen(QPen(m_accent.lighter(130), 1.6));
        p.setBrush(wash);
        p.drawRoundedRect(cap, radius, radius);
    } else if (m_editable) {
        QColor ring = m_accent;
        ring.setAlpha(m_hover ? 230 : 120);
        p.setPen(QPen(ring, m_hover ? 1.6 : 1.0, m_locked ? Qt::DashLine : Qt::SolidLine));
        p.setBrush(m_hover ? QColor(255, 255, 255, 22) : Qt::NoBrush);
        p.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }

    // The legend sits on the cap's top face, which is the upper part of the photographed key.
    const QRectF face =
        cap.adjusted(cap.width() * 0.14, cap.height() * 0.08, -cap.width() * 0.14, -cap.height() * 0.22);
    const QString title = m_action.isTransparent ? QString::fromUtf8("▽") : QString::fromStdString(m_action.title);
    const QString shortcut = QString::fromStdString(m_action.shortcut);
    const bool dim = m_action.isEmpty || m_action.isTransparent;
    QColor ink = m_lit ? hud::inkOn(m_accent) : (m_darkInk ? QColor(0x1b, 0x1d, 0x22) : QColor(0xf2, 0xf4, 0xf8));
    if (dim && !m_lit)
        ink.setAlphaF(0.45f);
    const bool showShortcut = !shortcut.isEmpty() && shortcut != title && face.height() >= 30;
    QRectF titleBox = face;
    if (showShortcut)
        titleBox.setBottom(face.bottom() - face.height() * 0.34);
    p.setPen(ink);
    hud::drawFittedText(p, titleBox, title, hud::uiFont(9.5, QFont::DemiBold), 6.0, 2);
    if (showShortcut) {
        QRectF shortBox = face;
        shortBox.setTop(titleBox.bottom());
        QColor soft = ink;
        soft.setAlphaF(ink.alphaF() * 0.72f);
        p.setPen(soft);
        hud::drawFittedText(p, shortBox, shortcut, hud::monoFont(7.0), 5.5, 1);
    }
    if (m_locked) {
        p.setPen(Qt::NoPen);
        p.setBrush(hud::errorOrange());
        p.drawEllipse(QRectF(face.right() - 5, face.top(), 5, 5));
    }
}

// --- HardwareStudioSkinView ---------------------------------------------------------------------

HardwareStudioSkinView::HardwareStudioSkinView(QWidget* parent) : QWidget(parent), m_accent(hud::defaultAccent())
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_fade = new QVariantAnimation(this);
    m_fade->setStartValue(0.0);
    m_fade->setEndValue(1.0);
    m_fade->setDuration(ColorwayFadeMilliseconds);
    m_fade->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        m_fadeT = v.toDouble();
        update();
    });
    connect(m_fade, &QVariantAnimation::finished, this, [this] {
        m_previousImage = QPixmap();
        m_fadeT = 1;
        update();
    });
}

QSize HardwareStudioSkinView::sizeHint() const
{
    const double aspect = m_skin.manifest.aspectRatio > 0 ? m_skin.manifest.aspectRatio : 1;
    const double imageWidth = m_displayWidth - 2 * GlowMargin;
    return QSize(m_displayWidth, int(std::lround(imageWidth / aspect)) + 2 * GlowMargin);
}

void HardwareStudioSkinView::setDisplayWidth(int width)
{
    width = std::max(120, width);
    if (width == m_displayWidth)
        return;
    m_displayWidth = width;
    setFixedSize(sizeHint());
    placeLabels();
}

QRectF HardwareStudioSkinView::imageRect() const
{
    const QRectF box = QRectF(rect()).adjusted(GlowMargin, GlowMargin, -GlowMargin, -GlowMargin);
    const SkinRect fit = fitAspect(box.width(), box.height(), m_skin.manifest.aspectRatio);
    return QRectF(box.x() + fit.x, box.y() + fit.y, fit.w, fit.h);
}

QRectF HardwareStudioSkinView::toWidget(double x, double y, double w, double h) const
{
    const QRectF image = imageRect();
    return QRectF(image.x() + x, image.y() + y, w, h);
}

QRectF HardwareStudioSkinView::encoderRect(int index) const
{
    const QRectF image = imageRect();
    for (const auto& e : m_skin.manifest.encoders)
        if (e.index == index) {
            const SkinRect r = skinCircleRect(e.cx, e.cy, e.r, image.width(), image.height());
            return toWidget(r.x, r.y, r.w, r.h);
        }
    return {};
}

QRectF HardwareStudioSkinView::layerButtonRect() const
{
    if (!m_skin.manifest.layerButton)
        return {};
    const auto& b = *m_skin.manifest.layerButton;
    const QRectF image = imageRect();
    const SkinRect r = skinCircleRect(b.cx, b.cy, b.r, image.width(), image.height());
    return toWidget(r.x, r.y, r.w, r.h);
}

QRectF HardwareStudioSkinView::ledRect(std::size_t i) const
{
    if (i >= m_skin.manifest.leds.size())
        return {};
    const auto& led = m_skin.manifest.leds[i];
    const QRectF image = imageRect();
    const SkinRect r = skinCircleRect(led.cx, led.cy, led.r, image.width(), image.height());
    return toWidget(r.x, r.y, r.w, r.h);
}

double HardwareStudioSkinView::glow() const
{
    return glowOpacity(m_device.rgb);
}

SkinKeyLabel* HardwareStudioSkinView::keyLabel(int row, int col) const
{
    for (std::size_t i = 0; i < m_labels.size(); ++i)
        if (m_skin.manifest.keys[i].row == row && m_skin.manifest.keys[i].col == col)
            return m_labels[i];
    return nullptr;
}

bool HardwareStudioSkinView::isCrossFading() const
{
    return m_fade->state() == QAbstractAnimation::Running;
}

void HardwareStudioSkinView::finishCrossFade()
{
    if (isCrossFading())
        m_fade->setCurrentTime(m_fade->duration());
    m_fade->stop();
    m_previousImage = QPixmap();
    m_fadeT = 1;
    update();
}

void HardwareStudioSkinView::loadImage()
{
    const SkinColorway* colorway = selectedColorway(m_skin.manifest, m_colorwayID);
    const auto path = colorway ? colorwayImagePath(m_skin.folder, *colorway) : std::nullopt;
    const std::string wanted = path ? path->string() : std::string();
    if (wanted == m_imagePath)
        return;
    const bool hadImage = !m_imagePath.empty() || !m_image.isNull();
    m_previousImage = m_image;
    m_imagePath = wanted;
    m_image = path ? QPixmap(QString::fromStdString(wanted)) : QPixmap();
    if (hadImage && !m_previousImage.isNull()) {
        m_fadeT = 0;
        m_fade->stop();
        m_fade->start();
    } else {
        m_previousImage = QPixmap();
        m_fadeT = 1;
    }
}

void HardwareStudioSkinView::setSkin(const HardwareSkin& skin, const std::string& colorwayID)
{
    const bool slotsChanged = skin.manifest.keys != m_skin.manifest.keys || skin.folder != m_skin.folder ||
                              skin.manifest.aspectRatio != m_skin.manifest.aspectRatio;
    if (skin.folder != m_skin.folder) {
        // Another pad's photograph: no fade from the old one.
        m_imagePath.clear();
        m_image = QPixmap();
    }
    m_skin = skin;
    const SkinColorway* chosen = selectedColorway(m_skin.manifest, colorwayID);
    m_colorwayID = chosen ? chosen->id : std::string();
    loadImage();
    if (slotsChanged) {
        for (auto* label : m_labels) {
            label->hide();
            label->deleteLater();
        }
        m_labels.clear();
        for (std::size_t i = 0; i < m_skin.manifest.keys.size(); ++i) {
            auto* label = new SkinKeyLabel(this);
            const int row = m_skin.manifest.keys[i].row, col = m_skin.manifest.keys[i].col;
            connect(label, &SkinKeyLabel::tapped, this, [this, row, col](Qt::KeyboardModifiers mods) {
                emit keyTapped(row, col, mods);
            });
            label->show();
            m_labels.push_back(label);
        }
        setFixedSize(sizeHint());
        placeLabels();
    }
    update();
}

void HardwareStudioSkinView::placeLabels()
{
    const QRectF image = imageRect();
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        const SkinRect r = skinKeyRect(m_skin.manifest.keys[i], image.width(), image.height());
        const QRectF box = toWidget(r.x, r.y, r.w, r.h);
        m_labels[i]->setGeometry(box.toAlignedRect());
    }
}

void HardwareStudioSkinView::resizeEvent(QResizeEvent*)
{
    placeLabels();
}

void HardwareStudioSkinView::setDevice(const DeviceModel& device,
                                       const Labels& labels,
                                       bool editable,
                                       const QColor& accent)
{
    m_device = device;
    m_editable = editable;
    m_accent = accent;
    const SkinColorway* colorway = selectedColorway(m_skin.manifest, m_colorwayID);
    const bool darkInk = colorway && colorway->lightKeycaps;
    const int layer = device.activeLayer;
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        const SkinKeySlot& slot = m_skin.manifest.keys[i];
        SkinKeyLabel* label = m_labels[i];
        if (labels.key)
            label->setAction(labels.key(slot.row, slot.col));
        label->setLocked(device.protectedLayerCells.count(layerCellKey(layer, slot.row, slot.col)) > 0);
        label->setLit(flashHitsKey(device.flashTarget, slot.row, slot.col));
        label->setEditable(editable);
        label->setInk(darkInk, accent);
    }

    // The push binding in the middle, the turn bindings under it.
    m_encoderTexts.clear();
    for (const auto& slot : m_skin.manifest.encoders) {
        const PhysicalEncoder* encoder = nullptr;
        for (const auto& e : device.encoders)
            if (e.id == slot.index)
                encoder = &e;
        EncoderText text;
        if (encoder && encoder->hasClick() && labels.key)
            text.title = QString::fromStdString(labels.key(*encoder->clickRow, *encoder->clickCol).title);
        else
            text.title = encoder && !encoder->name.empty() ? QString::fromStdString(encoder->name)
                                                           : "Knob " + QString::number(slot.index + 1);
        if (labels.encoder) {
            const QString ccw = QString::fromStdString(labels.encoder(slot.index, false).title);
            const QString cw = QString::fromStdString(labels.encoder(slot.index, true).title);
            text.turns = slot.isFlushWheel ? QString::fromUtf8("▲ ") + cw + QString::fromUtf8("\n▼ ") + ccw
                                           : ccw + QString::fromUtf8("  ‹ › ") + cw;
        }
        m_encoderTexts.push_back(text);
    }
    update();
}

QString HardwareStudioSkinView::encoderTitle(int index) const
{
    for (std::size_t i = 0; i < m_skin.manifest.encoders.size() && i < m_encoderTexts.size(); ++i)
        if (m_skin.manifest.encoders[i].index == index)
            return m_encoderTexts[i].title;
    return {};
}

QString HardwareStudioSkinView::encoderTurns(int index) const
{
    for (std::size_t i = 0; i < m_skin.manifest.encoders.size() && i < m_encoderTexts.size(); ++i)
        if (m_skin.manifest.encoders[i].index == index)
            return m_encoderTexts[i].turns;
    return {};
}

bool HardwareStudioSkinView::encoderLit(int index, const char* part) const
{
    return flashHitsEncoder(m_device.flashTarget, index, part);
}

void HardwareStudioSkinView::paintEncoder(QPainter& p, const SkinEncoderSlot& slot, const EncoderText& text)
{
    const QRectF r = encoderRect(slot.index);
    if (r.isEmpty())
        return;
    const QPointF c = r.center();
    const qreal radius = r.width() / 2;
    const SkinColorway* colorway = selectedColorway(m_skin.manifest, m_colorwayID);
    const bool darkInk = colorway && colorway->lightKeycaps;

    // A turn lights the side it went to; a push lights the whole face.
    const bool ccw = encoderLit(slot.index, "ccw"), cw = encoderLit(slot.index, "cw");
    const bool click = encoderLit(slot.index, "click");
    QColor lit = m_accent;
    if (click) {
        lit.setAlphaF(0.5f);
        p.setPen(Qt::NoPen);
        p.setBrush(lit);
        p.drawEllipse(c, radius, radius);
    }
    if (ccw || cw) {
        lit.setAlphaF(0.95f);
        p.setPen(QPen(lit, std::max<qreal>(3, radius * 0.1), Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QRectF arc = QRectF(r).adjusted(-3, -3, 3, 3);
        p.drawArc(arc, ccw ? 110 * 16 : -70 * 16, 140 * 16);
    }
    if (m_editable) {
        QColor ring = m_accent;
        ring.setAlpha(140);
        p.setPen(QPen(ring, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, radius + 1.5, radius + 1.5);
        p.drawLine(QPointF(c.x(), r.top() + radius * 0.15), QPointF(c.x(), r.bottom() - radius * 0.15));
    }

    const QString& title = text.title;
    const QString& turns = text.turns;
    const QColor ink = click ? hud::inkOn(m_accent) : (darkInk ? QColor(0x1b, 0x1d, 0x22) : QColor(0xf2, 0xf4, 0xf8));
    // A flush wheel shows only a band of metal; its labels go beside it, on the case.
    const QRectF box = slot.isFlushWheel ? QRectF(c.x() - radius * 1.85 - 4, r.top(), radius * 1.3, r.height())
                                         : r.adjusted(radius * 0.3, radius * 0.34, -radius * 0.3, -radius * 0.34);
    QRectF titleBox = box, turnBox = box;
    titleBox.setBottom(box.top() + box.height() * 0.55);
    turnBox.setTop(titleBox.bottom());
    p.setPen(ink);
    hud::drawFittedText(p, titleBox, title, hud::uiFont(radius > 50 ? 11.0 : 8.5, QFont::DemiBold), 6.0, 2);
    if (!turns.isEmpty()) {
        QColor soft = ink;
        soft.setAlphaF(0.75f);
        p.setPen(soft);
        hud::drawFittedText(p, turnBox, turns, hud::monoFont(radius > 50 ? 8.0 : 6.5), 5.0, 2);
    }
}

void HardwareStudioSkinView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF image = imageRect();
    const double glowAlpha = glow();
    const bool lightOn = m_device.rgb.kind != RGBProtocolKind::none;

    // The glow around the case: a soft halo, then the outline.
    if (glowAlpha > 0) {
        const QColor base = lightOn ? glowQColor(m_device.rgb, 1) : m_accent;
        p.setPen(Qt::NoPen);
        for (int i = GlowMargin; i >= 1; --i) {
            QColor halo = base;
            halo.setAlphaF(float(glowAlpha * 0.16 * (GlowMargin - i + 1) / GlowMargin));
            p.setBrush(halo);
            p.drawRoundedRect(image.adjusted(-i, -i, i, i), GlowCornerRadius + i, GlowCornerRadius + i);
        }
    }

    // The photograph, stretched to the full area; the solid fill when it cannot be loaded.
    if (m_image.isNull() && m_previousImage.isNull()) {
        p.fillRect(image, fallbackFill());
    } else {
        if (!m_previousImage.isNull() && m_fadeT < 1) {
            p.setOpacity(1 - m_fadeT);
            p.drawPixmap(image, m_previousImage, m_previousImage.rect());
        }
        p.setOpacity(m_previousImage.isNull() ? 1.0 : m_fadeT);
        if (m_image.isNull())
            p.fillRect(image, fallbackFill());
        else
            p.drawPixmap(image, m_image, m_image.rect());
        p.setOpacity(1);
    }

    if (glowAlpha > 0) {
        QColor stroke = lightOn ? glowQColor(m_device.rgb, 1) : m_accent;
        stroke.setAlphaF(float(glowStrokeOpacity(glowAlpha)));
        p.setPen(QPen(stroke, GlowStrokeWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(image.adjusted(0.75, 0.75, -0.75, -0.75), GlowCornerRadius, GlowCornerRadius);
    }

    // LEDs shine in the pad's colour.
    for (std::size_t i = 0; i < m_skin.manifest.leds.size(); ++i) {
        const QRectF led = ledRect(i);
        const QColor colour = lightOn ? glowQColor(m_device.rgb, 1) : m_accent;
        QRadialGradient shine(led.center(), led.width() * 1.6);
        QColor core = colour;
        core.setAlphaF(float(std::min(1.0, glowAlpha * 2.2)));
        QColor edge = colour;
        edge.setAlphaF(0);
        shine.setColorAt(0.0, core);
        shine.setColorAt(0.35, core);
        shine.setColorAt(1.0, edge);
        p.setPen(Qt::NoPen);
        p.setBrush(shine);
        p.drawEllipse(led.center(), led.width() * 1.6, led.height() * 1.6);
    }

    for (std::size_t i = 0; i < m_skin.manifest.encoders.size() && i < m_encoderTexts.size(); ++i)
        paintEncoder(p, m_skin.manifest.encoders[i], m_encoderTexts[i]);

    if (m_skin.manifest.layerButton) {
        const QRectF b = layerButtonRect();
        const SkinColorway* colorway = selectedColorway(m_skin.manifest, m_colorwayID);
        p.setPen(colorway && colorway->lightKeycaps ? QColor(0x1b, 0x1d, 0x22) : QColor(0xf2, 0xf4, 0xf8));
        p.setFont(hud::uiFont(std::max(7.0, b.height() * 0.32), QFont::Bold));
        p.drawText(b, Qt::AlignCenter, QString::number(m_device.activeLayer));
    }
}

void HardwareStudioSkinView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF at = event->position();
    auto inside = [&](const QRectF& r) {
        const QPointF d = at - r.center();
        return !r.isEmpty() && std::hypot(d.x(), d.y()) <= r.width() / 2;
    };
    if (inside(layerButtonRect())) {
        emit layerButtonTapped();
        return;
    }
    for (const auto& e : m_skin.manifest.encoders) {
        const QRectF r = encoderRect(e.index);
        if (!inside(r))
            continue;
        const QPointF d = at - r.center();
        if (std::hypot(d.x(), d.y()) <= r.width() * 0.22)
            emit knobCenterTapped(e.index, event->modifiers());
        else if (e.isFlushWheel) // a wheel rolls up (clockwise) and down
            emit encoderTapped(e.index, d.y() < 0, event->modifiers());
        else
            emit encoderTapped(e.index, d.x() >= 0, event->modifiers());
        return;
    }
}

} // namespace keyglass
