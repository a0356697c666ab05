#include "gui/MainWindow.h"

#include "Version.h"
#include "batch/ConfigFile.h"
#include "batch/ListIntake.h"
#include "batch/ListSaver.h"
#include "convert/ConversionJob.h"
#include "convert/LeftoverOutputs.h"
#include "convert/OutputPublisher.h"
#include "gui/AppLinks.h"
#include "gui/ConvertAtOnceChoice.h"
#include "gui/FileListView.h"
#include "gui/KeepDateChoice.h"
#include "gui/ParameterPanel.h"
#include "gui/PauseControl.h"
#include "gui/WhenDoneChoice.h"
#include "params/ParamTables.h"
#include "player/vlcplayer.h"
#include "session/BatchSession.h"
#include "ui/CDlgMessage.h"
#include "ui/DesktopNotifier.h"
#include "ui/StyleSheet.h"
#include "ui/WindowDrag.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMimeData>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::MainWindow>())
{
    m_ui->setupUi(this);
    setFixedSize(800, 510);
    centreOnDesktop();
    initSettings();
    initUi();
    initConnections();
    restoreList();
    showNormal();
}

MainWindow::~MainWindow()
{
    showBusy(false);
}

void MainWindow::showBusy(bool busy)
{
    if (busy == m_busyCursor)
        return;
    m_busyCursor = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindow::centreOnDesktop()
{
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
}

void MainWindow::initSettings()
{
    QString videosDir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    m_configFile = QStringLiteral("conf_main.json");
    if (ConfigFile(m_configFile).read(videosDir) != 0)
        ConfigFile(m_configFile).write(videosDir);
    m_queue.setOutputDirectory(videosDir);
    m_ui->editOutputDir->setText(videosDir);
    m_ui->editOutputDir->setReadOnly(true);
    initParamTables();
    setBatchUiState(NoFiles);
}

void MainWindow::initUi()
{
    m_intake = std::make_unique<ListIntake>(&m_queue);
    m_files = std::make_unique<FileListView>(m_ui->listInput, &m_queue);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    WindowDrag::install(this);
    setAttribute(Qt::WA_AlwaysShowToolTips, true);
    loadStyleSheet(this, QStringLiteral(":/qss/css/MainWindow.css"));
    styleComboItems(this);
    setWindowTitle(QStringLiteral("Quellix视频格式转换"));
    m_ui->mainLabelLogoStr->setText(QStringLiteral("Quellix视频格式转换 v" QUELLIX_VERSION));
    setWindowIcon(QIcon(QStringLiteral(":/images/images/main.ico")));
    m_ui->btnQqUrl->setText(QStringLiteral("官方QQ交流群：") +
                            QLatin1String(AppLinks::chatGroupNumber));

    m_panel = new ParameterPanel({m_ui->cboxVContainer, m_ui->cboxVQuality, m_ui->cboxAQuality,
                                  m_ui->applyAll, m_ui->btnQualitySettings, m_ui->listInput},
                                 &m_queue, m_files.get(), this);
    new ConvertAtOnceChoice(m_ui->cboxConcurrent, &m_queue, m_configFile, this);
    // The summary runs modally: not from inside the dialog that was just answered.
    auto *pause = new PauseControl(m_ui->btnPauseBatch, &m_queue, this);
    connect(
        pause, &PauseControl::cancelRequested, this, [this] { stopBatch(true); },
        Qt::QueuedConnection);
    m_whenDone = new WhenDoneChoice(m_ui->cboxWhenDone, this);
    connect(m_whenDone, &WhenDoneChoice::summaryDue, this, &MainWindow::showSummary,
            Qt::QueuedConnection);
    connect(m_whenDone, &WhenDoneChoice::aboutToAct, this, [this] { m_saver->saveNow(); });
    new BatchSession(&m_queue, this);
    new KeepDateChoice(m_ui->keepFileDate, m_configFile, this);

    m_ui->stackInput->setCurrentIndex(0);
    setAcceptDrops(true);
    m_ui->applyAll->setChecked(true);

    m_notifier = new DesktopNotifier(this);
    m_player = new vlcplayer(nullptr);
    m_ui->vlcLayout->addWidget(m_player);
}

void MainWindow::initConnections()
{
    connect(m_ui->btnConvertStart, &QPushButton::clicked, this,
            &MainWindow::btnConvertStart_clicked);
    connect(m_ui->btnInputFile, &QPushButton::clicked, this, &MainWindow::btnInputFile_clicked);
    connect(m_ui->btnInputClear, &QPushButton::clicked, this, &MainWindow::btnInputClear_clicked);
    connect(m_ui->btnOutputDir, &QPushButton::clicked, this, &MainWindow::btnOutputDir_clicked);
    connect(m_ui->btnOutputDir2, &QPushButton::clicked, this, &MainWindow::btnOutputDir2_clicked);
    connect(m_ui->listInput, &QListWidget::itemDoubleClicked, this, &MainWindow::ItemDClicked);
    connect(m_files.get(), &FileListView::deleteRequested, this, &MainWindow::confirmDelete);
    connect(m_files.get(), &FileListView::countChanged, this, [this](int count) {
        if (!isConverting())
            setBatchUiState(count > 0 ? Idle : NoFiles);
    });
    // The cursor shows that files are still coming.
    connect(m_intake.get(), &ListIntake::addingChanged, this, &MainWindow::showBusy);
    connect(&m_queue, &BatchQueue::finished, this, &MainWindow::batchFinished);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (isConverting()) {
        if (!CDlgMessage::ask(
                this, QStringLiteral("正在转码中，确认关闭？\n未完成的压缩任务将会取消。\n"))) {
            event->ignore();
            return;
        }
        stopBatch(false);
    }
    m_intake->cancel();
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
    const bool converting = state == Running;
    m_ui->stackInput->setCurrentIndex(state == NoFiles ? 0 : 1);
    m_ui->btnConvertStart->setText(converting ? QStringLiteral("取消转码")
                                              : QStringLiteral("开始转码"));
    m_ui->btnConvertStart->setStyleSheet(*buttonSheet);
    const std::initializer_list<QWidget *> panelControls = {
        m_ui->applyAll,     m_ui->cboxVContainer, m_ui->btnQualitySettings, m_ui->cboxVQuality,
        m_ui->cboxAQuality, m_ui->btnOutputDir,   m_ui->cboxConcurrent,     m_ui->keepFileDate};
    for (QWidget *control : panelControls)
        control->setEnabled(!converting);
}

int MainWindow::addInputFile(const std::string &path)
{
    return m_queue.add(path, m_panel->newFileSettings());
}

bool MainWindow::isAddingFiles() const
{
    return m_intake->isAdding();
}

const AVSettings &MainWindow::currentWorkingSettings() const
{
    return m_panel->workingSettings();
}

void MainWindow::btnInputFile_clicked()
{
    if (isConverting())
        return;
    const QStringList paths =
        QFileDialog::getOpenFileNames(this, QStringLiteral("选择视频文件"), QStringLiteral("/home"),
                                      QString::fromStdString(inputFileFilter()));
    // The list's count, once it changes, brings the Idle look.
    addPaths(paths);
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (isConverting() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    addPaths(paths);
}

void MainWindow::addPaths(const QStringList &paths)
{
    m_intake->addPaths(paths, m_panel->newFileSettings());
}

void MainWindow::openPaths(const QStringList &paths)
{
    if (!isConverting())
        addPaths(paths);
    showNormal();
    raise();
    activateWindow();
}

ConversionJob *MainWindow::jobAt(int row) const
{
    return m_files->jobAt(row);
}

ConversionJob *MainWindow::currentJob() const
{
    return m_files->currentJob();
}

void MainWindow::confirmDelete(ConversionJob *job)
{
    if (isConverting())
        return;
    if (!CDlgMessage::ask(this, QStringLiteral("\n确认删除？\n")))
        return;
    m_queue.removeAt(m_queue.rowOf(job));
}

void MainWindow::btnInputClear_clicked()
{
    if (isConverting() || m_files->count() == 0)
        return;
    if (!CDlgMessage::ask(this, QStringLiteral("\n确认清空？\n")))
        return;
    m_player->stop();
    m_intake->cancel();
    m_queue.clear();
}

void MainWindow::ItemDClicked(QListWidgetItem *item)
{
    if (const ConversionJob *job = jobAt(m_ui->listInput->row(item)))
        m_player->openMedia(QString::fromStdString(job->inputPath()), true);
}

void MainWindow::btnConvertStart_clicked()
{
    if (isConverting()) {
        if (CDlgMessage::ask(this, QStringLiteral("确认取消？\n未完成的转码任务将会取消。\n")))
            stopBatch(true);
        return;
    }
    startBatch();
}

void MainWindow::startBatch()
{
    // Not before the list is complete.
    if (m_queue.count() == 0 || isAddingFiles())
        return;
    const int result = m_queue.start();
    if (result == BatchQueue::nothingToConvert) {
        CDlgMessage::tell(
            this,
            QStringLiteral("没有需要转码的文件。\n点击<添加文件>选择视频文件，或直接<拖拽>文件至"
                           "窗口内。\n"));
        return;
    }
    if (result == BatchQueue::outputFolderUnusable) {
        CDlgMessage::tell(
            this, QStringLiteral("无法使用输出文件夹：\n%1\n原因：%2\n")
                      .arg(QDir::toNativeSeparators(outputDirectory()), m_queue.folderProblem()));
        return;
    }
    if (result != 0) {
        CDlgMessage::tell(this, QStringLiteral("启动失败！\n错误码：%1").arg(result));
        return;
    }
    m_player->pause();
    setBatchUiState(Running);
}

void MainWindow::batchFinished()
{
    setBatchUiState(Idle);
    // A countdown to what happens next holds the summary until it is cancelled.
    if (!m_whenDone->batchEnded(m_queue.succeededCount(), m_queue.failedCount()))
        showSummary();
}

void MainWindow::stopBatch(bool summary)
{
    m_queue.stop();
    setBatchUiState(Idle);
    if (summary)
        showSummary();
}

void MainWindow::showSummary()
{
    // A user who works in another window learns of the end from the desktop.
    if (!isActiveWindow())
        m_notifier->batchFinished(m_queue.succeededCount(), m_queue.failedCount(),
                                  m_queue.cancelledCount());
    CDlgMessage::tell(this, m_queue.summaryText());
    m_queue.clearResults();
}

void MainWindow::btnOutputDir_clicked()
{
    if (isConverting())
        return;
    const QString dir = QFileDialog::getExistingDirectory(
        this, QStringLiteral("选择视频文件夹"), QStringLiteral("/home"), QFileDialog::ShowDirsOnly);
    if (dir.isEmpty() || !QDir(dir).exists())
        return;
    m_queue.setOutputDirectory(dir);
    m_ui->editOutputDir->setText(dir);
    ConfigFile(m_configFile).write(dir);
}

// The list of the last run comes back as it was, but for what a killed run left half-written.
void MainWindow::restoreList()
{
    OutputPublisher::forThisUser().record().removeLeftovers();
    m_saver = std::make_unique<ListSaver>(&m_queue, SavedList::defaultFileName());
    m_intake->restore([saver = m_saver.get()] { return saver->load(); });
}

void MainWindow::btnOutputDir2_clicked()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(outputDirectory()));
}
