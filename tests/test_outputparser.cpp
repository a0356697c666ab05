#include "convert/OutputParser.h"
#include "convert/OutputTail.h"

#include <QtTest>

#include <limits>

class TestOutputParser final : public QObject
{
    Q_OBJECT

private slots:
    void clock_data();
    void clock();
    void searchResults_data();
    void searchResults();
    void nullChunkStoresNothing();
    void chunks_data();
    void chunks();
    void tail_data();
    void tail();
    void verdictLines_data();
    void verdictLines();
};

void TestOutputParser::clock_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("seconds");
    QTest::newRow("fraction dropped") << QByteArray("00:01:23.45") << 83;
    QTest::newRow("never rounded") << QByteArray("01:00:00.99") << 3600;
    QTest::newRow("exactly eight") << QByteArray("02:03:04") << 7384;
    QTest::newRow("unpadded clock misread") << QByteArray("0:1:23.4") << 0;
    QTest::newRow("seven characters") << QByteArray("1:02:03") << -1;
    QTest::newRow("three-digit hours read at fixed places") << QByteArray("100:00:00") << 360000;
    QTest::newRow("sign read like atoi") << QByteArray("-1:00:00") << -3600;
    QTest::newRow("no digits read as zero") << QByteArray("N/A     ") << 0;
    QTest::newRow("beyond 32 bits held, not wrapped")
        << QByteArray("00:71582789") << std::numeric_limits<int>::max();
    QTest::newRow("below 32 bits held, not wrapped")
        << QByteArray("-1200100") << std::numeric_limits<int>::min();
}

void TestOutputParser::clock()
{
    QFETCH(QByteArray, text);
    QFETCH(int, seconds);
    QCOMPARE(clockToSeconds(text.constData()), seconds);
}

void TestOutputParser::searchResults_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("rateResult");
    QTest::addColumn<int>("durationResult");
    QTest::addColumn<int>("duration"); // stored, or 77 left as it was
    QTest::addColumn<int>("timeResult");
    QTest::newRow("nothing") << QByteArray("frame=1") << 103 << 103 << 77 << 103;
    QTest::newRow("all three") << QByteArray("Duration: 00:00:05.00 time=00:00:02.00 kb/s:1") << 0
                               << 0 << 5 << 0;
    QTest::newRow("case matters") << QByteArray("duration: 00:00:05.00 TIME=00:00:01.00 KB/S:")
                                  << 103 << 103 << 77 << 103;
    // The clock of a "Duration:" at the very end is empty; nothing past the chunk is read.
    QTest::newRow("duration at the end") << QByteArray("Duration:") << 103 << 0 << -1 << 103;
    QTest::newRow("short duration clock") << QByteArray("Duration: 1:00") << 103 << 0 << -1 << 103;
}

void TestOutputParser::searchResults()
{
    QFETCH(QByteArray, chunk);
    bool seen = false;
    int32_t duration = 77;
    int32_t time = 0;
    QTEST(detectRateSummary(chunk.constData(), seen), "rateResult");
    QCOMPARE(seen, detectRateSummary(chunk.constData(), seen) == 0);
    QTEST(parseDuration(chunk.constData(), duration), "durationResult");
    QTEST(int(duration), "duration");
    QTEST(parseTime(chunk.constData(), time), "timeResult");
}

void TestOutputParser::nullChunkStoresNothing()
{
    bool seen = false;
    int32_t seconds = 42;
    QCOMPARE(containsText(nullptr, "x"), -1);
    QCOMPARE(detectRateSummary(nullptr, seen), -1);
    QCOMPARE(parseDuration(nullptr, seconds), -1);
    QCOMPARE(parseTime(nullptr, seconds), -1);
    QCOMPARE(seconds, 42);
    QCOMPARE(clockToSeconds(nullptr), -1);

    OutputFacts facts;
    facts.durationSec = 10;
    QVERIFY(!analyseOutputChunk(nullptr, facts));
    QVERIFY(facts.errorText.empty());
    QVERIFY(!facts.outputSeen);
    QCOMPARE(facts.durationSec, 10);
}

