#include "batch/OutputFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int folderError = -202;

QString reasonFor(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("所在的磁盘是只读的");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case EEXIST:
    case ENOTDIR:
        return QStringLiteral("路径上有同名的文件");
    case ENAMETOOLONG:
        return QStringLiteral("路径太长");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Each missing folder from the top down, so that the call that fails tells why.
int makeFolders(const QString &dir)
{
    QStringList missing;
    for (QString path = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
         !QFileInfo::exists(path) && path != QDir::rootPath(); path = QFileInfo(path).path())
        missing.prepend(path);
    for (const QString &path : missing) {
        if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

// Writing is the only test that holds for every kind of file system and permission.
int tryWriting(const QString &dir)
{
    QByteArray name = QFile::encodeName(dir) + "/.quellix-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return errno;
    ::close(fd);
    ::unlink(name.constData());
    return 0;
}

} // namespace

int prepareOutputFolder(const QString &dir, QString &reason)
{
    int error = dir.isEmpty() ? ENOENT : makeFolders(dir);
    if (error == 0 && !QFileInfo(dir).isDir())
        error = ENOTDIR;
    if (error == 0)
        error = tryWriting(dir);
    if (error == 0)
        return 0;
    reason = reasonFor(error);
    return folderError;
}
