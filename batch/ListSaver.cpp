#include "batch/ListSaver.h"

#include "batch/BatchQueue.h"

#include <QRunnable>

#include <memory>

namespace
{

// Long enough to gather the changes of a drop or of a batch's switch from one file to the next,
// short enough that a crash loses almost nothing.
constexpr int gatherMs = 500;

} // namespace

ListSaver::ListSaver(BatchQueue *queue, const QString &fileName, QObject *parent)
    : QObject(parent), m_queue(queue), m_file(fileName)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(gatherMs);
    m_writer.setMaxThreadCount(1);
    connect(&m_timer, &QTimer::timeout, this, &ListSaver::saveInBackground);
    connect(queue, &BatchQueue::recordChanged, this, &ListSaver::scheduleSave);
}

ListSaver::~ListSaver()
{
    if (m_timer.isActive())
        saveNow();
}

std::vector<SavedEntry> ListSaver::load() const
{
    std::vector<SavedEntry> entries;
    if (m_file.load(entries) != 0)
        return {};
    for (SavedEntry &entry : entries)
        entry = entry.restored();
    return entries;
}

int ListSaver::saveNow()
{
    m_timer.stop();
    m_writer.waitForDone();
    return m_file.save(m_queue->savedEntries());
}

// The rows are taken here, where the queue lives; only the copy goes to the writer.
void ListSaver::saveInBackground()
{
    auto entries = std::make_shared<std::vector<SavedEntry>>(m_queue->savedEntries());
    const SavedList file = m_file;
    m_writer.start(QRunnable::create([file, entries] { file.save(*entries); }));
}

// A change that comes while a save is already due joins it rather than putting it off.
void ListSaver::scheduleSave()
{
    if (!m_timer.isActive())
        m_timer.start();
}
