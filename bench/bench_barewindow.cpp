// The yardstick of the start-up figure: the least a Qt 5 Widgets program does to put a window of
// the main window's size on screen.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(800, 510);
    window.show();
    return app.exec();
}
