#pragma once

#include "keycodes/Keycodes.h"
#include "model/DeviceModel.h"
#include "ui/KeycapGeometry.h"

#include <QColor>
#include <QWidget>

#include <functional>
#include <vector>

namespace keyglass {

class MachinedKnobDial;
class SculptedKeycap;

/// The keys and knobs of one device on its shown layer, placed by layoutDeck(). Labels come from the
/// caller (the store's keyAction/encoderAction), so the deck draws exactly what the store decides.
class DeckView : public QWidget
{
    Q_OBJECT
public:
    struct Labels
    {
        std::function<KeyAction(int row, int col)> key;
        std::function<KeyAction(int index, bool clockwise)> encoder;
    };

    explicit DeckView(QWidget* parent = nullptr);

    /// The widest the deck may grow; the key unit shrinks to fit.
    void setMaximumDeckWidth(int width);
    void setDevice(const DeviceModel& device, const Labels& labels, bool editable, const QColor& accent);

    const DeckLayout& deckLayout() const { return m_layout; }
    /// The cap of the key at (row, col), when it is drawn.
    SculptedKeycap* keycap(int row, int col) const;
    MachinedKnobDial* knob(int index) const;
    const std::vector<SculptedKeycap*>& keycaps() const { return m_caps; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void keyTapped(int row, int col, Qt::KeyboardModifiers modifiers);
    void encoderTapped(int index, bool clockwise, Qt::KeyboardModifiers modifiers);
    void knobCenterTapped(int index, Qt::KeyboardModifiers modifiers);
    void knobWheel(int index, bool clockwise, Qt::KeyboardModifiers modifiers);

private:
    void rebuild(const DeviceModel& device);

    int m_maxWidth = 600;
    DeckMetrics m_metrics;
    DeckLayout m_layout;
    // What the widgets were built for; a change of any of these rebuilds them.
    std::string m_deviceID;
    std::vector<PhysicalKey> m_keys;
    std::vector<PhysicalEncoder> m_encoders;
    int m_builtForWidth = -1;

    std::vector<SculptedKeycap*> m_caps;    // parallel to m_keys; nullptr for keys not drawn
    std::vector<MachinedKnobDial*> m_knobs; // parallel to m_encoders
};

} // namespace keyglass
