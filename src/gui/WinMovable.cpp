#include "gui/WinMovable.h"

#include <QMouseEvent>
#include <QWidget>

WinMovable::WinMovable(QWidget *window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        m_pressPos = m_window->mapFromGlobal(mouse->globalPosition().toPoint());
        if (mouse->button() == Qt::LeftButton)
            m_dragging = true;
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_dragging && !m_pressPos.isNull()) {
            const QPoint inWindow = m_window->mapFromGlobal(mouse->globalPosition().toPoint());
            m_window->move(m_window->pos() + inWindow - m_pressPos);
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    // Never consumes the event.
    return QObject::eventFilter(watched, event);
}
