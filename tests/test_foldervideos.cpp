#include "batch/FolderVideos.h"
#include "params/ParamTables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestFolderVideos final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initParamTables(); }
    void treeInNameOrder();
    void stopsWhenAsked();
    void numberedFolders();

private:
    bool make(const QString &relative);
    bool link(const QString &target, const QString &relative);

    QTemporaryDir m_dir;
};

bool TestFolderVideos::make(const QString &relative)
{
    const QString path = m_dir.filePath(relative);
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
}

bool TestFolderVideos::link(const QString &target, const QString &relative)
{
    return QFile::link(target, m_dir.filePath(relative));
}

void TestFolderVideos::treeInNameOrder()
{
    QVERIFY(m_dir.isValid());
    for (const char *name : {"tree/b.MP4", "tree/a10.mkv", "tree/a2.mkv", "tree/notes.txt",
                             "tree/.hidden.mp4", "tree/mp4", "tree/sub2/x.mts", "tree/sub10/y.ts",
                             "tree/Sub1/z.VOB", "tree/Sub1/deeper/w.m2ts", "tree/.hiddendir/h.mp4",
                             "tree/folder.mp4/inner.avi", "outside/o.webm"})
        QVERIFY2(make(name), name);
    // A loop back to the top, a second way into a folder already listed, a link out of the tree,
    // and a link that leads nowhere.
    QVERIFY(link(m_dir.filePath("tree"), "tree/Sub1/deeper/loop"));
    QVERIFY(link(m_dir.filePath("tree/sub2"), "tree/zz-again"));
    QVERIFY(link(m_dir.filePath("outside"), "tree/sub2/away"));
    QVERIFY(link(m_dir.filePath("nothing.mp4"), "tree/broken.mp4"));

    const QStringList expected = {"a2.mkv",     "a10.mkv",
                                  "b.MP4",      "folder.mp4/inner.avi",
                                  "Sub1/z.VOB", "Sub1/deeper/w.m2ts",
                                  "sub2/x.mts", "sub2/away/o.webm",
                                  "sub10/y.ts"};
    QStringList found = collectFolderVideos(m_dir.filePath("tree"));
    found.replaceInStrings(m_dir.filePath("tree/"), QString());
    QCOMPARE(found, expected);

    // A relative path gives absolute ones all the same.
    QDir::setCurrent(m_dir.path());
    const QStringList relative = collectFolderVideos(QStringLiteral("tree/sub2"));
    QCOMPARE(relative, QStringList({m_dir.filePath("tree/sub2/x.mts"),
                                    m_dir.filePath("tree/sub2/away/o.webm")}));
    QVERIFY(collectFolderVideos(m_dir.filePath("missing")).isEmpty());
    QVERIFY(collectFolderVideos(m_dir.filePath("tree/b.MP4")).isEmpty());
}

void TestFolderVideos::stopsWhenAsked()
{
    QVERIFY(make("stop/a.mp4"));
    std::atomic<bool> stop{true};
    QVERIFY(collectFolderVideos(m_dir.filePath("stop"), &stop).isEmpty());
    stop = false;
    QCOMPARE(collectFolderVideos(m_dir.filePath("stop"), &stop).size(), 1);
}

// Folders and files in the order of their numbers at every level, however many there are; ten
// thousand in a dropped folder are the window suite's.
void TestFolderVideos::numberedFolders()
{
    for (int folder = 0; folder < 12; ++folder) {
        for (int file = 0; file < 12; ++file)
            QVERIFY(make(QStringLiteral("many/f%1/clip%2.mp4").arg(folder).arg(file)));
    }
    const QStringList found = collectFolderVideos(m_dir.filePath("many"));
    QCOMPARE(found.size(), 144);
    QCOMPARE(found.at(0), m_dir.filePath("many/f0/clip0.mp4"));
    QCOMPARE(found.at(2), m_dir.filePath("many/f0/clip2.mp4"));
    QCOMPARE(found.at(10), m_dir.filePath("many/f0/clip10.mp4"));
    QCOMPARE(found.at(12), m_dir.filePath("many/f1/clip0.mp4"));
    QCOMPARE(found.at(24), m_dir.filePath("many/f2/clip0.mp4"));
    QCOMPARE(found.last(), m_dir.filePath("many/f11/clip11.mp4"));
}

QTEST_GUILESS_MAIN(TestFolderVideos)
#include "test_foldervideos.moc"
