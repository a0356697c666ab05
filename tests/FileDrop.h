#pragma once

#include <QList>
#include <QUrl>

class QWidget;

// Drops the given URLs on a window the way a file manager does: a drag entering, then, if the
// window accepts it, the drop. Returns whether the window accepted the drag.
bool dropUrls(QWidget *window, const QList<QUrl> &urls);
