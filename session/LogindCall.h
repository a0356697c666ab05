#pragma once

#include <QDBusMessage>

class QDBusError;
class QString;

// What the session services share about logind (org.freedesktop.login1 on the system bus): its
// address, and the result codes its answers turn into.
class LogindCall final
{
public:
    // No system bus, no logind on it, or a logind without the method.
    static constexpr int noLogind = -201;
    // logind answered with an error: not allowed, authentication refused, another action under way.
    static constexpr int refused = -202;
    // logind did not answer in time.
    static constexpr int timedOut = -204;

    // A call of `method` on logind's manager object.
    static QDBusMessage methodCall(const QString &method);
    // The result code for an error reply or a failed call.
    static int resultFor(const QDBusError &error);
};
