#include "convert/OutputName.h"
#include "convert/TakenFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace
{

const QString prefix = QStringLiteral("Quellix转码-");

} // namespace

// The name an output gets: the prefix, collisions with other files of the list (through links
// too) and the length a file name may have.
class TestOutputName final : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
};

void TestOutputName::names_data()
{
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("takenNames"); // files of other jobs in the output folder
    QTest::addColumn<QString>("linkToInput");    // "symbolic" or "hard": a link under that name
    QTest::addColumn<QString>("expected");

    QTest::newRow("free name") << "clip"
                               << ".mp4" << QStringList() << "" << prefix + "clip.mp4";
    QTest::newRow("kept extension of its own")
        << "a.b"
        << ".mkv" << QStringList() << "" << prefix + "a.b.mkv";
    QTest::newRow("no extension") << "noext"
                                  << "." << QStringList() << "" << prefix + "noext.";
    QTest::newRow("taken by another job")
        << "clip"
        << ".wmv" << QStringList{prefix + "clip.wmv"} << "" << prefix + "clip (2).wmv";
    QTest::newRow("first free number")
        << "clip"
        << ".flv" << QStringList{prefix + "clip.flv", prefix + "clip (2).flv"} << ""
        << prefix + "clip (3).flv";
    QTest::newRow("symbolic link to the input")
        << "clip"
        << ".mp4" << QStringList() << "symbolic" << prefix + "clip (2).mp4";
    QTest::newRow("hard link to the input")
        << "clip"
        << ".mp4" << QStringList() << "hard" << prefix + "clip (2).mp4";

    // 255 bytes make the longest name; the prefix takes 14 of them.
    const QString longest = QString(251, QLatin1Char('y'));
    QTest::newRow("cut to the folder's limit")
        << longest << ".mp4" << QStringList() << "" << prefix + longest.left(237) + ".mp4";
    QTest::newRow("room for the number")
        << longest << ".mp4" << QStringList{prefix + longest.left(237) + ".mp4"} << ""
        << prefix + longest.left(233) + " (2).mp4";
    const QString clapper = QStringLiteral("🎬"); // four bytes, two UTF-16 units
    QTest::newRow("cut after a whole character")
        << clapper.repeated(61) + "xx"
        << ".mp4" << QStringList() << "" << prefix + clapper.repeated(59) + ".mp4";
}

void TestOutputName::names()
{
    QFETCH(QString, baseName);
    QFETCH(QString, extension);
    QFETCH(QStringList, takenNames);
    QFETCH(QString, linkToInput);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("input.mp4"));
    QVERIFY(QFile(input).open(QIODevice::WriteOnly));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));

    TakenFiles taken;
    taken.add(FileIdentity::of(input));
    for (const QString &name : takenNames)
        taken.add(FileIdentity::of(out + "/" + name));
    const QString linkPath = out + "/" + prefix + baseName + extension;
    if (linkToInput == "symbolic")
        QVERIFY(QFile::link(input, linkPath));
    else if (linkToInput == "hard")
        QCOMPARE(
            ::link(QFile::encodeName(input).constData(), QFile::encodeName(linkPath).constData()),
            0);

    // A trailing separator on the folder changes nothing.
    const std::string path =
        composeOutputPath(out.toStdString() + "/", baseName.toStdString(), extension.toStdString(),
                          [&taken](const FileIdentity &file) { return taken.contains(file); });
    QCOMPARE(QString::fromStdString(path), out + "/" + expected);
    QVERIFY(QFile::encodeName(expected).size() <= 255);
}

QTEST_GUILESS_MAIN(TestOutputName)
#include "test_outputname.moc"
