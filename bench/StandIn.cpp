#include "bench/StandIn.h"

#include <QFile>

StandIn::StandIn() = default;

StandIn::~StandIn()
{
    if (pathChanged)
        qputenv("PATH", savedPath);
}

bool StandIn::installScript(const QByteArray &body)
{
    QFile script(dir.filePath(QStringLiteral("ffmpeg")));
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    script.write("#!/bin/sh\n" + body + '\n');
    script.close();
    return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           putFirstInPath();
}

bool StandIn::installLink(const QString &program)
{
    return QFile::link(program, dir.filePath(QStringLiteral("ffmpeg"))) && putFirstInPath();
}

bool StandIn::putFirstInPath()
{
    if (!pathChanged) {
        savedPath = qgetenv("PATH");
        pathChanged = true;
    }
    qputenv("PATH", QFile::encodeName(dir.path()) + ':' + savedPath);
    return dir.isValid();
}
