#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QVector>

class BatchQueue;
class ConversionJob;
class InputItem;
class QListWidget;

// The file list as the user sees it: one row of the list widget for each job of the queue, in the
// same order, following what the queue says was listed, taken out or changed. Only the rows on
// screen get a row widget showing their job, so that a list of thousands of files holds a
// screenful of widgets. The current row's widget is marked, and the list follows the file being
// converted.
class FileListView final : public QObject
{
    Q_OBJECT

public:
    FileListView(QListWidget *list, BatchQueue *queue, QObject *parent = nullptr);
    ~FileListView() override;

    int count() const;
    // Null when there is no such row.
    ConversionJob *jobAt(int row) const;
    // Null when no row is current.
    ConversionJob *currentJob() const;
    // Null when the row is not on screen.
    InputItem *rowWidget(int row) const;

    // Gives the rows on screen their widgets and takes them from the others. Runs by itself when
    // the list scrolls or changes its size.
    void refresh();

signals:
    // A row's delete button was clicked.
    void deleteRequested(ConversionJob *job);
    // Rows were added or removed.
    void countChanged(int count);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void insertRows(int first, int last);
    void removeRows(int first, int last);
    void showRows(int first, int last);
    void scrollTo(ConversionJob *job);
    void dropWidgetsOutside(int first, int last);
    void markCurrentRow();

    QListWidget *m_list;
    QWidget *m_viewport;
    BatchQueue *m_queue;
    QVector<QPersistentModelIndex> m_shown;
};
