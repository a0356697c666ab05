#include "convert/InputItem.h"
#include "convert/ConversionJob.h"
#include "ui/StyleSheet.h"
#include "ui_InputItem.h"

namespace
{

QString sizeText(qint64 bytes)
{
    return QString::asprintf("大小:%.1f MB", double(bytes) * (1.0 / 1024) * (1.0 / 1024));
}

} // namespace

InputItem::InputItem(ConversionJob *job, QWidget *parent)
    : QWidget(parent), ui(std::make_unique<Ui::InputItem>()), m_job(job)
{
    ui->setupUi(this);
    // The item's sheet paints its background, which a plain QWidget subclass would skip.
    setAttribute(Qt::WA_StyledBackground);
    loadStyleSheet(this, QStringLiteral(":/qss/css/InputItem.css"));
    ui->progressBar->setRange(0, 100);
    connect(ui->btnDel, &QPushButton::clicked, this, &InputItem::btnDel_clicked);
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

int InputItem::start()
{
    return m_job->start();
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
    ui->status->setText(tr(stateTexts[m_job->convertState()]));
    // Without the input's duration the bar can only show that work goes on.
    ui->progressBar->setRange(0, m_job->isBusy() ? 0 : 100);
    ui->progressBar->setValue(m_job->progress());
    // A job without an input yet keeps the form's texts.
    if (m_job->inputPath().empty())
        return;
    ui->filename->setText(m_job->fileName());
    ui->filesize->setText(sizeText(m_job->inputBytes()));
    setToolTip(QString::fromStdString(m_job->inputPath() + "\n" + m_job->note()).trimmed());
}
