#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Measures how long the event loop of the GUI thread stood still at most while the watch runs:
// a window that answers its user never stalls for long.
class EventLoopWatch final : public QObject
{
    Q_OBJECT

public:
    explicit EventLoopWatch(QObject *parent = nullptr);

    qint64 longestStallMs() const { return longest; }

private:
    void beat();

    QTimer timer;
    QElapsedTimer sinceLastBeat;
    qint64 longest = 0;
};
