#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

// Moves a frameless window while a mouse button is held on a part of it that no child consumes:
// an event filter on the window, which sees the presses, moves and releases that reach it.
class WindowDrag final : public QObject
{
    Q_OBJECT

public:
    // Makes `window` movable by dragging; the filter is the window's child.
    static WindowDrag *install(QWidget *window);

    bool dragging() const { return m_dragging; }
    // The cursor's position at the press, in the window's own coordinates.
    QPoint dragOffset() const { return m_dragOffset; }
    // Where the window's top-left corner goes for a cursor at the given global position.
    QPoint targetFor(const QPoint &globalCursor) const { return globalCursor - m_dragOffset; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit WindowDrag(QWidget *window);

    QWidget *m_window;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
