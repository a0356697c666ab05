// The controls a running batch locks look locked, and look as before once it ends.
#include "QuellixTestMain.h"

#include "gui/MainWindow.h"

#include <QCheckBox>
#include <QStyleOption>
#include <QTemporaryDir>

namespace
{

QImage shot(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Where a control's look shows its state: a check box's indicator, else the widget itself.
QPoint inLook(const QWidget *widget, const QPoint &point)
{
    const auto *box = qobject_cast<const QCheckBox *>(widget);
    if (!box)
        return point;
    QStyleOptionButton option;
    option.initFrom(box);
    return box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).topLeft() +
           point;
}

QString describe(const QColor &colour)
{
    return QStringLiteral("rgb(%1, %2, %3)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 &&
           qAbs(a.blue() - b.blue()) <= 3;
}

} // namespace

class TestBatchLook final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void lockedControls_data();
    void lockedControls();
    void lockedBoxText();

private:
    QTemporaryDir m_workDir;
    QString m_previousDir;
};

void TestBatchLook::initTestCase()
{
    // The window keeps its configuration file in the working directory.
    QVERIFY(m_workDir.isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_workDir.path());
}

void TestBatchLook::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

void TestBatchLook::lockedControls_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QColor>("locked");
    const QColor grey(236, 236, 237);
    // The point lies on the look's fill, clear of its mark or text.
    QTest::newRow("apply to all, checked")
        << "applyAll" << true << QPoint(3, 3) << QColor(180, 185, 191);
    QTest::newRow("apply to all, unchecked")
        << "applyAll" << false << QPoint(0, 7) << QColor(211, 214, 218);
    QTest::newRow("container") << "cboxVContainer" << true << QPoint(100, 2) << grey;
    QTest::newRow("settings") << "btnQualitySettings" << true << QPoint(3, 11) << grey;
    QTest::newRow("video quality") << "cboxVQuality" << true << QPoint(60, 2) << grey;
    QTest::newRow("audio quality") << "cboxAQuality" << true << QPoint(60, 2) << grey;
    QTest::newRow("output folder") << "btnOutputDir" << true << QPoint(3, 11) << grey;
}

void TestBatchLook::lockedControls()
{
    QFETCH(QString, objectName);
    QFETCH(bool, checked);
    QFETCH(QPoint, point);
    QFETCH(QColor, locked);
    MainWindow window(nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.findChild<QCheckBox *>(QStringLiteral("applyAll"))->setChecked(checked);
    auto *control = window.findChild<QWidget *>(objectName);
    QVERIFY(control);
    const QPoint sample = inLook(control, point);

    window.setBatchUiState(MainWindow::Idle);
    const QImage before = shot(control);
    QVERIFY2(!near(before.pixelColor(sample), locked), qPrintable(describe(locked)));

    window.setBatchUiState(MainWindow::Running);
    QVERIFY(!control->isEnabled());
    const QImage during = shot(control);
    QVERIFY(during != before);
    QVERIFY2(near(during.pixelColor(sample), locked),
             qPrintable(describe(during.pixelColor(sample)) + QStringLiteral(" != ") +
                        describe(locked)));

    window.setBatchUiState(MainWindow::Idle);
    QVERIFY(shot(control) == before);
}

// The box's text turns grey with it: its darkest stroke is black before a batch and the sheet's
// grey during one.
void TestBatchLook::lockedBoxText()
{
    MainWindow window(nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *box = window.findChild<QCheckBox *>(QStringLiteral("applyAll"));
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect text = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    const auto darkest = [&] {
        const QImage image = shot(box).copy(text);
        QColor found(Qt::white);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y).value() < found.value())
                    found = image.pixelColor(x, y);
            }
        }
        return found;
    };
    QVERIFY(near(darkest(), Qt::black));
    window.setBatchUiState(MainWindow::Running);
    const QColor locked = darkest();
    QVERIFY2(near(locked, QColor(160, 164, 170)), qPrintable(describe(locked)));
}

QUELLIX_TEST_MAIN(TestBatchLook)
#include "test_batchlook.moc"
