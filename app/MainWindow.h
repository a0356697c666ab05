#pragma once

#include "app/BatchQueue.h"
#include "params/AVSettings.h"
#include "ui/WindowDrag.h"

#include <QMainWindow>
#include <QString>

#include <string>

class ConversionJob;
class DesktopNotifier;
class InputItem;
class QListWidgetItem;
class RowWidgets;
class vlcplayer;
namespace Ui
{
class MainWindow;
}

// The program's only window: file list, batch control, parameter panel and output folder.
class MainWindow final : public QMainWindow
{
    Q_OBJECT

public:
    enum BatchUiState { NoFiles = 0, Idle = 1, Running = 2 };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void setBatchUiState(int state);
    // 0 when an entry was added, -1 when the path was refused (silently).
    int addInputFile(const std::string &path);
    static bool isSupportedInput(const std::string &dotSuffix);

    bool isConverting() const { return converting; }
    // Files of a drop or a dialog selection are still being listed, a slice at a time.
    bool isAddingFiles() const { return !pendingPaths.isEmpty(); }
    const AVSettings &currentWorkingSettings() const { return workingSettings; }
    const QString &outputDirectory() const { return videosDir; }
    vlcplayer *previewPlayer() const { return player; }
    // The job of a list row, and of the list's current row; null when there is none.
    ConversionJob *jobAt(int row) const;
    ConversionJob *currentJob() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    void btnConvertStart_clicked();
    void btnOutputDir_clicked();
    void btnOutputDir2_clicked();
    void btnQualitySettings_clicked();
    void btnInputFile_clicked();
    void btnInputClear_clicked();
    void paramVcChanged(int);
    void paramVqlChanged(int);
    void paramAqlChanged(int);
    void ItemDClicked(QListWidgetItem *item);
    void curItemChanged(QListWidgetItem *, QListWidgetItem *);
    void applyAllChanged(int);
    void ItemConvertDone(ConversionJob *job);
    void ItemDelete(InputItem *item);
    void on_btnCompanyUrl_clicked();
    void on_btnQqUrl_clicked();
    void on_btnTopMin_clicked();
    void on_btnTopClose_clicked();

private:
    void centreOnDesktop();
    void initSettings();
    void initUi();
    void initConnections();

    // File list
    int listJob(const std::string &path);
    void appendRows(int count);
    void addInputFiles(const QStringList &paths);
    void addPendingFiles();
    void showListIfFilled();

    // Batch
    void startBatch();
    void stopBatch(bool summary);
    void batchFinished();
    void showSummary();

    // Configuration file
    int readConfig(QString &dir) const;
    int writeConfig(const QString &dir) const;

    // Parameter panel
    void applyPanelSettings();
    void refreshPanel();
    void selectPanelCombos();
    void copySettingsToAllJobs();

    bool ask(const QString &question);
    void tell(const QString &notice);

    Ui::MainWindow *ui;
    bool converting = false;
    AVSettings defaultSettings;
    AVSettings workingSettings;
    BatchQueue queue;
    RowWidgets *rows = nullptr;
    DesktopNotifier *notifier = nullptr;
    // Paths of a large drop or selection not listed yet, in their order.
    QStringList pendingPaths;
    bool busyCursorShown = false;
    vlcplayer *player = nullptr;
    QString videosDir;
    QString configFile;
    WindowDrag drag;
};
