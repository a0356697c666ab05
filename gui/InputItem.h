#pragma once

#include "params/AVSettings.h"

#include <QFont>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

class ConversionJob;
namespace Ui
{
class InputItem;
}

// One row of the main window's file list: shows a conversion job (its file's name and size, its
// state and progress) and offers its delete button.
class InputItem final : public QWidget
{
    Q_OBJECT

public:
    explicit InputItem(ConversionJob *job, QWidget *parent = nullptr);
    ~InputItem() override;

    // The size of a row as its form has it, which is every list row's size.
    static QSize formSize();
    // Marks the row as the list's current one: the panel edits its file.
    void setCurrent(bool current);

    ConversionJob *job() const;
    // Shows the job's state, progress and what it has to say.
    void showJob();

    // The job's own operations, reached through its row.
    int setInput(const std::string &path, const AVSettings &settings);
    int cancel();
    int convertState() const;
    const std::string &inputPath() const;
    const std::string &errorText() const;
    const AVSettings &settings() const;
    void setSettings(const AVSettings &settings);

signals:
    void ItemConvertDone(InputItem *item);
    void ItemDelete(InputItem *item);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void btnDel_clicked();

private:
    void showProgress(int maximum, int value);
    void showFileName();
    QString toolTipText() const;

    std::unique_ptr<Ui::InputItem> m_ui;
    QPointer<ConversionJob> m_job;
    // What the name label was last laid out for: the job's progress changes it many times a
    // second, its name and width seldom.
    QString m_elidedFor;
    int m_elidedWidth = -1;
    QFont m_elidedFont;
};
