#include "gui/InputItem.h"
#include "convert/ConversionJob.h"
#include "ui/StyleSheet.h"
#include "ui_InputItem.h"

#include <QEvent>
#include <QFileInfo>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace
{

QString sizeText(qint64 bytes)
{
    return QString::asprintf("大小:%.1f MB", double(bytes) * (1.0 / 1024) * (1.0 / 1024));
}

QString clockText(qint64 seconds)
{
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                             seconds % 60);
}

// A name too long for its label loses characters in its middle, never its extension.
QString elidedName(const QString &name, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const QString suffix = QFileInfo(name).suffix();
    const QString ext = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    const int extWidth = metrics.horizontalAdvance(ext);
    if (ext.isEmpty() || extWidth > width / 2)
        return metrics.elidedText(name, Qt::ElideMiddle, width);
    const QString base = name.left(name.size() - ext.size());
    return metrics.elidedText(base, Qt::ElideMiddle, width - extWidth) + ext;
}

} // namespace

InputItem::InputItem(ConversionJob *job, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::InputItem>()), m_job(job)
{
    m_ui->setupUi(this);
    // The row paints its sheet's background over its whole area itself (see paintEvent), so that
    // the list behind it need not paint whenever the row changes, as its progress does per tick.
    setAttribute(Qt::WA_OpaquePaintEvent);
    loadStyleSheet(this, QStringLiteral(":/qss/css/InputItem.css"));
    m_ui->progressBar->setRange(0, 100);
    m_ui->filename->installEventFilter(this);
    connect(m_ui->btnDel, &QPushButton::clicked, this, &InputItem::btnDel_clicked);
    connect(job, &ConversionJob::changed, this, &InputItem::showJob);
    connect(job, &ConversionJob::finished, this, [this] { emit ItemConvertDone(this); });
    showJob();
}

InputItem::~InputItem() = default;

QSize InputItem::formSize()
{
    static const QSize size = [] {
        QWidget form;
        Ui::InputItem().setupUi(&form);
        return form.size();
    }();
    return size;
}

ConversionJob *InputItem::job() const
{
    return m_job;
}

int InputItem::setInput(const std::string &path, const AVSettings &settings)
{
    const int result = m_job->setInput(path, settings);
    showJob();
    return result;
}

int InputItem::cancel()
{
    return m_job->cancel();
}

int InputItem::convertState() const
{
    return m_job->convertState();
}

const std::string &InputItem::inputPath() const
{
    return m_job->inputPath();
}

const std::string &InputItem::errorText() const
{
    return m_job->errorText();
}

const AVSettings &InputItem::settings() const
{
    return m_job->settings();
}

void InputItem::setSettings(const AVSettings &settings)
{
    m_job->setSettings(settings);
}

void InputItem::btnDel_clicked()
{
    emit ItemDelete(this);
}

void InputItem::showJob()
{
    static const char *const stateTexts[] = {QT_TR_NOOP("等待转码..."), QT_TR_NOOP("正在转码..."),
                                             QT_TR_NOOP("转码完成   "), QT_TR_NOOP("转码取消   "),
                                             QT_TR_NOOP("转码错误   ")};
    if (!m_job)
        return;
    // A paused job is a converting one that waits for the batch to go on.
    m_ui->status->setText(m_job->isPaused() ? tr("转码暂停   ")
                                            : tr(stateTexts[m_job->convertState()]));
    // Without the input's duration the bar can only show that work goes on.
    showProgress(m_job->isBusy() ? 0 : 100, m_job->progress());
    // A job without an input yet keeps the form's texts.
    if (m_job->inputPath().empty())
        return;
    showFileName();
    m_ui->filesize->setText(sizeText(m_job->inputBytes()));
    if (const QString tip = toolTipText(); tip != toolTip())
        setToolTip(tip);
}

// QProgressBar paints itself at once for every step it shows, with a round trip to the display;
// the row's other changes are painted with the next frame, and so is the bar here.
void InputItem::showProgress(int maximum, int value)
{
    QProgressBar *bar = m_ui->progressBar;
    if (bar->maximum() == maximum && bar->value() == value)
        return;
    bar->setUpdatesEnabled(false);
    bar->setRange(0, maximum);
    bar->setValue(value);
    bar->setUpdatesEnabled(true);
}

void InputItem::setCurrent(bool current)
{
    if (property("current").toBool() == current)
        return;
    // The sheet gives the current row its own shade.
    setProperty("current", current);
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void InputItem::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

bool InputItem::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->filename && event->type() == QEvent::Resize && m_job &&
        !m_job->inputPath().empty())
        showFileName();
    return QWidget::eventFilter(watched, event);
}

void InputItem::showFileName()
{
    QLabel *label = m_ui->filename;
    label->ensurePolished();
    const QString &name = m_job->fileName();
    if (name == m_elidedFor && label->width() == m_elidedWidth && label->font() == m_elidedFont)
        return;
    m_elidedFor = name;
    m_elidedWidth = label->width();
    m_elidedFont = label->font();
    label->setText(elidedName(name, label->fontMetrics(), m_elidedWidth));
}

// The whole path, the output's frame rate and what becomes of an HDR picture once the source is
// known, how a run goes while it goes, and what a finished run still has to say.
QString InputItem::toolTipText() const
{
    QString text = QString::fromStdString(m_job->inputPath());
    if (m_job->outputFrameRate() > 0)
        text += QStringLiteral("\n输出帧率：%1 fps").arg(m_job->outputFrameRate(), 0, 'g', 4);
    if (const std::string hdr = m_job->hdrNote(); !hdr.empty())
        text += QLatin1Char('\n') + QString::fromStdString(hdr);
    if (m_job->convertState() == Converting) {
        text += QStringLiteral("\n已用时间：") + clockText(m_job->elapsedMs() / 1000);
        if (m_job->speed() > 0)
            text += QStringLiteral("\n速度：") + QString::number(m_job->speed(), 'g', 3) + 'x';
        if (m_job->remainingSeconds() >= 0)
            text += QStringLiteral("\n剩余时间：约 ") + clockText(m_job->remainingSeconds());
    }
    if (!m_job->note().empty())
        text += QLatin1Char('\n') + QString::fromStdString(m_job->note()).trimmed();
    if (!m_job->warning().empty())
        text += QLatin1Char('\n') + QString::fromStdString(m_job->warning());
    return text;
}
