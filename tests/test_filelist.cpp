#include "QuellixTestMain.h"

#include "DialogAnswerer.h"
#include "EventLoopWatch.h"
#include "FileDrop.h"
#include "TestMedia.h"
#include "WindowFixture.h"
#include "batch/BatchQueue.h"
#include "batch/SavedList.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"
#include "gui/MainWindow.h"
#include "params/AVSettings.h"
#include "ui/StyleSheet.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>

namespace
{

// Counts the widgets that a widget gains as children while it lives.
class ChildCounter final : public QObject
{
public:
    explicit ChildCounter(QWidget *watched) : m_watched(watched)
    {
        watched->installEventFilter(this);
    }
    ~ChildCounter() override { m_watched->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::ChildAdded ? 1 : 0;
        return false;
    }

private:
    QWidget *m_watched;
};

} // namespace

class TestFileList final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addInputFile_data();
    void addInputFile();
    void supportedSuffix_data();
    void supportedSuffix();
    void sameFileTwiceGivesOneEntry();
    void newJobsGetWhatThePanelShows();
    void dropAddsOnlyLocalVideos();
    void dropOfNothingUsableKeepsTeachPage();
    void dropRefusedWhileConverting();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void clearAsksFirst_data();
    void clearAsksFirst();
    void listFrozenWhileConverting();
    void largeDropKeepsOrderAndRules();
    void largeListHasWidgetsOnScreenOnly();
    void currentRowIsMarked();
    void listFollowsTheRunningFile();
    void listOutlivesTheWindow();

private:
    // A batch over one file whose transcoder never ends, so that the list is seen while it runs.
    bool startEndlessBatch();
    QString makeFile(const QString &name) const;
    QString makeEmptyFile(const QString &name) const;
    QListWidget *list() const { return m_fixture.list(); }
    ConversionJob *job(int row) const { return m_fixture.job(row); }
    QPushButton *deleteButton(int row) const
    {
        return m_fixture.row(row)->findChild<QPushButton *>(QStringLiteral("btnDel"));
    }
    // Drops and waits until the list has taken the drop, which it does a slice at a time.
    void drop(const QList<QUrl> &urls)
    {
        dropUrls(m_window, urls);
        QVERIFY(QTest::qWaitFor([this] { return !m_window->isAddingFiles(); }, 30000));
    }
    int page() const { return m_fixture.child<QStackedWidget>("stackInput")->currentIndex(); }

    QTemporaryDir m_dir;
    TestMedia m_media;
    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
};

void TestFileList::init()
{
    QVERIFY(m_fixture.open());
    m_window = m_fixture.window();
}

void TestFileList::cleanup()
{
    m_fixture.close();
    m_window = nullptr;
    m_media.restorePath();
}

bool TestFileList::startEndlessBatch()
{
    if (!m_media.installStandIn("exec sleep 60\n"))
        return false;
    if (m_window->addInputFile(makeFile(QStringLiteral("endless.mp4")).toStdString()) != 0)
        return false;
    QTest::mouseClick(m_fixture.startButton(), Qt::LeftButton);
    return m_window->isConverting();
}

QString TestFileList::makeFile(const QString &name) const
{
    QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(QByteArray(1572864, 'v'));
    return path;
}

