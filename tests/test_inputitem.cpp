#include "convert/InputItem.h"
#include "params/ParamTables.h"
#include "tests/TestMedia.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace
{

constexpr int conversionTimeoutMs = 120000;

const QByteArray durationLine = "  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s\n";
const QByteArray halfWayLine =
    "frame=   50 fps=0.0 q=28.0 size=   1kB time=00:00:05.00 bitrate= 1.6kbits/s speed=10x\r";

std::string utf8(const QString &text)
{
    return text.toStdString();
}

// Waits for the end of the run that the item has started.
bool finishes(InputItem &item, int timeoutMs = conversionTimeoutMs)
{
    QSignalSpy done(&item, &InputItem::ItemConvertDone);
    return item.convertState() != Converting || done.wait(timeoutMs);
}

QString statusText(InputItem &item)
{
    return item.findChild<QLabel *>(QStringLiteral("status"))->text();
}

} // namespace

class TestInputItem final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { media.restorePath(); }

    void form_data();
    void form();
    void setInput_data();
    void setInput();
    void outputNames_data();
    void outputNames();
    void scriptedRuns_data();
    void scriptedRuns();
    void windowKeepsTurningWhileSilent();
    void endIsTakenAtOnce();
    void floodDoesNotStallTheTranscoder();
    void positionPastTheDuration();
    void stateRules();
    void destroyedWhileConverting();
    void deleteButton();

    void containers_data();
    void containers();
    void failures_data();
    void failures();
    void cancelMidRun();
    void hostileFileName();
    void batchLikeTheMainWindow();

private:
    // Binds a fresh item to `input` with the given container and default qualities.
    bool bind(InputItem &item, const QString &input, int vc = 0);

    TestMedia media;
    QString clip;
    QString longClip;
};

void TestInputItem::initTestCase()
{
    initParamTables();
    QVERIFY(media.isValid());
    QVERIFY(media.makeClip(QStringLiteral("clip.mp4"), 2));
    clip = media.path(QStringLiteral("clip.mp4"));
    QVERIFY(media.makeClip(QStringLiteral("long.mp4"), 40, QStringLiteral("640x360")));
    longClip = media.path(QStringLiteral("long.mp4"));
}

void TestInputItem::init()
{
    const QString out = media.path(QString::fromUtf8(QTest::currentTestFunction()) + "-" +
                                   QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(out));
    setOutputDir(utf8(out));
}

bool TestInputItem::bind(InputItem &item, const QString &input, int vc)
{
    return item.setInput(utf8(input), makeAVSettings(vc, QualityMedium, QualityMedium)) == 0;
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
    InputItem item;
    QCOMPARE(item.objectName(), QStringLiteral("InputItem"));
    QCOMPARE(item.size(), QSize(398, 48));
    QCOMPARE(item.convertState(), int(Waiting));
    QCOMPARE(statusText(item), QStringLiteral("等待转码..."));
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

void TestInputItem::setInput_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("sizeText");
    QTest::newRow("one and a half") << 1572864 << "大小:1.5 MB";
    QTest::newRow("empty") << 0 << "大小:0.0 MB";
    QTest::newRow("rounded like printf") << 99 * 1024 << "大小:0.1 MB";
}

