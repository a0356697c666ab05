#include "convert/EarlyEnd.h"

#include <QtTest>

// When a source counts as cut short: by how much a conversion ended before its declared length.
class TestSourceFit final : public QObject
{
    Q_OBJECT

private slots:
    void earlyEnd_data();
    void earlyEnd();
};

void TestSourceFit::earlyEnd_data()
{
    QTest::addColumn<double>("declared");
    QTest::addColumn<double>("converted");
    QTest::addColumn<bool>("warned");
    QTest::newRow("half") << 10.0 << 4.7 << true;
    QTest::newRow("whole") << 10.0 << 10.0 << false;
    QTest::newRow("longer than declared") << 10.0 << 10.4 << false;
    QTest::newRow("short by 5 % exactly, over a second") << 40.0 << 38.0 << false;
    QTest::newRow("short by more than 5 % and a second") << 40.0 << 37.9 << true;
    QTest::newRow("short by a second exactly, over 5 %") << 10.0 << 9.0 << false;
    QTest::newRow("short by more than 5 %, under a second") << 3.0 << 2.2 << false;
    QTest::newRow("long film, short by 2 %") << 7200.0 << 7056.0 << false;
    QTest::newRow("nothing converted") << 10.0 << 0.0 << true;
    QTest::newRow("no declared length") << -1.0 << 3.0 << false;
    QTest::newRow("declared zero") << 0.0 << 0.0 << false;
    QTest::newRow("output length unknown") << 10.0 << -1.0 << false;
    QTest::newRow("not a number") << qQNaN() << 1.0 << false;
    QTest::newRow("infinite") << qInf() << 1.0 << false;
}

void TestSourceFit::earlyEnd()
{
    QFETCH(double, declared);
    QFETCH(double, converted);
    QFETCH(bool, warned);
    QCOMPARE(endedEarly(declared, converted), warned);
}

QTEST_GUILESS_MAIN(TestSourceFit)
#include "test_sourcefit.moc"
