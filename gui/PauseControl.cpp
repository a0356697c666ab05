#include "gui/PauseControl.h"

#include "batch/BatchQueue.h"
#include "batch/FreeSpace.h"
#include "ui/CDlgMessage.h"

#include <QPushButton>

PauseControl::PauseControl(QPushButton *button, BatchQueue *queue, QWidget *window)
    : QObject(window), m_button(button), m_queue(queue), m_window(window)
{
    connect(button, &QPushButton::clicked, this, &PauseControl::clicked);
    connect(queue, &BatchQueue::runningChanged, this, &PauseControl::follow);
    connect(queue, &BatchQueue::pausedChanged, this, &PauseControl::follow);
    connect(queue, &BatchQueue::diskSpaceLow, this, &PauseControl::askAboutDisk);
    follow();
}

void PauseControl::clicked()
{
    if (m_queue->isPaused())
        m_queue->resume();
    else
        m_queue->pause();
}

void PauseControl::follow()
{
    m_button->setEnabled(m_queue->isRunning());
    m_button->setText(m_queue->isPaused() ? QStringLiteral("继续转码")
                                          : QStringLiteral("暂停转码"));
    // The question is moot once the batch goes on or is over.
    if (m_diskQuestion && (!m_queue->isRunning() || !m_queue->isPaused()))
        m_diskQuestion->close();
}

void PauseControl::askAboutDisk(qint64 bytesAvailable, qint64 limit)
{
    if (m_diskQuestion)
        return;
    const qint64 mebibyte = FreeSpace::mebibyte;
    m_diskQuestion = new CDlgMessage(
        m_window, 2,
        QStringLiteral("输出文件夹所在的磁盘快满了！\n剩余 %1 MB，至少需要保留 %2 MB。\n"
                       "转码已暂停，请清理磁盘后继续。\n")
            .arg(bytesAvailable / mebibyte)
            .arg(limit / mebibyte));
    m_diskQuestion->setButtonTexts(QStringLiteral("继续"), QStringLiteral("取消转码"));
    m_diskQuestion->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_diskQuestion, &QDialog::finished, this, [this] {
        // Closed by follow(): the batch went on or ended meanwhile.
        if (!m_queue->isRunning() || !m_queue->isPaused())
            return;
        // Closed without an answer, the batch stays paused for the pause button.
        if (m_diskQuestion->okClicked)
            m_queue->resume();
        else if (m_diskQuestion->cancelClicked)
            emit cancelRequested();
    });
}

CDlgMessage *PauseControl::diskQuestion() const
{
    return m_diskQuestion;
}
