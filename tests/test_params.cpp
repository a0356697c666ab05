#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <QtTest>

#include <set>

Q_DECLARE_METATYPE(ParamTable *)

class TestParams final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initParamTables(); }

    void tableContents_data();
    void tableContents();
    void secondInitLeavesTablesAlone();
    void reverseLookup_data();
    void reverseLookup();
    void forwardLookupOfAbsentKey();
    void presetListsHoldEveryPreset();
    void makeSettings_data();
    void makeSettings();
    void rulesKeepOtherFields();
    void codecScales_data();
    void codecScales();
    void paramsInit();
    void inputExtension_data();
    void inputExtension();
    void fileDialogFilter();
    void desktopMimeTypes();
};

void TestParams::tableContents_data()
{
    QTest::addColumn<ParamTable *>("table");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("containerTexts")
        << &containerTexts
        << QStringList{".mp4 (默认 H.264-AAC)",  ".flv (默认 H.264-AAC)", ".avi (默认 H.264-MP3)",
                       ".wmv (默认 WMV2-WMAv2)", ".mkv (默认 H.264-AAC)", ".webm (默认 AV1-Opus)"};
    QTest::newRow("containerExts")
        << &containerExts << QStringList{".mp4", ".flv", ".avi", ".wmv", ".mkv", ".webm"};
    QTest::newRow("videoCodecTexts")
        << &videoCodecTexts
        << QStringList{"MPEG4(DivX)", "MPEG4(Xvid)", "AVC(H264)", "HEVC(H265)", "WMV2",
                       "FLV1",        "Copy",        "AV1",       "VP9"};
    QTest::newRow("videoEncoders")
        << &videoEncoders << QStringList{"mpeg4", "libxvid", "libx264",   "libx265",   "wmv2",
                                         "flv",   "copy",    "libsvtav1", "libvpx-vp9"};
    QTest::newRow("audioCodecTexts")
        << &audioCodecTexts << QStringList{"AAC", "MP3", "WMAv2", "Copy", "Opus"};
    QTest::newRow("audioEncoders")
        << &audioEncoders << QStringList{"aac", "mp3", "wmav2", "copy", "libopus"};
    QTest::newRow("resolutions") << &resolutions
                                 << QStringList{"1920x1080", "1280x720", "720x480", "480x320"};
    QTest::newRow("inputExts") << &inputExts
                               << QStringList{".mp4", ".mkv",  ".flv",  ".avi", ".wmv",  ".mpg",
                                              ".mov", ".rmvb", ".m4v",  ".3gp", ".3g2",  ".webm",
                                              ".ts",  ".mts",  ".m2ts", ".vob", ".mpeg", ".mpe",
                                              ".m2v", ".ogv",  ".asf",  ".f4v", ".rm",   ".divx",
                                              ".dv",  ".mxf"};
    QTest::newRow("qualityTexts") << &qualityTexts
                                  << QStringList{"低质量", "中质量", "高质量", "默认"};
}

void TestParams::tableContents()
{
    QFETCH(ParamTable *, table);
    QFETCH(QStringList, texts);
    QCOMPARE(int(table->size()), texts.size());
    int expectedKey = 0;
    for (const auto &[key, text] : *table) {
        QCOMPARE(key, expectedKey);
        QCOMPARE(QString::fromStdString(text), texts.at(expectedKey));
        ++expectedKey;
    }
}

void TestParams::secondInitLeavesTablesAlone()
{
    const ParamTable before = videoCodecTexts;
    const size_t containers = containerTexts.size();
    initParamTables();
    initParamTables();
    QCOMPARE(videoCodecTexts, before);
    QCOMPARE(containerTexts.size(), containers);
}

void TestParams::reverseLookup_data()
{
    QTest::addColumn<ParamTable *>("table");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key"); // -100: no key
    QTest::newRow("empty text") << &containerTexts << QString() << -100;
    QTest::newRow("extension alone is no container text") << &containerTexts << ".mp4" << -100;
    QTest::newRow("whole container text") << &containerTexts << ".avi (默认 H.264-MP3)" << 2;
    QTest::newRow("case matters") << &videoCodecTexts << "copy" << -100;
    QTest::newRow("video copy") << &videoCodecTexts << "Copy" << 6;
    QTest::newRow("default level") << &qualityTexts << "默认" << 3;
    QTest::newRow("default is no frame size") << &resolutions << "默认" << -100;
    QTest::newRow("frame size") << &resolutions << "720x480" << 2;
}

void TestParams::reverseLookup()
{
    QFETCH(ParamTable *, table);
    QFETCH(QString, text);
    QFETCH(int, key);
    const std::optional<int> found = findKey(*table, text.toStdString());
    QCOMPARE(found.has_value(), key != -100);
    if (found)
        QCOMPARE(*found, key);
}

void TestParams::forwardLookupOfAbsentKey()
{
    QVERIFY(!lookupText(resolutions, -1));
    QVERIFY(!lookupText(videoEncoders, 9));
    QCOMPARE(*lookupText(audioEncoders, 1), std::string("mp3"));
}

