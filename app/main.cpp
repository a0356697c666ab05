#include "app/MainWindow.h"

#include <QApplication>
#ifdef Q_OS_LINUX
#include <X11/Xlib.h>
#endif

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // libvlc draws from its own threads into our X11 window.
    XInitThreads();
#endif
    QApplication app(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
