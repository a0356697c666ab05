// Reads arbitrary bytes as the record of temporary outputs. Whatever it names, the clean-up
// removes only recorded files with the program's own temporary names: the record's paths are
// moved into a scratch folder that also holds files nobody recorded.
#include "convert/LeftoverOutputs.h"
#include "convert/OutputName.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzScratch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

#include <unistd.h>

namespace
{

bool makeFile(const QString &path)
{
    return writeBytes(path, QByteArray());
}

// Names a file may have in the folder: one path component, not . or ..
bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QStringLiteral(".") &&
           name != QStringLiteral("..") && QString::fromUtf8(name.toUtf8()) == name;
}

void checkCleanUp(const QList<LeftoverOutputs::Output> &parsed)
{
    QDir folder(scratch().filePath(QStringLiteral("out")));
    folder.removeRecursively();
    fuzzCheck(folder.mkpath(QStringLiteral(".")), "the output folder can be made");
    const QString decoy = folder.filePath(QStringLiteral(".quellix-0123abcd-unrecorded.part.mp4"));
    fuzzCheck(makeFile(decoy), "the decoy can be made");

    QList<LeftoverOutputs::Output> outputs;
    QStringList expectGone, expectKept{decoy};
    for (const LeftoverOutputs::Output &output : parsed) {
        const QString name = QFileInfo(output.path).fileName();
        if (!plainName(name) || folder.filePath(name) == decoy)
            continue;
        const QString path = folder.filePath(name);
        outputs.append(LeftoverOutputs::Output{path, output.pid});
        if (!makeFile(path))
            continue;
        const bool ours = isTempOutputName(name) && output.pid == qint64(::getpid());
        (ours ? expectGone : expectKept).append(path);
    }
    LeftoverOutputs record(scratch().filePath(QStringLiteral("outputs.json")));
    fuzzCheck(writeBytes(record.recordFile(), LeftoverOutputs::serialise(outputs)),
              "the record can be written");
    fuzzCheck(record.removeLeftovers() == 0, "a written record is used");
    for (const QString &path : expectGone)
        fuzzCheck(!QFileInfo::exists(path) || expectKept.contains(path), "own leftovers go");
    for (const QString &path : expectKept) {
        const bool removable = isTempOutputName(QFileInfo(path).fileName()) && path != decoy;
        fuzzCheck(removable || QFileInfo::exists(path), "nothing else is removed");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    fuzzCheck(scratch().isValid(), "a scratch folder exists");
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QList<LeftoverOutputs::Output> outputs;
    const int result = LeftoverOutputs::parse(bytes, outputs);
    fuzzCheck(result == 0 || result == LeftoverOutputs::recordDamaged, "a known result");
    fuzzCheck(result == 0 || outputs.isEmpty(), "a damaged record names nothing");
    QList<LeftoverOutputs::Output> again;
    fuzzCheck(LeftoverOutputs::parse(LeftoverOutputs::serialise(outputs), again) == 0,
              "a written record reads");
    fuzzCheck(again.size() == outputs.size(), "a written record reads back whole");
    checkCleanUp(outputs);
    return 0;
}
