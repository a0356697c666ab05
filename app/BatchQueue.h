#pragma once

#include <QMap>
#include <QObject>
#include <QString>

#include <memory>
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
    // Result of start() when every listed job is done.
    static constexpr int nothingToConvert = 102;

    explicit BatchQueue(QObject *parent = nullptr);
    ~BatchQueue() override;

    int count() const { return int(jobs.size()); }
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
    // Starts the first job that is not done: 0, nothingToConvert, or the job's start failure
    // (the results are then left as they were).
    int start();
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
    // The batch has ended by itself: no startable job is left after the last one that ended.
    void finished();

private:
    int startJob(ConversionJob *job);
    void record(const ConversionJob *job, const QString &errorText);

    std::vector<std::unique_ptr<ConversionJob>> jobs;
    std::unordered_set<std::string> listedPaths;
    QMap<QString, QString> succeededFiles;
    QMap<QString, QString> failedFiles;
    bool running = false;
};
