// The program on screens of any scale. Every window and row laid out as it appears: no text larger
// than the room its widget gives it, no widget over its neighbour; and the pictures drawn from the
// file made for the screen's scale. CMake runs this suite plain, at QT_SCALE_FACTOR=2, at
// QT_FONT_DPI=192 and at QT_FONT_DPI=144 (150 %: a scale of 1.5 on Qt 6, rounded to 2 on Qt 5).
#include "QuellixTestMain.h"

#include "batch/SavedList.h"
#include "gui/CDlgAVSettings.h"
#include "gui/InputItem.h"
#include "gui/MainWindow.h"
#include "player/vlcplayer.h"
#include "ui/CDlgCountdown.h"
#include "ui/CDlgMessage.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QTemporaryDir>

#include <memory>

namespace
{

// Mnemonic marks are not drawn.
QString shownText(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

QString describe(const QWidget *widget)
{
    return QStringLiteral("%1#%2").arg(QLatin1String(widget->metaObject()->className()),
                                       widget->objectName());
}

QString describe(const QRectF &rect)
{
    return QStringLiteral("%1,%2 %3x%4")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

// The room a widget's style gives its text; an empty rectangle for widgets without text.
QRect textRoom(const QWidget *widget, QString &text)
{
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        text = label->text();
        const int margin = label->margin();
        return label->contentsRect().adjusted(margin, margin, -margin, -margin);
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        text = shownText(button->text());
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<const QCheckBox *>(widget) != nullptr;
        return button->style()->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
    }
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        text = combo->currentText();
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.currentText = text;
        option.subControls = QStyle::SC_All;
        return combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                              QStyle::SC_ComboBoxEditField, combo);
    }
    return QRect();
}

// A combo shows any of its entries in the same room: all of them must fit.
QStringList allTexts(const QWidget *widget, const QString &shown)
{
    QStringList texts{shown};
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
    }
    return texts;
}

// Where a text drawn centred in `room` puts ink, from its line's ascent and its glyphs' own
// bounds: a line taller than its widget is fine as long as the glyphs stay inside.
QRectF inkRect(const QFontMetricsF &metrics, const QRectF &room, const QString &text)
{
    const qreal baseline = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
    const QRectF ink = metrics.tightBoundingRect(text);
    return QRectF(room.left(), baseline + ink.top(), metrics.horizontalAdvance(text), ink.height());
}

void checkText(const QWidget *widget, QStringList &faults)
{
    QString shown;
    const QRect room = textRoom(widget, shown);
    if (shown.trimmed().isEmpty() || !room.isValid())
        return;
    const QFontMetricsF metrics(widget->font(), const_cast<QWidget *>(widget));
    const auto *label = qobject_cast<const QLabel *>(widget);
    const bool wraps = (label && label->wordWrap());
    // QRect's right and bottom are the last pixel inside; the drawn area ends one further.
    const QRectF area(room.x(), room.y(), room.width(), room.height());
    for (const QString &text : allTexts(widget, shown)) {
        const QRectF needed = wraps ? metrics.boundingRect(area, Qt::TextWordWrap, text)
                                    : inkRect(metrics, area, text);
        if (needed.width() > area.width() || needed.top() < area.top() ||
            needed.bottom() > area.bottom())
            faults << QStringLiteral("%1: \"%2\" needs %3, has %4")
                          .arg(describe(widget), text, describe(needed), describe(room));
    }
}

// A scroll area's content moves under its viewport: it may lie outside and be cut.
bool scrolls(const QWidget *widget)
{
    const auto *area = qobject_cast<const QAbstractScrollArea *>(widget->parentWidget());
    return area && area->viewport() == widget;
}

void checkChildren(const QWidget *parent, QStringList &faults)
{
    QList<const QWidget *> shown;
    for (const QObject *object : parent->children()) {
        const auto *child = qobject_cast<const QWidget *>(object);
        if (child && !child->isWindow() && child->isVisible())
            shown << child;
    }
    for (int i = 0; i < shown.size(); ++i) {
        const QRect rect = shown.at(i)->geometry();
        if (!scrolls(parent) && !parent->rect().contains(rect))
            faults << QStringLiteral("%1 at %2 leaves %3 (%4)")
                          .arg(describe(shown.at(i)), describe(rect), describe(parent),
                               describe(parent->rect()));
        for (int j = i + 1; j < shown.size(); ++j) {
            if (rect.intersects(shown.at(j)->geometry()))
                faults << QStringLiteral("%1 at %2 overlaps %3 at %4")
                              .arg(describe(shown.at(i)), describe(rect), describe(shown.at(j)),
                                   describe(shown.at(j)->geometry()));
        }
    }
}

