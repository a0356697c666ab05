#pragma once

#include <QDBusConnection>
#include <QObject>

class QString;

// Keeps the machine from sleeping, and from going idle, while a batch runs: a logind inhibitor
// ("sleep:idle", mode "block"). logind hands out a file descriptor and keeps the inhibitor while
// any copy of it is open, so it ends with release(), with this object, and with the process even
// when that is killed. The descriptor is close-on-exec: the transcoders never hold it.
//
// Without logind nothing is held, which is no error for the batch: hold() or holdFinished() says
// noLogind.
//
// Result codes: 0, alreadyHeld (holding twice holds one inhibitor), keepFailed, and LogindCall's
// noLogind, refused and timedOut.
class SleepInhibitor final : public QObject
{
    Q_OBJECT

public:
    static constexpr int alreadyHeld = 103;
    // logind gave an inhibitor but no descriptor was left to keep it with.
    static constexpr int keepFailed = -205;
    static constexpr int timeoutMs = 5000;

    // On the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
    explicit SleepInhibitor(QObject *parent = nullptr);
    explicit SleepInhibitor(const QDBusConnection &bus, QObject *parent = nullptr);
    ~SleepInhibitor() override;

    // What the desktop shows as the reason ("正在转换视频").
    static QString reason();

    // Asks logind for the inhibitor: 0, with holdFinished() to follow; alreadyHeld while one is
    // held or asked for; LogindCall::noLogind at once without a system bus.
    int hold();
    // Gives the inhibitor up; one still being asked for is given up as soon as it arrives.
    void release();
    bool held() const { return m_fd >= 0; }

signals:
    void holdFinished(int result);

private:
    // Keeps a copy of logind's descriptor unless the inhibitor was given up meanwhile.
    bool take(int fd);

    QDBusConnection m_bus;
    int m_fd = -1;
    bool m_asking = false;
    bool m_wanted = false;
};
