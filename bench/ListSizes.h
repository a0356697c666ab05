#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class QTemporaryDir;
class WindowFixture;

// Resident memory of this process in kilobytes, from /proc.
double residentKb();
// `count` small files named like videos in `dir`, as dropped URLs, in name order.
QList<QUrl> makeListFiles(const QTemporaryDir &dir, int count, const QString &stem);
// Drops the URLs on the fixture's window and turns the event loop until every one is listed and
// the window answers again; seconds from the drop, -1 when files went missing.
double dropAndWait(WindowFixture &fixture, const QList<QUrl> &urls);
