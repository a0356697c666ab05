#include "batch/SavedList.h"
#include "convert/StateFolder.h"
#include "convert/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_set>

namespace
{

const QString versionKey = QStringLiteral("version");
const QString entriesKey = QStringLiteral("entries");
const QString inputKey = QStringLiteral("input");
const QString settingsKey = QStringLiteral("settings");
const QString stateKey = QStringLiteral("state");
const QString errorKey = QStringLiteral("error");
const QString noteKey = QStringLiteral("note");
constexpr int settingsCount = 11;

// Text from the program is UTF-8; bytes that are not are replaced, as QString would replace them.
void appendJsonString(QByteArray &out, const std::string &utf8)
{
    static const char hex[] = "0123456789abcdef";
    QByteArray valid = QByteArray::fromStdString(utf8);
    // With its size: the QByteArray overload would stop at a NUL.
    const QString text = QString::fromUtf8(valid.constData(), valid.size());
    if (text.toUtf8() != valid)
        valid = text.toUtf8();
    out += '"';
    for (const char c : valid) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendSettings(QByteArray &out, const AVSettings &s)
{
    const int32_t fields[settingsCount] = {s.vc,  s.cv, s.ca, s.r,   s.bv, s.crf,
                                           s.fps, s.ba, s.ar, s.vql, s.aql};
    out += '[';
    for (int i = 0; i < settingsCount; ++i) {
        if (i > 0)
            out += ',';
        out += QByteArray::number(fields[i]);
    }
    out += ']';
}

// A whole number in the range of the field; anything else is damage.
bool readInt32(const QJsonValue &value, int32_t &out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number != std::floor(number) || number < std::numeric_limits<int32_t>::min() ||
        number > std::numeric_limits<int32_t>::max())
        return false;
    out = int32_t(number);
    return true;
}

bool readSettings(const QJsonValue &value, AVSettings &settings)
{
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != settingsCount)
        return false;
    // The fields in their declared order, vc to aql.
    int32_t fields[settingsCount];
    for (int i = 0; i < settingsCount; ++i) {
        if (!readInt32(array.at(i), fields[i]))
            return false;
    }
    settings = AVSettings{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5],
                          fields[6], fields[7], fields[8], fields[9], fields[10]};
    return true;
}

// An absent text is empty; a text of another type is damage.
bool readText(const QJsonObject &object, const QString &key, std::string &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return true;
    if (!value.isString())
        return false;
    out = value.toString().toStdString();
    return true;
}

bool readEntry(const QJsonValue &value, SavedEntry &entry)
{
    const QJsonObject object = value.toObject();
    const QJsonValue input = object.value(inputKey);
    int32_t state = -1;
    if (!value.isObject() || !input.isString() || input.toString().isEmpty() ||
        !readSettings(object.value(settingsKey), entry.settings) ||
        !readInt32(object.value(stateKey), state) || state < Waiting || state > Failed)
        return false;
    entry.inputPath = input.toString().toStdString();
    entry.state = ConvertState(state);
    return readText(object, errorKey, entry.errorText) && readText(object, noteKey, entry.note);
}

} // namespace

QString SavedList::defaultFileName()
{
    return stateFolderPath() + QStringLiteral("/list.json");
}

// Written by hand: building the same text through QJsonDocument takes several times as long, and
// the list is saved on the event loop. parse() reads it back with QJsonDocument.
QByteArray SavedList::serialise(const std::vector<SavedEntry> &entries)
{
    QByteArray text;
    text.reserve(int(entries.size()) * 160 + 32);
    text += "{\"version\":" + QByteArray::number(formatVersion) + ",\"entries\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        const SavedEntry &entry = entries[i];
        if (i > 0)
            text += ',';
        text += "{\"input\":";
        appendJsonString(text, entry.inputPath);
        text += ",\"settings\":";
        appendSettings(text, entry.settings);
        text += ",\"state\":";
        text += QByteArray::number(int(entry.state));
        if (!entry.errorText.empty()) {
            text += ",\"error\":";
            appendJsonString(text, entry.errorText);
        }
        if (!entry.note.empty()) {
            text += ",\"note\":";
            appendJsonString(text, entry.note);
        }
        text += '}';
    }
    text += "]}";
    return text;
}

int SavedList::parse(const QByteArray &bytes, std::vector<SavedEntry> &entries)
{
    entries.clear();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return unusable;
    const QJsonObject top = document.object();
    int32_t version = 0;
    if (!readInt32(top.value(versionKey), version) || version != formatVersion ||
        !top.value(entriesKey).isArray())
        return unusable;
    const QJsonArray array = top.value(entriesKey).toArray();
    entries.reserve(size_t(array.size()));
    std::unordered_set<std::string> seen;
    for (const QJsonValue &value : array) {
        SavedEntry entry;
        if (!readEntry(value, entry)) {
            entries.clear();
            return unusable;
        }
        if (seen.insert(entry.inputPath).second)
            entries.push_back(std::move(entry));
    }
    return 0;
}

int SavedList::save(const std::vector<SavedEntry> &entries) const
{
    makeStateFolder(QFileInfo(m_fileName).path());
    return writeWholeFile(m_fileName, serialise(entries)) ? 0 : writeFailed;
}

int SavedList::load(std::vector<SavedEntry> &entries) const
{
    entries.clear();
    const QFileInfo info(m_fileName);
    if (!info.exists() && !info.isSymLink())
        return nothingSaved;
    QFile file(m_fileName);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly) || parse(file.readAll(), entries) != 0) {
        qWarning("The saved file list %s cannot be used; it is kept as .bad and the list starts "
                 "empty.",
                 qUtf8Printable(m_fileName));
        moveAside();
        return unusable;
    }
    return 0;
}

// rename() replaces an older .bad file in one step; an older .bad folder must be empty to go.
void SavedList::moveAside() const
{
    const QString bad = m_fileName + QStringLiteral(".bad");
    if (QDir().rename(m_fileName, bad))
        return;
    QFileInfo(bad).isDir() ? QDir().rmdir(bad) : QFile::remove(bad);
    QDir().rename(m_fileName, bad);
}
