#include "app/QuellixApplication.h"

#include "app/QpaPlatform.h"
#include "player/VideoOutputInit.h"

#include <QLibraryInfo>

namespace
{

// Set while QT_QPA_PLATFORM holds the program's own choice rather than the user's.
bool platformForced = false;

} // namespace

QuellixApplication::QuellixApplication(int &argc, char **argv) : QApplication(prepare(argc), argv)
{
    // The choice was for this process alone: the programs it opens (a browser, a file manager)
    // pick their own platform.
    if (platformForced) {
        qunsetenv("QT_QPA_PLATFORM");
        platformForced = false;
    }
    m_translated = m_qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                                  QLibraryInfo::location(QLibraryInfo::TranslationsPath));
    if (m_translated)
        installTranslator(&m_qtTexts);
}

QuellixApplication::~QuellixApplication() = default;

int &QuellixApplication::prepare(int &argc)
{
    initVideoOutput();
    const QByteArray platform = qpaPlatformFor(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("XDG_SESSION_TYPE"), qgetenv("WAYLAND_DISPLAY"));
    if (!platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
        platformForced = true;
    }
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Nothing here draws with OpenGL (libvlc brings its own): without this, showing the first
    // window loads Qt's GL integration and the system's GL driver, about a third of start-up.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    return argc;
}
