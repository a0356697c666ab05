#include "ui/WindowDrag.h"

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

WindowDrag::WindowDrag(QWidget *window) : QObject(window), m_window(window) {}

WindowDrag *WindowDrag::install(QWidget *window)
{
    auto *drag = new WindowDrag(window);
    window->installEventFilter(drag);
    return drag;
}

// The window's own handlers still run: the events are only watched.
bool WindowDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // Any button starts a drag.
        m_dragOffset = static_cast<QMouseEvent *>(event)->pos();
        m_dragging = true;
        break;
    case QEvent::MouseMove:
        if (m_dragging)
            m_window->move(targetFor(QCursor::pos()));
        break;
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        break;
    default:
        break;
    }
    return false;
}
