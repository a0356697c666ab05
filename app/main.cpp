#include "app/MainWindow.h"
#include "app/QuellixApplication.h"

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return app.exec();
}
