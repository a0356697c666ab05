#include "batch/SavedList.h"
#include "convert/StateFolder.h"
#include "tests/TestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>

namespace
{

SavedEntry entry(const std::string &path, ConvertState state, const std::string &error = {},
                 const std::string &note = {})
{
    SavedEntry e;
    e.inputPath = path;
    e.settings = makeAVSettings(int(state) % 4, QualityHigh, QualityLow);
    e.state = state;
    e.errorText = error;
    e.note = note;
    return e;
}

} // namespace

// The file list kept between runs: what comes back after a save, what a file that cannot be used
// costs (nothing but the list), a full disk, and how a saved row comes back at the next start.
class TestSavedList final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTrip();
    void unusableFile_data();
    void unusableFile();
    void nothingSaved();
    void pathListedTwiceComesBackOnce();
    void fullDiskKeepsTheOldList();
    void restoredState_data();
    void restoredState();
    void stateFolder_data();
    void stateFolder();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_listFile;
};

void TestSavedList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    // The folder is made by the first save.
    m_listFile = m_dir->filePath(QStringLiteral("state/quellix/list.json"));
}

void TestSavedList::roundTrip()
{
    const std::vector<SavedEntry> saved = {
        entry("/home/u/视频/第1集.mp4", Waiting),
        entry("/v/\"quoted\" \\back\\slash.avi", Converting),
        entry("/v/line\nbreak\ttab\x01\x1f.mkv", Done, "", "输入文件有损坏的数据，已跳过。\n"),
        entry("/v/🎬 clapper]}{[,.flv", Cancelled),
        entry("/v/bad \\u0000 text.wmv", Failed, "未识别的输入文件格式！\n模糊信息\n"),
        entry("relative/only.mov", Failed, "启动失败！错误码：-102\n"),
        entry(std::string("/v/nul\0inside.mp4", 17), Failed, std::string("a\0b\n", 4)),
    };
    SavedEntry unset = entry("/v/unset.mp4", Waiting);
    unset.settings = AVSettings();
    unset.settings.bv = std::numeric_limits<int32_t>::max();
    unset.settings.crf = std::numeric_limits<int32_t>::min();
    std::vector<SavedEntry> all = saved;
    all.push_back(unset);

    const SavedList list(m_listFile);
    QCOMPARE(list.save(all), 0);
    std::vector<SavedEntry> loaded;
    QCOMPARE(list.load(loaded), 0);
    QCOMPARE(loaded.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i)
        QVERIFY2(loaded[i] == all[i], all[i].inputPath.c_str());

    // Saving again replaces the list; an empty list is a list too.
    QCOMPARE(list.save({}), 0);
    QCOMPARE(list.load(loaded), 0);
    QVERIFY(loaded.empty());
    QVERIFY(!QFile::exists(m_listFile + ".bad"));
}

void TestSavedList::unusableFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("folder"); // a folder stands where the file should be

    const QByteArray valid = SavedList::serialise({entry("/v/a.mp4", Done)});
    const QByteArray one = "{\"version\":1,\"entries\":[{\"input\":\"/v/a.mp4\",\"settings\":"
                           "[0,2,0,-1,512,24,18,128,44100,1,1],\"state\":";
    QTest::newRow("not JSON") << QByteArray("\x89PNG\r\n\x1a\n garbage") << false;
    QTest::newRow("cut short") << valid.left(valid.size() / 2) << false;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("newer version")
        << QByteArray(valid).replace("\"version\":1", "\"version\":2") << false;
    QTest::newRow("no version") << QByteArray(valid).replace("\"version\":1,", "") << false;
    QTest::newRow("not an object") << QByteArray("[1,2,3]") << false;
    QTest::newRow("state out of range") << one + "5}]}" << false;
    QTest::newRow("state not whole") << one + "1.5}]}" << false;
    QTest::newRow("ten settings") << QByteArray(one + "2}]}").replace("[0,2,0,", "[2,0,") << false;
    QTest::newRow("setting past 32 bits")
        << QByteArray(one + "2}]}").replace("44100", "4294967296") << false;
    QTest::newRow("empty path") << QByteArray(valid).replace("/v/a.mp4", "") << false;
    QTest::newRow("reason not a text") << one + "4,\"error\":7}]}" << false;
    QTest::newRow("unreadable") << QByteArray() << true;
}

void TestSavedList::unusableFile()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, folder);
    const SavedList list(m_listFile);
    QCOMPARE(list.save({entry("/v/older.mp4", Done)}), 0);
    // An older .bad file is replaced.
    QVERIFY(QFile::rename(m_listFile, m_listFile + ".bad"));
    if (folder)
        QVERIFY(QDir().mkpath(m_listFile + "/inside"));
    else
        QVERIFY(TestMedia::writeFile(m_listFile, content));

    std::vector<SavedEntry> loaded = {entry("/v/left over.mp4", Waiting)};
    QCOMPARE(list.load(loaded), SavedList::unusable);
    QVERIFY(loaded.empty());
    QVERIFY(!QFileInfo::exists(m_listFile));
    if (folder)
        QVERIFY(QFileInfo(m_listFile + ".bad/inside").isDir());
    else
        QCOMPARE(TestMedia::readFile(m_listFile + ".bad"), content);

    // The next save starts afresh.
    QCOMPARE(list.save({entry("/v/new.mp4", Waiting)}), 0);
    QCOMPARE(list.load(loaded), 0);
    QCOMPARE(loaded.size(), size_t(1));
}

