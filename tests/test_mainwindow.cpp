#include "QuellixTestMain.h"

#include "WindowFixture.h"
#include "convert/OutputPublisher.h"
#include "gui/MainWindow.h"
#include "player/vlcplayer.h"
#include "ui/StyleSheet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <QWindow>
#include <QtTest>

class TestMainWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void geometryAndFlags();
    void combosAfterStartUp_data();
    void combosAfterStartUp();
    void startUpLook();
    void batchLooks_data();
    void batchLooks();
    void unknownLookChangesNothing();
    void dragByTitleBar();
    void closeWhileIdle();
    void convertAtOnceIsKept();
    void whenDoneIsNotKept();
    void keepFileDateIsKept();

private:
    template <typename T> T *child(const char *name) const
    {
        T *widget = m_fixture.child<T>(name);
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    QList<QWidget *> panelControls() const;

    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
};

void TestMainWindow::init()
{
    QVERIFY(m_fixture.open());
    m_window = m_fixture.window();
}

void TestMainWindow::cleanup()
{
    m_fixture.close();
    m_window = nullptr;
}

QList<QWidget *> TestMainWindow::panelControls() const
{
    return {child<QCheckBox>("applyAll"),
            child<QComboBox>("cboxVContainer"),
            child<QPushButton>("btnQualitySettings"),
            child<QComboBox>("cboxVQuality"),
            child<QComboBox>("cboxAQuality"),
            child<QPushButton>("btnOutputDir")};
}

void TestMainWindow::geometryAndFlags()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("MainWindowClass"));
    QCOMPARE(m_window->size(), QSize(800, 510));
    QCOMPARE(m_window->minimumSize(), QSize(800, 510));
    QCOMPARE(m_window->maximumSize(), QSize(800, 510));
    QCOMPARE(m_window->windowFlags(), Qt::Window | Qt::FramelessWindowHint);
    QVERIFY(m_window->testAttribute(Qt::WA_AlwaysShowToolTips));
    QVERIFY(m_window->acceptDrops());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Quellix视频格式转换"));
    QVERIFY(!m_window->windowIcon().isNull());
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QCOMPARE(m_window->pos(), QPoint((desktop.width() - 800) / 2, (desktop.height() - 510) / 2));
}

void TestMainWindow::combosAfterStartUp_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("current");
    const QStringList levels{"低质量", "中质量", "高质量", "默认"};
    QTest::newRow("container") << "cboxVContainer"
                               << QStringList{".mp4 (默认 H.264-AAC)", ".flv (默认 H.264-AAC)",
                                              ".avi (默认 H.264-MP3)", ".wmv (默认 WMV2-WMAv2)",
                                              ".mkv (默认 H.264-AAC)", ".webm (默认 AV1-Opus)"}
                               << 0;
    QTest::newRow("video level") << "cboxVQuality" << levels << 1;
    QTest::newRow("audio level") << "cboxAQuality" << levels << 1;
}

void TestMainWindow::combosAfterStartUp()
{
    QFETCH(QString, combo);
    QFETCH(QStringList, entries);
    QFETCH(int, current);
    const auto *box = child<QComboBox>(combo.toLatin1().constData());
    QStringList actual;
    for (int i = 0; i < box->count(); ++i)
        actual << box->itemText(i);
    QCOMPARE(actual, entries);
    QCOMPARE(box->currentIndex(), current);
    QCOMPARE(box->focusPolicy(), Qt::NoFocus);
}

void TestMainWindow::startUpLook()
{
    QVERIFY(child<QCheckBox>("applyAll")->isChecked());
    QCOMPARE(child<QStackedWidget>("stackInput")->currentIndex(), 0);
    auto *start = child<QPushButton>("btnConvertStart");
    QCOMPARE(start->text(), QStringLiteral("开始转码"));
    QCOMPARE(start->styleSheet(), styleConvertDisabled);
    QVERIFY(start->isEnabled());
    for (QWidget *control : panelControls())
        QVERIFY(control->isEnabled());
    QVERIFY(!m_window->isConverting());
    const AVSettings expected = makeAVSettings(0, 1, 1);
    QVERIFY(m_window->currentWorkingSettings() == expected);
    const auto *edit = child<QLineEdit>("editOutputDir");
    QVERIFY(edit->isReadOnly());
    QVERIFY(!m_window->styleSheet().isEmpty());
    // Nothing on the way to the first picture needs OpenGL or libvlc.
    QCOMPARE(m_window->windowHandle()->surfaceType(), QSurface::RasterSurface);
    QVERIFY(!m_window->previewPlayer()->vlcInstance());
}

void TestMainWindow::batchLooks_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("converting");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sheet");
    QTest::newRow("NoFiles") << 0 << false << 0 << "开始转码" << styleConvertDisabled;
    QTest::newRow("Idle") << 1 << false << 1 << "开始转码" << styleConvertStart;
    QTest::newRow("Running") << 2 << true << 1 << "取消转码" << styleConvertStop;
}

void TestMainWindow::batchLooks()
{
    QFETCH(int, state);
    QFETCH(bool, converting);
    QFETCH(int, page);
    QFETCH(QString, text);
    QFETCH(QString, sheet);
    // From each other look, so that every column really changes.
    for (int from : {0, 1, 2}) {
        m_window->setBatchUiState(from);
        m_window->setBatchUiState(state);
        // The looks follow a batch; only the queue says whether one runs.
        QVERIFY(!m_window->isConverting());
        QCOMPARE(child<QStackedWidget>("stackInput")->currentIndex(), page);
        auto *start = child<QPushButton>("btnConvertStart");
        QCOMPARE(start->text(), text);
        QCOMPARE(start->styleSheet(), sheet);
        QVERIFY(start->isEnabled());
        for (QWidget *control : panelControls())
            QCOMPARE(control->isEnabled(), !converting);
        QVERIFY(child<QPushButton>("btnInputFile")->isEnabled());
        QVERIFY(child<QPushButton>("btnOutputDir2")->isEnabled());
    }
}