void TestInputItem::setInput()
{
    QFETCH(int, bytes);
    const QString path = media.path(QStringLiteral("sized 文件.avi"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(bytes));
    file.close();

    InputItem item;
    QCOMPARE(item.setInput(utf8(path), makeAVSettings(2, 0, 0)), 0);
    QTEST(item.findChild<QLabel *>(QStringLiteral("filesize"))->text(), "sizeText");
    QCOMPARE(item.findChild<QLabel *>(QStringLiteral("filename"))->text(),
             QStringLiteral("sized 文件.avi"));
    QCOMPARE(item.inputPath(), utf8(path));
    QCOMPARE(item.settings().vc, 2);

    // A missing file changes nothing.
    QCOMPARE(item.setInput(utf8(media.path(QStringLiteral("gone.mp4"))), makeAVSettings(0, 1, 1)),
             -202);
    QCOMPARE(item.inputPath(), utf8(path));
    QCOMPARE(item.settings().vc, 2);
}

void TestInputItem::outputNames_data()
{
    QTest::addColumn<QString>("inputName");
    QTest::addColumn<int>("vc");
    QTest::addColumn<QStringList>("takenNames"); // in the output folder
    QTest::addColumn<bool>("linkToInput");       // the first name is a link to the input
    QTest::addColumn<QString>("expected");
    QTest::newRow("unknown container keeps extension")
        << "clip.mkv" << 9 << QStringList() << false << "Quellix转码-clip.mkv";
    QTest::newRow("last extension replaced")
        << "a.b.avi" << 0 << QStringList() << false << "Quellix转码-a.b.mp4";
    QTest::newRow("no extension") << "noext" << 9 << QStringList() << false << "Quellix转码-noext.";
    QTest::newRow("taken by another job") << "clip.mkv" << 3 << QStringList{"Quellix转码-clip.wmv"}
                                          << false << "Quellix转码-clip (2).wmv";
    QTest::newRow("first free number")
        << "clip.mkv" << 1 << QStringList{"Quellix转码-clip.flv", "Quellix转码-clip (2).flv"}
        << false << "Quellix转码-clip (3).flv";
    QTest::newRow("link to the input")
        << "clip.mkv" << 0 << QStringList() << true << "Quellix转码-clip (2).mp4";
}

void TestInputItem::outputNames()
{
    QFETCH(QString, inputName);
    QFETCH(int, vc);
    QFETCH(QStringList, takenNames);
    QFETCH(bool, linkToInput);
    const QString argsFile = media.path(QStringLiteral("arguments.txt"));
    QVERIFY(
        media.installStandIn("printf '%s\\n' \"$@\" > '" + argsFile.toUtf8() + "'; echo 'kb/s:'"));
    const QString input = media.path(inputName);
    QVERIFY(QFile(input).open(QIODevice::WriteOnly));
    const QString out = QString::fromStdString(outputDir);
    if (linkToInput)
        QVERIFY(QFile::link(input, out + "/Quellix转码-" + QFileInfo(inputName).completeBaseName() +
                                       ".mp4"));
    std::vector<std::string> taken;
    for (const QString &name : takenNames)
        taken.push_back(utf8(out + "/" + name));

    InputItem item;
    QVERIFY(bind(item, input, vc));
    QCOMPARE(item.start(taken), 0);
    QVERIFY(finishes(item));
    QCOMPARE(item.convertState(), int(Done));
    const QFileInfo output(QString::fromStdString(item.outputPath()));
    QTEST(output.fileName(), "expected");
    QCOMPARE(output.absolutePath(), out);

    QFile file(argsFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList arguments = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(arguments.value(1), QStringLiteral("-i"));
    QCOMPARE(arguments.value(2), QFileInfo(input).absoluteFilePath());
    QCOMPARE(arguments.last(), output.absoluteFilePath());
}

void TestInputItem::scriptedRuns_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<int>("progress");
    const QByteArray progress = "printf '" + durationLine + halfWayLine + "'; ";
    QTest::newRow("progress then success")
        << progress + "sleep 0.3" << int(Done) << QString() << 100;
    QTest::newRow("recognised text wins over the status")
        << QByteArray("echo 'a.mp4: Invalid data found when processing input'; exit 1")
        << int(Failed) << "未识别的输入文件格式！\n"
        << 0;
    QTest::newRow("nothing recognisable") << QByteArray("echo hello") << int(Failed) << "模糊信息\n"
                                          << 0;
    QTest::newRow("silent clean exit that wrote its output")
        << QByteArray("for last; do :; done; printf data > \"$last\"") << int(Done) << QString()
        << 100;
    QTest::newRow("killed after progress")
        << progress + "echo 'Press [q] to stop, [?] for help'; sleep 0.3; kill -KILL $$"
        << int(Failed) << "转码程序被信号 9 终止\n"
        << 50;
    QTest::newRow("non-zero status after progress")
        << progress + "echo 'av_interleaved_write_frame(): No space left on device'; "
                      "echo 'Conversion failed!'; exit 1"
        << int(Failed)
        << "转码程序异常退出，退出码：1\nav_interleaved_write_frame(): No space left "
           "on device\n"
        << 50;
    // A chunk holds at most 8191 bytes: 8185 bytes of padding cut the pattern in two.
    QTest::newRow("pattern cut between chunks")
        << QByteArray("head -c 8185 /dev/zero | tr '\\0' x; echo 'No such file or directory'; "
                      "sleep 0.5; echo 'kb/s:'")
        << int(Done) << QString() << 100;
    QTest::newRow("pattern whole in one chunk")
        << QByteArray("head -c 8100 /dev/zero | tr '\\0' x; echo 'No such file or directory'; "
                      "sleep 0.5; echo 'kb/s:'")
        << int(Failed) << "文件或文件夹不存在！\n"
        << 0;
}

void TestInputItem::scriptedRuns()
{
    QFETCH(QByteArray, script);
    QVERIFY(media.installStandIn(script));
    InputItem item;
    QVERIFY(bind(item, clip));
    QSignalSpy done(&item, &InputItem::ItemConvertDone);
    QCOMPARE(item.start(), 0);
    QCOMPARE(statusText(item), QStringLiteral("正在转码..."));
    QVERIFY(finishes(item));
    QCOMPARE(done.count(), 1);
    QTEST(item.convertState(), "state");
    QTEST(QString::fromStdString(item.errorText()), "errorText");
    QTEST(item.progressValue(), "progress");
    QCOMPARE(statusText(item), item.convertState() == Done ? QStringLiteral("转码完成   ")
                                                           : QStringLiteral("转码错误   "));
}

void TestInputItem::windowKeepsTurningWhileSilent()
{
    QVERIFY(media.installStandIn("sleep 2; printf '" + durationLine + halfWayLine + "'"));
    InputItem item;
    QVERIFY(bind(item, clip));

    QElapsedTimer sinceLastBeat;
    qint64 longestGap = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout,
            [&] { longestGap = qMax(longestGap, sinceLastBeat.restart()); });
    sinceLastBeat.start();
    heartbeat.start(10);
    QCOMPARE(item.start(), 0);
    QVERIFY(finishes(item));
    QCOMPARE(item.convertState(), int(Done));
    // A reader that waited for the transcoder would stand still for the whole 2 s of silence; the
    // bound leaves room for a loaded machine.
    QVERIFY2(longestGap < 1000,
             qPrintable(QStringLiteral("event loop stood still for %1 ms").arg(longestGap)));
}

