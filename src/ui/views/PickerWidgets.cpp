#include "ui/views/PickerWidgets.h"

#include "keycodes/Keycodes.h"
#include "ui/HudStyle.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace keyglass {

namespace {

constexpr qreal MinUnit = 22;
constexpr qreal MaxUnit = 40;
constexpr qreal KeyGap = 3;
constexpr qreal CaptionHeight = 16;
constexpr qreal BlockGap = 14;

QColor accent()
{
    return hud::defaultAccent();
}

/// Draws `text` inside `rect`, stepping the font down until it fits, eliding as a last resort.
void drawFitted(QPainter& p, const QRectF& rect, const QString& text, QFont font, qreal minimumPoints, int flags)
{
    qreal points = font.pointSizeF();
    QFontMetricsF metrics(font);
    while (points > minimumPoints && metrics.horizontalAdvance(text) > rect.width()) {
        points -= 0.5;
        font.setPointSizeF(points);
        metrics = QFontMetricsF(font);
    }
    p.setFont(font);
    p.drawText(rect, flags, metrics.elidedText(text, Qt::ElideRight, rect.width()));
}

bool isArrow(int key)
{
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

} // namespace

// ---- PickerTile ----

PickerTile::PickerTile(PickerEntry entry, QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setEntry(std::move(entry));
}

void PickerTile::setEntry(PickerEntry entry)
{
    m_entry = std::move(entry);
    setObjectName(QString::fromStdString("tile-" + m_entry.id));
    setText(QString::fromStdString(m_entry.title));
    setEnabled(!m_entry.blocked);
    QString tip = QString::fromStdString(m_entry.subtitle);
    if (m_entry.blocked)
        tip = QString::fromStdString(*m_entry.blocked);
    setToolTip(tip);
    setAccessibleName(QString::fromStdString(m_entry.title + " " + m_entry.subtitle));
    update();
}

void PickerTile::setCurrent(bool current)
{
    if (m_current != current) {
        m_current = current;
        update();
    }
}

QSize PickerTile::sizeHint() const
{
    return QSize(118, 40);
}

QSize PickerTile::minimumSizeHint() const
{
    return QSize(72, 40);
}

void PickerTile::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor fill(255, 255, 255, isEnabled() ? (isDown() ? 10 : (underMouse() ? 30 : 18)) : 6);
    if (m_current)
        fill = QColor(90, 169, 255, 46);
    QColor border(255, 255, 255, isEnabled() ? 26 : 12);
    if (hasFocus())
        border = accent();
    p.setPen(QPen(border, hasFocus() ? 1.5 : 1));
    p.setBrush(fill);
    p.drawRoundedRect(box, 7, 7);

    const QRectF inner = box.adjusted(8, 4, -8, -4);
    p.setPen(isEnabled() ? hud::textPrimary() : hud::textTertiary());
    drawFitted(p,
               QRectF(inner.left(), inner.top(), inner.width(), inner.height() * 0.55),
               QString::fromStdString(m_entry.title),
               hud::uiFont(9.5, QFont::DemiBold),
               7,
               Qt::AlignLeft | Qt::AlignVCenter);
    p.setPen(hud::textSecondary());
    const QString subtitle = m_entry.blocked ? QStringLiteral("Blocked · ") + QString::fromStdString(m_entry.subtitle)
                                             : QString::fromStdString(m_entry.subtitle);
    drawFitted(p,
               QRectF(inner.left(), inner.top() + inner.height() * 0.55, inner.width(), inner.height() * 0.45),
               subtitle,
               hud::uiFont(8),
               6.5,
               Qt::AlignLeft | Qt::AlignVCenter);
}

void PickerTile::focusInEvent(QFocusEvent* event)
{
    QAbstractButton::focusInEvent(event);
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* scroll = qobject_cast<QScrollArea*>(w)) {
            scroll->ensureWidgetVisible(this, 8, 8);
            break;
        }
    }
}

