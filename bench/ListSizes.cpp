#include "bench/ListSizes.h"

#include "tests/FileDrop.h"
#include "tests/WindowFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

namespace
{
constexpr qint64 listTimeoutMs = 600000;
}

double residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return -1;
}

QList<QUrl> makeListFiles(const QTemporaryDir &dir, int count, const QString &stem)
{
    QList<QUrl> urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i) {
        QFile file(dir.filePath(stem + QStringLiteral(" %1.mp4").arg(i, 5, 10, QLatin1Char('0'))));
        if (file.open(QIODevice::WriteOnly))
            file.write("x");
        urls << QUrl::fromLocalFile(file.fileName());
    }
    return urls;
}

double dropAndWait(WindowFixture &fixture, const QList<QUrl> &urls)
{
    const int before = fixture.list()->count();
    QElapsedTimer clock;
    clock.start();
    dropUrls(fixture.window(), urls);
    while (fixture.list()->count() < before + urls.size() && !clock.hasExpired(listTimeoutMs))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // Answering again: whatever the drop left for the loop, such as painting, is done.
    QEventLoop answered;
    QTimer::singleShot(0, &answered, &QEventLoop::quit);
    answered.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return fixture.list()->count() == before + urls.size() ? seconds : -1;
}
