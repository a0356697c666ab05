#include "QuellixTestMain.h"

#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

namespace
{

const QByteArray durationLine = "  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s\n";
const QByteArray writesOutput = "for last; do :; done; printf data > \"$last\"\n";
const QByteArray halfWayLine =
    "frame=   50 fps=0.0 q=28.0 size=   1kB time=00:00:05.00 bitrate= 1.6kbits/s speed=10x\r";

QString text(const InputItem &item, const char *label)
{
    return item.findChild<QLabel *>(QLatin1String(label))->text();
}

int barValue(const InputItem &item)
{
    return item.findChild<QProgressBar *>(QStringLiteral("progressBar"))->value();
}

bool barIsBusy(const InputItem &item)
{
    return item.findChild<QProgressBar *>(QStringLiteral("progressBar"))->maximum() == 0;
}

} // namespace

// The list row of a job: its form, and how it shows the job's file, state and progress.
class TestInputItem final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { m_media.restorePath(); }

    void form_data();
    void form();
    void showsFile_data();
    void showsFile();
    void followsItsJob_data();
    void followsItsJob();
    void deleteButton();
    void longNamesElided_data();
    void longNamesElided();
    void toolTipWhileConverting();
    void currentRowMarked();

private:
    TestMedia m_media;
};

void TestInputItem::initTestCase()
{
    initParamTables();
    QVERIFY(m_media.isValid());
    QVERIFY(QDir().mkpath(m_media.path(QStringLiteral("out"))));
}

void TestInputItem::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    const int any = QWIDGETSIZE_MAX;
    QTest::newRow("labelIcon") << "labelIcon" << QSize(47, 34) << QSize(47, 34);
    QTest::newRow("filename") << "filename" << QSize(230, 20) << QSize(240, 20);
    QTest::newRow("status") << "status" << QSize(85, 0) << QSize(85, any);
    QTest::newRow("filesize") << "filesize" << QSize(85, 20) << QSize(85, 20);
    QTest::newRow("progressBar") << "progressBar" << QSize(0, 12) << QSize(any, 12);
    QTest::newRow("btnDel") << "btnDel" << QSize(23, 23) << QSize(23, 23);
}

void TestInputItem::form()
{
    QFETCH(QString, name);
    ConversionJob job;
    InputItem item(&job);
    QCOMPARE(item.objectName(), QStringLiteral("InputItem"));
    QCOMPARE(item.size(), QSize(398, 48));
    QCOMPARE(item.job(), &job);
    QCOMPARE(text(item, "status"), QStringLiteral("等待转码..."));
    QVERIFY(item.styleSheet().contains(QStringLiteral("QLabel#labelIcon")));

    const QWidget *widget = item.findChild<QWidget *>(name);
    QVERIFY(widget);
    QTEST(widget->minimumSize(), "minimum");
    QTEST(widget->maximumSize(), "maximum");

    const auto *row = item.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_3"));
    QVERIFY(row);
    QCOMPARE(row->spacing(), 3);
    QCOMPARE(row->contentsMargins(), QMargins(0, 1, 3, 1));
    const auto *bar = item.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
}

void TestInputItem::showsFile_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("sizeText");
    QTest::newRow("one and a half") << 1572864 << "大小:1.5 MB";
    QTest::newRow("empty") << 0 << "大小:0.0 MB";
    QTest::newRow("rounded like printf") << 99 * 1024 << "大小:0.1 MB";
}

void TestInputItem::showsFile()
{
    QFETCH(int, bytes);
    const QString path = m_media.makeFile(QStringLiteral("sized 文件.avi"), bytes);
    QVERIFY(!path.isEmpty());

    ConversionJob job;
    InputItem item(&job);
    QCOMPARE(item.setInput(path.toStdString(), makeAVSettings(2, 0, 0)), 0);
    QTEST(text(item, "filesize"), "sizeText");
    QCOMPARE(text(item, "filename"), QStringLiteral("sized 文件.avi"));
    QCOMPARE(item.inputPath(), path.toStdString());
    QCOMPARE(item.settings().vc, 2);
    // A row made for a job that has its file shows it at once.
    InputItem second(&job);
    QTEST(text(second, "filesize"), "sizeText");
    QCOMPARE(text(second, "filename"), QStringLiteral("sized 文件.avi"));
}

void TestInputItem::followsItsJob_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("toolTip"); // after the input's path
    const QByteArray halfWay = "printf '" + durationLine + halfWayLine + "'; ";
    // Without a usable duration the bar shows that work goes on, until the end.
    QTest::newRow("done without a duration")
        << writesOutput +
               "echo '  Duration: N/A, bitrate: N/A'; printf 'frame=  9 time=00:00:01.00\\r'; "
               "sleep 0.5"
        << false << "转码完成   " << 100 << "";
    QTest::newRow("done") << writesOutput + halfWay + "sleep 0.5" << false << "转码完成   " << 100
                          << "";
    QTest::newRow("done with damaged input")
        << writesOutput + halfWay + "sleep 0.5; echo 'x: corrupt decoded frame in stream 1'"
        << false << "转码完成   " << 100
        << "\n源文件中有损坏的数据，已跳过：\nx: corrupt decoded frame in stream 1";
    QTest::newRow("failed") << halfWay + "sleep 0.5; exit 1" << false << "转码错误   " << 50 << "";
    QTest::newRow("cancelled") << halfWay + "exec sleep 30" << true << "转码取消   " << 50 << "";
}