void PickerTile::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        click();
        return;
    }
    if (!isArrow(key) || !parentWidget()) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    // The nearest enabled sibling tile in the arrow's direction.
    const QPoint here = geometry().center();
    PickerTile* best = nullptr;
    int bestScore = 0;
    for (auto* other : parentWidget()->findChildren<PickerTile*>(Qt::FindDirectChildrenOnly)) {
        if (other == this || !other->isEnabled() || !other->isVisible())
            continue;
        const QPoint d = other->geometry().center() - here;
        int along = 0;
        int across = 0;
        switch (key) {
        case Qt::Key_Left:
            along = -d.x(), across = std::abs(d.y());
            break;
        case Qt::Key_Right:
            along = d.x(), across = std::abs(d.y());
            break;
        case Qt::Key_Up:
            along = -d.y(), across = std::abs(d.x());
            break;
        default:
            along = d.y(), across = std::abs(d.x());
            break;
        }
        if (along <= 0)
            continue;
        const int score = along + across * 4;
        if (!best || score < bestScore)
            best = other, bestScore = score;
    }
    if (best)
        best->setFocus(Qt::TabFocusReason);
    else
        QAbstractButton::keyPressEvent(event);
}

// ---- TileFlowLayout ----

TileFlowLayout::TileFlowLayout(QWidget* parent, int minimumItemWidth, int spacing)
    : QLayout(parent), m_minimumItemWidth(minimumItemWidth), m_spacing(spacing)
{
    setContentsMargins(0, 0, 0, 0);
}

TileFlowLayout::~TileFlowLayout()
{
    for (QLayoutItem* item : m_items)
        delete item;
}

void TileFlowLayout::addItem(QLayoutItem* item)
{
    m_items.push_back(item);
}

int TileFlowLayout::count() const
{
    return static_cast<int>(m_items.size());
}

QLayoutItem* TileFlowLayout::itemAt(int index) const
{
    return index >= 0 && index < count() ? m_items[static_cast<size_t>(index)] : nullptr;
}

QLayoutItem* TileFlowLayout::takeAt(int index)
{
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = m_items[static_cast<size_t>(index)];
    m_items.erase(m_items.begin() + index);
    return item;
}

void TileFlowLayout::clear()
{
    while (QLayoutItem* item = takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            // A tile may be clearing its own list from its clicked signal: it goes later, but out of sight now.
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        delete item;
    }
}

QSize TileFlowLayout::sizeHint() const
{
    const int width = 4 * m_minimumItemWidth + 3 * m_spacing;
    return QSize(width, heightForWidth(width));
}

QSize TileFlowLayout::minimumSize() const
{
    // The height comes from heightForWidth; a one-column minimum would stretch every scroll page.
    int rowHeight = 0;
    for (QLayoutItem* item : m_items)
        rowHeight = std::max(rowHeight, item->sizeHint().height());
    return QSize(m_minimumItemWidth, rowHeight);
}

int TileFlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

void TileFlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int TileFlowLayout::arrange(const QRect& rect, bool apply) const
{
    std::vector<QLayoutItem*> shown;
    for (QLayoutItem* item : m_items)
        if (!item->isEmpty())
            shown.push_back(item);
    if (shown.empty())
        return 0;
    const int columns = std::max(1, (rect.width() + m_spacing) / (m_minimumItemWidth + m_spacing));
    const int itemWidth = std::max(1, (rect.width() - (columns - 1) * m_spacing) / columns);
    int rowHeight = 0;
    for (QLayoutItem* item : shown)
        rowHeight = std::max(rowHeight, item->sizeHint().height());
    const int rows = (static_cast<int>(shown.size()) + columns - 1) / columns;
    if (apply) {
        for (size_t i = 0; i < shown.size(); ++i) {
            const int column = static_cast<int>(i) % columns;
            const int rowIndex = static_cast<int>(i) / columns;
            shown[i]->setGeometry(QRect(rect.x() + column * (itemWidth + m_spacing),
                                        rect.y() + rowIndex * (rowHeight + m_spacing),
                                        itemWidth,
                                        rowHeight));
        }
    }
    return rows * rowHeight + (rows - 1) * m_spacing;
}

// ---- BasicKeyboardView ----

BasicKeyboardView::BasicKeyboardView(QWidget* parent) : QWidget(parent)
{
    setObjectName("basicKeyboard");
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName("Basic keys");
    setLabels(false, false);
}

void BasicKeyboardView::setLabels(bool legacyKeycodes, bool windowsStyle)
{
    m_titles.assign(256, QString());
    for (const BasicKeyBlock& block : basicKeyboard())
        for (const BasicKeySlot& key : block.keys)
            m_titles[key.usage] =
                QString::fromStdString(describeKeycode(key.usage, legacyKeycodes, windowsStyle, {}, {}).title);
    update();
}

