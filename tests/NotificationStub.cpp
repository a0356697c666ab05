#include "NotificationStub.h"

#include <QDBusConnectionInterface>
#include <QFile>

namespace
{

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString servicePath = QStringLiteral("/org/freedesktop/Notifications");

// A session bus that lets everyone send and own anything and has no service folders, so that no
// notification daemon installed on the machine can be started on it.
const char *const busConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

NotificationStub::NotificationStub(QObject *parent) : QObject(parent) {}

NotificationStub::~NotificationStub()
{
    unregisterService();
    for (const QString &name : m_connectionNames)
        QDBusConnection::disconnectFromBus(name);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
}

bool NotificationStub::startBus()
{
    if (!m_dir.isValid())
        return false;
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(busConfig) < 0)
        return false;
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address"),
                    QStringLiteral("--nofork")});
    if (!m_daemon.waitForStarted(10000))
        return false;
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(10000))
            return false;
    }
    m_busAddress = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
    return !m_busAddress.isEmpty();
}

QDBusConnection NotificationStub::connection(const QString &name)
{
    m_connectionNames << name;
    return QDBusConnection::connectToBus(m_busAddress, name);
}

bool NotificationStub::registerService()
{
    m_serviceConnection = QStringLiteral("notification-service");
    QDBusConnection bus = connection(m_serviceConnection);
    return bus.isConnected() &&
           bus.registerObject(servicePath, this, QDBusConnection::ExportAllSlots) &&
           bus.registerService(serviceName);
}

void NotificationStub::unregisterService()
{
    if (m_serviceConnection.isEmpty())
        return;
    QDBusConnection bus(m_serviceConnection);
    bus.unregisterService(serviceName);
    bus.unregisterObject(servicePath);
    QDBusConnection::disconnectFromBus(m_serviceConnection);
    m_serviceConnection.clear();
}

uint NotificationStub::Notify(const QString &appName, uint replacesId, const QString &appIcon,
                              const QString &summary, const QString &body,
                              const QStringList &actions, const QVariantMap &hints,
                              int expireTimeout)
{
    received.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
    emit notified();
    // Ids are never 0, which asks for a new notice.
    return replacesId != 0 ? replacesId : uint(received.size());
}

QStringList NotificationStub::GetCapabilities()
{
    return {QStringLiteral("body")};
}
