#include "session/PowerActions.h"
#include "session/LogindCall.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QString>

namespace
{

QString queryMethod(PowerActions::Action action)
{
    return action == PowerActions::Suspend ? QStringLiteral("CanSuspend")
                                           : QStringLiteral("CanPowerOff");
}

QString actionMethod(PowerActions::Action action)
{
    return action == PowerActions::Suspend ? QStringLiteral("Suspend") : QStringLiteral("PowerOff");
}

} // namespace

PowerActions::PowerActions(QObject *parent) : PowerActions(QDBusConnection::systemBus(), parent) {}

PowerActions::PowerActions(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
}

bool PowerActions::offeredBy(const QString &answer)
{
    return answer == QLatin1String("yes") || answer == QLatin1String("challenge");
}

int PowerActions::query()
{
    // A query still under way answers for this one too.
    if (m_pendingQueries > 0)
        return 0;
    m_queried = true;
    m_canSuspend = false;
    m_canPowerOff = false;
    // A call on a bus that is not there would never be answered.
    if (!m_bus.isConnected())
        return LogindCall::noLogind;
    m_pendingQueries = 2;
    ask(Suspend);
    ask(PowerOff);
    return 0;
}

bool PowerActions::offers(Action action) const
{
    return known() && (action == Suspend ? m_canSuspend : m_canPowerOff);
}

void PowerActions::ask(Action action)
{
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(LogindCall::methodCall(queryMethod(action)), queryTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, action](QDBusPendingCallWatcher *answer) {
                const QDBusPendingReply<QString> reply = *answer;
                offered(action) = reply.isValid() && offeredBy(reply.value());
                answer->deleteLater();
                if (--m_pendingQueries == 0)
                    emit offersKnown();
            });
}

int PowerActions::request(Action action)
{
    if (m_requesting)
        return busy;
    if (!offers(action))
        return notOffered;
    if (!m_bus.isConnected())
        return LogindCall::noLogind;
    QDBusMessage call = LogindCall::methodCall(actionMethod(action));
    call << true; // interactive: logind may ask for a password through polkit
    m_requesting = true;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, requestTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, action](QDBusPendingCallWatcher *reply) {
                m_requesting = false;
                const int result = reply->isError() ? LogindCall::resultFor(reply->error()) : 0;
                reply->deleteLater();
                emit requestFinished(action, result);
            });
    return 0;
}