// Everything of a window that does not fit, one line each.
QStringList layoutFaults(const QWidget *window)
{
    QStringList faults;
    QList<const QWidget *> widgets{window};
    for (const QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->isVisible() && widget->window() == window)
            widgets << widget;
    }
    for (const QWidget *widget : widgets) {
        checkText(widget, faults);
        checkChildren(widget, faults);
    }
    return faults;
}

// Whether `picture` is transparent all around `point`, so that drawing it smaller leaves the
// point's pixel on the background alone.
bool clearAround(const QImage &picture, const QPoint &point, int reach)
{
    for (int dy = -reach; dy <= reach; ++dy) {
        for (int dx = -reach; dx <= reach; ++dx) {
            const QPoint near = point + QPoint(dx, dy);
            if (picture.valid(near) && qAlpha(picture.pixel(near)) != 0)
                return false;
        }
    }
    return true;
}

// `picture` over the flat colour that `grabbed` shows where the picture is transparent: what a
// widget drawing the picture on its background looks like. Pixel for pixel, or smoothly into
// `drawnSize` at a fractional scale.
QImage onBackground(const QImage &picture, const QImage &grabbed, const QSizeF &drawnSize = {})
{
    const bool smooth = !drawnSize.isEmpty();
    const qreal shrink = smooth ? drawnSize.width() / picture.width() : 1;
    QColor background(Qt::transparent);
    for (int i = 0; i < picture.width() * picture.height() && background.alpha() == 0; ++i) {
        const QPoint point(i % picture.width(), i / picture.width());
        if (clearAround(picture, point, smooth ? 2 : 0))
            background = grabbed.pixelColor((QPointF(point) * shrink).toPoint());
    }
    QImage flat(smooth ? grabbed.size() : picture.size(), QImage::Format_ARGB32);
    flat.fill(background);
    // Pixel for pixel: an @2x file loads with a device pixel ratio of 2.
    QImage pixels = picture;
    pixels.setDevicePixelRatio(1);
    QPainter painter(&flat);
    if (smooth) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(QPointF(0, 0), drawnSize), pixels);
    } else {
        painter.drawImage(0, 0, pixels);
    }
    return flat;
}

// Pixels where `expected` is opaque and `image` differs from it by more than antialiasing does;
// -1 when the sizes differ.
int differingPixels(const QImage &image, const QImage &expected)
{
    if (image.size() != expected.size())
        return -1;
    int differing = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb want = expected.pixel(x, y);
            if (qAlpha(want) < 255)
                continue;
            const QRgb got = image.pixel(x, y);
            differing += qAbs(qRed(got) - qRed(want)) > 8 || qAbs(qGreen(got) - qGreen(want)) > 8 ||
                         qAbs(qBlue(got) - qBlue(want)) > 8;
        }
    }
    return differing;
}

// The mean difference of two premultiplied pictures over all pixels and channels.
double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) +
                   qAbs(qBlue(p) - qBlue(q)) + qAbs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

template <typename T> T *child(const QWidget *window, const char *name)
{
    T *widget = window->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

} // namespace

class TestHighDpi final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void scaleFollowsEnvironment();
    void checkFindsFaults_data();
    void checkFindsFaults();
    void mainWindow_data();
    void mainWindow();
    void listRow_data();
    void listRow();
    void settingsDialog();
    void messageDialog_data();
    void messageDialog();
    void countdownDialog();
    void player();
    void twins_data();
    void twins();
    void pictures_data();
    void pictures();

private:
    static void verifyFits(QWidget *window);

    QTemporaryDir m_workDir;
    QString m_previousDir;
};

void TestHighDpi::initTestCase()
{
    // The main window keeps its configuration file in the working directory.
    QVERIFY(m_workDir.isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_workDir.path());
}

void TestHighDpi::cleanupTestCase()
{
    QDir::setCurrent(m_previousDir);
}

void TestHighDpi::verifyFits(QWidget *window)
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    const QStringList faults = layoutFaults(window);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

// A large font setting scales the whole window, as a scale factor does, instead of growing the
// texts inside the fixed layout. Qt 5 rounds that screen factor to a whole one; on Qt 6 the
// program keeps it as it is (1.5 at 144 dpi).
void TestHighDpi::scaleFollowsEnvironment()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const bool rounded = false;
#else
    const bool rounded = true;
#endif
    qreal expected = 1;
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        expected *= qgetenv("QT_SCALE_FACTOR").toDouble();
    if (qEnvironmentVariableIsSet("QT_FONT_DPI")) {
        const qreal screen = qgetenv("QT_FONT_DPI").toDouble() / 96;
        expected *= rounded ? qRound(screen) : screen;
    }
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.devicePixelRatioF(), expected);
    QVERIFY2(window.logicalDpiY() < 120, qPrintable(QString::number(window.logicalDpiY())));
}

