#include "ui/StyleSheet.h"
#include "ui/WindowDrag.h"

#include <QMouseEvent>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestStyleSheet final : public QObject
{
    Q_OBJECT

private slots:
    void loading_data();
    void loading();
    void missingResourceKeepsSheet();
    void compiledSheetsExist_data();
    void compiledSheetsExist();
    void runtimeSheetPicturesExist_data();
    void runtimeSheetPicturesExist();
    void dragArithmetic_data();
    void dragArithmetic();

private:
    QTemporaryDir m_dir;
};

void TestStyleSheet::loading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("sheet");
    QTest::newRow("plain") << QByteArray("QLabel{color:red;}") << "QLabel{color:red;}";
    QTest::newRow("cut at NUL") << QByteArray("QLabel{color:red;}\0QLabel{color:blue;}", 38)
                                << "QLabel{color:red;}";
    QTest::newRow("empty") << QByteArray() << QString();
    // UTF-8 bytes are read one character per byte.
    QTest::newRow("latin1 reading") << QByteArray("QLabel{font-family:\"\xe5\xbe\xae\";}")
                                    << QString::fromLatin1("QLabel{font-family:\"\xe5\xbe\xae\";}");
}

void TestStyleSheet::loading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, sheet);
    const QString path = m_dir.filePath(QStringLiteral("sheet.css"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    QWidget widget;
    widget.setStyleSheet(QStringLiteral("QWidget{color:green;}"));
    loadStyleSheet(&widget, path);
    QCOMPARE(widget.styleSheet(), sheet);
}

void TestStyleSheet::missingResourceKeepsSheet()
{
    QWidget widget;
    widget.setStyleSheet(QStringLiteral("QWidget{color:green;}"));
    loadStyleSheet(&widget, QStringLiteral(":/qss/css/NoSuchSheet.css"));
    QCOMPARE(widget.styleSheet(), QStringLiteral("QWidget{color:green;}"));
}

void TestStyleSheet::compiledSheetsExist_data()
{
    QTest::addColumn<QString>("path");
    for (const char *name : {"MainWindow.css", "DlgAVSettings.css", "DlgMessage.css",
                             "DlgCountdown.css", "InputItem.css", "vlcplayer.css"})
        QTest::newRow(name) << QStringLiteral(":/qss/css/") + QLatin1String(name);
}

void TestStyleSheet::compiledSheetsExist()
{
    QFETCH(QString, path);
    QWidget widget;
    loadStyleSheet(&widget, path);
    QVERIFY(!widget.styleSheet().isEmpty());
}

void TestStyleSheet::runtimeSheetPicturesExist_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("button");
    QTest::newRow("start") << styleConvertStart << "btnConvertStart";
    QTest::newRow("stop") << styleConvertStop << "btnConvertStart";
    QTest::newRow("disabled") << styleConvertDisabled << "btnConvertStart";
    QTest::newRow("pause") << stylePause << "btnPause";
    QTest::newRow("resume") << styleResume << "btnPause";
}

void TestStyleSheet::runtimeSheetPicturesExist()
{
    QFETCH(QString, sheet);
    QFETCH(QString, button);
    // Three rules (normal, hover, pressed), each on the named button and a compiled-in picture.
    QCOMPARE(sheet.count(QStringLiteral("QPushButton#") + button), 3);
    const QRegularExpression url(QStringLiteral("url\\((:[^)]+)\\)"));
    auto it = url.globalMatch(sheet);
    int pictures = 0;
    while (it.hasNext()) {
        const QString path = it.next().captured(1);
        QVERIFY2(QFile::exists(path), qPrintable(path));
        ++pictures;
    }
    QCOMPARE(pictures, 3);
}

void TestStyleSheet::dragArithmetic_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("cursor");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("grab point kept") << QPoint(10, 12) << QPoint(500, 300) << QPoint(490, 288);
    QTest::newRow("origin") << QPoint(0, 0) << QPoint(40, 50) << QPoint(40, 50);
    QTest::newRow("left of screen") << QPoint(300, 20) << QPoint(100, 10) << QPoint(-200, -10);
}

void TestStyleSheet::dragArithmetic()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, cursor);
    QFETCH(QPoint, topLeft);
    QWidget window;
    const WindowDrag *drag = WindowDrag::install(&window);
    // Where on the screen the press was does not matter here.
    QMouseEvent event(QEvent::MouseButtonPress, press, press, Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
    QVERIFY(drag->dragging());
    QCOMPARE(drag->targetFor(cursor), topLeft);
    QMouseEvent release(QEvent::MouseButtonRelease, press, press, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&window, &release);
    QVERIFY(!drag->dragging());
}

QTEST_MAIN(TestStyleSheet)
#include "test_stylesheet.moc"
