#pragma once

#include <QString>
#include <QWidget>

namespace keyglass {

/// The connection state of a device: a small dot (green when connected, grey at half opacity when
/// not) and the word "Offline", "Live" or "USB".
class StatusDot : public QWidget
{
    Q_OBJECT
public:
    static QString word(bool connected, bool live);

    explicit StatusDot(QWidget* parent = nullptr);
    void setState(bool connected, bool live);
    bool isConnected() const { return m_connected; }
    bool isLive() const { return m_live; }
    QString text() const { return word(m_connected, m_live); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_connected = false;
    bool m_live = false;
};

} // namespace keyglass
