#include "bench/LoopGapProbe.h"

namespace
{
constexpr int turnIntervalMs = 1;
}

LoopGapProbe::LoopGapProbe(QObject *parent) : QObject(parent)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(turnIntervalMs);
    connect(&timer, &QTimer::timeout, this, &LoopGapProbe::onTurn);
}

void LoopGapProbe::start()
{
    m_gaps = Samples();
    clock.start();
    lastNs = 0;
    timer.start();
}

void LoopGapProbe::stop()
{
    timer.stop();
    // The stretch since the last turn counts too: the loop may have been stuck right up to here.
    onTurn();
}

void LoopGapProbe::onTurn()
{
    const qint64 now = clock.nsecsElapsed();
    m_gaps.add(double(now - lastNs) / 1e6);
    lastNs = now;
}
