#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// Stamps every turn of the event loop it runs in: a precise timer fires once per turn at most, so
// the time between two firings is how long the loop could not attend to anything. A window that
// answers its user never stalls for long. A 0 ms timer would make the loop a busy loop and take a
// core from the transcoder.
class EventLoopWatch final : public QObject
{
    Q_OBJECT

public:
    // Watches from construction on.
    explicit EventLoopWatch(QObject *parent = nullptr, int intervalMs = 10);

    // Starts a new record.
    void start();
    // The stretch since the last turn counts too: the loop may have been stuck right up to here.
    void stop();
    qint64 longestStallMs() const;
    // Every gap between two turns since start(), in milliseconds.
    const std::vector<double> &gaps() const { return m_gaps; }

private:
    void onTurn();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    std::vector<double> m_gaps;
};
