// Starts the program's application object and prints the platform plugin it runs on, and whether
// QT_QPA_PLATFORM is left in its environment for the programs it would start.
#include "app/QuellixApplication.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    QuellixApplication app(argc, argv);
    std::printf("%s %s\n", qPrintable(QGuiApplication::platformName()),
                qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? "set" : "unset");
    return 0;
}
