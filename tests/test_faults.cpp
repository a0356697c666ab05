#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "EventLoopWatch.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "convert/ConversionJob.h"
#include "convert/OutputName.h"
#include "params/ParamTables.h"
#include "tests/LogindMock.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>

#include <csignal>
#include <functional>
#include <unistd.h>

namespace
{

constexpr int conversionTimeoutMs = 120000;
// Starting and reaping a transcoder blocks the GUI thread briefly; anything longer is a hang.
constexpr qint64 maxStallMs = 1000;
constexpr int goneWithinMs = 1000;
constexpr int unprivilegedId = 65534;

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

} // namespace

// Faults from outside the program, end to end through the main window. Every case ends with the
// checks of cleanup(): the window kept answering and is idle, no child process is left (zombies
// count), and every guarded input file is byte for byte what it was.
class TestFaults final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void failedRuns_data();
    void failedRuns();
    void outputFolderNotWritable();
    void diskFull();
    void diskFullWhenFinishing();
    void diskNearlyFull_data();
    void diskNearlyFull();
    void outputFolder_data();
    void outputFolder();
    void transcoderKilled_data();
    void transcoderKilled();
    void cancelDuringFlood();
    void programKilled();
    void killedDuringABatchAndRestarted();
    void transcoderMissing_data();
    void transcoderMissing();
    void outputLinkedToInput_data();
    void outputLinkedToInput();

private:
    ConversionJob *job(int row) const { return m_fixture.job(row); }
    void clickStart() const { m_fixture.clickStart(); }
    // Adds a file through the window and guards it; false when the window refused it.
    bool add(const QString &path);
    void guard(const QString &path);
    static bool waitForDialogs(const DialogAnswerer &answerer, int count,
                               int timeoutMs = conversionTimeoutMs)
    {
        return WindowFixture::waitForDialogs(answerer, count, timeoutMs);
    }
    static void verifyFailure(const QString &text, const QString &path, const QString &pattern);
    // Starts the helper program, after `prefix`, with its output folder and input.
    // Starts the helper program, after `prefix`, with its output folder and inputs; its saved list
    // is kept in `state`, or in a fresh folder when that is empty.
    void startHelper(QProcess &helper, const QStringList &prefix, const QString &dir,
                     const QStringList &inputs, QString state = QString());
    bool mountSmallDisk(const QString &size);

    TestMedia m_media;
    QString m_outDir;
    QString m_helperWorkDir;
    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
    EventLoopWatch *m_watch = nullptr;
    QMap<QString, QByteArray> m_guarded; // input path -> hash when guarded
    bool m_mounted = false;
};

void TestFaults::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(m_media.makeClip(QStringLiteral("clip.mp4")));
    QVERIFY(m_media.makeClip(QStringLiteral("two.mkv")));
    QVERIFY(m_media.makeClip(QStringLiteral("long.mp4"), 20, QStringLiteral("640x360")));
    // Noise does not compress: its conversion is larger than the small disk.
    QVERIFY(m_media.makeMedia(QStringLiteral("noise.mp4"),
                              {"-f", "lavfi", "-i",
                               "nullsrc=s=320x240:r=10:d=6,geq=random(1)*255:128:128", "-f",
                               "lavfi", "-i", "sine=d=6", "-pix_fmt", "yuv420p", "-c:v", "libx264",
                               "-preset", "ultrafast", "-crf", "30", "-c:a", "aac", "-shortest"}));
    QFile text(m_media.path(QStringLiteral("notes.mp4")));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("these are not moving pictures\n") > 0);
    QFile empty(m_media.path(QStringLiteral("zero.mp4")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    // Twenty seconds that compress well: their conversion takes about 320 KB.
    QVERIFY(m_media.makeMedia(QStringLiteral("steady.mp4"),
                              {"-f", "lavfi", "-i", "testsrc=d=20:s=320x240:r=25", "-f", "lavfi",
                               "-i", "sine=d=20", "-pix_fmt", "yuv420p", "-c:v", "libx264",
                               "-preset", "ultrafast", "-c:a", "aac", "-shortest"}));
}

void TestFaults::init()
{
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_fixture.open(m_outDir));
    m_window = m_fixture.window();
    m_guarded.clear();
    m_watch = new EventLoopWatch(this);
}

