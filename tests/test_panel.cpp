#include "QuellixTestMain.h"

#include "WindowFixture.h"
#include "convert/ConversionJob.h"
#include "gui/CDlgAVSettings.h"
#include "gui/MainWindow.h"
#include "params/ParamTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

class TestPanel final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void applyAllContainerChoice();
    void levelChoiceToAllKeepsCodecs();
    void noTargetChangesOnlyWorkingSettings();
    void selectingEntryReappliesItsOwnRules();
    void newFilesFollowThePanel_data();
    void newFilesFollowThePanel();
    void settingsDialog_data();
    void settingsDialog();
    void settingsDialogCancelChangesNothing();

private:
    void addFiles(int count);
    QListWidget *list() const { return m_fixture.list(); }
    QComboBox *combo(const char *name) const { return m_fixture.child<QComboBox>(name); }
    QCheckBox *applyAll() const { return m_fixture.child<QCheckBox>("applyAll"); }
    ConversionJob *job(int row) const { return m_fixture.job(row); }
    // Runs the settings dialog from the panel's button; `edit` changes it before OK or cancel.
    void runSettingsDialog(const std::function<void(CDlgAVSettings *)> &edit, bool ok);

    QTemporaryDir m_dir;
    WindowFixture m_fixture;
    MainWindow *m_window = nullptr;
    int m_filesMade = 0;
};

void TestPanel::init()
{
    QVERIFY(m_fixture.open());
    m_window = m_fixture.window();
}

void TestPanel::cleanup()
{
    m_fixture.close();
    m_window = nullptr;
}

void TestPanel::addFiles(int count)
{
    for (int i = 0; i < count; ++i) {
        const QString path = m_dir.filePath(QStringLiteral("f%1.mp4").arg(m_filesMade++));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(m_window->addInputFile(path.toStdString()), 0);
    }
}

void TestPanel::applyAllContainerChoice()
{
    addFiles(3);
    AVSettings custom = makeAVSettings(0, 2, 0);
    custom.r = 1;
    job(1)->setSettings(custom);
    combo("cboxVContainer")->setCurrentIndex(2); // ".avi (默认 H.264-MP3)"
    for (int row = 0; row < 3; ++row) {
        const AVSettings s = job(row)->settings();
        QCOMPARE(s.vc, 2);
        QCOMPARE(s.cv, 2);
        QCOMPARE(s.ca, 1);
        // The whole working record is copied, quality fields included.
        QVERIFY(s == m_window->currentWorkingSettings());
    }
}

void TestPanel::levelChoiceToAllKeepsCodecs()
{
    addFiles(2);
    combo("cboxVContainer")->setCurrentIndex(3);
    combo("cboxVQuality")->setCurrentIndex(3);
    combo("cboxAQuality")->setCurrentIndex(0);
    const AVSettings s = job(0)->settings();
    QCOMPARE(s.cv, 4);
    QCOMPARE(s.ca, 2);
    QCOMPARE(s.bv, -1);
    QCOMPARE(s.crf, -1);
    QCOMPARE(s.fps, -1);
    QCOMPARE(s.ba, 32);
    QCOMPARE(s.ar, 24000);
    QVERIFY(job(1)->settings() == s);
}

void TestPanel::noTargetChangesOnlyWorkingSettings()
{
    applyAll()->setChecked(false);
    addFiles(1);
    list()->setCurrentItem(nullptr);
    combo("cboxVContainer")->setCurrentIndex(1);
    QCOMPARE(m_window->currentWorkingSettings().vc, 1);
    QCOMPARE(job(0)->settings().vc, 0);

    // No current entry: the settings button opens nothing. Should it open one, it is closed; the
    // timer ends with this case, so that it never closes a later case's dialog.
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<CDlgAVSettings *>(w))
                d->close();
    });
    closer.start(500);
    bool dialogSeen = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            dialogSeen |= qobject_cast<CDlgAVSettings *>(w) != nullptr && w->isVisible();
    });
    probe.start(10);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnQualitySettings")),
                      Qt::LeftButton);
    QTest::qWait(100);
    QVERIFY(!dialogSeen);
}

