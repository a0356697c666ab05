#include "convert/StateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString stateFolderPath()
{
    const QString configured = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    const QString base = QFileInfo(configured).isAbsolute()
                             ? configured
                             : QDir::homePath() + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/quellix"));
}

int makeStateFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return 0;
    if (!QDir().mkpath(path))
        return stateFolderUnusable;
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return 0;
}
