#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class CDlgMessage;
}

// The program's message box: a notice with OK (buttonMode 1) or a question with OK and Cancel.
// The caller runs exec() and then reads okClicked.
class CDlgMessage final : public QDialog
{
    Q_OBJECT

public:
    CDlgMessage(QWidget *parent, int buttonMode, const QString &text);
    ~CDlgMessage() override;

    // Runs a question (OK and Cancel) modally: true when it was answered with OK.
    static bool ask(QWidget *parent, const QString &question);
    // Runs a notice (OK only) modally.
    static void tell(QWidget *parent, const QString &notice);

    // Other words on the two buttons than 确定 and 取消.
    void setButtonTexts(const QString &ok, const QString &cancel);

    bool okClicked = false;
    // Answered with the second button rather than closed.
    bool cancelClicked = false;

private slots:
    void on_btnTopClose_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    std::unique_ptr<Ui::CDlgMessage> m_ui;
};
