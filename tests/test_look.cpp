#include "Version.h"
#include "gui/CDlgAVSettings.h"
#include "gui/MainWindow.h"
#include "ui/StyleSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRawFont>
#include <QRegularExpression>
#include <QSlider>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QXmlStreamReader>
#include <QtTest>

namespace
{

const QColor green(58, 187, 138);
const QString imagePrefix = QStringLiteral(":/images/images/");
const QStringList sheetNames = {
    QStringLiteral("MainWindow.css"), QStringLiteral("DlgAVSettings.css"),
    QStringLiteral("DlgMessage.css"), QStringLiteral("DlgCountdown.css"),
    QStringLiteral("InputItem.css"),  QStringLiteral("vlcplayer.css")};

QStringList recordedWarnings;
QtMessageHandler previousHandler = nullptr;

void recordWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        recordedWarnings << message;
    previousHandler(type, context, message);
}

// A sheet as the program applies it: its bytes read one character per byte.
QString sheetText(const QString &name)
{
    QFile file(QStringLiteral(":/qss/css/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll());
}

QString withoutComments(QString sheet)
{
    return sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                           QRegularExpression::DotMatchesEverythingOption));
}

// The rows of a picture that one border-image rule draws: what its top and bottom cuts leave.
struct Band {
    int top;
    int bottom; // exclusive
};

// Every picture that a sheet cuts into bands, with the band of each rule that cuts it.
QMap<QString, QVector<Band>> bandsIn(const QString &sheet, const QMap<QString, int> &heights)
{
    QMap<QString, QVector<Band>> bands;
    const QRegularExpression cut(
        QStringLiteral("url\\((:[^)]+)\\)\\s*(\\d+)\\s+(\\d+)\\s+(\\d+)\\s+(\\d+)"));
    auto it = cut.globalMatch(withoutComments(sheet));
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString path = match.captured(1);
        const int height = heights.value(path, -1);
        bands[path].append({match.captured(2).toInt(), height - match.captured(4).toInt()});
    }
    return bands;
}

QStringList urlsIn(const QString &sheet)
{
    QStringList urls;
    auto it = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(sheet);
    while (it.hasNext())
        urls << it.next().captured(1).trimmed();
    return urls;
}

// The "Type#name" parts of a sheet's selectors, the declarations left out.
QVector<QPair<QString, QString>> namedSelectors(const QString &sheet)
{
    QString selectors = withoutComments(sheet);
    selectors.remove(QRegularExpression(QStringLiteral("\\{[^}]*\\}")));
    QVector<QPair<QString, QString>> named;
    auto it = QRegularExpression(QStringLiteral("(\\w*)#(\\w+)")).globalMatch(selectors);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        named.append({match.captured(1), match.captured(2)});
    }
    return named;
}

// objectName to class of every widget of a Designer form.
QMap<QString, QString> formWidgets(const QString &path)
{
    QMap<QString, QString> widgets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return widgets;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("widget"))
            widgets.insert(xml.attributes().value(QLatin1String("name")).toString(),
                           xml.attributes().value(QLatin1String("class")).toString());
    }
    return widgets;
}

const QMetaObject *widgetClass(const QString &name)
{
    static const QMap<QString, const QMetaObject *> classes = {
        {QStringLiteral("QWidget"), &QWidget::staticMetaObject},
        {QStringLiteral("QFrame"), &QFrame::staticMetaObject},
        {QStringLiteral("QLabel"), &QLabel::staticMetaObject},
        {QStringLiteral("QPushButton"), &QPushButton::staticMetaObject},
        {QStringLiteral("QComboBox"), &QComboBox::staticMetaObject},
        {QStringLiteral("QLineEdit"), &QLineEdit::staticMetaObject},
        {QStringLiteral("QCheckBox"), &QCheckBox::staticMetaObject},
        {QStringLiteral("QListWidget"), &QListWidget::staticMetaObject},
        {QStringLiteral("QStackedWidget"), &QStackedWidget::staticMetaObject},
        {QStringLiteral("QTextEdit"), &QTextEdit::staticMetaObject},
        {QStringLiteral("QProgressBar"), &QProgressBar::staticMetaObject},
        {QStringLiteral("QSlider"), &QSlider::staticMetaObject},
        {QStringLiteral("QGroupBox"), &QWidget::staticMetaObject},
        {QStringLiteral("QDialog"), &QDialog::staticMetaObject},
        {QStringLiteral("QMainWindow"), &QMainWindow::staticMetaObject}};
    return classes.value(name, nullptr);
}

