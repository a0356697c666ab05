#include "convert/SourceProbe.h"
#include "convert/ChildProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cmath>

#include <sys/mman.h>
#include <unistd.h>

namespace
{

// The prober writes most numbers as texts ("48000", "10.000000"); take either form.
double number(const QJsonValue &value, double fallback)
{
    if (value.isDouble())
        return value.toDouble();
    bool ok = false;
    const double parsed = value.toString().toDouble(&ok);
    return ok && std::isfinite(parsed) ? parsed : fallback;
}

int integer(const QJsonValue &value)
{
    const double parsed = number(value, 0);
    return parsed >= -1e9 && parsed <= 1e9 ? int(parsed) : 0;
}

std::string text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString().toStdString();
}

bool hasDisposition(const QJsonObject &stream, const char *flag)
{
    return integer(
               stream.value(QLatin1String("disposition")).toObject().value(QLatin1String(flag))) ==
           1;
}

bool isCoverPicture(const QJsonObject &stream)
{
    return hasDisposition(stream, "attached_pic");
}

// "30000/1001" as the prober writes rates; 0 for "0/0" or anything else.
double rate(const QJsonValue &value)
{
    const QStringList parts = value.toString().split(QLatin1Char('/'));
    const double denominator = parts.size() == 2 ? number(parts[1], 0) : 0;
    const double quotient = denominator > 0 ? number(parts[0], 0) / denominator : 0;
    return quotient > 0 && quotient < 1e6 ? quotient : 0;
}

SourceStream::Type typeOf(const QJsonObject &stream)
{
    const QString type = stream.value(QLatin1String("codec_type")).toString();
    if (type == QLatin1String("video"))
        return SourceStream::Video;
    if (type == QLatin1String("audio"))
        return SourceStream::Audio;
    return type == QLatin1String("subtitle") ? SourceStream::Subtitle : SourceStream::Other;
}

SourceStream describe(const QJsonObject &stream)
{
    const QJsonObject tags = stream.value(QLatin1String("tags")).toObject();
    SourceStream described;
    described.index = integer(stream.value(QLatin1String("index")));
    described.type = typeOf(stream);
    described.codec = text(stream, "codec_name");
    described.language = text(tags, "language");
    described.title = text(tags, "title");
    described.isDefault = hasDisposition(stream, "default");
    described.attachedPicture = isCoverPicture(stream);
    described.channels = integer(stream.value(QLatin1String("channels")));
    described.sampleRate = integer(stream.value(QLatin1String("sample_rate")));
    described.fieldOrder = text(stream, "field_order");
    described.frameRate = rate(stream.value(QLatin1String("avg_frame_rate")));
    if (described.frameRate <= 0)
        described.frameRate = rate(stream.value(QLatin1String("r_frame_rate")));
    return described;
}

std::vector<std::pair<std::string, std::string>> tagsOf(const QJsonObject &format)
{
    std::vector<std::pair<std::string, std::string>> tags;
    const QJsonObject object = format.value(QLatin1String("tags")).toObject();
    for (auto it = object.begin(); it != object.end(); ++it)
        tags.emplace_back(it.key().toStdString(), it.value().toString().toStdString());
    return tags;
}

int quarterTurns(double degrees)
{
    if (!(std::fabs(degrees) < 1e6))
        return 0;
    const long turns = std::lround(degrees / 90.0) % 4;
    return int((turns + 4) % 4) * 90;
}

// The display matrix's rotation, or else the older rotate tag.
int rotationOf(const QJsonObject &stream)
{
    const QJsonArray sideData = stream.value(QLatin1String("side_data_list")).toArray();
    for (const QJsonValue &entry : sideData) {
        const QJsonValue rotation = entry.toObject().value(QLatin1String("rotation"));
        if (!rotation.isUndefined())
            return quarterTurns(number(rotation, 0));
    }
    const QJsonValue tag =
        stream.value(QLatin1String("tags")).toObject().value(QLatin1String("rotate"));
    return quarterTurns(number(tag, 0));
}

