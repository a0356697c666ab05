#include "convert/LeftoverOutputs.h"
#include "convert/OutputName.h"
#include "convert/OutputPublisher.h"
#include "convert/RecordLock.h"
#include "convert/TakenFiles.h"
#include "tests/TestMedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <deque>

#include <unistd.h>

namespace
{

const QString prefix = QStringLiteral("Quellix转码-");

// A process that runs while the object lives, standing for another copy of the program.
class StillRunning final
{
public:
    StillRunning()
    {
        m_process.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        m_process.waitForStarted();
    }
    ~StillRunning()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// The id of a process that has ended.
qint64 endedPid()
{
    QProcess process;
    process.start(QStringLiteral("true"), QStringList());
    process.waitForStarted();
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}

} // namespace

// Temporary outputs: their names, making them, publishing them under a final name that never
// replaces a file, and removing what a killed run left, and nothing else.
class TestTempOutputs final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void tempName_data();
    void tempName();
    void namePattern_data();
    void namePattern();
    void freshNames();
    void takenTempNameIsSkipped();
    void publish_data();
    void publish();
    void publishWithoutTemp();
    void publishedLeavesWithNextTemp();
    void datedLikeTheSource_data();
    void datedLikeTheSource();
    void discard();
    void leftoversRemovedOnlyWhenRecorded();
    void ownerAnswer_data();
    void ownerAnswer();
    void damagedRecordRemovesNothing();
    void recordLock_data();
    void recordLock();
    void recordLockWithoutFolder();

private:
    bool writeRecord(const QByteArray &bytes) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_out;
    std::unique_ptr<LeftoverOutputs> m_record;
};

void TestTempOutputs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_out = m_dir->filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_out));
    m_record = std::make_unique<LeftoverOutputs>(
        m_dir->filePath(QStringLiteral("state/quellix/outputs.json"))); // made when needed
}

bool TestTempOutputs::writeRecord(const QByteArray &bytes) const
{
    return QDir().mkpath(QFileInfo(m_record->recordFile()).path()) &&
           TestMedia::writeFile(m_record->recordFile(), bytes);
}

void TestTempOutputs::tempName_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "clip"
                           << ".mp4"
                           << ".quellix-0123abcd-clip.part.mp4";
    QTest::newRow("dots in the name") << "a.b"
                                      << ".wmv"
                                      << ".quellix-0123abcd-a.b.part.wmv";
    // 255 bytes at most: 18 before the base name, 9 after it.
    const QString longest = QString(300, QLatin1Char('y'));
    QTest::newRow("cut to the folder's limit")
        << longest << ".mp4"
        << ".quellix-0123abcd-" + longest.left(228) + ".part.mp4";
    const QString clapper = QStringLiteral("🎬");
    QTest::newRow("cut after a whole character")
        << clapper.repeated(60) << ".flv"
        << ".quellix-0123abcd-" + clapper.repeated(57) + ".part.flv";
}

void TestTempOutputs::tempName()
{
    QFETCH(QString, baseName);
    QFETCH(QString, extension);
    QFETCH(QString, expected);
    const std::string path = composeTempOutputPath(
        m_out.toStdString() + "/", baseName.toStdString(), extension.toStdString(), "0123abcd");
    QCOMPARE(QString::fromStdString(path), m_out + "/" + expected);
    QVERIFY(QFile::encodeName(expected).size() <= 255);
    QVERIFY(isTempOutputName(expected));
}

void TestTempOutputs::namePattern_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ours");

    QTest::newRow("ours") << ".quellix-0123abcd-clip.part.mp4" << true;
    QTest::newRow("no extension kept") << ".quellix-0123abcd-clip.part." << true;
    QTest::newRow("a final name") << prefix + "clip.mp4" << false;
    QTest::newRow("not hidden") << "quellix-0123abcd-clip.part.mp4" << false;
    QTest::newRow("short token") << ".quellix-0123abc-clip.part.mp4" << false;
    QTest::newRow("upper-case token") << ".quellix-0123ABCD-clip.part.mp4" << false;
    QTest::newRow("no part mark") << ".quellix-0123abcd-clip.mp4" << false;
    QTest::newRow("something after") << ".quellix-0123abcd-clip.part.mp4.keep" << false;
}

void TestTempOutputs::namePattern()
{
    QFETCH(QString, name);
    QFETCH(bool, ours);
    QCOMPARE(isTempOutputName(name), ours);
}

