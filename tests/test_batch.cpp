#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "player/vlcplayer.h"
#include "ui/StyleSheet.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

// Whole batches through the main window on the real transcoder.
class TestBatch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void secondOfThreeFails();
    void cancelDuringFirst();
    void twoAtOnce();
    void nothingLeftToConvert();
    void onlyNewFilesConvertAgain();
    void startFailureOfFirstJob();
    void laterStartFailureStillEndsWithSummary();
    void sameOutputNamesDoNotCollide();
    void longestNamesDoNotCollide();
    void restartConvertsUnfinishedJobsAgain_data();
    void restartConvertsUnfinishedJobsAgain();
    void closeDuringBatch_data();
    void closeDuringBatch();
    void previewFollowsTheList();
    void pauseThroughTheWindow();

private:
    QListWidget *list() const { return m_fixture.list(); }
    ConversionJob *job(int row) const { return m_fixture.job(row); }
    QPushButton *startButton() const { return m_fixture.startButton(); }
    // A user's double click: the view sees the first press before the double-click event.
    void doubleClick(const QPoint &pos) const
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, pos);
    }
    void add(const QString &path) { QVERIFY(m_fixture.add(path)); }
    // Presses start and waits until `count` dialogs have been answered.
    bool runUntilDialogs(DialogAnswerer &answerer, int count, int timeoutMs = 120000);
    static QString summary(int ok, int cancelled, const QStringList &failures = {})
    {
        return WindowFixture::summary(ok, cancelled, failures);
    }

    TestMedia m_media;
    QString m_outDir;
    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
};

void TestBatch::initTestCase()
{
    QVERIFY(m_media.isValid());
    m_outDir = m_media.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(m_outDir));
    QVERIFY(m_media.makeClip(QStringLiteral("one.mp4")));
    QVERIFY(m_media.makeClip(QStringLiteral("two.mkv")));
    QVERIFY(m_media.makeClip(QStringLiteral("three.avi")));
    QVERIFY(m_media.makeClip(QStringLiteral("long.mp4"), 20, QStringLiteral("640x360")));
    QFile text(m_media.path(QStringLiteral("notes.mp4")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("these are not moving pictures\n");
}

void TestBatch::init()
{
    QVERIFY(m_fixture.open(m_outDir));
    m_window = m_fixture.window();
}

void TestBatch::cleanup()
{
    m_fixture.close();
    m_window = nullptr;
    QTRY_VERIFY(TestMedia::childPids().isEmpty());
    for (const QString &name : QDir(m_outDir).entryList(QDir::Files))
        QFile::remove(m_outDir + QLatin1Char('/') + name);
}

bool TestBatch::runUntilDialogs(DialogAnswerer &answerer, int count, int timeoutMs)
{
    m_fixture.clickStart();
    return WindowFixture::waitForDialogs(answerer, count, timeoutMs);
}

void TestBatch::secondOfThreeFails()
{
    add(m_media.path(QStringLiteral("one.mp4")));
    add(m_media.path(QStringLiteral("notes.mp4")));
    add(m_media.path(QStringLiteral("two.mkv")));
    DialogAnswerer answerer;
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.first(), summary(2, 0,
                                             {m_media.path(QStringLiteral("notes.mp4")),
                                              QStringLiteral("未识别的输入文件格式！\n")}));
    QVERIFY(!m_window->isConverting());
    QCOMPARE(startButton()->styleSheet(), styleConvertStart);
    QCOMPARE(job(0)->convertState(), int(Done));
    QCOMPARE(job(1)->convertState(), int(Failed));
    QCOMPARE(job(2)->convertState(), int(Done));
    QVERIFY(QFile::exists(m_outDir + QStringLiteral("/Quellix转码-one.mp4")));
    QVERIFY(QFile::exists(m_outDir + QStringLiteral("/Quellix转码-two.mp4")));
}

void TestBatch::cancelDuringFirst()
{
    add(m_media.path(QStringLiteral("long.mp4")));
    add(m_media.path(QStringLiteral("one.mp4")));
    add(m_media.path(QStringLiteral("two.mkv")));
    DialogAnswerer answerer(DialogAnswerer::PressCancel);
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(m_window->isConverting());
    QCOMPARE(startButton()->text(), QStringLiteral("取消转码"));
    QCOMPARE(startButton()->styleSheet(), styleConvertStop);
    QVERIFY(!m_window->findChild<QComboBox *>(QStringLiteral("cboxVContainer"))->isEnabled());
    QTRY_VERIFY(job(0)->progress() > 0 || !TestMedia::childPids().isEmpty());

    // Answering Cancel to the question leaves the batch running.
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QCOMPARE(answerer.texts,
             QStringList{QStringLiteral("确认取消？\n未完成的转码任务将会取消。\n")});
    QVERIFY(m_window->isConverting());
    QCOMPARE(job(0)->convertState(), int(Converting));

    answerer.setAnswer(DialogAnswerer::PressOk);
    QVERIFY(runUntilDialogs(answerer, 3, 10000));
    QCOMPARE(answerer.texts.at(2), summary(0, 3));
    for (int row = 0; row < 3; ++row)
        QCOMPARE(job(row)->convertState(), int(Cancelled));
    QVERIFY(!QFile::exists(QString::fromStdString(job(0)->outputPath())));
    QTRY_VERIFY_WITH_TIMEOUT(TestMedia::childPids().isEmpty(), 1000);
}

