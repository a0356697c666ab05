#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "batch/SavedList.h"
#include "convert/ConversionJob.h"
#include "gui/WhenDoneChoice.h"
#include "session/LauncherEntry.h"
#include "tests/LogindMock.h"
#include "tests/PrivateBus.h"
#include "ui/CDlgCountdown.h"

#include <QComboBox>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

namespace
{

constexpr int batchTimeoutMs = 120000;

QStringList itemTexts(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

// A long batch left alone, through the main window on the real transcoder, with logind played by
// python3-dbusmock on a private system bus and a private session bus for the taskbar entry: what
// happens when it is done, the machine kept awake while it runs, and its progress on the taskbar.
class TestUnattended final : public QObject
{
    Q_OBJECT

public slots:
    void onUpdate(const QDBusMessage &message);

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void whenDone_data();
    void whenDone();
    void offers_data();
    void offers();
    void taskbarProgress();

private:
    WhenDoneChoice *choiceOf() const { return m_fixture.window()->findChild<WhenDoneChoice *>(); }
    QComboBox *choiceBox() const { return m_fixture.child<QComboBox>("cboxWhenDone"); }
    void addBoth();
    bool openWindow();

    TestMedia m_media;
    QString m_outDir;
    PrivateBus m_sessionBus;
    LogindMock m_logind;
    WindowFixture m_fixture;
    QList<QVariantMap> m_updates;
};

void TestUnattended::onUpdate(const QDBusMessage &message)
{
    if (message.path() == LauncherEntry::objectPath() && message.arguments().size() == 2)
        m_updates << qdbus_cast<QVariantMap>(message.arguments().at(1).value<QDBusArgument>());
}

void TestUnattended::initTestCase()
{
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_media.makeClip(QStringLiteral("one.mp4"), 6, QStringLiteral("320x240")));
    QVERIFY(m_media.makeClip(QStringLiteral("two.mkv"), 6, QStringLiteral("320x240")));
    // Before the window's first use of either bus.
    QVERIFY(m_sessionBus.start());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_sessionBus.address().toLocal8Bit());
    QVERIFY2(m_logind.start(), qPrintable(m_logind.lastError()));
    m_logind.exportAsSystemBus();
    QVERIFY(m_sessionBus.connection(QStringLiteral("dock"))
                .connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                         QStringLiteral("Update"), this, SLOT(onUpdate(QDBusMessage))));
}

bool TestUnattended::openWindow()
{
    if (!m_fixture.open(m_outDir))
        return false;
    return QTest::qWaitFor([this] { return choiceOf()->knowsOffers(); }, 10000);
}

void TestUnattended::init()
{
    QVERIFY(m_logind.clearCalls());
    m_updates.clear();
    QVERIFY(openWindow());
}

void TestUnattended::cleanup()
{
    m_fixture.close();
    // The buses and logind are children too.
    QTRY_VERIFY(!TestMedia::transcoderRuns());
    for (const QString &name : QDir(m_outDir).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(m_outDir + QLatin1Char('/') + name);
}

void TestUnattended::addBoth()
{
    QVERIFY(m_fixture.add(m_media.path(QStringLiteral("one.mp4"))));
    QVERIFY(m_fixture.add(m_media.path(QStringLiteral("two.mkv"))));
}

void TestUnattended::whenDone_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("user"); // what the user does: wait, cancel (the countdown), stop
    QTest::addColumn<int>("powerOffs");
    QTest::addColumn<int>("suspends");
    QTest::addColumn<bool>("summary");
    QTest::newRow("power off") << "关机"
                               << "wait" << 1 << 0 << false;
    QTest::newRow("power off, cancelled") << "关机"
                                          << "cancel" << 0 << 0 << true;
    QTest::newRow("power off, batch cancelled") << "关机"
                                                << "stop" << 0 << 0 << true;
    QTest::newRow("sleep") << "睡眠"
                           << "wait" << 0 << 1 << true;
    QTest::newRow("quit") << "退出程序"
                          << "wait" << 0 << 0 << false;
    QTest::newRow("nothing") << "无操作"
                             << "wait" << 0 << 0 << true;
}

