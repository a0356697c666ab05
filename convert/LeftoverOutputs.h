#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QTimer;

// The record of temporary outputs that conversions are writing, kept in a file so that the files a
// killed run left behind can be removed later, and only those: a file is removed only when it is
// recorded and its name is one the program makes. Every change reads, changes and rewrites the
// file under a lock, so several running copies of the program share one record.
class LeftoverOutputs final
{
public:
    static constexpr int formatVersion = 1;
    // Results: the record cannot be locked or written; the record file was damaged (it is moved
    // aside and nothing is removed by it).
    static constexpr int recordUnusable = -202;
    static constexpr int recordDamaged = -203;

    // What kill(pid, 0) answers for a recorded owner: 0, or the errno it fails with. The
    // system's unless a test gives its own (tests run as root, which kill() never refuses).
    using OwnerAnswer = std::function<int(qint64 pid)>;

    explicit LeftoverOutputs(QString recordFile, OwnerAnswer ownerAnswer = OwnerAnswer());
    ~LeftoverOutputs();
    LeftoverOutputs(const LeftoverOutputs &) = delete;
    LeftoverOutputs &operator=(const LeftoverOutputs &) = delete;

    const QString &recordFile() const { return m_recordFile; }
    // Records a path before anything is written under it: 0 or recordUnusable.
    int add(const QString &path);
    // The path is published or removed: drops what this process recorded under it. 0 or
    // recordUnusable.
    int forget(const QString &path);
    // The path is published: its entry goes with the record's next change, so that a batch
    // rewrites the record once per file, or with settle(), which runs by itself once control is
    // back in the event loop. Meanwhile the entry names a file that is no longer there, which a
    // clean-up passes over.
    void forgetLater(const QString &path);
    // Writes what forgetLater() left to do: 0 or recordUnusable.
    int settle();
    // Removes every recorded file that still exists and whose owner no longer runs, and drops
    // them from the record: 0, recordUnusable or recordDamaged. `removed` counts removed files.
    int removeLeftovers(int *removed = nullptr);
    // The recorded paths; empty for a missing or damaged record.
    QStringList recorded() const;

    // One recorded output and the process that writes it.
    struct Output {
        QString path;
        qint64 pid = 0;
    };
    // 0 with `outputs` filled, or recordDamaged. Empty bytes are an empty record.
    static int parse(const QByteArray &bytes, QList<Output> &outputs);
    static QByteArray serialise(const QList<Output> &outputs);

private:
    int read(QList<Output> &outputs) const;
    int write(const QList<Output> &outputs) const;
    int change(const std::function<bool(QList<Output> &)> &edit);
    bool dropForgotten(QList<Output> &outputs) const;
    void moveAside() const;
    bool ownerRuns(qint64 pid) const;

    QString m_recordFile;
    OwnerAnswer m_ownerAnswer;
    QStringList m_forgotten;
    std::unique_ptr<QTimer> m_settler;
};
