#include "gui/CDlgAVSettings.h"
#include "params/ParamTables.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include <functional>

namespace
{

// Field order of AVSettings: vc cv ca r bv crf fps ba ar vql aql.
QVector<int> fields(const AVSettings &s)
{
    return {s.vc, s.cv, s.ca, s.r, s.bv, s.crf, s.fps, s.ba, s.ar, s.vql, s.aql};
}

QComboBox *box(const QWidget *dlg, const QString &name)
{
    auto *found = dlg->findChild<QComboBox *>(name);
    if (!found)
        qFatal("no combo %s", qPrintable(name));
    return found;
}

QStringList entries(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// Picks an entry as a user does, through the popup: only this path emits activated, which the
// level combos listen to.
void pick(QComboBox *combo, const QString &text)
{
    const int row = combo->findText(text);
    QVERIFY2(row >= 0, qPrintable(combo->objectName() + QLatin1Char(' ') + text));
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_VERIFY(!view->window()->isVisible());
    QCOMPARE(combo->currentText(), text);
}

// Leaves the dialog by clicking the named button, or by Escape when the name is empty.
void leave(CDlgAVSettings &dlg, const QString &button)
{
    if (!button.isEmpty()) {
        QTest::mouseClick(dlg.findChild<QPushButton *>(button), Qt::LeftButton);
        return;
    }
    // A bare X server activates no window by itself; the user presses Escape with a combo
    // focused, which leaves the key to the dialog.
    QApplication::setActiveWindow(&dlg);
    QComboBox *focus = box(&dlg, QStringLiteral("cboxCRF"));
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key_Escape);
}

const QString mp4 = QStringLiteral(".mp4 (默认 H.264-AAC)");
const QString flv = QStringLiteral(".flv (默认 H.264-AAC)");
const QString avi = QStringLiteral(".avi (默认 H.264-MP3)");
const QString wmv = QStringLiteral(".wmv (默认 WMV2-WMAv2)");
const QString mkv = QStringLiteral(".mkv (默认 H.264-AAC)");
const QString webm = QStringLiteral(".webm (默认 AV1-Opus)");
const QString ok = QStringLiteral("btnOk");

} // namespace

class TestSettingsDialog final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void windowSetUp();
    void startUpShown_data();
    void startUpShown();
    void levelPicks_data();
    void levelPicks();
    void levelSelectedByProgramAppliesNothing();
    void singleValueEditsKeepLevels_data();
    void singleValueEditsKeepLevels();
    void containerSwitches_data();
    void containerSwitches();
    void codecScales_data();
    void codecScales();
    void waysOut_data();
    void waysOut();
    void containerOutOfRange();
    void dragByTitleBar();

private:
    using Action = std::function<void(CDlgAVSettings &)>;
    bool runDialog(const AVSettings &start, const QString &exitButton, const Action &act,
                   AVSettings *result);

    QWidget m_owner; // stands in for the main window
};

void TestSettingsDialog::initTestCase()
{
    initParamTables();
    m_owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_owner));
}

// Runs the dialog modally: `act` edits and inspects it inside the modal loop, then the dialog is
// left as `leave` says. Returns okClicked; a dialog that would not close fails the test.
bool TestSettingsDialog::runDialog(const AVSettings &start, const QString &exitButton,
                                   const Action &act, AVSettings *result)
{
    CDlgAVSettings dlg(&m_owner);
    dlg.setSettings(start);
    bool stuck = false;
    QTimer::singleShot(0, &dlg, [&] {
        act(dlg);
        leave(dlg, exitButton);
    });
    QTimer::singleShot(20000, &dlg, [&] {
        stuck = true;
        dlg.reject();
    });
    dlg.exec();
    if (stuck || dlg.isVisible())
        QTest::qFail("the dialog did not close", __FILE__, __LINE__);
    *result = dlg.settings;
    return dlg.okClicked;
}

void TestSettingsDialog::windowSetUp()
{
    CDlgAVSettings dlg(&m_owner);
    QVERIFY(dlg.isVisible());
    QCOMPARE(int(dlg.windowFlags()), 0x80B);
    QCOMPARE(dlg.windowModality(), Qt::WindowModal);
    // At least the form's size, and tall enough that no row is squeezed by the system font.
    QCOMPARE(dlg.width(), 396);
    QVERIFY(dlg.height() >= 450);
    QVERIFY(dlg.height() >= dlg.minimumSizeHint().height());
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    QCOMPARE(dlg.pos(),
             QPoint((desktop.width() - dlg.width()) / 2, (desktop.height() - dlg.height()) / 2));
    QVERIFY(dlg.styleSheet().contains(QLatin1String("QWidget#widget_top")));
    QVERIFY(!dlg.okClicked);
}

