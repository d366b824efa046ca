#pragma once

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace keyglass::test {

/// Saves what a widget paints as <build>/screenshots/<name>.png, for people to look at.
inline QString saveScreenshot(QWidget& widget, const QString& name, qreal dpr = 1.0)
{
    const QString dir = QStringLiteral(KG_BINARY_DIR) + "/screenshots";
    QDir().mkpath(dir);
    const QString file = dir + "/" + name + ".png";
    QPixmap pixmap(widget.size() * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    widget.render(&pixmap, QPoint(), QRegion(), QWidget::DrawChildren);
    pixmap.save(file);
    return file;
}

} // namespace keyglass::test
