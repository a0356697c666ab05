#include "ui/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace
{

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent)
{
}

DesktopNotifier::DesktopNotifier(const QDBusConnection &connection, QObject *parent)
    : QObject(parent), m_bus(connection)
{
}

QString DesktopNotifier::summaryText()
{
    return QStringLiteral("转码任务完成");
}

QString DesktopNotifier::bodyText(int succeeded, int failed, int cancelled)
{
    QString text = QStringLiteral("成功：%1 个，失败：%2 个").arg(succeeded).arg(failed);
    if (cancelled > 0)
        text += QStringLiteral("，取消：%1 个").arg(cancelled);
    return text;
}

void DesktopNotifier::batchFinished(int succeeded, int failed, int cancelled)
{
    if (!m_bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("Notify"));
    // The desktop entry ties the notice to the program's menu entry and icon.
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("quellix")}};
    call << QStringLiteral("Quellix视频格式转换") << m_shownId << QStringLiteral("quellix")
         << summaryText() << bodyText(succeeded, failed, cancelled) << QStringList() << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            m_shownId = reply.value();
        w->deleteLater();
    });
}