void TestSettingsDialog::startUpShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QStringList>("texts");
    const QStringList levels{"低质量", "中质量", "高质量", "默认"};
    QTest::newRow("container") << "cboxVC" << mp4 << QStringList{mp4, flv, avi, wmv, mkv, webm};
    QTest::newRow("video level") << "cboxVQL"
                                 << "中质量" << levels;
    QTest::newRow("video codec") << "cboxCV"
                                 << "AVC(H264)"
                                 << QStringList{"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)",
                                                "HEVC(H265)",  "AV1",         "Copy"};
    QTest::newRow("frame size") << "cboxR"
                                << "默认"
                                << QStringList{"1920x1080", "1280x720", "720x480", "480x320",
                                               "默认"};
    QTest::newRow("crf") << "cboxCRF"
                         << "24" << QStringList{"18", "24", "32", "40", "默认"};
    QTest::newRow("video bit rate")
        << "cboxBV"
        << "512"
        << QStringList{"256", "384", "512", "768", "1024", "1200", "1600", "2048", "2400", "默认"};
    QTest::newRow("frame rate") << "cboxFPS"
                                << "18" << QStringList{"12", "15", "18", "24", "30", "默认"};
    QTest::newRow("audio level") << "cboxAQL"
                                 << "中质量" << levels;
    QTest::newRow("audio codec") << "cboxCA"
                                 << "AAC" << QStringList{"AAC", "Opus", "Copy"};
    QTest::newRow("audio bit rate")
        << "cboxBA"
        << "128" << QStringList{"24", "32", "64", "96", "128", "192", "224", "256", "默认"};
    QTest::newRow("sample rate") << "cboxAR"
                                 << "44100"
                                 << QStringList{"22050", "24000", "44100", "48000", "默认"};
}

void TestSettingsDialog::startUpShown()
{
    QFETCH(QString, name);
    QFETCH(QString, current);
    QFETCH(QStringList, texts);
    const AVSettings start = makeAVSettings(0, 1, 1);
    CDlgAVSettings dlg(&m_owner);
    dlg.setSettings(start);
    const QComboBox *shown = box(&dlg, name);
    QCOMPARE(shown->currentText(), current);
    QCOMPARE(entries(shown), texts);
    QVERIFY(!shown->isEditable());
    // Filling the combos must not feed back into the settings being edited.
    QCOMPARE(fields(dlg.settings), fields(start));
}

void TestSettingsDialog::levelPicks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QStringList>("shown"); // cboxCRF, cboxBV, cboxFPS, cboxBA, cboxAR
    QTest::addColumn<QVector<int>>("expected");
    // From medium levels with HEVC, 1280x720 and a hand-picked CRF of 40.
    QTest::newRow("video low") << "cboxVQL"
                               << "低质量" << QStringList{"32", "256", "12", "128", "44100"}
                               << QVector<int>{0, 3, 0, 1, 256, 32, 12, 128, 44100, 0, 1};
    QTest::newRow("video default") << "cboxVQL"
                                   << "默认" << QStringList{"默认", "默认", "默认", "128", "44100"}
                                   << QVector<int>{0, 3, 0, 1, -1, -1, -1, 128, 44100, 3, 1};
    // Picking the entry already shown still re-applies its preset.
    QTest::newRow("video level picked again")
        << "cboxVQL"
        << "中质量" << QStringList{"24", "512", "18", "128", "44100"}
        << QVector<int>{0, 3, 0, 1, 512, 24, 18, 128, 44100, 1, 1};
    QTest::newRow("audio default") << "cboxAQL"
                                   << "默认" << QStringList{"40", "512", "18", "默认", "默认"}
                                   << QVector<int>{0, 3, 0, 1, 512, 40, 18, -1, -1, 1, 3};
}

