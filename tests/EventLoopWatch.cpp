#include "tests/EventLoopWatch.h"

#include <algorithm>

EventLoopWatch::EventLoopWatch(QObject *parent, int intervalMs) : QObject(parent)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(intervalMs);
    connect(&timer, &QTimer::timeout, this, &EventLoopWatch::onTurn);
    start();
}

void EventLoopWatch::start()
{
    m_gaps.clear();
    clock.start();
    lastNs = 0;
    timer.start();
}

void EventLoopWatch::stop()
{
    if (!timer.isActive())
        return;
    timer.stop();
    onTurn();
}

qint64 EventLoopWatch::longestStallMs() const
{
    const double sinceLast = timer.isActive() ? double(clock.nsecsElapsed() - lastNs) / 1e6 : 0;
    const double longest = m_gaps.empty() ? 0 : *std::max_element(m_gaps.begin(), m_gaps.end());
    return qint64(std::max(longest, sinceLast));
}

void EventLoopWatch::onTurn()
{
    const qint64 now = clock.nsecsElapsed();
    m_gaps.push_back(double(now - lastNs) / 1e6);
    lastNs = now;
}