// The dialog can show every level's values, in each container's default codecs and in the codecs
// with scales of their own.
void TestParams::presetListsHoldEveryPreset()
{
    const auto holds = [](const std::vector<int> &list, int value) {
        return std::find(list.begin(), list.end(), value) != list.end();
    };
    for (int vc = 0; vc < int(containerTexts.size()); ++vc) {
        for (int level = QualityLow; level <= QualityHigh; ++level) {
            const AVSettings s = makeAVSettings(vc, level, level);
            QVERIFY(holds(crfChoices(s.cv), s.crf));
            QVERIFY(holds(videoBitRates, s.bv));
            QVERIFY(holds(frameRates, s.fps));
            QVERIFY(holds(audioBitRateChoices(s.ca), s.ba));
            QVERIFY(holds(sampleRates, s.ar));
            for (const int cv : offeredCodecs(vc)->video)
                QVERIFY(levelCrf(cv, level) == -1 || holds(crfChoices(cv), levelCrf(cv, level)));
            for (const int ca : offeredCodecs(vc)->audio)
                QVERIFY(holds(audioBitRateChoices(ca), levelAudioBitRate(ca, level)));
        }
    }
}

void TestParams::makeSettings_data()
{
    QTest::addColumn<int>("vc");
    QTest::addColumn<int>("vql");
    QTest::addColumn<int>("aql");
    QTest::addColumn<QVector<int>>("expected"); // vc cv ca r bv crf fps ba ar vql aql
    QTest::newRow("start-up") << 0 << 1 << 1
                              << QVector<int>{0, 2, 0, -1, 512, 24, 18, 128, 44100, 1, 1};
    QTest::newRow("flv low") << 1 << 0 << 0
                             << QVector<int>{1, 2, 0, -1, 256, 32, 12, 32, 24000, 0, 0};
    QTest::newRow("avi high") << 2 << 2 << 2
                              << QVector<int>{2, 2, 1, -1, 1024, 18, 30, 256, 48000, 2, 2};
    QTest::newRow("wmv default") << 3 << 3 << 3
                                 << QVector<int>{3, 4, 2, -1, -1, -1, -1, -1, -1, 3, 3};
    QTest::newRow("mkv medium") << 4 << 1 << 1
                                << QVector<int>{4, 2, 0, -1, 512, 24, 18, 128, 44100, 1, 1};
    // AV1's factors and Opus's two-channel rates.
    QTest::newRow("webm low") << 5 << 0 << 0
                              << QVector<int>{5, 7, 4, -1, 256, 50, 12, 48, 24000, 0, 0};
    QTest::newRow("webm medium") << 5 << 1 << 1
                                 << QVector<int>{5, 7, 4, -1, 512, 39, 18, 96, 44100, 1, 1};
    QTest::newRow("webm high") << 5 << 2 << 2
                               << QVector<int>{5, 7, 4, -1, 1024, 20, 30, 160, 48000, 2, 2};
    QTest::newRow("webm default") << 5 << 3 << 3
                                  << QVector<int>{5, 7, 4, -1, -1, -1, -1, -1, -1, 3, 3};
}

void TestParams::makeSettings()
{
    QFETCH(int, vc);
    QFETCH(int, vql);
    QFETCH(int, aql);
    QFETCH(QVector<int>, expected);
    const AVSettings s = makeAVSettings(vc, vql, aql);
    const QVector<int> actual{s.vc, s.cv, s.ca, s.r, s.bv, s.crf, s.fps, s.ba, s.ar, s.vql, s.aql};
    QCOMPARE(actual, expected);
}

void TestParams::rulesKeepOtherFields()
{
    AVSettings s = makeAVSettings(3, 1, 1);
    s.r = 2;
    s.bv = 2400;
    setContainer(s, 0);
    QCOMPARE(s.cv, 2);
    QCOMPARE(s.ca, 0);
    QCOMPARE(s.r, 2);
    QCOMPARE(s.bv, 2400);

    s.crf = 40;
    setVideoQuality(s, QualityHigh);
    QCOMPARE(s.crf, 18);
    QCOMPARE(s.bv, 1024);
    QCOMPARE(s.fps, 30);
    QCOMPARE(s.r, 2);

    const AVSettings before = s;
    setAudioQuality(s, 7);
    QCOMPARE(s.aql, 7);
    s.aql = before.aql;
    QVERIFY(s == before);

    setContainer(s, 9);
    QCOMPARE(s.vc, 9);
    QCOMPARE(s.cv, before.cv);
    QCOMPARE(s.ca, before.ca);
}

