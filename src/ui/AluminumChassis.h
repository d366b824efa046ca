#pragma once

#include "model/DeviceModel.h"

#include <QColor>
#include <QWidget>

namespace keyglass {

/// The anodised case the deck sits in. Its underglow and edge light take the accent colour of the
/// pad's lighting (the fallback when the pad has none or its light is off).
class AluminumChassis : public QWidget
{
    Q_OBJECT
public:
    explicit AluminumChassis(QWidget* parent = nullptr);

    void setRgb(const RGBState& rgb);
    void setAccentFallback(const QColor& color);
    QColor accentColor() const;
    /// The deck inside; the chassis takes ownership.
    void setContent(QWidget* content);
    QWidget* content() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RGBState m_rgb;
    QColor m_fallback;
    QWidget* m_content = nullptr;
};

} // namespace keyglass
