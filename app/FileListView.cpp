#include "app/RowWidgets.h"

#include "app/BatchQueue.h"
#include "convert/InputItem.h"

#include <QEvent>
#include <QListWidget>
#include <QScrollBar>

#include <algorithm>

RowWidgets::RowWidgets(QListWidget *list, const BatchQueue *queue, QObject *parent)
    : QObject(parent), list(list), viewport(list->viewport()), queue(queue)
{
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, &RowWidgets::refresh);
    connect(list, &QListWidget::currentRowChanged, this, &RowWidgets::markCurrentRow);
    viewport->installEventFilter(this);
}

InputItem *RowWidgets::at(int row) const
{
    return qobject_cast<InputItem *>(list->itemWidget(list->item(row)));
}

void RowWidgets::refresh()
{
    if (list->count() == 0) {
        shown.clear();
        return;
    }
    // The rows' places are known only once the list has laid them out; after rows came or went
    // that is still to do.
    const QRect area = list->viewport()->rect();
    QModelIndex top = list->indexAt(area.topLeft());
    if (!top.isValid()) {
        list->doItemsLayout();
        top = list->indexAt(area.topLeft());
    }
    const QModelIndex bottom = list->indexAt(area.bottomLeft());
    // One row more at each edge, so that a row sliding in is never seen without its widget.
    const int onScreen = area.height() / qMax(1, list->visualRect(top).height()) + 1;
    const int first = qMax(0, (top.isValid() ? top.row() : 0) - 1);
    const int last =
        std::min({list->count() - 1, bottom.isValid() ? bottom.row() + 1 : list->count(),
                  first + onScreen + 2});
    dropWidgetsOutside(first, last);
    for (int row = first; row <= last; ++row) {
        QListWidgetItem *item = list->item(row);
        if (list->itemWidget(item))
            continue;
        // Made inside the viewport, where the list keeps its item widgets: moving a styled
        // widget to another parent polishes it again.
        auto *widget = new InputItem(queue->at(row), list->viewport());
        widget->setCurrent(row == list->currentRow());
        connect(widget, &InputItem::ItemDelete, this, &RowWidgets::ItemDelete);
        list->setItemWidget(item, widget);
        shown.append(list->model()->index(row, 0));
    }
}

void RowWidgets::dropWidgetsOutside(int first, int last)
{
    for (auto it = shown.begin(); it != shown.end();) {
        const int row = it->isValid() ? it->row() : -1;
        if (row >= first && row <= last) {
            ++it;
            continue;
        }
        if (row >= 0)
            list->removeItemWidget(list->item(row));
        it = shown.erase(it);
    }
}

void RowWidgets::markCurrentRow()
{
    for (const QPersistentModelIndex &index : qAsConst(shown)) {
        if (InputItem *widget = index.isValid() ? at(index.row()) : nullptr)
            widget->setCurrent(index.row() == list->currentRow());
    }
}

bool RowWidgets::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == viewport)
        refresh();
    return QObject::eventFilter(watched, event);
}