void TestInputItem::endIsTakenAtOnce()
{
    // In a batch the next file waits for this verdict: it must not wait for the next poll.
    QVERIFY(media.installStandIn("printf '" + durationLine + halfWayLine + "kb/s:1\\n'"));
    InputItem item;
    QVERIFY(bind(item, clip));
    QSignalSpy done(&item, &InputItem::ItemConvertDone);
    QElapsedTimer sinceStart;
    sinceStart.start();
    QCOMPARE(item.start(), 0);
    QVERIFY(done.wait(5000));
    const qint64 elapsed = sinceStart.elapsed();
    QVERIFY2(elapsed < 190, qPrintable(QStringLiteral("verdict after %1 ms").arg(elapsed)));
    QCOMPARE(item.convertState(), int(Done));
    // The poll that follows finds the run over and adds no second verdict.
    QTest::qWait(450);
    QCOMPARE(done.count(), 1);
}

void TestInputItem::floodDoesNotStallTheTranscoder()
{
    // 20 MB of warnings: a reader that took 8191 bytes per tick would need over eight minutes.
    const QString marker = media.path(QStringLiteral("flood-written"));
    QVERIFY(media.installStandIn(
        "yes '[h264 @ 0x1] warning: a long line of noise that the transcoder keeps printing' | "
        "head -c 20000000; touch '" +
        marker.toUtf8() + "'; printf '\\n" + durationLine + halfWayLine + "'"));
    InputItem item;
    QVERIFY(bind(item, clip));
    QCOMPARE(item.start(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
    QVERIFY(finishes(item, 30000));
    QCOMPARE(item.convertState(), int(Done));
}

void TestInputItem::positionPastTheDuration()
{
    const QString marker = media.path(QStringLiteral("past-written"));
    QVERIFY(media.installStandIn("printf '" + durationLine + halfWayLine +
                                 "'; sleep 0.5; printf 'time=00:00:20.00\\r'; touch '" +
                                 marker.toUtf8() + "'; sleep 2; echo 'kb/s:'"));
    InputItem item;
    QVERIFY(bind(item, clip));
    QCOMPARE(item.start(), 0);
    QTRY_COMPARE(item.progressValue(), 50);
    QTRY_VERIFY(QFile::exists(marker));
    QTest::qWait(500);
    QCOMPARE(item.convertState(), int(Converting));
    QCOMPARE(item.progressValue(), 50);
    QVERIFY(finishes(item));
}

void TestInputItem::stateRules()
{
    InputItem item;
    QVERIFY(bind(item, clip));
    QCOMPARE(item.cancel(), 0);
    QCOMPARE(item.convertState(), int(Cancelled));
    QCOMPARE(statusText(item), QStringLiteral("转码取消   "));

    // Without a transcoder to find the start fails and changes nothing.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(media.path(QStringLiteral("empty"))));
    const int missing = item.start();
    qputenv("PATH", path);
    QCOMPARE(missing, -102);
    QCOMPARE(item.convertState(), int(Cancelled));

    QVERIFY(media.installStandIn("echo hello"));
    QCOMPARE(item.start(), 0);
    QVERIFY(finishes(item));
    QCOMPARE(item.convertState(), int(Failed));
    QCOMPARE(item.cancel(), 0);
    QCOMPARE(item.convertState(), int(Cancelled));
    QCOMPARE(item.errorText(), std::string("模糊信息\n"));

    // A new run starts clean; a second start while it runs is refused.
    QVERIFY(media.installStandIn("printf '" + durationLine + halfWayLine + "'; sleep 1"));
    QCOMPARE(item.start(), 0);
    QVERIFY(item.errorText().empty());
    QTRY_COMPARE(item.progressValue(), 50);
    QCOMPARE(item.start(), -103);
    QVERIFY(finishes(item));
    QCOMPARE(item.convertState(), int(Done));
    QCOMPARE(item.cancel(), 102);
    QCOMPARE(statusText(item), QStringLiteral("转码完成   "));

    QVERIFY(media.installStandIn("echo hello"));
    QCOMPARE(item.start(), 0);
    QCOMPARE(item.progressValue(), 0);
    QVERIFY(finishes(item));
}

void TestInputItem::destroyedWhileConverting()
{
    QVERIFY(media.installStandIn("echo started; exec sleep 30"));
    auto item = std::make_unique<InputItem>();
    QVERIFY(bind(*item, clip));
    QCOMPARE(item->start(), 0);
    QCOMPARE(TestMedia::childPids().size(), 1);
    item.reset();
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
}

void TestInputItem::deleteButton()
{
    InputItem item;
    QSignalSpy deleted(&item, &InputItem::ItemDelete);
    QTest::mouseClick(item.findChild<QPushButton *>(QStringLiteral("btnDel")), Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).value<InputItem *>(), &item);
}

void TestInputItem::containers_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<bool>("longInput");
    QTest::addColumn<QStringList>("codecs");
    QTest::newRow("mp4") << 0 << false << QStringList{"h264", "aac"};
    QTest::newRow("flv") << 1 << false << QStringList{"h264", "aac"};
    QTest::newRow("avi") << 2 << false << QStringList{"h264", "mp3"};
    // The WMV encoders print no rate summary, and a short run may print no whole second either.
    QTest::newRow("wmv") << 3 << false << QStringList{"wmv2", "wmav2"};
    QTest::newRow("wmv, longer input") << 3 << true << QStringList{"wmv2", "wmav2"};
}

