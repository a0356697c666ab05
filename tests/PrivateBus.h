#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A dbus-daemon of the test's own that starts no service by itself and lets every client send to
// and own any name: a stand-in for the session or the system bus that never touches the real ones.
class PrivateBus final
{
public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Starts the daemon unless it runs; false when it cannot be started.
    bool start();
    QString address() const { return m_address; }
    // A connection of its own to the bus, as another program would have; `name` tells it apart.
    QDBusConnection connection(const QString &name);
    // Closes that connection.
    void disconnect(const QString &name);

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};
