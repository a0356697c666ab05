#pragma once

#include "batch/DiskSpaceGuard.h"
#include "batch/SavedEntry.h"
#include "convert/FileIdentity.h"
#include "convert/TakenFiles.h"
#include "params/AVSettings.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class ConversionJob;

// The listed jobs in list order, and the rules of a batch over them: which files may join the list,
// the output folder every job writes to, jobs start in list order from the first that is not done
// (one at a time unless more are allowed), a job that cannot be started counts as failed, and the
// results make the summary. It tells which rows came, went or changed, for a view to follow.
class BatchQueue final : public QObject
{
    Q_OBJECT

public:
    // Results: add() or restore() leaves the file out; every listed job is done (start()); the
    // output folder cannot be made or written (start()).
    static constexpr int refused = -1;
    static constexpr int nothingToConvert = 102;
    static constexpr int outputFolderUnusable = -202;

    explicit BatchQueue(QObject *parent = nullptr);
    ~BatchQueue() override;

    int count() const { return int(m_entries.size()); }
    // Null when there is no such row.
    ConversionJob *at(int row) const;
    // -1 when the job is not listed.
    int rowOf(const ConversionJob *job) const;
    // Byte-exact comparison of input paths.
    bool isListed(const std::string &inputPath) const;
    // Whether a file of this type may join the list: a dot and a suffix, in any case, one of the
    // accepted video types.
    static bool isSupportedInput(const std::string &dotSuffix);
    // Lists the file at `path` with its own copy of `settings`: 0, or refused (nothing there, a
    // type not taken, listed already, or refused by the job).
    int add(const std::string &path, const AVSettings &settings);
    // Lists a job; the queue takes the end of each of its runs.
    ConversionJob *append(std::unique_ptr<ConversionJob> job);
    // Lists a file as a saved list kept it, whether or not it still exists: 0, or refused when it
    // is listed already. Not a change of what is saved: no recordChanged().
    int restore(const SavedEntry &entry);
    // Rows listed between these two calls are told as one rowsInserted() at the end, so that a
    // view lays itself out once for a whole slice of files. Calls nest.
    void beginInsertions();
    void endInsertions();
    // What a saved list keeps of every listed job, in list order.
    std::vector<SavedEntry> savedEntries() const;
    void removeAt(int row);
    void clear();

    // Gives every listed job these settings.
    void applyToAll(const AVSettings &settings);

    // The folder every job writes its output to.
    QString outputDirectory() const;
    void setOutputDirectory(const QString &directory);

    // True from a successful start() until the batch ends by itself or by stop().
    bool isRunning() const { return m_running; }
    // Jobs of the batch converting now.
    int runningCount() const { return m_active.size(); }
    // How many jobs a batch converts at once: 1 and up, or 0 for automaticRunning(). 1 unless
    // set.
    int maxRunning() const { return m_maxRunning; }
    void setMaxRunning(int jobs);
    // The number that keeps every core of this machine busy without crowding them, and that of
    // a machine of `cores` cores.
    static int automaticRunning();
    static int automaticRunning(int cores);
    // Starts the first job that is not done, once the output folder is there (it is made when
    // missing), and the ones after it while slots are free: 0, nothingToConvert,
    // outputFolderUnusable (see folderProblem()), or the first job's start failure. The jobs and
    // the results are left as they were unless it returns 0.
    int start();
    // Why the output folder could not be used by the last start().
    const QString &folderProblem() const { return m_folderProblem; }
    // Ends the batch early: every job that is not done ends up cancelled, nothing is recorded
    // after this.
    void stop();
    // Holds the batch: its running transcoders are stopped, and a job whose source is still
    // probed or that starts meanwhile starts no transcoder, until resume(). Only while a batch
    // runs; it ends with the batch.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }
    // The batch's files done and its running files' shares, over its files (0 to 1), and how many
    // of its files are not done.
    double batchProgress() const;
    int filesLeft() const { return qMax(m_batchFiles - succeededCount() - failedCount(), 0); }
    // How often the free space of the output folder is read while a batch runs.
    void setDiskCheckInterval(int ms) { m_diskGuard->setInterval(ms); }
    ConversionJob *findStartable(int row) const;
    ConversionJob *findStartableAfter(const ConversionJob *job) const;

    int succeededCount() const { return m_succeededFiles.size(); }
    int failedCount() const { return m_failedFiles.size(); }
    // Jobs of the list without a result in this batch.
    int cancelledCount() const { return count() - succeededCount() - failedCount(); }
    // The counts, each failed file with its reason, then each file Done with a warning.
    QString summaryText() const;
    void clearResults();

signals:
    // A job of the batch has started its run.
    void jobStarted(ConversionJob *job);
    // The batch has ended by itself: no startable job is left after the last one that ended.
    void finished();
    // A batch has started, or ended by itself or by stop(); sent before finished().
    void runningChanged(bool running);
    void pausedChanged(bool paused);
    // The output folder's file system has less room than FreeSpace's limit, read before the batch
    // or while it runs: the batch has paused itself. Told once until the room is back.
    void diskSpaceLow(qint64 bytesAvailable, qint64 limit);
    // batchProgress() or filesLeft() changed.
    void progressChanged();
    // Rows `first` to `last` were listed, were taken out (the rows after them move up), or what
    // they show changed (state, reason, settings).
    void rowsInserted(int first, int last);
    void rowsRemoved(int first, int last);
    void rowsChanged(int first, int last);
    // What a saved list keeps changed: rows were added, removed or changed, but not restored.
    void recordChanged();

private slots:
    // A job's run ended by itself: its result is recorded and the next startable jobs start;
    // finished() follows when none is left converting.
    void jobEnded(ConversionJob *job);
    // What a saved list keeps of a job changed.
    void jobRecordChanged();

private:
    // A listed job and the files it takes: its input, and the output of its last start. They are
    // looked up on disk once each, so that a start costs the same however long the list is.
    struct Entry {
        std::unique_ptr<ConversionJob> job;
        FileIdentity input;
        std::optional<FileIdentity> output;
    };

    ConversionJob *appendEntry(std::unique_ptr<ConversionJob> job);
    Entry *entryOf(const ConversionJob *job);
    void takeOutput(Entry &entry);
    void releaseOutput(Entry &entry);
    int startJob(ConversionJob *job);
    void fillSlots();
    int runningLimit() const;
    void record(const ConversionJob *job, const QString &errorText);
    void endBatch();
    void listed();
    void tellInsertions();

    std::vector<Entry> m_entries;
    // Every input and every output of the list, where no output may land.
    TakenFiles m_taken;
    std::unordered_set<std::string> m_listedPaths;
    QMap<QString, QString> m_succeededFiles;
    QMap<QString, QString> m_failedFiles;
    // Files Done with a warning, such as a source that ended before its declared length.
    QMap<QString, QString> m_warnedFiles;
    QString m_outputDirectory;
    QString m_folderProblem;
    bool m_running = false;
    bool m_paused = false;
    DiskSpaceGuard *m_diskGuard;
    // The files the running batch set out to convert.
    int m_batchFiles = 0;
    // The jobs of this batch that convert now, and the row to look for the next one from.
    QSet<ConversionJob *> m_active;
    int m_nextRow = 0;
    int m_maxRunning = 1;
    // Open beginInsertions() calls, and the first row listed since the outermost one.
    int m_insertionDepth = 0;
    int m_firstUntold = -1;
};