void takeVideo(const QJsonObject &stream, SourceInfo &info)
{
    info.hasVideo = true;
    info.videoIndex = integer(stream.value(QLatin1String("index")));
    info.width = integer(stream.value(QLatin1String("width")));
    info.height = integer(stream.value(QLatin1String("height")));
    info.rotation = rotationOf(stream);
    info.videoCodec = text(stream, "codec_name");
    info.pixelFormat = text(stream, "pix_fmt");
    info.colorTransfer = text(stream, "color_transfer");
    info.colorPrimaries = text(stream, "color_primaries");
    info.colorSpace = text(stream, "color_space");
}

// HDR10's static metadata as the prober lists it among a frame's or a stream's side data.
void takeHdrMetadata(const QJsonArray &sideData, SourceInfo &info)
{
    static const char *const chromaticities[] = {"green_x",       "green_y",      "blue_x",
                                                 "blue_y",        "red_x",        "red_y",
                                                 "white_point_x", "white_point_y"};
    for (const QJsonValue &value : sideData) {
        const QJsonObject entry = value.toObject();
        const QString type = entry.value(QLatin1String("side_data_type")).toString();
        if (type == QLatin1String("Mastering display metadata") && !info.hasMasteringDisplay()) {
            for (int i = 0; i < 8; ++i)
                info.mastering[i] = rate(entry.value(QLatin1String(chromaticities[i])));
            info.masteringMaxLuminance = rate(entry.value(QLatin1String("max_luminance")));
            info.masteringMinLuminance = rate(entry.value(QLatin1String("min_luminance")));
        } else if (type == QLatin1String("Content light level metadata") &&
                   info.maxContentLight <= 0) {
            info.maxContentLight = integer(entry.value(QLatin1String("max_content")));
            info.maxAverageLight = integer(entry.value(QLatin1String("max_average")));
        }
    }
}

// The first video frame's, which the encoder's own headers give, before the stream's.
void takeHdrMetadata(const QJsonObject &document, SourceInfo &info)
{
    const QJsonArray frames = document.value(QLatin1String("frames")).toArray();
    for (const QJsonValue &frame : frames) {
        const QJsonObject object = frame.toObject();
        if (object.value(QLatin1String("media_type")).toString() == QLatin1String("video") &&
            integer(object.value(QLatin1String("stream_index"))) == info.videoIndex)
            takeHdrMetadata(object.value(QLatin1String("side_data_list")).toArray(), info);
    }
    const QJsonArray streams = document.value(QLatin1String("streams")).toArray();
    for (const QJsonValue &stream : streams) {
        const QJsonObject object = stream.toObject();
        if (integer(object.value(QLatin1String("index"))) == info.videoIndex)
            takeHdrMetadata(object.value(QLatin1String("side_data_list")).toArray(), info);
    }
}

void takeAudio(const QJsonObject &stream, SourceInfo &info)
{
    info.hasAudio = true;
    info.audioChannels = integer(stream.value(QLatin1String("channels")));
    info.audioSampleRate = integer(stream.value(QLatin1String("sample_rate")));
    info.audioCodec = text(stream, "codec_name");
    info.channelLayout = text(stream, "channel_layout");
}

double durationOf(const QJsonObject &object)
{
    const double seconds = number(object.value(QLatin1String("duration")), -1);
    return seconds > 0 ? seconds : -1;
}

// The streams the transcoder picks by itself: the largest picture, the audio with most channels,
// the first of equals.
void takeStreams(const QJsonArray &streams, SourceInfo &info)
{
    double longestStream = -1;
    for (const QJsonValue &value : streams) {
        const QJsonObject stream = value.toObject();
        info.streams.push_back(describe(stream));
        const QString type = stream.value(QLatin1String("codec_type")).toString();
        if (type == QLatin1String("video") && !isCoverPicture(stream)) {
            const qint64 area = qint64(integer(stream.value(QLatin1String("width")))) *
                                integer(stream.value(QLatin1String("height")));
            if (!info.hasVideo || area > qint64(info.width) * info.height)
                takeVideo(stream, info);
        } else if (type == QLatin1String("audio")) {
            if (!info.hasAudio ||
                integer(stream.value(QLatin1String("channels"))) > info.audioChannels)
                takeAudio(stream, info);
        } else {
            continue;
        }
        longestStream = std::max(longestStream, durationOf(stream));
    }
    if (info.durationSeconds < 0)
        info.durationSeconds = longestStream;
}

