#include "params/AVParams.h"
#include "params/ParamTables.h"

#include <QtTest>

class TestCommandLine final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initParamTables(); }

    void line_data();
    void line();
    void pathsStayWhole();
    void sourceRules_data();
    void sourceRules();
    void streams_data();
    void streams();
    void passes_data();
    void passes();
    void hdrKept_data();
    void hdrKept();

private:
    static AVParams profile(const QVector<int> &values);
    static SourceInfo described(const QString &streams, const QString &tags, int chapters);
};

// Values in the order cv r bv crf fps ar ba ca, on top of the worked example's paths.
AVParams TestCommandLine::profile(const QVector<int> &values)
{
    AVParams params;
    params.exe = "ffmpeg.exe";
    params.opts = "-y";
    params.input = "C:/v/a.avi";
    params.output = "D:/out/Quellix转码-a.mp4";
    AVSettings &s = params.settings;
    s.cv = values[0];
    s.r = values[1];
    s.bv = values[2];
    s.crf = values[3];
    s.fps = values[4];
    s.ar = values[5];
    s.ba = values[6];
    s.ca = values[7];
    return params;
}

void TestCommandLine::line_data()
{
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<QString>("output"); // the extension of the output
    QTest::addColumn<QString>("expected");
    const QString in = QStringLiteral("ffmpeg.exe -y -i \"C:/v/a.avi\" ");
    const QString out = QStringLiteral("\"D:/out/Quellix转码-a.mp4\"");
    // Added whenever the video is encoded: 4:2:0 in 8 bits, even sizes.
    const QString playable =
        QStringLiteral("-vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p ");
    QTest::newRow("worked example") << QVector<int>{2, 1, 512, 24, 18, 44100, 128, 0} << ".mp4"
                                    << in + "-s 1280x720 -crf 24 -r 18 -c:v libx264 " + playable +
                                           "-ar 44100 -b:a 128k -c:a aac " + out;
    QTest::newRow("mpeg4 takes the bit rate")
        << QVector<int>{0, 1, 1024, 24, 18, 44100, 128, 0} << ".mp4"
        << in + "-s 1280x720 -b:v 1024k -r 18 -c:v mpeg4 " + playable +
               "-ar 44100 -b:a 128k -c:a aac " + out;
    QTest::newRow("empty rate slot keeps its space")
        << QVector<int>{4, 1, -1, 24, 18, 44100, 128, 0} << ".mp4"
        << in + "-s 1280x720  -r 18 -c:v wmv2 " + playable + "-ar 44100 -b:a 128k -c:a aac " + out;
    // The container's own encoder encodes too.
    QTest::newRow("nothing set") << QVector<int>{20, -1, -1, -1, -1, -1, -1, -1} << ".mp4"
                                 << in + " " + playable + out;
    QTest::newRow("h265 without crf uses the bit rate")
        << QVector<int>{3, -1, 800, -1, -1, -1, -1, 20} << ".mp4"
        << in + "-b:v 800k -c:v libx265 " + playable + "-tag:v hvc1 " + out;
    QTest::newRow("h265 crf wins over the bit rate")
        << QVector<int>{3, -1, 800, 28, -1, -1, -1, 3} << ".MP4"
        << in + "-crf 28 -c:v libx265 " + playable + "-tag:v hvc1 -c:a copy " + out;
    QTest::newRow("h265 in avi is named HEVC")
        << QVector<int>{3, -1, -1, 28, -1, -1, -1, 1} << ".avi"
        << in + "-crf 28 -c:v libx265 " + playable + "-tag:v HEVC -c:a mp3 " + out;
    QTest::newRow("h265 in mkv keeps the muxer's tag")
        << QVector<int>{3, -1, -1, 28, -1, -1, -1, -1} << ".mkv"
        << in + "-crf 28 -c:v libx265 " + playable + out;
    QTest::newRow("copy still gets the bit rate, and nothing added")
        << QVector<int>{6, -1, 800, 18, -1, -1, -1, -1} << ".mp4"
        << in + "-b:v 800k -c:v copy " + out;
    QTest::newRow("zero frame rate is printed")
        << QVector<int>{9, 3, -1, -1, 0, -1, -1, 2} << ".mp4"
        << in + "-s 480x320  -r 0 " + playable + "-c:a wmav2 " + out;
    QTest::newRow("av1 at a level's factor, Opus at its own rate")
        << QVector<int>{7, 1, 512, 39, 18, 44100, 96, 4} << ".webm"
        << in + "-s 1280x720 -crf 39 -r 18 -c:v libsvtav1 -preset 8 " + playable +
               "-ar 48000 -b:a 96k -c:a libopus " + out;
    QTest::newRow("vp9 turns its bit rate ceiling off for a factor")
        << QVector<int>{8, -1, 512, 32, -1, -1, -1, 0} << ".mkv"
        << in + "-crf 32 -b:v 0 -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1 " + playable +
               "-c:a aac " + out;
    QTest::newRow("vp9 without a factor takes the bit rate")
        << QVector<int>{8, -1, 512, -1, -1, -1, -1, -1} << ".webm"
        << in + "-b:v 512k -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1 " + playable +
               "-ar 48000 " + out;
    QTest::newRow("other negatives are printed")
        << QVector<int>{5, 4, -2, -1, -1, -3, -4, 1} << ".mp4"
        << in + "-b:v -2k -c:v flv " + playable + "-ar -3 -b:a -4k -c:a mp3 " + out;
}