QString TestFileList::makeEmptyFile(const QString &name) const
{
    QFile file(m_dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    return file.fileName();
}

void TestFileList::addInputFile_data()
{
    QTest::addColumn<QString>("name"); // created unless it starts with "missing"
    QTest::addColumn<int>("result");
    QTest::newRow("mp4") << "a.mp4" << 0;
    QTest::newRow("upper case suffix") << "A.MP4" << 0;
    QTest::newRow("mixed case rmvb") << "b.RmVb" << 0;
    QTest::newRow("two dots") << "a.b.avi" << 0;
    QTest::newRow("CJK and spaces") << "视频 文件.mkv" << 0;
    QTest::newRow("text after video suffix") << "clip.mp4.txt" << int(BatchQueue::refused);
    QTest::newRow("no suffix") << "clip" << int(BatchQueue::refused);
    QTest::newRow("mpeg") << "clip.mpeg" << 0;
    QTest::newRow("camcorder MTS") << "clip.MTS" << 0;
    QTest::newRow("not a video type") << "clip.m2t" << int(BatchQueue::refused);
    QTest::newRow("missing") << "missing.mp4" << int(BatchQueue::refused);
}

void TestFileList::addInputFile()
{
    QFETCH(QString, name);
    QFETCH(int, result);
    const QString path =
        name.startsWith(QLatin1String("missing")) ? m_dir.filePath(name) : makeFile(name);
    QCOMPARE(m_window->addInputFile(path.toStdString()), result);
    QCOMPARE(list()->count(), result == 0 ? 1 : 0);
    if (result == 0) {
        QCOMPARE(QString::fromStdString(job(0)->inputPath()), path);
        QCOMPARE(list()->item(0)->sizeHint(), QSize(398, 48));
    }
    QCOMPARE(m_window->addInputFile(std::string()), BatchQueue::refused);
}

void TestFileList::supportedSuffix_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("supported");
    for (const char *s : {".mp4", ".mkv", ".flv", ".avi", ".wmv", ".mpg", ".mov", ".rmvb", ".MKV",
                          ".mpeg", ".ts", ".VOB"})
        QTest::newRow(s) << QString::fromLatin1(s) << true;
    for (const char *s : {"", ".", "mp4", ".mp", ".mp4 ", ".m2t", ".MP4.txt"})
        QTest::newRow(s[0] ? s : "(empty)") << QString::fromLatin1(s) << false;
}

void TestFileList::supportedSuffix()
{
    QFETCH(QString, suffix);
    QFETCH(bool, supported);
    QCOMPARE(BatchQueue::isSupportedInput(suffix.toStdString()), supported);
}

void TestFileList::sameFileTwiceGivesOneEntry()
{
    const QString path = makeFile(QStringLiteral("twice.mp4"));
    drop({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)});
    QCOMPARE(list()->count(), 1);
    QCOMPARE(m_window->addInputFile(path.toStdString()), BatchQueue::refused);
    QCOMPARE(list()->count(), 1);
    // Byte-exact comparison: another spelling of the same file is a new entry.
    QCOMPARE(m_window->addInputFile(
                 QString(m_dir.path() + QStringLiteral("/./twice.mp4")).toStdString()),
             0);
}

void TestFileList::newJobsGetWhatThePanelShows()
{
    // "应用到所有" is checked at start: a new file gets the container the panel shows.
    auto *container = m_window->findChild<QComboBox *>(QStringLiteral("cboxVContainer"));
    container->setCurrentIndex(3);
    QCOMPARE(m_window->addInputFile(makeFile(QStringLiteral("fresh.avi")).toStdString()), 0);
    QVERIFY(job(0)->settings() == makeAVSettings(3, 1, 1));
}

void TestFileList::dropAddsOnlyLocalVideos()
{
    const QString video = makeFile(QStringLiteral("dropped.mov"));
    const QString text = makeFile(QStringLiteral("notes.txt"));
    // A folder without videos adds nothing, though it is named like one.
    const QString folder = m_dir.filePath(QStringLiteral("no videos inside.mp4"));
    QVERIFY(QDir().mkpath(folder));
    drop({QUrl::fromLocalFile(text), QUrl(QStringLiteral("https://example.org/clip.mp4")),
          QUrl::fromLocalFile(video), QUrl::fromLocalFile(folder)});
    QCOMPARE(list()->count(), 1);
    QCOMPARE(QString::fromStdString(job(0)->inputPath()), video);
    QCOMPARE(page(), 1);
    auto *start = m_window->findChild<QPushButton *>(QStringLiteral("btnConvertStart"));
    QCOMPARE(start->styleSheet(), styleConvertStart);
}