// Colours compare within a small tolerance: the pictures are antialiased and blended.
bool near(const QColor &a, const QColor &b, int tolerance = 3)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor &colour)
{
    return QStringLiteral("rgb(%1, %2, %3)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

#define QCOMPARE_COLOUR(actual, expected)                                                          \
    QVERIFY2(near(actual, expected),                                                               \
             qPrintable(describe(actual) + QStringLiteral(" != ") + describe(expected)))

QImage shot(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Where a child's rectangle lies in its window.
QRect rectIn(const QWidget *window, const QWidget *child)
{
    return QRect(child->mapTo(window, QPoint(0, 0)), child->size());
}

} // namespace

Q_DECLARE_METATYPE(QVector<Band>)

class TestLook final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void pictureSizes_data();
    void pictureSizes();
    void iconHoldsNineSizes();
    void bandsMatchCuts_data();
    void bandsMatchCuts();

    void sheetsParse_data();
    void sheetsParse();
    void brokenSheetIsNoticed();
    void sheetPicturesExist_data();
    void sheetPicturesExist();
    void selectorsNameFormWidgets_data();
    void selectorsNameFormWidgets();
    void fonts_data();
    void fonts();

    void settingsDialogColours();
    void mainWindowColours();
    void startButtonBeforeRuntimeSheet();
    void startButtonLooks_data();
    void startButtonLooks();

private:
    QMap<QString, int> pictureHeights() const;

    QTemporaryDir m_workDir;
    QString m_previousDir;
};

void TestLook::initTestCase()
{
    // The main window keeps its settings file in the working directory.
    QVERIFY(m_workDir.isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_workDir.path());
    previousHandler = qInstallMessageHandler(recordWarning);
}

void TestLook::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
    QDir::setCurrent(m_previousDir);
}

void TestLook::pictureSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    const QVector<QPair<const char *, QSize>> inventory = {
        {"main_top_logo.png", {25, 25}},       {"main_top_min_.png", {18, 85}},
        {"main_top_close_.png", {18, 90}},     {"main_convert_start.png", {310, 295}},
        {"main_convert_stop.png", {310, 295}}, {"main_convert_disable.png", {310, 59}},
        {"main_video_add.png", {100, 160}},    {"main_video_clear.png", {100, 160}},
        {"main_stack_teach.png", {467, 295}},  {"main_bottom_settng.png", {25, 154}},
        {"main_bottom_dir.png", {25, 154}},    {"main_bottom_dir2.png", {25, 110}},
        {"main_cbox_arrowdown.png", {15, 15}}, {"main_applyall.png", {14, 98}},
        {"history_item.png", {47, 34}},        {"watermark_del.png", {28, 28}},
        {"warning.png", {108, 108}},           {"MOVIE.png", {616, 460}},
        {"record_start.png", {24, 125}},       {"record_pause.png", {24, 125}},
        {"record_end.png", {24, 125}},         {"main_bottom_muteaudio.png", {24, 125}},
        {"vlc_slider_video.png", {18, 18}},    {"vlc_slider_audio.png", {18, 18}}};
    for (const auto &picture : inventory)
        QTest::newRow(picture.first) << QString::fromLatin1(picture.first) << picture.second;
}

void TestLook::pictureSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage image(imagePrefix + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
}

void TestLook::iconHoldsNineSizes()
{
    QImageReader reader(imagePrefix + QStringLiteral("main.ico"));
    QCOMPARE(reader.imageCount(), 9);
    QList<int> sides;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.hasAlphaChannel());
        // Transparent corners: the icon is a rounded tile, not a filled square.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE_COLOUR(image.pixelColor(image.width() / 2, image.height() / 8), green);
        sides << image.width();
    }
    std::sort(sides.begin(), sides.end());
    QCOMPARE(sides, QList<int>({16, 24, 32, 48, 64, 72, 96, 128, 256}));
}

QMap<QString, int> TestLook::pictureHeights() const
{
    QMap<QString, int> heights;
    for (const QString &name : QDir(QStringLiteral(":/images/images")).entryList())
        heights.insert(imagePrefix + name, QImage(imagePrefix + name).height());
    return heights;
}