void TestCommandLine::line()
{
    QFETCH(QVector<int>, values);
    QFETCH(QString, output);
    QFETCH(QString, expected);
    AVParams params = profile(values);
    params.output = "D:/out/Quellix转码-a" + output.toStdString();
    expected.replace(QStringLiteral("a.mp4\""), "a" + output + "\"");
    QCOMPARE(QString::fromStdString(params.buildCommandLine()), expected);

    // The list form carries the same tokens, without the quotes and without empty slots.
    QStringList tokens = expected.split(' ', Qt::SkipEmptyParts);
    tokens.replaceInStrings(QStringLiteral("\""), QString());
    QStringList arguments;
    for (const std::string &argument : params.commandArguments())
        arguments << QString::fromStdString(argument);
    QCOMPARE(arguments, tokens);
}

void TestCommandLine::pathsStayWhole()
{
    AVParams params = profile({2, -1, -1, -1, -1, -1, -1, 0});
    params.input = "/home/u/my clip \"1\" 视频.avi";
    params.output = "-out dir/$HOME `x`.mp4";
    const QString line = QString::fromStdString(params.buildCommandLine());
    QVERIFY(line.contains(QStringLiteral("-i \"/home/u/my clip \"1\" 视频.avi\" ")));
    QVERIFY(line.endsWith(QStringLiteral("\"-out dir/$HOME `x`.mp4\"")));

    const std::vector<std::string> arguments = params.commandArguments();
    QCOMPARE(arguments.size(), size_t(13));
    QCOMPARE(arguments[3], params.input);
    QCOMPARE(arguments.back(), params.output);
}

