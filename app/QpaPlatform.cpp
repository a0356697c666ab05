#include "app/QpaPlatform.h"

QByteArray qpaPlatformFor(const QByteArray &chosen, const QByteArray &sessionType,
                          const QByteArray &waylandDisplay)
{
    if (!chosen.isEmpty())
        return QByteArray();
    if (sessionType.toLower() == "wayland" || !waylandDisplay.isEmpty())
        return QByteArrayLiteral("xcb");
    return QByteArray();
}