void TestLook::bandsMatchCuts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVector<Band>>("bands");
    QString sheets = styleConvertStart + styleConvertStop + stylePause + styleResume;
    for (const QString &name : sheetNames)
        sheets += sheetText(name);
    const QMap<QString, QVector<Band>> cuts = bandsIn(sheets, pictureHeights());
    for (auto it = cuts.cbegin(); it != cuts.cend(); ++it)
        QTest::newRow(qPrintable(it.key().mid(imagePrefix.size()))) << it.key() << it.value();
}

// Each look of a strip lies in exactly the rows its rule cuts out: the rows between looks are
// empty, every look is drawn, and all looks of a strip are the same height.
void TestLook::bandsMatchCuts()
{
    QFETCH(QString, path);
    QFETCH(QVector<Band>, bands);
    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QVector<bool> inBand(image.height(), false);
    for (const Band &band : bands) {
        QVERIFY(band.top >= 0 && band.bottom <= image.height() && band.top < band.bottom);
        QCOMPARE(band.bottom - band.top, bands.first().bottom - bands.first().top);
        int drawn = 0;
        for (int y = band.top; y < band.bottom; ++y) {
            inBand[y] = true;
            for (int x = 0; x < image.width(); ++x)
                drawn += qAlpha(image.pixel(x, y)) > 0;
        }
        QVERIFY2(drawn > 0, qPrintable(QStringLiteral("empty band at row %1").arg(band.top)));
    }
    for (int y = 0; y < image.height(); ++y) {
        if (inBand[y])
            continue;
        for (int x = 0; x < image.width(); ++x)
            QVERIFY2(
                qAlpha(image.pixel(x, y)) == 0,
                qPrintable(QStringLiteral("drawn pixel between looks at (%1, %2)").arg(x).arg(y)));
    }
}

void TestLook::sheetsParse_data()
{
    QTest::addColumn<QString>("name");
    for (const QString &name : sheetNames)
        QTest::newRow(qPrintable(name)) << name;
}

// Qt parses a sheet when it styles a widget; a sheet it cannot read is dropped with a warning.
void TestLook::sheetsParse()
{
    QFETCH(QString, name);
    QWidget root;
    loadStyleSheet(&root, QStringLiteral(":/qss/css/") + name);
    QVERIFY(!root.styleSheet().isEmpty());
    auto *layout = new QVBoxLayout(&root);
    for (QWidget *child : std::initializer_list<QWidget *>{
             new QPushButton(QStringLiteral("确定")), new QComboBox, new QLineEdit, new QCheckBox,
             new QLabel(QStringLiteral("提示")), new QListWidget, new QProgressBar,
             new QSlider(Qt::Horizontal), new QTextEdit, new QFrame})
        layout->addWidget(child);
    recordedWarnings.clear();
    root.show();
    QVERIFY(QTest::qWaitForWindowExposed(&root));
    QVERIFY2(recordedWarnings.filter(QStringLiteral("parse")).isEmpty(),
             qPrintable(recordedWarnings.join(QLatin1Char('\n'))));
}

// The warning the check above looks for is really given for a sheet Qt cannot read.
void TestLook::brokenSheetIsNoticed()
{
    QWidget root;
    root.setStyleSheet(QStringLiteral("QWidget#x{color:red;"));
    recordedWarnings.clear();
    root.show();
    QVERIFY(QTest::qWaitForWindowExposed(&root));
    QVERIFY(!recordedWarnings.filter(QStringLiteral("parse")).isEmpty());
}

void TestLook::sheetPicturesExist_data()
{
    sheetsParse_data();
}

void TestLook::sheetPicturesExist()
{
    QFETCH(QString, name);
    const QStringList urls = urlsIn(sheetText(name));
    QVERIFY(!urls.isEmpty());
    for (const QString &url : urls) {
        QVERIFY2(url.startsWith(imagePrefix), qPrintable(url));
        QVERIFY2(!QImage(url).isNull(), qPrintable(url));
    }
}

void TestLook::selectorsNameFormWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("form");
    QTest::newRow("main window") << "MainWindow.css"
                                 << "gui/MainWindow.ui";
    QTest::newRow("settings dialog") << "DlgAVSettings.css"
                                     << "gui/CDlgAVSettings.ui";
    QTest::newRow("message dialog") << "DlgMessage.css"
                                    << "ui/CDlgMessage.ui";
    QTest::newRow("countdown dialog") << "DlgCountdown.css"
                                      << "ui/CDlgCountdown.ui";
    QTest::newRow("list entry") << "InputItem.css"
                                << "gui/InputItem.ui";
    QTest::newRow("player") << "vlcplayer.css"
                            << "player/vlcplayer.ui";
}

