#pragma once

#include "model/DeviceModel.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QSlider;
class QToolButton;
class QMenu;

namespace keyglass {

struct RGBSwatch
{
    QString id;
    QString name;
    std::uint8_t hue = 0;
    std::uint8_t sat = 0;
    QColor color;
};

/// The lighting row of a device card: on/off bulb, effect menu, brightness slider, colour swatches and,
/// where the lighting has one, an effect speed slider. It holds no device state; every gesture calls one
/// of the actions it was given.
class RGBControlSection : public QWidget
{
    Q_OBJECT
public:
    using Effects = std::vector<std::pair<std::uint8_t, std::string>>;

    static const std::vector<RGBSwatch>& swatches();
    static QString effectLabel(const RGBState& rgb, const Effects& effects);
    static bool swatchSelected(const RGBState& rgb, const RGBSwatch& swatch);
    /// Slider position (continuous 0...255) to the brightness sent: rounded and clamped.
    static std::uint8_t brightnessFromSlider(double value);
    static QString brightnessPercentText(std::uint8_t brightness);

    explicit RGBControlSection(QWidget* parent = nullptr);

    void setState(const RGBState& rgb, bool connected, const Effects& effects);

    std::function<void()> onToggle;
    std::function<void(std::uint8_t)> onEffect;
    std::function<void(std::uint8_t)> onBrightness;
    std::function<void(std::uint8_t hue, std::uint8_t sat)> onColor;
    std::function<void(std::uint8_t)> onSpeed;

    // For tests and accessibility.
    QToolButton* toggleButton() const { return m_toggle; }
    QToolButton* effectButton() const { return m_effect; }
    QSlider* brightnessSlider() const { return m_slider; }
    QLabel* percentLabel() const { return m_percent; }
    QSlider* speedSlider() const { return m_speedSlider; }
    QWidget* speedRow() const { return m_speedRow; }
    QWidget* colorRow() const { return m_colorRow; }
    /// Swatch buttons in table order.
    const std::vector<QWidget*>& swatchButtons() const { return m_swatchButtons; }
    bool isSwatchShownSelected(int index) const;
    /// Moves the slider to a continuous value, as a drag would.
    void dragSliderTo(double value);

private:
    void rebuildMenu();
    void sliderChanged(double value);

    RGBState m_rgb;
    Effects m_effects;
    bool m_connected = false;
    bool m_updating = false;
    QToolButton* m_toggle = nullptr;
    QToolButton* m_effect = nullptr;
    QMenu* m_menu = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_percent = nullptr;
    QWidget* m_colorRow = nullptr;
    QWidget* m_speedRow = nullptr;
    QSlider* m_speedSlider = nullptr;
    QLabel* m_speedValue = nullptr;
    std::vector<QWidget*> m_swatchButtons;
};

} // namespace keyglass
