#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

// Moves a frameless window while a mouse button is held on a part of it that no child consumes.
// Each window owns one and forwards its three mouse handlers after calling the base class.
class WindowDrag final
{
public:
    void press(const QMouseEvent *event);
    void move(QWidget *window) const;
    void release();

    // Where the window's top-left corner goes for a cursor at the given global position.
    QPoint targetFor(const QPoint &globalCursor) const { return globalCursor - dragOffset; }

    bool dragging = false;
    QPoint dragOffset;
};