void TestInputItem::containers()
{
    QFETCH(int, vc);
    QFETCH(bool, longInput);
    InputItem item;
    QVERIFY(bind(item, longInput ? longClip : clip, vc));
    QCOMPARE(item.start(), 0);
    QVERIFY(finishes(item));
    QCOMPARE(QString::fromStdString(item.errorText()), QString());
    QCOMPARE(item.convertState(), int(Done));
    QCOMPARE(item.progressValue(), 100);
    QTEST(TestMedia::probeCodecs(QString::fromStdString(item.outputPath())), "codecs");
}

void TestInputItem::failures_data()
{
    QTest::addColumn<QString>("case_");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("missing input") << "missing input"
                                   << "^文件或文件夹不存在！\\n$";
    QTest::newRow("text file named mp4") << "text"
                                         << "^未识别的输入文件格式！\\n$";
    QTest::newRow("missing output folder") << "no folder"
                                           << "^文件或文件夹不存在！\\n$";
    QTest::newRow("output folder under a file")
        << "under file"
        << "^转码程序异常退出，退出码：1\\n.*/Quellix转码-clip\\.mp4: Not a directory\\n$";
    QTest::newRow("codec the container refuses")
        << "refused codec"
        << "^转码程序异常退出，退出码：1\\n\\[mp4 @ 0x[0-9a-f]+\\] Could not find tag for codec "
           "wmv2[^\\n]*\\n$";
}