void TestFileList::dropOfNothingUsableKeepsTeachPage()
{
    drop({QUrl::fromLocalFile(makeFile(QStringLiteral("other.txt"))),
          QUrl(QStringLiteral("https://example.org/a.mp4"))});
    QCOMPARE(list()->count(), 0);
    QCOMPARE(page(), 0);
}

void TestFileList::dropRefusedWhileConverting()
{
    QVERIFY(startEndlessBatch());
    QVERIFY(!dropUrls(m_window, {QUrl::fromLocalFile(makeFile(QStringLiteral("late.mp4")))}));
    QCOMPARE(list()->count(), 1);
}

void TestFileList::deleteAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("ok") << int(DialogAnswerer::PressOk) << 1;
    QTest::newRow("cancel") << int(DialogAnswerer::PressCancel) << 2;
    QTest::newRow("title bar close") << int(DialogAnswerer::PressClose) << 2;
}

void TestFileList::deleteAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(int, remaining);
    const QString first = makeFile(QStringLiteral("del1.mp4"));
    const QString second = makeFile(QStringLiteral("del2.mp4"));
    QCOMPARE(m_window->addInputFile(first.toStdString()), 0);
    QCOMPARE(m_window->addInputFile(second.toStdString()), 0);
    DialogAnswerer answerer{DialogAnswerer::Answer(answer)};
    QTest::mouseClick(deleteButton(0), Qt::LeftButton);
    QCOMPARE(answerer.texts, QStringList{QStringLiteral("\n确认删除？\n")});
    QCOMPARE(list()->count(), remaining);
    QCOMPARE(QString::fromStdString(job(remaining - 1)->inputPath()), second);
    if (remaining == 1) {
        // The deleted file can be added again; deleting the last entry shows the teach page.
        QCOMPARE(m_window->addInputFile(first.toStdString()), 0);
        answerer.setAnswer(DialogAnswerer::PressOk);
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(deleteButton(0), Qt::LeftButton);
        QCOMPARE(list()->count(), 0);
        QCOMPARE(page(), 0);
        auto *start = m_window->findChild<QPushButton *>(QStringLiteral("btnConvertStart"));
        QCOMPARE(start->styleSheet(), styleConvertDisabled);
    }
}

void TestFileList::clearAsksFirst_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("ok") << int(DialogAnswerer::PressOk) << 0;
    QTest::newRow("cancel") << int(DialogAnswerer::PressCancel) << 2;
}

void TestFileList::clearAsksFirst()
{
    QFETCH(int, answer);
    QFETCH(int, remaining);
    auto *clear = m_window->findChild<QPushButton *>(QStringLiteral("btnInputClear"));
    DialogAnswerer answerer{DialogAnswerer::Answer(answer)};
    QTest::mouseClick(clear, Qt::LeftButton); // empty list: no question
    QCOMPARE(answerer.texts.size(), 0);

    drop({QUrl::fromLocalFile(makeFile(QStringLiteral("c1.wmv"))),
          QUrl::fromLocalFile(makeFile(QStringLiteral("c2.flv")))});
    QTest::mouseClick(clear, Qt::LeftButton);
    QCOMPARE(answerer.texts, QStringList{QStringLiteral("\n确认清空？\n")});
    QCOMPARE(list()->count(), remaining);
    QCOMPARE(page(), remaining ? 1 : 0);
    if (remaining == 0)
        QCOMPARE(m_window->addInputFile(makeFile(QStringLiteral("c1.wmv")).toStdString()), 0);
}

void TestFileList::listFrozenWhileConverting()
{
    QVERIFY(startEndlessBatch());
    DialogAnswerer answerer(DialogAnswerer::PressOk);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnInputClear")),
                      Qt::LeftButton);
    QTest::mouseClick(deleteButton(0), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnInputFile")),
                      Qt::LeftButton);
    QTest::qWait(100);
    QCOMPARE(answerer.texts.size(), 0);
    QCOMPARE(list()->count(), 1);
}

