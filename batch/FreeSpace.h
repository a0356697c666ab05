#pragma once

#include <QtGlobal>

class QString;

// The room left for outputs on the file system of a folder, and how much of it a batch keeps free.
//
// The limit is a twentieth of the file system, between 16 MiB and 1 GiB, and never more than a
// quarter of it. It has to stay above what the transcoders write between two checks (at the
// default ten seconds, 1 GiB holds 100 MB/s, more than an encode writes, and 16 MiB holds the
// 1.6 MB/s of a high-rate HD encode) plus the index a muxer writes at the end. The twentieth keeps
// a small disk usable that 1 GiB would call full; the quarter keeps a tiny one (a 64 MB memory
// file system) usable at all.
class FreeSpace final
{
public:
    static constexpr qint64 mebibyte = qint64(1) << 20;
    static constexpr qint64 largestLimit = 1024 * mebibyte;
    static constexpr qint64 smallestLimit = 16 * mebibyte;
    // The folder does not exist or no file system answers for it.
    static constexpr int folderUnusable = -202;

    // The bytes this user may still write on the folder's file system (the superuser's reserve
    // left out) and its size: 0, or folderUnusable.
    static int measure(const QString &folder, qint64 &bytesAvailable, qint64 &bytesTotal);
    // The free bytes a batch keeps on a file system of `bytesTotal`; 0 (no limit) when its size
    // is unknown.
    static qint64 limitFor(qint64 bytesTotal);
};
