#include "batch/BatchQueue.h"
#include "convert/ConversionJob.h"
#include "convert/LeftoverOutputs.h"
#include "convert/OutputPublisher.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace
{

constexpr int batchTimeoutMs = 120000;

// Logs the input it is given, fails on inputs named "bad…", and otherwise writes its output.
// `wait` (shell) runs before it ends, so that a test can act while a job converts.
QByteArray standIn(const QString &log, const QByteArray &wait = ":")
{
    return "for last; do :; done\n"
           "echo \"$3\" >> '" +
           log.toUtf8() + "'\n" + wait +
           "\n"
           "case \"$3\" in */bad*) echo \"$3: Invalid data found when processing input\"; exit 1;; "
           "esac\n"
           "printf data > \"$last\"; echo 'kb/s:'";
}

// Logs "start NAME" and "end NAME", so that a test sees which runs overlapped. Between the two,
// each run waits until the runs that may go on beside it have started: `together` at once, of
// `files` in all. So runs allowed at once do meet however slowly each one starts, and runs that
// must not meet cannot; a run waits a minute at most, for a batch that never lets them meet.
QByteArray overlapLogger(const QString &log, int together, int files)
{
    return "for last; do :; done\n"
           "name=$(basename \"$3\")\n"
           "log='" +
           log.toUtf8() +
           "'\n"
           "echo \"start $name\" >> \"$log\"\n"
           "me=$(awk -v s=\"start $name\" '/^start /{n++} $0 == s {print n; exit}' \"$log\")\n"
           "want=$((me - 1 + " +
           QByteArray::number(together) + ")); [ $want -gt " + QByteArray::number(files) +
           " ] && want=" + QByteArray::number(files) +
           "\n"
           "i=0; while [ $(grep -c '^start ' \"$log\") -lt $want ] && [ $i -lt 1200 ]; do\n"
           "    sleep 0.05; i=$((i+1)); done\n"
           "echo \"end $name\" >> \"$log\"\n"
           "case \"$3\" in */bad*) echo \"$3: Invalid data found when processing input\"; exit 1;; "
           "esac\n"
           "printf data > \"$last\"; echo 'kb/s:'";
}

// The most runs that were under way at one time, by a log of overlapLogger's.
int mostAtOnce(const QStringList &lines)
{
    int now = 0;
    int most = 0;
    for (const QString &line : lines) {
        now += line.startsWith(QLatin1String("start ")) ? 1 : -1;
        most = qMax(most, now);
    }
    return most;
}

} // namespace

// The rules of a batch over the list, without a window: the order, what is skipped, what a failed
// start counts as, the results and the summary text.
class TestBatchQueue final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void runsInListOrder_data();
    void runsInListOrder();
    void laterBatchConvertsOnlyWhatIsNotDone();
    void stopCancelsEveryJobNotDone();
    void startRemovesLeftovers();
    void startFailures_data();
    void startFailures();
    void listKeepsPathsApart();
    void outputNamesFollowTheList();
    void severalAtOnce_data();
    void severalAtOnce();
    void severalAtOnceCancelledAndRestarted();
    void twoStartingAtOnceNeverShareAName();
    void automaticKeepsCoresBusy();
    void automaticRunning_data();
    void automaticRunning();
    void admission_data();
    void admission();
    void applyToAllAndTheFolder();
    void rowsAreTold_data();
    void rowsAreTold();
    void pauseHoldsTheBatch();
    void savedListKeepsTheWarning_data();
    void savedListKeepsTheWarning();

private:
    ConversionJob *add(const QString &name);
    bool runToEnd();
    QStringList converted() const;
    QString summary(int ok, int cancelled, const QStringList &failedNames = {}) const;

    TestMedia m_media;
    QString m_log;
    std::unique_ptr<BatchQueue> m_queue;
};

