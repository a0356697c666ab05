#include "session/LauncherEntry.h"
#include "tests/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QtTest>

#include <cmath>
#include <limits>
#include <memory>

class TestLauncherEntry final : public QObject
{
    Q_OBJECT

public slots:
    // Every launcher-entry signal on the bus, as a dock receives it.
    void onUpdate(const QDBusMessage &message);

private slots:
    void initTestCase();
    void init();
    void values_data();
    void values();
    void onlyVisibleChanges();
    void burstIsThinned();
    void clear();
    void withoutBus();

private:
    struct Update {
        QString path;
        QString signature;
        QString appUri;
        QVariantMap properties;
    };

    // The entry on a connection of its own, as the program has.
    std::unique_ptr<LauncherEntry> makeEntry(int intervalMs = 100);

    PrivateBus m_bus;
    int m_entries = 0;
    QString m_sender;
    QList<Update> m_updates;
};

void TestLauncherEntry::onUpdate(const QDBusMessage &message)
{
    // What an entry of an earlier case said on its way out is not this case's.
    if (message.service() != m_sender)
        return;
    Update update{message.path(), message.signature(), {}, {}};
    const QVariantList arguments = message.arguments();
    if (arguments.size() == 2) {
        update.appUri = arguments.at(0).toString();
        update.properties = qdbus_cast<QVariantMap>(arguments.at(1).value<QDBusArgument>());
    }
    m_updates << update;
}

void TestLauncherEntry::initTestCase()
{
    QVERIFY(m_bus.start());
    QDBusConnection dock = m_bus.connection(QStringLiteral("dock"));
    // As docks listen: by interface and name, from any sender and path.
    QVERIFY(dock.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                         QStringLiteral("Update"), this, SLOT(onUpdate(QDBusMessage))));
}

void TestLauncherEntry::init()
{
    m_updates.clear();
}

std::unique_ptr<LauncherEntry> TestLauncherEntry::makeEntry(int intervalMs)
{
    const QDBusConnection program = m_bus.connection(QStringLiteral("program-%1").arg(++m_entries));
    m_sender = program.baseService();
    auto entry = std::make_unique<LauncherEntry>(program);
    entry->setMinimumInterval(intervalMs);
    return entry;
}

void TestLauncherEntry::values_data()
{
    QTest::addColumn<double>("progress");
    QTest::addColumn<qint64>("filesLeft");
    QTest::addColumn<double>("shownProgress");
    QTest::addColumn<bool>("countVisible");
    QTest::newRow("a quarter, four left") << 0.25 << qint64(4) << 0.25 << true;
    QTest::newRow("over the end") << 1.7 << qint64(1) << 1.0 << true;
    QTest::newRow("below the start") << -0.2 << qint64(2) << 0.0 << true;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << qint64(3) << 0.0
                                  << true;
    QTest::newRow("the last file") << 0.9 << qint64(0) << 0.9 << false;
    QTest::newRow("more files than an int holds") << 0.5 << qint64(5000000000) << 0.5 << true;
}

void TestLauncherEntry::values()
{
    QFETCH(double, progress);
    QFETCH(qint64, filesLeft);
    QFETCH(double, shownProgress);
    QFETCH(bool, countVisible);
    auto entry = makeEntry();
    QCOMPARE(entry->show(progress, filesLeft), 0);
    QTRY_COMPARE(m_updates.size(), 1);
    const Update &update = m_updates.at(0);
    QCOMPARE(update.path, LauncherEntry::objectPath());
    QCOMPARE(update.signature, QStringLiteral("sa{sv}"));
    QCOMPARE(update.appUri, QStringLiteral("application://quellix.desktop"));
    const QVariantMap &properties = update.properties;
    // The types docks read: a double, a 64-bit count and two booleans.
    QCOMPARE(properties.value("progress").userType(), int(QMetaType::Double));
    QCOMPARE(properties.value("count").userType(), int(QMetaType::LongLong));
    QCOMPARE(properties.value("progress-visible").userType(), int(QMetaType::Bool));
    QCOMPARE(properties.value("count-visible").userType(), int(QMetaType::Bool));
    QCOMPARE(properties.value("progress").toDouble(), shownProgress);
    QCOMPARE(properties.value("progress-visible").toBool(), true);
    QCOMPARE(properties.value("count").toLongLong(), filesLeft);
    QCOMPARE(properties.value("count-visible").toBool(), countVisible);
}

