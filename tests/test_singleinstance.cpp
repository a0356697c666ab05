#include "app/SingleInstance.h"
#include "tests/TestMedia.h"

#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>

namespace
{

constexpr int startLimitMs = 20000;

} // namespace

// One running program per user and desktop: a later start of the real program hands its files to
// the one that listens, even after an earlier run left its socket behind by crashing.
class TestSingleInstance final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void nothingListens();
    void laterStartHandsOver_data();
    void laterStartHandsOver();
    void staleSocketIsReplaced();
    void runningProgramTakesFiles();

private:
    // Starts the real program with `arguments`, on no screen, in the test's runtime folder.
    QProcess *startProgram(const QStringList &arguments);

    TestMedia m_media;
    QString m_runtimeDir;
    QList<QProcess *> m_programs;
};

void TestSingleInstance::initTestCase()
{
    QVERIFY(m_media.isValid());
    m_runtimeDir = m_media.path(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(m_runtimeDir));
    QVERIFY(QFile::setPermissions(m_runtimeDir,
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir));
    QVERIFY(SingleInstance::defaultName().startsWith(m_runtimeDir + "/quellix-"));
}

void TestSingleInstance::cleanup()
{
    for (QProcess *program : qAsConst(m_programs)) {
        program->kill();
        program->waitForFinished();
        delete program;
    }
    m_programs.clear();
    QLocalServer::removeServer(SingleInstance::defaultName());
}

QProcess *TestSingleInstance::startProgram(const QStringList &arguments)
{
    auto *program = new QProcess;
    m_programs << program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program->setProcessEnvironment(environment);
    program->setWorkingDirectory(QFileInfo(m_media.path(QStringLiteral("x"))).path());
    program->setProgram(QStringLiteral(QUELLIX_PROGRAM));
    program->setArguments(arguments);
    program->start();
    return program;
}

void TestSingleInstance::nothingListens()
{
    SingleInstance instance;
    QCOMPARE(instance.handOver({QStringLiteral("/a.mp4")}, 500), SingleInstance::noneRunning);
}

// The paths as the program resolved them, relative ones from where it was started.
void TestSingleInstance::laterStartHandsOver_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("handed");
    const QString dir = QFileInfo(m_media.path(QStringLiteral("x"))).path();
    QTest::newRow("two files") << QStringList{QStringLiteral("a.mp4"), dir + "/b 文件.mkv"}
                               << QStringList{dir + "/a.mp4", dir + "/b 文件.mkv"};
    QTest::newRow("none: only the window") << QStringList() << QStringList();
}

void TestSingleInstance::laterStartHandsOver()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, handed);
    SingleInstance instance;
    QCOMPARE(instance.listen(), 0);
    QSignalSpy received(&instance, &SingleInstance::pathsReceived);
    QProcess *later = startProgram(arguments);
    QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, startLimitMs);
    QCOMPARE(later->exitStatus(), QProcess::NormalExit);
    QCOMPARE(later->exitCode(), 0);
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), handed);
}

// A run killed outright leaves its socket; the next start must neither hang on it nor give up.
void TestSingleInstance::staleSocketIsReplaced()
{
    QProcess *crashed = startProgram({});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(SingleInstance::defaultName()), startLimitMs);
    ::kill(pid_t(crashed->processId()), SIGKILL);
    QVERIFY(crashed->waitForFinished());
    QVERIFY(QFile::exists(SingleInstance::defaultName()));

    SingleInstance instance;
    QCOMPARE(instance.handOver({}, 500), SingleInstance::noneRunning);
    QCOMPARE(instance.listen(), 0);
    QSignalSpy received(&instance, &SingleInstance::pathsReceived);
    QProcess *later = startProgram({QStringLiteral("/c.mp4")});
    QTRY_COMPARE_WITH_TIMEOUT(later->state(), QProcess::NotRunning, startLimitMs);
    QCOMPARE(later->exitCode(), 0);
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), QStringList{QStringLiteral("/c.mp4")});
}

// Two real starts: the first keeps running with its window, the second ends at once with
// success, having been answered by the first.
void TestSingleInstance::runningProgramTakesFiles()
{
    QProcess *first = startProgram({});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(SingleInstance::defaultName()), startLimitMs);
    QElapsedTimer clock;
    clock.start();
    QProcess *second = startProgram({QStringLiteral("/d.mp4")});
    QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, startLimitMs);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(first->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