void TestBatchQueue::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    m_log = m_media.path(QStringLiteral("converted.log"));
    QVERIFY(QDir().mkpath(m_media.path(QStringLiteral("out"))));
    // A source that declares 40 seconds, for the stand-in to end short of.
    QVERIFY(m_media.makeMedia(QStringLiteral("forty.mka"),
                              {"-f", "lavfi", "-i", "sine=d=40", "-c:a", "flac"}));
}

void TestBatchQueue::init()
{
    QFile::remove(m_log);
    QVERIFY(m_media.installStandIn(standIn(m_log)));
    // The real prober refuses these one-byte inputs too, but takes a good part of a second to
    // start on a loaded machine.
    QVERIFY(TestMedia::writeScript(m_media.path(QStringLiteral("bin/ffprobe")), "exit 1"));
    m_queue = std::make_unique<BatchQueue>();
    m_queue->setOutputDirectory(m_media.path(QStringLiteral("out")));
}

void TestBatchQueue::cleanup()
{
    m_queue.reset();
    m_media.restorePath();
}

ConversionJob *TestBatchQueue::add(const QString &name)
{
    const QString path = m_media.path(name);
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write("x");
    auto job = std::make_unique<ConversionJob>();
    if (job->setInput(path.toStdString(), makeAVSettings(0, QualityMedium, QualityMedium)) != 0)
        return nullptr;
    return m_queue->append(std::move(job));
}

bool TestBatchQueue::runToEnd()
{
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    return m_queue->start() == 0 && m_queue->isRunning() && finished.wait(batchTimeoutMs) &&
           !m_queue->isRunning();
}

// Names of the inputs the transcoder was started for, in order.
QStringList TestBatchQueue::converted() const
{
    QFile file(m_log);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts))
        names << QFileInfo(line).fileName();
    return names;
}

QString TestBatchQueue::summary(int ok, int cancelled, const QStringList &failedNames) const
{
    QString text = QStringLiteral("转码任务完成！\n成功： %1 个\n").arg(ok);
    if (cancelled > 0)
        text += QStringLiteral("取消： %1 个\n").arg(cancelled);
    if (!failedNames.isEmpty())
        text += QStringLiteral("失败： %1 个\n").arg(failedNames.size());
    for (const QString &name : failedNames)
        text += m_media.path(name) + QStringLiteral(" : 未识别的输入文件格式！\n");
    return text;
}

void TestBatchQueue::runsInListOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("failed"); // in the summary's order: by path
    QTest::newRow("all succeed") << QStringList{"c.mp4", "a.mp4", "b.mp4"} << QStringList();
    QTest::newRow("second fails") << QStringList{"a.mp4", "bad.mp4", "c.mp4"}
                                  << QStringList{"bad.mp4"};
    QTest::newRow("every one fails")
        << QStringList{"bad2.mkv", "bad1.avi"} << QStringList{"bad1.avi", "bad2.mkv"};
}

void TestBatchQueue::runsInListOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, failed);
    for (const QString &name : names)
        QVERIFY(add(name));
    QVERIFY(runToEnd());
    QCOMPARE(converted(), names);
    QCOMPARE(m_queue->summaryText(), summary(names.size() - failed.size(), 0, failed));
    for (int row = 0; row < names.size(); ++row)
        QCOMPARE(m_queue->at(row)->convertState(),
                 int(failed.contains(names[row]) ? Failed : Done));
    m_queue->clearResults();
    QCOMPARE(m_queue->summaryText(), summary(0, names.size()));
}

