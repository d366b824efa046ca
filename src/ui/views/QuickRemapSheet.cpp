#include "ui/views/QuickRemapSheet.h"

#include "keycodes/KeycodeExpression.h"
#include "store/PadStore.h"
#include "ui/HudStyle.h"
#include "ui/TapDanceRow.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace keyglass {

QuickRemapSheet::QuickRemapSheet(PadStore& store, QWidget* parent) : QWidget(parent), m_store(store)
{
    setObjectName("remapSheet");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(24, 24, 24, 24);
    outer->addStretch(1);

    m_card = new QWidget(this);
    m_card->setObjectName("sheetCard");
    m_card->setAttribute(Qt::WA_StyledBackground);
    m_card->setMinimumWidth(360);
    m_card->setMaximumWidth(420);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(18, 16, 18, 16);
    column->setSpacing(8);

    auto* title = new QLabel("Remap Control", m_card);
    title->setFont(hud::uiFont(13, QFont::DemiBold));
    column->addWidget(title);
    m_target = new QLabel(m_card);
    m_target->setObjectName("secondary");
    m_target->setWordWrap(true);
    column->addWidget(m_target);
    m_currentValue = new QLabel(m_card);
    m_currentValue->setObjectName("secondary");
    m_currentValue->setFont(hud::monoFont(9));
    column->addWidget(m_currentValue);

    auto* exprCaption = new QLabel("QMK Expression or Hex Code", m_card);
    exprCaption->setObjectName("caption");
    column->addWidget(exprCaption);
    m_expression = new QLineEdit(m_card);
    m_expression->setObjectName("expression");
    m_expression->setPlaceholderText("e.g. SGUI(KC_D), LCTL(KC_K), MO(1), 0x0A12");
    m_expression->setFont(hud::monoFont(10));
    connect(m_expression, &QLineEdit::returnPressed, this, &QuickRemapSheet::submit);
    column->addWidget(m_expression);
    m_error = new QLabel(m_card);
    m_error->setObjectName("error");
    m_error->setWordWrap(true);
    m_error->hide();
    column->addWidget(m_error);

    auto* labelRow = new QHBoxLayout;
    auto* labelCaption = new QLabel("Label:", m_card);
    labelCaption->setObjectName("secondary");
    labelRow->addWidget(labelCaption);
    m_label = new QLineEdit(m_card);
    m_label->setObjectName("label");
    m_label->setPlaceholderText("Optional keycap title (e.g. Brush, Razor, New Chat)");
    connect(m_label, &QLineEdit::returnPressed, this, &QuickRemapSheet::submit);
    labelRow->addWidget(m_label, 1);
    column->addLayout(labelRow);

    auto* buttons = new QHBoxLayout;
    auto* bindApp = new QPushButton("Bind New App...", m_card);
    bindApp->setObjectName("bindApp");
    bindApp->setProperty("hudButton", true);
    bindApp->setToolTip(
        QString::fromUtf8("Bring an application to the front with this key (uses F13–F24 / ⌃F13–⌃F24)"));
    connect(bindApp, &QPushButton::clicked, this, [this] {
        if (!m_shownFor)
            return;
        m_shownFor.reset();
        m_store.chooseFocusApp();
    });
    buttons->addWidget(bindApp);
    buttons->addStretch(1);
    auto* cancelButton = new QPushButton("Cancel", m_card);
    cancelButton->setObjectName("cancel");
    cancelButton->setProperty("hudButton", true);
    connect(cancelButton, &QPushButton::clicked, this, &QuickRemapSheet::cancel);
    buttons->addWidget(cancelButton);
    auto* stage = new QPushButton("Stage", m_card);
    stage->setObjectName("stage");
    stage->setProperty("hudButton", true);
    stage->setProperty("primary", true);
    stage->setDefault(true);
    connect(stage, &QPushButton::clicked, this, &QuickRemapSheet::submit);
    buttons->addWidget(stage);
    column->addLayout(buttons);

    outer->addWidget(m_card, 0, Qt::AlignHCenter);
    outer->addStretch(2);
    hide();
}

QString QuickRemapSheet::describe(const EditingTarget& target) const
{
    const DeviceModel* device = m_store.device(target.deviceID());
    const QString name =
        device ? QString::fromStdString(device->displayName()) : QString::fromStdString(target.deviceID());
    if (const auto* key = target.key())
        return name + QString::fromUtf8(" · Layer %1 · Key row %2, column %3")
                          .arg(key->layer)
                          .arg(key->row + 1)
                          .arg(key->col + 1);
    if (const auto* enc = target.encoder())
        return name + QString::fromUtf8(" · Layer %1 · Knob %2 · %3")
                          .arg(enc->layer)
                          .arg(enc->index + 1)
                          .arg(enc->cw ? "Clockwise" : "Counter-clockwise");
    if (const auto* td = target.tapDance())
        return name + QString::fromUtf8(" · Tap Dance %1 · %2").arg(td->index).arg(TapDanceRow::badgeForSlot(td->slot));
    return name;
}

void QuickRemapSheet::open(const EditingTarget& target)
{
    if (!m_shownFor || !(*m_shownFor == target)) {
        m_shownFor = target;
        m_expression->clear();
        m_label->clear();
        m_error->hide();
        m_target->setText(describe(target));
        const DeviceModel* device = m_store.device(target.deviceID());
        const Keycode code = m_store.currentKeycode(target);
        const bool legacy = device && device->legacyKeycodes();
        m_currentValue->setText("Now: " + QString::fromStdString(formatKeycode(code, legacy)));
        m_expression->setFocus();
    }
    if (parentWidget())
        setGeometry(parentWidget()->rect());
    show();
    raise();
}

void QuickRemapSheet::submit()
{
    if (!m_shownFor)
        return;
    const std::string expression = m_expression->text().trimmed().toStdString();
    const QString label = m_label->text().trimmed();
    std::optional<std::string> customLabel;
    if (!label.isEmpty())
        customLabel = label.toStdString();
    const EditingTarget target = *m_shownFor;
    if (const auto refusal = m_store.assignExpression(target, expression, customLabel)) {
        m_error->setText(QString::fromStdString(*refusal));
        m_error->show();
        return;
    }
    m_error->hide();
    m_shownFor.reset();
    m_store.clearEditingTarget();
}

void QuickRemapSheet::cancel()
{
    m_shownFor.reset();
    m_store.clearEditingTarget();
}

void QuickRemapSheet::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), QColor(5, 6, 8, 150));
}

void QuickRemapSheet::mousePressEvent(QMouseEvent* event)
{
    // Presses on the card's labels bubble up to here too; only the dimmed backdrop closes the sheet.
    if (m_card->geometry().contains(event->position().toPoint()))
        return;
    cancel();
}

void QuickRemapSheet::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace keyglass
