#include "batch/FreeSpace.h"

#include <QFileInfo>
#include <QStorageInfo>
#include <QString>

#include <algorithm>

int FreeSpace::measure(const QString &folder, qint64 &bytesAvailable, qint64 &bytesTotal)
{
    bytesAvailable = 0;
    bytesTotal = 0;
    if (!QFileInfo(folder).isDir())
        return folderUnusable;
    // A new object each time: QStorageInfo keeps the figures it read first.
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return folderUnusable;
    bytesAvailable = storage.bytesAvailable();
    bytesTotal = storage.bytesTotal();
    return 0;
}

qint64 FreeSpace::limitFor(qint64 bytesTotal)
{
    if (bytesTotal <= 0)
        return 0;
    const qint64 share = std::clamp(bytesTotal / 20, smallestLimit, largestLimit);
    return std::min(share, bytesTotal / 4);
}
