#include "session/BatchSession.h"

#include "batch/BatchQueue.h"
#include "session/LauncherEntry.h"
#include "session/SleepInhibitor.h"

BatchSession::BatchSession(BatchQueue *queue, QObject *parent)
    : QObject(parent), m_queue(queue), m_inhibitor(new SleepInhibitor(this)),
      m_entry(new LauncherEntry(this))
{
    connect(queue, &BatchQueue::runningChanged, this, &BatchSession::followRunning);
    connect(queue, &BatchQueue::progressChanged, this, &BatchSession::showProgress);
}

BatchSession::~BatchSession() = default;

void BatchSession::followRunning(bool running)
{
    // Neither service is needed for the batch: what they answer is not waited for.
    if (running) {
        m_inhibitor->hold();
        showProgress();
    } else {
        m_inhibitor->release();
        m_entry->clear();
    }
}

void BatchSession::showProgress()
{
    if (m_queue->isRunning())
        m_entry->show(m_queue->batchProgress(), m_queue->filesLeft());
}