void TestFaults::cleanup()
{
    m_media.restorePath();
    const qint64 stall = m_watch->longestStallMs();
    const bool answering = m_window->isVisible() && !m_window->isConverting();
    const bool childrenGone =
        waitUntil([] { return TestMedia::childPids().isEmpty(); }, goneWithinMs);
    delete m_watch;
    m_watch = nullptr;
    m_fixture.close();
    m_window = nullptr;
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_outDir});
    m_mounted = false;
    QDir(m_outDir).removeRecursively();

    QVERIFY2(stall < maxStallMs,
             qPrintable(QStringLiteral("the window stood still for %1 ms").arg(stall)));
    QVERIFY(answering);
    QVERIFY2(childrenGone, "a child process was left behind");
    for (auto it = m_guarded.cbegin(); it != m_guarded.cend(); ++it)
        QVERIFY2(fileHash(it.key()) == it.value(), qPrintable(it.key() + " changed"));
}

bool TestFaults::add(const QString &path)
{
    guard(path);
    return m_window->addInputFile(path.toStdString()) == 0;
}

void TestFaults::guard(const QString &path)
{
    m_guarded.insert(path, fileHash(path));
}

// A summary of one failed job whose reason matches `pattern`.
void TestFaults::verifyFailure(const QString &text, const QString &path, const QString &pattern)
{
    const QString head = WindowFixture::summary(0, 0, {path, QString()});
    QVERIFY2(text.startsWith(head), qPrintable(text));
    const QString reason = text.mid(head.size());
    QVERIFY2(QRegularExpression(pattern).match(reason).hasMatch(), qPrintable(reason));
}

void TestFaults::failedRuns_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("vc"); // container; cv and ca override its codecs unless -1
    QTest::addColumn<int>("cv");
    QTest::addColumn<int>("ca");
    QTest::addColumn<QString>("reason");
    const QString exit1 = QStringLiteral("^转码程序异常退出，退出码：1\n");
    QTest::newRow("input deleted after it was listed")
        << "gone.mp4"
        << "delete input" << 0 << -1 << -1 << "^文件或文件夹不存在！\n$";
    QTest::newRow("text file named .mp4") << "notes.mp4"
                                          << "" << 0 << -1 << -1 << "^未识别的输入文件格式！\n$";
    QTest::newRow("zero-byte .mp4") << "zero.mp4"
                                    << "" << 0 << -1 << -1 << "^未识别的输入文件格式！\n$";
    QTest::newRow("H.265 in FLV") << "clip.mp4"
                                  << "" << 1 << 3 << -1
                                  << exit1 + "\\[flv @ 0x[0-9a-f]+\\] Video codec hevc not "
                                             "compatible with flv\n$";
    QTest::newRow("WMAv2 in FLV") << "clip.mp4"
                                  << "" << 1 << -1 << 2
                                  << exit1 + "\\[flv @ 0x[0-9a-f]+\\] Audio codec wmav2 not "
                                             "compatible with flv\n$";
    QTest::newRow("FLV1 in MP4") << "clip.mp4"
                                 << "" << 0 << 5 << -1
                                 << exit1 + "\\[mp4 @ 0x[0-9a-f]+\\] Could not find tag for codec "
                                            "flv1 in stream #0[^\n]*\n$";
}

void TestFaults::failedRuns()
{
    QFETCH(QString, input);
    QFETCH(QString, fault);
    QFETCH(int, vc);
    QFETCH(int, cv);
    QFETCH(int, ca);
    QFETCH(QString, reason);
    const QString path = m_media.path(input);
    if (fault == "delete input")
        QVERIFY(QFile::copy(m_media.path(QStringLiteral("clip.mp4")), path));
    QVERIFY(add(path));
    AVSettings settings = job(0)->settings();
    setContainer(settings, vc);
    settings.cv = cv == -1 ? settings.cv : cv;
    settings.ca = ca == -1 ? settings.ca : ca;
    job(0)->setSettings(settings);
    if (fault == "delete input") {
        QVERIFY(QFile::remove(path));
        guard(path);
    }

    DialogAnswerer answerer;
    clickStart();
    QVERIFY(waitForDialogs(answerer, 1));
    QCOMPARE(answerer.texts.size(), 1);
    verifyFailure(answerer.texts.at(0), path, reason);
    QCOMPARE(job(0)->convertState(), int(Failed));
}

