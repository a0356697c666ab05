#pragma once

#include "params/AVSettings.h"
#include "ui/WindowDrag.h"

#include <QMainWindow>
#include <QMap>
#include <QString>

namespace Ui {
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
    bool isConverting() const { return converting; }
    const AVSettings &currentWorkingSettings() const { return workingSettings; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_btnCompanyUrl_clicked();
    void on_btnQqUrl_clicked();
    void on_btnTopMin_clicked();
    void on_btnTopClose_clicked();

private:
    void centreOnDesktop();
    void initSettings();
    void initUi();
    void initConnections();
    void selectPanelCombos();

    Ui::MainWindow *ui;
    bool converting = false;
    AVSettings defaultSettings;
    AVSettings workingSettings;
    QMap<QString, QString> succeededFiles;
    QMap<QString, QString> failedFiles;
    QString videosDir;
    QString configFile;
    WindowDrag drag;
};
