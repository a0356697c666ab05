#pragma once

#include <QDBusConnection>
#include <QObject>

class QString;

// Suspends or powers off the machine through logind. Which of the two this user may do is asked
// first (query()); an action is offered when logind answers "yes" or "challenge" (it will ask for
// a password), not when it answers "no" or "na" or is not there.
//
// Every call is asynchronous, since logind may take its time (an interactive request waits for
// the user to authenticate): the answers come as signals. The batch's sleep inhibitor is released
// before a suspend is asked for, so that nothing of the program's own stands in its way.
//
// Result codes: 0, busy (a request is already under way), notOffered, and LogindCall's noLogind,
// refused and timedOut.
class PowerActions final : public QObject
{
    Q_OBJECT

public:
    enum Action { Suspend = 0, PowerOff = 1 };

    static constexpr int busy = 103;
    static constexpr int notOffered = -203;
    // logind answers at once when asked what the user may do ...
    static constexpr int queryTimeoutMs = 5000;
    // ... but an interactive request may wait for a password.
    static constexpr int requestTimeoutMs = 120000;

    // On the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
    explicit PowerActions(QObject *parent = nullptr);
    explicit PowerActions(const QDBusConnection &bus, QObject *parent = nullptr);

    // Whether logind's answer to CanSuspend or CanPowerOff offers the action.
    static bool offeredBy(const QString &answer);

    // Asks logind which actions it offers: 0, and offersKnown() follows with both answers in; or
    // LogindCall::noLogind at once without a system bus (known(), nothing offered, no signal).
    int query();
    bool known() const { return m_pendingQueries == 0 && m_queried; }
    bool offers(Action action) const;

    // Asks logind to take the action, interactively; requestFinished() tells the outcome unless
    // this returns an error. Only an action logind has offered is asked for.
    int request(Action action);

signals:
    void offersKnown();
    void requestFinished(int action, int result);

private:
    void ask(Action action);
    bool &offered(Action action) { return action == Suspend ? m_canSuspend : m_canPowerOff; }

    QDBusConnection m_bus;
    bool m_canSuspend = false;
    bool m_canPowerOff = false;
    int m_pendingQueries = 0;
    bool m_queried = false;
    bool m_requesting = false;
};
