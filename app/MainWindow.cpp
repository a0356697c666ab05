#include "app/MainWindow.h"

#include "app/AppLinks.h"
#include "app/ConfigFile.h"
#include "app/RowWidgets.h"
#include "convert/ConversionJob.h"
#include "convert/InputItem.h"
#include "params/CDlgAVSettings.h"
#include "params/ParamTables.h"
#include "player/vlcplayer.h"
#include "ui/CDlgMessage.h"
#include "ui/DesktopNotifier.h"
#include "ui/StyleSheet.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDesktopWidget>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>

namespace
{

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

// Listing files takes the event loop for at most this long at a time, so that the window keeps
// answering while thousands of files arrive.
constexpr int addSliceMs = 10;

const char *const inputFilter =
    "All Formats (*.mp4 *.mkv *.flv *.avi *.wmv *.mpg *.mov *.rmvb);;MP4 (*.mp4);;MKV (*.mkv);;"
    "FLV (*.flv);;AVI (*.avi);;WMV (*.wmv);;MPG (*.mpg);;MOV (*.mov);;RMVB (*.rmvb);;"
    "All Files (*.*)";

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    qRegisterMetaType<InputItem *>("InputItem*");
    ui->setupUi(this);
    setFixedSize(800, 510);
    centreOnDesktop();
    initSettings();
    initUi();
    initConnections();
    connect(&queue, &BatchQueue::finished, this, &MainWindow::batchFinished);
    // The list follows the file being converted.
    connect(&queue, &BatchQueue::jobStarted, this, [this](ConversionJob *job) {
        ui->listInput->scrollToItem(ui->listInput->item(queue.rowOf(job)));
    });
    showNormal();
}

MainWindow::~MainWindow()
{
    if (busyCursorShown)
        QApplication::restoreOverrideCursor();
    // The row widgets' keeper watches the list, which goes with the window's other children.
    delete rows;
    delete ui;
}

// ---------------------------------------------------------------------------------------------
// Construction

void MainWindow::centreOnDesktop()
{
    const QWidget *desktop = QApplication::desktop();
    move((desktop->width() - width()) / 2, (desktop->height() - height()) / 2);
}

void MainWindow::initSettings()
{
    videosDir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    configFile = QStringLiteral("conf_main.json");
    if (readConfig(videosDir) != 0)
        writeConfig(videosDir);
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
    styleComboItems(this);
    setWindowTitle(QStringLiteral("Quellix视频格式转换"));
    ui->mainLabelLogoStr->setText(QStringLiteral("Quellix视频格式转换 v3.1.3"));
    setWindowIcon(QIcon(QStringLiteral(":/images/images/main.ico")));
    ui->btnQqUrl->setText(QStringLiteral("官方QQ交流群：") +
                          QLatin1String(AppLinks::chatGroupNumber));

    for (const auto &entry : containerTexts)
        ui->cboxVContainer->addItem(QIcon(), fromUtf8(entry.second));
    for (const auto &entry : qualityTexts) {
        ui->cboxVQuality->addItem(QIcon(), fromUtf8(entry.second));
        ui->cboxAQuality->addItem(QIcon(), fromUtf8(entry.second));
    }
    refreshPanel();

    ui->stackInput->setCurrentIndex(0);
    setAcceptDrops(true);
    // Every row has the same size, which spares the list measuring thousands of them.
    ui->listInput->setUniformItemSizes(true);
    rows = new RowWidgets(ui->listInput, &queue, this);
    connect(rows, &RowWidgets::ItemDelete, this, &MainWindow::ItemDelete);
    ui->applyAll->setCheckable(true);
    ui->applyAll->setChecked(true);

    notifier = new DesktopNotifier(this);
    player = new vlcplayer(nullptr);
    ui->vlcLayout->addWidget(player);

    ui->cboxVContainer->setFocusPolicy(Qt::NoFocus);
    ui->cboxVQuality->setFocusPolicy(Qt::NoFocus);
    ui->cboxAQuality->setFocusPolicy(Qt::NoFocus);
}