// A selector that names no widget of the form, or names it with a type it is not, styles nothing.
void TestLook::selectorsNameFormWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, form);
    const QString formPath = QStringLiteral(QUELLIX_SOURCE_DIR "/") + form;
    // A form that moved without its row here would leave its sheet unchecked.
    QVERIFY2(QFile::exists(formPath), qPrintable(formPath));
    const QMap<QString, QString> widgets = formWidgets(formPath);
    QVERIFY(!widgets.isEmpty());
    const auto selectors = namedSelectors(sheetText(name));
    QVERIFY(!selectors.isEmpty());
    for (const auto &selector : selectors) {
        const QString type = selector.first;
        const QString objectName = selector.second;
        QVERIFY2(widgets.contains(objectName),
                 qPrintable(objectName + QStringLiteral(" not in form")));
        if (type.isEmpty())
            continue;
        const QMetaObject *selected = widgetClass(type);
        const QMetaObject *actual = widgetClass(widgets.value(objectName));
        QVERIFY2(selected && actual, qPrintable(type + QLatin1Char('#') + objectName));
        QVERIFY2(actual->inherits(selected),
                 qPrintable(objectName + QStringLiteral(" is a ") + widgets.value(objectName)));
    }
}

void TestLook::fonts_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("message title") << "DlgMessage.css"
                                   << "labelLogo"
                                   << "提示" << 10 << -1;
    QTest::newRow("message button") << "DlgMessage.css"
                                    << "btnOk"
                                    << "确定" << 9 << -1;
    QTest::newRow("settings title") << "DlgAVSettings.css"
                                    << "labelLogo"
                                    << "转码参数设置" << 10 << -1;
    QTest::newRow("settings button") << "DlgAVSettings.css"
                                     << "btnCancel"
                                     << "取消" << 9 << -1;
    QTest::newRow("list entry") << "InputItem.css"
                                << "status"
                                << "等待转码..." << 9 << -1;
    QTest::newRow("window title") << "MainWindow.css"
                                  << "mainLabelLogoStr"
                                  << "Quellix视频格式转换 v" QUELLIX_VERSION << -1 << 14;
    QTest::newRow("start button") << "MainWindow.css"
                                  << "btnConvertStart"
                                  << "开始转码" << -1 << 18;
    QTest::newRow("add button") << "MainWindow.css"
                                << "btnInputFile"
                                << "    添加视频" << -1 << 14;
}

// The sheets' first family does not exist here; the fallback family they name must take over,
// and it must hold every Chinese character the widget shows.
void TestLook::fonts()
{
    QFETCH(QString, sheet);
    QFETCH(QString, objectName);
    QFETCH(QString, text);
    QFETCH(int, pointSize);
    QFETCH(int, pixelSize);
    QWidget root;
    loadStyleSheet(&root, QStringLiteral(":/qss/css/") + sheet);
    auto *layout = new QVBoxLayout(&root);
    QWidget *widget = objectName.startsWith(QLatin1String("btn"))
                          ? static_cast<QWidget *>(new QPushButton(text))
                          : static_cast<QWidget *>(new QLabel(text));
    widget->setObjectName(objectName);
    layout->addWidget(widget);
    root.show();
    QVERIFY(QTest::qWaitForWindowExposed(&root));

    const QFont font = widget->font();
    QCOMPARE(font.pointSize(), pointSize);
    QCOMPARE(font.pixelSize(), pixelSize);
    QCOMPARE(QFontInfo(font).family(), QStringLiteral("Noto Sans CJK SC"));
    const QRawFont raw = QRawFont::fromFont(font);
    for (const QChar c : text)
        QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
}

