#include "ui/CDlgMessage.h"

#include "ui/StyleSheet.h"
#include "ui/WindowDrag.h"
#include "ui_CDlgMessage.h"

#include <QGuiApplication>
#include <QScreen>

CDlgMessage::CDlgMessage(QWidget *parent, int buttonMode, const QString &text)
    : QDialog(parent), m_ui(std::make_unique<Ui::CDlgMessage>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    WindowDrag::install(this);
    setWindowModality(Qt::WindowModal);
    loadStyleSheet(this, QStringLiteral(":/qss/css/DlgMessage.css"));
    m_ui->textEdit->setText(text);
    if (buttonMode == 1)
        m_ui->btnCancel->hide();

    // Centred on the whole desktop, not on the parent; placed once.
    const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
    move((desktop.width() - width()) / 2, (desktop.height() - height()) / 2);
    show();
}

CDlgMessage::~CDlgMessage() = default;

bool CDlgMessage::ask(QWidget *parent, const QString &question)
{
    CDlgMessage dialog(parent, 2, question);
    dialog.exec();
    return dialog.okClicked;
}

void CDlgMessage::tell(QWidget *parent, const QString &notice)
{
    CDlgMessage dialog(parent, 1, notice);
    dialog.exec();
}

void CDlgMessage::setButtonTexts(const QString &ok, const QString &cancel)
{
    m_ui->btnOk->setText(ok);
    m_ui->btnCancel->setText(cancel);
}

void CDlgMessage::on_btnTopClose_clicked()
{
    close();
}

void CDlgMessage::on_btnOk_clicked()
{
    okClicked = true;
    close();
}

void CDlgMessage::on_btnCancel_clicked()
{
    cancelClicked = true;
    close();
}