QString BasicKeyboardView::titleFor(std::uint8_t usage) const
{
    return m_titles.size() > usage ? m_titles[usage] : QString();
}

BasicKeyboardView::Arrangement BasicKeyboardView::arrange(int width) const
{
    Arrangement out;
    const auto& blocks = basicKeyboard();
    if (blocks.empty() || width <= 0)
        return out;
    const qreal unit = std::clamp(width / qreal(blocks.front().width), MinUnit, MaxUnit);
    qreal x = 0;
    qreal y = 0;
    qreal rowHeight = 0;
    for (const BasicKeyBlock& block : blocks) {
        const qreal w = block.width * unit;
        const qreal h = CaptionHeight + block.height * unit;
        if (x > 0 && x + w > width) {
            x = 0;
            y += rowHeight + BlockGap;
            rowHeight = 0;
        }
        out.captions.push_back(Caption{QString::fromStdString(block.title), QRectF(x, y, w, CaptionHeight)});
        for (const BasicKeySlot& key : block.keys)
            out.keys.push_back(
                Placed{key.usage,
                       QRectF(x + key.x * unit, y + CaptionHeight + key.y * unit, key.w * unit, key.h * unit)
                           .adjusted(KeyGap / 2, KeyGap / 2, -KeyGap / 2, -KeyGap / 2)});
        x += w + BlockGap;
        rowHeight = std::max(rowHeight, h);
    }
    out.height = y + rowHeight;
    return out;
}

QSize BasicKeyboardView::sizeHint() const
{
    const int width = int(15 * 30);
    return QSize(width, heightForWidth(width));
}

QSize BasicKeyboardView::minimumSizeHint() const
{
    // As narrow as the main block allows; the height follows the width (heightForWidth).
    return QSize(int(15 * MinUnit), int(6 * MinUnit));
}

int BasicKeyboardView::heightForWidth(int width) const
{
    return int(std::ceil(arrange(width).height));
}

QRect BasicKeyboardView::keyRect(std::uint8_t usage) const
{
    for (const Placed& key : m_arrangement.keys)
        if (key.usage == usage)
            return key.rect.toAlignedRect();
    return {};
}

std::optional<std::uint8_t> BasicKeyboardView::focusedUsage() const
{
    if (m_focus < 0 || static_cast<size_t>(m_focus) >= m_arrangement.keys.size())
        return std::nullopt;
    return m_arrangement.keys[static_cast<size_t>(m_focus)].usage;
}

void BasicKeyboardView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_arrangement = arrange(width());
}

