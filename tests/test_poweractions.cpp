#include "session/LogindCall.h"
#include "session/PowerActions.h"
#include "tests/LogindMock.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

class TestPowerActions final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void offers_data();
    void offers();
    void request_data();
    void request();
    void requestNotOffered();
    void refusedByLogind();
    void logindGoneMeanwhile();
    void withoutLogind();

private:
    // Asks `actions` what logind offers and waits for both answers.
    static bool queried(PowerActions &actions);

    LogindMock m_logind;
};

bool TestPowerActions::queried(PowerActions &actions)
{
    QSignalSpy known(&actions, &PowerActions::offersKnown);
    return actions.query() == 0 && known.wait(10000) && known.count() == 1 && actions.known();
}

void TestPowerActions::initTestCase()
{
    QVERIFY2(m_logind.start(), qPrintable(m_logind.lastError()));
    // Before anything in this process opens the system bus.
    m_logind.exportAsSystemBus();
}

void TestPowerActions::init()
{
    QVERIFY2(m_logind.start(), qPrintable(m_logind.lastError()));
}

void TestPowerActions::offers_data()
{
    QTest::addColumn<QString>("canSuspend");
    QTest::addColumn<QString>("canPowerOff");
    QTest::addColumn<bool>("suspend");
    QTest::addColumn<bool>("powerOff");
    QTest::newRow("both allowed") << "yes"
                                  << "yes" << true << true;
    QTest::newRow("suspend after a password") << "challenge"
                                              << "no" << true << false;
    QTest::newRow("no suspend on this machine") << "na"
                                                << "challenge" << false << true;
    QTest::newRow("neither") << "no"
                             << "na" << false << false;
    QTest::newRow("an answer logind does not give") << "maybe"
                                                    << "" << false << false;
}

void TestPowerActions::offers()
{
    QFETCH(QString, canSuspend);
    QFETCH(QString, canPowerOff);
    QVERIFY2(m_logind.start({{"CanSuspend", canSuspend}, {"CanPowerOff", canPowerOff}}),
             qPrintable(m_logind.lastError()));
    PowerActions actions;
    QVERIFY(!actions.known());
    QVERIFY(queried(actions));
    QTEST(actions.offers(PowerActions::Suspend), "suspend");
    QTEST(actions.offers(PowerActions::PowerOff), "powerOff");
    QCOMPARE(m_logind.calls("CanSuspend").size(), 1);
    QCOMPARE(m_logind.calls("CanPowerOff").size(), 1);
}

void TestPowerActions::request_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("other");
    QTest::newRow("suspend") << int(PowerActions::Suspend) << "Suspend"
                             << "PowerOff";
    QTest::newRow("power off") << int(PowerActions::PowerOff) << "PowerOff"
                               << "Suspend";
}

void TestPowerActions::request()
{
    QFETCH(int, action);
    QFETCH(QString, method);
    QFETCH(QString, other);
    PowerActions actions;
    QVERIFY(queried(actions));
    QSignalSpy finished(&actions, &PowerActions::requestFinished);
    QCOMPARE(actions.request(PowerActions::Action(action)), 0);
    // One request at a time, whichever action.
    QCOMPARE(actions.request(PowerActions::Suspend), PowerActions::busy);
    QCOMPARE(actions.request(PowerActions::PowerOff), PowerActions::busy);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), action);
    QCOMPARE(finished.at(0).at(1).toInt(), 0);
    // Exactly once, interactively.
    QCOMPARE(m_logind.calls(method), QList<QVariantList>{{true}});
    QCOMPARE(m_logind.calls(other), QList<QVariantList>());
}

void TestPowerActions::requestNotOffered()
{
    QVERIFY(m_logind.start({{"CanPowerOff", "no"}}));
    PowerActions actions;
    QCOMPARE(actions.request(PowerActions::Suspend), PowerActions::notOffered);
    QVERIFY(queried(actions));
    QSignalSpy finished(&actions, &PowerActions::requestFinished);
    QCOMPARE(actions.request(PowerActions::PowerOff), PowerActions::notOffered);
    QTest::qWait(200);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(m_logind.calls("PowerOff"), QList<QVariantList>());
}

void TestPowerActions::refusedByLogind()
{
    QVERIFY(m_logind.setMethod("PowerOff", "b", "",
                               "raise dbus.exceptions.DBusException('not allowed', "
                               "name='org.freedesktop.DBus.Error.AccessDenied')"));
    PowerActions actions;
    QVERIFY(queried(actions));
    QSignalSpy finished(&actions, &PowerActions::requestFinished);
    QCOMPARE(actions.request(PowerActions::PowerOff), 0);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(1).toInt(), LogindCall::refused);
    QCOMPARE(m_logind.calls("PowerOff").size(), 1);
    // Not stuck: the next request goes out.
    QCOMPARE(actions.request(PowerActions::Suspend), 0);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(1).at(1).toInt(), 0);
}

void TestPowerActions::logindGoneMeanwhile()
{
    PowerActions actions;
    QVERIFY(queried(actions));
    m_logind.stopService();
    QSignalSpy finished(&actions, &PowerActions::requestFinished);
    QCOMPARE(actions.request(PowerActions::Suspend), 0);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(1).toInt(), LogindCall::noLogind);
}

void TestPowerActions::withoutLogind()
{
    m_logind.stopService();
    PowerActions onBus;
    QVERIFY(queried(onBus));
    // No system bus at all.
    PowerActions offBus(
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), "none"));
    QCOMPARE(offBus.query(), LogindCall::noLogind);
    QVERIFY(offBus.known());
    for (PowerActions *actions : {&onBus, &offBus}) {
        QVERIFY(!actions->offers(PowerActions::Suspend));
        QVERIFY(!actions->offers(PowerActions::PowerOff));
        QCOMPARE(actions->request(PowerActions::PowerOff), PowerActions::notOffered);
    }
    QDBusConnection::disconnectFromBus("none");
}

QTEST_GUILESS_MAIN(TestPowerActions)

#include "test_poweractions.moc"
