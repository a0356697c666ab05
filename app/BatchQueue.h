#pragma once

#include "convert/FileIdentity.h"
#include "convert/TakenFiles.h"

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class ConversionJob;

// The listed jobs in list order, and the rules of a batch over them: jobs run strictly one after
// another from the first that is not done, a job that cannot be started counts as failed, and the
// results make the summary.
class BatchQueue final : public QObject
{
    Q_OBJECT

public:
    // Results of start(): every listed job is done; the output folder cannot be made or written.
    static constexpr int nothingToConvert = 102;
    static constexpr int outputFolderUnusable = -202;

    explicit BatchQueue(QObject *parent = nullptr);
    ~BatchQueue() override;

    int count() const { return int(entries.size()); }
    // Null when there is no such row.
    ConversionJob *at(int row) const;
    // -1 when the job is not listed.
    int rowOf(const ConversionJob *job) const;
    // Byte-exact comparison of input paths.
    bool isListed(const std::string &inputPath) const;
    ConversionJob *append(std::unique_ptr<ConversionJob> job);
    void removeAt(int row);
    void clear();

    bool isRunning() const { return running; }
    // Starts the first job that is not done, once the output folder is there (it is made when
    // missing): 0, nothingToConvert, outputFolderUnusable (see folderProblem()), or the job's
    // start failure. The jobs and the results are left as they were unless it returns 0.
    int start();
    // Why the output folder could not be used by the last start().
    const QString &folderProblem() const { return m_folderProblem; }
    // Ends the batch early: every job that is not done ends up cancelled, nothing is recorded
    // after this.
    void stop();
    // A job's run ended by itself: its result is recorded and the next startable job after it
    // starts; finished() follows when there is none.
    void jobEnded(ConversionJob *job);
    ConversionJob *findStartable(int row) const;
    ConversionJob *findStartableAfter(const ConversionJob *job) const;

    int succeededCount() const { return succeededFiles.size(); }
    int failedCount() const { return failedFiles.size(); }
    // Jobs of the list without a result in this batch.
    int cancelledCount() const { return count() - succeededCount() - failedCount(); }
    QString summaryText() const;
    void clearResults();

signals:
    // A job of the batch has started its run.
    void jobStarted(ConversionJob *job);
    // The batch has ended by itself: no startable job is left after the last one that ended.
    void finished();

private:
    // A listed job and the files it takes: its input, and the output of its last start. They are
    // looked up on disk once each, so that a start costs the same however long the list is.
    struct Entry {
        std::unique_ptr<ConversionJob> job;
        FileIdentity input;
        std::optional<FileIdentity> output;
    };

    Entry *entryOf(const ConversionJob *job);
    void takeOutput(Entry &entry);
    void releaseOutput(Entry &entry);
    int startJob(ConversionJob *job);
    void record(const ConversionJob *job, const QString &errorText);

    std::vector<Entry> entries;
    // Every input and every output of the list, where no output may land.
    TakenFiles taken;
    std::unordered_set<std::string> listedPaths;
    QMap<QString, QString> succeededFiles;
    QMap<QString, QString> failedFiles;
    QString m_folderProblem;
    bool running = false;
};