void TestHighDpi::checkFindsFaults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("clipped label") << "label"
                                   << "needs";
    QTest::newRow("clipped button") << "button"
                                    << "needs";
    QTest::newRow("clipped combo entry") << "combo"
                                         << "needs";
    QTest::newRow("overlapping siblings") << "overlap"
                                          << "overlaps";
    QTest::newRow("child outside its parent") << "outside"
                                              << "leaves";
}

// The check sees each kind of fault it is there for.
void TestHighDpi::checkFindsFaults()
{
    QFETCH(QString, kind);
    QFETCH(QString, expected);
    QWidget window;
    window.resize(300, 200);
    const QString longText = QStringLiteral("视频格式转换视频格式转换");
    if (kind == QLatin1String("label")) {
        (new QLabel(longText, &window))->setGeometry(10, 10, 40, 30);
    } else if (kind == QLatin1String("button")) {
        (new QPushButton(longText, &window))->setGeometry(10, 10, 40, 30);
    } else if (kind == QLatin1String("combo")) {
        auto *combo = new QComboBox(&window);
        combo->addItems({QStringLiteral("MP4"), longText});
        combo->setGeometry(10, 10, 80, 30);
    } else if (kind == QLatin1String("overlap")) {
        (new QWidget(&window))->setGeometry(5, 5, 20, 20);
        (new QWidget(&window))->setGeometry(15, 15, 20, 20);
    } else {
        (new QWidget(&window))->setGeometry(290, 10, 20, 20);
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QStringList faults = layoutFaults(&window);
    QCOMPARE(faults.size(), 1);
    QVERIFY2(faults.first().contains(expected), qPrintable(faults.first()));
}

void TestHighDpi::mainWindow_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("state");
    QTest::newRow("empty") << 0 << int(MainWindow::NoFiles);
    QTest::newRow("files") << 3 << int(MainWindow::Idle);
    QTest::newRow("converting") << 3 << int(MainWindow::Running);
}

void TestHighDpi::mainWindow()
{
    QFETCH(int, files);
    QFETCH(int, state);
    // Each look starts from an empty list, not the one the window of the row before kept.
    QFile::remove(SavedList::defaultFileName());
    MainWindow window(nullptr);
    for (int i = 0; i < files; ++i) {
        const QString path = m_workDir.filePath(QStringLiteral("第%1段视频.mp4").arg(i + 1));
        QFile clip(path);
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.close();
        QCOMPARE(window.addInputFile(path.toStdString()), 0);
    }
    window.setBatchUiState(state);
    verifyFits(&window);
}

void TestHighDpi::listRow_data()
{
    QTest::addColumn<QString>("status");
    for (const char *status :
         {"等待转码...", "正在转码...", "转码完成   ", "转码取消   ", "转码错误   ", "转码暂停   "})
        QTest::newRow(status) << QString::fromUtf8(status);
}

// A row on its own at the size the list gives it, with its longest texts.
void TestHighDpi::listRow()
{
    QFETCH(QString, status);
    InputItem row(nullptr);
    child<QLabel>(&row, "filename")->setText(QStringLiteral("周末旅行.mp4"));
    child<QLabel>(&row, "status")->setText(status);
    child<QLabel>(&row, "filesize")->setText(QStringLiteral("大小:1245.3 MB"));
    verifyFits(&row);
}

void TestHighDpi::settingsDialog()
{
    CDlgAVSettings dialog(nullptr);
    dialog.setSettings(makeAVSettings(0, QualityMedium, QualityMedium));
    verifyFits(&dialog);
}

void TestHighDpi::messageDialog_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("text");
    QTest::newRow("notice") << 1 << "转码完成！\n成功：3 个文件\n失败：1 个文件\n";
    QTest::newRow("question") << 2 << "正在转码中，确认关闭？\n未完成的压缩任务将会取消。\n";
}

void TestHighDpi::messageDialog()
{
    QFETCH(int, buttons);
    QFETCH(QString, text);
    CDlgMessage dialog(nullptr, buttons, text);
    verifyFits(&dialog);
}

// The longest announcement, at its longest count.
void TestHighDpi::countdownDialog()
{
    CDlgCountdown dialog(
        nullptr, QStringLiteral("转码任务完成！成功 128 个，失败 12 个。\n%1 秒后电脑将进入睡眠。"),
        60);
    verifyFits(&dialog);
}

// The player as the main window holds it.
void TestHighDpi::player()
{
    vlcplayer preview(nullptr);
    preview.resize(310, 312);
    verifyFits(&preview);
}

void TestHighDpi::twins_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names = QDir(QStringLiteral(":/images/images")).entryList({"*.png"});
    for (const QString &name : names) {
        if (!name.contains(QLatin1Char('@')))
            QTest::newRow(qPrintable(name)) << name.chopped(4);
    }
}

