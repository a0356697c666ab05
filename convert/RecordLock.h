#pragma once

#include <QString>

// An exclusive lock shared by every process that edits one record file, held by a kernel lock
// (flock) on a lock file beside it. The kernel drops the lock when its holder dies, so there is
// no stale lock to break, and taking it writes nothing: QLockFile writes and syncs its file to
// disk for every lock, which cost more than the edit it guarded. A QLockFile on the same name
// takes the same kernel lock, so older copies of the program still wait for this one.
class RecordLock final
{
public:
    explicit RecordLock(QString lockFile);
    ~RecordLock();
    RecordLock(const RecordLock &) = delete;
    RecordLock &operator=(const RecordLock &) = delete;

    // Waits at most waitMs for the lock: true once held.
    bool tryLock(int waitMs);

private:
    enum Attempt { Held, Busy, Impossible };
    Attempt lockOnce();

    QString m_lockFile;
    int m_fd = -1;
};