void TestSavedList::nothingSaved()
{
    std::vector<SavedEntry> loaded = {entry("/v/left over.mp4", Waiting)};
    QCOMPARE(SavedList(m_listFile).load(loaded), SavedList::nothingSaved);
    QVERIFY(loaded.empty());
    QVERIFY(!QFileInfo::exists(m_listFile + ".bad"));
}

void TestSavedList::pathListedTwiceComesBackOnce()
{
    const QByteArray text = SavedList::serialise(
        {entry("/v/a.mp4", Done), entry("/v/b.mp4", Failed, "x\n"), entry("/v/a.mp4", Waiting)});
    std::vector<SavedEntry> loaded;
    QCOMPARE(SavedList::parse(text, loaded), 0);
    QCOMPARE(loaded.size(), size_t(2));
    QCOMPARE(loaded[0].state, Done);
    QCOMPARE(loaded[1].inputPath, std::string("/v/b.mp4"));
}

// A file system of 64 KB: the first list fits, a list of 2,000 rows does not.
void TestSavedList::fullDiskKeepsTheOldList()
{
    const QString small = m_dir->filePath(QStringLiteral("small"));
    QVERIFY(QDir().mkpath(small));
    if (::mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("mounting a small file system needs root");
    const auto unmount = qScopeGuard([&] { ::umount(QFile::encodeName(small).constData()); });

    const SavedList list(small + "/list.json");
    const std::vector<SavedEntry> first = {entry("/v/a.mp4", Done), entry("/v/b.mp4", Waiting)};
    QCOMPARE(list.save(first), 0);
    std::vector<SavedEntry> big;
    big.reserve(2000);
    for (int i = 0; i < 2000; ++i)
        big.push_back(entry("/home/user/视频/a rather long folder name/clip number " +
                                std::to_string(i) + ".mp4",
                            Waiting));
    QCOMPARE(list.save(big), SavedList::writeFailed);

    std::vector<SavedEntry> loaded;
    QCOMPARE(list.load(loaded), 0);
    QVERIFY(loaded == first);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"list.json"});
}

void TestSavedList::restoredState_data()
{
    QTest::addColumn<int>("saved");
    QTest::addColumn<int>("restored");
    QTest::addColumn<bool>("keepsTexts");

    QTest::newRow("waiting") << int(Waiting) << int(Waiting) << true;
    QTest::newRow("converting comes back waiting") << int(Converting) << int(Waiting) << false;
    QTest::newRow("done stays done") << int(Done) << int(Done) << true;
    QTest::newRow("cancelled keeps its reason") << int(Cancelled) << int(Cancelled) << true;
    QTest::newRow("failed keeps its reason") << int(Failed) << int(Failed) << true;
}

void TestSavedList::restoredState()
{
    QFETCH(int, saved);
    QFETCH(int, restored);
    QFETCH(bool, keepsTexts);
    // A file that no longer exists comes back as listed; it fails at its turn.
    const SavedEntry before =
        entry("/no/such/file.mp4", ConvertState(saved), "未找到输入文件！\n", "a note\n");
    const SavedEntry after = before.restored();
    QCOMPARE(int(after.state), restored);
    QCOMPARE(after.inputPath, before.inputPath);
    QVERIFY(after.settings == before.settings);
    QCOMPARE(after.errorText, keepsTexts ? before.errorText : std::string());
    QCOMPARE(after.note, keepsTexts ? before.note : std::string());
}

void TestSavedList::stateFolder_data()
{
    QTest::addColumn<QByteArray>("stateHome"); // "-" leaves it unset
    QTest::addColumn<QString>("expected");

    const QString home = QDir::homePath();
    QTest::newRow("set") << QByteArray("/srv/state/") << "/srv/state/quellix";
    QTest::newRow("unset") << QByteArray("-") << home + "/.local/state/quellix";
    QTest::newRow("empty") << QByteArray("") << home + "/.local/state/quellix";
    QTest::newRow("relative is ignored") << QByteArray("state") << home + "/.local/state/quellix";
}

void TestSavedList::stateFolder()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    const auto restore = qScopeGuard(
        [&] { wasSet ? qputenv("XDG_STATE_HOME", saved) : qunsetenv("XDG_STATE_HOME"); });
    stateHome == "-" ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", stateHome);
    QCOMPARE(stateFolderPath(), expected);
    QCOMPARE(SavedList::defaultFileName(), expected + "/list.json");

    const QString made = m_dir->filePath(QStringLiteral("a/b/quellix"));
    QCOMPARE(makeStateFolder(made), 0);
    QCOMPARE(QFileInfo(made).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFileDevice::Permissions());
}

QTEST_GUILESS_MAIN(TestSavedList)
#include "test_savedlist.moc"