// Done jobs are skipped and count as not converted; failed and cancelled ones run again.
void TestBatchQueue::laterBatchConvertsOnlyWhatIsNotDone()
{
    QVERIFY(add(QStringLiteral("a.mp4")));
    ConversionJob *bad = add(QStringLiteral("bad.mp4"));
    ConversionJob *later = add(QStringLiteral("later.mp4"));
    QCOMPARE(later->cancel(), 0);
    QVERIFY(runToEnd());
    QCOMPARE(converted(), (QStringList{"a.mp4", "bad.mp4", "later.mp4"}));

    QFile::remove(m_log);
    QCOMPARE(later->cancel(), ConversionJob::alreadyDone);
    QCOMPARE(bad->convertState(), int(Failed));
    QVERIFY(runToEnd());
    QCOMPARE(converted(), QStringList{"bad.mp4"});
    QCOMPARE(m_queue->summaryText(), summary(0, 2, {"bad.mp4"}));

    QFile::remove(m_log);
    QCOMPARE(bad->cancel(), 0);
    QCOMPARE(bad->convertState(), int(Cancelled));
    QVERIFY(runToEnd());
    QCOMPARE(converted(), QStringList{"bad.mp4"});
    QCOMPARE(m_queue->findStartable(0), bad);
    QCOMPARE(m_queue->findStartableAfter(bad), nullptr);
}

void TestBatchQueue::stopCancelsEveryJobNotDone()
{
    ConversionJob *done = add(QStringLiteral("done.mp4"));
    QVERIFY(runToEnd());
    QVERIFY(m_media.installStandIn(standIn(m_log, "sleep 0.5")));
    ConversionJob *slow = add(QStringLiteral("slow.mp4"));
    ConversionJob *waiting = add(QStringLiteral("waiting.mp4"));
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    QCOMPARE(m_queue->start(), 0);
    QCOMPARE(slow->convertState(), int(Converting));
    m_queue->stop();
    QVERIFY(!m_queue->isRunning());
    QCOMPARE(done->convertState(), int(Done));
    QCOMPARE(slow->convertState(), int(Cancelled));
    QCOMPARE(waiting->convertState(), int(Cancelled));
    QTest::qWait(800);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(m_queue->summaryText(), summary(0, 3));
    QVERIFY(!QFile::exists(QString::fromStdString(slow->outputPath())));
}

// What a killed run left is removed when a batch starts, before it writes anything.
void TestBatchQueue::startRemovesLeftovers()
{
    const QString leftover = m_media.path(QStringLiteral("out/.quellix-0000000a-killed.part.mp4"));
    QVERIFY(TestMedia::writeFile(leftover, "half"));
    QCOMPARE(OutputPublisher::forThisUser().record().add(leftover), 0);
    QVERIFY(add(QStringLiteral("a.mp4")));
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    QCOMPARE(m_queue->start(), 0);
    QVERIFY(!QFileInfo::exists(leftover));
    QVERIFY(finished.wait(batchTimeoutMs));
}

void TestBatchQueue::startFailures_data()
{
    QTest::addColumn<bool>("laterJob");
    QTest::newRow("first job") << false;
    QTest::newRow("later jobs") << true;
}

void TestBatchQueue::startFailures()
{
    QFETCH(bool, laterJob);
    // The first transcoder goes on until the test has taken the others away.
    const QString release = m_media.path(QStringLiteral("release"));
    QFile::remove(release);
    if (laterJob)
        QVERIFY(m_media.installStandIn(standIn(m_log, TestMedia::untilExists(release))));
    QVERIFY(add(QStringLiteral("first.mp4")));
    QVERIFY(add(QStringLiteral("second.mp4")));
    QVERIFY(add(QStringLiteral("third.mp4")));
    const QByteArray path = qgetenv("PATH");
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    if (!laterJob) {
        qputenv("PATH", "/nonexistent");
        const int result = m_queue->start();
        qputenv("PATH", path);
        QCOMPARE(result, ProcessPipe::startFailed);
        QVERIFY(!m_queue->isRunning());
        QCOMPARE(m_queue->at(0)->convertState(), int(Waiting));
        return;
    }
    QCOMPARE(m_queue->start(), 0);
    // The first job has its transcoder once the source is probed; the others find none.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_log), batchTimeoutMs);
    qputenv("PATH", "/nonexistent");
    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    const bool ended = finished.wait(batchTimeoutMs);
    qputenv("PATH", path);
    QVERIFY(ended);
    const QString failure = QStringLiteral("启动失败！错误码：-102\n");
    QCOMPARE(m_queue->summaryText(), QStringLiteral("转码任务完成！\n成功： 1 个\n失败： 2 个\n") +
                                         m_media.path(QStringLiteral("second.mp4")) + " : " +
                                         failure + m_media.path(QStringLiteral("third.mp4")) +
                                         " : " + failure);
}