void TestOutputParser::chunks_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks"); // analysed in order
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<bool>("outputSeen");
    QTest::addColumn<int>("durationSec");
    QTest::addColumn<int>("timeSec");
    QTest::addColumn<int>("progress"); // of the last chunk, -1 for none

    QTest::newRow("errors in table order")
        << QList<QByteArray>{"Error opening filters; x: No such file or directory"}
        << "文件或文件夹不存在！\n过滤器内部错误！\n"
        << false << 0 << 0 << -1;
    QTest::newRow("all four in one chunk, in table order")
        << QList<QByteArray>{"frame decoding failed: Error opening filters Invalid data found "
                             "when processing input No such file or directory"}
        << "文件或文件夹不存在！\n未识别的输入文件格式！\n过滤器内部错误！\n帧解码错误-Error\n"
        << false << 0 << 0 << -1;
    QTest::newRow("same error in two chunks")
        << QList<QByteArray>{"Invalid data found when processing input",
                             "frame decoding failed: x Invalid data found when processing input"}
        << "未识别的输入文件格式！\n未识别的输入文件格式！\n帧解码错误-Error\n"
        << false << 0 << 0 << -1;
    QTest::newRow("progress 25") << QList<QByteArray>{"  Duration: 00:02:00.00, start: 0",
                                                      "frame=9 time=00:00:30.50 b"}
                                 << "" << true << 120 << 30 << 25;
    QTest::newRow("no duration yet")
        << QList<QByteArray>{"time=00:00:30.50"} << "" << false << 0 << 30 << -1;
    QTest::newRow("below one second")
        << QList<QByteArray>{"Duration: 00:00:10.00", "time=00:00:00.40"} << "" << false << 10 << 0
        << -1;
    QTest::newRow("raised to one") << QList<QByteArray>{"Duration: 10:00:00.00 x time=00:00:01.00"}
                                   << "" << true << 36000 << 1 << 1;
    QTest::newRow("first of two positions")
        << QList<QByteArray>{"Duration: 00:01:40.00", "time=00:00:10.00\rtime=00:00:50.00\r"} << ""
        << true << 100 << 10 << 10;
    QTest::newRow("no upper clamp")
        << QList<QByteArray>{"Duration: 00:00:10.00", "time=00:00:20.00"} << "" << true << 10 << 20
        << 200;
    QTest::newRow("far past the duration stays above 100")
        << QList<QByteArray>{"Duration: 00:00:01.00", "time=00:30000000"} << "" << true << 1
        << 1800000000 << std::numeric_limits<int>::max();
    QTest::newRow("rate summary alone")
        << QList<QByteArray>{"video:9kB audio:2kB kb/s: 1"} << "" << true << 0 << 0 << -1;
    QTest::newRow("later duration replaces")
        << QList<QByteArray>{"Duration: 00:01:00.00", "Duration: 00:02:00.00 time=00:01:00.00"}
        << "" << true << 120 << 60 << 50;
    QTest::newRow("pattern cut between chunks")
        << QList<QByteArray>{"  Dura", "tion: 00:00:10.00", "time=00:00:05.00"} << "" << false << 0
        << 5 << -1;
}

void TestOutputParser::chunks()
{
    QFETCH(QList<QByteArray>, chunks);
    OutputFacts facts;
    std::optional<int> progress;
    for (const QByteArray &chunk : chunks)
        progress = analyseOutputChunk(chunk.constData(), facts);
    QTEST(QString::fromStdString(facts.errorText), "errorText");
    QTEST(facts.outputSeen, "outputSeen");
    QTEST(int(facts.durationSec), "durationSec");
    QTEST(int(facts.timeSec), "timeSec");
    QTEST(progress.value_or(-1), "progress");
}

