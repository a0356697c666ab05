#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A stand-in transcoder: a program named ffmpeg in a folder put first in PATH while the object
// lives, either a shell script or a link to a program of the benchmark.
class StandIn final
{
public:
    StandIn();
    ~StandIn();
    StandIn(const StandIn &) = delete;
    StandIn &operator=(const StandIn &) = delete;

    bool installScript(const QByteArray &body);
    bool installLink(const QString &program);

private:
    bool putFirstInPath();

    QTemporaryDir dir;
    QByteArray savedPath;
    bool pathChanged = false;
};
