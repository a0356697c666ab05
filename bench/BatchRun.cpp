#include "bench/BatchRun.h"

#include "gui/MainWindow.h"
#include "tests/EventLoopWatch.h"
#include "tests/FileDrop.h"
#include "ui/CDlgMessage.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

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

} // namespace

double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

BatchRun::BatchRun(const QString &outputDir)
{
    // Until the window is exposed its first paint would land inside the measurement.
    if (!fixture.open(outputDir))
        qWarning("the window did not come up with %s as its output folder", qPrintable(outputDir));
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
    dropUrls(fixture.window(), urls);
    QApplication::processEvents();
    return jobs().size();
}

QList<ConversionJob *> BatchRun::jobs() const
{
    QList<ConversionJob *> list;
    for (int row = 0; fixture.job(row); ++row)
        list << fixture.job(row);
    return list;
}

void BatchRun::convertAtOnce(int files)
{
    auto *combo = fixture.child<QComboBox>("cboxConcurrent");
    const int index = combo->findData(files);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

BatchRun::Result BatchRun::run(int timeoutMs, EventLoopWatch *probe)
{
    current = Result();
    activeProbe = probe;
    QEventLoop loop;
    waiting = &loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QPushButton *start = fixture.startButton();
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