void TestMainWindow::unknownLookChangesNothing()
{
    m_window->setBatchUiState(2);
    m_window->setBatchUiState(3);
    m_window->setBatchUiState(-1);
    QCOMPARE(child<QPushButton>("btnConvertStart")->text(), QStringLiteral("取消转码"));
    QCOMPARE(child<QPushButton>("btnConvertStart")->styleSheet(), styleConvertStop);
}

void TestMainWindow::dragByTitleBar()
{
    auto *titleBar = child<QFrame>("frame_top");
    const QPoint grab(400, 20); // an empty part of the title bar
    const QPoint start = m_window->pos();
    QMouseEvent press(QEvent::MouseButtonPress, grab, titleBar->mapToGlobal(grab), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(titleBar, &press);

    const QPoint cursor = titleBar->mapToGlobal(grab) + QPoint(-37, 23);
    QCursor::setPos(cursor);
    QMouseEvent move(QEvent::MouseMove, titleBar->mapFromGlobal(cursor), cursor, Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(titleBar, &move);
    QTRY_COMPARE(m_window->pos(), QCursor::pos() - titleBar->mapTo(m_window, grab));
    QVERIFY(m_window->pos() != start);

    QMouseEvent release(QEvent::MouseButtonRelease, grab, cursor, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(titleBar, &release);
    const QPoint afterRelease = m_window->pos();
    QApplication::sendEvent(titleBar, &move);
    QCOMPARE(m_window->pos(), afterRelease);

    // A press that a button consumes starts no drag.
    auto *button = child<QPushButton>("btnInputFile");
    QMouseEvent buttonPress(QEvent::MouseButtonPress, QPoint(5, 5),
                            button->mapToGlobal(QPoint(5, 5)), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(button, &buttonPress);
    QApplication::sendEvent(titleBar, &move);
    QCOMPARE(m_window->pos(), afterRelease);
}

void TestMainWindow::closeWhileIdle()
{
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
}

// One file at a time until the user asks for more; the choice outlives the window and leaves the
// output folder as it was.
void TestMainWindow::convertAtOnceIsKept()
{
    auto *combo = child<QComboBox>("cboxConcurrent");
    QCOMPARE(combo->accessibleName(), QStringLiteral("同时转换"));
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    QStringList expected;
    for (int jobs = 1; jobs <= QThread::idealThreadCount(); ++jobs)
        expected << QStringLiteral("%1 个").arg(jobs);
    QCOMPARE(texts, expected << QStringLiteral("自动"));
    QCOMPARE(combo->currentText(), QStringLiteral("1 个"));

    const QString folder = m_window->outputDirectory();
    combo->setCurrentIndex(combo->count() - 1);
    emit combo->activated(combo->count() - 1);
    QFile config(m_fixture.workDir() + QStringLiteral("/conf_main.json"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(config.readAll()).object();
    QCOMPARE(saved.value(QStringLiteral("ConvertAtOnce")).toInt(-1), 0);
    QCOMPARE(saved.value(QStringLiteral("VideosDir")).toString(), folder);

    const MainWindow again(nullptr);
    QCOMPARE(again.findChild<QComboBox *>(QStringLiteral("cboxConcurrent"))->currentText(),
             QStringLiteral("自动"));
    QCOMPARE(again.outputDirectory(), folder);
}

// Without logind (this suite's system bus leads nowhere) the choice offers what needs none, and
// whatever was chosen, a new start begins with "无操作": it is never written down.
void TestMainWindow::whenDoneIsNotKept()
{
    auto *combo = child<QComboBox>("cboxWhenDone");
    QCOMPARE(combo->accessibleName(), QStringLiteral("完成后"));
    QVERIFY(combo->isEnabled());
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    QCOMPARE(texts, (QStringList{QStringLiteral("无操作"), QStringLiteral("退出程序")}));
    QCOMPARE(combo->currentText(), QStringLiteral("无操作"));

    combo->setCurrentIndex(1);
    emit combo->activated(1);
    QFile config(m_fixture.workDir() + QStringLiteral("/conf_main.json"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    const QStringList kept = QJsonDocument::fromJson(config.readAll()).object().keys();
    for (const QString &key : kept)
        QVERIFY2(key == QLatin1String("VideosDir") || key == QLatin1String("ConvertAtOnce") ||
                     key == QLatin1String("KeepFileDate"),
                 qPrintable(key));
    const MainWindow again(nullptr);
    QCOMPARE(again.findChild<QComboBox *>(QStringLiteral("cboxWhenDone"))->currentText(),
             QStringLiteral("无操作"));
}

// Off until the user checks it; the choice outlives the window and reaches the publisher.
void TestMainWindow::keepFileDateIsKept()
{
    auto *box = child<QCheckBox>("keepFileDate");
    QCOMPARE(box->accessibleName(), QStringLiteral("保留原文件日期"));
    QVERIFY(!box->isChecked());
    QVERIFY(!OutputPublisher::forThisUser().keepsSourceDates());
    box->click();
    QFile config(m_fixture.workDir() + QStringLiteral("/conf_main.json"));
    QVERIFY(config.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(config.readAll()).object().value("KeepFileDate"), true);
    QVERIFY(OutputPublisher::forThisUser().keepsSourceDates());

    const MainWindow again(nullptr);
    QVERIFY(again.findChild<QCheckBox *>(QStringLiteral("keepFileDate"))->isChecked());
    box->click();
    QVERIFY(!OutputPublisher::forThisUser().keepsSourceDates());
}

QUELLIX_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
