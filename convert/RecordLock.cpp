#include "convert/RecordLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int retryMs = 10;

} // namespace

RecordLock::RecordLock(QString lockFile) : m_lockFile(std::move(lockFile)) {}

// The lock file stays: removing it would let a process that opened it before lock a name that
// no longer leads to it.
RecordLock::~RecordLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RecordLock::tryLock(int waitMs)
{
    if (m_fd >= 0)
        return true;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        const Attempt attempt = lockOnce();
        if (attempt != Busy)
            return attempt == Held;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(retryMs);
    }
}

// A lock file that cannot be made (no folder, no right to write there) will not appear by
// waiting. A QLockFile of an older copy removes and creates the file for every lock: a lock counts
// only on the file the name still leads to.
RecordLock::Attempt RecordLock::lockOnce()
{
    const QByteArray path = QFile::encodeName(m_lockFile);
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return Impossible;
    struct stat held = {};
    struct stat named = {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        ::close(fd);
        return failure == EWOULDBLOCK || failure == EINTR ? Busy : Impossible;
    }
    if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        m_fd = fd;
        return Held;
    }
    ::close(fd);
    return Busy;
}