// Every picture has its @2x twin: the same picture at twice the size or, for a strip of looks
// whose bands lie twice their height apart, each band at twice the size where it starts.
void TestHighDpi::twins()
{
    QFETCH(QString, name);
    const QString path = QStringLiteral(":/images/images/") + name;
    const QImage plain =
        QImage(path + QStringLiteral(".png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage twin = QImage(path + QStringLiteral("@2x.png"))
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QVERIFY(!plain.isNull());
    QVERIFY2(!twin.isNull(), "no @2x twin");
    QCOMPARE(twin.width(), plain.width() * 2);
    const int band =
        twin.height() == plain.height() * 2 ? plain.height() : twin.height() - plain.height();
    QVERIFY2(band > 0 && (plain.height() + band) % (2 * band) == 0,
             qPrintable(QStringLiteral("bands of %1 rows?").arg(band)));
    for (int top = 0; top < plain.height(); top += 2 * band) {
        const QImage look = plain.copy(0, top, plain.width(), band);
        const QImage large =
            twin.copy(0, top, twin.width(), band * 2)
                .scaled(look.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QVERIFY2(meanDifference(look, large) < 4,
                 qPrintable(QStringLiteral("band at row %1 differs by %2")
                                .arg(top)
                                .arg(meanDifference(look, large))));
    }
}

void TestHighDpi::pictures_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QRect>("band");
    // Widgets (or a check box's indicator) the size of their picture's band, drawn without text.
    QTest::newRow("settings button") << "btnQualitySettings"
                                     << "main_bottom_settng" << QRect(0, 0, 25, 22);
    QTest::newRow("apply to all, checked") << "applyAll"
                                           << "main_applyall" << QRect(0, 28, 14, 14);
    QTest::newRow("player stop") << "btnStop"
                                 << "record_end" << QRect(0, 0, 24, 25);
    QTest::newRow("player sound") << "btnVolume"
                                  << "main_bottom_muteaudio" << QRect(0, 0, 24, 25);
    QTest::newRow("player resume, run-time sheet") << "btnPause"
                                                   << "record_start" << QRect(0, 0, 24, 25);
    QTest::newRow("folder button") << "btnOutputDir"
                                   << "main_bottom_dir" << QRect(0, 0, 25, 22);
    QTest::newRow("open folder button") << "btnOutputDir2"
                                        << "main_bottom_dir2" << QRect(0, 0, 25, 22);
    QTest::newRow("logo") << "mainLabelLogo"
                          << "main_top_logo" << QRect(0, 0, 25, 25);
}

// Each picture is drawn pixel for pixel from the file for the screen's scale, its band cut at the
// same place: at scale 2 from the @2x file, not from the plain one enlarged.
void TestHighDpi::pictures()
{
    QFETCH(QString, objectName);
    QFETCH(QString, picture);
    QFETCH(QRect, band);
    MainWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QWidget *widget = window.findChild<QWidget *>(objectName);
    QVERIFY(widget && widget->isVisible());
    QRect area = widget->rect();
    if (const auto *box = qobject_cast<const QCheckBox *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        area = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    }
    const QPixmap grabbed = const_cast<QWidget *>(widget)->grab(area);
    const qreal scale = grabbed.devicePixelRatio();
    QCOMPARE(scale, window.devicePixelRatioF());
    const QImage image = grabbed.toImage().convertToFormat(QImage::Format_ARGB32);

    // In a strip's @2x twin each band starts at the row it starts at in the plain strip.
    const QString path = QStringLiteral(":/images/images/") + picture;
    const QImage plain = QImage(path + QStringLiteral(".png")).copy(band);
    const QImage twice = QImage(path + QStringLiteral("@2x.png"))
                             .copy(QRect(0, band.top(), band.width() * 2, band.height() * 2));
    QVERIFY(!plain.isNull() && !twice.isNull());
    // Between whole scales (125 %, 150 %) the band is drawn down from the @2x file into the
    // widget's fractional size.
    const bool whole = scale == qRound(scale);
    const QSizeF drawnSize = whole ? QSizeF() : QSizeF(band.size()) * scale;
    const QImage expected = (scale > 1 ? twice : plain).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(differingPixels(image, onBackground(expected, image, drawnSize)), 0);
    if (scale > 1) {
        const QImage enlarged = plain.convertToFormat(QImage::Format_ARGB32);
        const QSizeF enlargedSize = whole ? QSizeF(twice.size()) : drawnSize;
        QVERIFY(differingPixels(image, onBackground(enlarged, image, enlargedSize)) > 0);
    }
}

QUELLIX_TEST_MAIN(TestHighDpi)
#include "test_highdpi.moc"
