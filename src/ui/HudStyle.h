#pragma once
// The HUD's palette, fonts and symbol icons, shared by every painted view.

#include "model/DeviceModel.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;
class QRectF;

class QFontMetricsF;
class QPainter;

namespace keyglass::hud {

// Palette of the dark glass HUD.
QColor panelTop();
QColor panelBottom();
QColor hairline();
QColor textPrimary();
QColor textSecondary();
QColor textTertiary();
QColor liveGreen();
QColor errorOrange();
QColor defaultAccent();

/// The accent colour a device's light gives the HUD: its hue and saturation at full value; the
/// fallback for a device without lighting, and a cool white for an unsaturated light.
QColor accentFor(const RGBState& rgb, const QColor& fallback);

/// Dark or white text, whichever reads on `background`.
QColor inkOn(const QColor& background);

/// The UI font at `points`, with a weight.
QFont uiFont(qreal points, QFont::Weight weight = QFont::Normal);
QFont monoFont(qreal points, QFont::Weight weight = QFont::Normal);

/// `text` as it is drawn `width` wide in at most `maxLines` wrapped lines: a word wider than a line on
/// its own is shortened at its end (the wrap cannot break it, and centred it would lose both ends), then
/// the whole text if it still needs more lines.
QString fittedText(const QFontMetricsF& metrics, qreal width, const QString& text, int maxLines);
/// Draws `text` centred in `box` in at most `maxLines` lines: the font shrinks by half points down to
/// `minPoints`, then the text is shortened as fittedText says.
void drawFittedText(QPainter& p, const QRectF& box, const QString& text, QFont font, qreal minPoints, int maxLines);

/// A symbol from the icon set (resources/icons/<name>.svg) tinted with `color`, rendered for 1x and
/// 2x screens. A missing file gives a null icon, never a crash.
QIcon symbol(const QString& name, const QColor& color, int size = 16);
/// The same symbol as a pixmap for one device pixel ratio.
QPixmap symbolPixmap(const QString& name, const QColor& color, int size, qreal dpr);
/// Draws a tinted symbol into `rect`.
void paintSymbol(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color);
/// Whether the icon set has a file for `name`.
bool hasSymbol(const QString& name);

/// A soft drop shadow under a rounded rectangle, drawn as stacked translucent rounds.
void paintSoftShadow(QPainter& painter, const QRectF& rect, qreal radius, qreal spread, int alpha);

} // namespace keyglass::hud
