#include "app/FileListView.h"

#include "app/BatchQueue.h"
#include "convert/ConversionJob.h"
#include "convert/FolderVideos.h"
#include "convert/InputItem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QListWidget>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace
{

// Listing files takes the event loop for at most this long at a time.
constexpr int addSliceMs = 10;

} // namespace

FileListView::FileListView(QListWidget *list, BatchQueue *queue, QObject *parent)
    : QObject(parent), m_list(list), m_viewport(list->viewport()), m_queue(queue)
{
    // Every row has the same size, which spares the list measuring thousands of them.
    m_list->setUniformItemSizes(true);
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, &FileListView::refresh);
    connect(list, &QListWidget::currentRowChanged, this, &FileListView::markCurrentRow);
    connect(queue, &BatchQueue::jobStarted, this, &FileListView::scrollTo);
    m_viewport->installEventFilter(this);
}

FileListView::~FileListView()
{
    stopCollecting();
    if (m_loader) {
        m_loader->wait();
        delete m_loader;
    }
    setAdding(false);
}

int FileListView::count() const
{
    return m_list->count();
}

ConversionJob *FileListView::jobAt(int row) const
{
    return m_queue->at(row);
}

ConversionJob *FileListView::currentJob() const
{
    return m_queue->at(m_list->currentRow());
}

InputItem *FileListView::rowWidget(int row) const
{
    return qobject_cast<InputItem *>(m_list->itemWidget(m_list->item(row)));
}

int FileListView::addFile(const std::string &path, const AVSettings &settings)
{
    if (m_queue->add(path, settings) != 0)
        return -1;
    appendRows(1);
    return 0;
}

void FileListView::addFiles(const QStringList &paths, const AVSettings &settings)
{
    const bool sliceRunning = isAdding();
    m_pendingPaths += paths;
    m_pendingSettings = settings;
    if (!sliceRunning)
        addPendingFiles();
}

void FileListView::restoreFrom(std::function<std::vector<SavedEntry>()> load)
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
        addPendingFiles();
    });
    setAdding(true);
    m_loader->start();
}

void FileListView::addUrls(const QList<QUrl> &urls, const AVSettings &settings)
{
    QStringList paths;
    paths.reserve(urls.size());
    for (const QUrl &url : urls)
        paths << url.toLocalFile();
    addFiles(paths, settings);
}

void FileListView::cancelAdding()
{
    stopCollecting();
    m_pendingPaths.clear();
    m_restored.clear();
    m_nextRestored = 0;
    setAdding(false);
}

// Lists files for one slice of time and comes back for the rest on the next turn of the event
// loop.
void FileListView::addPendingFiles()
{
    // The saved list comes first, once it is read.
    if (m_loader)
        return;
    QElapsedTimer slice;
    slice.start();
    int listed = 0;
    while (m_nextRestored < m_restored.size() && !slice.hasExpired(addSliceMs)) {
        if (m_queue->restore(m_restored[m_nextRestored++]) == 0)
            ++listed;
    }
    if (m_nextRestored == m_restored.size()) {
        std::vector<SavedEntry>().swap(m_restored);
        m_nextRestored = 0;
    }
    int done = 0;
    QString folder;
    while (m_nextRestored == 0 && done < m_pendingPaths.size() && !slice.hasExpired(addSliceMs)) {
        const QString &path = m_pendingPaths.at(done++);
        if (m_queue->add(path.toStdString(), m_pendingSettings) == 0)
            ++listed;
        // Only a refused path is looked at again: a long drop of files costs no more.
        else if (QFileInfo(path).isDir())
            folder = path;
        if (!folder.isEmpty())
            break;
    }
    m_pendingPaths.erase(m_pendingPaths.begin(), m_pendingPaths.begin() + done);
    appendRows(listed);
    if (!folder.isEmpty())
        collectFolder(folder);
    setAdding(isAdding());
    if (isAdding() && !m_collector)
        QTimer::singleShot(0, this, &FileListView::addPendingFiles);
}

// Reads the folder off the event loop; its videos then take its place among the waiting paths.
void FileListView::collectFolder(const QString &folder)
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    auto found = std::make_shared<QStringList>();
    m_stopCollecting = stop;
    const quint64 collection = ++m_collection;
    m_collector = QThread::create(
        [folder, stop, found] { *found = collectFolderVideos(folder, stop.get()); });
    connect(m_collector, &QThread::finished, this, [this, collection, found] {
        if (collection != m_collection || !m_collector)
            return;
        // Told just before the thread ends: it must have ended before it goes.
        m_collector->wait();
        m_collector->deleteLater();
        m_collector = nullptr;
        m_pendingPaths = *found + m_pendingPaths;
        addPendingFiles();
    });
    m_collector->start();
}