void TestInputItem::failures()
{
    QFETCH(QString, case_);
    QFETCH(QString, pattern);
    const QString out = QString::fromStdString(outputDir);
    const QString input = out + "/clip.mp4";
    QVERIFY(QFile::copy(clip, input));
    InputItem item;
    QVERIFY(bind(item, input));
    AVSettings settings = item.settings();
    if (case_ == "missing input") {
        QVERIFY(QFile::remove(input));
    } else if (case_ == "text") {
        QVERIFY(QFile::remove(input));
        QFile text(input);
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("just some notes\n") > 0);
    } else if (case_ == "no folder") {
        setOutputDir(utf8(out + "/no such folder"));
    } else if (case_ == "under file") {
        setOutputDir(utf8(input + "/sub"));
    } else {
        settings.cv = 4;
    }
    item.setSettings(settings);
    QCOMPARE(item.start(), 0);
    QVERIFY(finishes(item));
    QCOMPARE(item.convertState(), int(Failed));
    QCOMPARE(item.progressValue(), 0);
    const QString errorText = QString::fromStdString(item.errorText());
    QVERIFY2(QRegularExpression(pattern).match(errorText).hasMatch(), qPrintable(errorText));
}

void TestInputItem::cancelMidRun()
{
    InputItem item;
    QVERIFY(bind(item, longClip));
    AVSettings slow = makeAVSettings(0, QualityHigh, QualityHigh);
    slow.cv = 3; // H.265
    slow.r = 0;  // 1920x1080
    item.setSettings(slow);
    QSignalSpy done(&item, &InputItem::ItemConvertDone);
    QCOMPARE(item.start(), 0);
    const QString output = QString::fromStdString(item.outputPath());
    QTRY_VERIFY_WITH_TIMEOUT(item.progressValue() > 0 && QFile::exists(output), 60000);
    QCOMPARE(item.convertState(), int(Converting));

    QCOMPARE(item.cancel(), 0);
    QCOMPARE(item.convertState(), int(Cancelled));
    QCOMPARE(statusText(item), QStringLiteral("转码取消   "));
    QVERIFY(!QFile::exists(output));
    QCOMPARE(TestMedia::childPids(), QList<qint64>());
    QTest::qWait(500);
    QCOMPARE(done.count(), 0);
    QVERIFY(!QFile::exists(output));
}

