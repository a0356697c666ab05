#include "convert/InputItem.h"
#include "params/ParamTables.h"
#include "ui/StyleSheet.h"
#include "ui_InputItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstring>
#include <optional>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr int readBufferSize = 8192;
constexpr int pollIntervalMs = 200;
const QString outputPrefix = QStringLiteral("Quellix转码-");

// The form of `path` that names the same file however it was written: symbolic links followed as
// far as the file or, for a file not made yet, its folder exists.
QString resolvedPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return dir.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : dir + "/" + info.fileName();
}

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileId(const QString &path)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileId(status.st_dev, status.st_ino);
}

// Remembers a file that an output must not land on: by its path once links are followed and, when
// it exists, by its identity, since a hard link in the output folder names it under another path.
void forbid(const QString &path, QStringList &paths, std::vector<FileId> &ids)
{
    paths << resolvedPath(path);
    if (const std::optional<FileId> id = fileId(path))
        ids.push_back(*id);
}

bool isForbidden(const QString &path, const QStringList &paths, const std::vector<FileId> &ids)
{
    if (paths.contains(resolvedPath(path)))
        return true;
    const std::optional<FileId> id = fileId(path);
    return id && std::find(ids.begin(), ids.end(), *id) != ids.end();
}

// The longest file name, in bytes, that the folder takes.
int maxNameBytes(const QString &dir)
{
    const long limit = pathconf(QFile::encodeName(dir).constData(), _PC_NAME_MAX);
    return limit > 0 ? int(limit) : NAME_MAX;
}

// `text` cut after a whole character so that its UTF-8 form takes at most `bytes` bytes.
QString cutToBytes(QString text, int bytes)
{
    while (!text.isEmpty() && text.toUtf8().size() > bytes)
        text.chop(text.size() > 1 && QChar(text.back()).isLowSurrogate() ? 2 : 1);
    return text;
}

} // namespace

InputItem::InputItem(QWidget *parent) : QWidget(parent), ui(std::make_unique<Ui::InputItem>())
{
    ui->setupUi(this);
    // The item's sheet paints its background, which a plain QWidget subclass would skip.
    setAttribute(Qt::WA_StyledBackground);
    loadStyleSheet(this, QStringLiteral(":/qss/css/InputItem.css"));
    setState(Waiting);
    ui->progressBar->setRange(0, 100);
    ui->progressBar->setValue(0);
    pollTimer = new QTimer(this);
    pollTimer->setInterval(pollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &InputItem::onTimer);
    // The end of the transcoder is taken at once rather than at the next tick: in a batch the
    // next file starts as soon as this one is written.
    pipe.setEndNotifier(
        [this] { QMetaObject::invokeMethod(this, &InputItem::onTimer, Qt::QueuedConnection); });
    connect(ui->btnDel, &QPushButton::clicked, this, &InputItem::btnDel_clicked);
}

InputItem::~InputItem()
{
    pipe.closeRead();
}

int InputItem::setInput(const std::string &path, const AVSettings &settings)
{
    const QFileInfo info(QString::fromStdString(path));
    if (!info.exists())
        return -202;
    const double megabytes = double(info.size()) * (1.0 / 1024) * (1.0 / 1024);
    ui->filename->setText(info.fileName());
    ui->filesize->setText(QString::asprintf("大小:%.1f MB", megabytes));
    m_inputPath = path;
    baseName = info.completeBaseName().toStdString();
    dotSuffix = "." + info.suffix().toStdString();
    params.init(settings);
    // Absolute, so that no input name can be taken for an option of the transcoder.
    params.input = info.absoluteFilePath().toStdString();
    return 0;
}

int InputItem::start(const std::vector<std::string> &takenPaths)
{
    if (pipe.running())
        return -103;
    m_outputPath = composeOutputPath(takenPaths);
    params.output = m_outputPath;
    const int result = pipe.start(params.commandArguments());
    if (result != 0)
        return result;
    // Allocated once per job, at its first run: a long list of waiting files needs none.
    if (!readBuffer)
        readBuffer = std::make_unique<char[]>(readBufferSize);
    setState(Converting);
    ui->progressBar->setValue(0);
    facts = OutputFacts();
    tail.clear();
    pollTimer->start();
    return 0;
}

int InputItem::cancel()
{
    if (state == Done)
        return 102;
    if (state == Converting) {
        if (pipe.terminate() == 0)
            QFile::remove(QString::fromStdString(m_outputPath));
        pollTimer->stop();
    }
    setState(Cancelled);
    return 0;
}

int InputItem::convertState() const
{
    return state;
}