void TestInputItem::followsItsJob()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, cancel);
    QFETCH(QString, toolTip);
    QVERIFY(m_media.installStandIn(script));
    const QString path = m_media.makeFile(QStringLiteral("clip.mp4"));
    ConversionJob job;
    InputItem item(&job);
    QCOMPARE(item.setInput(path.toStdString(), makeAVSettings(0, 1, 1)), 0);
    QSignalSpy done(&item, &InputItem::ItemConvertDone);

    QCOMPARE(job.start(m_media.path(QStringLiteral("out")).toStdString()), 0);
    QCOMPARE(text(item, "status"), QStringLiteral("正在转码..."));
    const bool withoutDuration = !script.contains("Duration: 00");
    if (withoutDuration)
        QTRY_VERIFY(barIsBusy(item));
    else
        QTRY_COMPARE(barValue(item), 50);
    if (cancel)
        QCOMPARE(item.cancel(), 0);
    else
        QVERIFY(done.wait(10000));
    QTEST(text(item, "status"), "status");
    QTEST(barValue(item), "progress");
    QVERIFY(!barIsBusy(item));
    QCOMPARE(item.toolTip(), path + toolTip);
    QCOMPARE(item.convertState(), job.convertState());
    QCOMPARE(done.count(), cancel ? 0 : 1);
    if (!cancel)
        QCOMPARE(done.at(0).at(0).value<InputItem *>(), &item);
}

void TestInputItem::deleteButton()
{
    ConversionJob job;
    InputItem item(&job);
    QSignalSpy deleted(&item, &InputItem::ItemDelete);
    QTest::mouseClick(item.findChild<QPushButton *>(QStringLiteral("btnDel")), Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).value<InputItem *>(), &item);
}

void TestInputItem::longNamesElided_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("ending"); // of the shown name
    QTest::newRow("fits") << "short.mp4"
                          << "short.mp4";
    QTest::newRow("long") << QString(20, QChar(0x89C6)) + QString(30, 'x') + "-end.mp4"
                          << "x-end.mp4";
    QTest::newRow("long, long extension") << QString(60, 'n') + ".rmvb"
                                          << "n.rmvb";
}

// A name too long for its label shows its beginning, "…" and its end with the extension; the
// tooltip has the whole path.
void TestInputItem::longNamesElided()
{
    QFETCH(QString, name);
    QFETCH(QString, ending);
    const QString path = m_media.makeFile(name);
    ConversionJob job;
    QCOMPARE(job.setInput(path.toStdString(), makeAVSettings(0, 1, 1)), 0);
    InputItem item(&job);
    item.show();
    QVERIFY(QTest::qWaitForWindowExposed(&item));
    const auto *label = item.findChild<QLabel *>(QStringLiteral("filename"));
    const QString shown = label->text();
    QVERIFY2(shown.endsWith(ending), qPrintable(shown));
    QCOMPARE(shown.contains(QChar(0x2026)), shown != name);
    QVERIFY(shown == name || shown.startsWith(name.left(3)));
    QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
    QCOMPARE(item.toolTip(), path);
}

// While a file converts its row tells, on hovering, how long it has run, the transcoder's speed
// and the time left; its status text stays the same.
void TestInputItem::toolTipWhileConverting()
{
    QVERIFY(
        m_media.installStandIn(writesOutput + "printf '" + durationLine +
                               "frame=   50 time=00:00:05.00 bitrate= 1.6kbits/s speed=2.5x\\r'; "
                               "sleep 3"));
    const QString path = m_media.makeFile(QStringLiteral("timed.mp4"));
    ConversionJob job;
    InputItem item(&job);
    QCOMPARE(item.setInput(path.toStdString(), makeAVSettings(0, 1, 1)), 0);
    QCOMPARE(job.start(m_media.path(QStringLiteral("out")).toStdString()), 0);
    QTRY_VERIFY(item.toolTip().contains(QStringLiteral("速度")));
    // Five of ten seconds left at two and a half times real time.
    QCOMPARE(item.toolTip(),
             path + QStringLiteral("\n已用时间：00:00:00\n速度：2.5x\n剩余时间：约 00:00:02"));
    QCOMPARE(text(item, "status"), QStringLiteral("正在转码..."));
    QTRY_VERIFY_WITH_TIMEOUT(item.toolTip().contains(QStringLiteral("已用时间：00:00:01")), 3000);
    QCOMPARE(item.cancel(), 0);
    QCOMPARE(item.toolTip(), path);
}

// The current row has a shade of its own, whatever its state.
void TestInputItem::currentRowMarked()
{
    QVERIFY(m_media.installStandIn("exit 1"));
    ConversionJob job;
    InputItem item(&job);
    QCOMPARE(item.setInput(m_media.makeFile(QStringLiteral("marked.mp4")).toStdString(),
                           makeAVSettings(0, 1, 1)),
             0);
    const auto shade = [&item] {
        return item.grab().toImage().pixelColor(item.width() / 2, 1).rgb();
    };
    const QRgb plain = qRgb(58, 187, 138);
    const QRgb current = qRgb(36, 150, 108);
    QCOMPARE(shade(), plain);
    item.setCurrent(true);
    QCOMPARE(shade(), current);
    QCOMPARE(job.start(m_media.path(QStringLiteral("out")).toStdString()), 0);
    QSignalSpy done(&item, &InputItem::ItemConvertDone);
    QVERIFY(done.wait(5000));
    QCOMPARE(text(item, "status"), QStringLiteral("转码错误   "));
    QCOMPARE(shade(), current);
    item.setCurrent(false);
    QCOMPARE(shade(), plain);
}

QUELLIX_TEST_MAIN(TestInputItem)
#include "test_inputitem.moc"