void TestInputItem::hostileFileName()
{
    const QString name = QStringLiteral("-x 'q' \"d\" $HOME `id` ;| 视频.mp4");
    const QString input = media.path(name);
    QVERIFY(QFile::copy(clip, input));
    const QString out = QString::fromStdString(outputDir) + "/out $HOME 输出";
    QVERIFY(QDir().mkpath(out));
    setOutputDir(utf8(out));

    InputItem item;
    QVERIFY(bind(item, input, 1));
    QCOMPARE(item.start(), 0);
    QVERIFY(finishes(item));
    QCOMPARE(QString::fromStdString(item.errorText()), QString());
    QCOMPARE(item.convertState(), int(Done));
    const QString expected = out + "/Quellix转码-" + QFileInfo(name).completeBaseName() + ".flv";
    QCOMPARE(QString::fromStdString(item.outputPath()), expected);
    QCOMPARE(TestMedia::probeCodecs(expected), (QStringList{"h264", "aac"}));
}

// Two files of the same name from different folders, converted one after the other.
void TestInputItem::batchLikeTheMainWindow()
{
    const QString out = QString::fromStdString(outputDir);
    QVERIFY(QDir().mkpath(out + "/a") && QDir().mkpath(out + "/b"));
    QVERIFY(QFile::copy(clip, out + "/a/clip.mp4") && QFile::copy(clip, out + "/b/clip.mp4"));
    QListWidget list;
    QList<InputItem *> items;
    for (const QString &input : QStringList{out + "/a/clip.mp4", out + "/b/clip.mp4"}) {
        auto *item = new InputItem(&list);
        QVERIFY(bind(*item, input, 2));
        auto *row = new QListWidgetItem(&list);
        row->setSizeHint(item->size());
        list.setItemWidget(row, item);
        items << item;
    }
    const auto takenBy = [&items](const InputItem *self) {
        std::vector<std::string> taken;
        for (const InputItem *other : items) {
            if (other != self)
                taken.insert(taken.end(), {other->inputPath(), other->outputPath()});
        }
        return taken;
    };
    int finished = 0;
    for (InputItem *item : items) {
        connect(item, &InputItem::ItemConvertDone, [&](InputItem *doneItem) {
            ++finished;
            const int next = items.indexOf(doneItem) + 1;
            if (next < items.size())
                items[next]->start(takenBy(items[next]));
        });
    }
    list.show();
    QCOMPARE(items[0]->start(takenBy(items[0])), 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished, 2, conversionTimeoutMs);
    QCOMPARE(items[0]->convertState(), int(Done));
    QCOMPARE(items[1]->convertState(), int(Done));
    QCOMPARE(QString::fromStdString(items[0]->outputPath()), out + "/Quellix转码-clip.avi");
    QCOMPARE(QString::fromStdString(items[1]->outputPath()), out + "/Quellix转码-clip (2).avi");
    QCOMPARE(TestMedia::probeCodecs(out + "/Quellix转码-clip.avi"), (QStringList{"h264", "mp3"}));
    QCOMPARE(TestMedia::probeCodecs(out + "/Quellix转码-clip (2).avi"),
             (QStringList{"h264", "mp3"}));
}

QTEST_MAIN(TestInputItem)
#include "test_inputitem.moc"
