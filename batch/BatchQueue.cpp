#include "batch/BatchQueue.h"

#include "batch/OutputFolder.h"
#include "convert/ConversionJob.h"
#include "convert/LeftoverOutputs.h"
#include "convert/OutputPublisher.h"
#include "convert/TakenFiles.h"
#include "params/ParamTables.h"

#include <QFileInfo>
#include <QSignalBlocker>
#include <QThread>

#include <algorithm>
#include <utility>

namespace
{

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

// A source that ended early is told with the note after a restart, where the row shows it.
std::string keptNote(const ConversionJob &job)
{
    if (job.warning().empty())
        return job.note();
    return job.note() + job.warning() + (job.warning().back() == '\n' ? "" : "\n");
}

bool isStartable(const ConversionJob *job)
{
    return job->convertState() != Done;
}

} // namespace

BatchQueue::BatchQueue(QObject *parent) : QObject(parent), m_diskGuard(new DiskSpaceGuard(this))
{
    connect(m_diskGuard, &DiskSpaceGuard::spaceLow, this, [this](qint64 available, qint64 limit) {
        if (!m_running)
            return;
        pause();
        emit diskSpaceLow(available, limit);
    });
}

BatchQueue::~BatchQueue() = default;

ConversionJob *BatchQueue::at(int row) const
{
    return row >= 0 && row < count() ? m_entries[size_t(row)].job.get() : nullptr;
}

int BatchQueue::rowOf(const ConversionJob *job) const
{
    for (int row = 0; row < count(); ++row) {
        if (m_entries[size_t(row)].job.get() == job)
            return row;
    }
    return -1;
}

BatchQueue::Entry *BatchQueue::entryOf(const ConversionJob *job)
{
    const int row = rowOf(job);
    return row < 0 ? nullptr : &m_entries[size_t(row)];
}

bool BatchQueue::isListed(const std::string &inputPath) const
{
    return m_listedPaths.count(inputPath) != 0;
}

bool BatchQueue::isSupportedInput(const std::string &dotSuffix)
{
    return isInputExtension(dotSuffix);
}

int BatchQueue::add(const std::string &path, const AVSettings &settings)
{
    const QFileInfo info(fromUtf8(path));
    // A folder named like a video is no file to convert.
    if (path.empty() || !info.exists() || info.isDir())
        return refused;
    if (!isSupportedInput("." + info.suffix().toStdString()) || isListed(path))
        return refused;
    auto job = std::make_unique<ConversionJob>();
    if (job->setInput(path, settings) != 0)
        return refused;
    append(std::move(job));
    return 0;
}

// One change for the whole list rather than one a row: a list of thousands stays quick.
void BatchQueue::applyToAll(const AVSettings &settings)
{
    bool changed = false;
    for (Entry &entry : m_entries) {
        const QSignalBlocker quiet(entry.job.get());
        changed = entry.job->setSettings(settings) || changed;
    }
    if (!changed)
        return;
    emit rowsChanged(0, count() - 1);
    emit recordChanged();
}

int BatchQueue::restore(const SavedEntry &entry)
{
    if (isListed(entry.inputPath))
        return refused;
    auto job = std::make_unique<ConversionJob>();
    job->restore(entry.inputPath, entry.settings, entry.state, entry.errorText, entry.note);
    appendEntry(std::move(job));
    listed();
    return 0;
}

void BatchQueue::beginInsertions()
{
    ++m_insertionDepth;
}

void BatchQueue::endInsertions()
{
    if (m_insertionDepth > 0 && --m_insertionDepth == 0)
        tellInsertions();
}

// The row just appended, told now or with the others at endInsertions().
void BatchQueue::listed()
{
    if (m_firstUntold < 0)
        m_firstUntold = count() - 1;
    if (m_insertionDepth == 0)
        tellInsertions();
}

void BatchQueue::tellInsertions()
{
    if (m_firstUntold < 0)
        return;
    const int first = m_firstUntold;
    m_firstUntold = -1;
    emit rowsInserted(first, count() - 1);
}

std::vector<SavedEntry> BatchQueue::savedEntries() const
{
    std::vector<SavedEntry> saved;
    saved.reserve(m_entries.size());
    for (const Entry &entry : m_entries) {
        const ConversionJob *job = entry.job.get();
        saved.push_back({job->inputPath(), job->settings(), ConvertState(job->convertState()),
                         job->errorText(), keptNote(*job)});
    }
    return saved;
}

QString BatchQueue::outputDirectory() const
{
    return m_outputDirectory;
}

