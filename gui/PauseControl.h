#pragma once

#include <QObject>
#include <QPointer>

class BatchQueue;
class CDlgMessage;
class QPushButton;
class QWidget;

// The batch's pause button ("暂停转码", "继续转码" while paused, usable only while a batch runs),
// and the question the window asks when the output folder's disk is nearly full and the queue has
// paused the batch: go on ("继续") or cancel the batch ("取消转码", told by cancelRequested());
// closed without an answer, it leaves the batch paused.
class PauseControl final : public QObject
{
    Q_OBJECT

public:
    PauseControl(QPushButton *button, BatchQueue *queue, QWidget *window);

    // The disk question on screen, if any.
    CDlgMessage *diskQuestion() const;

signals:
    void cancelRequested();

private:
    void clicked();
    void follow();
    void askAboutDisk(qint64 bytesAvailable, qint64 limit);

    QPushButton *m_button;
    BatchQueue *m_queue;
    QWidget *m_window;
    QPointer<CDlgMessage> m_diskQuestion;
};
