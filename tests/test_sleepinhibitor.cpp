#include "session/LogindCall.h"
#include "session/SleepInhibitor.h"
#include "tests/LogindMock.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace
{

// Waits for the answer to a hold; its result, or 1 when none came.
int holdResult(SleepInhibitor &inhibitor)
{
    QSignalSpy finished(&inhibitor, &SleepInhibitor::holdFinished);
    if (!finished.wait(10000) || finished.count() != 1)
        return 1;
    return finished.at(0).at(0).toInt();
}

// Run as a separate program by killedHolder(): holds the inhibitor, says so, and waits to be
// killed.
int holdInhibitor()
{
    SleepInhibitor inhibitor;
    if (inhibitor.hold() != 0 || holdResult(inhibitor) != 0 || !inhibitor.held())
        return 1;
    std::puts("held");
    std::fflush(stdout);
    pause();
    return 0;
}

} // namespace

class TestSleepInhibitor final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void holdAndRelease();
    void gone_data();
    void gone();
    void releasedWhileAsked();
    void killedHolder();
    void withoutLogind();

private:
    LogindMock m_logind;
};

void TestSleepInhibitor::initTestCase()
{
    QVERIFY2(m_logind.start(), qPrintable(m_logind.lastError()));
    // Before anything in this process opens the system bus; the holder started below inherits it.
    m_logind.exportAsSystemBus();
}

void TestSleepInhibitor::init()
{
    QVERIFY2(m_logind.start(), qPrintable(m_logind.lastError()));
    QCOMPARE(m_logind.inhibitorCount(), 0);
}

void TestSleepInhibitor::holdAndRelease()
{
    SleepInhibitor inhibitor;
    QVERIFY(!inhibitor.held());
    QCOMPARE(inhibitor.hold(), 0);
    // Asked for already: no second inhibitor, while asked for or held.
    QCOMPARE(inhibitor.hold(), SleepInhibitor::alreadyHeld);
    QCOMPARE(holdResult(inhibitor), 0);
    QVERIFY(inhibitor.held());
    QCOMPARE(inhibitor.hold(), SleepInhibitor::alreadyHeld);
    QCOMPARE(m_logind.calls("Inhibit").size(), 1);
    const QList<LogindMock::Inhibitor> held = m_logind.inhibitors();
    QCOMPARE(held.size(), 1);
    QCOMPARE(held.at(0).what, QStringLiteral("sleep:idle"));
    QCOMPARE(held.at(0).who, QStringLiteral("Quellix"));
    QCOMPARE(held.at(0).why, QStringLiteral("正在转换视频"));
    QCOMPARE(held.at(0).mode, QStringLiteral("block"));

    // A child started meanwhile, as a transcoder is, must not keep the inhibitor alive.
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(child.waitForStarted());
    QTest::qWait(300);
    QCOMPARE(m_logind.inhibitorCount(), 1);
    inhibitor.release();
    QVERIFY(!inhibitor.held());
    QTRY_COMPARE(m_logind.inhibitorCount(), 0);
    child.kill();
    child.waitForFinished();

    // Held again after a release: a new inhibitor.
    QCOMPARE(inhibitor.hold(), 0);
    QCOMPARE(holdResult(inhibitor), 0);
    QCOMPARE(m_logind.inhibitorCount(), 1);
    inhibitor.release();
    QTRY_COMPARE(m_logind.inhibitorCount(), 0);
}

void TestSleepInhibitor::gone_data()
{
    QTest::addColumn<bool>("destroyed");
    QTest::newRow("released") << false;
    QTest::newRow("destroyed") << true;
}

void TestSleepInhibitor::gone()
{
    QFETCH(bool, destroyed);
    auto inhibitor = std::make_unique<SleepInhibitor>();
    QCOMPARE(inhibitor->hold(), 0);
    QCOMPARE(holdResult(*inhibitor), 0);
    // Held until given up, not only for a moment.
    QTest::qWait(500);
    QCOMPARE(m_logind.inhibitorCount(), 1);
    if (destroyed)
        inhibitor.reset();
    else
        inhibitor->release();
    QTRY_COMPARE(m_logind.inhibitorCount(), 0);
}

void TestSleepInhibitor::releasedWhileAsked()
{
    SleepInhibitor inhibitor;
    QCOMPARE(inhibitor.hold(), 0);
    inhibitor.release();
    // logind made it before the release reached it; it goes as soon as it arrives.
    QCOMPARE(holdResult(inhibitor), 0);
    QVERIFY(!inhibitor.held());
    QCOMPARE(m_logind.calls("Inhibit").size(), 1);
    QTRY_COMPARE(m_logind.inhibitorCount(), 0);
}

void TestSleepInhibitor::killedHolder()
{
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-inhibitor")});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
    QCOMPARE(m_logind.inhibitorCount(), 1);
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
    QTRY_COMPARE(m_logind.inhibitorCount(), 0);
}

void TestSleepInhibitor::withoutLogind()
{
    m_logind.stopService();
    SleepInhibitor onBus;
    QCOMPARE(onBus.hold(), 0);
    QCOMPARE(holdResult(onBus), LogindCall::noLogind);
    QVERIFY(!onBus.held());
    // Not held, so the next batch asks again.
    QCOMPARE(onBus.hold(), 0);
    QCOMPARE(holdResult(onBus), LogindCall::noLogind);

    SleepInhibitor offBus(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none"));
    QCOMPARE(offBus.hold(), LogindCall::noLogind);
    QVERIFY(!offBus.held());
    QDBusConnection::disconnectFromBus("none");
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--hold-inhibitor") == 0)
        return holdInhibitor();
    TestSleepInhibitor test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_sleepinhibitor.moc"