void BatchQueue::setOutputDirectory(const QString &directory)
{
    m_outputDirectory = directory;
}

ConversionJob *BatchQueue::append(std::unique_ptr<ConversionJob> job)
{
    ConversionJob *appended = appendEntry(std::move(job));
    listed();
    emit recordChanged();
    return appended;
}

ConversionJob *BatchQueue::appendEntry(std::unique_ptr<ConversionJob> job)
{
    connect(job.get(), &ConversionJob::finished, this, &BatchQueue::jobEnded);
    connect(job.get(), &ConversionJob::recordChanged, this, &BatchQueue::jobRecordChanged);
    connect(job.get(), &ConversionJob::changed, this, [this, changed = job.get()] {
        if (m_active.contains(changed))
            emit progressChanged();
    });
    m_listedPaths.insert(job->inputPath());
    Entry entry{std::move(job), FileIdentity(), std::nullopt};
    entry.input = FileIdentity::of(fromUtf8(entry.job->inputPath()));
    m_taken.add(entry.input);
    m_entries.push_back(std::move(entry));
    return m_entries.back().job.get();
}

void BatchQueue::jobRecordChanged()
{
    const int row = rowOf(qobject_cast<ConversionJob *>(sender()));
    if (row < 0)
        return;
    emit rowsChanged(row, row);
    emit recordChanged();
}

void BatchQueue::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    Entry &entry = m_entries[size_t(row)];
    m_listedPaths.erase(entry.job->inputPath());
    m_taken.remove(entry.input);
    releaseOutput(entry);
    m_entries.erase(m_entries.begin() + row);
    emit rowsRemoved(row, row);
    emit recordChanged();
}

void BatchQueue::clear()
{
    const int last = count() - 1;
    m_entries.clear();
    m_listedPaths.clear();
    m_taken.clear();
    if (last < 0)
        return;
    emit rowsRemoved(0, last);
    emit recordChanged();
}

int BatchQueue::start()
{
    ConversionJob *first = findStartable(0);
    if (!first)
        return nothingToConvert;
    m_folderProblem.clear();
    if (prepareOutputFolder(outputDirectory(), m_folderProblem) != 0)
        return outputFolderUnusable;
    // What a killed run of the program left, before this batch writes anything.
    OutputPublisher::forThisUser().record().removeLeftovers();
    // Too little room holds the batch before its first transcoder starts. A folder no file system
    // answers for is left to the transcoder to tell.
    m_diskGuard->start(outputDirectory());
    m_paused = m_diskGuard->low();
    const int result = startJob(first);
    if (result != 0) {
        m_diskGuard->stop();
        m_paused = false;
        return result;
    }
    clearResults();
    m_running = true;
    m_batchFiles = int(std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &entry) {
        return isStartable(entry.job.get());
    }));
    m_nextRow = rowOf(first) + 1;
    fillSlots();
    emit runningChanged(true);
    if (m_paused) {
        emit pausedChanged(true);
        emit diskSpaceLow(m_diskGuard->lastAvailable(), m_diskGuard->limit());
    }
    return 0;
}

void BatchQueue::pause()
{
    if (!m_running || m_paused)
        return;
    m_paused = true;
    for (ConversionJob *job : std::as_const(m_active))
        job->pause();
    emit pausedChanged(true);
}

void BatchQueue::resume()
{
    if (!m_running || !m_paused)
        return;
    m_paused = false;
    emit pausedChanged(false);
    // A job that goes on may end at once (its held probe failed), and the next ones start.
    const QList<ConversionJob *> held = m_active.values();
    for (ConversionJob *job : held)
        job->resume();
}

double BatchQueue::batchProgress() const
{
    if (m_batchFiles <= 0)
        return 0;
    double done = succeededCount() + failedCount();
    for (const ConversionJob *job : m_active)
        done += job->progress() / 100.0;
    return std::min(done / m_batchFiles, 1.0);
}

// The batch is over, by itself or stopped: nothing of it is held any more.
void BatchQueue::endBatch()
{
    const bool wasPaused = m_paused;
    m_running = false;
    m_paused = false;
    m_active.clear();
    m_diskGuard->stop();
    if (wasPaused)
        emit pausedChanged(false);
    emit runningChanged(false);
}

int BatchQueue::automaticRunning()
{
    return automaticRunning(QThread::idealThreadCount());
}