void MainWindow::initConnections()
{
    connect(ui->btnConvertStart, &QPushButton::clicked, this, &MainWindow::btnConvertStart_clicked);
    connect(ui->btnInputFile, &QPushButton::clicked, this, &MainWindow::btnInputFile_clicked);
    connect(ui->btnInputClear, &QPushButton::clicked, this, &MainWindow::btnInputClear_clicked);
    connect(ui->btnOutputDir, &QPushButton::clicked, this, &MainWindow::btnOutputDir_clicked);
    connect(ui->btnOutputDir2, &QPushButton::clicked, this, &MainWindow::btnOutputDir2_clicked);
    connect(ui->btnQualitySettings, &QPushButton::clicked, this,
            &MainWindow::btnQualitySettings_clicked);
    connect(ui->cboxVContainer, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::paramVcChanged);
    connect(ui->cboxVQuality, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::paramVqlChanged);
    connect(ui->cboxAQuality, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &MainWindow::paramAqlChanged);
    connect(ui->listInput, &QListWidget::itemDoubleClicked, this, &MainWindow::ItemDClicked);
    connect(ui->listInput, &QListWidget::currentItemChanged, this, &MainWindow::curItemChanged);
    connect(ui->applyAll, &QCheckBox::stateChanged, this, &MainWindow::applyAllChanged);
}

// ---------------------------------------------------------------------------------------------
// Title bar, dragging and closing

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
    if (converting) {
        if (!ask(QStringLiteral("正在转码中，确认关闭？\n未完成的压缩任务将会取消。\n"))) {
            event->ignore();
            return;
        }
        stopBatch(false);
    }
    pendingPaths.clear();
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

bool MainWindow::ask(const QString &question)
{
    CDlgMessage dialog(this, 2, question);
    dialog.exec();
    return dialog.okClicked;
}

void MainWindow::tell(const QString &notice)
{
    CDlgMessage dialog(this, 1, notice);
    dialog.exec();
}

// ---------------------------------------------------------------------------------------------
// Batch looks

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
    ui->btnConvertStart->setText(converting ? QStringLiteral("取消转码")
                                            : QStringLiteral("开始转码"));
    ui->btnConvertStart->setStyleSheet(*buttonSheet);
    const std::initializer_list<QWidget *> panelControls = {
        ui->applyAll,     ui->cboxVContainer, ui->btnQualitySettings,
        ui->cboxVQuality, ui->cboxAQuality,   ui->btnOutputDir};
    for (QWidget *control : panelControls)
        control->setEnabled(!converting);
}

// ---------------------------------------------------------------------------------------------
// File list

bool MainWindow::isSupportedInput(const std::string &dotSuffix)
{
    std::string lower = dotSuffix;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; });
    return findKey(inputExts, lower).has_value();
}

int MainWindow::addInputFile(const std::string &path)
{
    if (listJob(path) != 0)
        return -1;
    appendRows(1);
    return 0;
}

// The file list's rules for a path; 0 when its job joined the queue, -1 when it was refused.
int MainWindow::listJob(const std::string &path)
{
    const QFileInfo info(fromUtf8(path));
    if (path.empty() || !info.exists())
        return -1;
    if (!isSupportedInput("." + info.suffix().toStdString()))
        return -1;
    if (queue.isListed(path))
        return -1;

    auto newJob = std::make_unique<ConversionJob>();
    if (newJob->setInput(path, defaultSettings) < 0)
        return -1;
    ConversionJob *job = queue.append(std::move(newJob));
    connect(job, &ConversionJob::finished, this, &MainWindow::ItemConvertDone);
    return 0;
}

// Rows for the jobs last joined to the queue, appended in one go: the list lays itself out once
// for them rather than once per row. A row gets its widget when it is on screen.
void MainWindow::appendRows(int count)
{
    if (count <= 0)
        return;
    const int first = ui->listInput->count();
    QStringList noTexts;
    noTexts.reserve(count);
    for (int i = 0; i < count; ++i)
        noTexts << QString();
    ui->listInput->insertItems(first, noTexts);
    for (int row = first; row < first + count; ++row)
        ui->listInput->item(row)->setSizeHint(InputItem::formSize());
    rows->refresh();
}

