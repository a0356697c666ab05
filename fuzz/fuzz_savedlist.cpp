// Reads arbitrary bytes as the saved file list, as text and from a file on disk: whatever it
// gives back is a list the window can take, writes back the same, and a file it cannot use is
// moved aside whole.
#include "batch/SavedList.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzScratch.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <unordered_set>

namespace
{

void checkEntries(const std::vector<SavedEntry> &entries)
{
    std::unordered_set<std::string> paths;
    for (const SavedEntry &entry : entries) {
        fuzzCheck(!entry.inputPath.empty(), "every row names a file");
        fuzzCheck(entry.state >= Waiting && entry.state <= Failed, "every state is known");
        fuzzCheck(paths.insert(entry.inputPath).second, "no file is listed twice");
        fuzzCheck(entry.restored().state != Converting, "nothing comes back converting");
    }
}

void checkRoundTrip(const std::vector<SavedEntry> &entries)
{
    std::vector<SavedEntry> again;
    fuzzCheck(SavedList::parse(SavedList::serialise(entries), again) == 0, "written list reads");
    fuzzCheck(again == entries, "written list reads back the same");
}

void checkFile(const QByteArray &bytes, int parsed, const std::vector<SavedEntry> &entries)
{
    const QString path = scratch().filePath(QStringLiteral("list.json"));
    fuzzCheck(writeBytes(path, bytes), "the scratch file can be written");
    std::vector<SavedEntry> loaded;
    const int result = SavedList(path).load(loaded);
    fuzzCheck(result == parsed, "the file reads as the text does");
    fuzzCheck(loaded == entries, "the file gives the rows the text gives");
    if (result != 0) {
        fuzzCheck(!QFileInfo::exists(path), "an unusable file is moved away");
        fuzzCheck(readBytes(path + QStringLiteral(".bad")) == bytes, "and kept whole");
    }
}

// The quiet warning about a file set aside would fill the log at every run.
void silence(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    static const QtMessageHandler previous = qInstallMessageHandler(silence);
    Q_UNUSED(previous)
    fuzzCheck(scratch().isValid(), "a scratch folder exists");
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    std::vector<SavedEntry> entries;
    const int result = SavedList::parse(bytes, entries);
    fuzzCheck(result == 0 || result == SavedList::unusable, "a known result");
    fuzzCheck(result == 0 || entries.empty(), "an unusable list gives no rows");
    checkEntries(entries);
    checkRoundTrip(entries);
    checkFile(bytes, result, entries);
    return 0;
}
