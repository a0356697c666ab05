#pragma once

#include <QList>
#include <QUrl>

class QWidget;

// Drops the given URLs on a window the way a file manager does: a drag entering, then the drop.
void dropUrls(QWidget *window, const QList<QUrl> &urls);