void TestBatchQueue::listKeepsPathsApart()
{
    ConversionJob *a = add(QStringLiteral("a.mp4"));
    ConversionJob *b = add(QStringLiteral("b.mp4"));
    QVERIFY(m_queue->isListed(m_media.path(QStringLiteral("a.mp4")).toStdString()));
    QVERIFY(!m_queue->isListed(m_media.path(QStringLiteral("./a.mp4")).toStdString()));
    QCOMPARE(m_queue->rowOf(b), 1);
    m_queue->removeAt(0);
    QCOMPARE(m_queue->count(), 1);
    QCOMPARE(m_queue->at(0), b);
    QCOMPARE(m_queue->rowOf(a), -1);
    QVERIFY(!m_queue->isListed(m_media.path(QStringLiteral("a.mp4")).toStdString()));
    QCOMPARE(m_queue->at(1), nullptr);
    m_queue->clear();
    QCOMPARE(m_queue->count(), 0);
    QCOMPARE(m_queue->start(), BatchQueue::nothingToConvert);
}

// A finished file gets its name, a failed one leaves nothing; a listed job's output name stays
// taken for the others, a removed job's file still keeps its name on disk.
void TestBatchQueue::outputNamesFollowTheList()
{
    for (const char *folder : {"good", "bad", "again"})
        QVERIFY(QDir().mkpath(m_media.path(QString::fromLatin1(folder))));
    const QString out = m_queue->outputDirectory() + QStringLiteral("/Quellix转码-clip");
    QVERIFY(add(QStringLiteral("good/clip.mkv")));
    ConversionJob *failing = add(QStringLiteral("bad/clip.avi"));
    QVERIFY(runToEnd());
    QCOMPARE(QString::fromStdString(m_queue->at(0)->outputPath()), out + ".mp4");
    QCOMPARE(failing->convertState(), int(Failed));
    const QDir folder(m_queue->outputDirectory());
    QCOMPARE(folder.entryList({QStringLiteral("*clip*")}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Quellix转码-clip.mp4")});
    m_queue->removeAt(0);
    QVERIFY(add(QStringLiteral("again/clip.mov")));
    QVERIFY(runToEnd());
    QCOMPARE(QString::fromStdString(m_queue->at(1)->outputPath()), out + " (2).mp4");
}

void TestBatchQueue::admission_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("create");
    QTest::addColumn<int>("result");
    QTest::newRow("video") << "fine.mp4" << true << 0;
    QTest::newRow("upper-case suffix") << "LOUD.MKV" << true << 0;
    QTest::newRow("mixed-case suffix") << "mixed.RmVb" << true << 0;
    QTest::newRow("missing") << "gone.mp4" << false << int(BatchQueue::refused);
    QTest::newRow("text") << "notes.txt" << true << int(BatchQueue::refused);
    QTest::newRow("video name, text type") << "clip.mp4.txt" << true << int(BatchQueue::refused);
    QTest::newRow("no suffix") << "noext" << true << int(BatchQueue::refused);
    QTest::newRow("empty path") << QString() << false << int(BatchQueue::refused);
}

// Which files may join the list, decided without a window; a refused path leaves it unchanged.
void TestBatchQueue::admission()
{
    QFETCH(QString, name);
    QFETCH(bool, create);
    const QString path = name.isEmpty() ? QString() : m_media.path(name);
    if (create) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const AVSettings settings = makeAVSettings(2, QualityHigh, QualityLow);
    QTEST(m_queue->add(path.toStdString(), settings), "result");
    if (m_queue->count() == 0)
        return;
    QCOMPARE(m_queue->count(), 1);
    QCOMPARE(m_queue->at(0)->settings(), settings);
    QVERIFY(m_queue->isListed(path.toStdString()));
    // The same path twice, byte for byte, is listed once; another spelling of it is not the same.
    QCOMPARE(m_queue->add(path.toStdString(), settings), BatchQueue::refused);
    const QString spelled = QFileInfo(path).path() + QStringLiteral("/./") + name;
    QCOMPARE(m_queue->add(spelled.toStdString(), settings), 0);
    QCOMPARE(m_queue->count(), 2);
}

void TestBatchQueue::applyToAllAndTheFolder()
{
    QVERIFY(add(QStringLiteral("one.mp4")));
    QVERIFY(add(QStringLiteral("two.mp4")));
    const AVSettings wmv = makeAVSettings(3, QualityLow, QualityHigh);
    m_queue->applyToAll(wmv);
    QCOMPARE(m_queue->at(0)->settings(), wmv);
    QCOMPARE(m_queue->at(1)->settings(), wmv);

    // Jobs write where the queue says at the moment they start.
    const QString other = m_media.path(QStringLiteral("other out"));
    m_queue->setOutputDirectory(other);
    QCOMPARE(m_queue->outputDirectory(), other);
    QVERIFY(runToEnd());
    QCOMPARE(QString::fromStdString(m_queue->at(0)->outputPath()),
             other + QStringLiteral("/Quellix转码-one.wmv"));
    QVERIFY(QFile::exists(other + QStringLiteral("/Quellix转码-two.wmv")));
}

// What a view follows and what the saved list is written for: every listing, removal and change
// is told by row, a slice of rows at once where it came at once; restored rows change nothing
// that is saved.
void TestBatchQueue::rowsAreTold_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("told");
    QTest::newRow("files added one by one")
        << QStringList{"add a.mp4", "add b.mp4"}
        << QStringList{"inserted 0-0", "record", "inserted 1-1", "record"};
    QTest::newRow("files added as one slice")
        << QStringList{"begin", "add a.mp4", "begin", "add b.mp4", "end", "add c.mp4", "end"}
        << QStringList{"record", "record", "record", "inserted 0-2"};
    QTest::newRow("a refused file tells nothing")
        << QStringList{"add a.mp4", "add a.mp4", "add missing.mp4"}
        << QStringList{"inserted 0-0", "record"};
    QTest::newRow("restored rows are not saved again")
        << QStringList{"begin", "restore a.mp4", "restore b.mp4", "end", "restore c.mp4"}
        << QStringList{"inserted 0-1", "inserted 2-2"};
    QTest::newRow("removed and cleared")
        << QStringList{"add a.mp4", "add b.mp4", "add c.mp4", "remove 1",
                       "remove 7",  "clear",     "clear"}
        << QStringList{"inserted 0-0", "record",      "inserted 1-1", "record",      "inserted 2-2",
                       "record",       "removed 1-1", "record",       "removed 0-1", "record"};
    QTest::newRow("settings for all, once")
        << QStringList{"add a.mp4", "add b.mp4", "apply wmv", "apply wmv"}
        << QStringList{"inserted 0-0", "record", "inserted 1-1", "record", "changed 0-1", "record"};
    QTest::newRow("one job's state")
        << QStringList{"add a.mp4", "add b.mp4", "cancel 1"}
        << QStringList{"inserted 0-0", "record", "inserted 1-1", "record", "changed 1-1", "record"};
}

