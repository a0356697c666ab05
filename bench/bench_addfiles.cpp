// Time and peak memory of adding many files to the list in one drop.
// Usage: bench_addfiles [count...] (default 1000 10000); prints one line per count with the
// median of five runs.
#include "app/MainWindow.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include "player/VideoOutputInit.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QList<QUrl> makeFiles(const QTemporaryDir &dir, int count)
{
    QList<QUrl> urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString path =
            dir.filePath(QStringLiteral("clip %1.mp4").arg(i, 5, 10, QLatin1Char('0')));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
        urls << QUrl::fromLocalFile(path);
    }
    return urls;
}

double dropSeconds(const QList<QUrl> &urls)
{
    MainWindow window;
    QMimeData data;
    data.setUrls(urls);
    QElapsedTimer timer;
    timer.start();
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    QApplication::processEvents(); // the list lays its entries out before it is usable
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (window.findChild<QListWidget *>(QStringLiteral("listInput"))->count() != urls.size())
        std::fprintf(stderr, "only %d of %d files were added\n",
                     window.findChild<QListWidget *>(QStringLiteral("listInput"))->count(),
                     int(urls.size()));
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    initVideoOutput();
    QApplication app(argc, argv);
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(std::atoi(argv[i]));
    if (counts.empty())
        counts = {1000, 10000};

    std::printf("%-28s %10s %12s %12s\n", "figure", "median s", "goal s", "peak RSS MB");
    for (int count : counts) {
        QTemporaryDir dir;
        const QList<QUrl> urls = makeFiles(dir, count);
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run)
            runs.push_back(dropSeconds(urls));
        std::sort(runs.begin(), runs.end());
        const double goal = count <= 1000 ? 0.5 : 5.0 * count / 10000.0;
        std::printf("add %-6d files in one drop %10.3f %12.2f %12.1f\n", count,
                    runs[runs.size() / 2], goal, double(peakResidentKb()) / 1024.0);
    }
    return 0;
}
