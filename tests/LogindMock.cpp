#include "LogindMock.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

namespace
{

const QString serviceName = QStringLiteral("org.freedesktop.login1");
const QString objectPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString mockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString connectionName = QStringLiteral("logind-mock-control");
constexpr int startTimeoutMs = 10000;

} // namespace

LogindMock::~LogindMock()
{
    stopService();
}

bool LogindMock::start(const QVariantMap &parameters)
{
    stopService();
    if (!m_bus.start()) {
        m_error = QStringLiteral("dbus-daemon could not be started");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_bus.address());
    m_service.setProcessEnvironment(environment);
    // Its log of calls would go to standard output; its complaints stay visible.
    m_service.setStandardOutputFile(QProcess::nullDevice());
    m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's Python, where python3-dbusmock is installed, whatever python3 comes first in PATH.
    m_service.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                     QStringLiteral("logind"), QStringLiteral("--parameters"),
                     QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(parameters))
                                           .toJson(QJsonDocument::Compact))});
    if (!m_service.waitForStarted(startTimeoutMs)) {
        m_error = QStringLiteral("/usr/bin/python3 could not be started");
        return false;
    }
    QDBusConnectionInterface *names = m_bus.connection(connectionName).interface();
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!names->isServiceRegistered(serviceName)) {
        if (m_service.state() == QProcess::NotRunning || deadline.hasExpired()) {
            m_error = QStringLiteral("the mock logind did not come up: is python3-dbusmock "
                                     "installed (scripts/deps.sh test)?");
            stopService();
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}

void LogindMock::stopService()
{
    if (m_service.state() == QProcess::NotRunning)
        return;
    m_service.terminate();
    if (!m_service.waitForFinished(5000)) {
        m_service.kill();
        m_service.waitForFinished(5000);
    }
    // Its name leaves the bus with its connection.
    QDBusConnectionInterface *names = m_bus.connection(connectionName).interface();
    const QDeadlineTimer deadline(startTimeoutMs);
    while (names->isServiceRegistered(serviceName) && !deadline.hasExpired())
        QThread::msleep(20);
}

void LogindMock::exportAsSystemBus() const
{
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address().toLocal8Bit());
}

QDBusMessage LogindMock::call(const QString &interface, const QString &method,
                              const QVariantList &args)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(serviceName, objectPath, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = m_bus.connection(connectionName).call(message);
    if (reply.type() == QDBusMessage::ErrorMessage)
        m_error = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    return reply;
}

bool LogindMock::setMethod(const QString &name, const QString &inSignature,
                           const QString &outSignature, const QString &code)
{
    return call(mockInterface, QStringLiteral("AddMethod"),
                {managerInterface, name, inSignature, outSignature, code})
               .type() == QDBusMessage::ReplyMessage;
}

QList<QVariantList> LogindMock::calls(const QString &method)
{
    QList<QVariantList> found;
    const QDBusMessage reply = call(mockInterface, QStringLiteral("GetMethodCalls"), {method});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return found;
    // a(tav): when, and the arguments.
    const auto list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        qulonglong when = 0;
        QVariantList args;
        list.beginStructure();
        list >> when >> args;
        list.endStructure();
        found << args;
    }
    list.endArray();
    return found;
}

bool LogindMock::clearCalls()
{
    return call(mockInterface, QStringLiteral("ClearCalls"), {}).type() ==
           QDBusMessage::ReplyMessage;
}

QList<LogindMock::Inhibitor> LogindMock::inhibitors()
{
    QList<Inhibitor> found;
    readInhibitors(found);
    return found;
}

int LogindMock::inhibitorCount()
{
    QList<Inhibitor> found;
    return readInhibitors(found) ? int(found.size()) : -1;
}

bool LogindMock::readInhibitors(QList<Inhibitor> &found)
{
    const QDBusMessage reply = call(managerInterface, QStringLiteral("ListInhibitors"), {});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    // a(ssssuu): what, who, why, mode, user, process.
    const auto list = reply.arguments().constFirst().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        Inhibitor inhibitor;
        uint user = 0;
        uint process = 0;
        list.beginStructure();
        list >> inhibitor.what >> inhibitor.who >> inhibitor.why >> inhibitor.mode >> user >>
            process;
        list.endStructure();
        found << inhibitor;
    }
    list.endArray();
    return true;
}
