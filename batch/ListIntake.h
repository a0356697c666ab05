#pragma once

#include "batch/SavedEntry.h"
#include "params/AVSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class BatchQueue;
class QElapsedTimer;
class QThread;

// How files reach the list: a saved list and dropped folders are read off the window's thread,
// and what was read is handed to the queue a slice of time at a time, so that the window keeps
// answering while thousands of files arrive. The queue tells its views what was listed.
class ListIntake final : public QObject
{
    Q_OBJECT

public:
    explicit ListIntake(BatchQueue *queue, QObject *parent = nullptr);
    ~ListIntake() override;

    // Lists files and, in their place, the videos of folders (and their subfolders), each with
    // its own copy of `settings`, after those still waiting; the queue refuses what it refuses.
    void addPaths(const QStringList &paths, const AVSettings &settings);
    // Lists the rows of a saved list that `load` reads off the window's thread, before any file
    // added meanwhile.
    void restore(std::function<std::vector<SavedEntry>()> load);
    // Files are still waiting to be listed, or a folder or the saved list is still read.
    bool isAdding() const;
    // Forgets what still waits; a folder being read is given up.
    void cancel();

signals:
    // Files began or ended waiting to be listed.
    void addingChanged(bool adding);

private:
    struct Pending {
        QString path;
        AVSettings settings;
    };

    void takeSlice();
    bool restoreSlice(const QElapsedTimer &slice);
    QString addSlice(const QElapsedTimer &slice);
    void collectFolder(const QString &folder, const AVSettings &settings);
    void stopCollecting();
    void updateAdding();

    BatchQueue *m_queue;
    std::deque<Pending> m_pending;
    std::vector<SavedEntry> m_restored;
    size_t m_nextRestored = 0;
    // Reads a saved list; what it read waits in m_loaded until it ends.
    QThread *m_loader = nullptr;
    std::vector<SavedEntry> m_loaded;
    bool m_adding = false;
    // The thread reading a folder's videos, the flag that stops it, and the number of the last
    // one started, so that the end of one stopped before is told apart.
    QThread *m_collector = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopCollecting;
    quint64 m_collection = 0;
};