void TestSettingsDialog::levelPicks()
{
    QFETCH(QString, name);
    QFETCH(QString, level);
    QFETCH(QStringList, shown);
    QFETCH(QVector<int>, expected);
    AVSettings start = makeAVSettings(0, 1, 1);
    start.cv = 3;
    start.r = 1;
    start.crf = 40;
    AVSettings result;
    const bool accepted = runDialog(
        start, ok,
        [&](CDlgAVSettings &dlg) {
            pick(box(&dlg, name), level);
            QStringList texts;
            for (const char *other : {"cboxCRF", "cboxBV", "cboxFPS", "cboxBA", "cboxAR"})
                texts << box(&dlg, QLatin1String(other))->currentText();
            QCOMPARE(texts, shown);
            QCOMPARE(box(&dlg, QStringLiteral("cboxCV"))->currentText(),
                     QStringLiteral("HEVC(H265)"));
            QCOMPARE(box(&dlg, QStringLiteral("cboxR"))->currentText(), QStringLiteral("1280x720"));
        },
        &result);
    QVERIFY(accepted);
    QCOMPARE(fields(result), expected);
}

void TestSettingsDialog::levelSelectedByProgramAppliesNothing()
{
    const AVSettings start = makeAVSettings(0, 1, 1);
    CDlgAVSettings dlg(&m_owner);
    dlg.setSettings(start);
    box(&dlg, QStringLiteral("cboxVQL"))->setCurrentIndex(0);
    box(&dlg, QStringLiteral("cboxAQL"))->setCurrentIndex(2);
    QCOMPARE(fields(dlg.settings), fields(start));
}

void TestSettingsDialog::singleValueEditsKeepLevels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("field"); // index into fields()
    QTest::addColumn<int>("value");
    QTest::newRow("crf") << "cboxCRF"
                         << "40" << 5 << 40;
    QTest::newRow("crf default") << "cboxCRF"
                                 << "默认" << 5 << -1;
    QTest::newRow("video bit rate") << "cboxBV"
                                    << "768" << 4 << 768;
    QTest::newRow("frame rate") << "cboxFPS"
                                << "24" << 6 << 24;
    QTest::newRow("frame size") << "cboxR"
                                << "720x480" << 3 << 2;
    QTest::newRow("frame size default") << "cboxR"
                                        << "默认" << 3 << -1;
    QTest::newRow("video codec") << "cboxCV"
                                 << "HEVC(H265)" << 1 << 3;
    QTest::newRow("audio codec") << "cboxCA"
                                 << "Copy" << 2 << 3;
    QTest::newRow("audio bit rate") << "cboxBA"
                                    << "64" << 7 << 64;
    QTest::newRow("sample rate") << "cboxAR"
                                 << "22050" << 8 << 22050;
}

void TestSettingsDialog::singleValueEditsKeepLevels()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(int, field);
    QFETCH(int, value);
    AVSettings start = makeAVSettings(0, 2, 2);
    start.r = 1;
    QVector<int> expected = fields(start);
    expected[field] = value;
    AVSettings result;
    const bool accepted = runDialog(
        start, ok,
        [&](CDlgAVSettings &dlg) {
            pick(box(&dlg, name), text);
            QCOMPARE(box(&dlg, QStringLiteral("cboxVQL"))->currentText(), QStringLiteral("高质量"));
            QCOMPARE(box(&dlg, QStringLiteral("cboxAQL"))->currentText(), QStringLiteral("高质量"));
        },
        &result);
    QVERIFY(accepted);
    QCOMPARE(fields(result), expected);
}

void TestSettingsDialog::containerSwitches_data()
{
    QTest::addColumn<QStringList>("containers");
    QTest::addColumn<QStringList>("videoCodecs");
    QTest::addColumn<QStringList>("audioCodecs");
    QTest::addColumn<QVector<int>>("vcCvCa");
    QTest::addColumn<QString>("crf"); // picked after the switch
    QTest::addColumn<int>("ba");      // the level's audio bit rate in the new codec
    // After a switch the first entry of each new list is current, not the container's default.
    QTest::newRow("mp4 to wmv") << QStringList{wmv} << QStringList{"WMV2"} << QStringList{"WMAv2"}
                                << QVector<int>{3, 4, 2} << "32" << 128;
    QTest::newRow("mp4 to wmv to avi")
        << QStringList{wmv, avi}
        << QStringList{"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)", "HEVC(H265)",
                       "WMV2",        "FLV1",        "Copy"}
        << QStringList{"MP3", "WMAv2", "Copy"} << QVector<int>{2, 0, 1} << "32" << 128;
    QTest::newRow("mp4 to flv") << QStringList{flv}
                                << QStringList{"MPEG4(DivX)", "AVC(H264)", "FLV1"}
                                << QStringList{"AAC", "MP3"} << QVector<int>{1, 0, 0} << "32"
                                << 128;
    QTest::newRow("mp4 to wmv to mp4")
        << QStringList{wmv, mp4}
        << QStringList{"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)", "HEVC(H265)", "AV1", "Copy"}
        << QStringList{"AAC", "Opus", "Copy"} << QVector<int>{0, 0, 0} << "32" << 128;
    QTest::newRow("mp4 to mkv") << QStringList{mkv}
                                << QStringList{"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)",
                                               "HEVC(H265)",  "WMV2",        "FLV1",
                                               "Copy",        "AV1",         "VP9"}
                                << QStringList{"AAC", "MP3", "WMAv2", "Copy", "Opus"}
                                << QVector<int>{4, 0, 0} << "32" << 128;
    QTest::newRow("mp4 to webm") << QStringList{webm} << QStringList{"AV1", "VP9", "Copy"}
                                 << QStringList{"Opus", "Copy"} << QVector<int>{5, 7, 4} << "50"
                                 << 96;
    QTest::newRow("mp4 to webm to flv")
        << QStringList{webm, flv} << QStringList{"MPEG4(DivX)", "AVC(H264)", "FLV1"}
        << QStringList{"AAC", "MP3"} << QVector<int>{1, 0, 0} << "32" << 128;
}