// A folder still being read is given up; its thread is waited for, as it stops at the next
// entry.
void FileListView::stopCollecting()
{
    if (!m_collector)
        return;
    *m_stopCollecting = true;
    m_collector->wait();
    delete m_collector;
    m_collector = nullptr;
}

// The cursor shows that files are still coming.
void FileListView::setAdding(bool adding)
{
    if (adding == m_adding)
        return;
    m_adding = adding;
    if (adding)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
    emit addingChanged(adding);
}

// Rows for the jobs last joined to the queue, appended in one go: the list lays itself out once
// for them rather than once per row.
void FileListView::appendRows(int count)
{
    if (count <= 0)
        return;
    const int first = m_list->count();
    QStringList noTexts;
    noTexts.reserve(count);
    for (int i = 0; i < count; ++i)
        noTexts << QString();
    m_list->insertItems(first, noTexts);
    for (int row = first; row < first + count; ++row)
        m_list->item(row)->setSizeHint(InputItem::formSize());
    refresh();
    emit countChanged(m_list->count());
}

void FileListView::remove(ConversionJob *job)
{
    const int row = m_queue->rowOf(job);
    if (row < 0)
        return;
    delete m_list->takeItem(row);
    m_queue->removeAt(row);
    refresh();
    emit countChanged(m_list->count());
}

void FileListView::clear()
{
    cancelAdding();
    m_list->clear();
    m_queue->clear();
    m_shown.clear();
    emit countChanged(0);
}

void FileListView::scrollTo(ConversionJob *job)
{
    m_list->scrollToItem(m_list->item(m_queue->rowOf(job)));
}

void FileListView::refresh()
{
    if (m_list->count() == 0) {
        m_shown.clear();
        return;
    }
    // The rows' places are known only once the list has laid them out; after rows came or went
    // that is still to do.
    const QRect area = m_viewport->rect();
    QModelIndex top = m_list->indexAt(area.topLeft());
    if (!top.isValid()) {
        m_list->doItemsLayout();
        top = m_list->indexAt(area.topLeft());
    }
    const QModelIndex bottom = m_list->indexAt(area.bottomLeft());
    // One row more at each edge, so that a row sliding in is never seen without its widget.
    const int onScreen = area.height() / qMax(1, m_list->visualRect(top).height()) + 1;
    const int first = qMax(0, (top.isValid() ? top.row() : 0) - 1);
    const int last =
        std::min({m_list->count() - 1, bottom.isValid() ? bottom.row() + 1 : m_list->count(),
                  first + onScreen + 2});
    dropWidgetsOutside(first, last);
    for (int row = first; row <= last; ++row) {
        QListWidgetItem *item = m_list->item(row);
        if (m_list->itemWidget(item))
            continue;
        // Made inside the viewport, where the list keeps its item widgets: moving a styled
        // widget to another parent polishes it again.
        auto *widget = new InputItem(m_queue->at(row), m_viewport);
        widget->setCurrent(row == m_list->currentRow());
        connect(widget, &InputItem::ItemDelete, this,
                [this](InputItem *deleted) { emit deleteRequested(deleted->job()); });
        m_list->setItemWidget(item, widget);
        m_shown.append(m_list->model()->index(row, 0));
    }
}

void FileListView::dropWidgetsOutside(int first, int last)
{
    for (auto it = m_shown.begin(); it != m_shown.end();) {
        const int row = it->isValid() ? it->row() : -1;
        if (row >= first && row <= last) {
            ++it;
            continue;
        }
        if (row >= 0)
            m_list->removeItemWidget(m_list->item(row));
        it = m_shown.erase(it);
    }
}

void FileListView::markCurrentRow()
{
    for (const QPersistentModelIndex &index : qAsConst(m_shown)) {
        if (InputItem *widget = index.isValid() ? rowWidget(index.row()) : nullptr)
            widget->setCurrent(index.row() == m_list->currentRow());
    }
}

bool FileListView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == m_viewport)
        refresh();
    return QObject::eventFilter(watched, event);
}
