#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One running program per user and display: a later start hands the files and folders it was
// given to the running one through a local socket, and ends.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    // Results of handOver().
    static constexpr int noneRunning = 103;
    static constexpr int notAnswered = -104;

    // `name` is the socket's path; defaultName() unless the caller knows better.
    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // The socket of this user on this display, in the user's runtime folder.
    static QString defaultName();

    // Gives `paths` (possibly none) to a running program and waits for it to take them: 0;
    // noneRunning when nothing listens; notAnswered when a program listens but did not take them
    // within `timeoutMs`.
    int handOver(const QStringList &paths, int timeoutMs = 3000);
    // Listens for later starts. A socket left by a program that ended without removing it is
    // replaced. 0, or -1 when the socket cannot be made.
    int listen();

signals:
    // A later start handed these over (none when it only asked for the window).
    void pathsReceived(const QStringList &paths);

private:
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_name;
    QLocalServer *m_server = nullptr;
};
