#include "batch/FolderVideos.h"
#include "params/ParamTables.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace
{

using FolderId = std::pair<dev_t, ino_t>;

bool folderId(const QString &path, FolderId &id)
{
    struct stat status {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    id = {status.st_dev, status.st_ino};
    return true;
}

// Names with their paths, so that sorting compares names without making any.
using Named = std::vector<std::pair<QString, QString>>;

struct FolderEntries {
    Named files;
    Named folders;
};

FolderEntries listFolder(const QString &path, const QCollator &order)
{
    FolderEntries entries;
    // Without QDir::Hidden, names that start with a dot are left out.
    QDirIterator it(path, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir())
            entries.folders.emplace_back(it.fileName(), info.absoluteFilePath());
        else if (info.isFile() && isInputExtension("." + info.suffix().toStdString()))
            entries.files.emplace_back(it.fileName(), info.absoluteFilePath());
    }
    const auto byName = [&order](const auto &a, const auto &b) {
        return order.compare(a.first, b.first) < 0;
    };
    std::sort(entries.files.begin(), entries.files.end(), byName);
    std::sort(entries.folders.begin(), entries.folders.end(), byName);
    return entries;
}

} // namespace

QStringList collectFolderVideos(const QString &folder, const std::atomic<bool> *stop)
{
    // The C locale's order is the bytes' order, without numbers by their value.
    const QLocale locale =
        QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator order(locale);
    order.setNumericMode(true);
    order.setCaseSensitivity(Qt::CaseInsensitive);

    QStringList videos;
    std::set<FolderId> visited;
    // Depth first without recursion: the next folder to list is at the back.
    std::vector<QString> pending = {QFileInfo(folder).absoluteFilePath()};
    while (!pending.empty() && !(stop && stop->load())) {
        const QString path = pending.back();
        pending.pop_back();
        FolderId id;
        if (!folderId(path, id) || !visited.insert(id).second)
            continue;
        const FolderEntries entries = listFolder(path, order);
        for (const auto &[name, file] : entries.files)
            videos << file;
        for (auto it = entries.folders.rbegin(); it != entries.folders.rend(); ++it)
            pending.push_back(it->second);
    }
    return videos;
}
