#pragma once

#include "params/AVSettings.h"

#include <QObject>

class BatchQueue;
class ConversionJob;
class FileListView;
class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QWidget;

// The bottom panel of the main window: the container and the two quality levels, or every option
// in the settings dialog, for the current file or, with "应用到所有", for every file. It edits one
// set of working settings and copies it into the jobs.
class ParameterPanel final : public QObject
{
    Q_OBJECT

public:
    // The panel's widgets, which the window's form owns.
    struct Controls {
        QComboBox *container;
        QComboBox *videoQuality;
        QComboBox *audioQuality;
        QCheckBox *applyAll;
        QPushButton *settings;
        QListWidget *list;
    };

    ParameterPanel(const Controls &controls, BatchQueue *queue, FileListView *files,
                   QWidget *window);

    const AVSettings &workingSettings() const { return m_workingSettings; }
    // What a file that joins the list now starts with: what the panel shows while it applies to
    // all files, else the start-up settings.
    const AVSettings &newFileSettings() const;
    // Selects the combos from the working settings, reloaded from the current file unless
    // "应用到所有" is checked.
    void refreshPanel();

private slots:
    void paramVcChanged(int);
    void paramVqlChanged(int);
    void paramAqlChanged(int);
    void curItemChanged(QListWidgetItem *, QListWidgetItem *);
    void applyAllChanged(int);
    void btnQualitySettings_clicked();

private:
    void applyPanelSettings();
    void selectPanelCombos();
    ConversionJob *currentJob() const;

    Controls m_controls;
    BatchQueue *m_queue;
    FileListView *m_files;
    QWidget *m_window;
    AVSettings m_defaultSettings;
    AVSettings m_workingSettings;
};
