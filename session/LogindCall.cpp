#include "session/LogindCall.h"

#include <QDBusError>
#include <QString>

QDBusMessage LogindCall::methodCall(const QString &method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                          QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"), method);
}

int LogindCall::resultFor(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::NoError:
        return 0;
    case QDBusError::Disconnected:
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return noLogind;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
        return timedOut;
    default:
        return refused;
    }
}
