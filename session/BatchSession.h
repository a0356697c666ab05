#pragma once

#include <QObject>

class BatchQueue;
class LauncherEntry;
class SleepInhibitor;

// What the desktop session learns of a batch while it runs: the machine is kept from sleeping
// (logind's inhibitor, given up when the batch ends or is cancelled) and the taskbar entry shows
// the batch's progress and its files left (cleared when it ends). Without logind or a session bus
// the batch runs all the same.
class BatchSession final : public QObject
{
    Q_OBJECT

public:
    // On the system and the session bus.
    explicit BatchSession(BatchQueue *queue, QObject *parent = nullptr);
    ~BatchSession() override;

private:
    void followRunning(bool running);
    void showProgress();

    BatchQueue *m_queue;
    SleepInhibitor *m_inhibitor;
    LauncherEntry *m_entry;
};
