#include "session/SleepInhibitor.h"
#include "session/LogindCall.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

SleepInhibitor::SleepInhibitor(QObject *parent)
    : SleepInhibitor(QDBusConnection::systemBus(), parent)
{
}

SleepInhibitor::SleepInhibitor(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

SleepInhibitor::~SleepInhibitor()
{
    release();
}

QString SleepInhibitor::reason()
{
    return QStringLiteral("正在转换视频");
}

int SleepInhibitor::hold()
{
    m_wanted = true;
    if (m_asking || held())
        return alreadyHeld;
    // A call on a bus that is not there would never be answered.
    if (!m_bus.isConnected())
        return LogindCall::noLogind;
    QDBusMessage call = LogindCall::methodCall(QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Quellix") << reason()
         << QStringLiteral("block");
    m_asking = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, timeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *answer) {
                m_asking = false;
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answer;
                int result = 0;
                if (reply.isError())
                    result = LogindCall::resultFor(reply.error());
                else if (!reply.value().isValid())
                    result = LogindCall::refused;
                else if (!take(reply.value().fileDescriptor()))
                    result = keepFailed;
                answer->deleteLater();
                emit holdFinished(result);
            });
    return 0;
}

void SleepInhibitor::release()
{
    m_wanted = false;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool SleepInhibitor::take(int fd)
{
    if (!m_wanted)
        return true;
    // The reply's own copy closes with the reply; this one stays until release().
    m_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return m_fd >= 0;
}
