#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QVector>

class BatchQueue;
class InputItem;
class QListWidget;

// Gives the rows of the file list that are on screen a row widget showing their job, and no other
// row: a list of thousands of files holds thousands of jobs but a screenful of widgets. The list's
// rows and the queue's jobs are in the same order. The current row's widget is marked. It must go
// before the list does.
class RowWidgets final : public QObject
{
    Q_OBJECT

public:
    RowWidgets(QListWidget *list, const BatchQueue *queue, QObject *parent = nullptr);

    // Null when the row is not on screen.
    InputItem *at(int row) const;
    // Gives the rows on screen their widgets and takes them from the others. Runs by itself when
    // the list scrolls or changes its size; after rows were added or removed, call it.
    void refresh();

signals:
    // A row's delete button was clicked.
    void ItemDelete(InputItem *item);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void dropWidgetsOutside(int first, int last);
    void markCurrentRow();

    QListWidget *list;
    QWidget *viewport;
    const BatchQueue *queue;
    QVector<QPersistentModelIndex> shown;
};
