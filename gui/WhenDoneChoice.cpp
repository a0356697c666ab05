#include "gui/WhenDoneChoice.h"

#include "session/LogindCall.h"
#include "session/PowerActions.h"
#include "ui/CDlgCountdown.h"
#include "ui/CDlgMessage.h"

#include <QComboBox>
#include <QWidget>

namespace
{

// What the countdown says will happen, %1 being the seconds left.
QString announcement(WhenDoneChoice::Choice choice)
{
    switch (choice) {
    case WhenDoneChoice::Quit:
        return QStringLiteral("%1 秒后退出程序。");
    case WhenDoneChoice::Suspend:
        return QStringLiteral("%1 秒后电脑将进入睡眠。");
    default:
        return QStringLiteral("%1 秒后电脑将关机。");
    }
}

QString reasonText(int result)
{
    switch (result) {
    case LogindCall::noLogind:
        return QStringLiteral("系统不提供此功能。");
    case LogindCall::timedOut:
        return QStringLiteral("系统没有应答。");
    default:
        return QStringLiteral("系统拒绝了请求。");
    }
}

} // namespace

WhenDoneChoice::WhenDoneChoice(QComboBox *combo, QWidget *window)
    : QObject(window), m_combo(combo), m_window(window), m_power(new PowerActions(this))
{
    setObjectName(QStringLiteral("whenDoneChoice"));
    combo->addItem(QStringLiteral("无操作"), Nothing);
    combo->addItem(QStringLiteral("退出程序"), Quit);
    combo->setCurrentIndex(0);
    connect(m_power, &PowerActions::offersKnown, this, &WhenDoneChoice::listOffers);
    connect(m_power, &PowerActions::requestFinished, this, &WhenDoneChoice::showAnswer);
    // Without a system bus nothing more is offered, and nothing is said.
    m_power->query();
}

WhenDoneChoice::~WhenDoneChoice() = default;

void WhenDoneChoice::listOffers()
{
    if (m_power->offers(PowerActions::Suspend))
        m_combo->addItem(QStringLiteral("睡眠"), Suspend);
    if (m_power->offers(PowerActions::PowerOff))
        m_combo->addItem(QStringLiteral("关机"), PowerOff);
}

WhenDoneChoice::Choice WhenDoneChoice::choice() const
{
    return Choice(m_combo->currentData().toInt());
}

bool WhenDoneChoice::knowsOffers() const
{
    return m_power->known();
}

void WhenDoneChoice::setCountdownSeconds(int seconds)
{
    m_countdownSeconds = qMax(seconds, 0);
}

bool WhenDoneChoice::batchEnded(int succeeded, int failed)
{
    const Choice chosen = choice();
    if (chosen == Nothing || m_countdown)
        return false;
    const QString pattern =
        QStringLiteral("转码任务完成！成功 %1 个，失败 %2 个。\n").arg(succeeded).arg(failed) +
        announcement(chosen);
    m_countdown = new CDlgCountdown(m_window, pattern, m_countdownSeconds);
    m_countdown->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_countdown, &QDialog::accepted, this, &WhenDoneChoice::act);
    connect(m_countdown, &QDialog::rejected, this, &WhenDoneChoice::summaryDue);
    return true;
}

void WhenDoneChoice::act()
{
    const Choice chosen = choice();
    emit aboutToAct();
    if (chosen == Quit) {
        m_window->close();
        return;
    }
    const int result =
        m_power->request(chosen == Suspend ? PowerActions::Suspend : PowerActions::PowerOff);
    if (result != 0)
        showAnswer(chosen == Suspend ? PowerActions::Suspend : PowerActions::PowerOff, result);
}

void WhenDoneChoice::showAnswer(int action, int result)
{
    // Powering off, the program ends with the session; after sleep the user finds the summary.
    if (result == 0 && action == PowerActions::PowerOff)
        return;
    if (result != 0)
        CDlgMessage::tell(m_window,
                          (action == PowerActions::Suspend ? QStringLiteral("无法进入睡眠。\n")
                                                           : QStringLiteral("无法关机。\n")) +
                              reasonText(result) + QLatin1Char('\n'));
    emit summaryDue();
}

CDlgCountdown *WhenDoneChoice::countdown() const
{
    return m_countdown;
}