// With "2 个" chosen the real transcoder converts two files at once, never three; one that fails
// stops nothing else, and the summary is that of a batch one after another.
void TestBatch::twoAtOnce()
{
    auto *atOnce = m_window->findChild<QComboBox *>(QStringLiteral("cboxConcurrent"));
    const int two = atOnce->findData(2);
    if (two < 0)
        QSKIP("this machine has a single core");
    atOnce->setCurrentIndex(two);
    emit atOnce->activated(two);
    add(m_media.path(QStringLiteral("long.mp4")));
    add(m_media.path(QStringLiteral("notes.mp4")));
    add(m_media.path(QStringLiteral("one.mp4")));
    add(m_media.path(QStringLiteral("two.mkv")));
    int most = 0;
    QTimer count;
    connect(&count, &QTimer::timeout, this, [&] {
        int converting = 0;
        for (int row = 0; row < 4; ++row)
            converting += job(row)->convertState() == Converting ? 1 : 0;
        most = qMax(most, converting);
    });
    count.start(5);
    DialogAnswerer answerer;
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.first(), summary(3, 0,
                                             {m_media.path(QStringLiteral("notes.mp4")),
                                              QStringLiteral("未识别的输入文件格式！\n")}));
    QCOMPARE(most, 2);
    QVERIFY(atOnce->isEnabled());
    for (const char *name : {"long.mp4", "one.mp4", "two.mp4"})
        QVERIFY(TestMedia::decodesCleanly(m_outDir + QStringLiteral("/Quellix转码-") +
                                          QLatin1String(name)));
}

void TestBatch::nothingLeftToConvert()
{
    DialogAnswerer answerer;
    QTest::mouseClick(startButton(), Qt::LeftButton); // empty list: nothing at all
    QTest::qWait(100);
    QVERIFY(answerer.texts.isEmpty());

    add(m_media.path(QStringLiteral("one.mp4")));
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), summary(1, 0));
    QVERIFY(runUntilDialogs(answerer, 2));
    QCOMPARE(answerer.texts.at(1),
             QStringLiteral(
                 "没有需要转码的文件。\n点击<添加文件>选择视频文件，或直接<拖拽>文件至窗口内。\n"));
    QVERIFY(!m_window->isConverting());
}

void TestBatch::onlyNewFilesConvertAgain()
{
    add(m_media.path(QStringLiteral("one.mp4")));
    add(m_media.path(QStringLiteral("two.mkv")));
    add(m_media.path(QStringLiteral("three.avi")));
    DialogAnswerer answerer;
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), summary(3, 0));
    const QString first = m_outDir + QStringLiteral("/Quellix转码-one.mp4");
    const QDateTime firstWritten = QFileInfo(first).lastModified();

    QVERIFY(m_media.makeClip(QStringLiteral("four.mov")));
    QVERIFY(m_media.makeClip(QStringLiteral("five.flv")));
    add(m_media.path(QStringLiteral("four.mov")));
    add(m_media.path(QStringLiteral("five.flv")));
    QVERIFY(runUntilDialogs(answerer, 2));
    QCOMPARE(answerer.texts.at(1), summary(2, 3));
    QCOMPARE(QFileInfo(first).lastModified(), firstWritten);
    QVERIFY(QFile::exists(m_outDir + QStringLiteral("/Quellix转码-five.mp4")));
}

void TestBatch::startFailureOfFirstJob()
{
    add(m_media.path(QStringLiteral("one.mp4")));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    DialogAnswerer answerer;
    const bool answered = runUntilDialogs(answerer, 1, 5000);
    qputenv("PATH", path);
    QVERIFY(answered);
    QCOMPARE(answerer.texts.at(0), QStringLiteral("启动失败！\n错误码：-102"));
    QVERIFY(!m_window->isConverting());
    QCOMPARE(job(0)->convertState(), int(Waiting));
}

