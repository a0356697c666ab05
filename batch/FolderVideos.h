#pragma once

#include <QString>
#include <QStringList>

#include <atomic>

// The videos in `folder` and all of its subfolders, as absolute paths: only files whose extension
// is accepted (any case), no hidden file or folder, each real folder once however many links lead
// to it, so that a link loop ends. In each folder its files come first, then its subfolders, each
// in natural name order (numbers by their value, case ignored, in the user's language, or English
// under the C locale). It touches only the file system, so it may run on a thread of its own; when
// `stop` becomes true it returns what it has found so far.
QStringList collectFolderVideos(const QString &folder, const std::atomic<bool> *stop = nullptr);
