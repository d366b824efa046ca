#include "ui/HudStyle.h"

#include "platform/Paths.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

namespace keyglass::hud {

QColor panelTop()
{
    return QColor(0x1d, 0x20, 0x26);
}
QColor panelBottom()
{
    return QColor(0x12, 0x14, 0x18);
}
QColor hairline()
{
    return QColor(255, 255, 255, 22);
}
QColor textPrimary()
{
    return QColor(0xec, 0xee, 0xf2);
}
QColor textSecondary()
{
    return QColor(0x9a, 0xa1, 0xad);
}
QColor textTertiary()
{
    return QColor(0x8a, 0x90, 0x9c);
}
QColor liveGreen()
{
    return QColor(0x34, 0xc7, 0x59);
}
QColor errorOrange()
{
    return QColor(0xff, 0x9f, 0x0a);
}
QColor defaultAccent()
{
    return QColor(0x5a, 0xa9, 0xff);
}

QColor accentFor(const RGBState& rgb, const QColor& fallback)
{
    if (rgb.kind == RGBProtocolKind::none)
        return fallback;
    if (rgb.sat <= 34)
        return QColor(0xd8, 0xe2, 0xf0);
    const int hue = static_cast<int>(std::lround(rgb.hue * 360.0 / 256.0)) % 360;
    // A light tone of the hue: pure hues (deep blue especially) vanish against the dark glass.
    const int sat = std::max<int>(rgb.sat, 150);
    return QColor::fromHsl(hue, std::min(sat, 235), 168);
}

QColor inkOn(const QColor& background)
{
    const double luminance = 0.2126 * background.redF() + 0.7152 * background.greenF() + 0.0722 * background.blueF();
    return luminance > 0.5 ? QColor(0x0b, 0x0d, 0x10) : QColor(255, 255, 255);
}

void drawFittedText(QPainter& p, const QRectF& box, const QString& text, QFont font, qreal minPoints, int maxLines)
{
    for (qreal pt = font.pointSizeF(); pt >= minPoints; pt -= 0.5) {
        font.setPointSizeF(pt);
        const QFontMetricsF fm(font);
        const QRectF needed = fm.boundingRect(box, Qt::AlignCenter | Qt::TextWordWrap, text);
        if (needed.width() <= box.width() + 0.5 &&
            needed.height() <= std::min(box.height(), fm.lineSpacing() * maxLines) + 0.5)
            break;
    }
    p.setFont(font);
    p.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, fittedText(QFontMetricsF(font), box.width(), text, maxLines));
}

QString fittedText(const QFontMetricsF& metrics, qreal width, const QString& text, int maxLines)
{
    QStringList words = text.split(' ', Qt::SkipEmptyParts);
    for (QString& word : words)
        if (metrics.horizontalAdvance(word) > width + 0.5)
            word = metrics.elidedText(word, Qt::ElideRight, width);
    QString shown = words.join(' ');
    if (metrics.horizontalAdvance(shown) > width * maxLines)
        shown = metrics.elidedText(shown, Qt::ElideRight, width * maxLines - 4);
    return shown;
}

QFont uiFont(qreal points, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(points);
    font.setWeight(weight);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QFont monoFont(qreal points, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

namespace {

QString symbolFile(const QString& name)
{
    static QHash<QString, QString> found;
    const auto it = found.constFind(name);
    if (it != found.constEnd())
        return *it;
    QString file;
    for (const auto& dir : paths::resourceDirs()) {
        const QString candidate = QString::fromStdString((dir / "icons").string()) + "/" + name + ".svg";
        if (QFile::exists(candidate)) {
            file = candidate;
            break;
        }
    }
    found.insert(name, file);
    return file;
}

QImage renderTinted(const QString& name, const QColor& color, QSize pixels)
{
    const QString file = symbolFile(name);
    if (file.isEmpty() || pixels.isEmpty())
        return {};
    QSvgRenderer renderer(file);
    if (!renderer.isValid())
        return {};
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(pixels)));
    // The artwork is a black mask; the tint replaces its colour and keeps its coverage.
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(image.rect(), color);
    return image;
}

} // namespace

bool hasSymbol(const QString& name)
{
    return !symbolFile(name).isEmpty();
}

QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal dpr)
{
    static QHash<QString, QPixmap> cache;
    const QString key =
        name + '|' + color.name(QColor::HexArgb) + '|' + QString::number(size) + '|' + QString::number(dpr);
    const auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    const int px = static_cast<int>(std::ceil(size * dpr));
    QPixmap pixmap = QPixmap::fromImage(renderTinted(name, color, QSize(px, px)));
    pixmap.setDevicePixelRatio(dpr);
    cache.insert(key, pixmap);
    return pixmap;
}

QIcon symbol(const QString& name, const QColor& color, int size)
{
    QIcon icon;
    for (qreal dpr : {1.0, 2.0}) {
        QPixmap pm = symbolPixmap(name, color, size, dpr);
        if (!pm.isNull())
            icon.addPixmap(pm);
    }
    return icon;
}

void paintSymbol(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color)
{
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int size = static_cast<int>(std::ceil(std::min(rect.width(), rect.height())));
    const QPixmap pm = symbolPixmap(name, color, size, dpr);
    if (pm.isNull())
        return;
    const QSizeF logical(pm.width() / dpr, pm.height() / dpr);
    const QPointF topLeft(rect.center().x() - logical.width() / 2, rect.center().y() - logical.height() / 2);
    painter.drawPixmap(QRectF(topLeft, logical), pm, QRectF(pm.rect()));
}

void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, qreal spread, int alpha)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    const int steps = 6;
    for (int i = steps; i >= 1; --i) {
        const qreal grow = spread * i / steps;
        QColor c(0, 0, 0, alpha * (steps - i + 1) / (steps * 3));
        painter.setBrush(c);
        painter.drawRoundedRect(rect.adjusted(-grow, -grow * 0.4, grow, grow * 1.2), radius + grow, radius + grow);
    }
    painter.restore();
}

} // namespace keyglass::hud
