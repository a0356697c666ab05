#include "app/BatchQueue.h"

#include "app/OutputFolder.h"
#include "convert/ConversionJob.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"

namespace
{

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

bool isStartable(const ConversionJob *job)
{
    return job->convertState() != Done;
}

} // namespace

BatchQueue::BatchQueue(QObject *parent) : QObject(parent) {}

BatchQueue::~BatchQueue() = default;

ConversionJob *BatchQueue::at(int row) const
{
    return row >= 0 && row < count() ? entries[size_t(row)].job.get() : nullptr;
}

int BatchQueue::rowOf(const ConversionJob *job) const
{
    for (int row = 0; row < count(); ++row) {
        if (entries[size_t(row)].job.get() == job)
            return row;
    }
    return -1;
}

BatchQueue::Entry *BatchQueue::entryOf(const ConversionJob *job)
{
    const int row = rowOf(job);
    return row < 0 ? nullptr : &entries[size_t(row)];
}

bool BatchQueue::isListed(const std::string &inputPath) const
{
    return listedPaths.count(inputPath) != 0;
}

ConversionJob *BatchQueue::append(std::unique_ptr<ConversionJob> job)
{
    listedPaths.insert(job->inputPath());
    Entry entry{std::move(job), FileIdentity(), std::nullopt};
    entry.input = FileIdentity::of(fromUtf8(entry.job->inputPath()));
    taken.add(entry.input);
    entries.push_back(std::move(entry));
    return entries.back().job.get();
}

void BatchQueue::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    Entry &entry = entries[size_t(row)];
    listedPaths.erase(entry.job->inputPath());
    taken.remove(entry.input);
    releaseOutput(entry);
    entries.erase(entries.begin() + row);
}

void BatchQueue::clear()
{
    entries.clear();
    listedPaths.clear();
    taken.clear();
}

int BatchQueue::start()
{
    ConversionJob *first = findStartable(0);
    if (!first)
        return nothingToConvert;
    m_folderProblem.clear();
    if (prepareOutputFolder(fromUtf8(outputDir), m_folderProblem) != 0)
        return outputFolderUnusable;
    const int result = startJob(first);
    if (result != 0)
        return result;
    clearResults();
    running = true;
    return 0;
}

void BatchQueue::stop()
{
    running = false;
    for (Entry &entry : entries) {
        entry.job->cancel();
        // A cancelled run's output is gone, and with it the inode it had.
        if (entry.output) {
            releaseOutput(entry);
            takeOutput(entry);
        }
    }
}

void BatchQueue::jobEnded(ConversionJob *job)
{
    if (!running)
        return;
    // The output exists now: a hard link to it made later is known by its inode too.
    if (Entry *entry = entryOf(job)) {
        releaseOutput(*entry);
        takeOutput(*entry);
    }
    record(job, fromUtf8(job->errorText()));
    // A job that cannot be started counts as failed and the batch goes on with the one after it,
    // so the batch never waits with nothing converting.
    for (ConversionJob *next = findStartableAfter(job); next; next = findStartableAfter(next)) {
        const int result = startJob(next);
        if (result == 0)
            return;
        record(next, QStringLiteral("启动失败！错误码：%1\n").arg(result));
    }
    running = false;
    emit finished();
}

ConversionJob *BatchQueue::findStartable(int row) const
{
    for (row = qMax(row, 0); row < count(); ++row) {
        if (isStartable(entries[size_t(row)].job.get()))
            return entries[size_t(row)].job.get();
    }
    return nullptr;
}

ConversionJob *BatchQueue::findStartableAfter(const ConversionJob *job) const
{
    const int row = rowOf(job);
    return row < 0 ? nullptr : findStartable(row + 1);
}

QString BatchQueue::summaryText() const
{
    QString text = QStringLiteral("转码任务完成！\n");
    text += QStringLiteral("成功： %1 个\n").arg(succeededCount());
    if (cancelledCount() > 0)
        text += QStringLiteral("取消： %1 个\n").arg(cancelledCount());
    if (failedCount() > 0) {
        text += QStringLiteral("失败： %1 个\n").arg(failedCount());
        for (auto it = failedFiles.cbegin(); it != failedFiles.cend(); ++it)
            text += QStringLiteral("%1 : %2").arg(it.key(), it.value());
    }
    return text;
}

void BatchQueue::clearResults()
{
    succeededFiles.clear();
    failedFiles.clear();
}

// Every input and every other job's output is off limits for this job's output; its own last
// output is not, so that a job started again writes where it wrote before.
int BatchQueue::startJob(ConversionJob *job)
{
    Entry *entry = entryOf(job);
    if (!entry)
        return job->start(taken);
    releaseOutput(*entry);
    const int result = job->start(taken);
    takeOutput(*entry);
    if (result == 0)
        emit jobStarted(job);
    return result;
}

void BatchQueue::takeOutput(Entry &entry)
{
    if (entry.job->outputPath().empty())
        return;
    entry.output = FileIdentity::of(fromUtf8(entry.job->outputPath()));
    taken.add(*entry.output);
}

void BatchQueue::releaseOutput(Entry &entry)
{
    if (entry.output)
        taken.remove(*entry.output);
    entry.output.reset();
}

void BatchQueue::record(const ConversionJob *job, const QString &errorText)
{
    const QString path = fromUtf8(job->inputPath());
    if (errorText.isEmpty())
        succeededFiles.insert(path, QString());
    else
        failedFiles.insert(path, errorText);
}
