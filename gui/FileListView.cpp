#include "gui/FileListView.h"

#include "batch/BatchQueue.h"
#include "convert/ConversionJob.h"
#include "gui/InputItem.h"

#include <QEvent>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>

FileListView::FileListView(QListWidget *list, BatchQueue *queue, QObject *parent)
    : QObject(parent), m_list(list), m_viewport(list->viewport()), m_queue(queue)
{
    // Every row has the same size, which spares the list measuring thousands of them.
    m_list->setUniformItemSizes(true);
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, &FileListView::refresh);
    connect(list, &QListWidget::currentRowChanged, this, &FileListView::markCurrentRow);
    connect(queue, &BatchQueue::rowsInserted, this, &FileListView::insertRows);
    connect(queue, &BatchQueue::rowsRemoved, this, &FileListView::removeRows);
    connect(queue, &BatchQueue::rowsChanged, this, &FileListView::showRows);
    connect(queue, &BatchQueue::jobStarted, this, &FileListView::scrollTo);
    m_viewport->installEventFilter(this);
    if (queue->count() > 0)
        insertRows(0, queue->count() - 1);
}

FileListView::~FileListView() = default;

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

// Rows for the jobs just listed, inserted in one go: the list lays itself out once for them rather
// than once per row.
void FileListView::insertRows(int first, int last)
{
    const int count = last - first + 1;
    if (count <= 0)
        return;
    QStringList noTexts;
    noTexts.reserve(count);
    for (int i = 0; i < count; ++i)
        noTexts << QString();
    m_list->insertItems(first, noTexts);
    for (int row = first; row <= last; ++row)
        m_list->item(row)->setSizeHint(InputItem::formSize());
    refresh();
    emit countChanged(m_list->count());
}

void FileListView::removeRows(int first, int last)
{
    if (first == 0 && last >= m_list->count() - 1) {
        m_list->clear();
        m_shown.clear();
    } else {
        for (int row = last; row >= first; --row)
            delete m_list->takeItem(row);
        refresh();
    }
    emit countChanged(m_list->count());
}

// What changed in the rows on screen is shown again; the others show it once they scroll in.
void FileListView::showRows(int first, int last)
{
    for (const QPersistentModelIndex &index : qAsConst(m_shown)) {
        if (!index.isValid() || index.row() < first || index.row() > last)
            continue;
        if (InputItem *widget = rowWidget(index.row()))
            widget->showJob();
    }
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
