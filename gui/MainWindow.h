#pragma once

#include "batch/BatchQueue.h"
#include "params/AVSettings.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>

class ConversionJob;
class DesktopNotifier;
class FileListView;
class ListIntake;
class ListSaver;
class ParameterPanel;
class WhenDoneChoice;
class QListWidgetItem;
class vlcplayer;
namespace Ui
{
class MainWindow;
}

// The program's only window: it wires the file list, the batch control, the parameter panel and
// the output folder to the queue.
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
    // Lists files and the videos of folders, a slice at a time, refusing silently what the
    // list refuses.
    void addPaths(const QStringList &paths);

    // A batch runs: the queue's word, the window's looks follow it.
    bool isConverting() const { return m_queue.isRunning(); }
    // Files of a drop or a dialog selection are still being listed, a slice at a time.
    bool isAddingFiles() const;
    const AVSettings &currentWorkingSettings() const;
    QString outputDirectory() const { return m_queue.outputDirectory(); }
    vlcplayer *previewPlayer() const { return m_player; }
    // The job of a list row, and of the list's current row; null when there is none.
    ConversionJob *jobAt(int row) const;
    ConversionJob *currentJob() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

public slots:
    // Files handed over by a later start of the program: listed unless a batch runs, as a drop
    // would be, and the window comes to the front.
    void openPaths(const QStringList &paths);

private slots:
    void btnConvertStart_clicked();
    void btnOutputDir_clicked();
    void btnOutputDir2_clicked();
    void btnInputFile_clicked();
    void btnInputClear_clicked();
    void ItemDClicked(QListWidgetItem *item);
    void confirmDelete(ConversionJob *job);
    void on_btnCompanyUrl_clicked();
    void on_btnQqUrl_clicked();
    void on_btnTopMin_clicked();
    void on_btnTopClose_clicked();

private:
    void centreOnDesktop();
    void initSettings();
    void initUi();
    void initConnections();

    // Batch
    void startBatch();
    void stopBatch(bool summary);
    void batchFinished();
    void showSummary();

    // Configuration file
    void restoreList();
    // The cursor shows that files are still coming.
    void showBusy(bool busy);

    std::unique_ptr<Ui::MainWindow> m_ui;
    BatchQueue m_queue;
    // Go before the list widget they watch, and before the queue they fill and show.
    std::unique_ptr<ListIntake> m_intake;
    std::unique_ptr<FileListView> m_files;
    std::unique_ptr<ListSaver> m_saver;
    ParameterPanel *m_panel = nullptr;
    DesktopNotifier *m_notifier = nullptr;
    WhenDoneChoice *m_whenDone = nullptr;
    vlcplayer *m_player = nullptr;
    QString m_configFile;
    bool m_busyCursor = false;
};
