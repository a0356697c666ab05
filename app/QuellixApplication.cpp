#include "app/QuellixApplication.h"

#include "app/QpaPlatform.h"
#include "player/VideoOutputInit.h"

#include <QLibraryInfo>

namespace
{

// Set while QT_QPA_PLATFORM holds the program's own choice rather than the user's.
bool platformForced = false;

QString qtTranslationsPath()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#else
    return QLibraryInfo::location(QLibraryInfo::TranslationsPath);
#endif
}

} // namespace

QuellixApplication::QuellixApplication(int &argc, char **argv) : QApplication(prepare(argc), argv)
{
    // The choice was for this process alone: the programs it opens (a browser, a file manager)
    // pick their own platform.
    if (platformForced) {
        qunsetenv("QT_QPA_PLATFORM");
        platformForced = false;
    }
    m_translated = m_qtTexts.load(QStringLiteral("qtbase_zh_CN"), qtTranslationsPath());
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
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Always on in Qt 6.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Nothing here draws with OpenGL (libvlc brings its own): without this, showing the first
    // window loads Qt's GL integration and the system's GL driver, about a third of start-up.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
#else
    // A screen at 125 % or 150 % gets the window at that size, like the other programs on it,
    // rather than at 100 % or 200 % as Qt 5 rounds: at 150 % on a 1080-line screen the doubled
    // window would not fit. The buttons' strips stay sharp and whole at these scales, drawn down
    // from their @2x twins. QT_SCALE_FACTOR_ROUNDING_POLICY still overrides this.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif
    return argc;
}
