#include "player/VideoOutputInit.h"

#include <QtGlobal>

#ifdef Q_OS_LINUX
// Xlib's macros clash with Qt's headers: keep it in this file alone.
#include <X11/Xlib.h>
#endif

void initVideoOutput()
{
#ifdef Q_OS_LINUX
    XInitThreads();
#endif
}
