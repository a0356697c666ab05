// How the program fits a Linux desktop: the windowing platform it picks, and Qt's own dialogs and
// buttons in Chinese.
#include "QuellixTestMain.h"

#include "app/QpaPlatform.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>

class TestDesktop final : public QObject
{
    Q_OBJECT

private slots:
    void platformChoice_data();
    void platformChoice();
    void startsOnPlatform_data();
    void startsOnPlatform();
    void qtTextsInChinese_data();
    void qtTextsInChinese();
};

void TestDesktop::platformChoice_data()
{
    QTest::addColumn<QByteArray>("chosen");
    QTest::addColumn<QByteArray>("sessionType");
    QTest::addColumn<QByteArray>("waylandDisplay");
    QTest::addColumn<QByteArray>("platform");
    QTest::newRow("X11 session") << QByteArray() << QByteArray("x11") << QByteArray()
                                 << QByteArray();
    QTest::newRow("no session type")
        << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("text console") << QByteArray() << QByteArray("tty") << QByteArray()
                                  << QByteArray();
    QTest::newRow("Wayland session")
        << QByteArray() << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray("xcb");
    QTest::newRow("Wayland by session type only")
        << QByteArray() << QByteArray("wayland") << QByteArray() << QByteArray("xcb");
    QTest::newRow("Wayland by display only")
        << QByteArray() << QByteArray() << QByteArray("wayland-1") << QByteArray("xcb");
    QTest::newRow("session type in capitals")
        << QByteArray() << QByteArray("Wayland") << QByteArray() << QByteArray("xcb");
    QTest::newRow("user chose Wayland") << QByteArray("wayland") << QByteArray("wayland")
                                        << QByteArray("wayland-0") << QByteArray();
    QTest::newRow("user chose X11 in Wayland")
        << QByteArray("xcb") << QByteArray("wayland") << QByteArray("wayland-0") << QByteArray();
    QTest::newRow("user chose offscreen")
        << QByteArray("offscreen") << QByteArray("x11") << QByteArray() << QByteArray();
}

void TestDesktop::platformChoice()
{
    QFETCH(QByteArray, chosen);
    QFETCH(QByteArray, sessionType);
    QFETCH(QByteArray, waylandDisplay);
    QFETCH(QByteArray, platform);
    QCOMPARE(qpaPlatformFor(chosen, sessionType, waylandDisplay), platform);
}

void TestDesktop::startsOnPlatform_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("output");
    QTest::newRow("X11 session") << QStringList{"XDG_SESSION_TYPE=x11"} << "xcb unset\n";
    // No Wayland server exists here: the program must not even try one.
    QTest::newRow("Wayland session")
        << QStringList{"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=quellix-test-none"}
        << "xcb unset\n";
    // The user's own choice stays in the environment, for the programs this one starts too.
    QTest::newRow("user's choice kept")
        << QStringList{"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=quellix-test-none",
                       "QT_QPA_PLATFORM=xcb"}
        << "xcb set\n";
}

// The program's start-up applies the choice: a child started as the program is, under this X
// server, reports the platform it got.
void TestDesktop::startsOnPlatform()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, output);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "XDG_SESSION_TYPE", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    for (const QString &setting : environment)
        env.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(PLATFORM_PROBE), QStringList());
    QVERIFY(probe.waitForFinished(60000));
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLocal8Bit(probe.readAllStandardOutput()), output);
}

void TestDesktop::qtTextsInChinese_data()
{
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("file dialog, open")
        << int(QFileDialog::ExistingFiles) << int(QDialogButtonBox::Open) << "打开(&O)";
    QTest::newRow("file dialog, cancel")
        << int(QFileDialog::ExistingFiles) << int(QDialogButtonBox::Cancel) << "取消";
    QTest::newRow("folder dialog, choose")
        << int(QFileDialog::Directory) << int(QDialogButtonBox::Open) << "选择(&C)";
}

// Qt's own file and folder dialog, as the program opens it here, speaks Chinese.
void TestDesktop::qtTextsInChinese()
{
    QFETCH(int, fileMode);
    QFETCH(int, button);
    QFETCH(QString, text);
    QFileDialog dialog(nullptr, QStringLiteral("选择视频文件"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::FileMode(fileMode));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QPushButton *shown = buttons->button(QDialogButtonBox::StandardButton(button));
    QVERIFY(shown);
    QCOMPARE(shown->text(), text);
}

QUELLIX_TEST_MAIN(TestDesktop)
#include "test_desktop.moc"
