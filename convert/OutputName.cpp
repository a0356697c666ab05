#include "convert/OutputName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>

#include <unistd.h>

namespace
{

const QString outputPrefix = QStringLiteral("Quellix转码-");

// The longest file name, in bytes, that the folder takes.
int maxNameBytes(const QString &dir)
{
    const long limit = pathconf(QFile::encodeName(dir).constData(), _PC_NAME_MAX);
    return limit > 0 ? int(limit) : NAME_MAX;
}

// `text` cut after a whole character so that its UTF-8 form takes at most `bytes` bytes.
QString cutToBytes(QString text, int bytes)
{
    while (!text.isEmpty() && text.toUtf8().size() > bytes)
        text.chop(text.size() > 1 && QChar(text.back()).isLowSurrogate() ? 2 : 1);
    return text;
}

} // namespace

std::string composeOutputPath(const std::string &outputDirectory, const std::string &baseName,
                              const std::string &extension,
                              const std::function<bool(const FileIdentity &)> &isTaken)
{
    const QFileInfo candidate(QString::fromStdString(outputDirectory + "/" + baseName + extension));
    const QString dir = candidate.path();
    const QString fileName = candidate.fileName();
    const QString ext = QString::fromStdString(extension);
    const QString stem = fileName.left(fileName.size() - ext.size());

    const int nameLimit = maxNameBytes(dir);
    for (int n = 1;; ++n) {
        const QString number = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
        const int room = nameLimit - int(QString(outputPrefix + number + ext).toUtf8().size());
        const QString name = outputPrefix + cutToBytes(stem, room) + number + ext;
        const QString path = QDir::cleanPath(QFileInfo(dir + "/" + name).absoluteFilePath());
        if (!isTaken(FileIdentity::of(path)))
            return path.toStdString();
    }
}
