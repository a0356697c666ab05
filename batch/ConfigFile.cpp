#include "batch/ConfigFile.h"
#include "convert/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace
{
const QString videosDirKey = QStringLiteral("VideosDir");
const QString convertAtOnceKey = QStringLiteral("ConvertAtOnce");
const QString keepFileDateKey = QStringLiteral("KeepFileDate");
constexpr int mostAtOnce = 64;
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
    QFile file(m_fileName);
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
    return writeValue(videosDirKey, dir);
}

int ConfigFile::readConvertAtOnce(int &jobs) const
{
    const QJsonValue value = readObject().value(convertAtOnceKey);
    const int found = value.toInt(-1);
    if (!value.isDouble() || found < 0 || found > mostAtOnce || value.toDouble() != found)
        return fileError;
    jobs = found;
    return 0;
}

int ConfigFile::writeConvertAtOnce(int jobs) const
{
    return writeValue(convertAtOnceKey, jobs);
}

int ConfigFile::readKeepFileDate(bool &keep) const
{
    const QJsonValue value = readObject().value(keepFileDateKey);
    if (!value.isBool())
        return fileError;
    keep = value.toBool();
    return 0;
}

int ConfigFile::writeKeepFileDate(bool keep) const
{
    return writeValue(keepFileDateKey, keep);
}

// The program's own members of the file; members it does not know are not kept.
QJsonObject ConfigFile::readObject() const
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonObject();
    const QJsonObject all = QJsonDocument::fromJson(file.readAll()).object();
    QJsonObject own;
    for (const QString &key : {videosDirKey, convertAtOnceKey, keepFileDateKey}) {
        if (all.contains(key))
            own.insert(key, all.value(key));
    }
    return own;
}

int ConfigFile::writeValue(const QString &key, const QJsonValue &value) const
{
    QJsonObject object = readObject();
    object.insert(key, value);
    // The whole new file replaces the old one only once it is completely written.
    return writeWholeFile(m_fileName, QJsonDocument(object).toJson(QJsonDocument::Compact))
               ? 0
               : fileError;
}
