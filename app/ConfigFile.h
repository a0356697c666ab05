#pragma once

#include <QString>

// The file that keeps the output folder between runs: one JSON object {"VideosDir": "..."}.
class ConfigFile final
{
public:
    explicit ConfigFile(QString fileName) : m_fileName(std::move(fileName)) {}

    // 0 with dir set when the file names an existing folder; -202 otherwise (dir unchanged).
    int read(QString &dir) const;
    // 0 when written; -202 when the file cannot be written. The old file stays whole on failure.
    int write(const QString &dir) const;

    // The folder named by a configuration text, or an empty string when it names none.
    static QString parseVideosDir(const QByteArray &json);

private:
    QString m_fileName;
};