void TestSettingsDialog::containerSwitches()
{
    QFETCH(QStringList, containers);
    QFETCH(QStringList, videoCodecs);
    QFETCH(QStringList, audioCodecs);
    QFETCH(QVector<int>, vcCvCa);
    QFETCH(QString, crf);
    QFETCH(int, ba);
    AVSettings start = makeAVSettings(0, 1, 1);
    start.r = 1;
    start.crf = 40;
    // The container touches only vc, cv and ca, and a level's bit rate where the codec counts
    // it otherwise; the CRF is picked after the switch.
    QVector<int> expected = vcCvCa + fields(start).mid(3);
    expected[5] = crf.toInt();
    expected[7] = ba;
    AVSettings result;
    const bool accepted = runDialog(
        start, ok,
        [&](CDlgAVSettings &dlg) {
            for (const QString &container : containers)
                pick(box(&dlg, QStringLiteral("cboxVC")), container);
            const QComboBox *cvBox = box(&dlg, QStringLiteral("cboxCV"));
            const QComboBox *caBox = box(&dlg, QStringLiteral("cboxCA"));
            QCOMPARE(entries(cvBox), videoCodecs);
            QCOMPARE(entries(caBox), audioCodecs);
            QCOMPARE(cvBox->currentText(), videoCodecs.first());
            QCOMPARE(caBox->currentText(), audioCodecs.first());
            // No codec switches a combo off: CRF still takes a value, even for WMV2.
            for (const QComboBox *combo : dlg.findChildren<QComboBox *>())
                QVERIFY2(combo->isEnabled(), qPrintable(combo->objectName()));
            pick(box(&dlg, QStringLiteral("cboxCRF")), crf);
        },
        &result);
    QVERIFY(accepted);
    QCOMPARE(fields(result), expected);
}

void TestSettingsDialog::codecScales_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<QString>("name");  // the codec combo
    QTest::addColumn<QString>("codec"); // picked
    QTest::addColumn<QString>("other"); // the combo of the value that follows the codec
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("field"); // index into fields()
    QTest::addColumn<int>("value");
    QTest::newRow("VP9 counts its own factors")
        << 4 << "cboxCV"
        << "VP9"
        << "cboxCRF"
        << "32" << QStringList{"18", "32", "46", "55", "默认"} << 5 << 32;
    QTest::newRow("AV1 in MP4") << 0 << "cboxCV"
                                << "AV1"
                                << "cboxCRF"
                                << "39" << QStringList{"20", "39", "50", "58", "默认"} << 5 << 39;
    QTest::newRow("back to H.264 from AV1 in MKV")
        << 4 << "cboxCV"
        << "AVC(H264)"
        << "cboxCRF"
        << "24" << QStringList{"18", "24", "32", "40", "默认"} << 5 << 24;
    QTest::newRow("Opus's rate is for two channels")
        << 4 << "cboxCA"
        << "Opus"
        << "cboxBA"
        << "96" << QStringList{"24", "32", "48", "64", "96", "128", "160", "192", "256", "默认"}
        << 7 << 96;
}