void MainWindow::addInputFiles(const QStringList &paths)
{
    const bool sliceRunning = !pendingPaths.isEmpty();
    pendingPaths += paths;
    if (!sliceRunning)
        addPendingFiles();
}

// Lists files for one slice of time and comes back for the rest on the next turn of the event
// loop; the list grows and the cursor shows that files are still coming.
void MainWindow::addPendingFiles()
{
    QElapsedTimer slice;
    slice.start();
    int done = 0;
    int listed = 0;
    while (done < pendingPaths.size() && !slice.hasExpired(addSliceMs)) {
        if (listJob(pendingPaths.at(done++).toStdString()) == 0)
            ++listed;
    }
    pendingPaths.erase(pendingPaths.begin(), pendingPaths.begin() + done);
    appendRows(listed);
    showListIfFilled();
    const bool more = !pendingPaths.isEmpty();
    if (more != busyCursorShown) {
        if (more)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
        busyCursorShown = more;
    }
    if (more)
        QTimer::singleShot(0, this, &MainWindow::addPendingFiles);
}

void MainWindow::showListIfFilled()
{
    if (ui->listInput->count() > 0)
        setBatchUiState(Idle);
}

void MainWindow::btnInputFile_clicked()
{
    if (converting)
        return;
    const QStringList paths = QFileDialog::getOpenFileNames(
        this, QStringLiteral("选择视频文件"), QStringLiteral("/home"), QLatin1String(inputFilter));
    addInputFiles(paths);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (converting || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    paths.reserve(urls.size());
    for (const QUrl &url : urls)
        paths << url.toLocalFile();
    addInputFiles(paths);
}

ConversionJob *MainWindow::jobAt(int row) const
{
    return queue.at(row);
}

ConversionJob *MainWindow::currentJob() const
{
    return queue.at(ui->listInput->currentRow());
}

void MainWindow::ItemDelete(InputItem *item)
{
    if (converting)
        return;
    if (!ask(QStringLiteral("\n确认删除？\n")))
        return;
    const int row = queue.rowOf(item->job());
    if (row >= 0) {
        delete ui->listInput->takeItem(row);
        queue.removeAt(row);
        rows->refresh();
    }
    if (ui->listInput->count() == 0)
        setBatchUiState(NoFiles);
}

void MainWindow::btnInputClear_clicked()
{
    if (converting || ui->listInput->count() == 0)
        return;
    if (!ask(QStringLiteral("\n确认清空？\n")))
        return;
    player->stop();
    pendingPaths.clear();
    ui->listInput->clear();
    queue.clear();
    setBatchUiState(NoFiles);
}

void MainWindow::ItemDClicked(QListWidgetItem *item)
{
    if (const ConversionJob *job = jobAt(ui->listInput->row(item)))
        player->openMedia(fromUtf8(job->inputPath()), true);
}

// ---------------------------------------------------------------------------------------------
// Batch conversion

void MainWindow::btnConvertStart_clicked()
{
    if (converting) {
        if (ask(QStringLiteral("确认取消？\n未完成的转码任务将会取消。\n")))
            stopBatch(true);
        return;
    }
    startBatch();
}

void MainWindow::startBatch()
{
    // Not before the list is complete.
    if (queue.count() == 0 || isAddingFiles())
        return;
    const int result = queue.start();
    if (result == BatchQueue::nothingToConvert) {
        tell(QStringLiteral("没有需要转码的文件。\n点击<添加文件>选择视频文件，或直接<拖拽>文件至"
                            "窗口内。\n"));
        return;
    }
    if (result == BatchQueue::outputFolderUnusable) {
        tell(QStringLiteral("无法使用输出文件夹：\n%1\n原因：%2\n")
                 .arg(QDir::toNativeSeparators(videosDir), queue.folderProblem()));
        return;
    }
    if (result != 0) {
        tell(QStringLiteral("启动失败！\n错误码：%1").arg(result));
        return;
    }
    player->pause();
    setBatchUiState(Running);
}

void MainWindow::ItemConvertDone(ConversionJob *job)
{
    if (converting)
        queue.jobEnded(job);
}

void MainWindow::batchFinished()
{
    setBatchUiState(Idle);
    showSummary();
}

void MainWindow::stopBatch(bool summary)
{
    setBatchUiState(Idle);
    queue.stop();
    if (summary)
        showSummary();
}

void MainWindow::showSummary()
{
    // A user who works in another window learns of the end from the desktop.
    if (!isActiveWindow())
        notifier->batchFinished(queue.succeededCount(), queue.failedCount(),
                                queue.cancelledCount());
    tell(queue.summaryText());
    queue.clearResults();
}

// ---------------------------------------------------------------------------------------------
// Output folder and configuration file

int MainWindow::readConfig(QString &dir) const
{
    return ConfigFile(configFile).read(dir);
}

int MainWindow::writeConfig(const QString &dir) const
{
    return ConfigFile(configFile).write(dir);
}

void MainWindow::btnOutputDir_clicked()
{
    if (converting)
        return;
    const QString dir = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择视频文件夹"), QStringLiteral("/home"), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty() || !QDir(dir).exists())
        return;
    setOutputDir(dir.toStdString());
    ui->editOutputDir->setText(dir);
    writeConfig(dir);
    videosDir = dir;
}

void MainWindow::btnOutputDir2_clicked()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(videosDir));
}

