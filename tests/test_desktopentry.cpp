// The menu entry and the AppStream metadata: file managers offer "Open with" for every video type
// the program accepts, and software centres learn the same types.
#include "params/ParamTables.h"

#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

namespace
{

QByteArray sourceFile(const char *path)
{
    QFile file(QStringLiteral(QUELLIX_SOURCE_DIR "/") + QLatin1String(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of `key` in the [Desktop Entry] group.
QString entryValue(const QByteArray &entry, const QString &key)
{
    for (const QString &line : QString::fromUtf8(entry).split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

QSet<QString> desktopTypes()
{
    const QString value =
        entryValue(sourceFile("resources/quellix.desktop"), QStringLiteral("MimeType"));
    const QStringList types = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    return QSet<QString>(types.begin(), types.end());
}

QSet<QString> metainfoTypes()
{
    QSet<QString> types;
    QXmlStreamReader reader(sourceFile("packaging/org.quellix.Quellix.metainfo.xml"));
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("mediatype"))
            types.insert(reader.readElementText());
    }
    return types;
}

} // namespace

class TestDesktopEntry final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void opensFiles();
    void everyAcceptedTypeDeclared_data();
    void everyAcceptedTypeDeclared();
    void metadataProvidesTheSameTypes();
};

void TestDesktopEntry::initTestCase()
{
    initParamTables();
    QVERIFY(!desktopTypes().isEmpty());
}

// The chosen files go to the command as paths.
void TestDesktopEntry::opensFiles()
{
    const QByteArray entry = sourceFile("resources/quellix.desktop");
    QCOMPARE(entryValue(entry, QStringLiteral("Exec")), QStringLiteral("quellix %F"));
    QCOMPARE(entryValue(entry, QStringLiteral("Type")), QStringLiteral("Application"));
}

void TestDesktopEntry::everyAcceptedTypeDeclared_data()
{
    QTest::addColumn<QString>("extension");
    for (const auto &entry : inputExts) {
        const QString extension = QString::fromStdString(entry.second);
        QTest::newRow(qPrintable(extension)) << extension;
    }
}

// The media types the desktop's database gives a file of each accepted extension (one of them
// where the extension is ambiguous, as .ts is) are declared. An extension it does not know
// cannot be offered by type.
void TestDesktopEntry::everyAcceptedTypeDeclared()
{
    QFETCH(QString, extension);
    const QList<QMimeType> candidates =
        QMimeDatabase().mimeTypesForFileName(QStringLiteral("clip") + extension.toUpper());
    if (candidates.isEmpty())
        QSKIP("the media type database knows no type for this extension");
    const QSet<QString> declared = desktopTypes();
    QStringList names;
    for (const QMimeType &type : candidates) {
        names << type.name();
        if (declared.contains(type.name()))
            return;
        for (const QString &alias : type.aliases()) {
            if (declared.contains(alias))
                return;
        }
    }
    QFAIL(qPrintable(names.join(QLatin1Char(' ')) + QStringLiteral(" not in MimeType=")));
}

void TestDesktopEntry::metadataProvidesTheSameTypes()
{
    QCOMPARE(metainfoTypes(), desktopTypes());
}

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "test_desktopentry.moc"