void TestBatchQueue::rowsAreTold()
{
    QFETCH(QStringList, steps);
    QStringList told;
    const auto rows = [&told](const char *what) {
        return [&told, what](int first, int last) {
            told << QStringLiteral("%1 %2-%3").arg(QLatin1String(what)).arg(first).arg(last);
        };
    };
    connect(m_queue.get(), &BatchQueue::rowsInserted, this, rows("inserted"));
    connect(m_queue.get(), &BatchQueue::rowsRemoved, this, rows("removed"));
    connect(m_queue.get(), &BatchQueue::rowsChanged, this, rows("changed"));
    connect(m_queue.get(), &BatchQueue::recordChanged, this, [&told] { told << "record"; });
    const AVSettings settings = makeAVSettings(0, QualityMedium, QualityMedium);
    for (const QString &step : steps) {
        const QString what = step.section(QLatin1Char(' '), 0, 0);
        const QString name = step.section(QLatin1Char(' '), 1);
        if (what == QLatin1String("add") && name != QLatin1String("missing.mp4"))
            m_media.makeFile(name);
        if (what == QLatin1String("add"))
            m_queue->add(m_media.path(name).toStdString(), settings);
        else if (what == QLatin1String("restore"))
            m_queue->restore({m_media.path(name).toStdString(), settings, Done, {}, {}});
        else if (what == QLatin1String("begin"))
            m_queue->beginInsertions();
        else if (what == QLatin1String("end"))
            m_queue->endInsertions();
        else if (what == QLatin1String("remove"))
            m_queue->removeAt(name.toInt());
        else if (what == QLatin1String("clear"))
            m_queue->clear();
        else if (what == QLatin1String("apply"))
            m_queue->applyToAll(makeAVSettings(3, QualityLow, QualityLow));
        else if (what == QLatin1String("cancel"))
            m_queue->at(name.toInt())->cancel();
    }
    QTEST(told, "told");
}

