#include "app/MainWindow.h"

#include "app/AppLinks.h"
#include "params/ParamTables.h"
#include "ui/StyleSheet.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDesktopWidget>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setFixedSize(800, 510);
    centreOnDesktop();
    initSettings();
    initUi();
    initConnections();
    showNormal();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::centreOnDesktop()
{
    const QWidget *desktop = QApplication::desktop();
    move((desktop->width() - width()) / 2, (desktop->height() - height()) / 2);
}

void MainWindow::initSettings()
{
    videosDir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    configFile = QStringLiteral("conf_main.json");
    setOutputDir(videosDir.toStdString());
    ui->editOutputDir->setText(videosDir);
    ui->editOutputDir->setReadOnly(true);
    initParamTables();
    setBatchUiState(NoFiles);
    defaultSettings = makeAVSettings(0, QualityMedium, QualityMedium);
    workingSettings = defaultSettings;
}

void MainWindow::initUi()
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_AlwaysShowToolTips, true);
    loadStyleSheet(this, QStringLiteral(":/qss/css/MainWindow.css"));
    setWindowTitle(QStringLiteral("Quellix视频格式转换"));
    ui->mainLabelLogoStr->setText(QStringLiteral("Quellix视频格式转换 v3.1.3"));
    setWindowIcon(QIcon(QStringLiteral(":/images/images/main.ico")));
    ui->btnQqUrl->setText(QStringLiteral("官方QQ交流群：") + QLatin1String(AppLinks::chatGroupNumber));

    for (const auto &entry : containerTexts)
        ui->cboxVContainer->addItem(QIcon(), fromUtf8(entry.second));
    for (const auto &entry : qualityTexts) {
        ui->cboxVQuality->addItem(QIcon(), fromUtf8(entry.second));
        ui->cboxAQuality->addItem(QIcon(), fromUtf8(entry.second));
    }
    selectPanelCombos();

    ui->stackInput->setCurrentIndex(0);
    setAcceptDrops(true);
    ui->applyAll->setCheckable(true);
    ui->applyAll->setChecked(true);

    ui->cboxVContainer->setFocusPolicy(Qt::NoFocus);
    ui->cboxVQuality->setFocusPolicy(Qt::NoFocus);
    ui->cboxAQuality->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::initConnections() {}

void MainWindow::selectPanelCombos()
{
    ui->cboxVContainer->setCurrentIndex(workingSettings.vc);
    ui->cboxVQuality->setCurrentIndex(workingSettings.vql);
    ui->cboxAQuality->setCurrentIndex(workingSettings.aql);
}

void MainWindow::setBatchUiState(int state)
{
    const QString *buttonSheet = nullptr;
    switch (state) {
    case NoFiles:
        buttonSheet = &styleConvertDisabled;
        break;
    case Idle:
        buttonSheet = &styleConvertStart;
        break;
    case Running:
        buttonSheet = &styleConvertStop;
        break;
    default:
        return;
    }
    converting = state == Running;
    ui->stackInput->setCurrentIndex(state == NoFiles ? 0 : 1);
    ui->btnConvertStart->setText(converting ? QStringLiteral("取消转码") : QStringLiteral("开始转码"));
    ui->btnConvertStart->setStyleSheet(*buttonSheet);
    for (QWidget *control : {static_cast<QWidget *>(ui->applyAll),
                             static_cast<QWidget *>(ui->cboxVContainer),
                             static_cast<QWidget *>(ui->btnQualitySettings),
                             static_cast<QWidget *>(ui->cboxVQuality),
                             static_cast<QWidget *>(ui->cboxAQuality),
                             static_cast<QWidget *>(ui->btnOutputDir)})
        control->setEnabled(!converting);
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    QMainWindow::mousePressEvent(event);
    drag.press(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    QMainWindow::mouseReleaseEvent(event);
    drag.release();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    QMainWindow::mouseMoveEvent(event);
    drag.move(this);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
}

void MainWindow::on_btnCompanyUrl_clicked()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(AppLinks::companyUrl), QUrl::TolerantMode));
}

void MainWindow::on_btnQqUrl_clicked()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(AppLinks::chatGroupUrl), QUrl::TolerantMode));
}

void MainWindow::on_btnTopMin_clicked()
{
    showMinimized();
}

void MainWindow::on_btnTopClose_clicked()
{
    close();
}
