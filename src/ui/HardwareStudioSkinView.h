#pragma once

#include "keycodes/Keycodes.h"
#include "model/DeviceModel.h"
#include "skins/SkinLookup.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <vector>

class QVariantAnimation;

namespace keyglass {

/// The label of one photographed key: the key's live title drawn over the cap of the photograph,
/// lit by live input, a button in edit mode. The photograph itself is the cap.
class SkinKeyLabel : public QWidget
{
    Q_OBJECT
public:
    explicit SkinKeyLabel(QWidget* parent = nullptr);

    void setAction(const KeyAction& action);
    const KeyAction& action() const { return m_action; }
    void setLocked(bool locked);
    bool isLocked() const { return m_locked; }
    void setLit(bool lit);
    bool isLit() const { return m_lit; }
    void setEditable(bool editable);
    bool isEditable() const { return m_editable; }
    /// Dark ink for light keycaps, light ink for dark ones.
    void setInk(bool darkInk, const QColor& accent);

signals:
    void tapped(Qt::KeyboardModifiers modifiers);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    KeyAction m_action;
    QColor m_accent;
    bool m_darkInk = false;
    bool m_lit = false;
    bool m_editable = false;
    bool m_locked = false;
    bool m_hover = false;
    bool m_pressed = false;
};

/// A device drawn as its photograph (a hardware skin): the selected colorway's image at the skin's
/// aspect ratio, live labels over the keys, the knobs, LEDs and layer button placed by the skin's
/// fractions, and the pad's light glowing around it. Labels come from the caller, as for the deck.
class HardwareStudioSkinView : public QWidget
{
    Q_OBJECT
public:
    struct Labels
    {
        std::function<KeyAction(int row, int col)> key;
        std::function<KeyAction(int index, bool clockwise)> encoder;
    };

    /// Room left around the photograph for the glow.
    static constexpr int GlowMargin = 10;

    explicit HardwareStudioSkinView(QWidget* parent = nullptr);

    /// The widest the view may be; its height follows the skin's aspect ratio.
    void setDisplayWidth(int width);
    /// A change of colorway cross-fades the image.
    void setSkin(const HardwareSkin& skin, const std::string& colorwayID);
    /// The labels are asked for at once; none is kept.
    void setDevice(const DeviceModel& device, const Labels& labels, bool editable, const QColor& accent);
    /// The centre and turn labels drawn on encoder `index`.
    QString encoderTitle(int index) const;
    QString encoderTurns(int index) const;

    const HardwareSkin& skin() const { return m_skin; }
    std::string colorwayID() const { return m_colorwayID; }
    /// Where the photograph is drawn, in widget coordinates.
    QRectF imageRect() const;
    bool imageLoaded() const { return !m_image.isNull(); }
    SkinKeyLabel* keyLabel(int row, int col) const;
    const std::vector<SkinKeyLabel*>& keyLabels() const { return m_labels; }
    QRectF encoderRect(int index) const;
    QRectF layerButtonRect() const;
    QRectF ledRect(std::size_t i) const;
    double glow() const;
    bool encoderLit(int index, const char* part) const;
    bool isCrossFading() const;
    QVariantAnimation* crossFade() const { return m_fade; }
    void finishCrossFade();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void keyTapped(int row, int col, Qt::KeyboardModifiers modifiers);
    void encoderTapped(int index, bool clockwise, Qt::KeyboardModifiers modifiers);
    void knobCenterTapped(int index, Qt::KeyboardModifiers modifiers);
    void layerButtonTapped();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct EncoderText
    {
        QString title;
        QString turns;
    };

    void placeLabels();
    void loadImage();
    QRectF toWidget(double x, double y, double w, double h) const;
    void paintEncoder(QPainter& p, const SkinEncoderSlot& slot, const EncoderText& text);

    HardwareSkin m_skin;
    std::string m_colorwayID;
    std::string m_imagePath;
    QPixmap m_image;
    QPixmap m_previousImage;
    double m_fadeT = 1;
    QVariantAnimation* m_fade = nullptr;
    int m_displayWidth = 420;

    DeviceModel m_device;
    std::vector<EncoderText> m_encoderTexts; // parallel to m_skin.manifest.encoders
    bool m_editable = false;
    QColor m_accent;
    std::vector<SkinKeyLabel*> m_labels; // parallel to m_skin.manifest.keys
};

} // namespace keyglass
