// What the transcoder's output tells of a run, read the way the job reads it: chunks of captured
// output, cut anywhere, and how the run ended, give the verdict, the note, the warning and the
// progress.
#include "convert/TranscoderReport.h"

#include <QtTest>

namespace
{

const QByteArray input = "/videos/in.mkv";
const QByteArray output = "/out/.quellix-1234abcd-in.part.mp4";
const QByteArray header = "Input #0, matroska,webm, from '/videos/in.mkv':\n"
                          "  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s\n"
                          "Output #0, mp4, to '/out/.quellix-1234abcd-in.part.mp4':\n"
                          "Press [q] to stop, [?] for help\n";
const QByteArray halfWay = "frame=  125 fps= 50 q=28.0 size=     256kB time=00:00:05.00 "
                           "bitrate= 419.4kbits/s speed=2.5x    \r";
const QByteArray allOfIt = "frame=  250 fps= 50 q=-1.0 Lsize=     512kB time=00:00:10.00 "
                           "bitrate= 419.4kbits/s speed=2.5x    \n"
                           "video:400kB audio:100kB subtitle:0kB other streams:0kB global "
                           "headers:0kB muxing overhead: 2.1%\n"
                           "[libx264 @ 0x55747ece6d00] kb/s:327.68\n";

using Exit = TranscoderReport::Exit;

} // namespace

Q_DECLARE_METATYPE(TranscoderReport::Exit)

class TestTranscoderReport final : public QObject
{
    Q_OBJECT

private slots:
    void verdicts_data();
    void verdicts();
    void chunkEdges_data();
    void chunkEdges();
    void runFigures();
};

void TestTranscoderReport::verdicts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Exit>("exit");
    QTest::addColumn<double>("declared");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("progress"); // the last progress told, -1 for none

    const Exit wrote{true, 0, 0, 4096};
    const Exit nothingWritten{true, 0, 0, 0};
    QTest::newRow("progress then success") << header + halfWay + allOfIt << wrote << -1.0
                                           << QString() << QString() << QString() << 100;
    QTest::newRow("recognised text wins over the status")
        << QByteArray("/videos/a.mp4: Invalid data found when processing input\n")
        << Exit{true, 1, 0, 0} << -1.0 << "未识别的输入文件格式！\n"
        << QString() << QString() << -1;
    QTest::newRow("nothing recognisable")
        << QByteArray("hello\n") << nothingWritten << -1.0 << "模糊信息\n"
        << QString() << QString() << -1;
    QTest::newRow("silent clean exit that wrote its output")
        << QByteArray() << wrote << -1.0 << QString() << QString() << QString() << -1;
    QTest::newRow("killed after progress")
        << "  Duration: 00:00:10.00, start: 0.000000, bitrate: 9 kb/s\n" + halfWay +
               "Press [q] to stop, [?] for help\n"
        << Exit{false, 0, 9, 100} << -1.0 << "转码程序被信号 9 终止\n"
        << QString() << QString() << 50;
    QTest::newRow("non-zero status names the last error")
        << header + halfWay +
               "av_interleaved_write_frame(): No space left on device\nConversion failed!\n"
        << Exit{true, 1, 0, 100} << -1.0
        << "转码程序异常退出，退出码：1\nav_interleaved_write_frame(): No space left on device\n"
        << QString() << QString() << 50;
    QTest::newRow("decode errors with a clean exit")
        << header + halfWay +
               "[mp3float @ 0x1] Header missing\nError while decoding stream #0:1: Invalid data "
               "found when processing input\n" +
               allOfIt
        << wrote << -1.0 << QString()
        << "源文件中有损坏的数据，已跳过：\nError while decoding stream #0:1: Invalid data found "
           "when processing input\n"
        << QString() << 100;
    QTest::newRow("full disk when finishing, clean exit")
        << header + halfWay + "Error writing trailer of " + output +
               ": No space left on device\nvideo:1kB audio:1kB muxing overhead: unknown\n"
               "Error closing file " +
               output + ": No space left on device\n"
        << wrote << -1.0
        << QString::fromUtf8("磁盘空间不足，输出文件没有写完整！\nError writing trailer of " +
                             output + ": No space left on device\n")
        << QString() << QString() << 50;
    QTest::newRow("quota exceeded when finishing, clean exit")
        << header + halfWay + "Error writing trailer of " + output + ": Disk quota exceeded\n"
        << wrote << -1.0
        << QString::fromUtf8("超出磁盘配额，输出文件没有写完整！\nError writing trailer of " +
                             output + ": Disk quota exceeded\n")
        << QString() << QString() << 50;
    QTest::newRow("input/output error when closing, clean exit")
        << header + halfWay + "frame=  9 Lsize=   1kB\rError closing file " + output +
               ": Input/output error\n"
        << wrote << -1.0
        << QString::fromUtf8("写入输出文件失败，输出文件不完整！\nError closing file " + output +
                             ": Input/output error\n")
        << QString() << QString() << 50;
    QTest::newRow("clean exit without an output file")
        << header + halfWay + "kb/s:\n"
        << nothingWritten << -1.0 << "没有生成输出文件！\n"
        << QString() << QString() << 50;
    // The transcoder repeats the paths it was given; words in a file name are not its own.
    QTest::newRow("error words in the paths")
        << QByteArray("Input #0, mov, from '/videos/No such file or directory.mp4':\n"
                      "Output #0, mp4, to '/out/Error closing file x.mp4':\n") +
               allOfIt
        << nothingWritten << -1.0 << "没有生成输出文件！\n"
        << QString() << QString() << -1;
    QTest::newRow("source ended early")
        << QByteArray("frame=  100 Lsize=  1kB time=00:00:04.00 speed=2x\n") << wrote << 10.0
        << QString() << QString() << "源文件可能不完整：只转换了 4 秒（共 10 秒）" << 40;
    QTest::newRow("source ended half a second early")
        << QByteArray("frame=  100 Lsize=  1kB time=00:00:09.50 speed=2x\n") << wrote << 10.0
        << QString() << QString() << QString() << 90;
}

