#include "ui/CDlgCountdown.h"

#include "ui/StyleSheet.h"
#include "ui/WindowDrag.h"
#include "ui_CDlgCountdown.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

CDlgCountdown::CDlgCountdown(QWidget *parent, const QString &pattern, int seconds)
    : QDialog(parent), m_ui(std::make_unique<Ui::CDlgCountdown>()), m_timer(new QTimer(this)),
      m_pattern(pattern), m_secondsLeft(qMax(seconds, 0))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    WindowDrag::install(this);
    setWindowModality(Qt::WindowModal);
    loadStyleSheet(this, QStringLiteral(":/qss/css/DlgCountdown.css"));
    showText();
    m_timer->setInterval(1000);
    connect(m_timer, &QTimer::timeout, this, &CDlgCountdown::tick);

    // Centred on the whole desktop, as the message dialog is.
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
    show();
    if (m_secondsLeft == 0)
        QTimer::singleShot(0, this, &CDlgCountdown::accept);
    else
        m_timer->start();
}

CDlgCountdown::~CDlgCountdown() = default;

void CDlgCountdown::tick()
{
    if (--m_secondsLeft > 0) {
        showText();
        return;
    }
    m_timer->stop();
    accept();
}

void CDlgCountdown::showText()
{
    m_ui->labelText->setText(m_pattern.arg(m_secondsLeft));
}

void CDlgCountdown::on_btnTopClose_clicked()
{
    m_timer->stop();
    reject();
}

void CDlgCountdown::on_btnCancel_clicked()
{
    m_timer->stop();
    reject();
}
