#pragma once

#include <QObject>
#include <QString>

class QTimer;

// Watches the free space of the output folder while a batch runs: spaceLow() when it falls under
// FreeSpace's limit, so that the transcoders can be paused before the disk is full, and
// spaceRecovered() once a quarter of the limit more is free again. Each is said once per crossing.
class DiskSpaceGuard final : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultIntervalMs = 10000;

    explicit DiskSpaceGuard(QObject *parent = nullptr);

    // Checks `folder` now and then every interval: 0, or FreeSpace::folderUnusable (the guard
    // then does not run).
    int start(const QString &folder);
    void stop();
    bool running() const;
    void setInterval(int ms);

    // Measures now, telling a crossing as the timer would: 0, or FreeSpace::folderUnusable (the
    // state is kept as it was).
    int check();
    bool low() const { return m_low; }
    qint64 limit() const { return m_limit; }
    qint64 lastAvailable() const { return m_available; }

signals:
    void spaceLow(qint64 bytesAvailable, qint64 limit);
    void spaceRecovered(qint64 bytesAvailable);

private:
    QTimer *m_timer;
    QString m_folder;
    qint64 m_limit = 0;
    qint64 m_available = 0;
    bool m_low = false;
};
