#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

namespace
{

// What the running program answers once it has taken the paths.
constexpr char taken = '1';
// A later start that sends nothing whole within this time is given up.
constexpr int readLimitMs = 5000;

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent), m_name(name)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    // The display names the session: two X servers of one user are two desktops.
    QByteArray display = qgetenv("WAYLAND_DISPLAY") + '|' + qgetenv("DISPLAY");
    const QString session = QString::fromLatin1(
        QCryptographicHash::hash(display, QCryptographicHash::Sha1).toHex().left(12));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QStringLiteral("/quellix-%1-%2").arg(getuid()).arg(session);
}

int SingleInstance::handOver(const QStringList &paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return noneRunning;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << paths;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return notAnswered;
    while (socket.bytesAvailable() == 0) {
        if (!socket.waitForReadyRead(timeoutMs))
            return notAnswered;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == taken ? 0 : notAnswered;
}

int SingleInstance::listen()
{
    if (m_server)
        return 0;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    if (m_server->listen(m_name))
        return 0;
    // Nothing answered on it (the caller tried first), so the socket is a crashed run's.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name) ? 0 : -1;
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // A start that never finishes its message holds nothing for long.
        QTimer::singleShot(readLimitMs, socket, &QLocalSocket::abort);
        readFrom(socket);
    }
}

// The whole list or nothing: a message may come in pieces.
void SingleInstance::readFrom(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QStringList paths;
    in >> paths;
    if (!in.commitTransaction())
        return;
    socket->putChar(taken);
    socket->flush();
    socket->disconnectFromServer();
    emit pathsReceived(paths);
}