// A drop of thousands of files is listed a slice at a time: the window answers meanwhile, no batch
// starts before the list is complete, and the order and the refusals are those of a small drop.
void TestFileList::largeDropKeepsOrderAndRules()
{
    QList<QUrl> urls;
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        const QString path = makeEmptyFile(QStringLiteral("many %1.mp4").arg(2999 - i));
        urls << QUrl::fromLocalFile(path);
        expected << path;
        if (i % 500 == 7) { // refused in the middle: a duplicate, a missing file, a text file
            urls << QUrl::fromLocalFile(path) << QUrl::fromLocalFile(m_dir.filePath("gone.mp4"))
                 << QUrl::fromLocalFile(makeEmptyFile(QStringLiteral("notes %1.txt").arg(i)));
        }
    }
    EventLoopWatch watch;
    DialogAnswerer answerer;
    QVERIFY(dropUrls(m_window, urls));
    QVERIFY(m_window->isAddingFiles());
    QVERIFY(list()->count() > 0);
    QCOMPARE(page(), 1);
    QTest::mouseClick(m_fixture.startButton(), Qt::LeftButton);
    QVERIFY(!m_window->isConverting());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isAddingFiles(), 30000);
    // Listed in one go, these files take the loop for seconds; a slice stays far below that even
    // under the sanitizers on a loaded machine.
    QVERIFY2(watch.longestStallMs() < 1500, qPrintable(QString::number(watch.longestStallMs())));
    QVERIFY(answerer.texts.isEmpty());
    QStringList listed;
    for (int row = 0; row < list()->count(); ++row)
        listed << QString::fromStdString(job(row)->inputPath());
    QCOMPARE(listed, expected);
}

// Only the rows on screen have a widget; scrolling, deleting and clearing keep it so.
void TestFileList::largeListHasWidgetsOnScreenOnly()
{
    QList<QUrl> urls;
    for (int i = 0; i < 300; ++i)
        urls << QUrl::fromLocalFile(
            makeFile(QStringLiteral("row %1.mkv").arg(i, 3, 10, QChar('0'))));
    QVERIFY(dropUrls(m_window, urls));
    QTRY_VERIFY(!m_window->isAddingFiles());
    const auto rowsOnScreen = [this] {
        const int rowHeight = list()->visualItemRect(list()->item(0)).height();
        return list()->viewport()->height() / rowHeight + 3;
    };
    const auto widgets = [this] { return list()->viewport()->findChildren<InputItem *>().size(); };
    QVERIFY(m_fixture.row(0));
    QVERIFY(!m_fixture.row(299));
    QVERIFY(widgets() <= rowsOnScreen());

    list()->scrollToBottom();
    QVERIFY(m_fixture.row(299));
    QVERIFY(!m_fixture.row(0));
    QTRY_VERIFY(widgets() <= rowsOnScreen());
    QCOMPARE(m_fixture.row(299)->job(), job(299));

    // The last row's delete button removes that file and no other, and no more than a screenful
    // of row widgets is made on the way.
    DialogAnswerer answerer;
    ChildCounter made(list()->viewport());
    QTest::mouseClick(deleteButton(299), Qt::LeftButton);
    QVERIFY2(made.count <= rowsOnScreen(), qPrintable(QString::number(made.count)));
    QCOMPARE(list()->count(), 299);
    QCOMPARE(QFileInfo(QString::fromStdString(job(298)->inputPath())).fileName(),
             QStringLiteral("row 298.mkv"));
    QVERIFY(m_fixture.row(298));
    QCOMPARE(m_fixture.row(298)->job(), job(298));
    QTRY_VERIFY(widgets() <= rowsOnScreen());

    QTest::mouseClick(m_fixture.child<QPushButton>("btnInputClear"), Qt::LeftButton);
    QCOMPARE(list()->count(), 0);
    QTRY_COMPARE(widgets(), 0);
}

