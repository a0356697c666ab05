#pragma once

#include "app/SavedEntry.h"
#include "params/AVSettings.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QUrl>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class BatchQueue;
class ConversionJob;
class InputItem;
class QListWidget;
class QThread;

// The file list as the user sees it: one row of the list widget for each job of the queue, in the
// same order, kept in step when files are added, deleted or cleared. Only the rows on screen get
// a row widget showing their job, so that a list of thousands of files holds a screenful of
// widgets. The current row's widget is marked, and the list follows the file being converted.
class FileListView final : public QObject
{
    Q_OBJECT

public:
    FileListView(QListWidget *list, BatchQueue *queue, QObject *parent = nullptr);
    ~FileListView() override;

    int count() const;
    // Null when there is no such row.
    ConversionJob *jobAt(int row) const;
    // Null when no row is current.
    ConversionJob *currentJob() const;
    // Null when the row is not on screen.
    InputItem *rowWidget(int row) const;

    // Lists one file at once: 0, or -1 when the queue refuses it.
    int addFile(const std::string &path, const AVSettings &settings);
    // Lists files a slice of time at a time, so that the window keeps answering while thousands
    // arrive; files of a later call follow those still waiting. A folder stands for the videos
    // in it and its subfolders, gathered on a thread of their own and listed in its place.
    void addFiles(const QStringList &paths, const AVSettings &settings);
    // Lists the rows of a saved list that `load` reads off the window's thread, a slice at a time
    // too, before any file added later; files added meanwhile wait.
    void restoreFrom(std::function<std::vector<SavedEntry>()> load);
    // The same for the local files and folders among dropped URLs.
    void addUrls(const QList<QUrl> &urls, const AVSettings &settings);
    // Files of an earlier addFiles() or restoreFrom() are still waiting to be listed, or a folder
    // or the saved list is still read.
    bool isAdding() const
    {
        return m_loader || m_collector || !m_pendingPaths.isEmpty() ||
               m_nextRestored < m_restored.size();
    }
    void cancelAdding();
    void remove(ConversionJob *job);
    void clear();
    // Gives the rows on screen their widgets and takes them from the others. Runs by itself when
    // the list scrolls or changes its size.
    void refresh();

signals:
    // A row's delete button was clicked.
    void deleteRequested(ConversionJob *job);
    // Rows were added or removed.
    void countChanged(int count);
    // Files began or ended waiting to be listed.
    void addingChanged(bool adding);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addPendingFiles();
    void collectFolder(const QString &folder);
    void stopCollecting();
    void appendRows(int count);
    void setAdding(bool adding);
    void scrollTo(ConversionJob *job);
    void dropWidgetsOutside(int first, int last);
    void markCurrentRow();

    QListWidget *m_list;
    QWidget *m_viewport;
    BatchQueue *m_queue;
    QVector<QPersistentModelIndex> m_shown;
    QStringList m_pendingPaths;
    std::vector<SavedEntry> m_restored;
    size_t m_nextRestored = 0;
    // Reads a saved list; what it read waits in m_loaded until it ends.
    QThread *m_loader = nullptr;
    std::vector<SavedEntry> m_loaded;
    AVSettings m_pendingSettings;
    bool m_adding = false;
    // The thread reading a folder's videos, the flag that stops it, and the number of the last
    // one started, so that the end of one stopped before is told apart.
    QThread *m_collector = nullptr;
    std::shared_ptr<std::atomic<bool>> m_stopCollecting;
    quint64 m_collection = 0;
};
