#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ProcessPipe;

// Test files made at run time: clips from the transcoder's own test sources, and a stand-in
// transcoder script found first in PATH while the helper lives.
class TestMedia final
{
public:
    TestMedia();
    ~TestMedia();
    TestMedia(const TestMedia &) = delete;
    TestMedia &operator=(const TestMedia &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // A clip with a test picture and a tone; false when the transcoder failed.
    bool makeClip(const QString &name, int seconds = 1,
                  const QString &size = QStringLiteral("160x120"));
    // Runs the transcoder with `arguments` and the file's path last; false when it failed.
    bool makeMedia(const QString &name, const QStringList &arguments);
    // A one-second 160x90 10-bit HEVC clip whose colours are tagged BT.2020 with `transfer`
    // ("smpte2084" for PQ, "arib-std-b67" for HLG), in the bitstream and the container.
    bool makeHdrClip(const QString &name, const QString &transfer);
    // A 160x90 clip with sound of `seconds`, index in front, and the first `keptBytes` share of
    // its bytes as `name`: a download broken off, which still declares the whole length.
    bool makeCutClip(const QString &name, int seconds, double keptBytes);
    // A file of `bytes` bytes in the helper's folder; its path, or empty when it cannot be made.
    QString makeFile(const QString &name, qint64 bytes = 0);
    // Writes `body` as a shell script named ffmpeg and puts its folder first in PATH.
    bool installStandIn(const QByteArray &body);
    // The same with a link named ffmpeg to `program`.
    bool installStandInLink(const QString &program);
    // Puts PATH back as it was before the first stand-in.
    void restorePath();
    // The whole content of a file; empty when it cannot be read.
    static QByteArray readFile(const QString &path);
    // Replaces the file's content by `bytes`; false when that failed.
    static bool writeFile(const QString &path, const QByteArray &bytes);
    // Writes an executable shell script at `path`.
    static bool writeScript(const QString &path, const QByteArray &body);
    // Shell for a stand-in that waits until `path` exists, a minute at most: it holds there until
    // the test has seen what it waits for, however slowly the machine runs.
    static QByteArray untilExists(const QString &path);

    // The codec names of a file's streams in stream order.
    static QStringList probeCodecs(const QString &file);
    // One entry of a file's first video stream as the prober names it (codec_name, pix_fmt,
    // width, height, codec_tag_string, ...); empty when there is none.
    static QString probeVideo(const QString &file, const QString &entry);
    // The same for the first audio stream (channels, sample_rate, codec_name, ...).
    static QString probeAudio(const QString &file, const QString &entry);
    // Several entries of the first video and the first audio stream in one run of the prober,
    // named "v:entry" and "a:entry"; an entry a stream lacks is left out.
    static QMap<QString, QString> probeFirstStreams(const QString &file,
                                                    const QStringList &entries);
    // The file's duration in seconds; -1 when it has none.
    static double probeDuration(const QString &file);
    // True when every packet of the file decodes without a complaint.
    static bool decodesCleanly(const QString &file);
    // Processes whose parent is this one, zombies included.
    // Everything a child started by the process runner writes until its output ends; a text
    // naming the read's result when it ends otherwise.
    static QByteArray readToEnd(ProcessPipe &pipe);
    static QList<qint64> childPids();
    // A child of this process runs the transcoder ("ffmpeg", real or a stand-in script).
    static bool transcoderRuns();
    // The first child of this process that runs `name`; 0 when there is none.
    static qint64 childNamed(const QByteArray &name);
    // Processes whose parent is `parent`, zombies included.
    static QList<qint64> childPidsOf(qint64 parent);
    // The program name the kernel shows for a process; empty when it is gone.
    static QByteArray processName(qint64 pid);
    // False while the process exists and is not a zombie.
    static bool processGone(qint64 pid);
    // The kernel's state letter of a process ('R', 'S', 'T' when stopped, 'Z'); 0 when it is gone.
    static char processState(qint64 pid);

private:
    bool putStandInFirst(const QString &bin);

    QTemporaryDir m_dir;
    QByteArray m_savedPath;
    bool m_pathChanged = false;
};
