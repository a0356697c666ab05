#include "convert/OutputPublisher.h"
#include "convert/LeftoverOutputs.h"
#include "convert/OutputName.h"
#include "convert/StateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// Attempts at a fresh name before giving up: only a folder that refuses every file uses them up.
constexpr int maxAttempts = 100;

std::string randomToken()
{
    return QString::number(QRandomGenerator::global()->generate(), 16)
        .rightJustified(8, QLatin1Char('0'))
        .toStdString();
}

QByteArray encoded(const std::string &path)
{
    return QFile::encodeName(QString::fromStdString(path));
}

// A name is in use while anything is there, a dangling link too.
bool existsOnDisk(const FileIdentity &file)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(file.resolvedPath).constData(), &status) == 0;
}

int syncFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? OutputPublisher::tempMissing : OutputPublisher::syncFailed;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced ? 0 : OutputPublisher::syncFailed;
}

// Makes the rename itself durable. Some file systems refuse to sync a folder; the file is in
// place either way, so that is no failure.
void syncFolder(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Renames without ever replacing: 0, or errno (EEXIST when the name is taken).
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    // File systems without that rename: a hard link fails on an existing name just as well.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return errno;
    // Nor hard links: take the name with an empty file of our own first, then rename over it.
    const int fd = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    ::close(fd);
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    const int failure = errno;
    ::unlink(to.constData());
    return failure;
}

// A source that cannot be read leaves the file dated now, which is no reason to fail.
void copyDates(const QByteArray &from, const QByteArray &to)
{
    struct stat source = {};
    if (::stat(from.constData(), &source) != 0)
        return;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::utimensat(AT_FDCWD, to.constData(), times, 0);
}

} // namespace

OutputPublisher::OutputPublisher(LeftoverOutputs &record, TokenSource tokens)
    : m_record(record), m_tokens(tokens ? std::move(tokens) : TokenSource(randomToken))
{
}

OutputPublisher &OutputPublisher::forThisUser()
{
    static LeftoverOutputs record(stateFolderPath() + QStringLiteral("/outputs.json"));
    static OutputPublisher publisher(record);
    return publisher;
}

int OutputPublisher::createTemp(const std::string &outputDirectory, const std::string &baseName,
                                const std::string &extension, std::string &tempPath)
{
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const std::string path =
            composeTempOutputPath(outputDirectory, baseName, extension, m_tokens());
        const QString name = QString::fromStdString(path);
        if (m_record.add(name) != 0)
            return recordFailed;
        const int fd =
            ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            tempPath = path;
            return 0;
        }
        const int failure = errno;
        // Not ours: it must not stay recorded, or a later clean-up would remove it.
        m_record.forget(name);
        if (failure != EEXIST)
            return renameFailed;
    }
    return renameFailed;
}

int OutputPublisher::publish(const std::string &tempPath, const std::string &outputDirectory,
                             const std::string &baseName, const std::string &extension,
                             const std::function<bool(const FileIdentity &)> &isTaken,
                             std::string &finalPath, const std::string &sourcePath)
{
    const QByteArray from = encoded(tempPath);
    if (m_keepSourceDates && !sourcePath.empty())
        copyDates(encoded(sourcePath), from);
    const int synced = syncFile(from);
    if (synced != 0)
        return synced;
    const auto unusable = [&](const FileIdentity &file) {
        return existsOnDisk(file) || isTaken(file);
    };
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        const std::string candidate =
            composeOutputPath(outputDirectory, baseName, extension, unusable);
        if (m_nameChosen)
            m_nameChosen(candidate);
        const int failure = renameNoReplace(from, encoded(candidate));
        if (failure == EEXIST)
            continue;
        if (failure == ENOENT && !QFileInfo::exists(QString::fromStdString(tempPath)))
            return tempMissing;
        if (failure != 0)
            return renameFailed;
        syncFolder(QFile::encodeName(QFileInfo(QString::fromStdString(candidate)).path()));
        m_record.forgetLater(QString::fromStdString(tempPath));
        finalPath = candidate;
        return 0;
    }
    return renameFailed;
}

int OutputPublisher::discard(const std::string &tempPath)
{
    const QString path = QString::fromStdString(tempPath);
    QFile::remove(path);
    // A file that could not be removed stays recorded, so that a later clean-up takes it.
    if (QFileInfo(path).isFile())
        return 0;
    return m_record.forget(path) == 0 ? 0 : recordFailed;
}
