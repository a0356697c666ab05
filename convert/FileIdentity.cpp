#include "convert/FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

#include <sys/stat.h>

namespace
{

QString resolve(const QString &path)
{
    const QFileInfo info(path);
    QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : dir + "/" + info.fileName();
}

} // namespace

FileIdentity FileIdentity::of(const QString &path)
{
    FileIdentity identity;
    identity.resolvedPath = resolve(path);
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        identity.inode = Inode{uint64_t(status.st_dev), uint64_t(status.st_ino)};
    return identity;
}

bool FileIdentity::sameFileAs(const FileIdentity &other) const
{
    return resolvedPath == other.resolvedPath || (inode && other.inode && *inode == *other.inode);
}

uint qHash(const FileIdentity::Inode &inode, uint seed)
{
    return qHash(qMakePair(inode.device, inode.inode), seed);
}
