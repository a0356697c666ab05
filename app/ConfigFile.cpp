#include "app/ConfigFile.h"
#include "convert/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
const QString videosDirKey = QStringLiteral("VideosDir");
constexpr int fileError = -202;
} // namespace

QString ConfigFile::parseVideosDir(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return QString();
    // A value that is not a string reads as empty.
    return document.object().value(videosDirKey).toString();
}

int ConfigFile::read(QString &dir) const
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fileError;
    const QString found = parseVideosDir(file.readAll());
    if (found.isEmpty() || !QDir(found).exists())
        return fileError;
    dir = found;
    return 0;
}

int ConfigFile::write(const QString &dir) const
{
    QJsonObject object;
    object.insert(videosDirKey, dir);
    // The whole new file replaces the old one only once it is completely written.
    return writeWholeFile(fileName, QJsonDocument(object).toJson(QJsonDocument::Compact))
               ? 0
               : fileError;
}
