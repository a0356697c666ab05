#include "tests/TestMedia.h"
#include "convert/ProcessPipe.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>

#include <unistd.h>

namespace
{

constexpr int toolTimeoutMs = 60000;

// Process state letter and parent from /proc/<pid>/stat; the name before them may hold spaces.
bool readStat(const QString &pid, char &state, qint64 &parent)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 2 || fields.at(0).isEmpty())
        return false;
    state = fields.at(0).at(0);
    parent = fields.at(1).toLongLong();
    return true;
}

QByteArray runTool(const QString &program, const QStringList &arguments, bool *ok)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    *ok = process.waitForFinished(toolTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    return process.readAllStandardOutput();
}

} // namespace

TestMedia::TestMedia() = default;

TestMedia::~TestMedia()
{
    restorePath();
}

void TestMedia::restorePath()
{
    if (m_pathChanged)
        qputenv("PATH", m_savedPath);
    m_pathChanged = false;
}

bool TestMedia::makeClip(const QString &name, int seconds, const QString &size)
{
    const QString duration = QString::number(seconds);
    bool ok = false;
    runTool(QStringLiteral("/usr/bin/ffmpeg"),
            {"-nostdin",  "-v",        "error", "-y",
             "-f",        "lavfi",     "-i",    "testsrc=d=" + duration + ":s=" + size + ":r=10",
             "-f",        "lavfi",     "-i",    "sine=d=" + duration,
             "-pix_fmt",  "yuv420p",   "-c:v",  "libx264",
             "-preset",   "ultrafast", "-c:a",  "aac",
             "-shortest", path(name)},
            &ok);
    return ok && QFile::exists(path(name));
}

bool TestMedia::makeHdrClip(const QString &name, const QString &transfer)
{
    return makeMedia(
        name, {"-f", "lavfi", "-i", "testsrc2=d=1:s=160x90:r=10", "-pix_fmt", "yuv420p10le", "-c:v",
               "libx265", "-preset", "ultrafast", "-x265-params",
               "log-level=error:colorprim=bt2020:transfer=" + transfer + ":colormatrix=bt2020nc",
               "-color_primaries", "bt2020", "-color_trc", transfer, "-colorspace", "bt2020nc"});
}

bool TestMedia::makeCutClip(const QString &name, int seconds, double keptBytes)
{
    const QString length = QString::number(seconds);
    const QString whole = QStringLiteral("whole-") + name;
    if (!makeMedia(whole,
                   {"-f", "lavfi", "-i", "testsrc2=d=" + length + ":s=160x90:r=10", "-f", "lavfi",
                    "-i", "sine=d=" + length, "-pix_fmt", "yuv420p", "-c:v", "libx264", "-preset",
                    "ultrafast", "-c:a", "aac", "-movflags", "+faststart"}))
        return false;
    QFile source(path(whole));
    QFile cut(path(name));
    if (!source.open(QIODevice::ReadOnly) || !cut.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = source.read(qint64(double(source.size()) * keptBytes));
    return cut.write(bytes) == bytes.size();
}

QString TestMedia::makeFile(const QString &name, qint64 bytes)
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(bytes))
        return QString();
    return file.fileName();
}

bool TestMedia::makeMedia(const QString &name, const QStringList &arguments)
{
    bool ok = false;
    runTool(QStringLiteral("/usr/bin/ffmpeg"),
            QStringList{"-nostdin", "-v", "error", "-y"} + arguments + QStringList{path(name)},
            &ok);
    return ok && QFile::exists(path(name));
}

bool TestMedia::installStandIn(const QByteArray &body)
{
    const QString bin = path(QStringLiteral("bin"));
    return QDir().mkpath(bin) && writeScript(bin + "/ffmpeg", body) && putStandInFirst(bin);
}

bool TestMedia::installStandInLink(const QString &program)
{
    const QString bin = path(QStringLiteral("bin"));
    QFile::remove(bin + "/ffmpeg");
    return QDir().mkpath(bin) && QFile::link(program, bin + "/ffmpeg") && putStandInFirst(bin);
}

bool TestMedia::putStandInFirst(const QString &bin)
{
    if (!m_pathChanged) {
        m_savedPath = qgetenv("PATH");
        m_pathChanged = true;
    }
    qputenv("PATH", QFile::encodeName(bin) + ':' + m_savedPath);
    return true;
}

QByteArray TestMedia::readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestMedia::writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool TestMedia::writeScript(const QString &path, const QByteArray &body)
{
    // Never through a link that an earlier stand-in left there.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("#!/bin/sh\n" + body + '\n');
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                               QFile::ReadGroup | QFile::ExeGroup);
}

