#pragma once
// The pieces the keycode picker is built from: a tile per keycode entry, a layout that flows tiles into
// as many equal columns as fit, the drawn keyboard of basic keys, and the button that takes the next
// key pressed.

#include "keycodes/PickerEntries.h"

#include <QAbstractButton>
#include <QLayout>
#include <QToolButton>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace keyglass {

/// A keycode entry as a button: title over subtitle. A blocked entry is disabled and says why in its
/// tooltip. Enter or Space picks; arrow keys move between the tiles of the same group.
class PickerTile : public QAbstractButton
{
    Q_OBJECT
public:
    PickerTile(PickerEntry entry, QWidget* parent);
    const PickerEntry& entry() const { return m_entry; }
    void setEntry(PickerEntry entry);
    /// Marks the tile holding the slot's current keycode.
    void setCurrent(bool current);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    PickerEntry m_entry;
    bool m_current = false;
};

/// Lays its items out in rows of equal-width columns, as many as fit `minimumItemWidth`.
class TileFlowLayout : public QLayout
{
public:
    explicit TileFlowLayout(QWidget* parent, int minimumItemWidth = 112, int spacing = 6);
    ~TileFlowLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    /// Removes and deletes every item and its widget.
    void clear();

private:
    int arrange(const QRect& rect, bool apply) const;

    std::vector<QLayoutItem*> m_items;
    int m_minimumItemWidth;
    int m_spacing;
};

/// The drawn keyboard of basic keys (basicKeyboard()). Keys show their keycap titles; a click, or Enter
/// on the focused key, chooses it. Arrow keys move the focus between keys.
class BasicKeyboardView : public QWidget
{
    Q_OBJECT
public:
    explicit BasicKeyboardView(QWidget* parent);

    /// Keycap titles for a pad's numbering and the layer's modifier style.
    void setLabels(bool legacyKeycodes, bool windowsStyle);
    /// Where the key of `usage` is drawn, empty when it is not on the keyboard.
    QRect keyRect(std::uint8_t usage) const;
    std::optional<std::uint8_t> focusedUsage() const;
    QString titleFor(std::uint8_t usage) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void keyChosen(std::uint8_t usage);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Placed
    {
        std::uint8_t usage;
        QRectF rect;
    };
    struct Caption
    {
        QString text;
        QRectF rect;
    };
    struct Arrangement
    {
        std::vector<Placed> keys;
        std::vector<Caption> captions;
        qreal height = 0;
    };
    Arrangement arrange(int width) const;
    int keyAt(const QPointF& point) const;
    void moveFocus(int dx, int dy);

    Arrangement m_arrangement;
    std::vector<QString> m_titles; // by usage
    int m_focus = 0;
    int m_hover = -1;
};

/// "Press a key": while checked, the next key pressed (with the modifiers held) is reported as a HID
/// usage plus QMK modifier bits. Esc stops listening without choosing; modifier keys alone wait.
class KeyCaptureButton : public QToolButton
{
    Q_OBJECT
public:
    explicit KeyCaptureButton(QWidget* parent);

signals:
    void keyCaptured(std::uint8_t usage, ModifierChoice mods);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

/// The HID usage a Qt key stands for on a US layout (shifted symbols give their unshifted key);
/// none for keys without one.
std::optional<std::uint8_t> hidUsageForQtKey(int key, Qt::KeyboardModifiers modifiers);

} // namespace keyglass