void TestTranscoderReport::verdicts()
{
    QFETCH(QByteArray, text);
    QFETCH(Exit, exit);
    QFETCH(double, declared);
    const bool named = QByteArray(QTest::currentDataTag()).contains("paths");
    TranscoderReport report;
    report.newRun(named ? "/videos/No such file or directory.mp4" : input.toStdString(),
                  named ? "/out/Error closing file x.mp4" : output.toStdString(), declared);
    // The transcoder writes a line at a time; each comes as a chunk of its own.
    int progress = -1;
    for (int at = 0; at < text.size();) {
        int end = text.indexOf('\n', at);
        const int carriage = text.indexOf('\r', at);
        if (end < 0 || (carriage >= 0 && carriage < end))
            end = carriage;
        end = end < 0 ? text.size() : end + 1;
        QByteArray chunk = text.mid(at, end - at);
        if (const std::optional<int> told = report.take(chunk.data()))
            progress = *told;
        at = end;
    }
    report.finish();
    QTEST(QString::fromStdString(report.failure(exit)), "failure");
    // A failed run has nothing to note.
    if (report.failure(exit).empty())
        QTEST(QString::fromStdString(report.note()), "note");
    QTEST(QString::fromStdString(report.warning()), "warning");
    QTEST(progress, "progress");
}

// A chunk ends wherever the pipe had bytes: a message cut in two is not recognised as a whole
// (the known texts are looked for chunk by chunk), while the lines that decide a clean exit are
// put together across chunks.
void TestTranscoderReport::chunkEdges_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<Exit>("exit");
    QTest::addColumn<QString>("failure");
    const QByteArray error = "No such file or directory\n";
    QTest::newRow("known text cut between chunks")
        << QByteArrayList{"x\nNo such file ", "or directory\n"} << Exit{true, 1, 0, 0}
        << "转码程序异常退出，退出码：1\nNo such file or directory\n";
    QTest::newRow("known text whole in one chunk")
        << QByteArrayList{"x\n", error} << Exit{true, 1, 0, 0} << "文件或文件夹不存在！\n";
    QTest::newRow("write failure cut between chunks")
        << QByteArrayList{"Error writing tra", "iler of x: No space left on device"}
        << Exit{true, 0, 0, 10}
        << "磁盘空间不足，输出文件没有写完整！\nError writing trailer of x: "
           "No space left on device\n";
}

void TestTranscoderReport::chunkEdges()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(Exit, exit);
    TranscoderReport report;
    report.newRun(input.toStdString(), output.toStdString(), -1);
    for (QByteArray chunk : chunks)
        report.take(chunk.data());
    report.finish();
    QTEST(QString::fromStdString(report.failure(exit)), "failure");
}

// Speed, time left and whether only a position is known, as the row shows them during a run.
void TestTranscoderReport::runFigures()
{
    TranscoderReport report;
    report.newRun(input.toStdString(), output.toStdString(), -1);
    QCOMPARE(report.remainingSeconds(), -1);
    QByteArray position = "frame= 10 size= 1kB time=00:00:02.00 speed=2x\r";
    report.take(position.data());
    QVERIFY(report.isBusy());
    QCOMPARE(report.remainingSeconds(), -1);

    report.newRun(input.toStdString(), output.toStdString(), 10);
    QVERIFY(!report.isBusy());
    QByteArray chunk = halfWay;
    QCOMPARE(report.take(chunk.data()), std::optional<int>(50));
    QCOMPARE(report.speed(), 2.5);
    QCOMPARE(report.remainingSeconds(), 2);
    QByteArray unknown = "frame= 10 size= 1kB time=00:00:06.00 speed=N/A\r";
    report.take(unknown.data());
    QCOMPARE(report.speed(), 0.0);
    QCOMPARE(report.remainingSeconds(), -1);
}

QTEST_GUILESS_MAIN(TestTranscoderReport)
#include "test_transcoderreport.moc"
