#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class ConversionJob;
class DialogAnswerer;
class InputItem;
class MainWindow;
class QListWidget;
class QPushButton;

// The main window as a user finds it, in a working folder of its own whose conf_main.json names
// the output folder. open() in a suite's init(), close() in its cleanup().
class WindowFixture final
{
public:
    WindowFixture();
    ~WindowFixture();
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    // Whether the window starts with an empty list of its own, or restores the list saved in the
    // state folder that the environment names.
    enum StateMode { FreshState, KeptState };

    // Makes the window and waits until it is on screen. With an empty output folder no
    // configuration is written and the window picks its default.
    bool open(const QString &outputDir = QString(), StateMode state = FreshState);
    // Deletes the window and goes back to the working directory of before.
    void close();

    MainWindow *window() const { return m_window; }
    QString workDir() const { return m_dir.path(); }
    QListWidget *list() const;
    ConversionJob *job(int row) const;
    InputItem *row(int row) const;
    QPushButton *startButton() const;
    template <typename T> T *child(const char *name) const;

    // Adds a file through the window; false when the window refused it.
    bool add(const QString &path) const;
    void clickStart() const;

    // Waits until `answerer` has answered `count` dialogs.
    static bool waitForDialogs(const DialogAnswerer &answerer, int count, int timeoutMs);
    // The summary of a batch; `failures` holds a path and its reason for each failed file.
    static QString summary(int ok, int cancelled, const QStringList &failures = {});

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    MainWindow *m_window = nullptr;
};

#include "gui/MainWindow.h"

template <typename T> T *WindowFixture::child(const char *name) const
{
    return m_window ? m_window->findChild<T *>(QLatin1String(name)) : nullptr;
}
