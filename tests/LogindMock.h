#pragma once

#include "tests/PrivateBus.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

class QDBusMessage;

// logind as python3-dbusmock's template plays it, on a private bus that the program under test
// takes for the system bus. The template answers CanSuspend, CanPowerOff and the like as its
// parameters say ("yes" when not given), records every call, and hands out a real inhibitor: the
// writing end of a pipe whose reading end it watches, dropping the inhibitor from ListInhibitors
// once every copy of that end is closed.
class LogindMock final
{
public:
    struct Inhibitor {
        QString what;
        QString who;
        QString why;
        QString mode;
    };

    LogindMock() = default;
    ~LogindMock();
    LogindMock(const LogindMock &) = delete;
    LogindMock &operator=(const LogindMock &) = delete;

    // Starts the bus unless it runs, then logind on it with the template's `parameters`
    // ({"CanSuspend": "challenge"}, ...), replacing a logind started before. False, with the
    // reason in lastError(), when either cannot be started.
    bool start(const QVariantMap &parameters = {});
    // logind leaves the bus; the bus stays.
    void stopService();
    // Points DBUS_SYSTEM_BUS_ADDRESS at the bus, for this process (before its first use of the
    // system bus) and the programs it starts.
    void exportAsSystemBus() const;
    QString address() const { return m_bus.address(); }
    QString lastError() const { return m_error; }

    // Replaces a method of logind's manager by Python code (dbusmock's AddMethod; `args` holds the
    // arguments, `ret` the answer).
    bool setMethod(const QString &name, const QString &inSignature, const QString &outSignature,
                   const QString &code);
    // The arguments of each call of `method` since the start or clearCalls().
    QList<QVariantList> calls(const QString &method);
    bool clearCalls();
    // The inhibitors logind holds now.
    QList<Inhibitor> inhibitors();
    // How many; -1 when logind does not answer.
    int inhibitorCount();

private:
    QDBusMessage call(const QString &interface, const QString &method, const QVariantList &args);
    bool readInhibitors(QList<Inhibitor> &found);

    PrivateBus m_bus;
    QProcess m_service;
    QString m_error;
};
