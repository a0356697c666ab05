#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

// A private session bus with a stand-in for the desktop's notification service: a dbus-daemon of
// the test's own, which starts no service by itself, and an object on it that records every Notify
// call. The desktop's real bus is never touched.
class NotificationStub final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification {
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };

    explicit NotificationStub(QObject *parent = nullptr);
    ~NotificationStub() override;

    // Starts the bus; false when dbus-daemon cannot be started.
    bool startBus();
    // The bus's address, for QDBusConnection::connectToBus.
    QString address() const { return m_busAddress; }
    // A connection of its own to the bus, as another program would have; `name` tells it apart.
    QDBusConnection connection(const QString &name);
    // Takes the service's name on the bus and answers its calls from now on.
    bool registerService();
    void unregisterService();

    QList<Notification> received;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout);
    QStringList GetCapabilities();

signals:
    void notified();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_busAddress;
    QString m_serviceConnection;
    QStringList m_connectionNames;
};
