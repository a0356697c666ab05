#include "batch/ListIntake.h"

#include "batch/BatchQueue.h"
#include "batch/FolderVideos.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

namespace
{

// Listing files takes the event loop for at most this long at a time.
constexpr int sliceMs = 10;

} // namespace

ListIntake::ListIntake(BatchQueue *queue, QObject *parent) : QObject(parent), m_queue(queue) {}

ListIntake::~ListIntake()
{
    stopCollecting();
    if (m_loader) {
        m_loader->wait();
        delete m_loader;
    }
}

bool ListIntake::isAdding() const
{
    return m_loader || m_collector || !m_pending.empty() || m_nextRestored < m_restored.size();
}

void ListIntake::addPaths(const QStringList &paths, const AVSettings &settings)
{
    // A slice to come, or the end of a thread's reading, takes them.
    const bool waiting = isAdding();
    for (const QString &path : paths)
        m_pending.push_back({path, settings});
    if (!waiting)
        takeSlice();
}

void ListIntake::restore(std::function<std::vector<SavedEntry>()> load)
{
    if (m_loader)
        return;
    m_loader = QThread::create([this, load = std::move(load)] { m_loaded = load(); });
    connect(m_loader, &QThread::finished, this, [this] {
        // Told just before the thread ends: it must have ended before it goes.
        m_loader->wait();
        m_loader->deleteLater();
        m_loader = nullptr;
        m_restored = std::move(m_loaded);
        m_nextRestored = 0;
        takeSlice();
    });
    updateAdding();
    m_loader->start();
}

void ListIntake::cancel()
{
    stopCollecting();
    m_pending.clear();
    std::vector<SavedEntry>().swap(m_restored);
    m_nextRestored = 0;
    updateAdding();
}

// Lists files for one slice of time and comes back for the rest on the next turn of the event
// loop. The saved list comes first, once it is read; a folder met on the way is read on a thread
// and its videos take its place.
void ListIntake::takeSlice()
{
    if (m_loader || m_collector) {
        updateAdding();
        return;
    }
    QElapsedTimer slice;
    slice.start();
    QString folder;
    m_queue->beginInsertions();
    if (restoreSlice(slice))
        folder = addSlice(slice);
    m_queue->endInsertions();
    if (!folder.isEmpty()) {
        const AVSettings settings = m_pending.front().settings;
        m_pending.pop_front();
        collectFolder(folder, settings);
    }
    updateAdding();
    if (isAdding() && !m_collector)
        QTimer::singleShot(0, this, &ListIntake::takeSlice);
}

// True once every restored row is listed.
bool ListIntake::restoreSlice(const QElapsedTimer &slice)
{
    if (m_restored.empty())
        return true;
    while (m_nextRestored < m_restored.size() && !slice.hasExpired(sliceMs))
        m_queue->restore(m_restored[m_nextRestored++]);
    if (m_nextRestored < m_restored.size())
        return false;
    std::vector<SavedEntry>().swap(m_restored);
    m_nextRestored = 0;
    return true;
}

// The folder that stopped the slice, left at the head of the waiting paths; empty when none did.
QString ListIntake::addSlice(const QElapsedTimer &slice)
{
    while (!m_pending.empty() && !slice.hasExpired(sliceMs)) {
        const Pending &next = m_pending.front();
        // Only a refused path is looked at again: a long drop of files costs no more.
        if (m_queue->add(next.path.toStdString(), next.settings) != 0 &&
            QFileInfo(next.path).isDir())
            return next.path;
        m_pending.pop_front();
    }
    return QString();
}

void ListIntake::collectFolder(const QString &folder, const AVSettings &settings)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    auto found = std::make_shared<QStringList>();
    m_stopCollecting = stop;
    const quint64 collection = ++m_collection;
    m_collector = QThread::create(
        [folder, stop, found] { *found = collectFolderVideos(folder, stop.get()); });
    connect(m_collector, &QThread::finished, this, [this, collection, found, settings] {
        if (collection != m_collection || !m_collector)
            return;
        // Told just before the thread ends: it must have ended before it goes.
        m_collector->wait();
        m_collector->deleteLater();
        m_collector = nullptr;
        for (auto it = found->crbegin(); it != found->crend(); ++it)
            m_pending.push_front({*it, settings});
        takeSlice();
    });
    m_collector->start();
}

// A folder still being read is given up; its thread is waited for, as it stops at the next
// entry.
void ListIntake::stopCollecting()
{
    if (!m_collector)
        return;
    *m_stopCollecting = true;
    m_collector->wait();
    delete m_collector;
    m_collector = nullptr;
}

void ListIntake::updateAdding()
{
    const bool adding = isAdding();
    if (adding == m_adding)
        return;
    m_adding = adding;
    emit addingChanged(adding);
}
