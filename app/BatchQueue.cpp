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
    return row >= 0 && row < count() ? jobs[size_t(row)].get() : nullptr;
}

int BatchQueue::rowOf(const ConversionJob *job) const
{
    for (int row = 0; row < count(); ++row) {
        if (jobs[size_t(row)].get() == job)
            return row;
    }
    return -1;
}

bool BatchQueue::isListed(const std::string &inputPath) const
{
    return listedPaths.count(inputPath) != 0;
}

ConversionJob *BatchQueue::append(std::unique_ptr<ConversionJob> job)
{
    listedPaths.insert(job->inputPath());
    jobs.push_back(std::move(job));
    return jobs.back().get();
}

void BatchQueue::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    listedPaths.erase(jobs[size_t(row)]->inputPath());
    jobs.erase(jobs.begin() + row);
}

void BatchQueue::clear()
{
    jobs.clear();
    listedPaths.clear();
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
    for (const auto &job : jobs)
        job->cancel();
}

void BatchQueue::jobEnded(ConversionJob *job)
{
    if (!running)
        return;
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
        if (isStartable(jobs[size_t(row)].get()))
            return jobs[size_t(row)].get();
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

// Every other job's input and output is off limits for this job's output.
int BatchQueue::startJob(ConversionJob *job)
{
    TakenFiles taken;
    for (const auto &other : jobs) {
        if (other.get() == job)
            continue;
        taken.add(FileIdentity::of(fromUtf8(other->inputPath())));
        if (!other->outputPath().empty())
            taken.add(FileIdentity::of(fromUtf8(other->outputPath())));
    }
    return job->start(taken);
}

void BatchQueue::record(const ConversionJob *job, const QString &errorText)
{
    const QString path = fromUtf8(job->inputPath());
    if (errorText.isEmpty())
        succeededFiles.insert(path, QString());
    else
        failedFiles.insert(path, errorText);
}
