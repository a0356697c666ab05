#pragma once

#include <QObject>
#include <QPointer>

class CDlgCountdown;
class PowerActions;
class QComboBox;
class QWidget;

// What happens when a batch has ended by itself: "无操作", "退出程序", and "睡眠" and "关机" when
// logind offers them to this user. The choice holds for this run of the program only and starts
// as "无操作": a machine must not power off because of a choice made days ago. Anything but
// "无操作" is announced by a countdown that can be cancelled; at zero the program quits or asks
// logind to suspend or power off the machine.
class WhenDoneChoice final : public QObject
{
    Q_OBJECT

public:
    enum Choice { Nothing = 0, Quit = 1, Suspend = 2, PowerOff = 3 };
    static constexpr int defaultCountdownSeconds = 60;

    // Asks logind on the system bus what it offers; `window` is the one to close.
    WhenDoneChoice(QComboBox *combo, QWidget *window);
    ~WhenDoneChoice() override;

    Choice choice() const;
    // logind has said what it offers, or is known not to be there.
    bool knowsOffers() const;
    void setCountdownSeconds(int seconds);
    // The countdown on screen, if any.
    CDlgCountdown *countdown() const;

    // A batch has ended by itself with these results: false when nothing is to happen, true when
    // the countdown runs.
    bool batchEnded(int succeeded, int failed);

signals:
    // The countdown has run out: the program quits or the machine goes down next.
    void aboutToAct();
    // The countdown was cancelled, the machine came back from sleep, or it could not be put to
    // sleep or off: the batch's summary is due.
    void summaryDue();

private:
    void listOffers();
    void act();
    void showAnswer(int action, int result);

    QComboBox *m_combo;
    QWidget *m_window;
    PowerActions *m_power;
    QPointer<CDlgCountdown> m_countdown;
    int m_countdownSeconds = defaultCountdownSeconds;
};
