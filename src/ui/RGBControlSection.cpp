#include "ui/RGBControlSection.h"

#include "ui/HudStyle.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace keyglass {

namespace {

// The slider works in tenths so a drag lands between whole brightness steps, as a continuous one does.
constexpr int SliderScale = 10;

class SwatchButton : public QAbstractButton
{
public:
    SwatchButton(const RGBSwatch& swatch, QWidget* parent) : QAbstractButton(parent), m_swatch(swatch)
    {
        setFixedSize(20, 20);
        setToolTip(swatch.name);
        setCursor(Qt::PointingHandCursor);
    }
    void setSelected(bool selected)
    {
        if (selected != m_selected) {
            m_selected = selected;
            update();
        }
    }
    bool selected() const { return m_selected; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c = QRectF(rect()).center();
        p.setPen(Qt::NoPen);
        p.setBrush(m_swatch.color);
        p.drawEllipse(c, 7, 7);
        QColor ring = hud::textPrimary();
        if (m_selected) {
            p.setPen(QPen(ring, 2));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 8, 8);
        } else {
            ring.setAlphaF(0.25);
            p.setPen(QPen(ring, 0.75));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 7, 7);
        }
    }

private:
    RGBSwatch m_swatch;
    bool m_selected = false;
};

} // namespace

const std::vector<RGBSwatch>& RGBControlSection::swatches()
{
    static const std::vector<RGBSwatch> list = {
        {"white", "White", 0, 0, QColor(255, 255, 255)},
        {"red", "Red", 0, 255, QColor(255, 59, 48)},
        {"orange", "Orange", 22, 255, QColor(255, 149, 0)},
        {"yellow", "Yellow", 43, 255, QColor(255, 214, 10)},
        {"green", "Green", 85, 255, QColor(52, 199, 89)},
        {"cyan", "Cyan", 128, 255, QColor(50, 213, 230)},
        {"blue", "Blue", 170, 255, QColor(10, 132, 255)},
        {"purple", "Purple", 205, 255, QColor(175, 82, 222)},
    };
    return list;
}

QString RGBControlSection::effectLabel(const RGBState& rgb, const Effects& effects)
{
    for (const auto& [id, name] : effects)
        if (id == rgb.effect)
            return QString::fromStdString(name);
    return "Effect " + QString::number(rgb.effect);
}

bool RGBControlSection::swatchSelected(const RGBState& rgb, const RGBSwatch& swatch)
{
    if (!rgb.isOn())
        return false;
    if (std::abs(int(rgb.sat) - int(swatch.sat)) > 34)
        return false;
    if (swatch.sat == 0)
        return true;
    const int delta = std::abs(int(rgb.hue) - int(swatch.hue));
    return std::min(delta, 256 - delta) < 18;
}