int InputItem::progressValue() const
{
    return ui->progressBar->value();
}

// Takes everything the transcoder has written since the last tick, one chunk at a time, without
// ever waiting for more.
void InputItem::onTimer()
{
    if (!pipe.running()) {
        pollTimer->stop();
        return;
    }
    for (;;) {
        std::memset(readBuffer.get(), 0, readBufferSize);
        uint32_t bytesRead = 0;
        const int result = pipe.read(readBuffer.get(), readBufferSize - 1, bytesRead, 0);
        if (result == 102) {
            finishConversion();
            return;
        }
        if (result != 0 || bytesRead == 0)
            return;
        analyseChunk(readBuffer.get());
    }
}

void InputItem::btnDel_clicked()
{
    emit ItemDelete(this);
}

void InputItem::analyseChunk(char *chunk)
{
    tail.append(chunk);
    // The longer path first: hiding the other first could break it apart.
    const bool inputLonger = params.input.size() > m_outputPath.size();
    hideText(chunk, inputLonger ? params.input : m_outputPath);
    hideText(chunk, inputLonger ? m_outputPath : params.input);
    if (const std::optional<int> progress = analyseOutputChunk(chunk, facts))
        ui->progressBar->setValue(*progress);
}

void InputItem::finishConversion()
{
    if (facts.errorText.empty())
        facts.errorText = exitFailureText();
    // A short run can print all of its output before its first whole second, and some encoders
    // print no rate summary: a clean exit that left an output file is a success too.
    if (facts.errorText.empty() && !facts.outputSeen &&
        QFileInfo(QString::fromStdString(m_outputPath)).size() > 0)
        facts.outputSeen = true;
    if (!facts.errorText.empty()) {
        setState(Failed);
    } else if (facts.outputSeen) {
        ui->progressBar->setValue(100);
        setState(Done);
    } else {
        facts.errorText += "模糊信息\n";
        setState(Failed);
    }
    pollTimer->stop();
    emit ItemConvertDone(this);
}

// Why a transcoder that ended by a signal or with a non-zero status failed; empty after a clean
// exit. The text alone cannot tell: a full disk or a refused codec prints nothing recognisable.
std::string InputItem::exitFailureText() const
{
    std::string text;
    if (!pipe.lastExitedNormally())
        text = "转码程序被信号 " + std::to_string(pipe.lastSignal()) + " 终止\n";
    else if (pipe.lastExitCode() != 0)
        text = "转码程序异常退出，退出码：" + std::to_string(pipe.lastExitCode()) + "\n";
    else
        return text;
    const std::string reason = tail.lastErrorLine();
    if (!reason.empty())
        text += reason + "\n";
    return text;
}

std::string InputItem::composeOutputPath(const std::vector<std::string> &takenPaths) const
{
    const std::string ext = lookupText(containerExts, params.settings.vc).value_or(dotSuffix);
    const QFileInfo candidate(QString::fromStdString(outputDir + "/" + baseName + ext));
    const QString dir = candidate.path();
    const QString fileName = candidate.fileName();
    const QString qext = QString::fromStdString(ext);
    const QString stem = fileName.left(fileName.size() - qext.size());

    QStringList forbiddenPaths;
    std::vector<FileId> forbiddenIds;
    forbid(QString::fromStdString(m_inputPath), forbiddenPaths, forbiddenIds);
    for (const std::string &path : takenPaths)
        forbid(QString::fromStdString(path), forbiddenPaths, forbiddenIds);

    // The prefix can push a long input name past what the folder takes: the base name is then
    // shortened rather than the conversion failing.
    const int nameLimit = maxNameBytes(dir);
    for (int n = 1;; ++n) {
        const QString number = n == 1 ? QString() : QStringLiteral(" (%1)").arg(n);
        const int room = nameLimit - int(QString(outputPrefix + number + qext).toUtf8().size());
        const QString name = outputPrefix + cutToBytes(stem, room) + number + qext;
        const QString path = QDir::cleanPath(QFileInfo(dir + "/" + name).absoluteFilePath());
        if (!isForbidden(path, forbiddenPaths, forbiddenIds))
            return path.toStdString();
    }
}

void InputItem::setState(ConvertState newState)
{
    static const char *const texts[] = {QT_TR_NOOP("等待转码..."), QT_TR_NOOP("正在转码..."),
                                        QT_TR_NOOP("转码完成   "), QT_TR_NOOP("转码取消   "),
                                        QT_TR_NOOP("转码错误   ")};
    state = newState;
    ui->status->setText(tr(texts[newState]));
}
