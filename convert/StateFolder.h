#pragma once

#include <QString>

// The folder where the program keeps what it must find again after a restart or a crash:
// $XDG_STATE_HOME/quellix, or ~/.local/state/quellix when that is unset or not absolute.
QString stateFolderPath();
// The folder is missing and cannot be made.
constexpr int stateFolderUnusable = -202;
// Makes the folder, readable by its owner alone, when missing: 0, or stateFolderUnusable.
int makeStateFolder(const QString &path);
