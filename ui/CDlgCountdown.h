#pragma once

#include <QDialog>

#include <memory>

class QTimer;
namespace Ui
{
class CDlgCountdown;
}

// A notice that counts down before something happens by itself, with Cancel: accepted when the
// count reaches zero, rejected when it is cancelled or closed. It is shown at once and blocks
// nothing but its parent window; its text is `pattern` with %1 replaced by the seconds left.
class CDlgCountdown final : public QDialog
{
    Q_OBJECT

public:
    CDlgCountdown(QWidget *parent, const QString &pattern, int seconds);
    ~CDlgCountdown() override;

    int secondsLeft() const { return m_secondsLeft; }

private slots:
    void on_btnTopClose_clicked();
    void on_btnCancel_clicked();

private:
    void tick();
    void showText();

    std::unique_ptr<Ui::CDlgCountdown> m_ui;
    QTimer *m_timer;
    QString m_pattern;
    int m_secondsLeft;
};