void TestLauncherEntry::onlyVisibleChanges()
{
    auto entry = makeEntry(0);
    QCOMPARE(entry->show(0.50, 3), 0);
    QTRY_COMPARE(m_updates.size(), 1);
    // Less than a percent more: the bar would not move.
    QCOMPARE(entry->show(0.504, 3), 0);
    QCOMPARE(entry->show(0.509, 3), 0);
    QTest::qWait(300);
    QCOMPARE(m_updates.size(), 1);
    QCOMPARE(entry->show(0.51, 3), 0);
    QTRY_COMPARE(m_updates.size(), 2);
    QCOMPARE(m_updates.at(1).properties.value("progress").toDouble(), 0.51);
    QCOMPARE(entry->show(0.515, 2), 0);
    QTRY_COMPARE(m_updates.size(), 3);
    QCOMPARE(m_updates.at(2).properties.value("count").toLongLong(), qint64(2));
}

void TestLauncherEntry::burstIsThinned()
{
    auto entry = makeEntry(100);
    QElapsedTimer clock;
    clock.start();
    // A change each 5 ms for a second, as a fast transcoder's progress could come.
    int step = 0;
    while (clock.elapsed() < 1000) {
        QCOMPARE(entry->show(step / 400.0, 400 - step), 0);
        ++step;
        QTest::qWait(5);
    }
    const qint64 lastLeft = 400 - (step - 1);
    QTRY_COMPARE(m_updates.constLast().properties.value("count").toLongLong(), lastLeft);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(step > 50, "the loop did not run");
    // One at the start, then at most one each 100 ms.
    QVERIFY2(m_updates.size() <= 2 + elapsed / 100,
             qPrintable(QStringLiteral("%1 updates in %2 ms").arg(m_updates.size()).arg(elapsed)));
    QVERIFY(m_updates.size() >= 5);
}

void TestLauncherEntry::clear()
{
    auto entry = makeEntry(1000);
    QCOMPARE(entry->clear(), 0);
    QTest::qWait(200);
    QCOMPARE(m_updates.size(), 0); // nothing was shown
    QCOMPARE(entry->show(0.3, 2), 0);
    QCOMPARE(entry->show(0.6, 1), 0); // waits for the interval ...
    QCOMPARE(entry->clear(), 0);      // ... which a clear does not
    QTRY_COMPARE(m_updates.size(), 2);
    const QVariantMap hidden = m_updates.at(1).properties;
    QCOMPARE(hidden.value("progress-visible").toBool(), false);
    QCOMPARE(hidden.value("count-visible").toBool(), false);
    QTest::qWait(1200);
    QCOMPARE(m_updates.size(), 2); // the waiting update is dropped
    QCOMPARE(entry->clear(), 0);

    // Shown again, then the entry goes with the program's end.
    QCOMPARE(entry->show(0.1, 5), 0);
    QTRY_COMPARE(m_updates.size(), 3);
    entry.reset();
    QTRY_COMPARE(m_updates.size(), 4);
    QCOMPARE(m_updates.at(3).properties.value("progress-visible").toBool(), false);
    QCOMPARE(m_updates.at(3).properties.value("count-visible").toBool(), false);
}

void TestLauncherEntry::withoutBus()
{
    LauncherEntry entry(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none"));
    QCOMPARE(entry.show(0.5, 1), LauncherEntry::noBus);
    QCOMPARE(entry.clear(), LauncherEntry::noBus);
    QDBusConnection::disconnectFromBus("none");
}

QTEST_GUILESS_MAIN(TestLauncherEntry)

#include "test_launcherentry.moc"
