#include "DialogAnswerer.h"

#include "ui/CDlgMessage.h"

#include <QApplication>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

DialogAnswerer::DialogAnswerer(Answer answer, QObject *parent) : QObject(parent), m_answer(answer)
{
    connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::answerOpenDialogs);
    m_timer.start(20);
}

void DialogAnswerer::answerOpenDialogs()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<CDlgMessage *>(widget);
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            continue;
        dialog->setProperty("answered", true);
        texts << dialog->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        const char *button = m_answer == PressOk       ? "btnOk"
                             : m_answer == PressCancel ? "btnCancel"
                                                       : "btnTopClose";
        QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }
}
