#include "convert/OutputName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <climits>

#include <unistd.h>

namespace
{

const QString outputPrefix = QStringLiteral("Quellix转码-");
const QString tempPrefix = QStringLiteral(".quellix-");
const QString tempMark = QStringLiteral(".part");

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

std::string composeTempOutputPath(const std::string &outputDirectory, const std::string &baseName,
                                  const std::string &extension, const std::string &token)
{
    const QString dir = QDir::cleanPath(
        QFileInfo(QString::fromStdString(outputDirectory + "/")).absoluteFilePath());
    const QString head = tempPrefix + QString::fromStdString(token) + "-";
    const QString tail = tempMark + QString::fromStdString(extension);
    const int room = maxNameBytes(dir) - int(QString(head + tail).toUtf8().size());
    const QString name = head + cutToBytes(QString::fromStdString(baseName), room) + tail;
    return QString(dir + "/" + name).toStdString();
}

bool isTempOutputName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.quellix-[0-9a-f]{8}-.*\\.part\\.[^./]*$"),
        QRegularExpression::DotMatchesEverythingOption);
    return pattern.match(fileName).hasMatch();
}
