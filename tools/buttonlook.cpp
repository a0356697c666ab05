// Renders every button of the main window in each of its looks (normal, hover, pressed, disabled;
// checked too where it checks), one button a line, in the screen's own pixels: for seeing at a
// fractional scale whether a look is blurred or takes rows of its neighbour in the strip.
// Usage: quellix_buttonlook OUTPUT.png [ZOOM] (under an X server, e.g. xvfb-run; QT_SCALE_FACTOR
// or the X server's -dpi for the scale); ZOOM enlarges the sheet without smoothing.
#include "app/QuellixApplication.h"
#include "tests/WindowFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace
{

enum class Look { Normal, Hover, Pressed, Disabled };

QImage grabLook(QAbstractButton *button, Look look)
{
    // Off every button unless hovering this one.
    QWidget *window = button->window();
    if (look == Look::Hover)
        QTest::mouseMove(button);
    else
        QTest::mouseMove(window, QPoint(window->width() / 2, window->height() / 2));
    // The pointer reaches the widgets through the X server.
    if (!QTest::qWaitFor([&] { return button->underMouse() == (look == Look::Hover); }, 2000))
        std::fprintf(stderr, "%s: the pointer did not arrive\n", qPrintable(button->objectName()));
    button->setDown(look == Look::Pressed);
    button->setEnabled(look != Look::Disabled);
    QApplication::processEvents();
    return button->grab().toImage();
}

QList<QImage> looksOf(QAbstractButton *button)
{
    QList<QImage> looks;
    const bool wasChecked = button->isChecked();
    const bool wasEnabled = button->isEnabled();
    for (bool checked : {false, true}) {
        if (checked && !button->isCheckable())
            break;
        button->setChecked(checked);
        for (Look look : {Look::Normal, Look::Hover, Look::Pressed, Look::Disabled})
            looks << grabLook(button, look);
    }
    button->setDown(false);
    button->setEnabled(wasEnabled);
    button->setChecked(wasChecked);
    return looks;
}

// Lines of looks on a grey ground, 8 device pixels apart.
QImage sheet(const QList<QList<QImage>> &lines)
{
    const int gap = 8;
    int width = 0;
    int height = gap;
    for (const QList<QImage> &line : lines) {
        int lineWidth = gap;
        int lineHeight = 0;
        for (const QImage &look : line) {
            lineWidth += look.width() + gap;
            lineHeight = qMax(lineHeight, look.height());
        }
        width = qMax(width, lineWidth);
        height += lineHeight + gap;
    }
    QImage out(width, height, QImage::Format_ARGB32);
    out.fill(QColor(128, 128, 128));
    QPainter painter(&out);
    int y = gap;
    for (const QList<QImage> &line : lines) {
        int x = gap;
        int lineHeight = 0;
        for (QImage look : line) {
            look.setDevicePixelRatio(1);
            painter.drawImage(x, y, look);
            x += look.width() + gap;
            lineHeight = qMax(lineHeight, look.height());
        }
        y += lineHeight + gap;
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [ZOOM]\n", argv[0]);
        return 2;
    }
    const int zoom = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 1;
    WindowFixture fixture;
    if (!fixture.open())
        return 1;
    QList<QList<QImage>> lines;
    for (QAbstractButton *button : fixture.window()->findChildren<QAbstractButton *>()) {
        if (button->isVisible())
            lines << looksOf(button);
    }
    const QImage out = sheet(lines);
    return out.scaled(out.size() * zoom).save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