// ---------------------------------------------------------------------------------------------
// Parameter panel

void MainWindow::paramVcChanged(int)
{
    setContainer(workingSettings, ui->cboxVContainer->currentIndex());
    applyPanelSettings();
}

void MainWindow::paramVqlChanged(int)
{
    setVideoQuality(workingSettings, ui->cboxVQuality->currentIndex());
    applyPanelSettings();
}

void MainWindow::paramAqlChanged(int)
{
    setAudioQuality(workingSettings, ui->cboxAQuality->currentIndex());
    applyPanelSettings();
}

void MainWindow::copySettingsToAllJobs()
{
    for (int row = 0; row < queue.count(); ++row)
        queue.at(row)->setSettings(workingSettings);
}

void MainWindow::applyPanelSettings()
{
    if (ui->applyAll->isChecked()) {
        copySettingsToAllJobs();
        return;
    }
    ConversionJob *job = currentJob();
    if (!job)
        return;
    ui->listInput->setFocus(Qt::OtherFocusReason);
    job->setSettings(workingSettings);
}

void MainWindow::refreshPanel()
{
    if (!ui->applyAll->isChecked()) {
        if (const ConversionJob *job = currentJob()) {
            ui->listInput->setFocus(Qt::OtherFocusReason);
            workingSettings = job->settings();
        } else {
            workingSettings = defaultSettings;
        }
    }
    selectPanelCombos();
}

void MainWindow::selectPanelCombos()
{
    // Signals stay connected: a selection that changes an index re-applies that combo's rule
    // before the next combo is selected, each reading workingSettings at that moment.
    ui->cboxVContainer->setCurrentIndex(workingSettings.vc);
    ui->cboxVQuality->setCurrentIndex(workingSettings.vql);
    ui->cboxAQuality->setCurrentIndex(workingSettings.aql);
}

void MainWindow::curItemChanged(QListWidgetItem *, QListWidgetItem *)
{
    refreshPanel();
}

void MainWindow::applyAllChanged(int)
{
    if (ui->applyAll->isChecked())
        copySettingsToAllJobs();
}

void MainWindow::btnQualitySettings_clicked()
{
    ConversionJob *target = nullptr;
    if (!ui->applyAll->isChecked()) {
        target = currentJob();
        if (!target)
            return;
        ui->listInput->setFocus(Qt::OtherFocusReason);
        workingSettings = target->settings();
    }

    CDlgAVSettings dialog(this);
    dialog.setSettings(workingSettings);
    dialog.exec();
    if (!dialog.okClicked)
        return;

    workingSettings = dialog.settings;
    selectPanelCombos();
    if (ui->applyAll->isChecked())
        copySettingsToAllJobs();
    else
        target->setSettings(workingSettings);
}