void TestBatch::laterStartFailureStillEndsWithSummary()
{
    add(m_media.path(QStringLiteral("long.mp4")));
    add(m_media.path(QStringLiteral("one.mp4")));
    add(m_media.path(QStringLiteral("two.mkv")));
    auto *container = m_window->findChild<QComboBox *>(QStringLiteral("cboxVContainer"));
    container->setCurrentIndex(3); // wmv encodes quickly
    const QByteArray path = qgetenv("PATH");
    DialogAnswerer answerer;
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(m_window->isConverting());
    // The transcoder disappears while the first file converts (once its source is probed).
    QTRY_VERIFY(TestMedia::transcoderRuns());
    qputenv("PATH", "/nonexistent");
    QElapsedTimer timer;
    timer.start();
    while (answerer.texts.isEmpty() && timer.elapsed() < 120000)
        QTest::qWait(20);
    qputenv("PATH", path);
    QCOMPARE(answerer.texts.size(), 1);
    const QString failure = QStringLiteral("启动失败！错误码：-102\n");
    QCOMPARE(answerer.texts.at(0), summary(1, 0,
                                           {m_media.path(QStringLiteral("one.mp4")), failure,
                                            m_media.path(QStringLiteral("two.mkv")), failure}));
    QVERIFY(!m_window->isConverting());
}

void TestBatch::sameOutputNamesDoNotCollide()
{
    QVERIFY(m_media.makeClip(QStringLiteral("same.avi"), 1, QStringLiteral("160x120")));
    QVERIFY(m_media.makeClip(QStringLiteral("same.mkv"), 2, QStringLiteral("320x240")));
    add(m_media.path(QStringLiteral("same.avi")));
    add(m_media.path(QStringLiteral("same.mkv")));
    DialogAnswerer answerer;
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), summary(2, 0));
    const QString first = m_outDir + QStringLiteral("/Quellix转码-same.mp4");
    const QString second = m_outDir + QStringLiteral("/Quellix转码-same (2).mp4");
    QCOMPARE(QString::fromStdString(job(0)->outputPath()), first);
    QCOMPARE(QString::fromStdString(job(1)->outputPath()), second);
    QCOMPARE(TestMedia::probeCodecs(first), (QStringList{"h264", "aac"}));
    QVERIFY(QFile::exists(second));
    QVERIFY(QFileInfo(first).size() != QFileInfo(second).size());
}

// Two inputs whose names take all 255 bytes a name may have: the second output needs room for its
// number as well as for the prefix.
void TestBatch::longestNamesDoNotCollide()
{
    const QString name = QString(251, QLatin1Char('y')) + QStringLiteral(".mp4");
    QStringList inputs;
    for (const QString &folder : {QStringLiteral("a"), QStringLiteral("b")}) {
        QVERIFY(QDir().mkpath(m_media.path(folder)));
        inputs << m_media.path(folder + QLatin1Char('/') + name);
        QVERIFY(QFile::copy(m_media.path(QStringLiteral("one.mp4")), inputs.last()));
        add(inputs.last());
    }
    DialogAnswerer answerer;
    QVERIFY(runUntilDialogs(answerer, 1));
    QCOMPARE(answerer.texts.at(0), summary(2, 0));
    const QString stem = QStringLiteral("Quellix转码-") + QString(237, QLatin1Char('y'));
    QCOMPARE(QString::fromStdString(job(0)->outputPath()), m_outDir + "/" + stem + ".mp4");
    QCOMPARE(QString::fromStdString(job(1)->outputPath()),
             m_outDir + "/" + stem.chopped(4) + " (2).mp4");
    for (int row = 0; row < 2; ++row) {
        const QFileInfo output(QString::fromStdString(job(row)->outputPath()));
        QCOMPARE(QFile::encodeName(output.fileName()).size(), 255);
        QCOMPARE(TestMedia::probeCodecs(output.filePath()), (QStringList{"h264", "aac"}));
    }
}

void TestBatch::restartConvertsUnfinishedJobsAgain_data()
{
    QTest::addColumn<bool>("cancelFirst");
    QTest::newRow("after a cancel") << true;
    QTest::newRow("after a failure") << false;
}

// Jobs that were cancelled or failed are converted again by the next batch and counted in its
// summary; jobs that are done are skipped and counted as not converted.
void TestBatch::restartConvertsUnfinishedJobsAgain()
{
    QFETCH(bool, cancelFirst);
    const QString notes = m_media.path(QStringLiteral("notes.mp4"));
    add(cancelFirst ? m_media.path(QStringLiteral("long.mp4")) : notes);
    add(m_media.path(QStringLiteral("one.mp4")));
    DialogAnswerer answerer;
    if (cancelFirst) {
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QVERIFY(m_window->isConverting());
        QVERIFY(runUntilDialogs(answerer, 2, 10000)); // the question, then the summary
        QCOMPARE(answerer.texts.at(1), summary(0, 2));
        QVERIFY(runUntilDialogs(answerer, 3));
        QCOMPARE(answerer.texts.at(2), summary(2, 0));
    } else {
        const QStringList failure = {notes, QStringLiteral("未识别的输入文件格式！\n")};
        QVERIFY(runUntilDialogs(answerer, 1));
        QCOMPARE(answerer.texts.at(0), summary(1, 0, failure));
        QVERIFY(runUntilDialogs(answerer, 2));
        QCOMPARE(answerer.texts.at(1), summary(0, 1, failure));
    }
    QCOMPARE(job(0)->convertState(), int(cancelFirst ? Done : Failed));
    QCOMPARE(job(1)->convertState(), int(Done));
}