std::uint8_t RGBControlSection::brightnessFromSlider(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

QString RGBControlSection::brightnessPercentText(std::uint8_t brightness)
{
    return QString::number(std::lround(brightness / 255.0 * 100.0)) + "%";
}

RGBControlSection::RGBControlSection(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    m_toggle = new QToolButton(this);
    m_toggle->setFixedSize(26, 26);
    m_toggle->setIconSize(QSize(22, 22));
    m_toggle->setAutoRaise(true);
    m_toggle->setCursor(Qt::PointingHandCursor);
    connect(m_toggle, &QToolButton::clicked, this, [this] {
        if (onToggle)
            onToggle();
    });
    top->addWidget(m_toggle);

    m_effect = new QToolButton(this);
    m_effect->setObjectName("effectMenu");
    m_effect->setPopupMode(QToolButton::InstantPopup);
    m_effect->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_effect->setLayoutDirection(Qt::RightToLeft); // chevron after the label
    m_effect->setIcon(hud::symbol("chevron.up.chevron.down", hud::textSecondary(), 8));
    m_effect->setIconSize(QSize(8, 8));
    m_effect->setFont(hud::uiFont(10.5, QFont::Medium));
    m_effect->setCursor(Qt::PointingHandCursor);
    m_menu = new QMenu(m_effect);
    m_effect->setMenu(m_menu);
    top->addWidget(m_effect);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, 255 * SliderScale);
    m_slider->setMinimumWidth(90);
    connect(m_slider, &QSlider::valueChanged, this, [this](int v) { sliderChanged(double(v) / SliderScale); });
    top->addWidget(m_slider, 1);

    // The number at the end of a slider row.
    auto makeValueLabel = [](QWidget* parent) {
        auto* label = new QLabel(parent);
        label->setFixedWidth(30);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setFont(hud::monoFont(8.5, QFont::Medium));
        return label;
    };
    m_percent = makeValueLabel(this);
    top->addWidget(m_percent);
    column->addLayout(top);

    auto makeCaption = [](const char* text, QWidget* parent) {
        auto* caption = new QLabel(text, parent);
        caption->setFont(hud::uiFont(8, QFont::Bold));
        caption->setObjectName("caption");
        caption->setFixedWidth(42);
        return caption;
    };

    m_colorRow = new QWidget(this);
    auto* colors = new QHBoxLayout(m_colorRow);
    colors->setContentsMargins(0, 0, 0, 0);
    colors->setSpacing(4);
    colors->addWidget(makeCaption("COLOR", m_colorRow));
    const auto& list = swatches();
    for (std::size_t i = 0; i < list.size(); ++i) {
        auto* button = new SwatchButton(list[i], m_colorRow);
        button->setObjectName("swatch-" + list[i].id);
        const RGBSwatch swatch = list[i];
        connect(button, &QAbstractButton::clicked, this, [this, swatch] {
            if (onColor)
                onColor(swatch.hue, swatch.sat);
        });
        colors->addWidget(button);
        m_swatchButtons.push_back(button);
    }
    colors->addStretch(1);
    column->addWidget(m_colorRow);

    m_speedRow = new QWidget(this);
    auto* speed = new QHBoxLayout(m_speedRow);
    speed->setContentsMargins(0, 0, 0, 0);
    speed->setSpacing(4);
    speed->addWidget(makeCaption("SPEED", m_speedRow));
    m_speedSlider = new QSlider(Qt::Horizontal, m_speedRow);
    m_speedSlider->setObjectName("speedSlider");
    m_speedSlider->setRange(0, 255);
    m_speedSlider->setToolTip("Effect speed");
    connect(m_speedSlider, &QSlider::valueChanged, this, [this](int v) {
        m_speedValue->setText(QString::number(v));
        if (!m_updating && onSpeed)
            onSpeed(static_cast<std::uint8_t>(std::clamp(v, 0, 255)));
    });
    speed->addWidget(m_speedSlider, 1);
    m_speedValue = makeValueLabel(m_speedRow);
    speed->addWidget(m_speedValue);
    column->addWidget(m_speedRow);

    setState(m_rgb, false, {});
}

void RGBControlSection::setState(const RGBState& rgb, bool connected, const Effects& effects)
{
    const bool effectsChanged = effects != m_effects;
    m_rgb = rgb;
    m_connected = connected;
    m_effects = effects;
    m_updating = true;

    const bool on = rgb.isOn();
    m_toggle->setIcon(on ? hud::symbol("lightbulb.fill", QColor(255, 214, 10), 22)
                         : hud::symbol("lightbulb.slash", hud::textSecondary(), 22));
    m_toggle->setToolTip(on ? "Turn lighting off" : "Turn lighting on");
    m_toggle->setProperty("lit", on);

    m_effect->setText(effectLabel(rgb, effects));
    if (effectsChanged || m_menu->isEmpty())
        rebuildMenu();

    if (!m_slider->isSliderDown())
        m_slider->setValue(int(rgb.brightness) * SliderScale);
    m_percent->setText(brightnessPercentText(rgb.brightness));

    const auto& list = swatches();
    // Backlight and LED Matrix have one colour, set by the LEDs themselves.
    const bool coloured = lightingHasColor(rgb.kind);
    for (std::size_t i = 0; i < list.size(); ++i)
        static_cast<SwatchButton*>(m_swatchButtons[i])->setSelected(swatchSelected(rgb, list[i]));
    m_colorRow->setVisible(coloured);

    m_speedRow->setVisible(lightingHasSpeed(rgb.kind));
    if (!m_speedSlider->isSliderDown())
        m_speedSlider->setValue(rgb.speed);
    m_speedValue->setText(QString::number(rgb.speed));

    setEnabled(connected);
    m_updating = false;
}

bool RGBControlSection::isSwatchShownSelected(int index) const
{
    if (index < 0 || index >= int(m_swatchButtons.size()))
        return false;
    return static_cast<SwatchButton*>(m_swatchButtons[index])->selected();
}

void RGBControlSection::dragSliderTo(double value)
{
    m_slider->setValue(int(std::lround(value * SliderScale)));
}

void RGBControlSection::rebuildMenu()
{
    m_menu->clear();
    for (const auto& [id, name] : m_effects) {
        const std::uint8_t effectID = id;
        QAction* action = m_menu->addAction(QString::fromStdString(name));
        connect(action, &QAction::triggered, this, [this, effectID] {
            if (onEffect)
                onEffect(effectID);
        });
    }
}

void RGBControlSection::sliderChanged(double value)
{
    if (m_updating)
        return;
    const std::uint8_t brightness = brightnessFromSlider(value);
    m_percent->setText(brightnessPercentText(brightness));
    if (onBrightness)
        onBrightness(brightness);
}

} // namespace keyglass