void TestLook::settingsDialogColours()
{
    CDlgAVSettings dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QImage image = shot(&dialog);
    const QColor grey(200, 200, 200);

    QCOMPARE_COLOUR(image.pixelColor({0, 0}), grey);
    QCOMPARE_COLOUR(image.pixelColor({image.width() / 2, image.height() - 1}), grey);

    const QRect top = rectIn(&dialog, dialog.findChild<QWidget *>(QStringLiteral("widget_top")));
    QCOMPARE_COLOUR(image.pixelColor(top.topLeft() + QPoint(3, 3)), green);
    QCOMPARE_COLOUR(image.pixelColor({top.center().x(), top.bottom() - 2}), green);

    const QRect body = rectIn(&dialog, dialog.findChild<QWidget *>(QStringLiteral("widget_bk")));
    QCOMPARE_COLOUR(image.pixelColor(body.bottomLeft() + QPoint(3, -3)), QColor(Qt::white));

    for (const char *name : {"btnOk", "btnCancel"}) {
        const QRect button =
            rectIn(&dialog, dialog.findChild<QPushButton *>(QString::fromLatin1(name)));
        QCOMPARE_COLOUR(image.pixelColor({button.left() + 6, button.center().y()}), green);
    }
    const QRect combo = rectIn(&dialog, dialog.findChild<QComboBox *>(QStringLiteral("cboxVC")));
    QCOMPARE_COLOUR(image.pixelColor({combo.center().x(), combo.top()}), QColor(224, 224, 224));
}

void TestLook::mainWindowColours()
{
    MainWindow window(nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage image = shot(&window);
    QCOMPARE_COLOUR(image.pixelColor({300, 3}), green);
    QCOMPARE_COLOUR(image.pixelColor({300, 36}), green);
    QCOMPARE_COLOUR(image.pixelColor({400, image.height() - 1}), QColor(200, 200, 200));
    QCOMPARE_COLOUR(image.pixelColor({3, 43}), QColor(246, 246, 246));

    // The hint picture is stretched over the empty list's page.
    const QImage teach(imagePrefix + QStringLiteral("main_stack_teach.png"));
    const QRect page = rectIn(&window, window.findChild<QLabel *>(QStringLiteral("labelTeach")));
    const QPoint badge(279, 127); // inside the green add badge of the picture
    const QPoint scaled(badge.x() * page.width() / teach.width(),
                        badge.y() * page.height() / teach.height());
    QCOMPARE_COLOUR(teach.pixelColor(badge), green);
    QCOMPARE_COLOUR(image.pixelColor(page.topLeft() + scaled), green);
}

// The window's own sheet gives the start button the disabled picture, before any run-time sheet.
void TestLook::startButtonBeforeRuntimeSheet()
{
    QWidget root;
    root.setObjectName(QStringLiteral("MainWindowClass"));
    loadStyleSheet(&root, QStringLiteral(":/qss/css/MainWindow.css"));
    auto *button = new QPushButton(&root);
    button->setObjectName(QStringLiteral("btnConvertStart"));
    button->setFixedSize(310, 59);
    root.resize(330, 80);
    root.show();
    QVERIFY(QTest::qWaitForWindowExposed(&root));
    const QImage picture(imagePrefix + QStringLiteral("main_convert_disable.png"));
    const QImage image = shot(button);
    for (const QPoint point : {QPoint(20, 29), QPoint(100, 29), QPoint(300, 50)})
        QCOMPARE_COLOUR(image.pixelColor(point), picture.pixelColor(point));
}

void TestLook::startButtonLooks_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("picture");
    QTest::newRow("no files") << int(MainWindow::NoFiles) << "main_convert_disable.png";
    QTest::newRow("idle") << int(MainWindow::Idle) << "main_convert_start.png";
    QTest::newRow("running") << int(MainWindow::Running) << "main_convert_stop.png";
}

// The button shows the top band of the look's picture; the three looks differ.
void TestLook::startButtonLooks()
{
    QFETCH(int, state);
    QFETCH(QString, picture);
    MainWindow window(nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("btnConvertStart"));
    window.setBatchUiState(state);
    QCoreApplication::processEvents();

    const QImage look(imagePrefix + picture);
    const QImage image = shot(button);
    QCOMPARE(image.size(), QSize(310, 59));
    const QPoint point(20, 29);
    QCOMPARE_COLOUR(image.pixelColor(point), look.pixelColor(point));
    for (const char *other :
         {"main_convert_disable.png", "main_convert_start.png", "main_convert_stop.png"}) {
        if (picture != QLatin1String(other))
            QVERIFY(!near(image.pixelColor(point),
                          QImage(imagePrefix + QLatin1String(other)).pixelColor(point), 8));
    }
}

QTEST_MAIN(TestLook)
#include "test_look.moc"