bool BasicKeyboardView::event(QEvent* event)
{
    // Arrow keys move between keys instead of leaving the widget.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (isArrow(key->key())) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void BasicKeyboardView::paintEvent(QPaintEvent*)
{
    if (m_arrangement.keys.empty())
        m_arrangement = arrange(width());
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(hud::textTertiary());
    for (const Caption& caption : m_arrangement.captions)
        drawFitted(p,
                   caption.rect,
                   caption.text.toUpper(),
                   hud::uiFont(7.5, QFont::DemiBold),
                   6,
                   Qt::AlignLeft | Qt::AlignVCenter);
    for (size_t i = 0; i < m_arrangement.keys.size(); ++i) {
        const Placed& key = m_arrangement.keys[i];
        const bool focused = hasFocus() && static_cast<int>(i) == m_focus;
        const bool hovered = static_cast<int>(i) == m_hover;
        p.setPen(QPen(focused ? accent() : QColor(255, 255, 255, 30), focused ? 1.5 : 1));
        p.setBrush(QColor(255, 255, 255, hovered ? 40 : 20));
        p.drawRoundedRect(key.rect, 5, 5);
        p.setPen(hud::textPrimary());
        drawFitted(p,
                   key.rect.adjusted(2, 1, -2, -1),
                   titleFor(key.usage),
                   hud::uiFont(8.5, QFont::Medium),
                   5.5,
                   Qt::AlignCenter);
    }
}

int BasicKeyboardView::keyAt(const QPointF& point) const
{
    for (size_t i = 0; i < m_arrangement.keys.size(); ++i)
        if (m_arrangement.keys[i].rect.contains(point))
            return static_cast<int>(i);
    return -1;
}

void BasicKeyboardView::mousePressEvent(QMouseEvent* event)
{
    const int index = keyAt(event->position());
    if (index < 0 || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_focus = index;
    update();
    emit keyChosen(m_arrangement.keys[static_cast<size_t>(index)].usage);
}

void BasicKeyboardView::mouseMoveEvent(QMouseEvent* event)
{
    const int index = keyAt(event->position());
    if (index != m_hover) {
        m_hover = index;
        setCursor(index >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        setToolTip(index >= 0 ? titleFor(m_arrangement.keys[static_cast<size_t>(index)].usage) : QString());
        update();
    }
}

void BasicKeyboardView::leaveEvent(QEvent*)
{
    m_hover = -1;
    update();
}

void BasicKeyboardView::moveFocus(int dx, int dy)
{
    if (m_arrangement.keys.empty())
        return;
    const QPointF here =
        m_arrangement.keys[static_cast<size_t>(std::clamp<int>(m_focus, 0, int(m_arrangement.keys.size()) - 1))]
            .rect.center();
    int best = -1;
    qreal bestScore = 0;
    for (size_t i = 0; i < m_arrangement.keys.size(); ++i) {
        const QPointF d = m_arrangement.keys[i].rect.center() - here;
        const qreal along = dx ? d.x() * dx : d.y() * dy;
        const qreal across = dx ? std::abs(d.y()) : std::abs(d.x());
        if (along <= 1)
            continue;
        const qreal score = along + across * 3;
        if (best < 0 || score < bestScore)
            best = static_cast<int>(i), bestScore = score;
    }
    if (best >= 0) {
        m_focus = best;
        update();
    }
}

void BasicKeyboardView::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        moveFocus(-1, 0);
        return;
    case Qt::Key_Right:
        moveFocus(1, 0);
        return;
    case Qt::Key_Up:
        moveFocus(0, -1);
        return;
    case Qt::Key_Down:
        moveFocus(0, 1);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (const auto usage = focusedUsage())
            emit keyChosen(*usage);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

// ---- KeyCaptureButton ----

KeyCaptureButton::KeyCaptureButton(QWidget* parent) : QToolButton(parent)
{
    setObjectName("pressAKey");
    setCheckable(true);
    setProperty("hudButton", true);
    setFocusPolicy(Qt::StrongFocus);
    setText("Press a key");
    setToolTip("Take the next key you press, with the modifiers you hold (Esc stops listening)");
    connect(this, &QToolButton::toggled, this, [this](bool on) {
        setText(on ? QStringLiteral("Listening…") : QStringLiteral("Press a key"));
        if (on)
            setFocus(Qt::OtherFocusReason);
    });
}

bool KeyCaptureButton::event(QEvent* event)
{
    // While listening, Tab and the keys that would trigger shortcuts are keys to take, not navigation.
    if (isChecked() && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        keyPressEvent(key);
        return true;
    }
    return QToolButton::event(event);
}

void KeyCaptureButton::keyPressEvent(QKeyEvent* event)
{
    if (!isChecked()) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            click();
            return;
        }
        QToolButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->key() == Qt::Key_Escape) {
        setChecked(false);
        return;
    }
    const auto usage = hidUsageForQtKey(event->key(), event->modifiers());
    if (!usage)
        return; // a modifier alone, or a key without a usage: keep listening
    const Qt::KeyboardModifiers held = event->modifiers();
    ModifierChoice mods;
    mods.ctrl = held.testFlag(Qt::ControlModifier);
    mods.shift = held.testFlag(Qt::ShiftModifier);
    mods.alt = held.testFlag(Qt::AltModifier);
    mods.gui = held.testFlag(Qt::MetaModifier);
    setChecked(false);
    emit keyCaptured(*usage, mods);
}

void KeyCaptureButton::focusOutEvent(QFocusEvent* event)
{
    setChecked(false);
    QToolButton::focusOutEvent(event);
}

std::optional<std::uint8_t> hidUsageForQtKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (keypad) {
        if (key >= Qt::Key_1 && key <= Qt::Key_9)
            return static_cast<std::uint8_t>(0x59 + (key - Qt::Key_1));
        static const std::unordered_map<int, std::uint8_t> pad{
            {Qt::Key_0, 0x62},
            {Qt::Key_Period, 0x63},
            {Qt::Key_Slash, 0x54},
            {Qt::Key_Asterisk, 0x55},
            {Qt::Key_Minus, 0x56},
            {Qt::Key_Plus, 0x57},
            {Qt::Key_Enter, 0x58},
            {Qt::Key_NumLock, 0x53},
        };
        if (auto it = pad.find(key); it != pad.end())
            return it->second;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<std::uint8_t>(0x04 + (key - Qt::Key_A));
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        return static_cast<std::uint8_t>(0x1E + (key - Qt::Key_1));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<std::uint8_t>(0x3A + (key - Qt::Key_F1));
    if (key >= Qt::Key_F13 && key <= Qt::Key_F24)
        return static_cast<std::uint8_t>(0x68 + (key - Qt::Key_F13));
    static const std::unordered_map<int, std::uint8_t> keys{
        {Qt::Key_0, 0x27},
        {Qt::Key_Return, 0x28},
        {Qt::Key_Enter, 0x28},
        {Qt::Key_Escape, 0x29},
        {Qt::Key_Backspace, 0x2A},
        {Qt::Key_Tab, 0x2B},
        {Qt::Key_Backtab, 0x2B},
        {Qt::Key_Space, 0x2C},
        {Qt::Key_Minus, 0x2D},
        {Qt::Key_Underscore, 0x2D},
        {Qt::Key_Equal, 0x2E},
        {Qt::Key_Plus, 0x2E},
        {Qt::Key_BracketLeft, 0x2F},
        {Qt::Key_BraceLeft, 0x2F},
        {Qt::Key_BracketRight, 0x30},
        {Qt::Key_BraceRight, 0x30},
        {Qt::Key_Backslash, 0x31},
        {Qt::Key_Bar, 0x31},
        {Qt::Key_Semicolon, 0x33},
        {Qt::Key_Colon, 0x33},
        {Qt::Key_Apostrophe, 0x34},
        {Qt::Key_QuoteDbl, 0x34},
        {Qt::Key_QuoteLeft, 0x35},
        {Qt::Key_AsciiTilde, 0x35},
        {Qt::Key_Comma, 0x36},
        {Qt::Key_Less, 0x36},
        {Qt::Key_Period, 0x37},
        {Qt::Key_Greater, 0x37},
        {Qt::Key_Slash, 0x38},
        {Qt::Key_Question, 0x38},
        {Qt::Key_CapsLock, 0x39},
        {Qt::Key_Print, 0x46},
        {Qt::Key_ScrollLock, 0x47},
        {Qt::Key_Pause, 0x48},
        {Qt::Key_Insert, 0x49},
        {Qt::Key_Home, 0x4A},
        {Qt::Key_PageUp, 0x4B},
        {Qt::Key_Delete, 0x4C},
        {Qt::Key_End, 0x4D},
        {Qt::Key_PageDown, 0x4E},
        {Qt::Key_Right, 0x4F},
        {Qt::Key_Left, 0x50},
        {Qt::Key_Down, 0x51},
        {Qt::Key_Up, 0x52},
        {Qt::Key_NumLock, 0x53},
        {Qt::Key_Menu, 0x65},
        {Qt::Key_Exclam, 0x1E},
        {Qt::Key_At, 0x1F},
        {Qt::Key_NumberSign, 0x20},
        {Qt::Key_Dollar, 0x21},
        {Qt::Key_Percent, 0x22},
        {Qt::Key_AsciiCircum, 0x23},
        {Qt::Key_Ampersand, 0x24},
        {Qt::Key_Asterisk, 0x25},
        {Qt::Key_ParenLeft, 0x26},
        {Qt::Key_ParenRight, 0x27}, // Media keys give QMK's basic media codes, which is what a pad sends for them.
        {Qt::Key_VolumeMute, 0xA8},
        {Qt::Key_VolumeUp, 0xA9},
        {Qt::Key_VolumeDown, 0xAA},
        {Qt::Key_MediaNext, 0xAB},
        {Qt::Key_MediaPrevious, 0xAC},
        {Qt::Key_MediaTogglePlayPause, 0xAE},
        {Qt::Key_MediaPlay, 0xAE},
    };
    if (auto it = keys.find(key); it != keys.end())
        return it->second;
    return std::nullopt;
}

} // namespace keyglass