void TestBatchQueue::savedListKeepsTheWarning_data()
{
    QTest::addColumn<QByteArray>("position"); // where the run ends, of a source of 40 s
    QTest::addColumn<QString>("note");
    QTest::newRow("ended early") << QByteArray("00:00:10.00")
                                 << QStringLiteral(
                                        "源文件可能不完整：只转换了 10 秒（共 40 秒）\n");
    QTest::newRow("whole") << QByteArray("00:00:40.00") << QString();
}

// A file Done with a warning keeps it in the saved list, where a restored row shows it.
void TestBatchQueue::savedListKeepsTheWarning()
{
    QFETCH(QByteArray, position);
    // The real prober reads the declared length.
    QVERIFY(QFile::remove(m_media.path(QStringLiteral("bin/ffprobe"))));
    QVERIFY(m_media.installStandIn("for last; do :; done; printf 'frame=  9 time=" + position +
                                   " speed=9x\\r'; printf data > \"$last\"; echo 'kb/s:'"));
    QVERIFY(add(QStringLiteral("forty.mka")));
    QVERIFY(runToEnd());
    QCOMPARE(m_queue->at(0)->convertState(), int(Done));
    const std::vector<SavedEntry> saved = m_queue->savedEntries();
    QCOMPARE(saved.size(), size_t(1));
    QCOMPARE(saved.front().state, Done);
    QTEST(QString::fromStdString(saved.front().note), "note");
}

void TestBatchQueue::severalAtOnce_data()
{
    QTest::addColumn<int>("atOnce");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("failed");
    const QStringList five = {"e.mp4", "d.mp4", "c.mp4", "b.mp4", "a.mp4"};
    QTest::newRow("one at a time") << 1 << five << QStringList();
    QTest::newRow("two at once") << 2 << five << QStringList();
    QTest::newRow("three at once, fewer files")
        << 3 << QStringList{"y.mp4", "x.mp4"} << QStringList();
    QTest::newRow("two at once, one fails")
        << 2 << QStringList{"a.mp4", "bad.mp4", "c.mp4", "d.mp4"} << QStringList{"bad.mp4"};
}

