#pragma once

#include "model/EditingTarget.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace keyglass {

class PadStore;

/// A compact remap sheet over the HUD while the store has an editing target: the slot, what it holds
/// now, a QMK expression field and an optional keycap title. The store's safety rules decide; their
/// refusal is shown under the field and the sheet stays open.
class QuickRemapSheet : public QWidget
{
    Q_OBJECT
public:
    QuickRemapSheet(PadStore& store, QWidget* parent);

    /// Shows the sheet for `target` (a new target clears the fields).
    void open(const EditingTarget& target);
    /// Stages the typed expression; closes on success.
    void submit();
    void cancel();

    QLineEdit* expressionField() const { return m_expression; }
    QLineEdit* labelField() const { return m_label; }
    QLabel* errorLabel() const { return m_error; }
    QLabel* targetLabel() const { return m_target; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString describe(const EditingTarget& target) const;

    PadStore& m_store;
    std::optional<EditingTarget> m_shownFor;
    QWidget* m_card = nullptr;
    QLabel* m_target = nullptr;
    QLabel* m_currentValue = nullptr;
    QLineEdit* m_expression = nullptr;
    QLineEdit* m_label = nullptr;
    QLabel* m_error = nullptr;
};

} // namespace keyglass