void TestCommandLine::sourceRules_data()
{
    // The source as "channels rate transfer" ("-" for none); the settings as cv ar ca and the
    // output's extension; what comes between the video encoder's options and the output.
    QTest::addColumn<QString>("source");
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("expected");
    const QString sdr = QStringLiteral("-vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p");
    QTest::newRow("5.1 into WMAv2 is mixed down")
        << "6 48000 -" << QVector<int>{4, -1, 2} << ".wmv" << sdr + " -ac 2 -c:a wmav2";
    QTest::newRow("7.1 into MP3 is mixed down")
        << "8 48000 -" << QVector<int>{2, -1, 1} << ".avi" << sdr + " -ac 2 -c:a mp3";
    QTest::newRow("5.1 into AAC keeps its channels in the standard layout")
        << "6 48000 -" << QVector<int>{2, -1, 0} << ".mp4" << sdr + " -ac 6 -c:a aac";
    QTest::newRow("7.1 into AAC") << "8 44100 -" << QVector<int>{2, 44100, 0} << ".flv"
                                  << sdr + " -ar 44100 -ac 8 -c:a aac";
    QTest::newRow("more than AAC takes")
        << "10 48000 -" << QVector<int>{2, -1, 0} << ".mp4" << sdr + " -ac 8 -c:a aac";
    QTest::newRow("mono stays mono")
        << "1 11025 -" << QVector<int>{4, -1, 2} << ".wmv" << sdr + " -c:a wmav2";
    QTest::newRow("stereo is left alone")
        << "2 44100 -" << QVector<int>{2, -1, 1} << ".avi" << sdr + " -c:a mp3";
    QTest::newRow("96 kHz is too much for WMAv2")
        << "2 96000 -" << QVector<int>{4, -1, 2} << ".wmv" << sdr + " -ar 48000 -c:a wmav2";
    QTest::newRow("96 kHz AAC") << "2 96000 -" << QVector<int>{2, -1, 0} << ".mp4"
                                << sdr + " -c:a aac";
    QTest::newRow("8 kHz is no FLV rate for MP3")
        << "1 8000 -" << QVector<int>{2, -1, 1} << ".flv" << sdr + " -ar 11025 -c:a mp3";
    QTest::newRow("8 kHz MP3 in AVI")
        << "1 8000 -" << QVector<int>{2, -1, 1} << ".avi" << sdr + " -c:a mp3";
    QTest::newRow("the user's 24 kHz is no FLV rate for MP3")
        << "2 44100 -" << QVector<int>{2, 24000, 1} << ".flv" << sdr + " -ar 22050 -c:a mp3";
    QTest::newRow("the user's 48 kHz MP3 in FLV")
        << "2 44100 -" << QVector<int>{2, 48000, 1} << ".flv" << sdr + " -ar 48000 -c:a mp3";
    QTest::newRow("the user's odd rate, between two")
        << "2 44100 -" << QVector<int>{2, 28000, 0} << ".mp4" << sdr + " -ar 32000 -c:a aac";
    QTest::newRow("the container's own encoder when none is named")
        << "6 96000 -" << QVector<int>{4, -1, -1} << ".wmv" << sdr + " -ar 48000 -ac 2";
    QTest::newRow("audio copy is left alone")
        << "6 96000 -" << QVector<int>{2, 96000, 3} << ".avi" << sdr + " -ar 96000 -c:a copy";
    QTest::newRow("no audio") << "0 0 -" << QVector<int>{2, -1, 2} << ".wmv" << sdr + " -c:a wmav2";
    const QString toneMapped = QStringLiteral(
        "-vf zscale=tin=%1:pin=bt2020:min=bt2020nc:t=linear:npl=100:p=bt2020,format=gbrpf32le,"
        "zscale=p=bt709,tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p,"
        "scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p -color_primaries bt709 -color_trc "
        "bt709 -colorspace bt709");
    QTest::newRow("PQ into H.264") << "2 48000 smpte2084" << QVector<int>{2, -1, 0} << ".mp4"
                                   << toneMapped.arg("smpte2084") + " -c:a aac";
    QTest::newRow("HLG into HEVC") << "2 48000 arib-std-b67" << QVector<int>{3, -1, 0} << ".mp4"
                                   << toneMapped.arg("arib-std-b67") + " -tag:v hvc1 -c:a aac";
    QTest::newRow("HLG into WMV2") << "2 48000 arib-std-b67" << QVector<int>{4, -1, 2} << ".wmv"
                                   << toneMapped.arg("arib-std-b67") + " -c:a wmav2";
    QTest::newRow("HDR video copy is left alone")
        << "2 48000 smpte2084" << QVector<int>{6, -1, 3} << ".mp4"
        << "-c:a copy";
    QTest::newRow("5.1 into Opus gets a layout it takes")
        << "6 48000 -" << QVector<int>{2, -1, 4} << ".mkv"
        << sdr + " -ar 48000 -filter:a aformat=channel_layouts=5.1 -c:a libopus";
    QTest::newRow("3 channels into Opus") << "3 48000 -" << QVector<int>{7, -1, 4} << ".webm"
                                          << "-preset 8 " + sdr +
                                                 " -ar 48000 -filter:a aformat=channel_layouts=3.0 "
                                                 "-c:a libopus";
    QTest::newRow("4 channels into Opus")
        << "4 44100 -" << QVector<int>{2, -1, 4} << ".mp4"
        << sdr + " -ar 48000 -filter:a aformat=channel_layouts=quad -c:a libopus";
    QTest::newRow("more than Opus takes") << "10 48000 -" << QVector<int>{2, -1, 4} << ".mkv"
                                          << sdr + " -ar 48000 -ac:a 8 -c:a libopus";
    QTest::newRow("the user's 44.1 kHz is no Opus rate")
        << "2 22050 -" << QVector<int>{2, 44100, 4} << ".mkv" << sdr + " -ar 48000 -c:a libopus";
    QTest::newRow("7.1 Opus needs no help")
        << "8 48000 -" << QVector<int>{2, -1, 4} << ".mkv" << sdr + " -ar 48000 -c:a libopus";
    const QString tenBits =
        QStringLiteral("-vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p10le "
                       "-color_primaries bt2020 -color_trc %1 -colorspace bt2020nc");
    QTest::newRow("PQ into AV1 in MKV keeps its 10 bits")
        << "2 48000 smpte2084" << QVector<int>{7, -1, 0} << ".mkv"
        << "-preset 8 " + tenBits.arg("smpte2084") + " -c:a aac";
    QTest::newRow("HLG into VP9 in WebM")
        << "2 48000 arib-std-b67" << QVector<int>{8, -1, 4} << ".webm"
        << "-deadline good -cpu-used 5 -row-mt 1 " + tenBits.arg("arib-std-b67") +
               " -ar 48000 -c:a libopus";
    QTest::newRow("HLG into HEVC in MKV")
        << "2 48000 arib-std-b67" << QVector<int>{3, -1, 0} << ".mkv"
        << tenBits.arg("arib-std-b67") + " -x265-params repeat-headers=1 -c:a aac";
    QTest::newRow("PQ into AV1 in MP4") << "2 48000 smpte2084" << QVector<int>{7, -1, 0} << ".mp4"
                                        << "-preset 8 " + tenBits.arg("smpte2084") + " -c:a aac";
    QTest::newRow("PQ into H.264 in MKV is tone-mapped")
        << "2 48000 smpte2084" << QVector<int>{2, -1, 0} << ".mkv"
        << toneMapped.arg("smpte2084") + " -c:a aac";
    QTest::newRow("PQ into VP9 in AVI is tone-mapped")
        << "2 48000 smpte2084" << QVector<int>{8, -1, 1} << ".avi"
        << "-deadline good -cpu-used 5 -row-mt 1 " + toneMapped.arg("smpte2084") + " -c:a mp3";
    QTest::newRow("SDR gets no filter")
        << "2 48000 bt709" << QVector<int>{2, -1, 0} << ".mp4" << sdr + " -c:a aac";
}