void TestPanel::selectingEntryReappliesItsOwnRules()
{
    applyAll()->setChecked(false);
    addFiles(2);
    // A job whose stored codecs and levels differ from what the combos show.
    AVSettings odd = makeAVSettings(3, 2, 0);
    odd.cv = 0;
    odd.ca = 0;
    odd.crf = 40;
    job(1)->setSettings(odd);
    list()->setCurrentRow(1);
    const AVSettings s = job(1)->settings();
    QCOMPARE(combo("cboxVContainer")->currentIndex(), 3);
    QCOMPARE(combo("cboxVQuality")->currentIndex(), 2);
    QCOMPARE(combo("cboxAQuality")->currentIndex(), 0);
    // Container and levels re-applied to the job's own indices and written back to it.
    QCOMPARE(s.cv, 4);
    QCOMPARE(s.ca, 2);
    QCOMPARE(s.crf, 18);
    QCOMPARE(s.ba, 32);
    QVERIFY(job(0)->settings() == makeAVSettings(0, 1, 1));

    // Back to the first entry: the panel follows it without touching the second.
    list()->setCurrentRow(0);
    QCOMPARE(combo("cboxVContainer")->currentIndex(), 0);
    QVERIFY(job(1)->settings() == s);
}

void TestPanel::newFilesFollowThePanel_data()
{
    QTest::addColumn<bool>("toAll");
    QTest::addColumn<QString>("extension");
    QTest::newRow("applied to all: what the panel shows") << true << ".avi";
    QTest::newRow("one file at a time: the start-up settings") << false << ".mp4";
}

// A file added while "应用到所有" is checked gets the container and levels the panel shows.
void TestPanel::newFilesFollowThePanel()
{
    QFETCH(bool, toAll);
    applyAll()->setChecked(toAll);
    combo("cboxVContainer")->setCurrentIndex(2); // ".avi (默认 H.264-MP3)"
    combo("cboxVQuality")->setCurrentIndex(QualityHigh);
    addFiles(1);
    QTEST(QString::fromStdString(containerExts.at(job(0)->settings().vc)), "extension");
    QCOMPARE(job(0)->settings() == m_window->currentWorkingSettings(), toAll);
    QCOMPARE(job(0)->settings() == makeAVSettings(0, 1, 1), !toAll);
}

void TestPanel::runSettingsDialog(const std::function<void(CDlgAVSettings *)> &edit, bool ok)
{
    bool handled = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<CDlgAVSettings *>(w);
            if (!dialog || !dialog->isVisible() || handled)
                continue;
            handled = true;
            edit(dialog);
            QTest::mouseClick(dialog->findChild<QPushButton *>(ok ? QStringLiteral("btnOk")
                                                                  : QStringLiteral("btnCancel")),
                              Qt::LeftButton);
        }
    });
    timer.start(20);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("btnQualitySettings")),
                      Qt::LeftButton);
    QVERIFY(handled);
}

void TestPanel::settingsDialog_data()
{
    QTest::addColumn<bool>("toAll");
    QTest::newRow("apply to all") << true;
    QTest::newRow("current entry only") << false;
}

void TestPanel::settingsDialog()
{
    QFETCH(bool, toAll);
    applyAll()->setChecked(toAll);
    addFiles(3);
    list()->setCurrentRow(1);
    runSettingsDialog(
        [](CDlgAVSettings *dialog) {
            // Another container and a hand-picked frame size and CRF.
            dialog->findChild<QComboBox *>(QStringLiteral("cboxVC"))->setCurrentIndex(2);
            dialog->findChild<QComboBox *>(QStringLiteral("cboxR"))
                ->setCurrentText(QStringLiteral("720x480"));
            dialog->findChild<QComboBox *>(QStringLiteral("cboxCRF"))
                ->setCurrentText(QStringLiteral("40"));
        },
        true);
    QCOMPARE(combo("cboxVContainer")->currentIndex(), 2);
    const AVSettings s = job(1)->settings();
    // The container change in the panel re-applies the container's default codecs.
    QCOMPARE(s.vc, 2);
    QCOMPARE(s.cv, 2);
    QCOMPARE(s.ca, 1);
    QCOMPARE(s.r, 2);
    QCOMPARE(s.crf, 40);
    QVERIFY(m_window->currentWorkingSettings() == s);
    QCOMPARE(job(0)->settings() == s, toAll);
    QCOMPARE(job(2)->settings() == s, toAll);
}

void TestPanel::settingsDialogCancelChangesNothing()
{
    addFiles(2);
    const AVSettings before = job(0)->settings();
    const AVSettings working = m_window->currentWorkingSettings();
    runSettingsDialog(
        [](CDlgAVSettings *dialog) {
            dialog->findChild<QComboBox *>(QStringLiteral("cboxVC"))->setCurrentIndex(3);
        },
        false);
    QVERIFY(job(0)->settings() == before);
    QVERIFY(m_window->currentWorkingSettings() == working);
    QCOMPARE(combo("cboxVContainer")->currentIndex(), 0);
}

QUELLIX_TEST_MAIN(TestPanel)
#include "test_panel.moc"