// The machine is kept awake exactly while the batch runs; when it ends by itself the countdown
// announces the choice, and at zero logind is asked once, after the list is saved.
void TestUnattended::whenDone()
{
    QFETCH(QString, choice);
    QFETCH(QString, user);
    addBoth();
    const int index = choiceBox()->findText(choice);
    QVERIFY(index >= 0);
    choiceBox()->setCurrentIndex(index);
    if (user == QLatin1String("wait"))
        choiceOf()->setCountdownSeconds(1);
    DialogAnswerer answerer;
    QCOMPARE(m_logind.inhibitorCount(), 0);
    m_fixture.clickStart();
    QVERIFY(m_fixture.window()->isConverting());
    QTRY_COMPARE(m_logind.inhibitorCount(), 1);
    const LogindMock::Inhibitor held = m_logind.inhibitors().value(0);
    QCOMPARE(held.what, QStringLiteral("sleep:idle"));
    QCOMPARE(held.who, QStringLiteral("Quellix"));
    QCOMPARE(held.mode, QStringLiteral("block"));
    if (user == QLatin1String("stop")) {
        QTRY_VERIFY(m_fixture.job(0)->progress() > 0);
        m_fixture.clickStart(); // 取消转码, then OK to the question
        QCOMPARE(answerer.texts.size(), 2);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!m_fixture.window()->isConverting(), batchTimeoutMs);
        QCOMPARE(m_fixture.job(1)->convertState(), int(Done));
    }
    QCOMPARE(m_logind.inhibitorCount(), 0);
    CDlgCountdown *countdown = choiceOf()->countdown();
    if (choice == QStringLiteral("无操作") || user == QLatin1String("stop")) {
        QVERIFY(!countdown);
    } else {
        QVERIFY(countdown);
        const QString text = countdown->findChild<QLabel *>(QStringLiteral("labelText"))->text();
        QVERIFY2(text.startsWith(QStringLiteral("转码任务完成！成功 2 个，失败 0 个。\n")),
                 qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral(" 秒后")), qPrintable(text));
        QVERIFY(answerer.texts.isEmpty()); // the summary waits
        if (user == QLatin1String("cancel"))
            QTest::mouseClick(countdown->findChild<QPushButton *>(QStringLiteral("btnCancel")),
                              Qt::LeftButton);
        QTRY_VERIFY(!choiceOf()->countdown());
    }
    if (choice == QStringLiteral("退出程序"))
        QTRY_VERIFY(!m_fixture.window()->isVisible());
    QFETCH(bool, summary);
    if (summary)
        QVERIFY(
            WindowFixture::waitForDialogs(answerer, user == QLatin1String("stop") ? 2 : 1, 10000));
    QCOMPARE(answerer.texts.isEmpty(), !summary);
    QFETCH(int, powerOffs);
    QFETCH(int, suspends);
    QTRY_COMPARE(int(m_logind.calls(QStringLiteral("PowerOff")).size() +
                     m_logind.calls(QStringLiteral("Suspend")).size()),
                 powerOffs + suspends);
    QTest::qWait(500); // and nothing more follows
    QCOMPARE(int(m_logind.calls(QStringLiteral("PowerOff")).size()), powerOffs);
    QCOMPARE(int(m_logind.calls(QStringLiteral("Suspend")).size()), suspends);
    for (const QVariantList &args :
         m_logind.calls(QStringLiteral("PowerOff")) + m_logind.calls(QStringLiteral("Suspend")))
        QCOMPARE(args, QVariantList{true}); // interactive
    if (user == QLatin1String("wait") && choice != QStringLiteral("无操作")) {
        // Saved before the machine went down: both files are done.
        std::vector<SavedEntry> saved;
        QCOMPARE(SavedList(SavedList::defaultFileName()).load(saved), 0);
        QCOMPARE(int(saved.size()), 2);
        for (const SavedEntry &entry : saved)
            QCOMPARE(int(entry.state), int(Done));
    }
}

