#pragma once

#include "ui/WindowDrag.h"

#include <QDialog>

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

    bool okClicked = false;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private slots:
    void on_btnTopClose_clicked();
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    Ui::CDlgMessage *ui;
    WindowDrag drag;
};
