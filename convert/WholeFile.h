#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at `path` by `bytes` in one step (QSaveFile): false, with the old file
// untouched, when the new one cannot be written completely, on a full disk say.
bool writeWholeFile(const QString &path, const QByteArray &bytes);