void TestUnattended::offers_data()
{
    QTest::addColumn<QVariantMap>("parameters");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QStringList>("offered");
    const QStringList always = {QStringLiteral("无操作"), QStringLiteral("退出程序")};
    QTest::newRow("both, one with a password")
        << QVariantMap{{"CanSuspend", "challenge"}} << true
        << always + QStringList{QStringLiteral("睡眠"), QStringLiteral("关机")};
    QTest::newRow("power off only") << QVariantMap{{"CanSuspend", "no"}} << true
                                    << always + QStringList{QStringLiteral("关机")};
    QTest::newRow("neither") << QVariantMap{{"CanSuspend", "na"}, {"CanPowerOff", "no"}} << true
                             << always;
    QTest::newRow("no logind") << QVariantMap() << false << always;
}

// Only what logind offers this user is offered; without logind the batch runs all the same.
void TestUnattended::offers()
{
    QFETCH(QVariantMap, parameters);
    QFETCH(bool, service);
    m_fixture.close();
    const auto restore = qScopeGuard([this] { QVERIFY(m_logind.start()); });
    if (service)
        QVERIFY2(m_logind.start(parameters), qPrintable(m_logind.lastError()));
    else
        m_logind.stopService();
    QVERIFY(openWindow());
    QTEST(itemTexts(choiceBox()), "offered");
    QCOMPARE(choiceBox()->currentText(), QStringLiteral("无操作"));
    if (service)
        return;
    QVERIFY(m_fixture.add(m_media.path(QStringLiteral("one.mp4"))));
    DialogAnswerer answerer;
    m_fixture.clickStart();
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, batchTimeoutMs));
    QCOMPARE(answerer.texts.first(), WindowFixture::summary(1, 0));
}

// The taskbar entry shows the share done and the files left while the batch runs, and nothing
// once it has ended. The second file lasts well beyond the entry's interval between updates, so
// that its "1 left" cannot be folded into the batch's end on a fast machine.
void TestUnattended::taskbarProgress()
{
    QVERIFY(m_media.makeClip(QStringLiteral("long.mkv"), 30, QStringLiteral("320x240")));
    QVERIFY(m_fixture.add(m_media.path(QStringLiteral("one.mp4"))));
    QVERIFY(m_fixture.add(m_media.path(QStringLiteral("long.mkv"))));
    DialogAnswerer answerer;
    m_fixture.clickStart();
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, batchTimeoutMs));
    QTRY_VERIFY(!m_updates.isEmpty() &&
                !m_updates.last().value(QStringLiteral("progress-visible")).toBool());
    QVERIFY(m_updates.size() >= 3);
    QList<qint64> counts;
    double last = 0;
    for (int i = 0; i + 1 < m_updates.size(); ++i) {
        const QVariantMap &update = m_updates.at(i);
        QVERIFY(update.value(QStringLiteral("progress-visible")).toBool());
        const double progress = update.value(QStringLiteral("progress")).toDouble();
        QVERIFY2(progress >= last && progress <= 1, qPrintable(QString::number(progress)));
        last = progress;
        const qint64 count = update.value(QStringLiteral("count")).toLongLong();
        QCOMPARE(update.value(QStringLiteral("count-visible")).toBool(), count > 0);
        if (counts.isEmpty() || counts.last() != count)
            counts << count;
        // Each file is half the batch: the files done, and a share of the one converting.
        const double done = (2 - count) / 2.0;
        QVERIFY2(progress >= done && progress <= done + 0.5,
                 qPrintable(QStringLiteral("%1 with %2 left").arg(progress).arg(count)));
    }
    QCOMPARE(counts.mid(0, 2), (QList<qint64>{2, 1}));
    QVERIFY(!m_updates.last().value(QStringLiteral("count-visible")).toBool());
}

QUELLIX_TEST_MAIN(TestUnattended)
#include "test_unattended.moc"