void TestTempOutputs::freshNames()
{
    OutputPublisher publisher(*m_record);
    QSet<QString> names;
    for (int i = 0; i < 50; ++i) {
        std::string path;
        QCOMPARE(publisher.createTemp(m_out.toStdString(), "clip", ".mp4", path), 0);
        names.insert(QString::fromStdString(path));
        QVERIFY(QFileInfo(QString::fromStdString(path)).isFile());
    }
    QCOMPARE(names.size(), 50);
    const QStringList recorded = m_record->recorded();
    QCOMPARE(QSet<QString>(recorded.cbegin(), recorded.cend()), names);
}

// A name in use, by another run or by anybody, is neither taken over nor recorded.
void TestTempOutputs::takenTempNameIsSkipped()
{
    std::deque<std::string> tokens = {"0000000a", "0000000a", "0000000b"};
    OutputPublisher publisher(*m_record, [&tokens] {
        std::string token = tokens.front();
        tokens.pop_front();
        return token;
    });
    // Another running copy of the program writes the first name.
    const StillRunning other;
    QVERIFY(other.pid() > 0);
    const QString first = m_out + "/.quellix-0000000a-clip.part.mp4";
    QVERIFY(TestMedia::writeFile(first, "someone else's"));
    QVERIFY(writeRecord(LeftoverOutputs::serialise({{first, other.pid()}})));
    std::string path;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "clip", ".mp4", path), 0);
    QCOMPARE(QString::fromStdString(path), m_out + "/.quellix-0000000b-clip.part.mp4");
    QCOMPARE(TestMedia::readFile(first), QByteArray("someone else's"));
    QCOMPARE(m_record->recorded(), (QStringList{first, QString::fromStdString(path)}));
}

void TestTempOutputs::publish_data()
{
    QTest::addColumn<QStringList>("existing");  // files in the folder before the rename
    QTest::addColumn<QString>("linked");        // a dangling link under this name
    QTest::addColumn<QStringList>("taken");     // names other jobs hold
    QTest::addColumn<QStringList>("appearing"); // made between choosing a name and the rename
    QTest::addColumn<QString>("expected");

    const QStringList none;
    QTest::newRow("free name") << none << "" << none << none << prefix + "clip.mp4";
    QTest::newRow("there before") << QStringList{prefix + "clip.mp4"} << "" << none << none
                                  << prefix + "clip (2).mp4";
    QTest::newRow("first free number") << QStringList{prefix + "clip.mp4", prefix + "clip (2).mp4"}
                                       << "" << none << none << prefix + "clip (3).mp4";
    QTest::newRow("dangling link")
        << none << prefix + "clip.mp4" << none << none << prefix + "clip (2).mp4";
    QTest::newRow("held by another job")
        << none << "" << QStringList{prefix + "clip.mp4"} << none << prefix + "clip (2).mp4";
    QTest::newRow("appears before the rename")
        << none << "" << none << QStringList{prefix + "clip.mp4"} << prefix + "clip (2).mp4";
    QTest::newRow("the next one appears too")
        << QStringList{prefix + "clip.mp4"} << "" << none
        << QStringList{prefix + "clip (2).mp4", prefix + "clip (3).mp4"} << prefix + "clip (4).mp4";
}

void TestTempOutputs::publish()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, linked);
    QFETCH(QStringList, taken);
    QFETCH(QStringList, appearing);
    QFETCH(QString, expected);
    OutputPublisher publisher(*m_record);
    std::string temp;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "clip", ".mp4", temp), 0);
    QVERIFY(TestMedia::writeFile(QString::fromStdString(temp), "converted"));
    for (const QString &name : existing)
        QVERIFY(TestMedia::writeFile(m_out + "/" + name, name.toUtf8()));
    if (!linked.isEmpty())
        QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("nowhere")), m_out + "/" + linked));
    TakenFiles others;
    for (const QString &name : taken)
        others.add(FileIdentity::of(m_out + "/" + name));
    // Another program takes each chosen name just before the rename, in this order.
    QStringList toAppear = appearing;
    publisher.setNameChosen([&](const std::string &path) {
        const QString chosen = QString::fromStdString(path);
        if (!toAppear.isEmpty() && chosen == m_out + "/" + toAppear.first())
            TestMedia::writeFile(chosen, toAppear.takeFirst().toUtf8());
    });

    std::string finalPath;
    QCOMPARE(publisher.publish(
                 temp, m_out.toStdString(), "clip", ".mp4",
                 [&](const FileIdentity &file) { return others.contains(file); }, finalPath),
             0);
    QCOMPARE(toAppear, QStringList());
    QCOMPARE(QString::fromStdString(finalPath), m_out + "/" + expected);
    QCOMPARE(TestMedia::readFile(QString::fromStdString(finalPath)), QByteArray("converted"));
    for (const QString &name : existing + appearing)
        QCOMPARE(TestMedia::readFile(m_out + "/" + name), name.toUtf8());
    QVERIFY(!QFileInfo::exists(QString::fromStdString(temp)));
    // The record settles by itself once the event loop runs.
    QTRY_VERIFY(m_record->recorded().isEmpty());
}