QByteArray TestMedia::untilExists(const QString &path)
{
    return "i=0; while [ ! -e '" + QFile::encodeName(path) +
           "' ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done";
}

QStringList TestMedia::probeCodecs(const QString &file)
{
    bool ok = false;
    const QByteArray out =
        runTool(QStringLiteral("/usr/bin/ffprobe"),
                {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", file}, &ok);
    return ok ? QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts) : QStringList();
}

namespace
{

QString probeStream(const QString &file, const char *stream, const QString &entry)
{
    bool ok = false;
    const QByteArray out = runTool(QStringLiteral("/usr/bin/ffprobe"),
                                   {"-v", "error", "-select_streams", QLatin1String(stream),
                                    "-show_entries", "stream=" + entry, "-of", "csv=p=0", file},
                                   &ok);
    return ok ? QString::fromUtf8(out).trimmed() : QString();
}

} // namespace

QString TestMedia::probeVideo(const QString &file, const QString &entry)
{
    return probeStream(file, "v:0", entry);
}

QString TestMedia::probeAudio(const QString &file, const QString &entry)
{
    return probeStream(file, "a:0", entry);
}

QMap<QString, QString> TestMedia::probeFirstStreams(const QString &file, const QStringList &entries)
{
    bool ok = false;
    const QByteArray out = runTool(QStringLiteral("/usr/bin/ffprobe"),
                                   {"-v", "error", "-show_entries",
                                    "stream=codec_type," + entries.join(','), "-of", "json", file},
                                   &ok);
    QMap<QString, QString> values;
    if (!ok)
        return values;
    const QJsonArray streams = QJsonDocument::fromJson(out).object().value("streams").toArray();
    for (const auto &entry : streams) {
        const QJsonObject stream = entry.toObject();
        const QString kind = stream.value(QLatin1String("codec_type")).toString().left(1);
        if ((kind != QLatin1String("v") && kind != QLatin1String("a")) ||
            values.contains(kind + ":codec_type"))
            continue;
        for (auto field = stream.constBegin(); field != stream.constEnd(); ++field)
            values.insert(kind + ':' + field.key(), field.value().toVariant().toString());
    }
    return values;
}

double TestMedia::probeDuration(const QString &file)
{
    bool ok = false;
    const QByteArray out =
        runTool(QStringLiteral("/usr/bin/ffprobe"),
                {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file}, &ok);
    bool number = false;
    const double seconds = out.trimmed().toDouble(&number);
    return ok && number ? seconds : -1;
}

bool TestMedia::decodesCleanly(const QString &file)
{
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral("/usr/bin/ffmpeg"),
                  {"-nostdin", "-v", "error", "-i", file, "-f", "null", "-"});
    return process.waitForFinished(toolTimeoutMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0 && process.readAllStandardError().trimmed().isEmpty();
}

QList<qint64> TestMedia::childPids()
{
    return childPidsOf(getpid());
}

QList<qint64> TestMedia::childPidsOf(qint64 parentPid)
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        char state = 0;
        qint64 parent = 0;
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (numeric && readStat(entry, state, parent) && parent == parentPid)
            pids << pid;
    }
    return pids;
}

bool TestMedia::transcoderRuns()
{
    return childNamed("ffmpeg") != 0;
}

qint64 TestMedia::childNamed(const QByteArray &name)
{
    const QList<qint64> children = childPids();
    const auto found = std::find_if(children.begin(), children.end(),
                                    [&](qint64 pid) { return processName(pid) == name; });
    return found == children.end() ? 0 : *found;
}

QByteArray TestMedia::processName(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

char TestMedia::processState(qint64 pid)
{
    char state = 0;
    qint64 parent = 0;
    return readStat(QString::number(pid), state, parent) ? state : char(0);
}

bool TestMedia::processGone(qint64 pid)
{
    char state = 0;
    qint64 parent = 0;
    return !readStat(QString::number(pid), state, parent) || state == 'Z';
}

QByteArray TestMedia::readToEnd(ProcessPipe &pipe)
{
    QByteArray all;
    char buffer[256];
    uint32_t count = 0;
    int result = 0;
    while ((result = pipe.read(buffer, sizeof buffer, count, -1)) == 0)
        all.append(buffer, int(count));
    return result == ProcessPipe::outputEnded
               ? all
               : QByteArray("unexpected result ") + QByteArray::number(result);
}
