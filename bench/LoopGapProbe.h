#pragma once

#include "bench/Samples.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Stamps every turn of the event loop it runs in: a precise 1 ms timer fires once per turn at
// most, so the time between two firings is how long the loop could not attend to anything.
// A 0 ms timer would turn the loop into a busy loop and take a core from the transcoder.
class LoopGapProbe final : public QObject
{
    Q_OBJECT

public:
    explicit LoopGapProbe(QObject *parent = nullptr);

    void start();
    void stop();
    // Gaps between consecutive turns in milliseconds, since the last start().
    const Samples &gaps() const { return m_gaps; }

private:
    void onTurn();

    QTimer timer;
    QElapsedTimer clock;
    qint64 lastNs = 0;
    Samples m_gaps;
};
