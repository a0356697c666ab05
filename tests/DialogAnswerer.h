#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

// Answers the program's message dialogs the way a user would: whenever one is open it reads its
// text and presses OK or Cancel.
class DialogAnswerer final : public QObject
{
    Q_OBJECT

public:
    enum Answer { PressOk, PressCancel, PressClose };

    explicit DialogAnswerer(Answer answer = PressOk, QObject *parent = nullptr);

    void setAnswer(Answer newAnswer) { m_answer = newAnswer; }
    // Texts of the dialogs answered so far, oldest first.
    QStringList texts;

private:
    void answerOpenDialogs();

    Answer m_answer;
    QTimer m_timer;
};
