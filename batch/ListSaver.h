#pragma once

#include "batch/SavedEntry.h"
#include "batch/SavedList.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <vector>

class BatchQueue;

// Keeps the file list on disk as it changes, so that a restart or a crash does not lose it:
// changes are gathered for a moment and written in one go, so that a flood of them (a drop of
// thousands of files, a batch) costs one write. The write (the encoding and the flush to disk of
// a list that may hold thousands of rows) runs on a thread of its own, one after the other.
class ListSaver final : public QObject
{
    Q_OBJECT

public:
    ListSaver(BatchQueue *queue, const QString &fileName, QObject *parent = nullptr);
    // Writes what is still to be written.
    ~ListSaver() override;

    // The saved list as a new start shows it; empty when there is none or it was unusable.
    std::vector<SavedEntry> load() const;
    // Writes the list now, after any write still under way: 0, or SavedList::writeFailed with
    // the previous file kept.
    int saveNow();

private:
    void scheduleSave();
    void saveInBackground();

    BatchQueue *m_queue;
    SavedList m_file;
    QTimer m_timer;
    // One thread, so that writes land in the order they were taken.
    QThreadPool m_writer;
};
