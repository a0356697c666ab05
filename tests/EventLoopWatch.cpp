#include "tests/EventLoopWatch.h"

#include <algorithm>

EventLoopWatch::EventLoopWatch(QObject *parent, int intervalMs) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &EventLoopWatch::onTurn);
    start();
}

void EventLoopWatch::start()
{
    m_gaps.clear();
    m_clock.start();
    m_lastNs = 0;
    m_timer.start();
}

void EventLoopWatch::stop()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    onTurn();
}

qint64 EventLoopWatch::longestStallMs() const
{
    const double sinceLast =
        m_timer.isActive() ? double(m_clock.nsecsElapsed() - m_lastNs) / 1e6 : 0;
    const double longest = m_gaps.empty() ? 0 : *std::max_element(m_gaps.begin(), m_gaps.end());
    return qint64(std::max(longest, sinceLast));
}

void EventLoopWatch::onTurn()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_gaps.push_back(double(now - m_lastNs) / 1e6);
    m_lastNs = now;
}
