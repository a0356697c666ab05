// The notice at the end of a batch, sent to a stand-in notification service on a private bus.
#include "DialogAnswerer.h"
#include "NotificationStub.h"
#include "QuellixTestMain.h"
#include "TestMedia.h"
#include "WindowFixture.h"

#include "ui/DesktopNotifier.h"

#include <QElapsedTimer>

class TestNotifier final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void notice_data();
    void notice();
    void laterNoticeReplacesEarlier();
    void sessionBusByDefault();
    void batchEnd_data();
    void batchEnd();
    void withoutServiceNothingWaits();
    void withoutBusNothingWaits();

private:
    QDBusConnection nextConnection();

    NotificationStub m_stub;
    int m_connections = 0;
};

void TestNotifier::initTestCase()
{
    QVERIFY2(m_stub.startBus(), "dbus-daemon did not start");
    QVERIFY(m_stub.registerService());
    // The private bus stands in for the session bus too, before anything asks for that.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_stub.address().toLocal8Bit());
}

void TestNotifier::init()
{
    m_stub.received.clear();
}

// Each notifier on a connection of its own, as the program has.
QDBusConnection TestNotifier::nextConnection()
{
    return m_stub.connection(QStringLiteral("program-%1").arg(++m_connections));
}

void TestNotifier::notice_data()
{
    QTest::addColumn<int>("succeeded");
    QTest::addColumn<int>("failed");
    QTest::addColumn<int>("cancelled");
    QTest::addColumn<QString>("body");
    QTest::newRow("all succeeded") << 4 << 0 << 0 << "成功：4 个，失败：0 个";
    QTest::newRow("some failed") << 2 << 1 << 0 << "成功：2 个，失败：1 个";
    QTest::newRow("cancelled too") << 1 << 2 << 3 << "成功：1 个，失败：2 个，取消：3 个";
    QTest::newRow("all failed") << 0 << 12 << 0 << "成功：0 个，失败：12 个";
}

void TestNotifier::notice()
{
    QFETCH(int, succeeded);
    QFETCH(int, failed);
    QFETCH(int, cancelled);
    QFETCH(QString, body);
    DesktopNotifier notifier(nextConnection());
    notifier.batchFinished(succeeded, failed, cancelled);
    QTRY_COMPARE(m_stub.received.size(), 1);
    const NotificationStub::Notification &notice = m_stub.received.first();
    QCOMPARE(notice.appName, QStringLiteral("Quellix视频格式转换"));
    QCOMPARE(notice.appIcon, QStringLiteral("quellix"));
    QCOMPARE(notice.summary, QStringLiteral("转码任务完成"));
    QCOMPARE(notice.body, body);
    QCOMPARE(notice.replacesId, 0u);
    QCOMPARE(notice.hints.value(QStringLiteral("desktop-entry")).toString(),
             QStringLiteral("quellix"));
}

// A second batch's notice takes the place of the first one's instead of piling up.
void TestNotifier::laterNoticeReplacesEarlier()
{
    DesktopNotifier notifier(nextConnection());
    notifier.batchFinished(1, 0, 0);
    QTRY_COMPARE(m_stub.received.size(), 1);
    // The service's answer comes back after the call is recorded.
    QTest::qWait(200);
    notifier.batchFinished(0, 1, 0);
    QTRY_COMPARE(m_stub.received.size(), 2);
    QCOMPARE(m_stub.received.at(1).replacesId, 1u);
}

// A notifier made without a bus talks on the session bus.
void TestNotifier::sessionBusByDefault()
{
    DesktopNotifier notifier;
    notifier.batchFinished(5, 0, 0);
    QTRY_COMPARE(m_stub.received.size(), 1);
    QCOMPARE(m_stub.received.first().body, QStringLiteral("成功：5 个，失败：0 个"));
}

void TestNotifier::batchEnd_data()
{
    QTest::addColumn<bool>("windowActive");
    QTest::newRow("the user works in another window") << false;
    QTest::newRow("the user watches the window") << true;
}

// A batch of two files through the main window: the desktop hears how it ended only when the
// window is not the active one; the summary appears either way.
void TestNotifier::batchEnd()
{
    QFETCH(bool, windowActive);
    TestMedia media;
    QVERIFY(media.makeClip(QStringLiteral("clip.mp4")));
    const QString notes = media.makeFile(QStringLiteral("notes.mp4"), 100);
    QVERIFY(QDir().mkpath(media.path(QStringLiteral("out"))));
    WindowFixture fixture;
    QVERIFY(fixture.open(media.path(QStringLiteral("out"))));
    QVERIFY(fixture.add(media.path(QStringLiteral("clip.mp4"))));
    QVERIFY(fixture.add(notes));
    QWidget elsewhere;
    if (!windowActive) {
        elsewhere.show();
        QApplication::setActiveWindow(&elsewhere);
        QTRY_VERIFY(!fixture.window()->isActiveWindow());
    } else {
        QApplication::setActiveWindow(fixture.window());
        QTRY_VERIFY(fixture.window()->isActiveWindow());
    }

    DialogAnswerer answerer;
    fixture.clickStart();
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, 120000));
    QCOMPARE(answerer.texts.at(0),
             WindowFixture::summary(1, 0, {notes, QStringLiteral("未识别的输入文件格式！\n")}));
    if (windowActive) {
        QTest::qWait(300);
        QVERIFY(m_stub.received.isEmpty());
        return;
    }
    QTRY_COMPARE(m_stub.received.size(), 1);
    QCOMPARE(m_stub.received.first().body, QStringLiteral("成功：1 个，失败：1 个"));
}

// With no notification service on the bus the call returns at once, the error that comes back is
// taken quietly, and a service that appears later gets the next notice.
void TestNotifier::withoutServiceNothingWaits()
{
    m_stub.unregisterService();
    DesktopNotifier notifier(nextConnection());
    QElapsedTimer timer;
    timer.start();
    notifier.batchFinished(3, 1, 0);
    QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
    QTest::qWait(300);
    QVERIFY(m_stub.received.isEmpty());

    QVERIFY(m_stub.registerService());
    notifier.batchFinished(2, 0, 0);
    QTRY_COMPARE(m_stub.received.size(), 1);
    QCOMPARE(m_stub.received.first().body, QStringLiteral("成功：2 个，失败：0 个"));
}

void TestNotifier::withoutBusNothingWaits()
{
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/quellix-test-bus"), QStringLiteral("no-bus"));
    QVERIFY(!none.isConnected());
    DesktopNotifier notifier(none);
    QElapsedTimer timer;
    timer.start();
    notifier.batchFinished(1, 1, 1);
    QVERIFY(timer.elapsed() < 100);
    QTest::qWait(100);
    QVERIFY(m_stub.received.isEmpty());
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
}

QUELLIX_TEST_MAIN(TestNotifier)
#include "test_notifier.moc"
