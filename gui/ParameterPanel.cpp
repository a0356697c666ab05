#include "gui/ParameterPanel.h"

#include "batch/BatchQueue.h"
#include "convert/ConversionJob.h"
#include "gui/CDlgAVSettings.h"
#include "gui/FileListView.h"
#include "params/ParamTables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

ParameterPanel::ParameterPanel(const Controls &controls, BatchQueue *queue, FileListView *files,
                               QWidget *window)
    : QObject(window), m_controls(controls), m_queue(queue), m_files(files), m_window(window),
      m_defaultSettings(makeAVSettings(0, QualityMedium, QualityMedium)),
      m_workingSettings(m_defaultSettings)
{
    for (const auto &entry : containerTexts)
        controls.container->addItem(QIcon(), QString::fromStdString(entry.second));
    for (const auto &entry : qualityTexts) {
        controls.videoQuality->addItem(QIcon(), QString::fromStdString(entry.second));
        controls.audioQuality->addItem(QIcon(), QString::fromStdString(entry.second));
    }
    refreshPanel();
    connect(controls.settings, &QPushButton::clicked, this,
            &ParameterPanel::btnQualitySettings_clicked);
    connect(controls.container, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ParameterPanel::paramVcChanged);
    connect(controls.videoQuality, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ParameterPanel::paramVqlChanged);
    connect(controls.audioQuality, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &ParameterPanel::paramAqlChanged);
    connect(controls.list, &QListWidget::currentItemChanged, this, &ParameterPanel::curItemChanged);
    connect(controls.applyAll, &QCheckBox::stateChanged, this, &ParameterPanel::applyAllChanged);
}

const AVSettings &ParameterPanel::newFileSettings() const
{
    return m_controls.applyAll->isChecked() ? m_workingSettings : m_defaultSettings;
}

ConversionJob *ParameterPanel::currentJob() const
{
    return m_files->currentJob();
}

void ParameterPanel::paramVcChanged(int)
{
    setContainer(m_workingSettings, m_controls.container->currentIndex());
    applyPanelSettings();
}

void ParameterPanel::paramVqlChanged(int)
{
    setVideoQuality(m_workingSettings, m_controls.videoQuality->currentIndex());
    applyPanelSettings();
}

void ParameterPanel::paramAqlChanged(int)
{
    setAudioQuality(m_workingSettings, m_controls.audioQuality->currentIndex());
    applyPanelSettings();
}

void ParameterPanel::applyPanelSettings()
{
    if (m_controls.applyAll->isChecked()) {
        m_queue->applyToAll(m_workingSettings);
        return;
    }
    ConversionJob *job = currentJob();
    if (!job)
        return;
    m_controls.list->setFocus(Qt::OtherFocusReason);
    job->setSettings(m_workingSettings);
}

void ParameterPanel::refreshPanel()
{
    if (!m_controls.applyAll->isChecked()) {
        if (const ConversionJob *job = currentJob()) {
            m_controls.list->setFocus(Qt::OtherFocusReason);
            m_workingSettings = job->settings();
        } else {
            m_workingSettings = m_defaultSettings;
        }
    }
    selectPanelCombos();
}

void ParameterPanel::selectPanelCombos()
{
    // Signals stay connected: a selection that changes an index re-applies that combo's rule
    // before the next combo is selected, each reading the working settings at that moment.
    m_controls.container->setCurrentIndex(m_workingSettings.vc);
    m_controls.videoQuality->setCurrentIndex(m_workingSettings.vql);
    m_controls.audioQuality->setCurrentIndex(m_workingSettings.aql);
}

void ParameterPanel::curItemChanged(QListWidgetItem *, QListWidgetItem *)
{
    refreshPanel();
}

void ParameterPanel::applyAllChanged(int)
{
    if (m_controls.applyAll->isChecked())
        m_queue->applyToAll(m_workingSettings);
}

void ParameterPanel::btnQualitySettings_clicked()
{
    ConversionJob *target = nullptr;
    if (!m_controls.applyAll->isChecked()) {
        target = currentJob();
        if (!target)
            return;
        m_controls.list->setFocus(Qt::OtherFocusReason);
        m_workingSettings = target->settings();
    }

    CDlgAVSettings dialog(m_window);
    dialog.setSettings(m_workingSettings);
    dialog.exec();
    if (!dialog.okClicked)
        return;

    m_workingSettings = dialog.settings;
    selectPanelCombos();
    if (m_controls.applyAll->isChecked())
        m_queue->applyToAll(m_workingSettings);
    else
        target->setSettings(m_workingSettings);
}
