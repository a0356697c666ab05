#include "app/MainWindow.h"
#include "ui/QuellixApplication.h"

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    MainWindow window(nullptr);
    window.show();
    return QuellixApplication::exec();
}
