// The yardstick of the start-up figure: the least a Qt 5 Widgets program does to put a window of
// the main window's size on screen, with one line of Chinese text, so that it loads the CJK font
// as the program has to.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(800, 510);
    QLabel title(QStringLiteral("Quellix视频格式转换"), &window);
    title.move(20, 10);
    window.show();
    return app.exec();
}