// A level's factor and bit rate follow the codec's scale, and the combo lists that scale.
void TestSettingsDialog::codecScales()
{
    QFETCH(int, vc);
    QFETCH(QString, name);
    QFETCH(QString, codec);
    QFETCH(QString, other);
    QFETCH(QString, shown);
    QFETCH(QStringList, texts);
    QFETCH(int, field);
    QFETCH(int, value);
    AVSettings start = makeAVSettings(vc, 1, 1);
    if (codec == "AVC(H264)")
        setVideoCodec(start, VideoAv1);
    QVector<int> expected = fields(start);
    expected[name == "cboxCV" ? 1 : 2] =
        int(*findKey(name == "cboxCV" ? videoCodecTexts : audioCodecTexts, codec.toStdString()));
    expected[field] = value;
    AVSettings result;
    const bool accepted = runDialog(
        start, ok,
        [&](CDlgAVSettings &dlg) {
            pick(box(&dlg, name), codec);
            QCOMPARE(box(&dlg, other)->currentText(), shown);
            QCOMPARE(entries(box(&dlg, other)), texts);
        },
        &result);
    QVERIFY(accepted);
    QCOMPARE(fields(result), expected);
}

void TestSettingsDialog::waysOut_data()
{
    QTest::addColumn<QString>("exitButton");
    QTest::addColumn<bool>("okClicked");
    QTest::newRow("ok") << ok << true;
    QTest::newRow("cancel") << "btnCancel" << false;
    QTest::newRow("title-bar close") << "btnTopClose" << false;
    QTest::newRow("escape") << QString() << false;
}

void TestSettingsDialog::waysOut()
{
    QFETCH(QString, exitButton);
    QFETCH(bool, okClicked);
    AVSettings result;
    const bool accepted = runDialog(
        makeAVSettings(0, 1, 1), exitButton,
        [](CDlgAVSettings &dlg) {
            pick(box(&dlg, QStringLiteral("cboxVC")), wmv);
            pick(box(&dlg, QStringLiteral("cboxVQL")), QStringLiteral("低质量"));
            pick(box(&dlg, QStringLiteral("cboxCRF")), QStringLiteral("40"));
        },
        &result);
    QCOMPARE(accepted, okClicked);
    // The edits sit in the dialog's copy however it was left; okClicked alone tells the caller
    // whether to take them.
    QCOMPARE(fields(result), (QVector<int>{3, 4, 2, -1, 256, 40, 12, 128, 44100, 0, 1}));
}

void TestSettingsDialog::containerOutOfRange()
{
    AVSettings start = makeAVSettings(0, 1, 1);
    start.vc = 7;
    AVSettings result;
    runDialog(
        start, ok,
        [](CDlgAVSettings &dlg) {
            QCOMPARE(box(&dlg, QStringLiteral("cboxVC"))->currentIndex(), -1);
            QCOMPARE(box(&dlg, QStringLiteral("cboxCV"))->count(), 0);
            QCOMPARE(box(&dlg, QStringLiteral("cboxCA"))->count(), 0);
            pick(box(&dlg, QStringLiteral("cboxCRF")), QStringLiteral("40"));
        },
        &result);
    QCOMPARE(fields(result), (QVector<int>{7, 2, 0, -1, 512, 40, 18, 128, 44100, 1, 1}));
}

void TestSettingsDialog::dragByTitleBar()
{
    CDlgAVSettings dlg(&m_owner);
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto *titleBar = dlg.findChild<QWidget *>(QStringLiteral("widget_top"));
    const QPoint grab(150, 12); // between the title and the close button
    // Any button drags.
    QMouseEvent press(QEvent::MouseButtonPress, grab, titleBar->mapToGlobal(grab), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(titleBar, &press);
    const QPoint cursor(500, 300);
    QCursor::setPos(cursor);
    QMouseEvent move(QEvent::MouseMove, titleBar->mapFromGlobal(cursor), cursor, Qt::NoButton,
                     Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(titleBar, &move);
    QTRY_COMPARE(dlg.pos(), QCursor::pos() - titleBar->mapTo(&dlg, grab));

    // Released, the cursor no longer carries the window.
    QMouseEvent release(QEvent::MouseButtonRelease, grab, cursor, Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(titleBar, &release);
    const QPoint afterRelease = dlg.pos();
    QCursor::setPos(cursor + QPoint(40, 40));
    QApplication::sendEvent(titleBar, &move);
    QCOMPARE(dlg.pos(), afterRelease);
}

QTEST_MAIN(TestSettingsDialog)
#include "test_settingsdialog.moc"
