#include "EventLoopWatch.h"

#include <QtGlobal>

namespace
{
constexpr int beatMs = 10;
} // namespace

EventLoopWatch::EventLoopWatch(QObject *parent) : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &EventLoopWatch::beat);
    sinceLastBeat.start();
    timer.start(beatMs);
}

void EventLoopWatch::beat()
{
    longest = qMax(longest, sinceLastBeat.restart());
}
