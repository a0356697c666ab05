#include "DialogAnswerer.h"

#include "ui/CDlgMessage.h"

#include <QApplication>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

DialogAnswerer::DialogAnswerer(Answer answer, QObject *parent) : QObject(parent), answer(answer)
{
    connect(&timer, &QTimer::timeout, this, &DialogAnswerer::answerOpenDialogs);
    timer.start(20);
}

void DialogAnswerer::answerOpenDialogs()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<CDlgMessage *>(widget);
        if (!dialog || !dialog->isVisible() || dialog->property("answered").toBool())
            continue;
        dialog->setProperty("answered", true);
        texts << dialog->findChild<QTextEdit *>(QStringLiteral("textEdit"))->toPlainText();
        const char *button = answer == PressOk       ? "btnOk"
                             : answer == PressCancel ? "btnCancel"
                                                     : "btnTopClose";
        QTest::mouseClick(dialog->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    }
}
