#include "app/MainWindow.h"
#include "player/VideoOutputInit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    initVideoOutput();
    QApplication app(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