void TestCommandLine::sourceRules()
{
    QFETCH(QString, source);
    QFETCH(QVector<int>, values);
    QFETCH(QString, output);
    QFETCH(QString, expected);
    AVParams params = profile({values[0], -1, -1, -1, -1, values[1], -1, values[2]});
    params.output = "/out/a" + output.toStdString();
    const QStringList fields = source.split(' ');
    SourceInfo info;
    info.hasVideo = true;
    info.audioChannels = fields[0].toInt();
    info.hasAudio = info.audioChannels > 0;
    info.audioSampleRate = fields[1].toInt();
    info.colorTransfer = fields[2] == "-" ? std::string() : fields[2].toStdString();
    params.source = info;

    QStringList arguments;
    for (const std::string &argument : params.commandArguments())
        arguments << QString::fromStdString(argument);
    const int afterEncoder = int(arguments.indexOf(QStringLiteral("-c:v")) + 2);
    QCOMPARE(arguments.mid(afterEncoder, arguments.size() - afterEncoder - 1).join(' '), expected);
    // The text form follows the same rules.
    QVERIFY(QString::fromStdString(params.buildCommandLine()).contains(expected + " \"/out/a"));
}

// Streams as "v:h264:25[:tt]" (codec, frame rate, field order), "c:mjpeg" (a cover picture),
// "a:aac:6[:language[:title[:default]]]" and "s:subrip[:language]", in file order; file tags as
// "key=value;...".
SourceInfo TestCommandLine::described(const QString &streams, const QString &tags, int chapters)
{
    SourceInfo info;
    for (const QString &token : streams.split(' ', Qt::SkipEmptyParts)) {
        const QStringList f = token.split(':');
        SourceStream stream;
        stream.index = int(info.streams.size());
        stream.codec = f[1].toStdString();
        if (f[0] == "v" || f[0] == "c") {
            stream.type = SourceStream::Video;
            stream.attachedPicture = f[0] == "c";
            stream.frameRate = f.value(2).toDouble();
            stream.fieldOrder = f.value(3).toStdString();
            if (f[0] == "v")
                info.videoIndex = stream.index;
        } else {
            const bool audio = f[0] == "a";
            stream.type = audio ? SourceStream::Audio : SourceStream::Subtitle;
            stream.channels = audio ? f[2].toInt() : 0;
            stream.sampleRate = audio ? 48000 : 0;
            stream.language = f.value(audio ? 3 : 2).toStdString();
            stream.title = f.value(audio ? 4 : 3).toStdString();
            stream.isDefault = f.value(5) == "default";
        }
        info.streams.push_back(stream);
    }
    for (const QString &tag : tags.split(';', Qt::SkipEmptyParts))
        info.formatTags.emplace_back(tag.section('=', 0, 0).toStdString(),
                                     tag.section('=', 1).toStdString());
    info.chapterCount = chapters;
    return info;
}

