#include "gui/ConvertAtOnceChoice.h"

#include "batch/BatchQueue.h"
#include "batch/ConfigFile.h"

#include <QComboBox>
#include <QThread>

ConvertAtOnceChoice::ConvertAtOnceChoice(QComboBox *combo, BatchQueue *queue, QString configFile,
                                         QObject *parent)
    : QObject(parent), m_combo(combo), m_queue(queue), m_configFile(std::move(configFile))
{
    for (int jobs = 1; jobs <= qMax(1, QThread::idealThreadCount()); ++jobs)
        combo->addItem(QStringLiteral("%1 个").arg(jobs), jobs);
    combo->addItem(QStringLiteral("自动"), 0);
    int jobs = 1;
    ConfigFile(m_configFile).readConvertAtOnce(jobs);
    const int index = combo->findData(jobs);
    combo->setCurrentIndex(index < 0 ? 0 : index);
    queue->setMaxRunning(combo->currentData().toInt());
    connect(combo, qOverload<int>(&QComboBox::activated), this, &ConvertAtOnceChoice::chosen);
}

void ConvertAtOnceChoice::chosen()
{
    const int jobs = m_combo->currentData().toInt();
    m_queue->setMaxRunning(jobs);
    ConfigFile(m_configFile).writeConvertAtOnce(jobs);
}