void TestParams::codecScales_data()
{
    QTest::addColumn<int>("vql");
    QTest::addColumn<int>("crf"); // before the switch; -2 for the level's own
    QTest::addColumn<int>("toCv");
    QTest::addColumn<int>("expectedCrf");
    QTest::newRow("medium H.264 to VP9") << 1 << -2 << int(VideoVp9) << 32;
    QTest::newRow("high H.264 to AV1") << 2 << -2 << int(VideoAv1) << 20;
    QTest::newRow("low H.264 to H.265 keeps the scale") << 0 << -2 << int(VideoH265) << 32;
    QTest::newRow("picked by hand stays") << 1 << 40 << int(VideoAv1) << 40;
    QTest::newRow("no factor stays none") << 3 << -2 << int(VideoVp9) << -1;
    QTest::newRow("low to MPEG-4 takes H.264's") << 0 << -2 << 0 << 32;
}

// Switching the codec moves a level's factor to the new codec's scale, nothing else; and back.
void TestParams::codecScales()
{
    QFETCH(int, vql);
    QFETCH(int, crf);
    QFETCH(int, toCv);
    QFETCH(int, expectedCrf);
    AVSettings s = makeAVSettings(0, vql, 1);
    if (crf != -2)
        s.crf = crf;
    const AVSettings before = s;
    setVideoCodec(s, toCv);
    QCOMPARE(s.cv, toCv);
    QCOMPARE(s.crf, expectedCrf);
    setVideoCodec(s, before.cv);
    QVERIFY(s == before);

    // Opus's level rates are for two channels; a rate picked by hand stays.
    setAudioCodec(s, AudioOpus);
    QCOMPARE(s.ba, 96);
    s.ba = 64;
    setAudioCodec(s, 0);
    QCOMPARE(s.ba, 64);
}

void TestParams::paramsInit()
{
    AVParams params;
    params.input = "in";
    params.output = "out";
    const AVSettings s = makeAVSettings(2, 0, 2);
    params.init(s);
    QCOMPARE(params.exe, std::string(transcoderProgram));
    QCOMPARE(params.opts, std::string("-y"));
    QCOMPARE(params.input, std::string("in"));
    QCOMPARE(params.output, std::string("out"));
    QVERIFY(params.settings == s);
}

void TestParams::inputExtension_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("accepted");
    for (const char *s : {".mp4", ".RMVB", ".MTS", ".m2ts", ".Vob", ".3gp", ".webm", ".mxf", ".dv"})
        QTest::newRow(s) << QString::fromLatin1(s) << true;
    for (const char *s : {"", ".", "mp4", ".mp", ".mp4 ", ".m2t", ".txt", ".MP4.txt", ".d"})
        QTest::newRow(s[0] ? s : "(empty)") << QString::fromLatin1(s) << false;
}

void TestParams::inputExtension()
{
    QFETCH(QString, suffix);
    QFETCH(bool, accepted);
    QCOMPARE(isInputExtension(suffix.toStdString()), accepted);
}

void TestParams::fileDialogFilter()
{
    const QString filter = QString::fromStdString(inputFileFilter());
    const QStringList parts = filter.split(QStringLiteral(";;"));
    QCOMPARE(parts.size(), int(inputExts.size()) + 2);
    // Every accepted extension, in table order, in the first entry; then each one alone.
    QStringList patterns;
    for (const auto &[key, ext] : inputExts)
        patterns << '*' + QString::fromStdString(ext);
    QCOMPARE(parts.first(), "All Formats (" + patterns.join(' ') + ')');
    QCOMPARE(parts.at(1), QStringLiteral("MP4 (*.mp4)"));
    QCOMPARE(parts.at(8), QStringLiteral("RMVB (*.rmvb)"));
    QCOMPARE(parts.at(15), QStringLiteral("M2TS (*.m2ts)"));
    QCOMPARE(parts.last(), QStringLiteral("All Files (*.*)"));
}

void TestParams::desktopMimeTypes()
{
    // Each a type the shared MIME database knows, once, and every accepted extension has one.
    const std::vector<std::string> types = inputMimeTypes();
    QCOMPARE(types.front(), std::string("video/mp4"));
    QCOMPARE(std::set<std::string>(types.begin(), types.end()).size(), types.size());
    for (const char *type : {"video/mp2t", "video/3gpp", "video/webm", "video/mpeg",
                             "application/vnd.rn-realmedia", "application/mxf", "video/dv"})
        QVERIFY2(std::find(types.begin(), types.end(), type) != types.end(), type);
    const QString line = QString::fromStdString(desktopMimeTypeLine());
    QVERIFY(line.startsWith(QStringLiteral("MimeType=video/mp4;video/x-matroska;")));
    QVERIFY(line.endsWith(';'));
    QCOMPARE(line.count(';'), int(types.size()));

    QFile database(QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml"));
    if (!database.open(QIODevice::ReadOnly))
        QSKIP("no shared MIME database here");
    const QByteArray xml = database.readAll();
    for (const std::string &type : types)
        QVERIFY2(
            xml.contains(QByteArray("<mime-type type=\"" + QByteArray::fromStdString(type) + "\"")),
            type.c_str());
}

QTEST_GUILESS_MAIN(TestParams)
#include "test_params.moc"
