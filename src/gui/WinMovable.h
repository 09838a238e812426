// Lets a frameless window be dragged by its body.
#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

class WinMovable : public QObject
{
    Q_OBJECT
public:
    // Installs itself as event filter of the window; owned by it.
    explicit WinMovable(QWidget *window);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QPoint m_pressPos;
    bool m_dragging = false;
};