void TestBatch::closeDuringBatch_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("cancel keeps the batch") << false;
    QTest::newRow("ok cancels everything") << true;
}

void TestBatch::closeDuringBatch()
{
    QFETCH(bool, confirm);
    add(m_media.path(QStringLiteral("long.mp4")));
    add(m_media.path(QStringLiteral("one.mp4")));
    DialogAnswerer answerer(confirm ? DialogAnswerer::PressOk : DialogAnswerer::PressCancel);
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(m_window->isConverting());
    QCOMPARE(m_window->close(), confirm);
    QCOMPARE(answerer.texts,
             QStringList{QStringLiteral("正在转码中，确认关闭？\n未完成的压缩任务将会取消。\n")});
    QCOMPARE(m_window->isVisible(), !confirm);
    QCOMPARE(m_window->isConverting(), !confirm);
    if (confirm) {
        QTest::qWait(300);
        QCOMPARE(answerer.texts.size(), 1); // no summary
        QCOMPARE(job(0)->convertState(), int(Cancelled));
        QTRY_VERIFY_WITH_TIMEOUT(TestMedia::childPids().isEmpty(), 1000);
    } else {
        QCOMPARE(job(0)->convertState(), int(Converting));
        answerer.setAnswer(DialogAnswerer::PressOk);
        QTest::mouseClick(startButton(), Qt::LeftButton);
        QTRY_COMPARE(answerer.texts.size(), 3);
    }
}

void TestBatch::previewFollowsTheList()
{
    add(m_media.path(QStringLiteral("long.mp4")));
    add(m_media.path(QStringLiteral("one.mp4")));
    vlcplayer *player = m_window->previewPlayer();
    const QRect second = list()->visualItemRect(list()->item(1));
    doubleClick(second.center());
    QTRY_COMPARE(player->playState(), int(vlcplayer::Playing));

    // Starting a batch toggles the preview's pause; a double click still plays during it.
    DialogAnswerer answerer;
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QVERIFY(m_window->isConverting());
    QCOMPARE(player->playState(), int(vlcplayer::Paused));
    doubleClick(second.center());
    QTRY_COMPARE(player->playState(), int(vlcplayer::Playing));
    QTest::mouseClick(startButton(), Qt::LeftButton);
    QTRY_COMPARE(answerer.texts.size(), 2);
    QVERIFY(!m_window->isConverting());

    // Clearing the list stops the preview.
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnInputClear")),
                      Qt::LeftButton);
    QCOMPARE(answerer.texts.size(), 3);
    QCOMPARE(player->playState(), int(vlcplayer::Stopped));
}

// The pause button stops the real transcoder where it is, the row and the button say so, and the
// batch goes on to its end once continued.
void TestBatch::pauseThroughTheWindow()
{
    add(m_media.path(QStringLiteral("long.mp4")));
    auto *pause = m_fixture.child<QPushButton>("btnPauseBatch");
    QVERIFY(!pause->isEnabled());
    DialogAnswerer answerer;
    m_fixture.clickStart();
    QVERIFY(pause->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(job(0)->progress() > 0, 60000);
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("继续转码"));
    QVERIFY(job(0)->isPaused());
    QCOMPARE(m_fixture.row(0)->findChild<QLabel *>(QStringLiteral("status"))->text(),
             QStringLiteral("转码暂停   "));
    const QList<qint64> transcoder = TestMedia::childPids();
    QCOMPARE(transcoder.size(), 1);
    QTRY_COMPARE(TestMedia::processState(transcoder.first()), 'T');
    const QString output = QString::fromStdString(job(0)->outputPath());
    const qint64 written = QFileInfo(output).size();
    QTest::qWait(500);
    QCOMPARE(QFileInfo(output).size(), written);
    QVERIFY(m_window->isConverting());

    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(pause->text(), QStringLiteral("暂停转码"));
    QCOMPARE(m_fixture.row(0)->findChild<QLabel *>(QStringLiteral("status"))->text(),
             QStringLiteral("正在转码..."));
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, 120000));
    QCOMPARE(answerer.texts.first(), summary(1, 0));
    QVERIFY(!pause->isEnabled());
    QVERIFY(TestMedia::decodesCleanly(QString::fromStdString(job(0)->outputPath())));
}

QUELLIX_TEST_MAIN(TestBatch)
#include "test_batch.moc"
