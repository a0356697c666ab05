#pragma once

#include <QObject>
#include <QString>

class BatchQueue;
class QComboBox;

// The main window's choice of how many files a batch converts at once: "1 个" up to one a core,
// and "自动". It starts from the configuration file, one file at a time when that says nothing,
// and a choice goes to the queue and into the file.
class ConvertAtOnceChoice final : public QObject
{
    Q_OBJECT

public:
    ConvertAtOnceChoice(QComboBox *combo, BatchQueue *queue, QString configFile,
                        QObject *parent = nullptr);

private:
    void chosen();

    QComboBox *m_combo;
    BatchQueue *m_queue;
    QString m_configFile;
};