void TestFaults::startHelper(QProcess &helper, const QStringList &prefix, const QString &dir,
                             const QStringList &inputs, QString state)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (state.isEmpty()) {
        static int helpers = 0;
        state = m_media.path(QStringLiteral("helper-state-%1").arg(++helpers));
    }
    QVERIFY(QDir().mkpath(state));
    env.insert(QStringLiteral("XDG_STATE_HOME"), state);
    // Another user may not reach this X server; the helper needs no screen.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // In a sanitizer build: that platform plugin leaves its screen behind at exit.
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    helper.setProcessEnvironment(env);
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList command = prefix + QStringList{QStringLiteral(FAULTS_HELPER), dir} + inputs;
    helper.start(command.first(), command.mid(1));
}

// As root the file permissions stop nobody, so the helper runs the batch as an unprivileged user
// for whom a folder owned by root is not writable.
void TestFaults::outputFolderNotWritable()
{
    const QString locked = m_outDir + QStringLiteral("/locked");
    QVERIFY(QDir().mkpath(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                              QFile::ReadOther | QFile::ExeOther));
    QStringList prefix;
    if (geteuid() == 0) {
        const QStringList setpriv = {QStringLiteral("--reuid=%1").arg(unprivilegedId),
                                     QStringLiteral("--regid=%1").arg(unprivilegedId),
                                     QStringLiteral("--clear-groups"), QStringLiteral("--")};
        if (QProcess::execute(QStringLiteral("setpriv"), setpriv + QStringList{"true"}) != 0)
            QSKIP("cannot switch to an unprivileged user here");
        prefix = QStringList{QStringLiteral("setpriv")} + setpriv;
        // The unprivileged user must reach the input and the helper's files.
        QVERIFY(QFile::setPermissions(m_media.path(QString()),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther));
    } else {
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QString input = m_media.path(QStringLiteral("clip.mp4"));
    guard(input);
    QProcess helper;
    startHelper(helper, prefix, locked, {input});
    QVERIFY(waitUntil([&] { return helper.state() == QProcess::NotRunning; }, conversionTimeoutMs));
    QCOMPARE(helper.exitCode(), 0);
    // The batch does not start: one message names the folder and why.
    QCOMPARE(
        QString::fromUtf8(helper.readAllStandardOutput()),
        QStringLiteral("listed 0\n无法使用输出文件夹：\n%1\n原因：没有写入权限\n").arg(locked));
    QVERIFY(QDir(locked).isEmpty());
}

bool TestFaults::mountSmallDisk(const QString &size)
{
    m_mounted = QProcess::execute(QStringLiteral("mount"),
                                  {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", m_outDir}) == 0;
    return m_mounted;
}

void TestFaults::diskFull()
{
    if (geteuid() != 0)
        QSKIP("mounting a small tmpfs as the output folder needs root");
    const QString noise = m_media.path(QStringLiteral("noise.mp4"));
    if (!mountSmallDisk(QStringLiteral("1m")))
        QSKIP("cannot mount a tmpfs here");
    QVERIFY(add(noise));
    DialogAnswerer answerer;
    clickStart();
    QVERIFY(waitForDialogs(answerer, 1));
    verifyFailure(answerer.texts.at(0), noise,
                  QStringLiteral("^转码程序异常退出，退出码：1\n.*No space left on device\n$"));
    QCOMPARE(job(0)->convertState(), int(Failed));
    QVERIFY2(job(0)->progress() > 0, "no progress was shown before the disk filled");
}

// A disk that fills up while the transcoder finishes the file: it reports it and still exits
// with status 0, and the file is unplayable.
void TestFaults::diskFullWhenFinishing()
{
    if (geteuid() != 0)
        QSKIP("mounting a small tmpfs as the output folder needs root");
    const QString input = m_media.path(QStringLiteral("steady.mp4"));
    QVERIFY(add(input));
    DialogAnswerer answerer;
    clickStart();
    QVERIFY(waitForDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), WindowFixture::summary(1, 0));
    // Room for all but the end of the file, which is written last.
    const QString output = QString::fromStdString(job(0)->outputPath());
    const qint64 kilobytes = QFileInfo(output).size() / 1024 - 40;
    QVERIFY(QFile::remove(output));
    if (!mountSmallDisk(QStringLiteral("%1k").arg(kilobytes / 4 * 4)))
        QSKIP("cannot mount a tmpfs here");

    m_fixture.close(); // a new window: the same file as a new job
    QVERIFY(m_fixture.open(m_outDir));
    m_window = m_fixture.window();
    QVERIFY(add(input));
    clickStart();
    QVERIFY(waitForDialogs(answerer, 2));
    // The run wrote under a temporary name, which it leaves behind no more than a final one.
    const QString written = QString::fromStdString(job(0)->outputPath());
    QVERIFY2(isTempOutputName(QFileInfo(written).fileName()), qPrintable(written));
    verifyFailure(answerer.texts.at(1), input,
                  "^磁盘空间不足，输出文件没有写完整！\nError writing trailer of " +
                      QRegularExpression::escape(written) + ": No space left on device\n$");
    QCOMPARE(job(0)->convertState(), int(Failed));
    QCOMPARE(QDir(m_outDir).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestFaults::diskNearlyFull_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QString>("summary");
    QTest::newRow("继续") << true << WindowFixture::summary(1, 0);
    QTest::newRow("取消转码") << false << WindowFixture::summary(0, 1);
}

// Less room than the batch keeps free from the start: the window asks before any transcoder
// runs, and either answer ends cleanly.
void TestFaults::diskNearlyFull()
{
    QFETCH(bool, goOn);
    if (geteuid() != 0)
        QSKIP("mounting a small tmpfs as the output folder needs root");
    if (!mountSmallDisk(QStringLiteral("4m")))
        QSKIP("cannot mount a tmpfs here");
    QFile filler(m_outDir + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    QVERIFY(filler.write(QByteArray(3400 * 1024, 'x')) > 0);
    filler.close();
    const QString input = m_media.path(QStringLiteral("clip.mp4"));
    QVERIFY(add(input));
    DialogAnswerer answerer(goOn ? DialogAnswerer::PressOk : DialogAnswerer::PressCancel);
    clickStart();
    QVERIFY(waitForDialogs(answerer, 1));
    QVERIFY2(answerer.texts.at(0).startsWith(QStringLiteral("输出文件夹所在的磁盘快满了！\n剩余 ")),
             qPrintable(answerer.texts.at(0)));
    answerer.setAnswer(DialogAnswerer::PressOk);
    QVERIFY(waitForDialogs(answerer, 2));
    QFETCH(QString, summary);
    QCOMPARE(answerer.texts.at(1), summary);
    QCOMPARE(job(0)->convertState(), int(goOn ? Done : Cancelled));
    QStringList left = QDir(m_outDir).entryList(QDir::Files | QDir::Hidden);
    QVERIFY(left.removeOne(QStringLiteral("filler")));
    QCOMPARE(left, goOn ? QStringList{QStringLiteral("Quellix转码-clip.mp4")} : QStringList());
}

void TestFaults::outputFolder_data()
{
    QTest::addColumn<QString>("case_");
    QTest::newRow("deleted after it was chosen") << "deleted";
    QTest::newRow("the movies folder of a new account") << "movies";
    QTest::newRow("a file in its place") << "file";
}

// A missing output folder is made when the batch starts; one that cannot be made stops the batch
// before anything starts, with one message.
void TestFaults::outputFolder()
{
    QFETCH(QString, case_);
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    QString folder = m_outDir;
    if (case_ == "movies") {
        const QString newHome = m_media.path(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(newHome));
        qputenv("HOME", QFile::encodeName(newHome));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(newHome + "/.config"));
        QVERIFY(m_fixture.open());
        m_window = m_fixture.window();
        folder = m_window->outputDirectory();
        QCOMPARE(folder, newHome + "/Videos");
    }
    QVERIFY(QDir(m_outDir).removeRecursively());
    if (case_ == "file")
        QVERIFY(QFile(m_outDir).open(QIODevice::WriteOnly));
    const QString input = m_media.path(QStringLiteral("clip.mp4"));
    QVERIFY(add(input));
    DialogAnswerer answerer;
    clickStart();
    const bool answered = waitForDialogs(answerer, 1);
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", config);
    QVERIFY(answered);
    if (case_ == "file") {
        QCOMPARE(
            answerer.texts.at(0),
            QStringLiteral("无法使用输出文件夹：\n%1\n原因：路径上有同名的文件\n").arg(m_outDir));
        QCOMPARE(job(0)->convertState(), int(Waiting));
        QVERIFY(!m_window->isConverting());
        QVERIFY(QFile::remove(m_outDir));
        return;
    }
    QCOMPARE(answerer.texts.at(0), WindowFixture::summary(1, 0));
    QCOMPARE(QFileInfo(QString::fromStdString(job(0)->outputPath())).path(), folder);
    // The batch is over; the prober's run below holds the loop itself.
    m_watch->stop();
    QCOMPARE(TestMedia::probeCodecs(QString::fromStdString(job(0)->outputPath())),
             (QStringList{"h264", "aac"}));
}

void TestFaults::transcoderKilled_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("reason");
    QTest::newRow("SIGKILL") << int(SIGKILL) << "^转码程序被信号 9 终止\n";
    // The transcoder finishes its file on SIGTERM, but the conversion is still incomplete.
    QTest::newRow("SIGTERM") << int(SIGTERM)
                             << "^转码程序异常退出，退出码：255\nExiting normally, received "
                                "signal 15.\n$";
}

void TestFaults::transcoderKilled()
{
    QFETCH(int, signal);
    QFETCH(QString, reason);
    const QString input = m_media.path(QStringLiteral("long.mp4"));
    QVERIFY(add(input));
    DialogAnswerer answerer;
    clickStart();
    QTRY_VERIFY_WITH_TIMEOUT(job(0)->progress() > 0, conversionTimeoutMs);
    const QList<qint64> children = TestMedia::childPids();
    QCOMPARE(children.size(), 1);
    QCOMPARE(TestMedia::processName(children.first()), QByteArray("ffmpeg"));
    QCOMPARE(::kill(pid_t(children.first()), signal), 0);
    QVERIFY(waitForDialogs(answerer, 1));
    verifyFailure(answerer.texts.at(0), input, reason);
    QCOMPARE(job(0)->convertState(), int(Failed));
}

void TestFaults::cancelDuringFlood()
{
    QVERIFY(m_media.installStandIn(
        "for last; do :; done; printf partial > \"$last\"\n"
        "printf '  Duration: 00:00:10.00, start: 0.000000\\ntime=00:00:05.00\\r'\n"
        "exec yes '[h264 @ 0x1] warning: a long line of noise that the transcoder keeps "
        "printing'"));
    QVERIFY(add(m_media.path(QStringLiteral("clip.mp4"))));
    DialogAnswerer answerer;
    clickStart();
    const QString output = QString::fromStdString(job(0)->outputPath());
    QTRY_VERIFY(job(0)->progress() == 50 && QFile::exists(output));
    QTest::qWait(300);
    QVERIFY(m_window->isConverting());

    QElapsedTimer sinceCancel;
    sinceCancel.start();
    clickStart();
    QVERIFY(waitUntil([] { return TestMedia::childPids().isEmpty(); }, goneWithinMs));
    QVERIFY2(sinceCancel.elapsed() < goneWithinMs,
             qPrintable(QStringLiteral("%1 ms").arg(sinceCancel.elapsed())));
    QCOMPARE(answerer.texts,
             (QStringList{QStringLiteral("确认取消？\n未完成的转码任务将会取消。\n"),
                          WindowFixture::summary(0, 1)}));
    QCOMPARE(job(0)->convertState(), int(Cancelled));
    QVERIFY(!QFile::exists(output));
}

// The program itself killed during a conversion: its transcoder must not run on unattended.
void TestFaults::programKilled()
{
    const QString input = m_media.path(QStringLiteral("long.mp4"));
    guard(input);
    // logind for the helper alone: its bus and service are children of this suite until the end.
    LogindMock logind;
    QVERIFY2(logind.start(), qPrintable(logind.lastError()));
    const bool busWasSet = qEnvironmentVariableIsSet("DBUS_SYSTEM_BUS_ADDRESS");
    const QByteArray systemBus = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    logind.exportAsSystemBus();
    const auto restoreBus = qScopeGuard([&] {
        if (busWasSet)
            qputenv("DBUS_SYSTEM_BUS_ADDRESS", systemBus);
        else
            qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    });
    QProcess helper;
    startHelper(helper, {}, m_outDir, {input});
    QVERIFY(helper.waitForStarted());
    const qint64 helperPid = helper.processId();
    qint64 transcoder = 0;
    QVERIFY(waitUntil(
        [&] {
            for (const qint64 pid : TestMedia::childPidsOf(helperPid)) {
                if (TestMedia::processName(pid) == "ffmpeg")
                    transcoder = pid;
            }
            return transcoder != 0;
        },
        conversionTimeoutMs));
    QTest::qWait(300);
    QVERIFY(!TestMedia::processGone(transcoder));
    // The machine is kept awake while the batch runs, and no longer than the program.
    QVERIFY(waitUntil([&] { return logind.inhibitorCount() == 1; }, goneWithinMs));

    QCOMPARE(::kill(pid_t(helperPid), SIGKILL), 0);
    QVERIFY(helper.waitForFinished());
    QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
    QVERIFY2(waitUntil([&] { return TestMedia::processGone(transcoder); }, goneWithinMs),
             "the transcoder outlived the program");
    QVERIFY2(waitUntil([&] { return logind.inhibitorCount() == 0; }, goneWithinMs),
             "the inhibitor outlived the program");
}

// Killed like a crash or a power cut while the second of three files converts: no file under a
// finished name is incomplete, and a restart brings the list back and converts exactly the two
// files that are not done, leaving nothing half-written behind.
void TestFaults::killedDuringABatchAndRestarted()
{
    // The helper programs convert; this suite's own window takes no part, and the decoding
    // checks below hold its loop themselves.
    m_watch->stop();
    const QString folder = m_outDir + QStringLiteral("/killed");
    QVERIFY(QDir().mkpath(folder));
    const QString state = m_media.path(QStringLiteral("killed-state"));
    const QStringList inputs = {m_media.path(QStringLiteral("clip.mp4")),
                                m_media.path(QStringLiteral("long.mp4")),
                                m_media.path(QStringLiteral("two.mkv"))};
    const QString savedList = state + QStringLiteral("/quellix/list.json");
    const auto savedStates = [&] {
        QFile file(savedList);
        QList<int> states;
        if (!file.open(QIODevice::ReadOnly))
            return states;
        const QJsonArray entries =
            QJsonDocument::fromJson(file.readAll()).object().value("entries").toArray();
        for (const QJsonValue &entry : entries)
            states << entry.toObject().value("state").toInt(-1);
        return states;
    };
    // Both batches run in helper programs; this process's window only waits, and the checks
    // below, which decode whole outputs, hold it on purpose.
    m_watch->stop();
    QProcess first;
    startHelper(first, {}, folder, inputs, state);
    QVERIFY(first.waitForStarted());
    QVERIFY2(waitUntil(
                 [&] {
                     return savedStates() == QList<int>{Done, Converting, Waiting};
                 },
                 conversionTimeoutMs),
             qPrintable(QString::fromUtf8(QFile(savedList).exists() ? "saved" : "not saved")));
    QTest::qWait(500); // the second file is being written
    QCOMPARE(::kill(pid_t(first.processId()), SIGKILL), 0);
    QVERIFY(waitUntil([&] { return first.state() == QProcess::NotRunning; }, 5000));
    QVERIFY(waitUntil([] { return TestMedia::childPids().isEmpty(); }, 5000));

    const QString done = folder + QStringLiteral("/Quellix转码-clip.mp4");
    const QStringList finished = QDir(folder).entryList(QDir::Files);
    QCOMPARE(finished, QStringList{QFileInfo(done).fileName()});
    QVERIFY(TestMedia::decodesCleanly(done));
    const QStringList halfWritten = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(halfWritten.size(), 2);
    const QByteArray doneBytes = fileHash(done);

    QProcess second;
    startHelper(second, {}, folder, inputs, state);
    QVERIFY(waitUntil([&] { return second.state() == QProcess::NotRunning; }, conversionTimeoutMs));
    const QString printed = QString::fromUtf8(second.readAllStandardOutput());
    QVERIFY2(printed.startsWith(QStringLiteral("listed 2 0 0\nstarted\n")), qPrintable(printed));
    QVERIFY2(printed.endsWith(WindowFixture::summary(2, 1)), qPrintable(printed));
    const QStringList outputs = {done, folder + QStringLiteral("/Quellix转码-long.mp4"),
                                 folder + QStringLiteral("/Quellix转码-two.mp4")};
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList({QFileInfo(outputs[0]).fileName(), QFileInfo(outputs[1]).fileName(),
                          QFileInfo(outputs[2]).fileName()}));
    QCOMPARE(fileHash(done), doneBytes);
    for (const QString &output : outputs)
        QVERIFY2(TestMedia::decodesCleanly(output), qPrintable(output));
    QCOMPARE(savedStates(), (QList<int>{Done, Done, Done}));
}

void TestFaults::transcoderMissing_data()
{
    QTest::addColumn<bool>("laterJob");
    QTest::newRow("first job of the batch") << false;
    QTest::newRow("later job of the batch") << true;
}

void TestFaults::transcoderMissing()
{
    QFETCH(bool, laterJob);
    QVERIFY(QStandardPaths::findExecutable(QStringLiteral("ffmpeg"),
                                           {QCoreApplication::applicationDirPath()})
                .isEmpty());
    QVERIFY(add(m_media.path(QStringLiteral("clip.mp4"))));
    const QString second = m_media.path(QStringLiteral("two.mkv"));
    if (laterJob)
        QVERIFY(add(second));
    const QByteArray path = qgetenv("PATH");
    DialogAnswerer answerer;
    if (!laterJob)
        qputenv("PATH", "/nonexistent");
    clickStart();
    // The first job has its transcoder once its source is probed; the second finds none.
    if (laterJob) {
        QTRY_VERIFY(TestMedia::transcoderRuns());
        qputenv("PATH", "/nonexistent");
    }
    const bool answered = waitForDialogs(answerer, 1);
    qputenv("PATH", path);
    QVERIFY(answered);
    if (laterJob) {
        QCOMPARE(
            answerer.texts.at(0),
            WindowFixture::summary(1, 0, {second, QStringLiteral("启动失败！错误码：-102\n")}));
        QCOMPARE(job(0)->convertState(), int(Done));
    } else {
        QCOMPARE(answerer.texts.at(0), QStringLiteral("启动失败！\n错误码：-102"));
        QCOMPARE(job(0)->convertState(), int(Waiting));
    }
}

void TestFaults::outputLinkedToInput_data()
{
    QTest::addColumn<bool>("symbolic");
    QTest::newRow("symbolic link") << true;
    QTest::newRow("hard link") << false;
}

// A link in the output folder named as the output would be: writing there would overwrite the
// input. The job writes next to it under a distinct name instead.
void TestFaults::outputLinkedToInput()
{
    QFETCH(bool, symbolic);
    const QString input = m_media.path(QStringLiteral("linked.mp4"));
    QFile::remove(input);
    QVERIFY(QFile::copy(m_media.path(QStringLiteral("clip.mp4")), input));
    const QString link = m_outDir + QStringLiteral("/Quellix转码-linked.mp4");
    if (symbolic)
        QVERIFY(QFile::link(input, link));
    else
        QCOMPARE(::link(QFile::encodeName(input).constData(), QFile::encodeName(link).constData()),
                 0);
    QVERIFY(add(input));
    DialogAnswerer answerer;
    clickStart();
    QVERIFY(waitForDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), WindowFixture::summary(1, 0));
    const QString output = m_outDir + QStringLiteral("/Quellix转码-linked (2).mp4");
    QCOMPARE(QString::fromStdString(job(0)->outputPath()), output);
    // The batch is over; the prober's run below holds the loop itself.
    m_watch->stop();
    QCOMPARE(TestMedia::probeCodecs(output), (QStringList{"h264", "aac"}));
    QCOMPARE(fileHash(link), m_guarded.value(input));
    QCOMPARE(QFileInfo(link).isSymLink(), symbolic);
}

QUELLIX_TEST_MAIN(TestFaults)
#include "test_faults.moc"