// The row the panel edits is marked, and stays marked when it scrolls away and back.
void TestFileList::currentRowIsMarked()
{
    QList<QUrl> urls;
    for (int i = 0; i < 40; ++i)
        urls << QUrl::fromLocalFile(makeEmptyFile(QStringLiteral("mark %1.mp4").arg(i)));
    QVERIFY(dropUrls(m_window, urls));
    QTRY_VERIFY(!m_window->isAddingFiles());
    const auto marked = [this](int row) {
        return m_fixture.row(row)->property("current").toBool();
    };
    QVERIFY(!marked(0) && !marked(1));
    list()->setCurrentRow(1);
    QVERIFY(marked(1) && !marked(0));
    list()->setCurrentRow(0);
    QVERIFY(marked(0) && !marked(1));
    list()->scrollToBottom();
    QVERIFY(!m_fixture.row(0));
    list()->scrollToTop();
    QVERIFY(marked(0) && !marked(1));
}

// During a batch the list scrolls to the file being converted.
void TestFileList::listFollowsTheRunningFile()
{
    TestMedia media;
    QVERIFY(media.installStandIn("for last; do :; done; printf data > \"$last\""));
    QList<QUrl> urls;
    for (int i = 0; i < 40; ++i)
        urls << QUrl::fromLocalFile(makeEmptyFile(QStringLiteral("follow %1.mp4").arg(i)));
    QVERIFY(dropUrls(m_window, urls));
    QTRY_VERIFY(!m_window->isAddingFiles());
    QVERIFY(!m_fixture.row(35));
    bool onScreen = false;
    // Looked at once the window has taken the start in.
    connect(job(35), &ConversionJob::changed, this, [&] {
        if (job(35)->convertState() != Converting)
            return;
        QTimer::singleShot(0, this, [&] {
            onScreen = m_fixture.row(35) && list()->viewport()->rect().contains(
                                                list()->visualItemRect(list()->item(35)));
        });
    });
    DialogAnswerer answerer;
    m_fixture.clickStart();
    QVERIFY(WindowFixture::waitForDialogs(answerer, 1, 60000));
    QCOMPARE(answerer.texts.at(0), WindowFixture::summary(40, 0));
    QVERIFY(onScreen);
}

// The list a window leaves is the list the next one starts with, a file gone meanwhile too;
// clearing the list leaves nothing to restore.
void TestFileList::listOutlivesTheWindow()
{
    const QString kept = makeFile(QStringLiteral("kept.mkv"));
    const QString gone = makeFile(QStringLiteral("gone later.avi"));
    QCOMPARE(m_window->addInputFile(kept.toStdString()), 0);
    QCOMPARE(m_window->addInputFile(gone.toStdString()), 0);
    AVSettings own = job(0)->settings();
    setContainer(own, 3);
    job(0)->setSettings(own);
    const QString saved = SavedList::defaultFileName();
    QTRY_VERIFY(QFile::exists(saved));
    QVERIFY(QFile::remove(gone));

    m_fixture.close();
    QVERIFY(m_fixture.open(QString(), WindowFixture::KeptState));
    m_window = m_fixture.window();
    QTRY_COMPARE(list()->count(), 2);
    QCOMPARE(page(), 1);
    QCOMPARE(QString::fromStdString(job(0)->inputPath()), kept);
    QCOMPARE(job(0)->settings(), own);
    QCOMPARE(QString::fromStdString(job(1)->inputPath()), gone);
    QCOMPARE(job(1)->convertState(), int(Waiting));

    DialogAnswerer answerer(DialogAnswerer::PressOk);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnInputClear")),
                      Qt::LeftButton);
    m_fixture.close();
    QVERIFY(m_fixture.open(QString(), WindowFixture::KeptState));
    m_window = m_fixture.window();
    QTest::qWait(50);
    QCOMPARE(list()->count(), 0);
    QCOMPARE(page(), 0);
}

QUELLIX_TEST_MAIN(TestFileList)
#include "test_filelist.moc"