void TestTempOutputs::datedLikeTheSource_data()
{
    QTest::addColumn<bool>("keep");
    QTest::newRow("kept") << true;
    QTest::newRow("now") << false;
}

// The published file takes the source's modification and access times only when asked to.
void TestTempOutputs::datedLikeTheSource()
{
    QFETCH(bool, keep);
    const QString source = m_out + "/source.mkv";
    QVERIFY(TestMedia::writeFile(source, "source"));
    const QDateTime shot(QDate(2021, 3, 4), QTime(5, 6, 7, 890), Qt::UTC);
    QFile file(source);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(shot, QFileDevice::FileModificationTime) &&
            file.setFileTime(shot.addSecs(60), QFileDevice::FileAccessTime));
    file.close();
    OutputPublisher publisher(*m_record);
    publisher.setKeepSourceDates(keep);
    std::string temp;
    std::string finalPath;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "clip", ".mp4", temp), 0);
    QCOMPARE(publisher.publish(
                 temp, m_out.toStdString(), "clip", ".mp4",
                 [](const FileIdentity &) { return false; }, finalPath, source.toStdString()),
             0);
    const QFileInfo published(QString::fromStdString(finalPath));
    QCOMPARE(published.lastModified().toUTC() == shot, keep);
    QCOMPARE(published.lastRead().toUTC() == shot.addSecs(60), keep);
    QVERIFY(keep || published.lastModified().secsTo(QDateTime::currentDateTime()) < 60);
}

// A batch writes the record once per file: the next temporary name's entry and the published
// one's removal go together.
void TestTempOutputs::publishedLeavesWithNextTemp()
{
    OutputPublisher publisher(*m_record);
    std::string first;
    std::string second;
    std::string finalPath;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "a", ".mp4", first), 0);
    QCOMPARE(publisher.publish(
                 first, m_out.toStdString(), "a", ".mp4",
                 [](const FileIdentity &) { return false; }, finalPath),
             0);
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "b", ".mp4", second), 0);
    QCOMPARE(m_record->recorded(), QStringList{QString::fromStdString(second)});
    QCOMPARE(m_record->settle(), 0);
    QCOMPARE(m_record->recorded(), QStringList{QString::fromStdString(second)});
}

void TestTempOutputs::publishWithoutTemp()
{
    OutputPublisher publisher(*m_record);
    std::string temp;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "clip", ".mp4", temp), 0);
    QVERIFY(QFile::remove(QString::fromStdString(temp)));
    std::string finalPath = "unchanged";
    QCOMPARE(publisher.publish(
                 temp, m_out.toStdString(), "clip", ".mp4",
                 [](const FileIdentity &) { return false; }, finalPath),
             OutputPublisher::tempMissing);
    QCOMPARE(finalPath, std::string("unchanged"));
    QVERIFY(!QFileInfo::exists(m_out + "/" + prefix + "clip.mp4"));
}

void TestTempOutputs::discard()
{
    OutputPublisher publisher(*m_record);
    std::string kept, dropped;
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "a", ".avi", kept), 0);
    QCOMPARE(publisher.createTemp(m_out.toStdString(), "b", ".avi", dropped), 0);
    QCOMPARE(publisher.discard(dropped), 0);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(dropped)));
    QCOMPARE(m_record->recorded(), QStringList{QString::fromStdString(kept)});
}

void TestTempOutputs::leftoversRemovedOnlyWhenRecorded()
{
    const StillRunning running;
    QVERIFY(running.pid() > 0);
    const qint64 ended = endedPid();
    const QString killed = m_out + "/.quellix-00000001-a.part.mp4";
    const QString mine = m_out + "/.quellix-00000002-b.part.flv";
    const QString writing = m_out + "/.quellix-00000003-c.part.avi";
    const QString unrecorded = m_out + "/.quellix-00000004-d.part.mp4";
    const QString userFile = m_out + "/" + prefix + "e.mp4";
    const QString gone = m_out + "/.quellix-00000005-f.part.mp4";
    // A first pass's statistics go with their output, a running one's stay.
    const QString killedLog = killed + ".passlog-0.log";
    const QString writingLog = writing + ".passlog-0.log";
    for (const QString &path : {killed, mine, writing, unrecorded, userFile, killedLog, writingLog})
        QVERIFY(TestMedia::writeFile(path, "data"));
    const QList<LeftoverOutputs::Output> outputs = {{killed, ended},
                                                    {mine, qint64(::getpid())},
                                                    {writing, running.pid()},
                                                    {userFile, ended},
                                                    {gone, ended}};
    QVERIFY(writeRecord(LeftoverOutputs::serialise(outputs)));

    int removed = -1;
    QCOMPARE(m_record->removeLeftovers(&removed), 0);
    QCOMPARE(removed, 2);
    QVERIFY(!QFileInfo::exists(killed));
    QVERIFY(!QFileInfo::exists(killedLog));
    QVERIFY(!QFileInfo::exists(mine));
    // Another running copy of the program still writes this one.
    QVERIFY(QFileInfo::exists(writing));
    QVERIFY(QFileInfo::exists(writingLog));
    QVERIFY(QFileInfo::exists(unrecorded));
    QVERIFY(QFileInfo::exists(userFile));
    QCOMPARE(m_record->recorded(), QStringList{writing});
}