// Files start in list order, never more at once than allowed, a failure stops nothing else, and
// the summary is that of a batch one after another.
void TestBatchQueue::severalAtOnce()
{
    QFETCH(int, atOnce);
    QFETCH(QStringList, names);
    QFETCH(QStringList, failed);
    QVERIFY(m_media.installStandIn(overlapLogger(m_log, atOnce, int(names.size()))));
    m_queue->setMaxRunning(atOnce);
    for (const QString &name : names)
        QVERIFY(add(name));
    int most = 0;
    QStringList started;
    connect(m_queue.get(), &BatchQueue::jobStarted, this, [&](ConversionJob *job) {
        most = qMax(most, m_queue->runningCount());
        started << job->fileName();
    });
    QVERIFY(runToEnd());
    QCOMPARE(m_queue->runningCount(), 0);
    QCOMPARE(most, qMin(atOnce, names.size()));
    QFile file(m_log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    // The transcoders themselves overlapped as much, and no more.
    QCOMPARE(mostAtOnce(lines), qMin(atOnce, names.size()));
    QCOMPARE(started, names);
    QCOMPARE(m_queue->summaryText(), summary(names.size() - failed.size(), 0, failed));
}

// "Cancel" ends every running file at once; the next batch takes up all that is not done.
void TestBatchQueue::severalAtOnceCancelledAndRestarted()
{
    QVERIFY(m_media.installStandIn("echo \"start $(basename \"$3\")\" >> '" + m_log.toUtf8() +
                                   "'; exec sleep 30"));
    m_queue->setMaxRunning(2);
    for (const char *name : {"a.mp4", "b.mp4", "c.mp4"})
        QVERIFY(add(QString::fromLatin1(name)));
    QCOMPARE(m_queue->start(), 0);
    QCOMPARE(m_queue->runningCount(), 2);
    QCOMPARE(m_queue->at(2)->convertState(), int(Waiting));
    // Both transcoders run, each once its source is probed.
    QTRY_COMPARE_WITH_TIMEOUT(converted().size(), 2, batchTimeoutMs);
    m_queue->stop();
    QCOMPARE(m_queue->runningCount(), 0);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(m_queue->at(row)->convertState(), int(Cancelled));
    QTRY_COMPARE_WITH_TIMEOUT(TestMedia::childPids(), QList<qint64>(), batchTimeoutMs);
    QCOMPARE(m_queue->summaryText(), summary(0, 3));

    QVERIFY(m_media.installStandIn(overlapLogger(m_log, 2, 3)));
    QFile::remove(m_log);
    QVERIFY(runToEnd());
    QCOMPARE(m_queue->summaryText(), summary(3, 0));
    QCOMPARE(
        mostAtOnce(QString::fromUtf8(TestMedia::readFile(m_log)).split('\n', Qt::SkipEmptyParts)),
        2);
}

// Same base names from different folders, started in one go: each takes its own output name.
void TestBatchQueue::twoStartingAtOnceNeverShareAName()
{
    QVERIFY(m_media.installStandIn(overlapLogger(m_log, 3, 3)));
    m_queue->setMaxRunning(3);
    for (const QString &folder : {QStringLiteral("p"), QStringLiteral("q"), QStringLiteral("r")}) {
        QVERIFY(QDir().mkpath(m_media.path(folder)));
        QVERIFY(add(folder + QStringLiteral("/same.mp4")));
    }
    QCOMPARE(m_queue->start(), 0);
    QCOMPARE(m_queue->runningCount(), 3);
    QSet<QString> written;
    for (int row = 0; row < 3; ++row)
        written << QString::fromStdString(m_queue->at(row)->outputPath());
    QCOMPARE(written.size(), 3);
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    QVERIFY(finished.wait(batchTimeoutMs));
    QSet<QString> outputs;
    for (int row = 0; row < 3; ++row)
        outputs << QString::fromStdString(m_queue->at(row)->outputPath());
    QCOMPARE(outputs.size(), 3);
    for (const QString &output : qAsConst(outputs))
        QVERIFY2(QFile::exists(output), qPrintable(output));
}

void TestBatchQueue::automaticKeepsCoresBusy()
{
    QCOMPARE(m_queue->maxRunning(), 1);
    m_queue->setMaxRunning(0);
    QCOMPARE(m_queue->maxRunning(), 0);
    const int automatic = BatchQueue::automaticRunning();
    QVERIFY(automatic >= 2 && automatic <= qMax(2, QThread::idealThreadCount()));
    QVERIFY(m_media.installStandIn(overlapLogger(m_log, automatic, automatic + 1)));
    for (int i = 0; i < automatic + 1; ++i)
        QVERIFY(add(QStringLiteral("auto%1.mp4").arg(i)));
    QCOMPARE(m_queue->start(), 0);
    QCOMPARE(m_queue->runningCount(), automatic);
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    QVERIFY(finished.wait(batchTimeoutMs));
    QCOMPARE(m_queue->summaryText(), summary(automatic + 1, 0));
}

// A paused batch starts no transcoder: not for the job that fails meanwhile, nor for the one
// started in its place. Its progress counts the files done, and the batch ends once resumed.
void TestBatchQueue::pauseHoldsTheBatch()
{
    const QString release = m_media.path(QStringLiteral("release-paused"));
    QFile::remove(release);
    QVERIFY(m_media.installStandIn(standIn(m_log, TestMedia::untilExists(release))));
    ConversionJob *first = add(QStringLiteral("first.mp4"));
    ConversionJob *second = add(QStringLiteral("second.mp4"));
    QSignalSpy running(m_queue.get(), &BatchQueue::runningChanged);
    QSignalSpy paused(m_queue.get(), &BatchQueue::pausedChanged);
    QSignalSpy finished(m_queue.get(), &BatchQueue::finished);
    QCOMPARE(m_queue->start(), 0);
    QTRY_COMPARE(converted().size(), 1);
    m_queue->pause();
    QVERIFY(m_queue->isPaused() && first->isPaused());
    // The next file's probe ahead ends by itself; the transcoder stays stopped.
    QTRY_COMPARE(TestMedia::childPids().size(), 1);
    const QList<qint64> transcoder = TestMedia::childPids();
    QCOMPARE(TestMedia::processName(transcoder.first()), QByteArray("ffmpeg"));
    QTRY_COMPARE(TestMedia::processState(transcoder.first()), 'T');
    QCOMPARE(m_queue->filesLeft(), 2);

    QCOMPARE(::kill(pid_t(transcoder.first()), SIGKILL), 0);
    QTRY_COMPARE(first->convertState(), int(Failed));
    QCOMPARE(second->convertState(), int(Converting));
    QVERIFY(second->isPaused());
    QCOMPARE(m_queue->filesLeft(), 1);
    QCOMPARE(m_queue->batchProgress(), 0.5);
    QTRY_COMPARE(TestMedia::childPids(), QList<qint64>()); // its probe has ended
    QTest::qWait(300);
    QCOMPARE(converted().size(), 1);

    QVERIFY(TestMedia::writeFile(release, QByteArray()));
    m_queue->resume();
    QVERIFY(!second->isPaused());
    QVERIFY(finished.wait(batchTimeoutMs));
    QCOMPARE(second->convertState(), int(Done));
    QCOMPARE(m_queue->batchProgress(), 1.0);
    QCOMPARE(m_queue->filesLeft(), 0);
    QCOMPARE(running.count(), 2);
    QCOMPARE(running.at(1).at(0).toBool(), false);
    QCOMPARE(paused.count(), 2);
    QVERIFY(!m_queue->isPaused());
    m_queue->pause(); // no batch, nothing to hold
    QVERIFY(!m_queue->isPaused());
}

void TestBatchQueue::automaticRunning_data()
{
    QTest::addColumn<int>("cores");
    QTest::addColumn<int>("atOnce");
    QTest::newRow("one core") << 1 << 2;
    QTest::newRow("two cores") << 2 << 2;
    QTest::newRow("four cores") << 4 << 2;
    QTest::newRow("six cores") << 6 << 3;
    QTest::newRow("eight cores") << 8 << 4;
    QTest::newRow("sixteen cores") << 16 << 4;
}

// Half the cores, between two and four: each encoder runs threads of its own.
void TestBatchQueue::automaticRunning()
{
    QFETCH(int, cores);
    QTEST(BatchQueue::automaticRunning(cores), "atOnce");
}

QTEST_GUILESS_MAIN(TestBatchQueue)
#include "test_batchqueue.moc"
