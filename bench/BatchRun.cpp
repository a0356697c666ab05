#include "bench/BatchRun.h"

#include "app/MainWindow.h"
#include "bench/FileDrop.h"
#include "bench/LoopGapProbe.h"
#include "convert/InputItem.h"
#include "ui/CDlgMessage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>

namespace
{

qint64 monotonicNs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.nsecsElapsed();
}

bool writeConfig(const QString &workDir, const QString &outputDir)
{
    QFile config(QDir(workDir).filePath(QStringLiteral("conf_main.json")));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    config.write(QJsonDocument(QJsonObject{{QStringLiteral("VideosDir"), outputDir}}).toJson());
    return true;
}

} // namespace

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

BatchRun::BatchRun(const QString &workDir, const QString &outputDir)
{
    QDir::setCurrent(workDir);
    if (!writeConfig(workDir, outputDir))
        qWarning("cannot write the configuration file in %s", qPrintable(workDir));
    window = std::make_unique<MainWindow>(nullptr);
    window->show();
    // Until the window is exposed its first paint would land inside the measurement.
    QElapsedTimer shown;
    shown.start();
    while (!window->windowHandle()->isExposed() && shown.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    qApp->installEventFilter(this);
}

BatchRun::~BatchRun()
{
    qApp->removeEventFilter(this);
}

int BatchRun::addFiles(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    dropUrls(window.get(), urls);
    QApplication::processEvents();
    return jobs().size();
}

QList<InputItem *> BatchRun::jobs() const
{
    QList<InputItem *> list;
    const auto *view = window->findChild<QListWidget *>(QStringLiteral("listInput"));
    for (int row = 0; row < view->count(); ++row)
        list << qobject_cast<InputItem *>(view->itemWidget(view->item(row)));
    return list;
}

BatchRun::Result BatchRun::run(int timeoutMs, LoopGapProbe *probe)
{
    current = Result();
    activeProbe = probe;
    QEventLoop loop;
    waiting = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    auto *start = window->findChild<QPushButton *>(QStringLiteral("btnConvertStart"));
    // Pressed from inside the loop, so that a summary shown at once is caught too.
    QTimer::singleShot(0, start, [this, start] {
        if (activeProbe)
            activeProbe->start();
        startCpu = ownCpuSeconds();
        startNs = monotonicNs();
        start->click();
    });
    loop.exec();
    waiting = nullptr;
    if (activeProbe && !current.finished)
        activeProbe->stop();
    activeProbe = nullptr;
    return current;
}

// The summary is the end of the batch: the clock stops the moment it is shown.
bool BatchRun::eventFilter(QObject *watched, QEvent *event)
{
    auto *dialog = event->type() == QEvent::Show ? qobject_cast<CDlgMessage *>(watched) : nullptr;
    if (!dialog || !waiting || current.finished)
        return false;
    current.wallSeconds = double(monotonicNs() - startNs) / 1e9;
    current.cpuSeconds = ownCpuSeconds() - startCpu;
    if (activeProbe)
        activeProbe->stop();
    current.finished = true;
    current.summary = dialog->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
    auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("btnOk"));
    QTimer::singleShot(0, ok, &QPushButton::click);
    waiting->quit();
    return false;
}