void TestTempOutputs::ownerAnswer_data()
{
    QTest::addColumn<int>("answer"); // of kill(pid, 0) for the recorded owner
    QTest::addColumn<bool>("kept");
    QTest::newRow("runs") << 0 << true;
    QTest::newRow("runs as another user") << int(EPERM) << true;
    QTest::newRow("gone") << int(ESRCH) << false;
}

void TestTempOutputs::ownerAnswer()
{
    QFETCH(int, answer);
    constexpr qint64 owner = 4242;
    qint64 asked = 0;
    LeftoverOutputs answered(m_record->recordFile(), [&](qint64 pid) {
        asked = pid;
        return answer;
    });
    const QString leftover = m_out + "/.quellix-00000001-a.part.mp4";
    QVERIFY(TestMedia::writeFile(leftover, "data"));
    QVERIFY(writeRecord(LeftoverOutputs::serialise({{leftover, owner}})));
    QCOMPARE(answered.removeLeftovers(), 0);
    QCOMPARE(asked, owner);
    QTEST(QFileInfo::exists(leftover), "kept");
}

void TestTempOutputs::damagedRecordRemovesNothing()
{
    const QString leftover = m_out + "/.quellix-00000001-a.part.mp4";
    QVERIFY(TestMedia::writeFile(leftover, "data"));
    const QByteArray damaged =
        "{\"version\":1,\"outputs\":[{\"path\":\"" + leftover.toUtf8() + "\",\"pid\":\"x\"}]}";
    QVERIFY(writeRecord(damaged));
    QCOMPARE(m_record->removeLeftovers(), LeftoverOutputs::recordDamaged);
    QVERIFY(QFileInfo::exists(leftover));
    QCOMPARE(TestMedia::readFile(m_record->recordFile() + ".bad"), damaged);
    // The record works again afterwards.
    QCOMPARE(m_record->add(leftover), 0);
    QCOMPARE(m_record->recorded(), QStringList{leftover});
}

void TestTempOutputs::recordLock_data()
{
    QTest::addColumn<bool>("olderCopy");
    QTest::newRow("a process that is killed holding it") << false;
    QTest::newRow("an older copy's QLockFile") << true;
}

// Whoever holds the record's lock, a change waits; a killed holder leaves no lock behind; and an
// older copy of the program waits for this one's lock in turn.
void TestTempOutputs::recordLock()
{
    QFETCH(bool, olderCopy);
    const QString path = m_dir->filePath(QStringLiteral("outputs.json.lock"));
    QLockFile older(path);
    QProcess holder;
    if (olderCopy) {
        QVERIFY(older.lock());
    } else {
        // -o: flock itself holds the lock, not the command it runs.
        holder.start(QStringLiteral("flock"),
                     {QStringLiteral("-o"), path, QStringLiteral("sleep"), QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(!RecordLock(path).tryLock(0));
    }
    RecordLock lock(path);
    QVERIFY(!lock.tryLock(100));
    if (olderCopy) {
        older.unlock();
    } else {
        holder.kill();
        QVERIFY(holder.waitForFinished());
    }
    QVERIFY(lock.tryLock(5000));
    QLockFile later(path);
    QVERIFY(!later.tryLock(100));
}

// A lock file that cannot be made does not appear by waiting: no change may hang on it.
void TestTempOutputs::recordLockWithoutFolder()
{
    RecordLock lock(m_dir->filePath(QStringLiteral("missing/outputs.json.lock")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!lock.tryLock(5000));
    QVERIFY2(clock.elapsed() < 4000, "waited for a lock file that cannot be made");
}

QTEST_GUILESS_MAIN(TestTempOutputs)
#include "test_tempoutputs.moc"
