#pragma once
// The presets of the shown pad: load one (staged, Apply writes it), delete a custom one, restore the
// automatic backup taken before the last load. Open while the store's showingPresets is set.

#include <QWidget>

#include <string>

class QLabel;
class QVBoxLayout;

namespace keyglass {

class PadStore;

class PresetListSheet : public QWidget
{
    Q_OBJECT
public:
    PresetListSheet(PadStore& store, QWidget* parent);

    /// Rebuilds the list for the selected pad and shows the sheet.
    void open();
    void close();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuild();

    PadStore& m_store;
    QWidget* m_card = nullptr;
    QLabel* m_subtitle = nullptr;
    QWidget* m_list = nullptr;
    QVBoxLayout* m_rows = nullptr;
    std::string m_shownFor;
};

} // namespace keyglass
