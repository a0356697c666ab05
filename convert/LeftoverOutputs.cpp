#include "convert/LeftoverOutputs.h"
#include "convert/OutputName.h"
#include "convert/PassRun.h"
#include "convert/RecordLock.h"
#include "convert/WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <signal.h>
#include <unistd.h>

namespace
{

const QString versionKey = QStringLiteral("version");
const QString outputsKey = QStringLiteral("outputs");
const QString pathKey = QStringLiteral("path");
const QString pidKey = QStringLiteral("pid");
constexpr int lockWaitMs = 5000;
// Far above any process id, and exact as a JSON number.
constexpr double maxPid = 9007199254740992.0;

int signalAnswer(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 ? 0 : errno;
}

bool removable(const QString &path)
{
    const QFileInfo info(path);
    return info.isAbsolute() && isTempOutputName(info.fileName());
}

} // namespace

LeftoverOutputs::LeftoverOutputs(QString recordFile, OwnerAnswer ownerAnswer)
    : m_recordFile(std::move(recordFile)),
      m_ownerAnswer(ownerAnswer ? std::move(ownerAnswer) : OwnerAnswer(signalAnswer))
{
}

// Another running process may still be writing its output, also one of another user, which
// refuses the signal (EPERM); a pid used again by some other program only keeps a leftover until
// that program ends.
bool LeftoverOutputs::ownerRuns(qint64 pid) const
{
    if (pid <= 0 || pid == qint64(::getpid()) || pid != qint64(pid_t(pid)))
        return false;
    const int answer = m_ownerAnswer(pid);
    return answer == 0 || answer == EPERM;
}

int LeftoverOutputs::parse(const QByteArray &bytes, QList<Output> &outputs)
{
    outputs.clear();
    if (bytes.isEmpty())
        return 0;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return recordDamaged;
    const QJsonObject top = document.object();
    if (top.value(versionKey).toInt(-1) != formatVersion || !top.value(outputsKey).isArray())
        return recordDamaged;
    const QJsonArray recorded = top.value(outputsKey).toArray();
    for (const QJsonValue &value : recorded) {
        const QJsonObject object = value.toObject();
        const QJsonValue path = object.value(pathKey);
        const QJsonValue pid = object.value(pidKey);
        const double number = pid.toDouble(-1);
        if (!path.isString() || path.toString().isEmpty() || number < 0 || number > maxPid ||
            number != std::floor(number)) {
            outputs.clear();
            return recordDamaged;
        }
        outputs.append(Output{path.toString(), qint64(number)});
    }
    return 0;
}

QByteArray LeftoverOutputs::serialise(const QList<Output> &outputs)
{
    QJsonArray array;
    for (const Output &output : outputs)
        array.append(QJsonObject{{pathKey, output.path}, {pidKey, double(output.pid)}});
    const QJsonObject top{{versionKey, formatVersion}, {outputsKey, array}};
    return QJsonDocument(top).toJson(QJsonDocument::Compact);
}

int LeftoverOutputs::read(QList<Output> &outputs) const
{
    outputs.clear();
    QFile file(m_recordFile);
    if (!file.exists())
        return 0;
    if (!file.open(QIODevice::ReadOnly))
        return recordDamaged;
    return parse(file.readAll(), outputs);
}

int LeftoverOutputs::write(const QList<Output> &outputs) const
{
    return writeWholeFile(m_recordFile, serialise(outputs)) ? 0 : recordUnusable;
}

// A damaged record cannot say which files are ours; it is kept aside for a look and nothing is
// removed by it.
void LeftoverOutputs::moveAside() const
{
    const QString bad = m_recordFile + QStringLiteral(".bad");
    QFile::remove(bad);
    if (!QFile::rename(m_recordFile, bad))
        QFile::remove(m_recordFile);
}

int LeftoverOutputs::add(const QString &path)
{
    return change([&](QList<Output> &outputs) {
        outputs.append(Output{path, qint64(::getpid())});
        return true;
    });
}

// Only this process's own entry: another process may have recorded the same name, and then it is
// that process's file.
int LeftoverOutputs::forget(const QString &path)
{
    const qint64 self = ::getpid();
    return change([&](QList<Output> &outputs) {
        const auto size = outputs.size();
        outputs.erase(std::remove_if(outputs.begin(), outputs.end(),
                                     [&](const Output &output) {
                                         return output.path == path && output.pid == self;
                                     }),
                      outputs.end());
        return outputs.size() != size;
    });
}

LeftoverOutputs::~LeftoverOutputs() = default;

void LeftoverOutputs::forgetLater(const QString &path)
{
    m_forgotten.append(path);
    if (!QCoreApplication::instance())
        return;
    if (!m_settler) {
        m_settler = std::make_unique<QTimer>();
        m_settler->setSingleShot(true);
        m_settler->setInterval(0);
        QObject::connect(m_settler.get(), &QTimer::timeout, [this] { settle(); });
    }
    m_settler->start();
}

int LeftoverOutputs::settle()
{
    if (m_forgotten.isEmpty())
        return 0;
    return change([](QList<Output> &) { return false; });
}

// A damaged record is set aside and the change applies to an empty one.
int LeftoverOutputs::change(const std::function<bool(QList<Output> &)> &edit)
{
    QDir().mkpath(QFileInfo(m_recordFile).path());
    RecordLock lock(m_recordFile + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs))
        return recordUnusable;
    QList<Output> outputs;
    if (read(outputs) != 0)
        moveAside();
    const bool dropped = dropForgotten(outputs);
    const bool edited = edit(outputs);
    const int result = dropped || edited ? write(outputs) : 0;
    if (result == 0)
        m_forgotten.clear();
    return result;
}

bool LeftoverOutputs::dropForgotten(QList<Output> &outputs) const
{
    const qint64 self = ::getpid();
    const auto size = outputs.size();
    outputs.erase(std::remove_if(outputs.begin(), outputs.end(),
                                 [&](const Output &output) {
                                     return output.pid == self && m_forgotten.contains(output.path);
                                 }),
                  outputs.end());
    return outputs.size() != size;
}

int LeftoverOutputs::removeLeftovers(int *removed)
{
    if (removed)
        *removed = 0;
    RecordLock lock(m_recordFile + QStringLiteral(".lock"));
    if (!lock.tryLock(lockWaitMs))
        return recordUnusable;
    QList<Output> outputs;
    if (read(outputs) != 0) {
        moveAside();
        return recordDamaged;
    }
    QList<Output> kept;
    for (const Output &output : outputs) {
        if (ownerRuns(output.pid)) {
            kept.append(output);
            continue;
        }
        if (!removable(output.path))
            continue;
        // A run killed in its first pass leaves that pass's statistics beside its output.
        QFile::remove(QString::fromStdString(PassRun::logFileOf(output.path.toStdString())));
        // Gone already, or not a name of ours: nothing to remove.
        if (!QFileInfo(output.path).isFile())
            continue;
        // A file that cannot be removed now stays recorded for the next try.
        if (!QFile::remove(output.path))
            kept.append(output);
        else if (removed)
            ++*removed;
    }
    return kept.size() == outputs.size() ? 0 : write(kept);
}

QStringList LeftoverOutputs::recorded() const
{
    QList<Output> outputs;
    read(outputs);
    QStringList paths;
    for (const Output &output : outputs)
        paths.append(output.path);
    return paths;
}