int BatchQueue::automaticRunning(int cores)
{
    // Measured on two cores: one transcoder at a time leaves a quarter to a third of the machine
    // idle over short clips (its start, the audio and the muxing are serial); two at once keep it
    // busy. Each encoder runs threads of its own, so half the cores, between 2 and 4, is enough.
    return qBound(2, cores / 2, 4);
}

void BatchQueue::setMaxRunning(int jobs)
{
    m_maxRunning = qMax(0, jobs);
}

int BatchQueue::runningLimit() const
{
    return m_maxRunning == 0 ? automaticRunning() : m_maxRunning;
}

// Starts the next startable jobs in list order until every slot is taken. A job that cannot be
// started counts as failed and the batch goes on with the one after it, so the batch never waits
// with nothing converting.
void BatchQueue::fillSlots()
{
    while (m_active.size() < runningLimit()) {
        ConversionJob *next = findStartable(m_nextRow);
        if (!next)
            return;
        m_nextRow = rowOf(next) + 1;
        const int result = startJob(next);
        if (result != 0)
            record(next, QStringLiteral("启动失败！错误码：%1\n").arg(result));
    }
    // The next file's prober runs while the others convert, so that its start waits for nothing.
    if (ConversionJob *next = findStartable(m_nextRow))
        next->probeAhead();
}

void BatchQueue::stop()
{
    const bool wasRunning = m_running;
    m_running = false;
    m_active.clear();
    for (Entry &entry : m_entries) {
        entry.job->cancel();
        // A cancelled run's output is gone, and with it the inode it had.
        if (entry.output) {
            releaseOutput(entry);
            takeOutput(entry);
        }
    }
    if (wasRunning)
        endBatch();
}

void BatchQueue::jobEnded(ConversionJob *job)
{
    if (!m_running || !m_active.remove(job))
        return;
    // The output exists now: a hard link to it made later is known by its inode too.
    if (Entry *entry = entryOf(job)) {
        releaseOutput(*entry);
        takeOutput(*entry);
    }
    record(job, fromUtf8(job->errorText()));
    fillSlots();
    emit progressChanged();
    if (!m_active.isEmpty())
        return;
    endBatch();
    emit finished();
}

ConversionJob *BatchQueue::findStartable(int row) const
{
    for (row = qMax(row, 0); row < count(); ++row) {
        if (isStartable(m_entries[size_t(row)].job.get()))
            return m_entries[size_t(row)].job.get();
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
        for (auto it = m_failedFiles.cbegin(); it != m_failedFiles.cend(); ++it)
            text += QStringLiteral("%1 : %2").arg(it.key(), it.value());
    }
    if (!m_warnedFiles.isEmpty()) {
        text += QStringLiteral("警告： %1 个\n").arg(m_warnedFiles.size());
        for (auto it = m_warnedFiles.cbegin(); it != m_warnedFiles.cend(); ++it)
            text += QStringLiteral("%1 : %2\n").arg(it.key(), it.value());
    }
    return text;
}

void BatchQueue::clearResults()
{
    m_succeededFiles.clear();
    m_failedFiles.clear();
    m_warnedFiles.clear();
}

// Every input and every other job's output is off limits for this job's output; its own last
// output is not, so that a job started again writes where it wrote before.
int BatchQueue::startJob(ConversionJob *job)
{
    Entry *entry = entryOf(job);
    const std::string directory = m_outputDirectory.toStdString();
    if (!entry)
        return job->start(directory, m_taken);
    releaseOutput(*entry);
    // Started held, so that no transcoder starts while the batch is paused.
    if (m_paused)
        job->pause();
    const int result = job->start(directory, m_taken);
    takeOutput(*entry);
    if (result == 0) {
        m_active.insert(job);
        emit jobStarted(job);
    } else {
        job->resume();
    }
    return result;
}

void BatchQueue::takeOutput(Entry &entry)
{
    if (entry.job->outputPath().empty())
        return;
    entry.output = FileIdentity::of(fromUtf8(entry.job->outputPath()));
    m_taken.add(*entry.output);
}

void BatchQueue::releaseOutput(Entry &entry)
{
    if (entry.output)
        m_taken.remove(*entry.output);
    entry.output.reset();
}

void BatchQueue::record(const ConversionJob *job, const QString &errorText)
{
    const QString path = fromUtf8(job->inputPath());
    if (errorText.isEmpty()) {
        m_succeededFiles.insert(path, QString());
        if (!job->warning().empty())
            m_warnedFiles.insert(path, fromUtf8(job->warning()));
    } else
        m_failedFiles.insert(path, errorText);
}