void TestOutputParser::tail_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("line");
    QTest::newRow("reason before the summary")
        << QList<QByteArray>{"Stream mapping:\n  Stream #0:0 -> #0:0 (h264 (native) -> wmv2 "
                             "(native))\n",
                             "[mp4 @ 0x5] Could not find tag for codec wmv2 in stream #0, codec "
                             "not currently "
                             "supported in container\nCould not write header for output file #0 "
                             "(incorrect "
                             "codec parameters ?): Invalid argument\nError initializing output "
                             "stream 0:0 -- \n",
                             "[aac @ 0x5] Qavg: 103.075\nConversion failed!\n"}
        << "[mp4 @ 0x5] Could not find tag for codec wmv2 in stream #0, codec not currently "
           "supported in container";
    QTest::newRow("summary when nothing else")
        << QList<QByteArray>{"Could not write header: Invalid argument\nConversion failed!\n"}
        << "Could not write header: Invalid argument";
    QTest::newRow("last plain line") << QList<QByteArray>{"  Metadata:\nout/x.mp4: Not a directory"}
                                     << "out/x.mp4: Not a directory";
    QTest::newRow("line cut between chunks")
        << QList<QByteArray>{"frame=  5 time=00:00:01.00\rError while wri", "ting output\r\n",
                             "frame=  9 time=00:00:02.00\r"}
        << "Error while writing output";
    QTest::newRow("progress only") << QList<QByteArray>{"frame=  5 fps=0\rsize=1kB time=0\r"} << "";
    // The banner's build options hold words like "--enable-…"; a folder given as input is the
    // only error there is.
    const QByteArray banner = "ffmpeg version 5.1.9-0+deb12u1 Copyright (c) 2000-2026\n"
                              "  built with gcc 12 (Debian 12.2.0-14+deb12u1)\n"
                              "  configuration: --prefix=/usr --enable-gpl --disable-stripping "
                              "--enable-libx264\n"
                              "  libavutil      57. 28.100 / 57. 28.100\n";
    QTest::newRow("banner is no reason")
        << QList<QByteArray>{banner, "/tmp/in/folder.mp4: Is a directory\n"}
        << "/tmp/in/folder.mp4: Is a directory";
    QTest::newRow("banner alone") << QList<QByteArray>{banner} << "";
    QTest::newRow("long line kept to 512 bytes")
        << QList<QByteArray>{"Error " + QByteArray(500, 'e'), QByteArray(100, 'f') + "\nok\n"}
        << QString::fromLatin1("Error " + QByteArray(500, 'e') + QByteArray(6, 'f'));
}

void TestOutputParser::tail()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, line);
    OutputTail tail;
    for (const QByteArray &chunk : chunks)
        tail.append(chunk.constData());
    QCOMPARE(QString::fromStdString(tail.lastErrorLine()), line);
    tail.clear();
    QCOMPARE(tail.lastErrorLine(), std::string());
}

// Lines of real runs that exited with status 0: which of them make the output incomplete, and
// which tell of damaged input that was skipped.
void TestOutputParser::verdictLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("writeFailure");
    QTest::addColumn<bool>("decodeError");
    QTest::newRow("trailer on a full disk")
        << QByteArray("Error writing trailer of /o/x.mp4: No space left on device") << true
        << false;
    QTest::newRow("closing after an I/O error")
        << QByteArray("Error closing file /o/x.mp4: Input/output error") << true << false;
    QTest::newRow("packet write") << QByteArray("av_interleaved_write_frame(): Disk quota exceeded")
                                  << true << false;
    QTest::newRow("skipped MP3 packet")
        << QByteArray("Error while decoding stream #0:1: Invalid data found when processing input")
        << false << true;
    QTest::newRow("skipped AC-3 packet")
        << QByteArray("/i/a.avi: corrupt decoded frame in stream 1") << false << true;
    QTest::newRow("odd decode error number")
        << QByteArray("Error while decoding stream #0:1: Error number -16976906 occurred") << false
        << true;
    QTest::newRow("the texts inside a line")
        << QByteArray("x Error closing file y") << false << false;
    QTest::newRow("rate summary")
        << QByteArray("video:21kB audio:76kB subtitle:0kB muxing overhead: unknown") << false
        << false;
    QTest::newRow("encoder statistics")
        << QByteArray("[libx264 @ 0x5] kb/s:47.60") << false << false;
}

void TestOutputParser::verdictLines()
{
    QFETCH(QByteArray, line);
    QTEST(isWriteFailure(line.constData()), "writeFailure");
    QTEST(isDecodeError(line.constData()), "decodeError");
}

QTEST_GUILESS_MAIN(TestOutputParser)
#include "test_outputparser.moc"