void TestCommandLine::streams_data()
{
    // The settings as vc vql cv ca fps (-2: as the container and the level give them); what
    // comes between the input and the output, and the row's note.
    QTest::addColumn<QString>("streams");
    QTest::addColumn<QString>("tags");
    QTest::addColumn<int>("chapters");
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("note");
    QTest::addColumn<double>("rate");     // of the output
    QTest::addColumn<QString>("problem"); // why a copy cannot be made
    const QString film = "v:h264:25 a:aac:2:chi:国语:default a:aac:6:eng:English s:subrip:chi "
                         "s:hdmv_pgs_subtitle:eng";
    const QString filmTags = "title=影片;COMMENT=注";
    const QString phoneTags = "creation_time=2024-05-01T10:20:30.000000Z;location=+31.2+121.4/;"
                              "com.apple.quicktime.make=某厂;com.apple.quicktime.model=X";
    const QString x264 = "-c:v libx264 -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p";
    QTest::newRow("film into MP4: every track, text subtitles, chapters")
        << film << filmTags << 2 << QVector<int>{0, 1, -2, -2, -2}
        << "-map 0:0 -map 0:1 -map 0:2 -map 0:3 -crf 24 -r 18 " + x264 +
               " -ac:a:1 6 -c:a aac -c:s mov_text -metadata:s:a:0 handler_name=国语 "
               "-metadata:s:a:1 handler_name=English -map_metadata:g -1 -metadata title=影片 "
               "-metadata comment=注 -map_chapters 0 -movflags +use_metadata_tags"
        << "未转出的字幕：字幕 2（eng）（图像字幕无法转为文字字幕）\n"
        << 18.0 << "";
    QTest::newRow("film into FLV: the default track alone, second of two")
        << "c:mjpeg v:h264:25 a:mp3:2:chi a:aac:2:eng::default s:ass" << filmTags << 2
        << QVector<int>{1, 3, -2, -2, -2}
        << "-map 0:1 -map 0:3 " + x264 +
               " -c:a aac -map_metadata:g -1 -metadata title=影片 -metadata comment=注 "
               "-map_chapters -1"
        << "未转出的音轨：音轨 1（chi）（FLV 格式只能容纳一条音轨）\n"
           "未转出的字幕：字幕 1（FLV 格式不能容纳字幕）\n"
           "未保留的章节：2 个（FLV 格式不能容纳章节）\n"
        << 25.0 << "";
    QTest::newRow("phone clip into AVI: its recording tags cannot go")
        << "v:h264:30 a:aac:1" << phoneTags + ";title=外滩" << 0 << QVector<int>{2, 3, -2, -2, -2}
        << "-map 0:0 -map 0:1 " + x264 + " -c:a mp3 -map_metadata:g -1 -metadata title=外滩"
        << "未保留的文件信息：拍摄时间、拍摄地点、设备厂商、设备型号（AVI 格式不能容纳）\n"
        << 30.0 << "";
    QTest::newRow("phone clip into WMV keeps all but its recording time")
        << "v:h264:30" << phoneTags << 0 << QVector<int>{3, 3, -2, -2, -2}
        << "-map 0:0 -c:v wmv2 -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p -c:a wmav2 "
           "-map_metadata:g -1 -metadata location=+31.2+121.4/ -metadata "
           "com.apple.quicktime.make=某厂 -metadata com.apple.quicktime.model=X"
        << "未保留的文件信息：拍摄时间（WMV 格式不能容纳）\n"
        << 30.0 << "";
    const QString none;
    QTest::newRow("copy is a remux, Annex B for AVI")
        << "v:h264:25 a:ac3:6" << none << 0 << QVector<int>{2, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -c:v copy -c:a copy -map_metadata:g -1 -bsf:v h264_mp4toannexb"
        << none << 25.0 << none;
    QTest::newRow("copied video, encoded sound")
        << "v:hevc:50 a:flac:2" << none << 0 << QVector<int>{0, 2, 6, 0, -2}
        << "-map 0:0 -map 0:1 -c:v copy -c:a aac -map_metadata:g -1 -movflags +use_metadata_tags"
        << none << 50.0 << none;
    QTest::newRow("a level's rate is a ceiling")
        << "v:h264:25" << none << 0 << QVector<int>{0, 2, -2, -2, -2}
        << "-map 0:0 -crf 18 " + x264 + " -c:a aac -map_metadata:g -1 -movflags +use_metadata_tags"
        << none << 25.0 << none;
    QTest::newRow("a rate picked by hand stays")
        << "v:h264:25" << none << 0 << QVector<int>{0, 1, -2, -2, 30}
        << "-map 0:0 -crf 24 -r 30 " + x264 +
               " -c:a aac -map_metadata:g -1 -movflags +use_metadata_tags"
        << none << 30.0 << none;
    QTest::newRow("interlaced is woven first")
        << "v:mpeg2video:29.97:tt" << none << 0 << QVector<int>{3, 3, -2, -2, -2}
        << "-map 0:0 -c:v wmv2 -vf bwdif=mode=send_frame,scale=trunc(iw/2)*2:trunc(ih/2)*2 "
           "-pix_fmt yuv420p -c:a wmav2 -map_metadata:g -1"
        << none << 29.97 << none;
    QTest::newRow("HEVC cannot be copied into FLV")
        << "v:hevc:25 a:aac:2" << none << 0 << QVector<int>{1, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -c:v copy -c:a copy -map_metadata:g -1" << none << 25.0
        << "无法直接复制：FLV 格式不能容纳 HEVC 视频\n";
    QTest::newRow("film into MKV: every track, picture subtitles too")
        << film << filmTags << 2 << QVector<int>{4, 1, -2, -2, -2}
        << "-map 0:0 -map 0:1 -map 0:2 -map 0:3 -map 0:4 -crf 24 -r 18 " + x264 +
               " -ac:a:1 6 -c:a aac -c:s:0 copy -c:s:1 copy -map_metadata:g -1 "
               "-metadata title=影片 -metadata comment=注 -map_chapters 0"
        << none << 18.0 << none;
    QTest::newRow("film into WebM: Opus tracks, text subtitles as WebVTT")
        << film + " s:mov_text s:webvtt" << filmTags << 2 << QVector<int>{5, 1, -2, -2, -2}
        << "-map 0:0 -map 0:1 -map 0:2 -map 0:3 -map 0:5 -map 0:6 -crf 39 -r 18 -c:v libsvtav1 "
           "-preset 8 -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p -ar 48000 "
           "-filter:a:1 aformat=channel_layouts=5.1 -c:a libopus -c:s:0 webvtt -c:s:1 webvtt "
           "-c:s:2 copy -map_metadata:g -1 -metadata title=影片 -metadata comment=注 "
           "-map_chapters 0"
        << "未转出的字幕：字幕 2（eng）（图像字幕无法转为文字字幕）\n"
        << 18.0 << none;
    QTest::newRow("mov_text becomes SubRip in MKV")
        << "v:h264:25 s:mov_text s:ass" << none << 0 << QVector<int>{4, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -map 0:2 -c:v copy -c:a copy -c:s:0 srt -c:s:1 copy "
           "-map_metadata:g -1"
        << none << 25.0 << none;
    QTest::newRow("VP9 and Opus copy into WebM")
        << "v:vp9:25 a:opus:6" << none << 0 << QVector<int>{5, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -c:v copy -c:a copy -map_metadata:g -1" << none << 25.0 << none;
    QTest::newRow("H.264 cannot be copied into WebM")
        << "v:h264:25 a:opus:2" << none << 0 << QVector<int>{5, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -c:v copy -c:a copy -map_metadata:g -1" << none << 25.0
        << "无法直接复制：WebM 格式不能容纳 H264 视频\n";
    QTest::newRow("nor AAC") << "v:av1:25 a:aac:2" << none << 0 << QVector<int>{5, 1, 6, 3, -2}
                             << "-map 0:0 -map 0:1 -c:v copy -c:a copy -map_metadata:g -1" << none
                             << 25.0 << "无法直接复制：WebM 格式不能容纳 AAC 音频\n";
    QTest::newRow("MKV takes what WebM does not")
        << "v:h264:25 a:truehd:8 a:wmav2:2" << none << 0 << QVector<int>{4, 1, 6, 3, -2}
        << "-map 0:0 -map 0:1 -map 0:2 -c:v copy -c:a copy -map_metadata:g -1" << none << 25.0
        << none;
    QTest::newRow("nor Opus into AVI")
        << "v:h264:25 a:opus:2" << none << 0 << QVector<int>{2, 1, 2, 3, -2}
        << "-map 0:0 -map 0:1 -crf 24 -r 18 -c:v libx264 -vf scale=trunc(iw/2)*2:trunc(ih/2)*2 "
           "-pix_fmt yuv420p -c:a copy -map_metadata:g -1"
        << none << 18.0 << "无法直接复制：AVI 格式不能容纳 OPUS 音频\n";
}

void TestCommandLine::streams()
{
    QFETCH(QString, streams);
    QFETCH(QString, tags);
    QFETCH(int, chapters);
    QFETCH(QVector<int>, values);
    QFETCH(QString, expected);
    QFETCH(QString, note);
    QFETCH(QString, problem);
    AVParams params;
    params.init(makeAVSettings(values[0], values[1], QualityDefault));
    AVSettings &s = params.settings;
    s.cv = values[2] == -2 ? s.cv : values[2];
    s.ca = values[3] == -2 ? s.ca : values[3];
    s.fps = values[4] == -2 ? s.fps : values[4];
    params.input = "/in/a.mkv";
    params.output = "/out/a" + containerExts.at(values[0]);
    params.source = described(streams, tags, chapters);
    const std::vector<std::string> line = params.commandArguments();
    QStringList arguments;
    for (auto it = line.begin() + 4; it + 1 != line.end(); ++it)
        arguments << QString::fromStdString(*it);
    QCOMPARE(arguments.join(' '), expected);
    QCOMPARE(QString::fromStdString(params.sourceNote()), note);
    QTEST(params.outputFrameRate(), "rate");
    QCOMPARE(QString::fromStdString(params.copyProblem()), problem);
}

void TestCommandLine::passes_data()
{
    // The settings as vc cv; the source's streams; the first pass's line (empty for one pass).
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<QString>("streams");
    QTest::addColumn<QString>("firstPass");
    const QString vp9 = "-crf 32 -b:v 0 -r 18 -c:v libvpx-vp9 -deadline good -cpu-used 5 -row-mt 1 "
                        "-vf scale=trunc(iw/2)*2:trunc(ih/2)*2 -pix_fmt yuv420p ";
    const QString firstPass = "-pass 1 -passlogfile /out/.t.passlog -an -sn -f null -";
    QTest::newRow("VP9 with sound and subtitles: the picture alone first")
        << QVector<int>{5, 8} << "v:h264:25 a:aac:2 s:subrip"
        << "-map 0:0 " + vp9 + firstPass;
    QTest::newRow("VP9 before the streams are known")
        << QVector<int>{4, 8} << "" << vp9 + firstPass;
    QTest::newRow("VP9 of a sound alone is one pass") << QVector<int>{5, 8} << "a:aac:2"
                                                      << "";
    QTest::newRow("AV1 is one pass") << QVector<int>{5, 7} << "v:h264:25 a:aac:2"
                                     << "";
    QTest::newRow("a copy is one pass") << QVector<int>{5, 6} << "v:vp9:25"
                                        << "";
}

void TestCommandLine::passes()
{
    QFETCH(QVector<int>, values);
    QFETCH(QString, streams);
    QFETCH(QString, firstPass);
    AVParams params;
    params.init(makeAVSettings(values[0], QualityMedium, QualityDefault));
    setVideoCodec(params.settings, values[1]);
    params.input = "/in/a.mkv";
    params.output = "/out/a" + containerExts.at(values[0]);
    if (!streams.isEmpty()) {
        params.source = described(streams, QString(), 0);
        params.source->hasVideo = params.source->video() != nullptr;
    }
    const auto joined = [](const std::vector<std::string> &tokens) {
        QStringList list;
        for (const std::string &token : tokens)
            list << QString::fromStdString(token);
        return list.join(' ');
    };
    const std::string log = "/out/.t.passlog";
    const QString single = joined(params.commandArguments());
    QCOMPARE(params.passCount(), firstPass.isEmpty() ? 1 : 2);
    if (firstPass.isEmpty()) {
        QCOMPARE(joined(params.passArguments(1, log)), single);
        return;
    }
    QCOMPARE(joined(params.passArguments(1, log)), "ffmpeg -y -i /in/a.mkv " + firstPass);
    // The second pass is the whole conversion, reading the first one's statistics.
    QString second = single;
    second.insert(second.lastIndexOf(' '), " -pass 2 -passlogfile /out/.t.passlog");
    QCOMPARE(joined(params.passArguments(2, log)), second);
}

void TestCommandLine::hdrKept_data()
{
    QTest::addColumn<int>("cv");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("transfer");
    QTest::addColumn<bool>("metadata");    // the source declares its mastering display and light
    QTest::addColumn<QString>("expected"); // the options after the colour tags
    QTest::addColumn<QString>("note");
    const QString kept = QStringLiteral("HDR 保留");
    QTest::newRow("HDR10 into x265")
        << 3 << ".mkv"
        << "smpte2084" << true
        << "-x265-params hdr10-opt=1:repeat-headers=1:master-display=G(13250,34500)B(7500,3000)"
           "R(34000,16000)WP(15635,16450)L(10000000,1):max-cll=1000,400"
        << kept;
    QTest::newRow("PQ into x265 without metadata")
        << 3 << ".mkv"
        << "smpte2084" << false << "-x265-params hdr10-opt=1:repeat-headers=1" << kept;
    QTest::newRow("HDR10 into SVT-AV1")
        << 7 << ".webm"
        << "smpte2084" << true
        << "-svtav1-params enable-hdr=1:mastering-display=G(0.2650,0.6900)B(0.1500,0.0600)"
           "R(0.6800,0.3200)WP(0.3127,0.3290)L(1000.0000,0.0001):content-light=1000,400"
        << kept;
    QTest::newRow("PQ into SVT-AV1 without metadata") << 7 << ".mkv"
                                                      << "smpte2084" << false << "" << kept;
    QTest::newRow("HDR10 into VP9: the stream has no place for it")
        << 8 << ".webm"
        << "smpte2084" << true << "" << kept;
    QTest::newRow("HDR10 into x265 in MP4 stays SDR as before")
        << 3 << ".mp4"
        << "smpte2084" << true << "-tag:v hvc1"
        << "HDR 转为 SDR";
    QTest::newRow("HLG into H.264") << 2 << ".mkv"
                                    << "arib-std-b67" << false << ""
                                    << "HDR 转为 SDR";
    QTest::newRow("HLG copied") << 6 << ".mkv"
                                << "arib-std-b67" << false << ""
                                << "";
    QTest::newRow("SDR into x265") << 3 << ".mkv"
                                   << "bt709" << true << ""
                                   << "";
}

void TestCommandLine::hdrKept()
{
    QFETCH(int, cv);
    QFETCH(QString, output);
    QFETCH(QString, transfer);
    QFETCH(bool, metadata);
    QFETCH(QString, expected);
    QFETCH(QString, note);
    AVParams params = profile({cv, -1, -1, -1, -1, -1, -1, 3});
    params.output = "/out/a" + output.toStdString();
    SourceInfo info;
    info.hasVideo = true;
    info.colorTransfer = transfer.toStdString();
    if (metadata) {
        const double mastering[8] = {0.265, 0.69, 0.15, 0.06, 0.68, 0.32, 0.3127, 0.329};
        std::copy(std::begin(mastering), std::end(mastering), info.mastering);
        info.masteringMaxLuminance = 1000;
        info.masteringMinLuminance = 0.0001;
        info.maxContentLight = 1000;
        info.maxAverageLight = 400;
    }
    params.source = info;
    const QString line = QString::fromStdString(params.buildCommandLine());
    QCOMPARE(QString::fromStdString(params.hdrNote()), note);
    const QString tags = QStringLiteral("-colorspace bt2020nc ");
    const QString sdrTags = QStringLiteral("-colorspace bt709 ");
    const int at = int(line.indexOf(note == "HDR 保留" ? tags : sdrTags));
    if (note.isEmpty()) {
        QVERIFY(!line.contains("yuv420p10le") && !line.contains("-params"));
        return;
    }
    QVERIFY2(at > 0, qPrintable(line));
    QCOMPARE(line.contains("-pix_fmt yuv420p10le"), note == "HDR 保留");
    const QString rest = line.mid(at + (note == "HDR 保留" ? tags : sdrTags).size());
    QCOMPARE(rest, (expected.isEmpty() ? expected : expected + ' ') + "-c:a copy \"/out/a" +
                       output + '"');
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
