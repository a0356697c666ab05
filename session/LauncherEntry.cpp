#include "session/LauncherEntry.h"

#include <QDBusMessage>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

LauncherEntry::LauncherEntry(QObject *parent) : LauncherEntry(QDBusConnection::sessionBus(), parent)
{
}

LauncherEntry::LauncherEntry(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus), m_delay(new QTimer(this))
{
    m_delay->setSingleShot(true);
    connect(m_delay, &QTimer::timeout, this, &LauncherEntry::send);
}

LauncherEntry::~LauncherEntry()
{
    if (m_sent.progressVisible || m_sent.countVisible)
        clear();
}

QString LauncherEntry::appUri()
{
    return QStringLiteral("application://quellix.desktop");
}

QString LauncherEntry::objectPath()
{
    return QStringLiteral("/org/quellix/Quellix/LauncherEntry");
}

int LauncherEntry::show(double progress, qint64 filesLeft)
{
    if (!m_bus.isConnected())
        return noBus;
    m_progress = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    m_wanted = {int(std::floor(m_progress * 100)), std::max<qint64>(filesLeft, 0), true,
                filesLeft > 0};
    if (alike(m_wanted, m_sent) || m_delay->isActive())
        return 0;
    const qint64 since = m_sinceSent.isValid() ? m_sinceSent.elapsed() : m_intervalMs;
    if (since < m_intervalMs) {
        m_delay->start(int(m_intervalMs - since));
        return 0;
    }
    return send();
}

int LauncherEntry::clear()
{
    if (!m_bus.isConnected())
        return noBus;
    m_delay->stop();
    m_wanted.progressVisible = false;
    m_wanted.countVisible = false;
    return send();
}

void LauncherEntry::setMinimumInterval(int ms)
{
    m_intervalMs = std::max(ms, 0);
}

bool LauncherEntry::alike(const Look &a, const Look &b)
{
    return a.progressVisible == b.progressVisible && a.countVisible == b.countVisible &&
           (!a.progressVisible || a.percent == b.percent) &&
           (!a.countVisible || a.count == b.count);
}

int LauncherEntry::send()
{
    if (alike(m_wanted, m_sent))
        return 0;
    QDBusMessage signal = QDBusMessage::createSignal(
        objectPath(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    const QVariantMap properties{
        {QStringLiteral("progress"), m_progress},
        {QStringLiteral("progress-visible"), m_wanted.progressVisible},
        {QStringLiteral("count"), m_wanted.count},
        {QStringLiteral("count-visible"), m_wanted.countVisible},
    };
    signal << appUri() << properties;
    if (!m_bus.send(signal))
        return noBus;
    m_sent = m_wanted;
    m_sinceSent.start();
    return 0;
}