// What the prober wrote into `fd`, from its start.
QByteArray written(int fd)
{
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) ||
        !file.seek(0))
        return {};
    return file.readAll();
}

void closeOutput(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

QStringList probeArguments(const QString &path)
{
    // An absolute path starts with a slash, so the prober never takes it for an option.
    return {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-print_format"),
            QStringLiteral("json"), QStringLiteral("-show_streams"), QStringLiteral("-show_format"),
            QStringLiteral("-show_chapters"),
            // The first packets' frames, for the HDR metadata only they carry.
            QStringLiteral("-show_frames"), QStringLiteral("-read_intervals"),
            QStringLiteral("%+#2"), QFileInfo(path).absoluteFilePath()};
}

std::string lastLine(const QByteArray &output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.last().trimmed().toStdString();
}

} // namespace

int parseProbeOutput(const QByteArray &json, SourceInfo &info)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    const QJsonValue streams = document.object().value(QLatin1String("streams"));
    if (!document.isObject() || !streams.isArray())
        return ProbeUnreadable;
    const QJsonObject format = document.object().value(QLatin1String("format")).toObject();
    SourceInfo found;
    found.durationSeconds = durationOf(format);
    found.formatTags = tagsOf(format);
    found.chapterCount = int(document.object().value(QLatin1String("chapters")).toArray().size());
    takeStreams(streams.toArray(), found);
    if (found.isHdr())
        takeHdrMetadata(document.object(), found);
    info = found;
    return ProbeOk;
}

SourceProbe::SourceProbe(QObject *parent) : QObject(parent) {}

SourceProbe::~SourceProbe()
{
    cancel();
}

int SourceProbe::start(const QString &path, int timeLimitMs)
{
    if (m_process)
        return ProbeRunning;
    const QString program = ChildProcess::findProgram(m_program);
    if (program.isEmpty())
        return ProbeNotStarted;

    m_info = SourceInfo();
    m_errorText.clear();
    // The prober writes into memory files read once it has ended: nothing wakes the event loop
    // meanwhile, and no full pipe can stop it.
    m_output = ::memfd_create("probe-output", MFD_CLOEXEC);
    m_errors = ::memfd_create("probe-errors", MFD_CLOEXEC);
    m_process = new ChildProcess(this);
    connect(m_process, &ChildProcess::finished, this, &SourceProbe::onFinished);
    if (m_output < 0 || m_errors < 0 ||
        !m_process->start(program, probeArguments(path), m_output, m_errors)) {
        release();
        return ProbeNotStarted;
    }
    m_timeLimit = new QTimer(this);
    m_timeLimit->setSingleShot(true);
    connect(m_timeLimit, &QTimer::timeout, this, &SourceProbe::onTimeLimit);
    m_timeLimit->start(timeLimitMs);
    return ProbeOk;
}

void SourceProbe::cancel()
{
    if (!m_process)
        return;
    release();
}

void SourceProbe::onFinished()
{
    if (!m_process->exitedNormally()) {
        finishWith(ProbeCrashed);
    } else if (m_process->exitCode() != 0) {
        m_errorText = lastLine(written(m_errors));
        finishWith(ProbeRefused);
    } else {
        finishWith(parseProbeOutput(written(m_output), m_info));
    }
}

void SourceProbe::onTimeLimit()
{
    finishWith(ProbeTimedOut);
}

void SourceProbe::finishWith(int result)
{
    if (!m_process)
        return;
    release();
    m_result = result;
    emit finished(result);
}

// Kills a prober that still runs and reaps it, so that no child outlives the probe; the object
// goes once control is back in the event loop, since the end may come from inside its signal.
void SourceProbe::release()
{
    m_process->disconnect(this);
    if (m_process->running()) {
        m_process->kill();
        m_process->waitForFinished(ChildProcess::reapWaitMs);
    }
    m_process->deleteLater();
    m_process = nullptr;
    closeOutput(m_output);
    closeOutput(m_errors);
    if (!m_timeLimit)
        return;
    m_timeLimit->stop();
    m_timeLimit->deleteLater();
    m_timeLimit = nullptr;
}
