#include "ui/WindowDrag.h"

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>

void WindowDrag::press(const QMouseEvent *event)
{
    // Any button starts a drag.
    dragOffset = event->pos();
    dragging = true;
}

void WindowDrag::move(QWidget *window) const
{
    if (dragging)
        window->move(targetFor(QCursor::pos()));
}

void WindowDrag::release()
{
    dragging = false;
}
