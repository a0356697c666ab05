#pragma once

#include "batch/SavedEntry.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The file list kept between runs, in one JSON file written atomically: a failed write, on a full
// disk say, leaves the previous file as it was. A file that cannot be used is moved aside to
// "<name>.bad" (replacing an older one) and the list starts empty.
class SavedList final
{
public:
    static constexpr int formatVersion = 1;
    // Results of load(): there is no saved list; the saved list was unusable and is moved aside.
    static constexpr int nothingSaved = 102;
    static constexpr int unusable = -202;
    // Result of save(): the file could not be written completely.
    static constexpr int writeFailed = -203;

    explicit SavedList(QString fileName) : m_fileName(std::move(fileName)) {}

    // list.json in the state folder.
    static QString defaultFileName();
    const QString &fileName() const { return m_fileName; }

    // 0, or writeFailed with the previous file untouched. Makes the folder when missing.
    int save(const std::vector<SavedEntry> &entries) const;
    // 0 with `entries` as saved, nothingSaved, or unusable (damaged, cut short, of a newer
    // version, or unreadable); `entries` is empty unless it returns 0.
    int load(std::vector<SavedEntry> &entries) const;

    static QByteArray serialise(const std::vector<SavedEntry> &entries);
    // 0 or unusable, as load(). A path listed twice is kept once, where it came first.
    static int parse(const QByteArray &bytes, std::vector<SavedEntry> &entries);

private:
    void moveAside() const;

    QString m_fileName;
};
