// Reads arbitrary bytes as the configuration file, both as text and from a file on disk, and
// writes back whatever folder it names.
#include "batch/ConfigFile.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzScratch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace
{

void checkRead(const QByteArray &bytes, const QString &named)
{
    const QString path = scratch().filePath(QStringLiteral("conf_main.json"));
    fuzzCheck(writeBytes(path, bytes), "the scratch file can be written");
    const QString before = QStringLiteral("/unchanged");
    QString dir = before;
    const int result = ConfigFile(path).read(dir);
    const bool usable = !named.isEmpty() && QDir(named).exists();
    fuzzCheck(result == (usable ? 0 : -202), "read accepts exactly an existing folder");
    fuzzCheck(dir == (usable ? named : before), "read sets the folder only on success");
}

// Only text that survives UTF-8 can be a folder name; lone surrogates from \u escapes cannot.
void checkRoundTrip(const QString &named)
{
    if (named.isEmpty() || QString::fromUtf8(named.toUtf8()) != named)
        return;
    const QString path = scratch().filePath(QStringLiteral("written.json"));
    fuzzCheck(ConfigFile(path).write(named) == 0, "the folder is written");
    QFile file(path);
    fuzzCheck(file.open(QIODevice::ReadOnly), "the written file opens");
    fuzzCheck(ConfigFile::parseVideosDir(file.readAll()) == named, "written folder reads back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    fuzzCheck(scratch().isValid(), "a scratch folder exists");
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString named = ConfigFile::parseVideosDir(bytes);
    checkRead(bytes, named);
    checkRoundTrip(named);
    return 0;
}
