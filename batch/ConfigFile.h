#pragma once

#include <QJsonObject>
#include <QString>

// The file that keeps the user's choices between runs: one JSON object with the output folder
// ("VideosDir"), how many files a batch converts at once ("ConvertAtOnce", 0 for automatic) and
// whether outputs keep their source's date ("KeepFileDate").
// Writing one choice keeps the others.
class ConfigFile final
{
public:
    // The file cannot be read or written, or the value asked for is missing, of the wrong kind or
    // out of range: the code the configuration file has always answered, which callers ignore.
    static constexpr int fileError = -202;

    explicit ConfigFile(QString fileName) : m_fileName(std::move(fileName)) {}

    // 0 with dir set when the file names an existing folder; fileError otherwise (dir unchanged).
    int read(QString &dir) const;
    // 0 when written, or fileError with the old file kept whole.
    int write(const QString &dir) const;
    // 0 with jobs set when the file holds a count of 0 (automatic) to 64; fileError otherwise.
    int readConvertAtOnce(int &jobs) const;
    int writeConvertAtOnce(int jobs) const;
    // 0 with keep set when the file holds true or false; fileError otherwise.
    int readKeepFileDate(bool &keep) const;
    int writeKeepFileDate(bool keep) const;

    // The folder named by a configuration text, or an empty string when it names none.
    static QString parseVideosDir(const QByteArray &json);

private:
    QJsonObject readObject() const;
    int writeValue(const QString &key, const QJsonValue &value) const;

    QString m_fileName;
};
